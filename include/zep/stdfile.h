/* Standard files: the record descriptor kept in the directory keys, open,
 * close and options, search, read and decode, and the listing.
 *
 * A standard file is a directory file whose every record carries 16 primary
 * key words (the descriptor: name, kind, label, dimensions, levels, dates,
 * grid and data type) and two info words. All functions return a signed
 * 32-bit status: a handle, a count or 0 on success, a negative code on
 * failure (the codes of the directory-file layer, reported through its
 * error path).
 *
 * Strings are NUL-terminated unless said otherwise. The by-reference twins
 * (names ending in '_') take every argument by pointer and one hidden
 * size_t length per character argument, at the end, in order.
 */
#ifndef ZEP_STDFILE_H
#define ZEP_STDFILE_H

#include "zep/export.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Record descriptor --------------------------------------------------
 * The directory entry of a record is 18 host-order words: two words of the
 * directory-file layer (type and length, address) and the 16 key words. */

/* Decoded descriptor strings and dates of an entry (crack_std_parms). */
typedef struct {
  char etiket[13]; /* 12 characters, NUL */
  char nomvar[5];  /* 4 characters, NUL */
  char typvar[3];  /* 2 characters, NUL */
  char gtyp[2];    /* the grid type byte as stored, NUL */
  int dateo;       /* origin stamp: the valid stamp moved back by deet*npas */
  int reserved1;   /* always 0 */
  int reserved2;   /* always 0 */
  int ig2;         /* the three bytes of ig2 put together */
  int datev;       /* valid stamp (decoded key word 17) */
} stdf_key_strings;

/* Decodes an 18-word entry. */
ZEP_EXPORT void crack_std_parms(const uint32_t *entry, stdf_key_strings *out);

/* Key builders lent to the directory-file layer for every standard file.
 * mode 1: keys[i] -> entry[i+2], mask_keys[i] -> mask[i+2] (a null
 * mask_keys gives an all-ones mask); other modes: entry[i+2] -> keys[i].
 * Mask words 0 and 1 are always set to 0. */
ZEP_EXPORT int build_vktd_prim_keys(uint32_t *entry, uint32_t *keys, uint32_t *mask,
                                    uint32_t *mask_keys, int file_index, int mode);
/* The info keys are never set by this layer: does nothing, returns 0. */
ZEP_EXPORT int build_vktd_info_keys(uint32_t *info, uint32_t *values, int file_index, int mode);

/* The 26 descriptors of the record of `handle`. The four strings receive as
 * many characters (at most 2, 4, 12 and exactly 1 for grtyp) as the
 * caller's text holds before its NUL; no NUL is written. Returns the
 * handle or a negative code. */
ZEP_EXPORT int c_vktprm(int handle, int *dateo, int *deet, int *npas, int *ni, int *nj, int *nk,
                        int *nbits, int *datyp, int *ip1, int *ip2, int *ip3, char *typvar,
                        char *nomvar, char *etiket, char *grtyp, int *ig1, int *ig2, int *ig3,
                        int *ig4, int *swa, int *lng, int *dltf, int *ubc, int *extra1, int *extra2,
                        int *extra3);

/* ---- Open, close, options ------------------------------------------------ */

/* Opens unit iun (bound with c_fnom) as a standard file: random access when
 * `options` contains "RND" or "rnd", sequential otherwise. A unit bound
 * R/O is opened read-only. Returns the record count or a negative code. */
ZEP_EXPORT int c_vktouv(int iun, const char *options);
ZEP_EXPORT int c_vktfrm(int iun);
/* Number of directory entries (deleted ones included); opens and closes
 * the unit when it is bound but not open. */
ZEP_EXPORT int c_vktnbr(int iun);
ZEP_EXPORT int c_vkt_version(void);

/* Options. getmode != 0 prints the current value, 0 sets it. Return 0.
 * c_vktopc: "MSGLVL", "TOLRNC" (DEBUG INFORM WARNIN ERRORS FATALE SYSTEM
 * CATAST), "PRINTOPT" (listing option words), "TURBOCOMP" (FAST, BEST).
 * Raising "TOLRNC" to "CATAST" makes every error of the layer return its
 * code instead of ending the process.
 * c_vktopi: "MSGLVL", "TOLRNC" by number (0 2 4 6 8 10).
 * c_vktopl: "FASTIO", "IMAGE", "REDUCTION32".
 * c_vktopr: no real option exists. */
