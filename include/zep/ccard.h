/* Command-line key parser.
 *
 * c_ccard turns an argument vector into values for the caller's n keys.
 * names[i]: the key's name as declared; the user types it with a leading
 * dash, in any case; a trailing "_" folds its value to lower case, a
 * trailing "." keeps the value as typed, anything else folds it to upper
 * case. A key owning k values is declared as k consecutive entries of the
 * same name. The name "-" (or "-." / "-_") declares the positional slots.
 * values[i]: on entry the current value, on return the final one (at most
 * 255 characters and a terminator).
 * defaults[i]: the value a key takes when given without a value.
 * *npos: -111 asks for stop mode (the first error ends the process with
 * status -1); a value above 0 asks for the count of positional arguments,
 * stored on return; anything else asks for neither.
 * Messages go to standard error. */
#ifndef ZEP_CCARD_H
#define ZEP_CCARD_H

#include "zep/export.h"

#ifdef __cplusplus
extern "C" {
#endif

ZEP_EXPORT void c_ccard(char **argv, int argc, char **names, char values[][256], char **defaults,
                        int n, int *npos);

/* Returns 0. */
ZEP_EXPORT int c_fretour(void);
ZEP_EXPORT int fretour_(void);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_CCARD_H */
