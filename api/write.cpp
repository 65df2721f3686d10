// Writing through the safe API: a record from a descriptor and typed
// values, erasing, and copying a record's stored words between files.
//
// Every request is checked here before the writer sees it (types, counts,
// the values the float packer cannot hold), the writer's datyp changes are
// made here so that it has nothing to print, and the disk room a write
// needs is reserved first: a full disk is then a refused call, not a
// write the word-file layer would end the process on.
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "api/internal.h"
#include "io/file_table.h"
#include "stdfile/options.h"
#include "stdfile/write.h"
#include "xdf/format.h"
#include "xdf/table.h"
#include "zep/io.h"
#include "zep/stdfile_write.h"
#include "zep/xdf.h"

namespace zep::api {

namespace {

// Room a new record and its directory growth may take beyond the end of the
// file: the data, its keys and framing, and a new directory page.
constexpr int64_t kDirectoryRoomBytes = 64 * 1024;

// Reserves `bytes` behind the end of the file without changing its size.
// 0, or a ZEP_E* code after c.fail. File systems that cannot reserve are
// written to as they are.
int reserve_room(Call &c, const zep_file *f, int64_t bytes) {
  const int row = io::file_index_of(f->iun);
  if (row < 0) return c.fail(ZEP_EINTERNAL, "the file's unit is no longer bound");
  const io::FileEntry &e = io::file_entry(row);
  if (e.fd < 0) return 0;
  const int64_t end = static_cast<int64_t>(e.size) * 4;
  // The process's own limit on file sizes fails a write just as a full disk.
  struct rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      static_cast<uint64_t>(end + bytes) > static_cast<uint64_t>(limit.rlim_cur))
    return c.fail(ZEP_EWRITE, "no room for the record: the process may not make files of " +
                                  std::to_string(end + bytes) + " bytes");
  const int rc =
      ::fallocate(e.fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(end), static_cast<off_t>(bytes));
  if (rc == 0 || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return 0;
  return c.fail(ZEP_EWRITE,
                "no room for the record on the disk: " + std::string(std::strerror(errno)));
}

// Bytes a record of n values of `datyp` and `nbits` takes at most: the data
// area the writer packs into (the larger of the compressed and plain forms,
// as the writer may choose either) and room for its keys and headers. What
// is reserved beyond it stays held past the end of the file once closed.
int64_t record_room(int datyp, int64_t n, int nbits) {
  const int64_t words =
      std::max(stdfile::data_words(datyp, n, nbits), stdfile::data_words(datyp & 0x7F, n, nbits));
  return 4 * words + 256;
}

// The values in the array the writer takes for `datyp` (32-bit words, or
// doubles for 64-bit IEEE and for datyp 801).
struct Field {
  std::vector<uint32_t> words;
  std::vector<double> doubles;
  const void *caller = nullptr;  // the caller's array, when the writer takes it as it is
  void *data() {
    if (caller != nullptr) return const_cast<void *>(caller);  // packed, never written to
    return doubles.empty() ? static_cast<void *>(words.data()) : doubles.data();
  }
};

float as_float(zep_type type, const void *values, size_t i) {
  if (type == ZEP_TYPE_F32) return static_cast<const float *>(values)[i];
  return static_cast<float>(static_cast<const double *>(values)[i]);
}

double as_double(zep_type type, const void *values, size_t i) {
  if (type == ZEP_TYPE_F32) return static_cast<const float *>(values)[i];
  return static_cast<const double *>(values)[i];
}

bool is_float_type(zep_type t) { return t == ZEP_TYPE_F32 || t == ZEP_TYPE_F64; }
bool is_integer_type(zep_type t) { return t == ZEP_TYPE_I32 || t == ZEP_TYPE_U32; }

// Fills `field` for the writer; *datyp may become 801 (doubles packed as
// datyp 1). Returns 0 or a ZEP_E* code after c.fail.
int make_field(Call &c, int *datyp, int nbits, zep_type type, const void *values, size_t n,
               Field *field) {
  const int kind = *datyp & 0x7F;
  const bool compressed = (*datyp & 0x80) != 0;
  auto wrong = [&]() {
    return c.fail(ZEP_ETYPE, "values of type " + std::to_string(static_cast<int>(type)) +
                                 " do not suit datyp " + std::to_string(*datyp));
  };
  try {
    switch (kind) {
      case 0:  // raw words: any 32-bit type
        if (type == ZEP_TYPE_F64 || type == ZEP_TYPE_U8) return wrong();
        field->words.assign(static_cast<const uint32_t *>(values),
                            static_cast<const uint32_t *>(values) + n);
        return 0;
      case 1:
      case 5:
      case 6:
        if (!is_float_type(type)) return wrong();
        if (kind == 5 && nbits == 64) {
          field->doubles.resize(n);
          for (size_t i = 0; i < n; ++i) field->doubles[i] = as_double(type, values, i);
          return 0;
        }
        if (kind == 1 && !compressed && type == ZEP_TYPE_F64) {
          field->doubles.assign(static_cast<const double *>(values),
                                static_cast<const double *>(values) + n);
          *datyp = stdfile::kDatypDouble;
          return 0;
        }
        if (kind == 1 && type == ZEP_TYPE_F32) {
          field->caller = values;
          return 0;
        }
        field->words.resize(n);
        for (size_t i = 0; i < n; ++i) {
          const float v = as_float(type, values, i);
          // The float packer ends the process on values beyond +-1e38.
          if (kind == 6 && (v > 1e38f || v < -1e38f))
            return c.fail(ZEP_EINVAL, "value " + std::to_string(i) +
                                          " is beyond +-1e38, which datyp 6 cannot hold");
          std::memcpy(&field->words[i], &v, sizeof v);
        }
        return 0;
      case 2:
      case 4:
        if (!is_integer_type(type)) return wrong();
        field->words.assign(static_cast<const uint32_t *>(values),
                            static_cast<const uint32_t *>(values) + n);
        return 0;
      case 3: {
        if (type != ZEP_TYPE_U8) return wrong();
        // The writer takes the characters in memory order.
        field->words.assign((n + 3) / 4, 0u);
        std::memcpy(field->words.data(), values, n);
        return 0;
      }
      default:
        return c.fail(ZEP_EINVAL,
                      "datyp " + std::to_string(*datyp) + " is not a data type of the writer");
    }
  } catch (const std::bad_alloc &) {
    return c.fail(ZEP_ENOMEM, "out of memory for the record's values");
  }
}

}  // namespace

}  // namespace zep::api

