/* Packing layer, C interface: fixed-width float packing, integer packing and
 * IEEE packing of record values. Words are 32-bit integers in host order;
 * token streams run most significant bit first from a bit offset counted from
 * the most significant bit of the first word.
 *
 * These entries trust their arguments for sizes. Readers of records from
 * files use the bounded entries of packing/compact_float.h,
 * packing/compact_integer.h and packing/ieee_pack.h, which take the number of
 * words available and the room of the output. */
#ifndef ZEP_PACKING_H
#define ZEP_PACKING_H

#include "zep/export.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Packs (opCode 1) values[i * stride], i < count, into a 4-word header and a
 * stream of tokens from bit `offset` of `stream`, or unpacks them (opCode 2).
 * nbits: 64 or less is the token width; above 64 it is stored width * 64 +
 * significant bits. The header is contiguous with the tokens when `stream` is
 * header + 3 with offset 24 (or header with offset 120): the count then is
 * the caller's; otherwise the header holds a 28-bit count, which on
 * unpacking must equal `count`. hasMissing 1: values equal to *missing get
 * the all-ones token and come back as *missing. Returns `stream` after
 * packing, `values` after unpacking, NULL when nothing was done (nbits 0,
 * nbits 1 with missing values, more than 32 significant bits when packing,
 * a count that does not fit the header, an unknown opCode, a header that does
 * not match the arguments). Packing a value beyond +-1e38 ends the process
 * with status 33. */
ZEP_EXPORT void *compact_float(float *values, uint32_t *header, uint32_t *stream, int count,
                               int nbits, int offset, int stride, int opCode, int hasMissing,
                               float *missing);

/* compact_float on doubles; *missing is used rounded to single precision. */
ZEP_EXPORT void *compact_double(double *values, uint32_t *header, uint32_t *stream, int count,
                                int nbits, int offset, int stride, int opCode, int hasMissing,
                                double *missing);

/* *base raised to the integer power *exponent. */
ZEP_EXPORT double f_pow_(const double *base, const int *exponent);

/* Integer packing of values[i * stride] (32-bit, i < count) as nbits-wide
 * tokens from bit `offset` of `stream`. opCode 1 packs unsigned, 2 unpacks
 * unsigned, 3 packs signed, 4 unpacks signed. With a header (4 words: 0xFD
 * marker, shift and width; count; minimum; maximum) tokens are distances to
 * the minimum, shifted right when nbits is too small; on unpacking the
 * header's count must not exceed `count`. Without a header signed values
 * carry a bias of 2^(nbits - 1). nbits -1 when packing picks the smallest
 * width. Returns the width used; 0 when nothing was done. */
ZEP_EXPORT int compact_integer(void *values, uint32_t *header, uint32_t *stream, int count,
                               int nbits, int offset, int stride, int opCode);

/* IEEE packing of ni * nj 32-bit IEEE words to their top nbits bits (mode 1
 * packs `unpacked` into `packed`, any other mode unpacks, in place when both
 * are the same array). npak: -nbits (below -63: 64-bit values moved to file
 * order), 0 or 1: 32 bits, 2 or more: 32 / npak bits. `spare` is not read.
 * A width of 33 to 63 prints a message and ends the process. */
ZEP_EXPORT void ieeepak_(int32_t *unpacked, int32_t *packed, int *ni, int *nj, int *npak,
                         int *spare, int *mode);

/* Copies *n 64-bit items, exchanging the two 32-bit words of each item on a
 * little-endian host (host order <-> file order). Source and destination may
 * be the same array. */
ZEP_EXPORT void move6432_(const void *source, void *destination, const int *n);

/* Converts *n doubles to floats (to nearest); may work in place. */
ZEP_EXPORT void movr8r4_(const double *source, float *destination, const int *n);

/* Converts *n floats to doubles; may work in place. */
ZEP_EXPORT void movr4r8_(const float *source, double *destination, const int *n);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_PACKING_H */
