// The table of open directory files, error reporting, options, the generic
// key builders and the key descriptor maker.
#include "xdf/table.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/file_table.h"
#include "zep/io.h"
#include "zep/xdf.h"

namespace zep::xdf {

Settings &settings() {
  static Settings s;
  return s;
}

char *errmsg() {
  static char buffer[kErrmsgSize];
  return buffer;
}

namespace {
const char *const kSeverityWord[] = {"TRIVIAL",     "INFORMATION",           "WARNING",     "ERROR",
                                     "FATAL ERROR", "SYSTEM SOFTWARE ERROR", "CATASTROPHIC"};
}  // namespace

int &errors_reported() {
  static int count = 0;
  return count;
}

MessageSinkSetting &message_sink() {
  static MessageSinkSetting sink;
  return sink;
}

int error_msg(const char *module, int code, int level) {
  Settings &s = settings();
  if (level >= ERROR) ++errors_reported();
  const MessageSinkSetting &sink = message_sink();
  if (sink.fn != nullptr) {
    sink.fn(sink.context, module, code, level, errmsg());
  } else if (level >= s.msg_level) {
    const int word = level < 0 ? 0 : (level > 6 ? 6 : level);
    std::FILE *out = level <= 0 ? stdout : stderr;
    std::fflush(stdout);
    std::fprintf(out, "*** %s #%d from module %s: %s\n", kSeverityWord[word], -code, module,
                 errmsg());
    std::fflush(out);
  }
  if (level > s.xdf_toler) std::exit(-code);
  return code;
}

int report(const char *module, int code, int level, const char *fmt, ...) {
  std::va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(errmsg(), kErrmsgSize, fmt, ap);
  va_end(ap);
  return error_msg(module, code, level);
}

void debug_trace(const char *fmt, ...) {
  if (settings().msg_level > TRIVIAL) return;
  std::va_list ap;
  va_start(ap, fmt);
  std::vprintf(fmt, ap);
  va_end(ap);
}

std::array<std::unique_ptr<FileEntry>, kMaxFiles> &file_table() {
  static std::array<std::unique_ptr<FileEntry>, kMaxFiles> table;
  return table;
}

FileEntry *open_entry(int index) {
  if (index < 1 || index >= kMaxFiles) return nullptr;
  FileEntry *f = file_table()[index].get();
  return (f != nullptr && f->iun != -1) ? f : nullptr;
}

void init_file(int index) {
  auto &slot = file_table()[index];
  const int row = slot ? slot->fnom_row : -1;
  slot = std::make_unique<FileEntry>();
  slot->file_index = index;
  slot->fnom_row = row;  // kept, as the row reference is
  slot->srch_mask.fill(kAllOnes);
  slot->cur_mask.fill(kAllOnes);
}

void init_package() {
  for (int i = 0; i < kMaxFiles; ++i) file_table()[i].reset();
  const int zero = get_free_index();
  if (zero >= 0) file_table()[zero]->iun = kReservedUnit;
  if (std_hooks().package_init != nullptr) std_hooks().package_init();
  settings().init_package_done = 1;
}

int get_free_index() {
  auto &table = file_table();
  for (int i = 0; i < kMaxFiles; ++i) {
    if (!table[i]) {
      init_file(i);
      return i;
    }
    if (table[i]->iun == -1) {
      init_file(i);
      return i;
    }
  }
  return report("get_free_index", ERR_TABLE_FULL, FATAL, "xdf file table is full\n");
}

int file_index(int iun) {
  auto &table = file_table();
  for (int i = 0; i < kMaxFiles; ++i)
    if (table[i] && table[i]->iun == iun) return i;
  return -1;
}

int fnom_index(int iun) {
  if (iun == 0) return -1;
  return io::file_index_of(iun);
}

io::FileEntry *fnom_row(const FileEntry &f) {
  if (f.fnom_row < 0 || f.fnom_row >= io::kMaxFiles) return nullptr;
  io::FileEntry &row = io::file_entry(f.fnom_row);
  return row.iun == f.iun ? &row : nullptr;
}

bool row_read_only(const FileEntry &f) {
  const io::FileEntry *row = fnom_row(f);
  return row == nullptr || row->has(io::kAttrReadOnly);
}

const char *row_file_name(const FileEntry &f) {
  const io::FileEntry *row = fnom_row(f);
  return row == nullptr ? "" : row->file_name.c_str();
}

static std::vector<uint32_t> padded(size_t need, const uint32_t *values, int n, uint32_t fill) {
  if (n > 0 && static_cast<size_t>(n) > need) need = static_cast<size_t>(n);
  std::vector<uint32_t> v(need, fill);
  for (int i = 0; i < n && values != nullptr; ++i) v[i] = values[i];
  return v;
}

std::vector<uint32_t> builder_values(const FileEntry &f, const uint32_t *values, int n,
                                     uint32_t fill) {
  size_t need = std::max<size_t>(
      {static_cast<size_t>(f.header.primary_count),
       static_cast<size_t>(2 * (f.primary_len > 0 ? f.primary_len - 1 : 0)), size_t{kMaxKeyWords}});
  return padded(need, values, n, fill);
}

std::vector<uint32_t> builder_info_values(const FileEntry &f, const uint32_t *values, int n,
                                          uint32_t fill) {
  size_t need = std::max<size_t>({static_cast<size_t>(f.header.info_count),
                                  static_cast<size_t>(2 * f.info_len), size_t{kMaxKeyWords}});
  return padded(need, values, n, fill);
}

// Full-size scratch arrays for the builders, which read and write as many
// values as the file declares whatever the caller passed.
int build_gen_prim_keys(uint32_t *entry, uint32_t *keys, uint32_t *mask, uint32_t *mask_keys,
                        int index, int mode) {
  FileEntry *f = open_entry(index);
  if (f == nullptr || !f->has_header) return ERR_NOT_OPEN;
  const int area = 2 * (f->primary_len - 1);
  const int n = f->header.primary_count;
  if (mode == 1) {
    if (mask != nullptr) {
      for (int i = 0; i < f->entry_words(); ++i) mask[i] = 0;
    }
    insert_keys(f->header.primary, entry + 2, area, keys, n, mask ? mask + 2 : nullptr, mask_keys);
  } else {
    extract_keys(f->header.primary, entry + 2, area, keys, n);
  }
  return 0;
}

int build_gen_info_keys(uint32_t *info, uint32_t *values, int index, int mode) {
  FileEntry *f = open_entry(index);
  if (f == nullptr || !f->has_header) return ERR_NOT_OPEN;
  const int area = 2 * f->info_len;
  const int n = f->header.info_count;
  if (mode == 1)
    insert_keys(f->header.info, info, area, values, n, nullptr, nullptr);
  else
    extract_keys(f->header.info, info, area, values, n);
  return 0;
}

}  // namespace zep::xdf

