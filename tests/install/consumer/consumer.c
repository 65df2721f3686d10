/* A C program built against an installed copy of the library: codes a date
 * and a level, then writes and reads back a one-record standard file. */
#include <zep/coding.h>
#include <zep/io.h>
#include <zep/stdfile.h>
#include <zep/stdfile_write.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
  const char *path = argc > 1 ? argv[1] : "consumer.vkt";
  int date = 20240301, time = 6000000, mode = 3, stamp = 0;
  if (newdate_(&stamp, &date, &time, &mode) != 0) return 1;
  remove(path);
  int unit = 40;
  if (c_fnom(&unit, path, "STD+RND", 0) != 0 || c_vktouv(unit, "RND") < 0) return 2;
  float field[4] = {1.5f, -2.0f, 3.25f, 0.0f};
  if (c_vktecr(field, NULL, -32, unit, stamp, 0, 0, 2, 2, 1, 500, 0, 0, "P", "UU", "CONSUMER", "X",
               0, 0, 0, 0, 5, 0) < 0)
    return 3;
  c_vktfrm(unit);
  c_fclos(unit);

  if (c_fnom(&unit, path, "STD+RND+R/O", 0) != 0 || c_vktouv(unit, "RND") != 1) return 4;
  int ni, nj, nk;
  int handle = c_vktinf(unit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "UU");
  float back[4] = {0};
  if (handle < 0 || ni * nj * nk != 4 || c_vktluk(back, handle, &ni, &nj, &nk) < 0) return 5;
  if (memcmp(back, field, sizeof field) != 0) return 6;
  c_vktfrm(unit);
  c_fclos(unit);
  printf("consumer: read back what it wrote\n");
  return 0;
}
