// By-reference entry points of the converter's front end.
#include "zep/ccard.h"

extern "C" int fretour_(void) { return c_fretour(); }