ZEP_EXPORT int c_vktopc(const char *option, const char *value, int getmode);
ZEP_EXPORT int c_vktopi(const char *option, int value, int getmode);
ZEP_EXPORT int c_vktopl(const char *option, int value, int getmode);
ZEP_EXPORT int c_vktopr(const char *option, float value, int getmode);

/* Entries kept for callers of older versions: each reports that it is not
 * implemented and returns -38. */
ZEP_EXPORT int vktabt_(void);
ZEP_EXPORT int vktsel_(void);
ZEP_EXPORT int zvktcvt_(void);
ZEP_EXPORT int vktpos_(void);
/* Hands over to the stub vktcvt2_ of the file layer, which ends the
 * process; the 13 arguments are not looked at. */
ZEP_EXPORT int vktcvt_(void *a1, void *a2, void *a3, void *a4, void *a5, void *a6, void *a7,
                       void *a8, void *a9, void *a10, void *a11, void *a12, void *a13);

/* ---- Search ---------------------------------------------------------------
 * Criteria: datev, ip1, ip2, ip3 of -1 and blank names are wildcards.
 * Names are compared in upper case; stamps that differ only in their last
 * digit match. */

ZEP_EXPORT int c_vktinf(int iun, int *ni, int *nj, int *nk, int datev, const char *etiket, int ip1,
                        int ip2, int ip3, const char *typvar, const char *nomvar);
/* handle -2: from the first record (random) or the current position
 * (sequential); 0: from the first record; -1: from the current position;
 * a handle of the unit: after that record. */
ZEP_EXPORT int c_vktinfx(int handle, int iun, int *ni, int *nj, int *nk, int datev,
                         const char *etiket, int ip1, int ip2, int ip3, const char *typvar,
                         const char *nomvar);
ZEP_EXPORT int c_vktsui(int iun, int *ni, int *nj, int *nk);
/* Collects at most nmax handles into liste, their count into *infon, and
 * the dimensions of the largest listed record into ni, nj, nk. Returns 0. */
ZEP_EXPORT int c_vktinl(int iun, int *ni, int *nj, int *nk, int datev, const char *etiket, int ip1,
                        int ip2, int ip3, const char *typvar, const char *nomvar, int *liste,
                        int *infon, int nmax);
/* Reads (getmode != 0) or replaces the unit's selection mask of ip1, ip2,
 * ip3 (1 bits ignored) and etiket ('*' = character ignored; 12 characters
 * and a NUL are written on a query). */
ZEP_EXPORT int c_vktmsq(int iun, int *mip1, int *mip2, int *mip3, char *metiket, int getmode);

/* ---- Read -------------------------------------------------------------------
 * `field` must hold ni*nj*nk 32-bit elements (for datyp 0 and image mode
 * the copied words). */

ZEP_EXPORT int c_vktluk(void *field, int handle, int *ni, int *nj, int *nk);
ZEP_EXPORT int c_vktlir(void *field, int iun, int *ni, int *nj, int *nk, int datev,
                        const char *etiket, int ip1, int ip2, int ip3, const char *typvar,
                        const char *nomvar);
ZEP_EXPORT int c_vktlirx(void *field, int handle, int iun, int *ni, int *nj, int *nk, int datev,
                         const char *etiket, int ip1, int ip2, int ip3, const char *typvar,
                         const char *nomvar);
ZEP_EXPORT int c_vktlis(void *field, int iun, int *ni, int *nj, int *nk);
ZEP_EXPORT int c_vktlic(void *field, int iun, int ni, int nj, int nk, int datev, const char *etiket,
                        int ip1, int ip2, int ip3, const char *typvar, const char *nomvar, int ig1,
                        int ig2, int ig3, int ig4, const char *grtyp);

/* ---- Listing ---------------------------------------------------------------- */

/* Prints one descriptor line of an 18-word entry on standard output, led
 * by `text`, with the columns that the option words choose; header != 0
 * prints the column titles first. */
