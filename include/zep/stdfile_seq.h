/* Sequential standard files: positioning and end-of-file marks.
 *
 * A standard file opened without "RND" is sequential: records follow one
 * another, each closed by a record trailer, and logical end-of-file marks
 * of levels 1 to 14 may separate groups of records; an end-of-data mark
 * (level 15) ends the file. Records are written where the position is
 * (c_vktecr), so a program appends with c_vktapp first.
 *
 * Files of the old sequential layout (30-word record headers) open
 * read-only; they are positioned through their headers, and a forward skip
 * stops on a mark without crossing it.
 *
 * Every function takes a unit opened with c_vktouv and returns a signed
 * 32-bit status: 0 on success, a negative code after a report through the
 * layer's error path (-29 unit not bound, -1 not open, -37 warning for a
 * random file, -36 bad level, -39 damaged record framing, -7 unit not
 * writable).
 */
#ifndef ZEP_STDFILE_SEQ_H
#define ZEP_STDFILE_SEQ_H

#include "zep/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Back to the first record. Also -1 for a unit that is not a standard
 * file. */
ZEP_EXPORT int c_vktrwd(int iun);
/* Skips nrec records forward (nrec > 0) or backward (nrec < 0). A skip
 * that meets a mark stops on it and the position stays there: c_vkteof then
 * reports the mark's level, and a forward skip started on a mark does not
 * move (no record behind a mark is skipped). A search steps over a mark. */
ZEP_EXPORT int c_vktskp(int iun, int nrec);
/* Moves forward to the first mark (or the end of the file), where the next
 * record will be written. */
ZEP_EXPORT int c_vktapp(int iun);
/* Writes a mark of `level` (1..14: a logical end-of-file mark, then an
 * end-of-data mark behind it; 15: the end-of-data mark alone) at the
 * position. The file ends after the end-of-data mark when it is closed. */
ZEP_EXPORT int c_vktweo(int iun, int level);
/* Level of the mark the last move stopped at (15 for end of data), 0 when
 * it stopped at a record; 0 for a random file. */
ZEP_EXPORT int c_vkteof(int iun);

/* By-reference forms. */
ZEP_EXPORT int vktrwd_(int *iun);
ZEP_EXPORT int vktskp_(int *iun, int *nrec);
ZEP_EXPORT int vktapp_(int *iun);
ZEP_EXPORT int vktweo_(int *iun, int *level);
ZEP_EXPORT int vkteof_(int *iun);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_STDFILE_SEQ_H */
