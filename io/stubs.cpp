// Entry points that this library does not provide: each says so on standard
// output and ends the process with status 1.
#include <cstdio>
#include <cstdlib>

#include "zep/io.h"

namespace zep::io {
namespace {

[[noreturn]] void stub(const char *module) {
  std::printf("Error: call to stub version of module %s\n", module);
  std::fflush(stdout);
  std::exit(1);
}

}  // namespace
}  // namespace zep::io

using namespace zep::io;

extern "C" {

void vktcvt2(void) { stub("vktcvt2"); }
void vktcvt2_(void) { stub("vktcvt2_"); }
void build_qolt_prim_keys(void) { stub("build_qolt_prim_keys"); }
void build_qolt_info_keys(void) { stub("build_qolt_info_keys"); }
void build_qolt_prim_keys_(void) { stub("build_qolt_prim_keys_"); }
void build_qolt_info_keys_(void) { stub("build_qolt_info_keys_"); }

}  // extern "C"
