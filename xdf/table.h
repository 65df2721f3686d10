// Internal interface of the directory-file layer, for this layer and the
// standard-file layer above it: the table of open directory files, the
// in-memory directory pages, error reporting with its message level and
// tolerance, and the process-wide settings.
//
// Stability: the names below are a contract with the standard-file layer;
// fields may be added, none renamed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "xdf/format.h"
#include "xdf/hooks.h"

namespace zep::io {
struct FileEntry;
}  // namespace zep::io

namespace zep::xdf {

constexpr int kMaxFiles = 128;
constexpr int kReservedUnit = 1234567;  // unit of slot 0, never a file
constexpr int kMaxLinkedPages = 4096;   // page field of a random handle

// Error codes shared by the directory-file and standard-file layers.
enum ErrorCode {
  ERR_NOT_OPEN = -1,  // file not open / file must be random
  ERR_TABLE_FULL = -3,
  ERR_BAD_UNIT = -5,
  ERR_DIFFERENT_FILES = -6,
  ERR_NO_WRITE = -7,
  ERR_BAD_PAGE = -8,
  ERR_BAD_HANDLE = -9,
  ERR_SPECIAL_RECORD = -10,
  ERR_DELETED = -11,
  ERR_NOT_FOUND = -12,
  ERR_BAD_BUFFER = -13,
  ERR_BAD_TYPE = -16,  // invalid idtyp or datyp
  ERR_BAD_BITS = -18,
  ERR_BUFFER_SMALL = -19,
  ERR_BAD_OPTION = -20,
  ERR_IN_USE = -21,
  ERR_NO_DELETE = -22,
  ERR_BAD_LENGTH = -23,
  ERR_NO_MEMORY = -24,
  ERR_NO_POSITION = -25,
  ERR_ALREADY_OPEN = -27,
  ERR_NO_PAGES = -28,
  ERR_NOT_FNOM = -29,
  ERR_NO_TARGET = -31,
  ERR_CHECKSUM = -32,
  ERR_DAMAGED = -33,
  ERR_NOT_XDF = -34,
  ERR_BAD_STATS = -35,
  ERR_MAX_KEYS = -36,
};

// Severities; error_msg prints the word, the options take the index.
enum Severity {
  TRIVIAL = 0,
  INFORMATION = 1,
  WARNING = 2,
  ERROR = 3,
  FATAL = 4,
  SYSTEM = 5,
  CATASTROPHIC = 6
};

// Process-wide settings of the layer (one instance, created on first use).
struct Settings {
  int msg_level = 1;       // messages of this severity and above are printed
  int xdf_toler = 3;       // errors above this severity end the process
  int xdf_stride = 1;      // element stride of the integer packer (editing calls)
  int xdf_nsplit = 1;      // set by the option "STRIPING"
  int xdf_checkpoint = 0;  // when set, the next c_xdfcls only flushes and keeps the file open
  int init_package_done = 0;
};
Settings &settings();

// The message buffer: the failing operation formats its text here, then
// calls error_msg. Holds kErrmsgSize characters with the terminator.
constexpr size_t kErrmsgSize = 1024;
char *errmsg();

// Reports `errmsg` and returns `code` (negative). When level >= msg_level,
// prints "*** %s #%d from module %s: %s\n" (severity word, -code, module,
// errmsg), on standard output for severity 0 and standard error otherwise.
// When level > xdf_toler the process ends with exit status -code.
int error_msg(const char *module, int code, int level);

// A receiver of the reports of error_msg. While one is set, error_msg hands
// it every report, whatever the message level, and prints nothing; the
// tolerance still applies. The safe API keeps the messages of its calls this
// way.
typedef void (*MessageSink)(void *context, const char *module, int code, int level,
                            const char *text);
struct MessageSinkSetting {
  MessageSink fn = nullptr;
  void *context = nullptr;
};
MessageSinkSetting &message_sink();

// Number of reports of severity ERROR or above made by error_msg in this
// process, printed or not: a caller that goes on after a damaged file (the
// converter) tells from it whether anything went wrong.
int &errors_reported();

// 0 when the record of `handle` lies inside the file that holds it, else the
// error c_xdfget2 reports for it (a bad handle, or the record running past
// the end of the file). A reader calls it before sizing a buffer from the
// record's length.
int record_in_file(int handle);

// Where a record's words lie in the file that holds it (a linked file's
// owner): words [address, address + words) of unit iun, from the first
// word c_xdfget2 hands out.
struct RecordPlace {
  int iun = 0;
  int64_t address = 0;
  int64_t words = 0;
};

// c_xdfget2 reading at most head_words of the record's words (the checks,
// the control words and the reports are the same); the buffer's dimension
// need only hold them. *place (may be null) receives where the whole record
// lies, for reading the rest piece by piece. c_xdfget2(handle, buf, aux) is
// get_record with head_words INT64_MAX.
int get_record(int handle, uint32_t *buf, int *aux, int64_t head_words, RecordPlace *place);

// c_xdfput for a record buffer whose words from buf[disk_from] on (the
// data, packed by the caller in file byte order) are already as the file
// holds them; the words before stay in host order. c_xdfput(iun, handle,
// buf) is put_record with disk_from past the end of the buffer.
int put_record(int iun, int handle, uint32_t *buf, int64_t disk_from);

// Formats `fmt` into errmsg (cut at kErrmsgSize - 1 characters) and calls
// error_msg. The usual way to report.
int report(const char *module, int code, int level, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Prints a trace line (printf format) on standard output when msg_level is 0.
void debug_trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// A directory page held in memory.
struct DirPage {
  DirPage *next = nullptr;  // next page of the chain, possibly of a linked file
  DirPage *prev = nullptr;
  bool modified = false;
  bool fresh = false;  // added since the header was last written: no counted page leads here
  int owner = 0;       // file index of the file the page belongs to
  int primary_len = 0;
  std::vector<uint32_t> image;  // dir_page::words(primary_len) host-order words

  uint32_t address() const { return image[1]; }
  uint32_t next_page() const { return image[dir_page::kNextPage]; }
  int entry_count() const { return static_cast<int>(image[dir_page::kEntryCount]); }
  // Entry i (0..255): primary_len units, a copy of the record's primary part.
  uint32_t *entry(int i) {
    return image.data() + kDirPageHeaderWords + 2 * static_cast<size_t>(i) * primary_len;
  }
};

// One open directory file.
struct FileEntry {
  std::vector<std::unique_ptr<DirPage>> dir_page;  // the file's pages in chain order
  DirPage *cur_dir_page = nullptr;                 // page of the search or write position
  xdf_build_primary_fn build_primary = nullptr;
  xdf_build_info_fn build_info = nullptr;
  xdf_record_filter_fn record_filter = nullptr;
  int cur_entry = -1;  // entry index within cur_dir_page at the position; -1 none
  bool has_header = false;
  FileHeader header;       // the file header, host order
  int64_t next_write = 1;  // word address of the next appended object
  int primary_len = 0;
  int info_len = 0;
  int link = -1;       // file index of the next linked file
  int fnom_row = -1;   // row of the unit in the master file table
  int iun = -1;        // -1 marks a free entry
  int file_index = 0;  // own slot
  int modified = 0;
  int npages = 0;       // == dir_page.size()
  int nrecords = 0;     // total of the pages' entry_count, deleted entries included
  int cur_pageno = -1;  // number of cur_dir_page along the chain
  int page_record = 0;  // entry number of the position within the page
  int page_nrecords = 0;
  int valid_target = 0;
  int xdf_seq = 0;        // sequential file
  int valid_pos = 0;      // sequential: a search found the record in head_keys
  int64_t cur_addr = -1;  // sequential: word address of the search position
  int64_t seq_bof = 1;    // sequential: word address of the first record
  int old_format = 0;
  int64_t seq_end_mark = 0;  // sequential: word address of the end mark written here; 0 none
  int old_eof_level = 0;     // old sequential layout: end-of-file level of the header last read
  std::array<uint32_t, kMaxKeyWords> head_keys{};  // sequential: primary part at the position
  std::array<uint32_t, kMaxKeyWords> target{};     // search target, entry layout
  std::array<uint32_t, kMaxKeyWords> srch_mask{};  // persistent selection mask (all ones at open)
  std::array<uint32_t, kMaxKeyWords> cur_mask{};   // mask of the current target

  int entry_words() const { return 2 * primary_len; }
};

// The 128 slots; a slot is null until first used. Slot 0 is reserved.
std::array<std::unique_ptr<FileEntry>, kMaxFiles> &file_table();

// The entry of an open file by file index, or null (index out of range, slot
// empty or free).
FileEntry *open_entry(int index);

// Empties the table, reserves slot 0 (unit 1234567), calls the standard-file
// layer's package_init hook, sets init_package_done.
void init_package();
// Lowest empty or free slot (its entry allocated and reset); -3 after
// "xdf file table is full\n".
int get_free_index();
// Resets the entry of `index` to its free state (keeps the slot).
void init_file(int index);
// Slot whose entry holds unit iun, scanning from 0; -1 if none. No message.
int file_index(int iun);
// Row of the master file table holding unit iun; -1 if none. No message.
int fnom_index(int iun);

// The file's row in the master file table, or null when the unit is no
// longer bound.
io::FileEntry *fnom_row(const FileEntry &f);
// True when the row is read-only (or gone).
bool row_read_only(const FileEntry &f);
// The row's path, for messages ("" when gone).
const char *row_file_name(const FileEntry &f);

// Generic key builders working from the header's key descriptors (the
// signatures of the hooks). Mode 1 inserts `keys` into the entry (and builds
// `mask` from `mask_keys`, mask words 0 and 1 zero); any other mode extracts.
int build_gen_prim_keys(uint32_t *entry, uint32_t *keys, uint32_t *mask, uint32_t *mask_keys,
                        int file_index, int mode);
int build_gen_info_keys(uint32_t *info, uint32_t *values, int file_index, int mode);

// Values handed to a builder: the caller's n values, then `fill` up to the
// most any builder may read or write for file f (its key count, its key
// words, at least 32).
std::vector<uint32_t> builder_values(const FileEntry &f, const uint32_t *values, int n,
                                     uint32_t fill);
std::vector<uint32_t> builder_info_values(const FileEntry &f, const uint32_t *values, int n,
                                          uint32_t fill);

// Sequential handle coding: unit offset u = (address - 1) / 2 coded as
// offset x 4^class in bits 7-28 and 29-30, file index in bits 0-6.
int make_seq_handle(int64_t address, int file_index, const FileEntry &f);
int64_t address_from_handle(int handle, const FileEntry &f);

// The search loop from the file's position: a handle, -12 (nothing found),
// -25 (no usable position) or an error.
int next_match(int index);

// Directory entry of a random-file handle along the chain (page and entry
// checked); 0 or an error reported under `module`.
int entry_of_handle(FileEntry &f, int handle, const char *module, DirPage **page, uint32_t **entry);

// Moves the position of an open sequential file to its end-of-data mark (or
// the end of its words, or a damaged object of length 0), where records
// appended after the existing ones go.
void seek_end_of_data(FileEntry &f);

// Creates the header of a new file in slot `index` and writes it unless the
// unit is read-only.
int create_new_xdf(int index, int iun, uint32_t *pri, int npri, uint32_t *aux, int naux,
                   const char *appl);

// Appends a directory page to file `index` in memory and, when write is 1,
// on disk (header counters updated). 0, -1 (no such file), -24, or -28.
int add_dir_page(int index, int write);

// The page `pageno` counted along the chain that starts at the first page of
// file `f` (running on into linked files), or null. Never moves the position.
DirPage *page_along_chain(FileEntry &f, int pageno);

// Writes the header of file f at word 1 (host words converted by the io layer).
int write_header(FileEntry &f);

// Writes what changed of file f since its last checkpoint (deletion marks,
// directory pages, then the header; commit.cpp says why in this order) and
// forces it to disk. `closing` clears the writer's flag in the header.
// Nothing is written for a read-only unit. A failed write is a fatal stop.
void write_out(FileEntry &f, bool closing);

// A barrier between two steps of writes to file f: its dirty cached pages
// written back and, when `durable`, the file forced to disk (unless turned
// off, see io::fsync_enabled).
void unit_barrier(const FileEntry &f, bool durable);

// At the open of an existing random file for writing: appends go past
// every word the counted directory leads to, and the header's valid count
// becomes the number of live entries, where a writer that stopped before
// its header left them behind the directory.
void protect_written_words(FileEntry &f);

}  // namespace zep::xdf
