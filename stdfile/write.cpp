// Writing, erasing and checkpointing standard records: c_vktecr packs the
// caller's array by data type, builds the descriptor keys and hands the
// record to the directory-file layer; c_vkteff erases a record; c_vktckp
// writes a file's directory and header while keeping it open.
//
// Every check runs before anything reaches the file: a refused call leaves
// the file as it was.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "io/file_table.h"
#include "stdfile/options.h"
#include "stdfile/write.h"
#include "xdf/table.h"
#include "zep/coding.h"
#include "zep/stdfile.h"
#include "zep/stdfile_write.h"
#include "zep/xdf.h"

namespace zep::stdfile {
namespace {

constexpr int kControlWords = xdf::kBufferControlWords;  // record buffer words before the image
// Words of the write buffer beyond the record header and the data, as the
// memory message counts them.
constexpr int64_t kWriteBufferExtraWords = 138;

// The unit's rows in the master file table and the directory-file table,
// after the checks every writer makes (-29 unbound, -1 not open).
struct WriteUnit {
  io::FileEntry *row = nullptr;
  xdf::FileEntry *file = nullptr;
  int code = 0;
};

WriteUnit open_unit(int iun, const char *module) {
  WriteUnit u;
  const int row = xdf::fnom_index(iun);
  if (row < 0) {
    u.code = xdf::report(module, xdf::ERR_NOT_FNOM, xdf::ERROR,
                         "file (unit=%d) is not connected with fnom", iun);
    return u;
  }
  const int index = xdf::file_index(iun);
  xdf::FileEntry *f = index < 0 ? nullptr : xdf::open_entry(index);
  if (f == nullptr) {
    u.code = xdf::report(module, xdf::ERR_NOT_OPEN, xdf::ERROR, "file (unit=%d) is not open", iun);
    return u;
  }
  u.row = &io::file_entry(row);
  u.file = f;
  return u;
}

// The further checks before a record may be written to the unit: a
// standard file, of the current format, with write permission.
int check_writable(const WriteUnit &u, int iun, const char *module) {
  if (!u.row->has(io::kAttrStd)) {
    return xdf::report(module, xdf::ERR_NOT_OPEN, xdf::ERROR,
                       "file (unit=%d) is not a ZEP standard file", iun);
  }
  if (u.file->old_format) {
    return xdf::report(module, xdf::ERR_NO_WRITE, xdf::FATAL,
                       "can not write (unit=%d) on an old (version 89) ZEP standard file", iun);
  }
  if (u.row->has(io::kAttrReadOnly)) {
    return xdf::report(module, xdf::ERR_NO_WRITE, xdf::ERROR,
                       "file (unit=%d) not open with write permission", iun);
  }
  return 0;
}

int range_refusal(const RangeError &e) {
  return xdf::report("c_vktecr", xdf::ERR_MAX_KEYS, xdf::ERROR, "%s", e.message().c_str());
}

// Valid stamp: the origin advanced by deet * npas seconds.
int valid_stamp(int date, int deet, int npas) {
  const int64_t seconds = static_cast<int64_t>(deet) * npas;
  if (seconds <= 0) return date;
  int result = 0;
  int origin = date;
  double hours = static_cast<double>(seconds) / 3600.0;
  incdatr_(&result, &origin, &hours);
  return result;
}

// ni * nj * nk, saturated well above anything a record can hold so that
// the size arithmetic that follows stays inside 64 bits.
int64_t element_count(int ni, int nj, int nk) {
  constexpr int64_t kCap = int64_t{1} << 34;
  const int64_t plane = std::min<int64_t>(static_cast<int64_t>(ni) * nj, kCap);
  return std::min<int64_t>(plane * nk, kCap);
}

struct Call {
  void *field;
  int npak, iun, date, deet, npas, ni, nj, nk, ip1, ip2, ip3;
  const char *typvar, *nomvar, *etiket, *grtyp;
  int ig1, ig2, ig3, ig4, datyp, rewrit;
};

int write_record(const Call &c, int64_t *attempted_bytes) {
  const char *kModule = "c_vktecr";
  // The record's descriptor, filled once from the caller's arguments; the
  // width, data type and valid stamp follow from the plan below.
  Descriptor d;
  d.typvar = padded_name(c.typvar, 2);
  d.nomvar = padded_name(c.nomvar, 4);
  d.etiket = padded_name(c.etiket, 12);
  d.grtyp = padded_name(c.grtyp, 1)[0];

  const WriteUnit unit = open_unit(c.iun, kModule);
  if (unit.code < 0) return unit.code;
  if (const int code = check_writable(unit, c.iun, kModule); code < 0) return code;

  const int nbits_asked = nbits_from_npak(c.npak);
  d.deet = c.deet;
  d.npas = c.npas;
  d.ni = c.ni;
  d.nj = c.nj;
  d.nk = c.nk <= 0 ? 1 : c.nk;
  d.ip1 = c.ip1;
  d.ip2 = c.ip2;
  d.ip3 = c.ip3;
  d.ig1 = c.ig1;
  d.ig2 = c.ig2;
  d.ig3 = c.ig3;
  d.ig4 = c.ig4;
  if (const auto e = check_ranges(d, nbits_asked)) return range_refusal(*e);

  d.datev = valid_stamp(c.date, d.deet, d.npas);

  const Options &opt = options();
  const DatypPlan plan =
      plan_datyp(c.datyp, c.npak, nbits_asked, opt.extra_compression, d.nk, false);
  for (const std::string &w : plan.warnings) std::fputs(w.c_str(), stderr);
  if (!datyp_is_valid(plan.datyp)) {
    return xdf::report(kModule, xdf::ERR_BAD_TYPE, xdf::ERROR, "(unit=%d) invalid datyp=%d", c.iun,
                       plan.datyp);
  }
  if (const auto e = check_datyp_width(plan.datyp, plan.nbits)) return range_refusal(*e);

  const int64_t n = element_count(d.ni, d.nj, d.nk);
  const int64_t header_words =
      2 * (static_cast<int64_t>(unit.file->primary_len) + unit.file->info_len);  // R
  const int64_t room = data_words(plan.datyp, n, plan.nbits);                    // D
  if (const auto e = check_record_size(header_words + room)) return range_refusal(*e);
  *attempted_bytes = (header_words + kWriteBufferExtraWords + room) * 4;

  // The data area and the record buffer are kept by the thread from one
  // record to the next: fresh memory of a record's size costs more to map
  // than the packing itself. A write made from inside this one (by a
  // message handler) has buffers of its own.
  thread_local Packed kept_packed;
  thread_local std::vector<uint32_t> kept_copied;
  thread_local int depth = 0;
  struct Depth {
    Depth() { ++depth; }
    ~Depth() { --depth; }
  } const nesting;
  Packed own_packed;
  std::vector<uint32_t> own_copied;
  Packed &packed = depth == 1 ? kept_packed : own_packed;
  std::vector<uint32_t> &copied = depth == 1 ? kept_copied : own_copied;
  if (opt.image_mode_copy) {
    int64_t count = 0;
    if (const auto e = image_words(c.field, plan.datyp, n, plan.nbits, room, &count)) {
      return range_refusal(*e);
    }
    packed.datyp = plan.datyp;
    packed.lead = 0;
    packed.disk_order = false;
    packed.data.assign(static_cast<size_t>(room), 0u);
    packed.used_words = room;
    std::memcpy(packed.data.data(), c.field, static_cast<size_t>(count) * 4);
  } else {
    PackInput in;
    in.field = c.field;
    in.ni = d.ni;
    in.nj = d.nj;
    in.nk = d.nk;
    in.nbits = plan.nbits;
    in.datyp = plan.datyp;
    in.use_double = plan.use_double;
    in.stride = xdf::settings().xdf_stride;
    in.lead = static_cast<size_t>(kControlWords + header_words);  // packed in its record
    in.trail = 1;
    if (!pack_data(in, &packed)) {
      return xdf::report(kModule, xdf::ERR_BAD_TYPE, xdf::ERROR, "(unit=%d) invalid datyp=%d",
                         c.iun, plan.datyp);
    }
  }
  const int64_t used = packed.used_words;
  if (const auto e = check_record_size(header_words + used)) return range_refusal(*e);

  // The record buffer: control words, entry, info keys, data.
  const int64_t total = header_words + kControlWords + 1 + used;
  // Uncompressed data was packed in place, in a buffer of the record's size.
  const bool in_place = packed.lead == static_cast<size_t>(kControlWords + header_words) &&
                        packed.data.size() == static_cast<size_t>(total);
  std::vector<uint32_t> &buf = in_place ? packed.data : copied;
  if (!in_place) buf.assign(static_cast<size_t>(total), 0u);
  // Data packed in file byte order goes out as it is.
  const int64_t disk_from =
      packed.disk_order ? kControlWords + header_words : std::numeric_limits<int64_t>::max();
  buf[0] = static_cast<uint32_t>(total);
  buf[1] = static_cast<uint32_t>((used + header_words) * 32);
  buf[2] = static_cast<uint32_t>(header_words);
  buf[3] = 0;
  buf[4] = static_cast<uint32_t>(c.iun);
  buf[5] = static_cast<uint32_t>(2 * unit.file->primary_len);
  uint32_t *entry = buf.data() + kControlWords;
  d.nbits = plan.nbits;
  d.datyp = packed.datyp;
  build_entry(d, entry);
  if (!in_place)
    std::copy(packed.data.begin() + static_cast<int64_t>(packed.lead),
              packed.data.begin() + static_cast<int64_t>(packed.lead) + used,
              buf.begin() + kControlWords + header_words);

  // Rewrite: the first record of the same label, levels, kind and name,
  // whatever its date.
  int handle = 0;
  if (c.rewrit != 0 && unit.file->xdf_seq == 0) {
    int ni = 0, nj = 0, nk = 0;
    const int found = c_vktinf(c.iun, &ni, &nj, &nk, -1, d.etiket.c_str(), d.ip1, d.ip2, d.ip3,
                               d.typvar.c_str(), d.nomvar.c_str());
    if (found > 0) handle = found;
  }

  const int result = xdf::put_record(c.iun, handle, buf.data(), disk_from);
  if (msg_level() <= 1) {  // the trace follows every attempt, refused or not
    char text[32];
    std::snprintf(text, sizeof text, "Write(%d)", c.iun);
    print_std_parms(entry, text, opt.prnt_options.c_str(), 0);
  }
  // Buffers of very large records are not kept.
  constexpr size_t kKeptWords = size_t{16} << 20;
  if (packed.data.capacity() > kKeptWords) std::vector<uint32_t>().swap(packed.data);
  if (copied.capacity() > kKeptWords) std::vector<uint32_t>().swap(copied);
  return result;
}

}  // namespace
}  // namespace zep::stdfile

