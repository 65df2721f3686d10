// Opening standard files, as the other parts of the layer (the writer,
// sequential files) share it.
#pragma once

namespace zep::stdfile {

// Lends the directory-file layer the standard-file key builders, the
// request filter and the filter's package initialisation. Idempotent; every
// path that calls c_xdfopn for a standard file calls it first (c_vktouv
// does).
void register_hooks();

// How c_vktouv opens a unit: an empty file is created; otherwise a unit
// bound R/O opens read-only (a writer that crashed leaves its flag in the
// header, which only writers must respect), any other one read-write.
enum OpenMode { kOpenCreate, kOpenRead, kOpenReadWrite };
int open_mode_for(bool read_only, bool empty_file);

}  // namespace zep::stdfile
