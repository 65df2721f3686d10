/* Low-level I/O of the ZEP library: the master file table that binds unit
 * numbers to files, word-addressable files with their page cache and
 * archive members, and detection of a file's kind from its first bytes.
 *
 * Conventions: unit numbers are 1..999; word addresses count 32-bit words
 * from 1; words are big-endian on disk and in host order in the caller's
 * buffers. Failures return -1 (-2 for a read that starts past the end of a
 * file) after a message on standard error. Conditions that leave a file
 * untrustworthy (short writes, failed page transfers) end the process with
 * status 1.
 */
#ifndef ZEP_IO_H
#define ZEP_IO_H

#include "zep/export.h"

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- File table and unit association ---------------------------------- */

/* Binds a unit to a file. `iun` is the unit itself when its value is 1..999,
 * otherwise a pointer to an int holding the unit; a held value of 0 asks for
 * a free unit, which is stored back. Returns 0 on success, -1 on failure. */
ZEP_EXPORT int c_fnom(void *iun, const char *name, const char *attributes, int lrec);
/* Releases a unit; -1 if it is not bound. */
ZEP_EXPORT int c_fclos(int iun);
/* A unit number not in use (from 99 down for record-unit files, else from
 * 999 down, never below 11), or -1 when every candidate is taken. */
ZEP_EXPORT int c_qqqfscr(const char *attributes);
/* Index of the table row holding `iun`, or -1 after
 * "<caller> error: unit <iun> is not associated with any file". */
ZEP_EXPORT int find_file_entry(const char *caller, int iun);
/* Restores row `index` to the free state. */
ZEP_EXPORT void reset_file_entry(int index);
ZEP_EXPORT void d_fgfdt_(void);
ZEP_EXPORT void dump_file_entry(int index);

/* By-reference forms; each character argument adds a hidden length. */
ZEP_EXPORT int fnom_(int *iun, const char *name, const char *attributes, int *lrec, size_t name_len,
                     size_t attributes_len);
ZEP_EXPORT int fclos_(int *iun);
ZEP_EXPORT int qqqfnom_(int *iun, char *name, char *type, int *lrec, size_t name_len,
                        size_t type_len);
ZEP_EXPORT int existe_(const char *name, size_t name_len);
ZEP_EXPORT int longueur_(const char *string, size_t len);
ZEP_EXPORT void qqexit_(int *status);

/* ---- Word-addressable files -------------------------------------------- */

ZEP_EXPORT int c_waopen2(int iun);
/* c_waopen2, ending the process with status 1 on a result of 0 or less. */
ZEP_EXPORT int c_waopen(int iun);
ZEP_EXPORT int c_waclos2(int iun);
ZEP_EXPORT int c_waclos(int iun);
/* Writes nmots host-order words from buf at word address adr; returns nmots
 * (0 for a count of 0 or less) or -1. buf is swapped in place during the
 * call on a little-endian host and is unchanged when the call returns. */
ZEP_EXPORT int c_wawrit2(int iun, void *buf, unsigned int adr, int nmots);
ZEP_EXPORT int c_wawrit(int iun, void *buf, unsigned int adr, int nmots);
/* Reads up to nmots words from word address adr; returns the count read,
 * -1 for a unit not bound or not open, -2 when adr is past the readable end.
 * Never writes more than nmots words into buf. */
ZEP_EXPORT int c_waread2(int iun, void *buf, unsigned int adr, int nmots);
/* c_waread2, printing the end-of-file lines on -2. */
ZEP_EXPORT int c_waread(int iun, void *buf, unsigned int adr, int nmots);
/* Readable size of the unit in words; -1 for an unbound unit. */
ZEP_EXPORT int c_wasize(int iun);
/* Number of 256-word blocks of the unit, or c_wasize's negative result. */
ZEP_EXPORT int c_numblks(int iun);
ZEP_EXPORT void d_wafdt_(void);

ZEP_EXPORT int waopen_(int *iun);
ZEP_EXPORT int waopen2_(int *iun);
ZEP_EXPORT int waclos_(int *iun);
ZEP_EXPORT int waclos2_(int *iun);
ZEP_EXPORT int wawrit_(int *iun, void *buf, unsigned int *adr, int *nmots);
ZEP_EXPORT int wawrit2_(int *iun, void *buf, unsigned int *adr, int *nmots);
ZEP_EXPORT int waread_(int *iun, void *buf, unsigned int *adr, int *nmots);
ZEP_EXPORT int waread2_(int *iun, void *buf, unsigned int *adr, int *nmots);
ZEP_EXPORT int wasize_(int *iun);
ZEP_EXPORT int numblks_(int *iun);

/* Word utilities. */
ZEP_EXPORT void MOVE(const void *source, void *destination, int *nmots);
ZEP_EXPORT void ZERO(void *buffer, int *nmots);
ZEP_EXPORT unsigned int hrjust_(unsigned int *word, int *n);
ZEP_EXPORT unsigned int hljust_(unsigned int *word, int *n);

/* ---- File-kind detection ----------------------------------------------- */

/* Kind code of the named file: -3 cannot be opened, -2 empty, -1 unknown,
 * 33 random standard file, 34 sequential standard file, and the others of
 * the kind table. `name` is a fixed-length blank-padded field. */
ZEP_EXPORT int wkoffit_(const char *name, size_t name_len);
ZEP_EXPORT int test_fichier(const char *path);
ZEP_EXPORT int isgif(const char *path);
ZEP_EXPORT int isrrbx(const char *path);
ZEP_EXPORT int issun(const char *path);
ZEP_EXPORT int isxwd(const char *path);
ZEP_EXPORT int isppm(const char *path);
ZEP_EXPORT int iskmw(const char *path);
ZEP_EXPORT int isps(const char *path);
ZEP_EXPORT int ispcl(const char *path);
ZEP_EXPORT int ReadFileType(const char *path);
ZEP_EXPORT int isftnbin(FILE *stream, int n);

/* Big-endian block transfers: the count of items moved, or -1 for an item
 * size that is not a multiple of the value size. */
ZEP_EXPORT size_t fread32(void *ptr, size_t size, size_t nitems, FILE *stream);
ZEP_EXPORT size_t fwrite32(void *ptr, size_t size, size_t nitems, FILE *stream);
ZEP_EXPORT size_t fread16(void *ptr, size_t size, size_t nitems, FILE *stream);
ZEP_EXPORT size_t fwrite16(void *ptr, size_t size, size_t nitems, FILE *stream);
ZEP_EXPORT size_t fread64(void *ptr, size_t size, size_t nitems, FILE *stream);
ZEP_EXPORT size_t fwrite64(void *ptr, size_t size, size_t nitems, FILE *stream);

/* Entry points that are not provided: each prints
 * "Error: call to stub version of module <name>" and ends the process. */
ZEP_EXPORT void vktcvt2(void);
ZEP_EXPORT void vktcvt2_(void);
ZEP_EXPORT void build_qolt_prim_keys(void);
ZEP_EXPORT void build_qolt_info_keys(void);
ZEP_EXPORT void build_qolt_prim_keys_(void);
ZEP_EXPORT void build_qolt_info_keys_(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_IO_H */
