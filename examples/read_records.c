/* Lists every record of a standard file: name, datyp, value count, first
 * and last value. Usage: read_records FILE */
#include <stdio.h>
#include <stdlib.h>
#include <zep/io.h>
#include <zep/stdfile.h>

int main(int argc, char **argv) {
  int unit = 10, ni, nj, nk;
  if (argc != 2) return 2;
  c_vktopc("MSGLVL", "WARNIN", 0); /* no "Read(10) ..." line per record on stdout */
  c_vktopc("TOLRNC", "SYSTEM", 0); /* damage gives a negative result, not an exit */
  if (c_fnom(&unit, argv[1], "STD+RND+R/O", 0) != 0) return 1; /* 0 on success */
  if (c_vktouv(unit, "RND") < 0) return 1;                     /* the record count */
  for (int h = c_vktinf(unit, &ni, &nj, &nk, -1, "", -1, -1, -1, "", ""); h >= 0;
       h = c_vktsui(unit, &ni, &nj, &nk)) { /* handles >= 0 */
    int dateo, deet, npas, nbits, datyp, ip1, ip2, ip3, ig1, ig2, ig3, ig4;
    int swa, lng, dltf, ubc, extra1, extra2, extra3;
    /* Each text: its field width plus a terminator, filled with blanks. */
    char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
    if (c_vktprm(h, &dateo, &deet, &npas, &ni, &nj, &nk, &nbits, &datyp, &ip1, &ip2, &ip3, typvar,
                 nomvar, etiket, grtyp, &ig1, &ig2, &ig3, &ig4, &swa, &lng, &dltf, &ubc, &extra1,
                 &extra2, &extra3) < 0) /* the handle */
      continue;
    const long n = (long)ni * nj * nk;
    const int kind = datyp & 0x7F;             /* +128: stored compressed */
    const int wide = kind == 5 && nbits == 64; /* 64-bit IEEE: 2 words a value */
    void *field = malloc((size_t)(n > 0 ? n : 1) * (wide ? 8 : 4));
    if (field == NULL || n == 0 || c_vktluk(field, h, &ni, &nj, &nk) < 0) { /* the handle */
      free(field);
      continue;
    }
    double first, last;
    if (kind == 2 || kind == 4) { /* unsigned and signed integers */
      first = ((int *)field)[0];
      last = ((int *)field)[n - 1];
    } else if (kind == 3) { /* characters, one byte each */
      first = ((unsigned char *)field)[0];
      last = ((unsigned char *)field)[n - 1];
    } else if (wide) {
      first = ((double *)field)[0];
      last = ((double *)field)[n - 1];
    } else { /* packed reals, IEEE 32 bits, float packer */
      first = ((float *)field)[0];
      last = ((float *)field)[n - 1];
    }
    printf("%s %d %ld %g %g\n", nomvar, datyp, n, first, last);
    free(field);
  }
  c_vktfrm(unit);
  c_fclos(unit);
  return 0;
}
