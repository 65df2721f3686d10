// Opening, counting and closing standard files: c_vktouv, c_vktnbr,
// c_vktfrm. The open lends the directory-file layer the key builders and
// the request filter of standard files before its first c_xdfopn.
#include <cstring>
#include <string>

#include "io/file_table.h"
#include "stdfile/descriptor.h"
#include "stdfile/filter.h"
#include "stdfile/open.h"
#include "stdfile/options.h"
#include "xdf/hooks.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/xdf.h"

namespace zep::stdfile {

void register_hooks() {
  xdf::StdHooks hooks;
  hooks.build_primary = build_vktd_prim_keys;
  hooks.build_info = build_vktd_info_keys;
  hooks.record_filter = c_vkt_match_req;
  hooks.package_init = filter_package_init;
  xdf::register_std_hooks(hooks);
}

int open_mode_for(bool read_only, bool empty_file) {
  if (empty_file) return kOpenCreate;
  return read_only ? kOpenRead : kOpenReadWrite;
}

}  // namespace zep::stdfile

extern "C" {

int c_vktouv(int iun, const char *options) {
  using namespace zep::stdfile;
  read_compress_environment();
  const int row = zep::xdf::fnom_index(iun);
  if (row < 0)
    return zep::xdf::report("c_vktouv", zep::xdf::ERR_NOT_FNOM, zep::xdf::ERROR,
                            "file (unit=%d) is not connected with fnom", iun);
  const char *opts = options ? options : "";
  const char *appl = (std::strstr(opts, "RND") || std::strstr(opts, "rnd")) ? "STDR" : "STDS";

  zep::io::FileEntry &fe = zep::io::file_entry(row);
  fe.set(zep::io::kAttrStd);
  // The resolved name, marked with '+' so that it is probed as it is
  // (blanks and upper case kept).
  const std::string probe = "+" + fe.file_name;
  const int kind = wkoffit_(probe.c_str(), probe.size());

  register_hooks();
  const int mode = open_mode_for(fe.has(zep::io::kAttrReadOnly), kind == -2);
  if (mode == kOpenCreate && fe.has(zep::io::kAttrOld)) return -2;
  const char *mode_word = mode == kOpenCreate ? "CREATE" : (mode == kOpenRead ? "READ" : "R-W");
  // c_xdfopn reads the key tables only when it creates the file.
  uint32_t pri[2 * kKeyWords], aux[2 * kInfoWords];
  std::memcpy(pri, stdfkeys(), sizeof pri);
  std::memcpy(aux, stdf_info_keys(), sizeof aux);
  const int status = c_xdfopn(iun, mode_word, pri, kKeyWords, aux, kInfoWords, appl);
  if (status < 0) return status;
  return c_vktnbr(iun);
}

int c_vktfrm(int iun) { return c_xdfcls(iun); }

}  // extern "C"

namespace zep::stdfile {
namespace {

// Directory entries of an open file as they stand, those written since the
// open and the deleted ones included. Files without directory pages (the
// sequential ones) keep the count taken at the open.
int entries_now(const zep::xdf::FileEntry &f) {
  if (f.dir_page.empty()) return f.nrecords;
  int64_t n = 0;
  for (const auto &page : f.dir_page) n += page->entry_count();
  return static_cast<int>(n);
}

}  // namespace
}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" {

int c_vktnbr(int iun) {
  if (zep::xdf::fnom_index(iun) < 0)
    return zep::xdf::report("c_vktnbr", zep::xdf::ERR_NOT_FNOM, zep::xdf::ERROR,
                            "file (unit=%d) is not connected with fnom", iun);
  if (const zep::xdf::FileEntry *f = zep::xdf::open_entry(zep::xdf::file_index(iun)))
    return entries_now(*f);
  const int status = c_vktouv(iun, "RND");
  if (status < 0) return status;
  const zep::xdf::FileEntry *f = zep::xdf::open_entry(zep::xdf::file_index(iun));
  const int count = f ? f->nrecords : 0;
  c_vktfrm(iun);
  return count;
}

}  // extern "C"
