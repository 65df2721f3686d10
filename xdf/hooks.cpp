// Storage of the hooks lent by the standard-file layer.
#include "xdf/hooks.h"

namespace zep::xdf {
namespace {
StdHooks &hook_table() {
  static StdHooks hooks;
  return hooks;
}
}  // namespace

void register_std_hooks(const StdHooks &hooks) { hook_table() = hooks; }
const StdHooks &std_hooks() { return hook_table(); }

}  // namespace zep::xdf
