// Package-wide options of the standard-file layer, one instance per process.
// The message level and the error tolerance are the directory-file layer's
// (both layers report through its error path); the accessors here read
// them for the traces.
#pragma once

#include <string>

namespace zep::stdfile {

struct Options {
  // Option words of the one-line listing printed by the read and write traces.
  std::string prnt_options = "NINJNK+DATESTAMPO+IP1+IG1234";
  int turbocomp = 0;          // 0 FAST, 1 BEST: the compressor's level
  int image_mode_copy = 0;    // non-zero: reads and writes copy packed data
  int downgrade_32 = 0;       // non-zero: 64-bit IEEE records read as floats
  int extra_compression = 0;  // 128 when VKT_COMPRESS exists (first open)
  bool extra_compression_set = false;
  int xdf_datatyp = 0;  // datyp of the last record read
};

// The process's options, created on first use.
Options &options();

// Sets extra_compression from the environment the first time it is called.
void read_compress_environment();

// Current message level and error tolerance, indexes 0..6
// (DEBUG INFORM WARNIN ERRORS FATALE SYSTEM CATAST).
int msg_level();
int error_tolerance();

}  // namespace zep::stdfile