extern "C" {

int c_vktecr(void *field, void *work, int npak, int iun, int date, int deet, int npas, int ni,
             int nj, int nk, int ip1, int ip2, int ip3, const char *typvar, const char *nomvar,
             const char *etiket, const char *grtyp, int ig1, int ig2, int ig3, int ig4, int datyp,
             int rewrit) {
  (void)work;
  // Nothing is written from an array that is not there.
  if (field == nullptr)
    return zep::xdf::report("c_vktecr", zep::xdf::ERR_BAD_BUFFER, zep::xdf::ERROR,
                            "(unit=%d) no array to write (field is NULL)", iun);
  const zep::stdfile::Call call{field, npak, iun, date, deet,   npas,   ni,     nj,
                                nk,    ip1,  ip2, ip3,  typvar, nomvar, etiket, grtyp,
                                ig1,   ig2,  ig3, ig4,  datyp,  rewrit};
  int64_t attempted = 0;
  try {
    return zep::stdfile::write_record(call, &attempted);
  } catch (const std::bad_alloc &) {
    return zep::xdf::report("c_vktecr", zep::xdf::ERR_NO_MEMORY, zep::xdf::FATAL,
                            "memory is full, was trying to allocate %lld bytes",
                            static_cast<long long>(attempted));
  }
}

int c_vkteff(int handle) {
  const char *kModule = "c_vkteff";
  zep::xdf::FileEntry *f =
      handle <= 0 ? nullptr : zep::xdf::open_entry(zep::xdf::Handle::index_of(handle));
  if (f == nullptr) {
    return zep::xdf::report(kModule, zep::xdf::ERR_BAD_HANDLE, zep::xdf::ERROR, "invalid handle=%d",
                            handle);
  }
  const bool is_std = f->fnom_row >= 0 && zep::io::file_entry(f->fnom_row).has(zep::io::kAttrStd);
  if (!is_std) {
    return zep::xdf::report(kModule, zep::xdf::ERR_NOT_OPEN, zep::xdf::ERROR,
                            "file (unit=%d) is not a ZEP standard file", f->iun);
  }
  if (f->old_format) {
    return zep::xdf::report(kModule, zep::xdf::ERR_NO_WRITE, zep::xdf::FATAL,
                            "can not write (unit=%d) on an old (version 89) ZEP standard file",
                            f->iun);
  }
  return c_xdfdel(handle);
}

int c_vktckp(int iun) {
  const zep::stdfile::WriteUnit unit = zep::stdfile::open_unit(iun, "c_vktckp");
  if (unit.code < 0) return unit.code;
  zep::xdf::settings().xdf_checkpoint = 1;
  const int result = c_xdfcls(iun);
  // A refused close leaves the flag up; the next real close must not be
  // taken for a checkpoint.
  zep::xdf::settings().xdf_checkpoint = 0;
  return result;
}

}  // extern "C"
