/* Compiled as C: every public header together, and a few calls across the
 * layers (dates, levels, packing, a file written and read back). */
#include <zep/zep.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;
#define CHECK(cond)                                        \
  do {                                                     \
    if (!(cond)) {                                         \
      fprintf(stderr, "c_api_check: failed: %s\n", #cond); \
      ++failures;                                          \
    }                                                      \
  } while (0)

int main(void) {
  int date = 20240229, time = 23000000, mode = 3, stamp = 0, back_date = 0, back_time = 0;
  CHECK(newdate_(&stamp, &date, &time, &mode) == 0);
  mode = -3;
  CHECK(newdate_(&stamp, &back_date, &back_time, &mode) == 0);
  CHECK(back_date == 20240229 && back_time == 23000000);

  int ip1 = 0, kind = 2, encode = 2, flag = 0;
  float p = 850.0f;
  char text[16];
  convip_(&ip1, &p, &kind, &encode, text, &flag, sizeof text);
  CHECK(ip1 > 0);

  uint32_t values[5] = {0, 7, 65535, 3, 1};
  uint32_t stream[8] = {0}, out[5] = {0};
  CHECK(compact_integer(values, NULL, stream, 5, 16, 0, 1, 1) >= 0);
  CHECK(compact_integer(out, NULL, stream, 5, 16, 0, 1, 2) >= 0);
  CHECK(memcmp(values, out, sizeof out) == 0);

  const char *path = "c_api_check.vkt";
  remove(path);
  int unit = 44, ni = 0, nj = 0, nk = 0;
  float field[3] = {1.0f, 2.0f, 4.0f}, got[3] = {0};
  CHECK(c_fnom(&unit, path, "STD+RND", 0) == 0);
  CHECK(c_vktouv(unit, "RND") >= 0);
  CHECK(c_vktecr(field, NULL, -32, unit, stamp, 0, 0, 3, 1, 1, ip1, 0, 0, "P", "CC", "C_API", "X",
                 0, 0, 0, 0, 5, 0) >= 0);
  c_vktfrm(unit);
  c_fclos(unit);
  CHECK(wkoffit_((char *)path, strlen(path)) == 33);
  CHECK(c_fnom(&unit, path, "STD+RND+R/O", 0) == 0);
  CHECK(c_vktouv(unit, "RND") == 1);
  int handle = c_vktinf(unit, &ni, &nj, &nk, -1, "", ip1, -1, -1, "", "CC");
  CHECK(handle >= 0 && ni == 3);
  CHECK(c_vktluk(got, handle, &ni, &nj, &nk) >= 0);
  CHECK(memcmp(got, field, sizeof got) == 0);
  c_vktfrm(unit);
  c_fclos(unit);
  remove(path);
  if (failures == 0) printf("c_api_check: all checks passed\n");
  return failures != 0;
}
