/* Reads every record of a standard file with zep_read_f32, RUNS times, and
 * prints one line per run: "seconds values" (wall-clock time of the open,
 * the walk, the reads and the close). The yardstick of the Python read
 * benchmark (bench/python_read_bench.py).
 *
 * Usage: api_read_bench FILE [RUNS]
 */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "zep/api.h"

static double now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + 1e-9 * (double)ts.tv_nsec;
}

int main(int argc, char **argv) {
  int runs = argc > 2 ? atoi(argv[2]) : 1;
  float *buffer = NULL;
  size_t capacity = 0;
  if (argc < 2 || runs < 1) {
    fprintf(stderr, "usage: %s FILE [RUNS]\n", argv[0]);
    return 2;
  }
  for (int run = 0; run < runs; ++run) {
    double start = now();
    long long values = 0;
    zep_file *f = NULL;
    zep_record rec;
    int rc = zep_open(argv[1], "r", &f);
    if (rc < 0) {
      fprintf(stderr, "%s: %s\n", argv[1], zep_last_message(NULL));
      return 1;
    }
    while ((rc = zep_next(f, &rec)) == 1) {
      if (rec.count > capacity) {
        free(buffer);
        capacity = rec.count;
        buffer = malloc(sizeof *buffer * capacity);
        if (!buffer) return 1;
      }
      long n = zep_read_f32(f, &rec, buffer, capacity);
      if (n < 0) {
        fprintf(stderr, "%s: %s\n", argv[1], zep_last_message(f));
        return 1;
      }
      values += n;
    }
    zep_close(f);
    if (rc < 0) return 1;
    printf("%.6f %lld\n", now() - start, values);
  }
  free(buffer);
  return 0;
}
