/* Maintenance of directory files: statistics and key declarations of a
 * file, a diagnosis of its header against its contents, a clean copy of a
 * file that a writer left marked, a copy of every live record into another
 * file of the same keys, and a bit-field setter.
 *
 * Units are bound with c_fnom first. Every call returns 0 or a negative
 * error code of the directory-file layer (reported through its message
 * level and tolerance).
 */
#ifndef ZEP_XDF_MAINT_H
#define ZEP_XDF_MAINT_H

#include "zep/export.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// The first nstat (0..12) header statistics of the file bound to iun:
/// file_size, rewrite_count, extension_count, dir_page_count,
/// last_dir_page, biggest_record, primary_count, primary_len, info_count,
/// info_len, erasure_count, valid_count. Up to npri primary and naux info
/// key descriptors (two words each) go to pri and aux; version_out and
/// appl_out receive four characters and a NUL (five bytes each). Works on
/// an open file (from memory) or a closed one (reads its header).
ZEP_EXPORT int c_xdfsta(int iun, int32_t *stats, int nstat, uint32_t *pri, int npri, uint32_t *aux,
                        int naux, char *version_out, char *appl_out);
/// Prints what c_xdfsta returned on standard output.
ZEP_EXPORT int c_xdfimp(int iun, const int32_t *stats, int nstat, const uint32_t *pri,
                        const uint32_t *aux, const char *version, const char *appl);
/// Compares the header of the file with a scan of its objects and prints
/// the report on standard output.
ZEP_EXPORT int c_qdfdiag(int iun);
/// Copies the file bound to source_unit into a fresh dest_unit with the
/// writer mark of its header cleared. Neither unit may be open as a
/// directory file.
ZEP_EXPORT int c_qdfrstr(int source_unit, int dest_unit);
/// Appends every live record of source_unit to dest_unit (created when it
/// is new; spread over dest_unit, dest_unit + 1, ... when the option
/// "STRIPING" is above 1). The destinations stay open.
ZEP_EXPORT int c_xdfuse(int source_unit, int dest_unit);
/// Stores value in the nbits-bit field whose least significant bit is at
/// bit position bitpos, counted from the most significant bit of words[0].
/// A width of 32 (or 0) changes nothing. Returns 0, -1 for a negative bitpos.
ZEP_EXPORT int c_qdfput(uint32_t *words, uint32_t value, int bitpos, int nbits);

/* By-reference twins; each character argument adds a hidden length. */
ZEP_EXPORT int xdfsta_(int *iun, int32_t *stats, int *nstat, uint32_t *pri, int *npri,
                       uint32_t *aux, int *naux, char *version_out, char *appl_out,
                       size_t version_len, size_t appl_len);
ZEP_EXPORT int xdfimp_(int *iun, const int32_t *stats, int *nstat, const uint32_t *pri,
                       const uint32_t *aux, const char *version, const char *appl,
                       size_t version_len, size_t appl_len);
ZEP_EXPORT int qdfdiag_(int *iun);
ZEP_EXPORT int qdfrstr_(int *source_unit, int *dest_unit);
ZEP_EXPORT int xdfuse_(int *source_unit, int *dest_unit);
ZEP_EXPORT int qdfput_(uint32_t *words, uint32_t *value, int *bitpos, int *nbits);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_XDF_MAINT_H */
