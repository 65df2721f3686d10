// Records of the safe API: a descriptor filled from a search handle, the
// walk in file order, keys that find a record again, and zep_find.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "api/internal.h"
#include "coding/date_stamp.h"
#include "coding/level_code.h"
#include "stdfile/descriptor.h"
#include "xdf/format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile.h"
#include "zep/xdf.h"

namespace zep::api {

namespace {

constexpr int64_t kRandomKey = 1;
constexpr int64_t kSequentialKey = 2;

// Copies a blank-padded field of `width` characters, trailing blanks and
// NULs removed.
void copy_trimmed(char *dst, const char *src, size_t width) {
  size_t n = strnlen(src, width);
  while (n > 0 && src[n - 1] == ' ') --n;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// ISO text and seconds since 1970 of a stamp; false when it cannot be
// decoded.
bool decode_stamp(int stamp, char *iso, size_t iso_size, int64_t *seconds) {
  int date = 0, time = 0;
  iso[0] = '\0';
  *seconds = 0;
  if (!coding::stamp_to_printable(stamp, &date, &time)) return false;
  const int year = date / 10000, month = (date / 100) % 100, day = date % 100;
  const int hh = time / 1000000, mm = (time / 10000) % 100, ss = (time / 100) % 100;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hh, mm, ss);
  const size_t n = std::min(std::strlen(text), iso_size - 1);
  std::memcpy(iso, text, n);
  iso[n] = '\0';
  *seconds = unix_seconds(date, time);
  return true;
}

zep_type natural_type(int datyp, int nbits) {
  switch (datyp & 0x7F) {
    case 2: return ZEP_TYPE_U32;
    case 4: return ZEP_TYPE_I32;
    case 3: return ZEP_TYPE_U8;
    case 5: return nbits == 64 ? ZEP_TYPE_F64 : ZEP_TYPE_F32;
    default: return ZEP_TYPE_F32;
  }
}

// The search over every record from `start` (see c_vktinfx).
int search_all(int iun, int start) {
  int ni = 0, nj = 0, nk = 0;
  return c_vktinfx(start, iun, &ni, &nj, &nk, -1, "", -1, -1, -1, "", "");
}

}  // namespace

int file_slot(const zep_file *f) {
  const int index = xdf::file_index(f->iun);
  return xdf::open_entry(index) != nullptr ? index : -1;
}

void key_of(const zep_file *f, int handle, int64_t key[2]) {
  if (f->sequential) {
    const xdf::FileEntry *e = xdf::open_entry(handle & 0x7F);
    key[0] = e != nullptr ? xdf::address_from_handle(handle, *e) : 0;
    key[1] = kSequentialKey;
  } else {
    key[0] = handle;
    key[1] = kRandomKey;
  }
}

int describe(Call &c, zep_file *f, int handle, zep_record *rec) {
  zep_record r;
  std::memset(&r, 0, sizeof r);
  // The descriptors as c_vktprm gives them, with the origin stamp computed
  // without the printing date routines.
  uint32_t entry[stdfile::kEntryWords] = {};
  int addr = 0, length = 0, type = 0;
  const int status = c_xdfprm(handle, &addr, &length, &type, entry + 2, stdfile::kKeyWords);
  if (status < 0) return c.fail(map_code(status, ZEP_EDAMAGED), "its descriptors cannot be read");
  const stdfile::Descriptor d = stdfile::Descriptor::from_entry(entry);
  r.deet = d.deet;
  r.npas = d.npas;
  r.ni = d.ni;
  r.nj = d.nj;
  r.nk = d.nk;
  r.nbits = d.nbits;
  r.datyp = d.datyp;
  r.ip1 = d.ip1;
  r.ip2 = d.ip2;
  r.ip3 = d.ip3;
  r.ig1 = d.ig1;
  r.ig2 = d.ig2;
  r.ig3 = d.ig3;
  r.ig4 = d.ig4;
  r.swa = addr;
  r.lng = 2 * length;
  r.dltf = 0;
  r.ubc = d.ubc;
  r.extra1 = d.datev;  // the stored valid stamp
  r.dateo = d.datev;
  const uint32_t seconds = static_cast<uint32_t>(d.deet) * static_cast<uint32_t>(d.npas);
  if (seconds != 0) {
    int origin = 0;
    coding::add_hours(d.datev, -(static_cast<double>(seconds) / 3600.0), false, &origin, nullptr);
    r.dateo = origin;
  }
  // The validity as the converter shows it: the origin moved forward again
  // (a stored stamp of an impossible day comes out as the real day).
  const double hours = static_cast<double>(static_cast<int64_t>(r.deet) * r.npas) * (1.0 / 3600.0);
  coding::add_hours(r.dateo, hours, false, &r.datev, nullptr);
  copy_trimmed(r.nomvar, d.nomvar.c_str(), 4);
  copy_trimmed(r.typvar, d.typvar.c_str(), 2);
  copy_trimmed(r.etiket, d.etiket.c_str(), 12);
  r.grtyp[0] = d.grtyp == ' ' ? '\0' : d.grtyp;
  r.grtyp[1] = '\0';

  coding::DecodedLevel level;
  coding::LevelFailure why;
  std::string text;
  if (coding::decode_level(r.ip1, true, &level, &why) &&
      coding::level_text(r.ip1, &text, nullptr, nullptr)) {
    r.level_ok = 1;
    r.level = level.value;
    r.level_kind = level.kind;
    const size_t first = text.find_first_not_of(' ');
    text = first == std::string::npos ? std::string() : text.substr(first);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    std::snprintf(r.level_text, sizeof r.level_text, "%s", text.c_str());
    const size_t blank = text.find(' ');
    if (blank != std::string::npos) {
      const size_t unit = text.find_first_not_of(' ', blank);
      if (unit != std::string::npos)
        std::snprintf(r.level_kind_text, sizeof r.level_kind_text, "%s", text.c_str() + unit);
    }
  }
  r.dateo_ok = decode_stamp(r.dateo, r.dateo_iso, sizeof r.dateo_iso, &r.dateo_unix);
  r.datev_ok = decode_stamp(r.datev, r.datev_iso, sizeof r.datev_iso, &r.datev_unix);

  // 24, 24 and 20 bits: the product is saturated rather than wrapped.
  const int64_t plane = static_cast<int64_t>(r.ni) * r.nj;
  int64_t count = 0;
  if (r.ni > 0 && r.nj > 0 && r.nk > 0) count = plane > INT64_MAX / r.nk ? INT64_MAX : plane * r.nk;
  r.count = static_cast<uint64_t>(count) > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(count);
  r.type = natural_type(r.datyp, r.nbits);
  r.handle = handle;
  key_of(f, handle, r.key);
  *rec = r;
  return 0;
}

int walk_next(Call &c, zep_file *f) {
  if (f->walk_ended) return 0;
  const int slot = file_slot(f);
  if (slot < 0) return c.fail(ZEP_EINTERNAL, "the file is no longer open");
  int found;
  if (f->sequential) {
    xdf::FileEntry *e = xdf::open_entry(slot);
    if (f->walk_started) {
      e->cur_addr = f->next_address;
      found = search_all(f->iun, -1);
    } else {
      found = search_all(f->iun, 0);
    }
    f->next_address = e->cur_addr;
  } else {
    found = search_all(f->iun, f->walk_started ? f->last_handle : 0);
    if (found > 0) f->last_handle = found;
  }
  f->walk_started = true;
  if (found == xdf::ERR_NOT_FOUND && c.errors() == 0) {
    f->walk_ended = true;
    return 0;
  }
  if (found < 0 || c.errors() > 0) {
    f->walk_ended = true;
    return c.fail(map_code(found, ZEP_EDAMAGED), "the walk through the file failed");
  }
  return found;
}

int locate(Call &c, zep_file *f, const zep_record *rec) {
  const int slot = file_slot(f);
  if (slot < 0) return c.fail(ZEP_EINTERNAL, "the file is no longer open");
  if (f->sequential) {
    if (rec->key[1] != kSequentialKey || rec->key[0] < 1)
      return c.fail(ZEP_EINVAL, "the record does not come from this file");
    xdf::FileEntry *e = xdf::open_entry(slot);
    const int64_t size = c_wasize(f->iun);
    if (rec->key[0] > size) return c.fail(ZEP_EINVAL, "the record does not come from this file");
    e->cur_addr = rec->key[0];
    const int found = search_all(f->iun, -1);
    if (found < 0 || xdf::address_from_handle(found, *e) != rec->key[0]) {
      if (c.errors() > 0) return c.fail(ZEP_EDAMAGED, "");
      return c.fail(ZEP_ENOTFOUND, "no record at the address of the record's key");
    }
    return found;
  }
  if (rec->key[1] != kRandomKey || rec->key[0] <= 0 || rec->key[0] > INT32_MAX ||
      (rec->key[0] & 0x7F) != slot)
    return c.fail(ZEP_EINVAL, "the record does not come from this file");
  const int handle = static_cast<int>(rec->key[0]);
  int addr = 0, length = 0, idtyp = 0;
  const int status = c_xdfprm(handle, &addr, &length, &idtyp, nullptr, 0);
  if (status < 0) return c.fail(ZEP_ENOTFOUND, "the record's key names no record of the file");
  if (idtyp == 0 || xdf::type_is_deleted(static_cast<uint32_t>(idtyp)))
    return c.fail(ZEP_ENOTFOUND, "the record was erased");
  return handle;
}

int build_order(Call &c, zep_file *f) {
  if (f->order_valid) return 0;
  f->order.clear();
  // A walk of its own: the caller's walk is saved and put back.
  const int last_handle = f->last_handle;
  const int64_t next_address = f->next_address;
  const bool started = f->walk_started, ended = f->walk_ended;
  f->walk_started = f->walk_ended = false;
  int status = 0;
  for (;;) {
    const int h = walk_next(c, f);
    if (h <= 0) {
      status = h;
      break;
    }
    int64_t key[2];
    key_of(f, h, key);
    f->order.push_back(key[0]);
  }
  f->last_handle = last_handle;
  f->next_address = next_address;
  f->walk_started = started;
  f->walk_ended = ended;
  if (status < 0) {
    f->order.clear();
    return status;
  }
  f->order_valid = true;
  return 0;
}

}  // namespace zep::api

