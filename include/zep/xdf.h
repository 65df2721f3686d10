/* Directory files: self-describing files of records under bit-field keys,
 * random (with a chain of directory pages) or sequential.
 *
 * Units are bound to paths with c_fnom first. Every call returns a signed
 * status: a handle, a count or 0 on success, a negative error code on failure
 * (reported through the layer's message level and tolerance).
 *
 * Record buffer (`buf`): word 0 its dimension in words (control words
 * included), word 1 the image length in bits, word 2 the data offset, word 3
 * the record offset (0), word 4 the unit, word 5 the info offset, words 6-8
 * spare, then the record image from word 9 on.
 */
#ifndef ZEP_XDF_H
#define ZEP_XDF_H

#include "zep/export.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opening and closing. */

/// Opens (mode "READ", "WRITE", "R-W", "APPEND") or creates ("CREATE") the
/// directory file bound to `iun`. pri/aux: two words per key descriptor, used
/// only when creating. appl: four-character application signature.
/// Returns the header's valid_count, 0 for a created file, or an error.
ZEP_EXPORT int c_xdfopn(int iun, const char *mode, uint32_t *pri, int npri, uint32_t *aux, int naux,
                        const char *appl);
/// Writes back the header and the modified directory pages and closes; with
/// the checkpoint flag set, flushes only and keeps the file open.
ZEP_EXPORT int c_xdfcls(int iun);
/// Builds a key descriptor from its name, rightmost bit position, width, type.
ZEP_EXPORT int c_xdfcle(const char *name, int bitpos, int width, int type, uint32_t *desc0,
                        uint32_t *desc1);
/// Options "ERRTOLR", "MSGLVL" (value: a severity name) and "STRIPING" (number).
ZEP_EXPORT int c_xdfopt(const char *name, const char *value, int number);
/// Reads the level of "ERRTOLR" or "MSGLVL" into value (at least 9 characters).
ZEP_EXPORT int c_xdfgop(const char *name, char *value, int *number);
/// Replaces the application signature of the open file's header.
ZEP_EXPORT int c_qdfmsig(int iun, const char *appl);
/// Truncates the file `name` to `nbytes` bytes.
ZEP_EXPORT int c_secateur(const char *name, int64_t nbytes);

/* Search. */

/// Next record whose primary keys match `keys` (nkeys values, -1 = any) under
/// `mask` (nkeys words, may be null). handle: 0 from the start, -1 from the
/// current position, a handle of the file: after that record.
/// Returns a handle, -12 when nothing matches, or an error.
ZEP_EXPORT int c_xdfloc2(int iun, int handle, uint32_t *keys, int nkeys, uint32_t *mask);
ZEP_EXPORT int c_xdfloc(int iun, int handle, uint32_t *keys, int nkeys);
/// Unit address, length in units, idtyp and primary key values of a record.
ZEP_EXPORT int c_xdfprm(int handle, int *addr, int *length, int *idtyp, uint32_t *keys, int nkeys);
/// Links the open files of units[0..n-1] into one search chain, in order.
ZEP_EXPORT int c_xdflnk(int *units, int n);
ZEP_EXPORT int c_xdfunl(int *units, int n);

/* Records. */

ZEP_EXPORT int c_xdfini(int iun, uint32_t *buf, int idtyp, uint32_t *keys, int nkeys,
                        uint32_t *info, int ninfo);
ZEP_EXPORT int c_xdfupd(int iun, uint32_t *buf, int idtyp, uint32_t *keys, int nkeys,
                        uint32_t *info, int ninfo);
ZEP_EXPORT int c_xdfhdr(uint32_t *buf, int *addr, int *length, int *idtyp, uint32_t *keys,
                        int nkeys, uint32_t *info, int ninfo);
ZEP_EXPORT int c_xdfadd(uint32_t *buf, uint32_t *data, int nelm, int nbits, int datyp);
ZEP_EXPORT int c_xdfins(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp);
ZEP_EXPORT int c_xdfrep(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp);
ZEP_EXPORT int c_xdfxtr(uint32_t *buf, uint32_t *data, int bitpos, int nelm, int nbits, int datyp);
ZEP_EXPORT int c_xdfcut(uint32_t *buf, int bitpos, int nelm, int nbits, int datyp);
/// Writes the buffer: handle 0 appends, a handle of the file rewrites that
/// record, the negative of a handle appends and deletes the old record.
ZEP_EXPORT int c_xdfput(int iun, int handle, uint32_t *buf);
/// Reads the record into buf (never more than buf[0] words in all); aux, when
/// not null, receives the 2 x info_len info words. A negative dimension with
/// buf[1] == -1 asks for the data alone.
ZEP_EXPORT int c_xdfget2(int handle, uint32_t *buf, int *aux);
ZEP_EXPORT int c_xdfget(int handle, uint32_t *buf);
ZEP_EXPORT int c_xdfdel(int handle);

/* By-reference twins: every argument a pointer, each character argument
 * adds a hidden length at the end. */
ZEP_EXPORT int xdfopn_(int *iun, const char *mode, uint32_t *pri, int *npri, uint32_t *aux,
                       int *naux, const char *appl, size_t mode_len, size_t appl_len);
ZEP_EXPORT int xdfcls_(int *iun);
ZEP_EXPORT int xdfcle_(const char *name, int *bitpos, int *width, int *type, uint32_t *desc0,
                       uint32_t *desc1, size_t name_len);
ZEP_EXPORT int xdfopt_(const char *name, const char *value, int *number, size_t name_len,
                       size_t value_len);
ZEP_EXPORT int xdfgop_(const char *name, char *value, int *number, size_t name_len,
                       size_t value_len);
ZEP_EXPORT int qdfmsig_(int *iun, const char *appl, size_t appl_len);
ZEP_EXPORT int qdferr_(const char *module, const char *message, int *level, int *code,
                       size_t module_len, size_t message_len);
ZEP_EXPORT int qdfind_(int *iun);
ZEP_EXPORT int secateur_(const char *name, int *nbytes, size_t name_len);
ZEP_EXPORT int xdfloc_(int *iun, int *handle, uint32_t *keys, int *nkeys);
ZEP_EXPORT int xdfprm_(int *handle, int *addr, int *length, int *idtyp, uint32_t *keys, int *nkeys);
ZEP_EXPORT int xdflnk_(int *units, int *n);
ZEP_EXPORT int xdfini_(int *iun, uint32_t *buf, int *idtyp, uint32_t *keys, int *nkeys,
                       uint32_t *info, int *ninfo);
ZEP_EXPORT int xdfupd_(int *iun, uint32_t *buf, int *idtyp, uint32_t *keys, int *nkeys,
                       uint32_t *info, int *ninfo);
ZEP_EXPORT int xdfhdr_(uint32_t *buf, int *addr, int *length, int *idtyp, uint32_t *keys,
                       int *nkeys, uint32_t *info, int *ninfo);
ZEP_EXPORT int xdfadd_(uint32_t *buf, uint32_t *data, int *nelm, int *nbits, int *datyp);
ZEP_EXPORT int xdfins_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits,
                       int *datyp);
ZEP_EXPORT int xdfrep_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits,
                       int *datyp);
ZEP_EXPORT int xdfxtr_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits,
                       int *datyp);
ZEP_EXPORT int xdfcut_(uint32_t *buf, int *bitpos, int *nelm, int *nbits, int *datyp);
ZEP_EXPORT int xdfput_(int *iun, int *handle, uint32_t *buf);
ZEP_EXPORT int xdfget_(int *handle, uint32_t *buf);
ZEP_EXPORT int xdfdel_(int *handle);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_XDF_H */
