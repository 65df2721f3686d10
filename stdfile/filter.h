// The request filter, as the rest of the standard-file layer sees it.
// Implemented in stdfile/filter.cpp.
#pragma once

extern "C" {
// Accepts (non-zero) or refuses (0) the record of `handle` against the
// request sets; installed as the record filter of every standard file.
int c_vkt_match_req(int handle);
}

namespace zep::stdfile {
// Builds the request table once per process (debug stream from DEBUGFILE,
// directive file from VKT_FILTER_FILE); the directory-file layer calls it
// when its package initialises, through the hook the open registers.
void filter_package_init();

// Problems met reading the directive file at that initialisation: 1 when
// the file could not be opened, else the number of directives that failed
// (0 without a file). Filtering goes on with what could be read; a program
// tells its user from this that the filter is not the one asked for.
int filter_file_problems();
}  // namespace zep::stdfile

namespace zep::stdfile {
// The descriptors of one record that the request sets test: the three names
// blank-padded to their full width (12, 4, 2) and NUL-terminated, the origin
// stamp and the three level codes.
struct RecordDescriptors {
  char etiket[13] = "            ";
  char nomvar[5] = "    ";
  char typvar[3] = "  ";
  int dateo = 0;
  int ip1 = 0;
  int ip2 = 0;
  int ip3 = 0;
};

// The decision of the request sets about a record with these descriptors:
// 1 passes, 0 does not. `handle` only names the record in the debug lines.
// c_vkt_match_req is this over the descriptors that c_vktprm gives.
int match_request(const RecordDescriptors &record, int handle);

// Writes one line to the filter's debug stream (DEBUGFILE, opened by
// c_requetes_init; nothing is written before).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void filter_debug(const char *format, ...);
}  // namespace zep::stdfile
