// By-reference entry points of the direct-access and sequential files: each
// dereferences its arguments and forwards.
#include <algorithm>
#include <cstddef>

#include "zep/io_seq.h"

namespace zep::io {
namespace {

// The byte count of a string transfer: never more than the caller's field.
int bounded_count(const int *nbytes, size_t buffer_len) {
  if (*nbytes < 0) return *nbytes;
  const size_t n = std::min(static_cast<size_t>(*nbytes), buffer_len);
  return static_cast<int>(n);  // at most *nbytes
}

}  // namespace
}  // namespace zep::io

using namespace zep::io;

extern "C" {

void openda_(int *iun) { c_openda(*iun); }
void closda_(int *iun) { c_closda(*iun); }
void readda_(int *iun, void *buffer, int *nblocks, int *block) {
  c_readda(*iun, buffer, *nblocks, *block);
}
void writda_(int *iun, void *buffer, int *nblocks, int *block) {
  c_writda(*iun, buffer, *nblocks, *block);
}
void checda_(int *iun) { c_checda(*iun); }
int getfdsc_(int *iun) { return c_getfdsc(*iun); }
int sqopen_(int *iun) { return c_sqopen(*iun); }
int sqclos_(int *iun) { return c_sqclos(*iun); }
int sqrew_(int *iun) { return c_sqrew(*iun); }
int sqeoi_(int *iun) { return c_sqeoi(*iun); }
int sqgetw_(int *iun, void *buffer, int *nwords) { return c_sqgetw(*iun, buffer, *nwords); }
int sqputw_(int *iun, const void *buffer, int *nwords) { return c_sqputw(*iun, buffer, *nwords); }
int sqgets_(int *iun, char *buffer, int *nbytes, size_t buffer_len) {
  return c_sqgets(*iun, buffer, bounded_count(nbytes, buffer_len));
}
int sqputs_(int *iun, const char *buffer, int *nbytes, size_t buffer_len) {
  return c_sqputs(*iun, buffer, bounded_count(nbytes, buffer_len));
}

}  // extern "C"
