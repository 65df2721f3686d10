// Status of the bounded codec entries of the packing layer. The entries
// named after the stored formats (compact_float, compact_integer, ieeepak_)
// keep their historical results; the bounded entries return one of these so
// that a reader of a damaged record can refuse it instead of overrunning.
#pragma once

namespace packing {

enum class PackStatus : int {
  kOk = 0,
  kNothingToDo = -1,    // width 0, width 1 with missing values, or no values
  kBadArgument = -2,    // width, stride or operation the codec does not handle
  kShortStream = -3,    // the tokens would run past the stream words available
  kShortOutput = -4,    // the output has no room for every value
  kBadHeader = -5,      // header marker, count, width or shift inconsistent
  kCountOverflow = -6,  // the count does not fit the header's count field
  kValueTooLarge = -7,  // a value beyond +-1e38 (float packing)
};

// Short English description of a status, for messages.
const char* pack_status_text(PackStatus status);

}  // namespace packing
