// The master file table FGFDT: one row per bound unit, holding the resolved
// path, the archive member name, the attribute string, the descriptor, the
// sizes in words and the attribute bits. Upper layers (directory files,
// standard files, sequential files) read and update rows through this
// header; a row's index is the unit's "file index".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace zep::io {

constexpr int kMaxFiles = 128;

// Attribute bits of a row.
enum : uint32_t {
  kAttrStream = 1u << 0,        // byte-stream file
  kAttrStd = 1u << 1,           // standard file
  kAttrQolt = 1u << 2,          // QOLT report file
  kAttrRnd = 1u << 3,           // random (word-addressed) access; clear = sequential
  kAttrWa = 1u << 4,            // currently opened through the word-addressable API
  kAttrFtn = 1u << 5,           // record-unit file
  kAttrUnf = 1u << 6,           // unformatted record-unit file; clear = formatted
  kAttrReadOnly = 1u << 7,      // read-only; clear = read-write
  kAttrOld = 1u << 8,           // the file must already exist
  kAttrScratch = 1u << 9,       // scratch file with a generated name
  kAttrNotPaged = 1u << 10,     // dumped only; never set
  kAttrSpecialName = 1u << 11,  // the given name began with '%'
  kAttrRwRequested = 1u << 12,  // the attribute string asked for "R/W"
};

// A scratch file this process created (exclusively) under the row's name:
// which file it is, so that a later open or removal never acts on another
// file put under that name, and which process may remove it. The anchor, a
// descriptor kept open on the file until the row is released, keeps its
// inode number from being given to another file meanwhile.
struct ScratchFile {
  uint64_t device = 0;
  uint64_t inode = 0;
  long creator = 0;  // process id
  int anchor = -1;
};

struct FileEntry {
  std::string file_name;               // resolved path (archive path for a member); empty when free
  std::optional<std::string> subname;  // archive member name
  std::optional<std::string> file_type;  // the attribute string as given
  int32_t iun = 0;                       // unit number; 0 marks a free row
  int32_t fd = -1;                       // descriptor of the open file
  int32_t size = 0;                      // words in the file
  int32_t esize = 0;          // words that reads may reach (member size for an archive member)
  int32_t lrec = 0;           // record length given at binding
  int32_t open = 0;           // 1 while the file is open
  uint32_t attr = 0;          // kAttr* bits
  bool write_locked = false;  // the descriptor holds the writer's lock (file_lock.h)
  std::optional<ScratchFile> scratch;  // set once the scratch file is created

  bool has(uint32_t bits) const { return (attr & bits) != 0; }
  void set(uint32_t bits, bool on = true) {
    if (on)
      attr |= bits;
    else
      attr &= ~bits;
  }
  bool is_free() const { return iun == 0; }
};

using FileTable = std::array<FileEntry, kMaxFiles>;

// The process-wide table, created empty on first use.
FileTable &FGFDT();

// Row index of `iun`, or -1; prints nothing.
int file_index_of(int iun);

// First free row, or -1.
int first_free_entry();

// Row `index` (0..kMaxFiles-1).
inline FileEntry &file_entry(int index) { return FGFDT()[index]; }

// True when `path` names an existing file system object.
bool path_exists(const std::string &path);

// Resolution of a given name into a row (the naming steps of c_fnom):
// scratch names, '@' search, '%', '+', case folding and archive members.
// Returns 0, or -1 after any message of its own.
int resolve_name(FileEntry &e, const std::string &name, const std::string &attributes);

// Parses the attribute keywords into e.attr (bits 0-8, NOT PAGED, R/W request).
void parse_attributes(FileEntry &e, const std::string &attributes);

// Record-unit (FTN) files over plain files.
int record_unit_open(int iun, const std::string &name, int lrec, bool direct, bool unformatted);
int record_unit_close(int iun);

// Search roots read once from the environment ("./" when unset).
const std::string &obrvlib_root();
const std::string &yreksio_root();

}  // namespace zep::io
