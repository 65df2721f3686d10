// The safe API on a file image: the input is written to a scratch file,
// opened with zep_open, walked with zep_next and every record read with
// zep_read_f64 (and with a buffer one value short, which must be refused
// untouched). Any exit of the process is a finding of the engine; after
// each input no unit may stay bound, and a failed call must leave a message.
#include "fuzz/fuzz_support.h"
#include "io/file_table.h"
#include "zep/api.h"

#include <vector>

namespace {

int bound_units() {
  int n = 0;
  for (const zep::io::FileEntry &e : zep::io::FGFDT()) n += e.is_free() ? 0 : 1;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string input = fuzz::Scratch::file("api.vkt");
  fuzz::write_file(input, data, size);
  const int units_before = bound_units();

  zep_file *f = nullptr;
  const int rc = zep_open(input.c_str(), "r", &f);
  if (rc < 0) {
    if (f != nullptr) fuzz::fail("a failed open returned a file");
    if (zep_last_message(nullptr)[0] == '\0') fuzz::fail("a failed open left no message");
  } else {
    zep_record rec;
    int status;
    int records = 0;
    while ((status = zep_next(f, &rec)) == 1) {
      if (++records > 70000) fuzz::fail("the walk does not end");
      // A damaged count is not the caller's allocation: read at most 1 Mi values.
      const size_t capacity = rec.count < (size_t{1} << 20) ? rec.count : (size_t{1} << 20);
      std::vector<double> values(capacity + 1, -7.0);
      const long got = zep_read_f64(f, &rec, values.data(), capacity);
      if (got >= 0 && static_cast<size_t>(got) != rec.count)
        fuzz::fail("a read gave another count");
      if (got < 0 && zep_last_message(f)[0] == '\0') fuzz::fail("a failed read left no message");
      if (values[capacity] != -7.0) fuzz::fail("a read wrote past its capacity");
      if (rec.count > 0 && rec.count <= capacity) {
        std::fill(values.begin(), values.end(), -7.0);
        if (zep_read_f64(f, &rec, values.data(), rec.count - 1) != ZEP_ETOOSMALL)
          fuzz::fail("a buffer one value short was not refused");
        for (double v : values)
          if (v != -7.0) fuzz::fail("a refused read touched the buffer");
      }
    }
    if (status < 0 && zep_last_message(f)[0] == '\0') fuzz::fail("a failed walk left no message");
    zep_close(f);
  }
  if (bound_units() != units_before) fuzz::fail("a unit stayed bound");
  return 0;
}
