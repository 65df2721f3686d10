// Reading values through the safe API. Every read finds the record again
// from its key, takes its count from the file (never from the caller's
// copy of the descriptor), refuses a buffer too small before decoding, and
// decodes straight into the caller's buffer, through a read buffer kept by
// the file object.
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "api/internal.h"
#include "stdfile/read.h"
#include "xdf/table.h"

namespace zep::api {

namespace {

// The file's read buffer for one read, or a buffer of the read's own when
// the file's is already in use further up the stack.
class ReadBuffer {
 public:
  explicit ReadBuffer(zep_file *f) : f_(f), own_(f->record_busy) { f->record_busy = true; }
  ~ReadBuffer() {
    if (!own_) f_->record_busy = false;
  }
  ReadBuffer(const ReadBuffer &) = delete;
  ReadBuffer &operator=(const ReadBuffer &) = delete;
  stdfile::FetchedRecord *get() { return own_ ? &local_ : &f_->record; }

 private:
  zep_file *f_;
  bool own_;
  stdfile::FetchedRecord local_;
};

// What a read needs: the record's handle and its current descriptor.
struct Target {
  int handle = 0;
  zep_record d;
};

int prepare(Call &c, zep_file *f, const zep_record *rec, size_t capacity, Target *t) {
  const int handle = locate(c, f, rec);
  if (handle < 0) return handle;
  const int status = describe(c, f, handle, &t->d);
  if (status < 0) return status;
  t->handle = handle;
  if (t->d.count > capacity)
    return c.fail(ZEP_ETOOSMALL, "record " + std::string(t->d.nomvar) + " has " +
                                     std::to_string(t->d.count) + " values, the buffer holds " +
                                     std::to_string(capacity));
  return 0;
}

int record_failure(Call &c, const Target &t, int status) {
  return c.fail(map_code(status, ZEP_EDAMAGED),
                "record " + std::string(t.d.nomvar) + ": its values cannot be read");
}

// Decodes the record's words as the reader does into the caller's array
// (`room` words writable): 32-bit integers for datyp 2 and 4, doubles (two
// words each) for 64-bit IEEE. The file's read buffer is reused.
int decode_words(Call &c, zep_file *f, const Target &t, void *out, size_t room) {
  ReadBuffer buffer(f);
  stdfile::FetchedRecord &rec = *buffer.get();
  int status = stdfile::fetch_record(t.handle, &rec);
  if (status >= 0) {
    const int64_t need = stdfile::needed_data_words(rec.d.datyp, rec.d.nbits, rec.count);
    if (need < 0 || need > static_cast<int64_t>(rec.data_words) || c.errors() > 0)
      return c.fail(ZEP_EDAMAGED, "record " + std::string(t.d.nomvar) +
                                      ": fewer words stored than its values need");
    status = stdfile::decode_record(&rec, out, room);
  }
  if (status < 0 || c.errors() > 0) return record_failure(c, t, status);
  return 0;
}

bool is_integer(int datyp) {
  const int kind = datyp & 0x7F;
  return kind == 2 || kind == 4;
}

bool is_wide_ieee(const zep_record &d) { return (d.datyp & 0x7F) == 5 && d.nbits == 64; }

// Reads the record's values with `read` (a reader of the standard-file
// layer) and copies them, converted to Out, into the caller's buffer.
template <typename Value, typename Out>
long copy_values(Call &c, const Target &t, int (*read)(int, std::vector<Value> *), Out *out,
                 size_t capacity) {
  std::vector<Value> values;
  const int status = read(t.handle, &values);
  if (status < 0 || c.errors() > 0) return record_failure(c, t, status);
  if (values.size() > capacity) return c.fail(ZEP_ETOOSMALL, "the buffer is too small");
  for (size_t i = 0; i < values.size(); ++i) out[i] = static_cast<Out>(values[i]);
  return static_cast<long>(values.size());
}

long read_f32(Call &c, zep_file *f, const zep_record *rec, float *out, size_t capacity) {
  Target t;
  if (const int s = prepare(c, f, rec, capacity, &t); s < 0) return s;
  ReadBuffer buffer(f);
  const int status = stdfile::read_floats_into(t.handle, buffer.get(), out, capacity);
  if (status < 0 || c.errors() > 0) return record_failure(c, t, status);
  return static_cast<long>(t.d.count);
}

long read_f64(Call &c, zep_file *f, const zep_record *rec, double *out, size_t capacity) {
  Target t;
  if (const int s = prepare(c, f, rec, capacity, &t); s < 0) return s;
  const size_t n = t.d.count;
  if (is_wide_ieee(t.d)) {
    if (const int s = decode_words(c, f, t, out, 2 * n); s < 0) return s;
    return static_cast<long>(n);
  }
  return copy_values(c, t, stdfile::read_values, out, capacity);
}

// Integer records, bit patterns kept (either signedness).
long read_u32(Call &c, zep_file *f, const zep_record *rec, uint32_t *out, size_t capacity) {
  Target t;
  if (const int s = prepare(c, f, rec, capacity, &t); s < 0) return s;
  if (!is_integer(t.d.datyp))
    return c.fail(ZEP_ETYPE, "record " + std::string(t.d.nomvar) + " of datyp " +
                                 std::to_string(t.d.datyp) + " does not hold integers");
  if (const int s = decode_words(c, f, t, out, t.d.count); s < 0) return s;
  return static_cast<long>(t.d.count);
}

long read_u8(Call &c, zep_file *f, const zep_record *rec, uint8_t *out, size_t capacity) {
  Target t;
  if (const int s = prepare(c, f, rec, capacity, &t); s < 0) return s;
  if ((t.d.datyp & 0x7F) != 3)
    return c.fail(ZEP_ETYPE, "record " + std::string(t.d.nomvar) + " of datyp " +
                                 std::to_string(t.d.datyp) + " does not hold characters");
  return copy_values(c, t, stdfile::read_values_as_floats, out, capacity);
}

// An entry of the C API: the arguments checked, then `read` under the guard.
template <typename T>
long guarded_read(zep_file *f, const zep_record *rec, T *out, size_t capacity,
                  long (*read)(Call &, zep_file *, const zep_record *, T *, size_t)) {
  if (f == nullptr || rec == nullptr || (out == nullptr && capacity > 0)) return ZEP_EINVAL;
  Call c(f);
  return fenced(c, [&] { return read(c, f, rec, out, capacity); });
}

}  // namespace

}  // namespace zep::api

