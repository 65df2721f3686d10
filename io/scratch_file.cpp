// Exclusive creation, checked reopening and removal of scratch files.
#include "io/scratch_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zep::io {

namespace {

constexpr int kCreateFlags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t kScratchMode = 0600;

bool same_file(const struct stat &st, const ScratchFile &s) {
  return S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_dev) == s.device &&
         static_cast<uint64_t>(st.st_ino) == s.inode;
}

// Creates `name` exclusively; the descriptor (identity stored in *out, with
// a second descriptor as its anchor) or -1.
int create_exclusive(const std::string &name, ScratchFile *out) {
  int fd;
  do {
    fd = ::open(name.c_str(), kCreateFlags, kScratchMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int saved = errno;
    ::close(fd);
    ::unlink(name.c_str());
    errno = saved;
    return -1;
  }
  const int anchor = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (anchor < 0) {
    const int saved = errno;
    ::close(fd);
    ::unlink(name.c_str());
    errno = saved;
    return -1;
  }
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
  out->creator = static_cast<long>(::getpid());
  out->anchor = anchor;
  return fd;
}

void drop_anchor(ScratchFile *s) {
  if (s->anchor >= 0) ::close(s->anchor);
  s->anchor = -1;
}

// At exit, the scratch files of the units still bound go too (only in the
// process that created them: a forked child leaves its parent's alone).
void remove_scratch_files_at_exit() {
  for (int i = 0; i < kMaxFiles; ++i) {
    FileEntry &e = file_entry(i);
    if (!e.is_free() && e.scratch) remove_scratch_file(e);
  }
}

}  // namespace

int create_scratch_file(int index) {
  static const bool registered = std::atexit(remove_scratch_files_at_exit) == 0;
  (void)registered;
  FileEntry &e = file_entry(index);
  ScratchFile made;
  const int fd = create_exclusive(e.file_name, &made);
  if (fd < 0) {
    if (errno == EEXIST || errno == ELOOP)
      std::fprintf(stderr,
                   "c_fnom error: scratch file name %s is already taken (by a file or a link); "
                   "it is not used\n",
                   e.file_name.c_str());
    else
      std::fprintf(stderr, "c_fnom error: cannot create scratch file %s: %s\n", e.file_name.c_str(),
                   std::strerror(errno));
    return -1;
  }
  ::close(fd);
  e.scratch = made;
  return 0;
}

int reopen_scratch_file(FileEntry &e) {
  if (!e.scratch) return -1;
  int fd;
  do {
    fd = ::open(e.file_name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno != ENOENT) return -1;
    ScratchFile made;
    fd = create_exclusive(e.file_name, &made);
    if (fd >= 0) {
      drop_anchor(&*e.scratch);
      e.scratch = made;
    }
    return fd;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !same_file(st, *e.scratch)) {
    ::close(fd);
    errno = EEXIST;
    return -1;
  }
  return fd;
}

void remove_scratch_file(FileEntry &e) {
  if (!e.scratch) return;
  ScratchFile s = *e.scratch;
  e.scratch.reset();
  struct stat st;
  if (s.creator == static_cast<long>(::getpid()) && ::lstat(e.file_name.c_str(), &st) == 0 &&
      same_file(st, s))
    ::unlink(e.file_name.c_str());
  drop_anchor(&s);
}

}  // namespace zep::io
