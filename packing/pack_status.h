// Status of the bounded codec entries of the packing layer (packers, float
// packer, compression), and the checks they share. The entries named after
// the stored formats (compact_float, compact_integer, ieeepak_, c_vktzip...)
// keep their historical results; the bounded entries return one of these so
// that a reader of a damaged record can refuse it instead of overrunning.
#pragma once

#include <cstddef>

#include "common/bit_stream.h"

namespace zep::packing {

enum class PackStatus : int {
  kOk = 0,
  kNothingToDo = -1,     // width 0, width 1 with missing values, or no values
  kBadArgument = -2,     // width, stride or operation the codec does not handle
  kShortStream = -3,     // the tokens would run past the stream words available
  kShortOutput = -4,     // the output has no room for every value
  kBadHeader = -5,       // header marker, count, width or shift inconsistent
  kCountOverflow = -6,   // the count does not fit the header's count field
  kValueTooLarge = -7,   // a value beyond +-1e38 (float packing)
  kBadWidth = -8,        // nbits outside what the codec takes (float packer, compression)
  kBadSignature = -9,    // float packer: header word 0 does not start with 0xEFF
  kCountMismatch = -10,  // float packer: header count differs from the count asked for
  kBadCount = -11,       // float packer: negative count
  kBadGrid = -12,        // compression: ni or nj below 1, or a grid beyond 2^31 points
  kUnknownMethod = -13,  // compression: header type neither 3 (minimum) nor 1 (sample)
  kWrongStep = -14,      // compression: step other than 5 (minimum) or 3 (sample)
  kBadToken = -15,       // compression: a token width that no writer produces
};

// Short English description of a status, for messages.
const char *pack_status_text(PackStatus status);

// The bit streams of common/bit_stream.h.
using zep::bit_length;
using zep::BitReader;
using zep::BitWriter;
using zep::token_span_fits;
using zep::token_words;
using zep::WideSlot;

// True when elements 0, stride, ..., (count - 1) * stride of an array of
// `len` elements exist (count >= 1, stride >= 1).
inline bool strided_fits(size_t count, size_t stride, size_t len) {
  if (len == 0) return false;
  return (count - 1) <= (len - 1) / stride;
}

}  // namespace zep::packing