using zep::api::Call;

extern "C" {

long zep_read_f32(zep_file *f, const zep_record *rec, float *out, size_t capacity) {
  return zep::api::guarded_read(f, rec, out, capacity, zep::api::read_f32);
}

long zep_read_f64(zep_file *f, const zep_record *rec, double *out, size_t capacity) {
  return zep::api::guarded_read(f, rec, out, capacity, zep::api::read_f64);
}

long zep_read_i32(zep_file *f, const zep_record *rec, int32_t *out, size_t capacity) {
  static_assert(sizeof(int32_t) == sizeof(uint32_t), "");
  return zep::api::guarded_read(f, rec, reinterpret_cast<uint32_t *>(out), capacity,
                                zep::api::read_u32);
}

long zep_read_u32(zep_file *f, const zep_record *rec, uint32_t *out, size_t capacity) {
  return zep::api::guarded_read(f, rec, out, capacity, zep::api::read_u32);
}

long zep_read_u8(zep_file *f, const zep_record *rec, uint8_t *out, size_t capacity) {
  return zep::api::guarded_read(f, rec, out, capacity, zep::api::read_u8);
}

long zep_read(zep_file *f, const zep_record *rec, zep_type type, void *out, size_t capacity) {
  switch (type) {
    case ZEP_TYPE_F32: return zep_read_f32(f, rec, static_cast<float *>(out), capacity);
    case ZEP_TYPE_F64: return zep_read_f64(f, rec, static_cast<double *>(out), capacity);
    case ZEP_TYPE_I32: return zep_read_i32(f, rec, static_cast<int32_t *>(out), capacity);
    case ZEP_TYPE_U32: return zep_read_u32(f, rec, static_cast<uint32_t *>(out), capacity);
    case ZEP_TYPE_U8: return zep_read_u8(f, rec, static_cast<uint8_t *>(out), capacity);
  }
  return ZEP_EINVAL;
}

}  // extern "C"
