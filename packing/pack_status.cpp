// Texts of the packing layer's bounded-entry statuses.
#include "packing/pack_status.h"

namespace packing {

const char* pack_status_text(PackStatus status) {
  switch (status) {
    case PackStatus::kOk: return "ok";
    case PackStatus::kNothingToDo: return "nothing to do";
    case PackStatus::kBadArgument: return "unsupported width, stride or operation";
    case PackStatus::kShortStream: return "stream shorter than its tokens";
    case PackStatus::kShortOutput: return "output too small for the values";
    case PackStatus::kBadHeader: return "inconsistent packing header";
    case PackStatus::kCountOverflow: return "count does not fit the header";
    case PackStatus::kValueTooLarge: return "value beyond +-1e38";
  }
  return "unknown status";
}

}  // namespace packing
