// zep_check: examines a file through the same walk and reads as the other
// calls and reports what it found instead of stopping at the first damage.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/internal.h"
#include "stdfile/read.h"
#include "xdf/table.h"

namespace zep::api {
namespace {

void note(zep_check_report *report, const std::string &message) {
  if (report->damaged) return;
  report->damaged = 1;
  std::snprintf(report->message, sizeof report->message, "%s", message.c_str());
}

}  // namespace
}  // namespace zep::api

using namespace zep::api;

extern "C" int zep_check(const char *path, zep_check_report *report) {
  if (report == nullptr) return ZEP_EINVAL;
  std::memset(report, 0, sizeof *report);
  std::lock_guard<std::recursive_mutex> hold(zep::api::library_lock());
  zep_file *f = nullptr;
  const int rc = zep_open(path, "r", &f);
  if (path != nullptr) {
    struct stat st;
    if (::stat(path, &st) == 0) report->bytes = static_cast<int64_t>(st.st_size);
  }
  if (rc == ZEP_EDAMAGED) {
    note(report, zep_last_message(nullptr));
    return 0;
  }
  if (rc < 0) return rc;

  {
    zep::api::Call c(f);
    if (const zep::xdf::FileEntry *e = zep::xdf::open_entry(zep::api::file_slot(f))) {
      report->sequential = e->xdf_seq ? 1 : 0;
      report->pages = e->xdf_seq ? 0 : e->npages;
    }
  }
  zep_record rec;
  int status;
  while ((status = zep_next(f, &rec)) == 1) {
    ++report->records;
    zep::api::Call c(f);
    const int read = zep::api::fenced(c, [&]() -> int {
      const int handle = zep::api::locate(c, f, &rec);
      if (handle < 0) return handle;
      std::vector<float> values;
      if (zep::stdfile::read_values_as_floats(handle, &values) < 0 || c.errors() > 0)
        return c.fail(ZEP_EDAMAGED,
                      "record " + std::string(rec.nomvar) + ": its values cannot be read");
      return 0;
    });
    if (read < 0) note(report, f->message);
  }
  if (status < 0) note(report, f->message);
  {
    zep::api::Call c(f);
    const zep::xdf::FileEntry *e = zep::xdf::open_entry(zep::api::file_slot(f));
    if (e != nullptr && !e->xdf_seq && status == 0 && e->nrecords >= report->records)
      report->deleted = e->nrecords - report->records;
  }
  zep_close(f);
  return 0;
}
