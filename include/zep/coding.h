/* Level, date-time and grid coding: the by-reference entry points.
 *
 * Every argument is a pointer; each character argument adds a hidden length
 * (size_t, by value) at the end of the list, in the order of the character
 * arguments. Texts are fixed-length and blank-padded, not terminated. */
#ifndef ZEP_CODING_H
#define ZEP_CODING_H

#include "zep/export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Level codes. mode -1: *ip -> *p, *kind and, when the lowest bit of *flag
 * is set, the level text in text[0..text_len); mode 0: the default encoding
 * style becomes the new one; mode 1 (and other positive modes): (*p, *kind)
 * -> *ip in the default style; 2: new style; 3: old style; other negative
 * modes decode as -1 but accept new-style kinds above 3 only while the
 * default style is new. Invalid input prints a message on standard output
 * and ends the process (status 1 to 5). */
ZEP_EXPORT void convip_(int *ip, float *p, int *kind, int *mode, char *text, int *flag,
                        size_t text_len);

/* Date-time stamps. Returns 0 on success, 1 on failure; prints nothing.
 * mode 1: *dat2 stamp -> *dat1 true date, *dat3 run; -1: the reverse;
 * 2: *dat2 YYYYMMDD, *dat3 HHMMSShh -> *dat1 true date; -2: the reverse;
 * 3: printable -> *dat1 stamp; -3: *dat1 stamp -> printable (both 0 on
 * failure); 4: dat2 is a 14-word date-time group -> *dat1 stamp;
 * -4: *dat1 stamp -> the group dat2[0..13]. */
ZEP_EXPORT int newdate_(int *dat1, int *dat2, int *dat3, int *mode);

/* *result = *stamp advanced by *hours (incdati_: by the nearest whole hour
 * count). On failure prints a line on standard output and gives the marker
 * stamp 101010101. */
ZEP_EXPORT void incdatr_(int *result, int *stamp, double *hours);
ZEP_EXPORT void incdati_(int *result, int *stamp, double *hours);

/* *hours = *stamp1 - *stamp2 in hours (difdati_: both rounded to the hour,
 * the difference rounded to whole hours). On failure prints a line on
 * standard output and gives 1073741824.0. */
ZEP_EXPORT void difdatr_(int *stamp1, int *stamp2, double *hours);
ZEP_EXPORT void difdati_(int *stamp1, int *stamp2, double *hours);

/* 14-word date-time group: 1 weekday (1 = Sunday), 2 month, 3 day, 4 year,
 * 5 hour, 6 hundredths of a second past the hour, 7-13 28 characters of
 * text (in memory order), 14 the stamp. idatmg2_ makes word 14 from words
 * 2..6 (101010101 on failure) and returns it; datmgp2_ fills words 1..13
 * from word 14. */
ZEP_EXPORT int idatmg2_(int *group);
ZEP_EXPORT void datmgp2_(int *group);

/* Calendar date of a Julian day number. */
ZEP_EXPORT void datec_(int *jdn, int *year, int *month, int *day);

/* Grid descriptors: the four integer descriptors of a grid type -> four
 * real grid parameters. An unknown grid type prints a line on standard
 * output and leaves xg1..xg4 unchanged. */
ZEP_EXPORT void cigaxg_(char *grtyp, float *xg1, float *xg2, float *xg3, float *xg4, int *ig1,
                        int *ig2, int *ig3, int *ig4, size_t grtyp_len);

/* The four listing texts of a grid's descriptors (blank-padded). */
ZEP_EXPORT void igapg_(char *grtyp, char *pg1, char *pg2, char *pg3, char *pg4, int *ig1, int *ig2,
                       int *ig3, int *ig4, size_t grtyp_len, size_t pg1_len, size_t pg2_len,
                       size_t pg3_len, size_t pg4_len);

/* Polar-stereographic grid coordinates (*x, *y) of (*lat, *lon) for a grid
 * length *d60 in metres, an angle *dgrw in degrees added to longitudes and
 * *hemisphere 1 (north) or 2 (south). */
ZEP_EXPORT void xyfll_(float *x, float *y, float *lat, float *lon, float *d60, float *dgrw,
                       int *hemisphere);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_CODING_H */