using zep::api::Call;

extern "C" {

void zep_record_init(zep_record *desc) {
  if (desc == nullptr) return;
  std::memset(desc, 0, sizeof *desc);
  desc->grtyp[0] = 'X';
  desc->ni = desc->nj = desc->nk = 1;
  desc->datyp = 1;
  desc->nbits = 16;
  desc->count = 1;
  desc->type = ZEP_TYPE_F32;
}

int zep_write(zep_file *f, const zep_record *desc, zep_type type, const void *values,
              size_t count) {
  if (f == nullptr || desc == nullptr || (values == nullptr && count > 0)) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> int {
    if (!f->writable) return c.fail(ZEP_EREADONLY, "the file is open for reading only");
    if (type < ZEP_TYPE_F32 || type > ZEP_TYPE_U8) return c.fail(ZEP_EINVAL, "unknown value type");
    if (strnlen(desc->nomvar, sizeof desc->nomvar) == sizeof desc->nomvar ||
        strnlen(desc->typvar, sizeof desc->typvar) == sizeof desc->typvar ||
        strnlen(desc->etiket, sizeof desc->etiket) == sizeof desc->etiket ||
        strnlen(desc->grtyp, sizeof desc->grtyp) == sizeof desc->grtyp)
      return c.fail(ZEP_EINVAL, "a text of the descriptor is not terminated within its field");
    if (desc->ni < 1 || desc->nj < 1 || desc->nk < 1)
      return c.fail(ZEP_EINVAL, "ni, nj and nk must be 1 or more");
    const int64_t n = static_cast<int64_t>(desc->ni) * desc->nj * desc->nk;
    if (n > INT32_MAX || static_cast<uint64_t>(n) != count)
      return c.fail(ZEP_EINVAL,
                    "count " + std::to_string(count) + " is not ni*nj*nk = " + std::to_string(n));
    const int kind = desc->datyp & 0x7F;
    int nbits = desc->nbits;
    if (kind == 0) nbits = 32;  // raw words
    if (nbits < 1 || nbits > 64 || (nbits > 32 && !(kind == 5 && nbits == 64)))
      return c.fail(ZEP_EINVAL, "nbits " + std::to_string(desc->nbits) + " does not suit datyp " +
                                    std::to_string(desc->datyp));

    // The writer's own changes of datyp, made here and reported as warnings.
    int datyp = desc->datyp;
    if (kind != 0) {
      const zep::stdfile::DatypPlan plan = zep::stdfile::plan_datyp(
          datyp, -nbits, nbits, zep::stdfile::options().extra_compression, desc->nk, false);
      if (!plan.warnings.empty()) {
        datyp = plan.datyp & 0x7F;
        nbits = plan.nbits;
      }
      zep::xdf::errmsg()[0] = '\0';
      for (const std::string &w : plan.warnings) {
        std::snprintf(zep::xdf::errmsg(), zep::xdf::kErrmsgSize, "%s", w.c_str());
        zep::xdf::error_msg("c_vktecr", 0, zep::xdf::WARNING);
      }
    }

    zep::api::Field field;
    if (const int s = zep::api::make_field(c, &datyp, nbits, type, values, count, &field); s < 0)
      return s;
    if (const int s = zep::api::reserve_room(
            c, f, zep::api::record_room(datyp, n, nbits) + zep::api::kDirectoryRoomBytes);
        s < 0)
      return s;

    const int npak = kind == 0 ? 0 : -nbits;
    const int status =
        c_vktecr(field.data(), nullptr, npak, f->iun, desc->dateo, desc->deet, desc->npas, desc->ni,
                 desc->nj, desc->nk, desc->ip1, desc->ip2, desc->ip3, desc->typvar, desc->nomvar,
                 desc->etiket, desc->grtyp[0] ? desc->grtyp : " ", desc->ig1, desc->ig2, desc->ig3,
                 desc->ig4, datyp, 0);
    f->order_valid = false;
    if (status < 0 || c.errors() > 0)
      return c.fail(status == zep::xdf::ERR_NO_WRITE ? ZEP_EREADONLY : ZEP_EINVAL,
                    "the record was refused by the writer");
    return 0;
  });
}

