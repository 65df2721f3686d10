/* The damaged standard files of tests/damaged/ through the safe API: each
 * one must give a negative code somewhere (open, walk or read) with a
 * message naming the file, and none may end the process or print anything.
 * Then every file of the golden folder (when given), cut at a spread of
 * lengths and with single words flipped, goes through the same calls: they
 * may succeed or fail, but never print, end the process or make a read
 * write past its buffer (the run is made under the sanitizers).
 *
 * Standard output and standard error are sent to a scratch file while the
 * API works; that file must stay empty.
 *
 * Usage: api_damaged_check DAMAGED_DIR [GOLDEN_DIR]. Prints "all checks
 * passed" on success. */
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "zep/api.h"

static int failures;
static char report[1 << 16];
static size_t report_len;

/* Failures are collected while the standard streams are redirected. */
#define FAIL(...)                                                                         \
  do {                                                                                    \
    if (report_len < sizeof report - 512)                                                 \
      report_len +=                                                                       \
          (size_t)snprintf(report + report_len, sizeof report - report_len, __VA_ARGS__); \
    if (report_len < sizeof report - 2) report[report_len++] = '\n';                      \
    ++failures;                                                                           \
  } while (0)

/* Walks and reads the whole file. Returns the first negative code met (0
 * when none); *message receives its message. */
static int exercise(const char *path, char *message, size_t cap) {
  int first = 0;
  message[0] = '\0';
  zep_file *f = NULL;
  int rc = zep_open(path, "r", &f);
  if (rc < 0) {
    snprintf(message, cap, "%s", zep_last_message(NULL));
    return rc;
  }
  zep_record r;
  long total = 0;
  while ((rc = zep_next(f, &r)) == 1) {
    /* A damaged count must not make the caller allocate more than the file
     * could hold: the read refuses a small buffer first. */
    size_t cap_values = r.count < (1u << 22) ? r.count : (1u << 22);
    double *dv = malloc(sizeof(double) * (cap_values + 1));
    float *fv = malloc(sizeof(float) * (cap_values + 1));
    const long nd = zep_read_f64(f, &r, dv, cap_values);
    const long nf = zep_read_f32(f, &r, fv, cap_values);
    if (nd < 0 && first == 0) {
      first = (int)nd;
      snprintf(message, cap, "%s", zep_last_message(f));
    } else if (nf < 0 && first == 0) {
      first = (int)nf;
      snprintf(message, cap, "%s", zep_last_message(f));
    }
    free(dv);
    free(fv);
    if (++total > 100000) break; /* a walk that does not end */
  }
  if (rc < 0 && first == 0) {
    first = rc;
    snprintf(message, cap, "%s", zep_last_message(f));
  }
  zep_check_report check;
  const int crc = zep_check(path, &check);
  if (crc == 0 && first != 0 && !check.damaged)
    FAIL("%s: zep_check finds no damage (%d)", path, first);
  zep_close(f);
  return first;
}

static int list_dir(const char *dir, const char *suffix, char **names, int max) {
  DIR *d = opendir(dir);
  if (!d) return -1;
  int n = 0;
  struct dirent *e;
  while ((e = readdir(d)) != NULL && n < max) {
    const size_t len = strlen(e->d_name);
    if (len > strlen(suffix) && strcmp(e->d_name + len - strlen(suffix), suffix) == 0) {
      names[n] = malloc(strlen(dir) + len + 2);
      sprintf(names[n], "%s/%s", dir, e->d_name);
      ++n;
    }
  }
  closedir(d);
  return n;
}

static unsigned char *slurp(const char *path, size_t *size) {
  FILE *in = fopen(path, "rb");
  if (!in) return NULL;
  fseek(in, 0, SEEK_END);
  const long n = ftell(in);
  fseek(in, 0, SEEK_SET);
  unsigned char *buf = malloc((size_t)n + 1);
  if (buf && fread(buf, 1, (size_t)n, in) != (size_t)n) {
    free(buf);
    buf = NULL;
  }
  fclose(in);
  *size = buf ? (size_t)n : 0;
  return buf;
}

