// The writer's lock of a unit, kept on the row's descriptor.
#include "io/file_lock.h"

#include <sys/file.h>

#include <cerrno>

#include "io/file_table.h"

namespace zep::io {

WriterLock lock_descriptor(int fd) {
  if (fd < 0) return WriterLock::kUnsupported;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return WriterLock::kHeld;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? WriterLock::kBusy : WriterLock::kUnsupported;
  }
}

void unlock_descriptor(int fd) {
  if (fd >= 0) ::flock(fd, LOCK_UN);
}

WriterLock lock_for_writing(int index) {
  if (index < 0 || index >= kMaxFiles) return WriterLock::kUnsupported;
  FileEntry &e = file_entry(index);
  if (e.write_locked) return WriterLock::kHeld;
  if (!e.open || e.subname) return WriterLock::kUnsupported;
  const WriterLock r = lock_descriptor(e.fd);
  if (r == WriterLock::kHeld) e.write_locked = true;
  return r;
}

void unlock_writer(int index) {
  if (index < 0 || index >= kMaxFiles) return;
  FileEntry &e = file_entry(index);
  if (!e.write_locked) return;
  unlock_descriptor(e.fd);
  e.write_locked = false;
}

}  // namespace zep::io
