/* Lists every record of a standard file with its first values, through the
 * safe API: open, walk, read, close. Build: cc list_values.c -lzep */
#include <stdio.h>
#include <stdlib.h>

#include "zep/api.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  zep_file *f;
  int rc = zep_open(argv[1], "r", &f);
  if (rc < 0) {
    fprintf(stderr, "%s: %s\n", zep_strerror(rc), zep_last_message(NULL));
    return 1;
  }
  printf("%ld records\n", zep_count(f));
  zep_record rec;
  while ((rc = zep_next(f, &rec)) == 1) {
    printf("%-4s %-2s %-12s level %-14s valid %s %dx%dx%d:", rec.nomvar, rec.typvar, rec.etiket,
           rec.level_text, rec.datev_iso, rec.ni, rec.nj, rec.nk);
    double *values = malloc(rec.count * sizeof *values + 1);
    long n = values ? zep_read_f64(f, &rec, values, rec.count) : ZEP_ENOMEM;
    if (n < 0) {
      printf(" %s (%s)\n", zep_strerror((int)n), zep_last_message(f));
    } else {
      for (long i = 0; i < n && i < 4; ++i) printf(" %g", values[i]);
      printf(n > 4 ? " ...\n" : "\n");
    }
    free(values);
  }
  if (rc < 0) fprintf(stderr, "%s\n", zep_last_message(f));
  zep_close(f);
  return rc < 0 ? 1 : 0;
}