using namespace zep::xdf;

namespace zep::xdf {
namespace {
bool has_either(const char *text, const char *upper, const char *lower) {
  if (text == nullptr) return false;
  return std::strstr(text, upper) != nullptr ||
         (lower != nullptr && std::strstr(text, lower) != nullptr);
}

// Severity named in an option value, or -1.
int level_from_value(const char *value) {
  static const struct {
    const char *upper, *lower;
    int level;
  } kValues[] = {{"TRIVIAL", "trivial", 0}, {"INFORMATIF", "informatif", 1},
                 {"WARNING", "warning", 2}, {"ERROR", "error", 3},
                 {"FATAL", "fatal", 4},     {"SYSTEM", nullptr, 5}};
  for (const auto &v : kValues)
    if (has_either(value, v.upper, v.lower)) return v.level;
  return -1;
}
}  // namespace
}  // namespace zep::xdf

extern "C" int c_xdfopt(const char *name, const char *value, int number) {
  const bool toler = has_either(name, "ERRTOLR", "errtolr");
  const bool level = !toler && has_either(name, "MSGLVL", "msglvl");
  if (toler || level) {
    const int v = level_from_value(value);
    if (v < 0)
      return report("c_xdfopt", ERR_BAD_OPTION, ERROR, "invalid option value: %s",
                    value ? value : "");
    (toler ? settings().xdf_toler : settings().msg_level) = v;
    return 0;
  }
  if (has_either(name, "STRIPING", "striping")) {
    settings().xdf_nsplit = number;
    return 0;
  }
  return report("c_xdfopt", ERR_BAD_OPTION, ERROR, "invalid option name: %s", name ? name : "");
}

extern "C" int c_xdfgop(const char *name, char *value, int *number) {
  (void)number;
  static const char *const kNames[] = {"TRIVIAL", "INFORM",   "WARNING",
                                       "ERROR",   "ERRFATAL", "SYSTEM"};
  int v;
  if (has_either(name, "ERRTOLR", "errtolr"))
    v = settings().xdf_toler;
  else if (has_either(name, "MSGLVL", "msglvl"))
    v = settings().msg_level;
  else
    return report("c_xdfgop", ERR_BAD_OPTION, ERROR, "invalid option name: %s", name ? name : "");
  if (v >= 0 && v <= 5 && value != nullptr) std::strcpy(value, kNames[v]);
  return 0;
}

extern "C" int c_xdfcle(const char *name, int bitpos, int width, int type, uint32_t *desc0,
                        uint32_t *desc1) {
  KeyDescriptor k;
  k.name = pack_chars4(name);
  k.bit1 = bitpos;
  k.width = width;
  k.type = type;
  uint32_t w[2];
  k.encode(w);
  *desc0 = w[0];
  *desc1 = w[1];
  return 0;
}

extern "C" int c_qdfmsig(int iun, const char *appl) {
  if (fnom_index(iun) < 0)
    return report("c_qdfmsig", ERR_NOT_FNOM, ERROR, "file is not connected with fnom");
  const int index = file_index(iun);
  FileEntry *f = open_entry(index);
  if (f == nullptr || !f->has_header)
    return report("c_qdfmsig", ERR_NOT_OPEN, ERROR, "file is not open");
  f->header.app_signature = pack_chars4(appl);
  return 0;
}
