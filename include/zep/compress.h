/* The float packer and the lossless compression of 16-bit fields.
 *
 * Words are 32-bit host-order integers. The float packer keeps a 3-word
 * header (signature 0xEFF, width, exponent, shift / scaled minimum / count)
 * and one 16-bit slot per value, two per word, the earlier value in the high
 * half. The compressed stream is a header word (method type, spare, step,
 * nbits, method code) followed by a bit stream, most significant bit first.
 *
 * These entries trust the lengths they are given; readers of untrusted
 * records use the bounded entries of packing/float_packer.h and
 * packing/compress.h, which take the words available and the room in the
 * output.
 */
#ifndef ZEP_COMPRESS_H
#define ZEP_COMPRESS_H

#include "zep/export.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Float packer. */

/// Packs `count` floats on `nbits` (1..16) bits: ORs the signature, width,
/// exponent and shift into header[0] (clear it first), stores header[1] and
/// header[2], and writes (count + 1) / 2 stream words. 0 on success, -1 (and a
/// message on standard output) for a width outside 1..16.
ZEP_EXPORT int c_float_packer(float *values, int nbits, int32_t *header, int32_t *stream,
                              int count);
/// Stores the header's width into *nbits, then decodes `count` values.
/// Reads at most (count + 1) / 2 stream words. 0 on success, -1 (and a
/// message on standard output) on a bad signature or a count that differs
/// from the header's.
ZEP_EXPORT int c_float_unpacker(float *values, int32_t *header, int32_t *stream, int count,
                                int *nbits);
/// The inner decoder: checks the count against the header once more.
ZEP_EXPORT int float_unpacker_1(float *values, int32_t *header, int32_t *stream, int count);
/// Room to reserve: *header_bytes = 12, *stream_bytes = 4 * ((count + 1) / 2),
/// both spares 0.
ZEP_EXPORT void c_float_packer_params(int *header_bytes, int *stream_bytes, int *spare1,
                                      int *spare2, int count);

ZEP_EXPORT int float_packer_(float *values, int *nbits, int32_t *header, int32_t *stream,
                             int *count);
ZEP_EXPORT int float_unpacker_(float *values, int32_t *header, int32_t *stream, int *count,
                               int *nbits);
ZEP_EXPORT void float_packer_params_(int *header_bytes, int *stream_bytes, int *spare1, int *spare2,
                                     int *count);

/* Lossless compression of ni x nj unsigned 16-bit values (i the fast index). */

/// mode 1 compresses `data` in place, mode 2 expands it in place; the values
/// sit two per word, the earlier in the high half. Returns, for mode 1, the
/// compressed length in bytes plus one, for mode 2, 2 * ni * nj; for
/// nbits 17 or more or a grid one point wide, ni * nj * nbits * nk / 8 + 1
/// with the data untouched; 0 for any other mode or a grid without points.
/// REQUIRES (mode 1): data has room for the compressed stream, which can be
/// a few words longer than the (ni * nj + 1) / 2 words of values.
/// REQUIRES (mode 2): data holds the whole stream and has room for the
/// (ni * nj + 1) / 2 words of values.
ZEP_EXPORT int obrv_compress(void *data, int ni, int nj, int nk, int nbits, int mode);

/// Writes the header word and compresses `values` with the method of `type`
/// (3 minimum with step 5, 1 sample with step 3); *length receives the
/// length in bytes plus one. 0 on success, -1 when the method, step, width
/// or grid is refused (nothing written).
/// REQUIRES: `stream` has room for the worst case (see packing/compress.h).
ZEP_EXPORT int c_vktzip(uint32_t *stream, int *length, uint16_t *values, int ni, int nj, int type,
                        int spare, int step, int nbits);
/// Reads the header word and expands the stream into ni * nj values.
/// 0 on success, -1 when the header names an unknown method, a step other
/// than the writer's or a width above 16, or when the stream is damaged.
ZEP_EXPORT int c_vktunzip(uint16_t *values, uint32_t *stream, int ni, int nj);

/// Sets the compression level: 0 (minimum method only) or 1 (the sample
/// method is tried as well on grids of at least 82 x 82). Any other value is
/// reported on standard error and sets 0. Returns the level set.
ZEP_EXPORT int c_obrv_compress_setlevel(int level);
ZEP_EXPORT int obrv_compress_setlevel_(int *level);
/// The compression level; -1 while undecided.
ZEP_EXPORT int c_obrv_compress_getlevel(void);
/// The level the environment asks for: 1 when OBRV_COMPRESS is set, else 0,
/// in which case "fast" is copied into level_name (at least 5 characters;
/// may be null).
ZEP_EXPORT int init_comp_settings(char *level_name);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_COMPRESS_H */
