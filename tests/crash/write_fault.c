/* A preloaded library that makes the writes to one file fail, driven by
 * the environment:
 *
 *   CRASH_FILE   writes go through here when the descriptor's path ends
 *                with this text; every other write is left alone
 *   CRASH_MODE   count  : only count the calls
 *                enospc, eio, efbig : call N and every later one fail with
 *                         that error, nothing written
 *                short  : call N writes half its bytes, every later one
 *                         fails with ENOSPC (a disk filling up)
 *                kill   : the process is killed (SIGKILL) right after call N
 *   CRASH_AT     N, counted from 1
 *   CRASH_COUNT  a file where the number of calls seen is written at exit
 *
 * write, pwrite, pwrite64 and writev are the calls counted. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

enum mode { M_OFF, M_COUNT, M_ERRNO, M_SHORT, M_KILL };

static enum mode mode = M_OFF;
static int fail_errno = 0;
static long at = 0;
static long calls = 0;
static const char *target = NULL;
static const char *count_file = NULL;

__attribute__((constructor)) static void setup(void) {
  const char *m = getenv("CRASH_MODE");
  target = getenv("CRASH_FILE");
  count_file = getenv("CRASH_COUNT");
  at = getenv("CRASH_AT") ? atol(getenv("CRASH_AT")) : 0;
  if (m == NULL || target == NULL) return;
  if (strcmp(m, "count") == 0) mode = M_COUNT;
  if (strcmp(m, "enospc") == 0) mode = M_ERRNO, fail_errno = ENOSPC;
  if (strcmp(m, "eio") == 0) mode = M_ERRNO, fail_errno = EIO;
  if (strcmp(m, "efbig") == 0) mode = M_ERRNO, fail_errno = EFBIG;
  if (strcmp(m, "short") == 0) mode = M_SHORT;
  if (strcmp(m, "kill") == 0) mode = M_KILL;
}

__attribute__((destructor)) static void report(void) {
  if (count_file == NULL || mode == M_OFF) return;
  char text[32];
  const int n = snprintf(text, sizeof text, "%ld\n", calls);
  const int fd = open(count_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (syscall(SYS_write, fd, text, (size_t)n) < 0) perror(count_file);
  close(fd);
}

/* True when fd is the watched file. */
static int watched(int fd) {
  if (mode == M_OFF) return 0;
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  const size_t lt = strlen(target);
  return (size_t)n >= lt && strcmp(path + n - lt, target) == 0;
}

/* What to do with a watched call of `bytes` bytes: -1 fail (errno set),
 * else the number of bytes to let through. */
static ssize_t decide(size_t bytes) {
  const long n = ++calls;
  if (mode == M_ERRNO && n >= at) {
    errno = fail_errno;
    return -1;
  }
  if (mode == M_SHORT && n > at) {
    errno = ENOSPC;
    return -1;
  }
  if (mode == M_SHORT && n == at) return (ssize_t)(bytes / 2);
  return (ssize_t)bytes;
}

static void after(void) {
  if (mode == M_KILL && calls == at) kill(getpid(), SIGKILL);
}

typedef ssize_t (*write_fn)(int, const void *, size_t);
typedef ssize_t (*pwrite_fn)(int, const void *, size_t, off_t);
typedef ssize_t (*writev_fn)(int, const struct iovec *, int);

#define REAL(name, type)   \
  static type real_##name; \
  if (real_##name == NULL) real_##name = (type)dlsym(RTLD_NEXT, #name)

ssize_t write(int fd, const void *buf, size_t count) {
  REAL(write, write_fn);
  if (!watched(fd)) return real_write(fd, buf, count);
  const ssize_t allow = decide(count);
  if (allow < 0) return -1;
  const ssize_t r = real_write(fd, buf, (size_t)allow);
  after();
  return r;
}

ssize_t pwrite(int fd, const void *buf, size_t count, off_t offset) {
  REAL(pwrite, pwrite_fn);
  if (!watched(fd)) return real_pwrite(fd, buf, count, offset);
  const ssize_t allow = decide(count);
  if (allow < 0) return -1;
  const ssize_t r = real_pwrite(fd, buf, (size_t)allow, offset);
  after();
  return r;
}

ssize_t pwrite64(int fd, const void *buf, size_t count, off_t offset) {
  REAL(pwrite64, pwrite_fn);
  if (!watched(fd)) return real_pwrite64(fd, buf, count, offset);
  const ssize_t allow = decide(count);
  if (allow < 0) return -1;
  const ssize_t r = real_pwrite64(fd, buf, (size_t)allow, offset);
  after();
  return r;
}

ssize_t writev(int fd, const struct iovec *iov, int iovcnt) {
  REAL(writev, writev_fn);
  if (!watched(fd)) return real_writev(fd, iov, iovcnt);
  size_t total = 0;
  for (int i = 0; i < iovcnt; ++i) total += iov[i].iov_len;
  const ssize_t allow = decide(total);
  if (allow < 0) return -1;
  if ((size_t)allow == total) {
    const ssize_t r = real_writev(fd, iov, iovcnt);
    after();
    return r;
  }
  /* A short writev: the first `allow` bytes, through the plain call. */
  REAL(write, write_fn);
  ssize_t done = 0;
  for (int i = 0; i < iovcnt && done < allow; ++i) {
    size_t part = iov[i].iov_len;
    if ((size_t)(allow - done) < part) part = (size_t)(allow - done);
    const ssize_t r = real_write(fd, iov[i].iov_base, part);
    if (r < 0) return done > 0 ? done : -1;
    done += r;
  }
  after();
  return done;
}
