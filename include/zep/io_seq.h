/* Direct-access and sequential files of the ZEP library.
 *
 * Both styles work on units bound with c_fnom.
 *
 * Direct-access files are word-addressable files moved in blocks of 512
 * words; blocks count from 1. A block read or write puts the unit on a
 * list of pending transfers until c_checda takes it off; a second transfer
 * on a pending unit is refused with a message. Every transfer completes
 * before the call returns.
 *
 * Sequential files are byte streams reached through the unit's descriptor
 * (units bound with "STREAM"): words and bytes move at the descriptor's
 * current position, as they lie in the file (no byte-order conversion).
 * Failures return -1 after a message on standard error.
 */
#ifndef ZEP_IO_SEQ_H
#define ZEP_IO_SEQ_H

#include "zep/export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Direct access ------------------------------------------------------ */

/* Opens / closes the unit as a word-addressable file. */
ZEP_EXPORT void c_openda(int iun);
ZEP_EXPORT void c_closda(int iun);
/* Moves nblocks blocks of 512 words between buffer and the file, starting
 * at block `block` (word address (block - 1) * 512 + 1). buffer holds
 * nblocks * 512 host-order words. Refused (nothing moves) when the unit is
 * already pending, or for a block below 1, a negative count, or a transfer
 * that passes the last addressable word. */
ZEP_EXPORT void c_readda(int iun, void *buffer, int nblocks, int block);
ZEP_EXPORT void c_writda(int iun, void *buffer, int nblocks, int block);
/* Takes the unit off the pending list (nothing when it is not on it). */
ZEP_EXPORT void c_checda(int iun);

/* ---- Sequential --------------------------------------------------------- */

/* Descriptor of a STREAM unit, or -1 (not bound, not STREAM, not open). */
ZEP_EXPORT int c_getfdsc(int iun);
/* Does nothing. */
ZEP_EXPORT void c_socket_open(void);
/* Opens the unit: the descriptor, 64 for a special name beginning with '@'
 * or '%', 1 for a special name "x0..." / "x1..." (the number after the first
 * character becomes the descriptor), or -1. */
ZEP_EXPORT int c_sqopen(int iun);
/* Closes a unit opened through the word-addressable API; 0 otherwise. */
ZEP_EXPORT int c_sqclos(int iun);
/* Moves the descriptor to the start (returns 0) or to the end (returns the
 * file's length in bytes); 1 for a special name; c_getfdsc's result when it
 * is below 1; -1 when the position cannot be had. */
ZEP_EXPORT int c_sqrew(int iun);
ZEP_EXPORT int c_sqeoi(int iun);
/* Reads / writes nwords words (4 bytes each) at the current position:
 * nwords, or -1 when not all of them moved. buffer holds nwords words. */
ZEP_EXPORT int c_sqgetw(int iun, void *buffer, int nwords);
ZEP_EXPORT int c_sqputw(int iun, const void *buffer, int nwords);
/* One read / write of at most nbytes bytes: the count moved, or -1 when it
 * is 0 or less. */
ZEP_EXPORT int c_sqgets(int iun, char *buffer, int nbytes);
ZEP_EXPORT int c_sqputs(int iun, const char *buffer, int nbytes);

/* ---- By-reference forms ------------------------------------------------- */

ZEP_EXPORT void openda_(int *iun);
ZEP_EXPORT void closda_(int *iun);
ZEP_EXPORT void readda_(int *iun, void *buffer, int *nblocks, int *block);
ZEP_EXPORT void writda_(int *iun, void *buffer, int *nblocks, int *block);
ZEP_EXPORT void checda_(int *iun);
ZEP_EXPORT int getfdsc_(int *iun);
ZEP_EXPORT int sqopen_(int *iun);
ZEP_EXPORT int sqclos_(int *iun);
ZEP_EXPORT int sqrew_(int *iun);
ZEP_EXPORT int sqeoi_(int *iun);
ZEP_EXPORT int sqgetw_(int *iun, void *buffer, int *nwords);
ZEP_EXPORT int sqputw_(int *iun, const void *buffer, int *nwords);
/* The count passed on is the smaller of *nbytes and buffer_len. */
ZEP_EXPORT int sqgets_(int *iun, char *buffer, int *nbytes, size_t buffer_len);
ZEP_EXPORT int sqputs_(int *iun, const char *buffer, int *nbytes, size_t buffer_len);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_IO_SEQ_H */
