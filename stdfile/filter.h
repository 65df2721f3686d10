// The request filter, as the rest of the standard-file layer sees it.
// Implemented in stdfile/filter.cpp.
#pragma once

extern "C" {
// Accepts (non-zero) or refuses (0) the record of `handle` against the
// request sets; installed as the record filter of every standard file.
int c_vkt_match_req(int handle);
}

namespace stdfile {
// Builds the request table once per process (debug stream from DEBUGFILE,
// directive file from VKT_FILTER_FILE); the directory-file layer calls it
// when its package initialises, through the hook the open registers.
void filter_package_init();
}  // namespace stdfile
