/* The program of the crash test, on the public entry points only.
 *
 *   crash_tool prepare FILE          a new file of 250 records, closed
 *   crash_tool append FILE LOG       reopens FILE, appends records 251-260
 *                                    (the 257th starts a second directory
 *                                    page), checkpoints, erases record 5,
 *                                    appends 261-270, checkpoints, appends
 *                                    271-276 and closes
 *   crash_tool safe FILE LOG         appends 251-266 through the safe API
 *                                    and closes; a failed call must come
 *                                    back as an error and the close must
 *                                    still release the file
 *   crash_tool check FILE LOG        the file opens; every record the log
 *                                    says is committed reads back
 *                                    identical; every record it lists is
 *                                    one the writer wrote, intact
 *
 * LOG holds lines "committed N" (records 1..N are on disk, written after
 * the checkpoint or close that made them so returned) and "erase 5" (the
 * erase was asked for; the record may then be gone). Each line is forced
 * to disk before the writer goes on. Record i holds kValues floats
 * i * 1000 + j under ip1 = i. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "zep/api.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

enum { kValues = 48, kPrepared = 250, kMaxRecord = 300, kErased = 5, kUnit = 20 };

static void fill(int i, float *v) {
  for (int j = 0; j < kValues; ++j) v[j] = (float)(i * 1000 + j);
}

static void log_line(const char *log, const char *text) {
  int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0 || write(fd, text, strlen(text)) != (ssize_t)strlen(text) || fsync(fd) != 0) {
    perror(log);
    exit(3);
  }
  close(fd);
}

static void committed(const char *log, int n) {
  char line[64];
  snprintf(line, sizeof line, "committed %d\n", n);
  log_line(log, line);
}

static int put(int unit, int i) {
  float v[kValues];
  fill(i, v);
  return c_vktecr(v, NULL, -32, unit, 0, 0, 0, kValues, 1, 1, i, 0, 0, "P", "CR", "CRASH", "X", 0,
                  0, 0, 0, 5, 0);
}

static int open_unit(const char *file, const char *attributes, int *unit) {
  *unit = kUnit;
  if (c_fnom(unit, file, attributes, 0) != 0) return -1;
  return c_vktouv(*unit, "RND");
}

static int prepare(const char *file) {
  int unit;
  unlink(file);
  if (open_unit(file, "STD+RND", &unit) < 0) return 2;
  for (int i = 1; i <= kPrepared; ++i)
    if (put(unit, i) < 0) return 2;
  if (c_vktfrm(unit) < 0) return 2;
  c_fclos(unit);
  return 0;
}

/* The old interface ends the process itself on a failed write. */
static int append(const char *file, const char *log) {
  int unit, i = kPrepared + 1;
  committed(log, kPrepared);
  if (open_unit(file, "STD+RND+OLD", &unit) < 0) return 2;
  for (; i <= 260; ++i)
    if (put(unit, i) < 0) return 2;
  if (c_vktckp(unit) < 0) return 2;
  committed(log, 260);
  int ni, nj, nk;
  const int handle = c_vktinf(unit, &ni, &nj, &nk, -1, "", kErased, -1, -1, "", "CR");
  if (handle < 0) return 2;
  log_line(log, "erase 5\n");
  if (c_vkteff(handle) < 0) return 2;
  for (; i <= 270; ++i)
    if (put(unit, i) < 0) return 2;
  if (c_vktckp(unit) < 0) return 2;
  committed(log, 270);
  for (; i <= 276; ++i)
    if (put(unit, i) < 0) return 2;
  if (c_vktfrm(unit) < 0) return 2;
  committed(log, 276);
  c_fclos(unit);
  return 0;
}

/* The safe interface: an error comes back; the file is closed all the same
 * and the process ends normally (the leak checker runs at its end). */
