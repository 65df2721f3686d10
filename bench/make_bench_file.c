/* Writes the converter's benchmark file: 20 records of 1000 x 1000 values,
 * packed reals on 16 bits (datyp 1), five of each kind below, on five
 * pressure levels:
 *
 *   TT  temperature (K)           240 .. 320
 *   PN  pressure (Pa)             9e4 .. 1.03e5
 *   HU  specific humidity (kg/kg) 1e-7 .. 0.02, spread over its decades
 *   WD  a field of many decades   1e-6 .. 1e5, spread over its decades
 *
 * Smooth large-scale patterns plus a small deterministic noise, so that the
 * 16-bit tokens use their whole range and the texts vary as real output
 * does.
 *
 * Usage: make_bench_file FILE    (FILE is replaced)
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

enum { NI = 1000, NJ = 1000, UNIT = 11, LEVELS = 5 };
static const double kPi = 3.14159265358979323846;

/* Uniform in [0, 1) from a 64-bit linear congruential state. */
static double next_uniform(uint64_t *state) {
  *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
  return (double)(*state >> 11) * (1.0 / 9007199254740992.0);
}

static int pressure_level(float hpa) {
  int ip1 = 0, kind = 2, mode = 2, flag = 0;
  char text[1];
  convip_(&ip1, &hpa, &kind, &mode, text, &flag, 0);
  return ip1;
}

/* Value of kind `kind` at (i, j) on level k: `shape` in [0, 1] is the smooth
 * pattern, `noise` in [0, 1) the small-scale part. */
static float value_of(int kind, int k, double shape, double noise) {
  const double s = 0.9 * shape + 0.1 * noise;
  switch (kind) {
    case 0: return (float)(240.0 + 72.0 * s + 2.0 * (LEVELS - 1 - k));
    case 1: return (float)(9.0e4 + 1.3e4 * s);
    case 2: return (float)pow(10.0, -7.0 + (log10(0.02) + 7.0) * s);
    default: return (float)pow(10.0, -6.0 + 11.0 * s);
  }
}

int main(int argc, char **argv) {
  static const char *const kNames[] = {"TT", "PN", "HU", "WD"};
  static const float kLevels[LEVELS] = {1000.0f, 850.0f, 700.0f, 500.0f, 250.0f};
  float *field;
  uint64_t state = 20240115u;
  int unit = UNIT, date = 0, yyyymmdd = 20240115, hhmmss = 12000000, mode = 3;
  int kind, k, i, j, failures = 0;

  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  field = malloc(sizeof *field * NI * NJ);
  if (!field) return 1;
  remove(argv[1]);
  if (newdate_(&date, &yyyymmdd, &hhmmss, &mode) != 0) return 1;
  if (c_fnom(&unit, argv[1], "RND", 0) != 0) return 1;
  if (c_vktouv(UNIT, "RND") < 0) return 1;
  c_vktopc("MSGLVL", "WARNIN", 0);

  for (kind = 0; kind < 4; ++kind) {
    for (k = 0; k < LEVELS; ++k) {
      for (j = 0; j < NJ; ++j) {
        const double lat = (-90.0 + 180.0 * (j + 0.5) / NJ) * kPi / 180.0;
        for (i = 0; i < NI; ++i) {
          const double lon = 360.0 * i / NI * kPi / 180.0;
          const double wave =
              0.5 + 0.35 * cos(lat) * cos(lat) + 0.15 * sin(3.0 * lon + 0.7 * k) * cos(2.0 * lat);
          double shape = wave < 0.0 ? 0.0 : (wave > 1.0 ? 1.0 : wave);
          field[i + (size_t)NI * j] = value_of(kind, k, shape, next_uniform(&state));
        }
      }
      if (c_vktecr(field, NULL, -16, UNIT, date, 900, 12, NI, NJ, 1, pressure_level(kLevels[k]), 3,
                   0, "P", kNames[kind], "BENCHMARK", "G", 0, 0, 0, 0, 1, 0) < 0) {
        fprintf(stderr, "make_bench_file: writing %s failed\n", kNames[kind]);
        ++failures;
      }
    }
  }
  if (c_vktfrm(UNIT) < 0) ++failures;
  c_fclos(UNIT);
  free(field);
  return failures == 0 ? 0 : 1;
}