int zep_erase(zep_file *f, const zep_record *rec) {
  if (f == nullptr || rec == nullptr) return ZEP_EINVAL;
  Call c(f);
  return zep::api::fenced(c, [&]() -> int {
    if (!f->writable) return c.fail(ZEP_EREADONLY, "the file is open for reading only");
    const int handle = zep::api::locate(c, f, rec);
    if (handle < 0) return handle;
    const int status = c_vkteff(handle);
    f->order_valid = false;
    if (status < 0 || c.errors() > 0)
      return c.fail(zep::api::map_code(status, ZEP_EWRITE), "the record was not erased");
    return 0;
  });
}

int zep_copy_record(zep_file *dst, zep_file *src, const zep_record *rec) {
  if (dst == nullptr || src == nullptr || rec == nullptr) return ZEP_EINVAL;
  Call c(src);
  return zep::api::fenced(c, [&]() -> int {
    if (dst->broken) {
      c.set_file(dst);
      return c.fail(dst->broken_code, "the file is unusable after an earlier failure; close it");
    }
    if (!dst->writable) {
      c.set_file(dst);
      return c.fail(ZEP_EREADONLY, "the destination is open for reading only");
    }
    const int handle = zep::api::locate(c, src, rec);
    if (handle < 0) return handle;
    if (zep::xdf::record_in_file(handle) < 0 || c.errors() > 0)
      return c.fail(ZEP_EDAMAGED, "the record runs past the end of its file");
    int addr = 0, length = 0, idtyp = 0;
    if (c_xdfprm(handle, &addr, &length, &idtyp, nullptr, 0) < 0)
      return c.fail(ZEP_EDAMAGED, "the record's directory entry cannot be read");
    const int64_t words = 2 * static_cast<int64_t>(length) + 9;
    std::vector<uint32_t> buffer;
    try {
      buffer.assign(static_cast<size_t>(words), 0u);
    } catch (const std::bad_alloc &) {
      return c.fail(ZEP_ENOMEM, "out of memory for the record");
    }
    buffer[0] = static_cast<uint32_t>(words);
    if (c_xdfget2(handle, buffer.data(), nullptr) < 0 || c.errors() > 0)
      return c.fail(ZEP_EDAMAGED, "the record cannot be read");
    c.set_file(dst);
    if (const int s = zep::api::reserve_room(
            c, dst, 8 * static_cast<int64_t>(length) + zep::api::kDirectoryRoomBytes);
        s < 0)
      return s;
    const int status = c_xdfput(dst->iun, 0, buffer.data());
    dst->order_valid = false;
    if (status < 0 || c.errors() > 0)
      return c.fail(status == zep::xdf::ERR_DIFFERENT_FILES
                        ? ZEP_EINVAL
                        : zep::api::map_code(status, ZEP_EWRITE),
                    "the record was not copied");
    return 0;
  });
}

}  // extern "C"
