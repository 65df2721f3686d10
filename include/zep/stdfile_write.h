/* Standard files, write side: writing a record, erasing one, and
 * checkpointing a file open for writing.
 *
 * A unit is bound with c_fnom and opened with c_vktouv (an empty or new file
 * is created). All functions return a signed 32-bit status: 0 or positive on
 * success, a negative code on failure, reported through the layer's error
 * path. A refused call leaves the file as it was.
 */
#ifndef ZEP_STDFILE_WRITE_H
#define ZEP_STDFILE_WRITE_H

#include "zep/export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes ni*nj*nk values of `field` as a new record of unit `iun`.
 *
 * field   32-bit elements (floats for datyp 1, 5, 6, 129, 134; integers for
 *         2 and 4; packed words for 0; ni*nj*nk characters for 3, the
 *         first stored in the most significant byte of the first word);
 *         doubles for datyp 801 (packed as datyp 1).
 * work    not used.
 * npak    packing: 0 writes raw 32-bit words (datyp 0), -n packs on n bits,
 *         a positive value on 32 / npak bits.
 * date    origin stamp; the stored (valid) stamp is date + deet*npas seconds.
 * nk      0 or less is taken as 1.
 * typvar, nomvar, etiket, grtyp: at most 2, 4, 12 and 1 characters, blank
 *         padded; names are stored in upper case.
 * datyp   0 raw, 1 packed reals, 2 unsigned, 3 characters, 4 signed,
 *         5 IEEE (32 or 64 bits), 6 float packer (16 bits at most: more
 *         bits write datyp 1, more than 24 datyp 5 on 32 bits, with a
 *         warning), 129 and 134 the compressed forms of 1 and 6 (16 bits at
 *         most; a record of several levels is written uncompressed).
 *         With VKT_COMPRESS in the environment, datyp 1 and 6 of 16 bits or
 *         less are written compressed.
 * rewrit  non-zero: replaces the first record of the same etiket, ip1, ip2,
 *         ip3, typvar and nomvar, whatever its date (random files).
 *
 * Refused with -36 and "%s = %d must be between %d and %d": ni, nj 1..2^24-1,
 * nk 1..2^20-1, deet, npas, ig1..ig4 0..2^24-1, nbits 1..64 (1..32 for
 * datyp 1, 2, 4, 129; 1..32 or 64 for datyp 5), ip1..ip3 0..2^28-1, and
 * a record longer than the directory's length field holds.
 * Returns 0 or positive on success. */
ZEP_EXPORT int c_vktecr(void *field, void *work, int npak, int iun, int date, int deet, int npas,
                        int ni, int nj, int nk, int ip1, int ip2, int ip3, const char *typvar,
                        const char *nomvar, const char *etiket, const char *grtyp, int ig1, int ig2,
                        int ig3, int ig4, int datyp, int rewrit);

/* Erases the record of `handle` (from a search). */
ZEP_EXPORT int c_vkteff(int handle);

/* Writes the directory and header of unit `iun` to disk and keeps it open;
 * the file stays marked as held by a writer until it is closed. */
ZEP_EXPORT int c_vktckp(int iun);

/* By-reference twins; each character argument adds its length at the end. */
ZEP_EXPORT int vktecr_(void *field, void *work, int *npak, int *iun, int *date, int *deet,
                       int *npas, int *ni, int *nj, int *nk, int *ip1, int *ip2, int *ip3,
                       const char *typvar, const char *nomvar, const char *etiket,
                       const char *grtyp, int *ig1, int *ig2, int *ig3, int *ig4, int *datyp,
                       int *rewrit, size_t ltypvar, size_t lnomvar, size_t letiket, size_t lgrtyp);
ZEP_EXPORT int vkteff_(int *handle);
ZEP_EXPORT int vktckp_(int *iun);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_STDFILE_WRITE_H */
