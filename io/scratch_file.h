// Scratch files (attribute SCRATCH): their names are predictable
// (TMPDIR/<pid>_<name>), so a scratch file is only ever created, never
// taken over. The file is created exclusively, without following a link,
// readable and writable by its owner only; a name already taken (by a file
// or a link) is refused. The file is removed when its unit is released and,
// for the units still bound, when the process exits.
#pragma once

#include "io/file_table.h"

namespace zep::io {

// Creates the scratch file of row `index` and records which file it is.
// 0, or -1 after a "c_fnom error: ..." message; nothing is created then and
// whatever holds the name is left as it is.
int create_scratch_file(int index);

// Opens the row's scratch file again, read-write, without following a
// link, and only if it is the file that was created (a file removed behind
// our back is created again, exclusively). The descriptor, or -1.
int reopen_scratch_file(FileEntry &e);

// Removes the row's scratch file when this process created it and the name
// still names that file; forgets it either way.
void remove_scratch_file(FileEntry &e);

}  // namespace zep::io