using zep::api::Call;

extern "C" {

int zep_next(zep_file *f, zep_record *rec) {
  if (f == nullptr || rec == nullptr) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> int {
    const int h = zep::api::walk_next(c, f);
    if (h <= 0) return h;
    const int status = zep::api::describe(c, f, h, rec);
    if (status < 0) {
      f->walk_ended = true;
      return status;
    }
    rec->index = f->next_index++;
    return 1;
  });
}

int zep_rewind(zep_file *f) {
  if (f == nullptr) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> int {
    f->walk_started = false;
    f->walk_ended = false;
    f->last_handle = 0;
    f->next_address = 0;
    f->next_index = 0;
    return 0;
  });
}

long zep_count(zep_file *f) {
  if (f == nullptr) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> long {
    const int status = zep::api::build_order(c, f);
    if (status < 0) return status;
    return static_cast<long>(f->order.size());
  });
}

void zep_query_init(zep_query *q) {
  if (q == nullptr) return;
  std::memset(q, 0, sizeof *q);
  q->ip1 = q->ip2 = q->ip3 = q->datev = -1;
}

long zep_find(zep_file *f, const zep_query *q, zep_record *out, size_t capacity) {
  if (f == nullptr || q == nullptr || (out == nullptr && capacity > 0)) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> long {
    // Texts must end within their fields.
    if (strnlen(q->nomvar, sizeof q->nomvar) == sizeof q->nomvar ||
        strnlen(q->typvar, sizeof q->typvar) == sizeof q->typvar ||
        strnlen(q->etiket, sizeof q->etiket) == sizeof q->etiket)
      return c.fail(ZEP_EINVAL, "a text of the query is not terminated within its field");
    const int status = zep::api::build_order(c, f);
    if (status < 0) return status;

    // The library's search gives the matches; the order gives their places.
    std::set<int64_t> matches;
    const int slot = zep::api::file_slot(f);
    if (f->sequential) {
      zep::xdf::open_entry(slot)->cur_addr = zep::xdf::open_entry(slot)->seq_bof;
    }
    int ni = 0, nj = 0, nk = 0;
    // The search's own datev criterion compares the stored valid stamp; the
    // query's datev is compared below with the record's datev as this API
    // shows it (and with the stored stamp, extra1), so search without it.
    int h = c_vktinfx(f->sequential ? -1 : 0, f->iun, &ni, &nj, &nk, -1, q->etiket, q->ip1, q->ip2,
                      q->ip3, q->typvar, q->nomvar);
    while (h > 0) {
      int64_t key[2];
      zep::api::key_of(f, h, key);
      matches.insert(key[0]);
      h = c_vktsui(f->iun, &ni, &nj, &nk);
    }
    if ((h < 0 && h != zep::xdf::ERR_NOT_FOUND) || c.errors() > 0)
      return c.fail(zep::api::map_code(h, ZEP_EDAMAGED), "the search failed");

    long total = 0;
    for (size_t i = 0; i < f->order.size(); ++i) {
      if (matches.count(f->order[i]) == 0) continue;
      const bool room = static_cast<size_t>(total) < capacity;
      if (room || q->datev != -1) {
        zep_record probe;
        std::memset(&probe, 0, sizeof probe);
        probe.key[0] = f->order[i];
        probe.key[1] = f->sequential ? 2 : 1;
        const int handle = zep::api::locate(c, f, &probe);
        if (handle < 0) return handle;
        zep_record found;
        const int st = zep::api::describe(c, f, handle, &found);
        if (st < 0) return st;
        if (q->datev != -1 && found.datev != q->datev && found.extra1 != q->datev) continue;
        found.index = static_cast<int64_t>(i);
        if (room) out[total] = found;
      }
      ++total;
    }
    return total;
  });
}

}  // extern "C"