static int safe(const char *file, const char *log) {
  zep_file *f = NULL;
  committed(log, kPrepared);
  if (zep_open(file, "a", &f) != 0) return 2;
  int failed = 0;
  for (int i = kPrepared + 1; i <= 266 && !failed; ++i) {
    zep_record d;
    float v[kValues];
    zep_record_init(&d);
    strcpy(d.nomvar, "CR");
    strcpy(d.typvar, "P");
    strcpy(d.etiket, "CRASH");
    d.ip1 = i;
    d.ni = kValues;
    d.datyp = 5;
    d.nbits = 32;
    fill(i, v);
    const int rc = zep_write(f, &d, ZEP_TYPE_F32, v, kValues);
    if (rc != 0 && rc != ZEP_EWRITE) {
      fprintf(stderr, "zep_write: unexpected %d\n", rc);
      return 2;
    }
    failed = rc != 0;
  }
  const int rc = zep_close(f);
  if (rc == 0 && !failed) committed(log, 266);
  if (rc != 0 && rc != ZEP_EWRITE) {
    fprintf(stderr, "zep_close: unexpected %d\n", rc);
    return 2;
  }
  return failed || rc != 0 ? 1 : 0;
}

static int check(const char *file, const char *log) {
  int last = 0, erase_asked = 0;
  FILE *in = fopen(log, "r");
  char line[64];
  while (in != NULL && fgets(line, sizeof line, in) != NULL) {
    int n;
    if (sscanf(line, "committed %d", &n) == 1) last = n;
    if (strncmp(line, "erase", 5) == 0) erase_asked = 1;
  }
  if (in != NULL) fclose(in);
  int unit;
  if (open_unit(file, "STD+RND+R/O", &unit) < 0) {
    printf("check: %s does not open\n", file);
    return 1;
  }
  int seen[kMaxRecord + 1] = {0}, bad = 0, listed = 0;
  int ni, nj, nk;
  for (int h = c_vktinf(unit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
       h = c_vktsui(unit, &ni, &nj, &nk)) {
    int dateo, deet, npas, nbits, datyp, ip1, ip2, ip3, ig1, ig2, ig3, ig4, swa, lng, dltf, ubc, e1,
        e2, e3;
    char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
    ++listed;
    if (c_vktprm(h, &dateo, &deet, &npas, &ni, &nj, &nk, &nbits, &datyp, &ip1, &ip2, &ip3, typvar,
                 nomvar, etiket, grtyp, &ig1, &ig2, &ig3, &ig4, &swa, &lng, &dltf, &ubc, &e1, &e2,
                 &e3) < 0 ||
        ip1 < 1 || ip1 > kMaxRecord || ni != kValues || nj != 1 || nk != 1) {
      printf("check: record %d of the listing is not one the writer wrote (ip1=%d ni=%d)\n", listed,
             ip1, ni);
      ++bad;
      continue;
    }
    float got[kValues], want[kValues];
    fill(ip1, want);
    if (c_vktluk(got, h, &ni, &nj, &nk) < 0 || memcmp(got, want, sizeof want) != 0) {
      printf("check: record %d reads back wrong\n", ip1);
      ++bad;
    }
    if (seen[ip1]++) {
      printf("check: record %d is listed twice\n", ip1);
      ++bad;
    }
  }
  for (int i = 1; i <= last; ++i) {
    if (seen[i] || (i == kErased && erase_asked)) continue;
    printf("check: committed record %d is missing\n", i);
    ++bad;
  }
  c_vktfrm(unit);
  c_fclos(unit);
  printf("check: %d records listed, %d committed, %d faults\n", listed, last, bad);
  return bad == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
  c_vktopc("MSGLVL", "WARNIN", 0);
  if (argc >= 3 && strcmp(argv[1], "prepare") == 0) return prepare(argv[2]);
  if (argc >= 4 && strcmp(argv[1], "append") == 0) return append(argv[2], argv[3]);
  if (argc >= 4 && strcmp(argv[1], "safe") == 0) return safe(argv[2], argv[3]);
  if (argc >= 4 && strcmp(argv[1], "check") == 0) return check(argv[2], argv[3]);
  fprintf(stderr, "usage: crash_tool prepare FILE | append|safe|check FILE LOG\n");
  return 2;
}
