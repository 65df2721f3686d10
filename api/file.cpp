// Opening and closing files through the safe API: the path is checked
// before the layers below see it, a free unit is chosen, and a failure
// leaves nothing bound or open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "api/internal.h"
#include "io/file_lock.h"
#include "io/file_table.h"
#include "io/word_file.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"

namespace zep::api {

namespace {

constexpr int kFirstUnit = 10;
constexpr int kLastUnit = 999;
constexpr size_t kMaxPath = 4095;

// A unit bound to no file, or 0.
int free_unit() {
  for (int u = kFirstUnit; u <= kLastUnit; ++u) {
    if (io::file_index_of(u) < 0) return u;
  }
  return 0;
}

// True when the directory-file layer has a slot left (slot 0 is reserved).
bool xdf_slot_left() {
  auto &table = xdf::file_table();
  for (int i = 1; i < xdf::kMaxFiles; ++i) {
    if (table[i] == nullptr || table[i]->iun == -1) return true;
  }
  return false;
}

}  // namespace

void abandon_unit(int unit) {
  try {
    const int row = io::file_index_of(unit);
    if (row >= 0) {
      io::FileEntry &e = io::file_entry(row);
      const int ws = e.open ? io::wa_slot_of_fd(e.fd) : -1;
      if (ws >= 0) {
        io::wa_pages_drop(ws);
        io::qqcclos(row);
      }
    }
    const int slot = xdf::file_index(unit);
    if (slot > 0 && xdf::open_entry(slot) != nullptr) xdf::init_file(slot);
    if (io::file_index_of(unit) >= 0) c_fclos(unit);
  } catch (const FatalStop &) {
    // Nothing is written on this path; a stop here would leave only the
    // binding, which the next zep_open does not reuse.
  }
}

}  // namespace zep::api

using zep::api::Call;

extern "C" {

int zep_open(const char *path, const char *mode, zep_file **out) {
  if (out != nullptr) *out = nullptr;
  Call c(nullptr);
  if (path == nullptr || mode == nullptr || out == nullptr)
    return c.fail(ZEP_EINVAL, "zep_open: a null path, mode or result");
  const std::string m = mode;
  if (m != "r" && m != "w" && m != "a")
    return c.fail(ZEP_EINVAL, std::string(path) + ": unknown mode \"" + m + "\" (r, w or a)");
  const std::string p = path;
  c.set_path(p);
  if (p.empty()) return c.fail(ZEP_EINVAL, "zep_open: an empty path");
  if (p.size() > zep::api::kMaxPath)
    return c.fail(ZEP_EOPEN, p.substr(0, 64) + "...: the path is too long");

  if (m == "w") {
    // The old contents go only while no writer holds the file: it is
    // emptied under the writer's lock, which the open below takes again.
    const int fd = ::open(path, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) return c.fail(ZEP_EOPEN, p + ": cannot be created: " + std::strerror(errno));
    if (zep::io::lock_descriptor(fd) == zep::io::WriterLock::kBusy) {
      ::close(fd);
      return c.fail(ZEP_EOPEN, p + ": the file is being written by another program");
    }
    const bool emptied = ::ftruncate(fd, 0) == 0;
    const int saved = errno;
    ::close(fd);
    if (!emptied) return c.fail(ZEP_EOPEN, p + ": cannot be emptied: " + std::strerror(saved));
  } else {
    struct stat st;
    if (::stat(path, &st) != 0) return c.fail(ZEP_EOPEN, p + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return c.fail(ZEP_EOPEN, p + ": not a regular file");
    if (::access(path, m == "r" ? R_OK : (R_OK | W_OK)) != 0)
      return c.fail(ZEP_EOPEN, p + ": " + std::strerror(errno));
    if (m == "r" && st.st_size == 0) return c.fail(ZEP_ENOTSTD, p + ": the file is empty");
    if (st.st_size > int64_t{INT32_MAX} * 4)
      return c.fail(ZEP_EOPEN, p + ": the file is larger than the library can address");
  }

  const int unit = zep::api::free_unit();
  if (unit == 0 || zep::io::first_free_entry() < 0 || !zep::api::xdf_slot_left())
    return c.fail(ZEP_ETOOMANY, p + ": the file table is full");

  int bound = 0;  // the unit once bound, for the clean-up after a stop
  const int result = zep::api::fenced(c, [&]() -> int {
    const std::string name = "+" + p;
    const char *attributes = m == "r" ? "RND+R/O+OLD" : (m == "a" ? "RND+OLD" : "RND");
    if (c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(unit)), name.c_str(), attributes,
               0) != 0)
      return c.fail(ZEP_EOPEN, p + ": cannot be bound to a unit");
    bound = unit;
    const int row = zep::io::file_index_of(unit);
    if (row < 0 || zep::io::file_entry(row).file_name != p || zep::io::file_entry(row).subname) {
      c_fclos(unit);
      return c.fail(ZEP_EOPEN, p + ": the library cannot name this path");
    }

    std::unique_ptr<zep_file> f(new (std::nothrow) zep_file);
    if (!f) {
      c_fclos(unit);
      return c.fail(ZEP_ENOMEM, p + ": out of memory");
    }
    f->iun = unit;
    f->path = p;
    f->writable = m != "r";
    const int status = c_vktouv(unit, "RND");
    const zep::xdf::FileEntry *e = zep::xdf::open_entry(zep::xdf::file_index(unit));
    if (status < 0 || e == nullptr || c.errors() > 0) {
      if (e != nullptr) c_vktfrm(unit);
      c_fclos(unit);
      const int code = status < 0 ? zep::api::map_code(status, ZEP_EOPEN) : ZEP_EDAMAGED;
      return c.fail(code, p + ": cannot be opened as a standard file");
    }
    f->sequential = e->xdf_seq != 0;
    if (f->writable && f->sequential) {
      c_vktfrm(unit);
      c_fclos(unit);
      return c.fail(ZEP_EINVAL, p + ": a sequential file can only be opened for reading");
    }
    *out = f.release();
    return 0;
  });
  if (result < 0 && bound != 0 && zep::io::file_index_of(bound) >= 0) zep::api::abandon_unit(bound);
  return result;
}

int zep_close(zep_file *f) {
  if (f == nullptr) return 0;
  int result = 0;
  {
    Call c(f);
    if (f->broken) {
      // An earlier stop left this file's tables untrusted: release them
      // without writing anything more, and report that failure again.
      zep::api::abandon_unit(f->iun);
      result = f->broken_code;
      c.set_file(nullptr);
      c.fail(result, f->path + ": the file was closed after an earlier failure");
    } else {
      try {
        const int status = c_vktfrm(f->iun);
        c_fclos(f->iun);
        if (status < 0 || c.errors() > 0) {
          result = f->writable ? ZEP_EWRITE : zep::api::map_code(status, ZEP_EDAMAGED);
          c.set_file(nullptr);
          c.fail(result, f->path + ": the file could not be closed cleanly");
        }
      } catch (const zep::FatalStop &stop) {
        // The final flush failed: what is left of the file is released.
        zep::api::abandon_unit(f->iun);
        c.set_file(nullptr);
        c.set_path(f->path);
        result = c.stopped(stop);
      }
    }
  }
  delete f;
  return result;
}

}  // extern "C"
