/* The whole public API of the library: every layer's C entry points and
 * their by-reference twins. */
#ifndef ZEP_ZEP_H
#define ZEP_ZEP_H

#include "zep/coding.h"
#include "zep/packing.h"
#include "zep/compress.h"
#include "zep/io.h"
#include "zep/io_seq.h"
#include "zep/xdf.h"
#include "zep/xdf_maint.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "zep/stdfile_seq.h"
#include "zep/filter.h"
#include "zep/ccard.h"
#include "zep/api.h"

#endif