ZEP_EXPORT void print_std_parms(const uint32_t *entry, const char *text, const char *options,
                                int header);
/* Lists every live record of the unit, then the file's statistics. */
ZEP_EXPORT int c_vktvoi(int iun, const char *options);

/* ---- By-reference twins ---------------------------------------------------- */

ZEP_EXPORT int vktprm_(int *handle, int *dateo, int *deet, int *npas, int *ni, int *nj, int *nk,
                       int *nbits, int *datyp, int *ip1, int *ip2, int *ip3, char *typvar,
                       char *nomvar, char *etiket, char *grtyp, int *ig1, int *ig2, int *ig3,
                       int *ig4, int *swa, int *lng, int *dltf, int *ubc, int *extra1, int *extra2,
                       int *extra3, size_t ltypvar, size_t lnomvar, size_t letiket, size_t lgrtyp);
ZEP_EXPORT int vktouv_(int *iun, const char *options, size_t loptions);
ZEP_EXPORT int vktfrm_(int *iun);
ZEP_EXPORT int vktnbr_(int *iun);
ZEP_EXPORT int vkt_version_(void);
ZEP_EXPORT int vktopc_(const char *option, const char *value, int *getmode, size_t loption,
                       size_t lvalue);
ZEP_EXPORT int vktopi_(const char *option, int *value, int *getmode, size_t loption);
ZEP_EXPORT int vktopl_(const char *option, int *value, int *getmode, size_t loption);
ZEP_EXPORT int vktopr_(const char *option, float *value, int *getmode, size_t loption);
ZEP_EXPORT int vktinf_(int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket,
                       int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar,
                       size_t letiket, size_t ltypvar, size_t lnomvar);
ZEP_EXPORT int vktinfx_(int *handle, int *iun, int *ni, int *nj, int *nk, int *datev,
                        const char *etiket, int *ip1, int *ip2, int *ip3, const char *typvar,
                        const char *nomvar, size_t letiket, size_t ltypvar, size_t lnomvar);
ZEP_EXPORT int vktsui_(int *iun, int *ni, int *nj, int *nk);
ZEP_EXPORT int vktinl_(int *iun, int *ni, int *nj, int *nk, int *datev, const char *etiket,
                       int *ip1, int *ip2, int *ip3, const char *typvar, const char *nomvar,
                       int *liste, int *infon, int *nmax, size_t letiket, size_t ltypvar,
                       size_t lnomvar);
ZEP_EXPORT int vktmsq_(int *iun, int *mip1, int *mip2, int *mip3, char *metiket, int *getmode,
                       size_t lmetiket);
ZEP_EXPORT int vktlnk_(int *liste, int *n);
ZEP_EXPORT int vktunl_(void);
ZEP_EXPORT int vktluk_(void *field, int *handle, int *ni, int *nj, int *nk);
ZEP_EXPORT int vktlir_(void *field, int *iun, int *ni, int *nj, int *nk, int *datev,
                       const char *etiket, int *ip1, int *ip2, int *ip3, const char *typvar,
                       const char *nomvar, size_t letiket, size_t ltypvar, size_t lnomvar);
ZEP_EXPORT int vktlirx_(void *field, int *handle, int *iun, int *ni, int *nj, int *nk, int *datev,
                        const char *etiket, int *ip1, int *ip2, int *ip3, const char *typvar,
                        const char *nomvar, size_t letiket, size_t ltypvar, size_t lnomvar);
ZEP_EXPORT int vktlis_(void *field, int *iun, int *ni, int *nj, int *nk);
ZEP_EXPORT int vktlic_(void *field, int *iun, int *ni, int *nj, int *nk, int *datev,
                       const char *etiket, int *ip1, int *ip2, int *ip3, const char *typvar,
                       const char *nomvar, int *ig1, int *ig2, int *ig3, int *ig4,
                       const char *grtyp, size_t letiket, size_t ltypvar, size_t lnomvar,
                       size_t lgrtyp);
ZEP_EXPORT int vktvoi_(int *iun, const char *options, size_t loptions);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_STDFILE_H */
