/* Writes a small standard file of model output: four variables on four
 * pressure levels at two times of one forecast.
 *
 *   TT  temperature (deg C)        packed reals, 16 bits       (datyp 1)
 *   UU  wind component (kt)        float packer, compressed    (datyp 134)
 *   HU  specific humidity (kg/kg)  IEEE, 32 bits               (datyp 5)
 *   ME  surface height (m)         signed integers, 16 bits    (datyp 4)
 *
 * Usage: write_sample FILE    (FILE is replaced)
 * Then:  vkt2xml -vkt FILE
 */
#include <math.h>
#include <stdio.h>

#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"

enum { NI = 36, NJ = 18, UNIT = 10 };
static const double kPi = 3.14159265358979323846;

static const float kPressures[] = {1000.0f, 850.0f, 500.0f, 250.0f};
enum { NLEVELS = sizeof kPressures / sizeof kPressures[0] };

/* Level code of a pressure in hPa. */
static int pressure_level(float p) {
  int ip1 = 0, kind = 2, mode = 2, flag = 0;
  char text[1];
  convip_(&ip1, &p, &kind, &mode, text, &flag, 0);
  return ip1;
}

/* Latitude and longitude (degrees) of grid point (i, j) of a global grid. */
static double lat_of(int j) { return -85.0 + 10.0 * j; }
static double lon_of(int i) { return 5.0 + 10.0 * i; }

static int write_field(void *field, int npak, int datyp, int date, int deet, int npas, int ip1,
                       int ip2, const char *nomvar) {
  const int status = c_vktecr(field, NULL, npak, UNIT, date, deet, npas, NI, NJ, 1, ip1, ip2, 0,
                              "P", nomvar, "SAMPLE", "G", 0, 0, 0, 0, datyp, 0);
  if (status < 0) fprintf(stderr, "write_sample: writing %s failed (%d)\n", nomvar, status);
  return status;
}

int main(int argc, char **argv) {
  static float tt[NI * NJ], uu[NI * NJ], hu[NI * NJ];
  static int me[NI * NJ];
  int unit = UNIT, date = 0, yyyymmdd = 20240115, hhmmss = 12000000, mode = 3;
  const int deet = 900;        /* 15-minute time step */
  const int steps[] = {0, 24}; /* analysis and 6-hour forecast */
  int t, k, i, j, failures = 0;

  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  remove(argv[1]);
  if (newdate_(&date, &yyyymmdd, &hhmmss, &mode) != 0) return 1;
  if (c_fnom(&unit, argv[1], "RND", 0) != 0) return 1;
  if (c_vktouv(UNIT, "RND") < 0) return 1;
  c_vktopc("MSGLVL", "WARNIN", 0); /* no listing line per record */

  for (t = 0; t < 2; ++t) {
    const int npas = steps[t];
    const int hour = npas * deet / 3600;
    for (k = 0; k < NLEVELS; ++k) {
      const float p = kPressures[k];
      const int ip1 = pressure_level(p);
      for (j = 0; j < NJ; ++j) {
        for (i = 0; i < NI; ++i) {
          const double lat = lat_of(j) * kPi / 180.0, lon = lon_of(i) * kPi / 180.0;
          const double warm = 30.0 * cos(lat) - 0.08 * (1000.0 - p);
          tt[i + NI * j] = (float)(warm + 3.0 * sin(2.0 * lon + 0.1 * hour));
          uu[i + NI * j] = (float)(10.0 + 40.0 * (1000.0 - p) / 750.0 * cos(lat) * cos(lat) +
                                   5.0 * sin(lon + 0.05 * hour));
          hu[i + NI * j] =
              (float)(0.015 * (p / 1000.0) * (p / 1000.0) * cos(lat) * cos(lat) + 1e-5);
        }
      }
      failures += write_field(tt, -16, 1, date, deet, npas, ip1, hour, "TT") < 0;
      failures += write_field(uu, -12, 134, date, deet, npas, ip1, hour, "UU") < 0;
      failures += write_field(hu, -32, 5, date, deet, npas, ip1, hour, "HU") < 0;
    }
    for (j = 0; j < NJ; ++j) {
      for (i = 0; i < NI; ++i) {
        const double lat = lat_of(j) * kPi / 180.0, lon = lon_of(i) * kPi / 180.0;
        const double h = 2500.0 * sin(3.0 * lon) * cos(lat) * cos(lat) - 300.0;
        me[i + NI * j] = h > 0.0 ? (int)h : -50;
      }
    }
    failures += write_field(me, -16, 4, date, deet, npas, 0, hour, "ME") < 0;
  }

  if (c_vktfrm(UNIT) < 0) ++failures;
  c_fclos(UNIT);
  return failures == 0 ? 0 : 1;
}
