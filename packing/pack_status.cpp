// Texts of the packing layer's bounded-entry statuses.
#include "packing/pack_status.h"

namespace zep::packing {

const char *pack_status_text(PackStatus status) {
  switch (status) {
    case PackStatus::kOk: return "ok";
    case PackStatus::kNothingToDo: return "nothing to do";
    case PackStatus::kBadArgument: return "unsupported width, stride or operation";
    case PackStatus::kShortStream: return "stream shorter than its tokens";
    case PackStatus::kShortOutput: return "output too small for the values";
    case PackStatus::kBadHeader: return "inconsistent packing header";
    case PackStatus::kCountOverflow: return "count does not fit the header";
    case PackStatus::kValueTooLarge: return "value beyond +-1e38";
    case PackStatus::kBadWidth: return "nbits out of range";
    case PackStatus::kBadSignature: return "header signature is not 0xEFF";
    case PackStatus::kCountMismatch: return "header count differs from the count asked for";
    case PackStatus::kBadCount: return "negative count";
    case PackStatus::kBadGrid: return "grid dimensions out of range";
    case PackStatus::kUnknownMethod: return "unknown compression method";
    case PackStatus::kWrongStep: return "step does not match the method";
    case PackStatus::kBadToken: return "token width out of range";
  }
  return "unknown status";
}

}  // namespace zep::packing
