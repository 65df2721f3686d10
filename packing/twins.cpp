// By-reference entries of the packing layer for Fortran callers: each one
// dereferences its arguments and forwards to the C entry of the same name.
#include "zep/compress.h"

extern "C" int float_packer_(float *values, int *nbits, int32_t *header, int32_t *stream,
                             int *count) {
  return c_float_packer(values, *nbits, header, stream, *count);
}

extern "C" int float_unpacker_(float *values, int32_t *header, int32_t *stream, int *count,
                               int *nbits) {
  return c_float_unpacker(values, header, stream, *count, nbits);
}

extern "C" void float_packer_params_(int *header_bytes, int *stream_bytes, int *spare1, int *spare2,
                                     int *count) {
  c_float_packer_params(header_bytes, stream_bytes, spare1, spare2, *count);
}

extern "C" int obrv_compress_setlevel_(int *level) { return c_obrv_compress_setlevel(*level); }