static void spill(const char *path, const unsigned char *data, size_t n) {
  FILE *out = fopen(path, "wb");
  if (!out) return;
  fwrite(data, 1, n, out);
  fclose(out);
}

/* Cuts and flipped words of one sound file. */
static int mutate(const char *sound, const char *scratch) {
  size_t size = 0;
  unsigned char *data = slurp(sound, &size);
  if (!data || size > (1u << 20)) {
    free(data);
    return 0;
  }
  int runs = 0;
  char message[1024];
  const size_t cuts[] = {1, 4, 7, 63, 64, 100, 200, 255, 256, 1000, 2047, 2048, 4096, 8191, 8192};
  for (size_t i = 0; i < sizeof cuts / sizeof cuts[0]; ++i) {
    if (cuts[i] >= size) continue;
    spill(scratch, data, cuts[i]);
    exercise(scratch, message, sizeof message);
    spill(scratch, data, size - cuts[i]);
    exercise(scratch, message, sizeof message);
    runs += 2;
  }
  unsigned char *copy = malloc(size);
  for (size_t w = 0; w + 4 <= size && w < 16384; w += 4 * 37) {
    memcpy(copy, data, size);
    copy[w] ^= 0xFF;
    copy[w + 3] ^= 0x5A;
    spill(scratch, copy, size);
    exercise(scratch, message, sizeof message);
    ++runs;
  }
  free(copy);
  free(data);
  return runs;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s DAMAGED_DIR [GOLDEN_DIR]\n", argv[0]);
    return 2;
  }
  char *damaged[256];
  const int nd = list_dir(argv[1], ".vkt", damaged, 256);
  if (nd <= 0) {
    fprintf(stderr, "%s: no damaged file in %s\n", argv[0], argv[1]);
    return 2;
  }
  char *golden[256];
  const int ng = argc > 2 ? list_dir(argv[2], ".vkt", golden, 256) : 0;

  char scratch[64];
  snprintf(scratch, sizeof scratch, "/tmp/zep_api_damaged_%ld", (long)getpid());
  char captured[128];
  snprintf(captured, sizeof captured, "%s.out", scratch);

  fflush(stdout);
  fflush(stderr);
  const int saved_out = dup(1), saved_err = dup(2);
  if (!freopen(captured, "w", stdout) || dup2(1, 2) < 0) return 2;

  int mutated = 0;
  char message[1024];
  for (int i = 0; i < nd; ++i) {
    const int code = exercise(damaged[i], message, sizeof message);
    if (code >= 0)
      FAIL("%s: no call gave a negative code", damaged[i]);
    else if (message[0] == '\0')
      FAIL("%s: code %d without a message", damaged[i], code);
    else if (!strstr(message, damaged[i]))
      FAIL("%s: the message does not name the file: %s", damaged[i], message);
  }
  for (int i = 0; i < ng; ++i) mutated += mutate(golden[i], scratch);

  fflush(stdout);
  fflush(stderr);
  dup2(saved_out, 1);
  dup2(saved_err, 2);
  close(saved_out);
  close(saved_err);
  struct stat st;
  if (stat(captured, &st) == 0 && st.st_size != 0) {
    size_t n = 0;
    unsigned char *text = slurp(captured, &n);
    fprintf(stderr, "the library printed %zu bytes:\n%.*s\n", n, (int)(n > 2000 ? 2000 : n),
            (const char *)text);
    free(text);
    ++failures;
  }
  remove(captured);
  remove(scratch);
  fwrite(report, 1, report_len, stderr);
  printf("api damaged: %d damaged files, %d mutated files, %d failures\n", nd, mutated, failures);
  for (int i = 0; i < nd; ++i) free(damaged[i]);
  for (int i = 0; i < ng; ++i) free(golden[i]);
  if (failures == 0) printf("all checks passed\n");
  return failures == 0 ? 0 : 1;
}
