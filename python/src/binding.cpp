// The extension module zep._zep: a thin layer over the safe C API (zep_*).
// Every call converts its arguments, releases the interpreter lock around the
// library call and turns a negative result into zep.Error carrying the
// library's message. The pure-Python package (zep/*.py) builds the public
// objects on top of it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "zep/api.h"

namespace py = pybind11;

namespace {

// zep.Error, set when the module is loaded.
py::object &error_type() {
  static py::object type;
  return type;
}

[[noreturn]] void raise_error(long code, const std::string &message) {
  std::string text = message.empty() ? std::string(zep_strerror(static_cast<int>(code))) : message;
  py::object error = error_type()(text);
  error.attr("code") = code;
  PyErr_SetObject(error_type().ptr(), error.ptr());
  throw py::error_already_set();
}

// Texts of the descriptor: bytes kept as they are (one character per byte).
py::str latin1_text(const char *s) {
  return py::reinterpret_steal<py::str>(PyUnicode_DecodeLatin1(s, std::strlen(s), nullptr));
}

// Copies a Python text into a fixed field; longer texts are refused.
template <size_t N>
void set_text(char (&field)[N], const std::string &value, const char *name) {
  if (value.size() >= N) {
    throw py::value_error(std::string(name) + " holds at most " + std::to_string(N - 1) +
                          " characters");
  }
  std::memset(field, 0, N);
  std::memcpy(field, value.data(), value.size());
}

std::string latin1(const py::handle &value, const char *name) {
  if (!py::isinstance<py::str>(value)) throw py::type_error(std::string(name) + " must be a str");
  PyObject *bytes = PyUnicode_AsLatin1String(value.ptr());
  if (!bytes) {
    PyErr_Clear();
    throw py::value_error(std::string(name) + " must hold characters 0..255 only");
  }
  py::bytes b = py::reinterpret_steal<py::bytes>(bytes);
  return std::string(b);
}

py::dtype dtype_of(zep_type type) {
  switch (type) {
    case ZEP_TYPE_F32: return py::dtype::of<float>();
    case ZEP_TYPE_F64: return py::dtype::of<double>();
    case ZEP_TYPE_I32: return py::dtype::of<int32_t>();
    case ZEP_TYPE_U32: return py::dtype::of<uint32_t>();
    case ZEP_TYPE_U8: return py::dtype::of<uint8_t>();
  }
  throw py::value_error("unknown value type");
}

// The zep type of a numpy dtype, 0 when there is none.
int type_of(const py::dtype &dt) {
  if (dt.equal(py::dtype::of<float>())) return ZEP_TYPE_F32;
  if (dt.equal(py::dtype::of<double>())) return ZEP_TYPE_F64;
  if (dt.equal(py::dtype::of<int32_t>())) return ZEP_TYPE_I32;
  if (dt.equal(py::dtype::of<uint32_t>())) return ZEP_TYPE_U32;
  if (dt.equal(py::dtype::of<uint8_t>())) return ZEP_TYPE_U8;
  return 0;
}

// Raised by an operation on a closed file; becomes ValueError, as with
// Python's own files.
struct ClosedFile {};

// Memory of the arrays that values() returns. A freed array's block is kept
// (up to kHeld bytes in all) and given to the next array of a size it can
// hold: reading record after record then decodes into memory already mapped
// instead of fresh pages that the kernel must clear first, which cost as
// much as the decoding itself.
class BlockPool {
 public:
  static constexpr size_t kAlign = 64;
  static constexpr size_t kHeld = size_t{64} << 20;
  static constexpr size_t kBlocks = 8;

  // A block of at least `bytes` (64-byte aligned), or nullptr.
  void *take(size_t bytes) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (size_t i = 0; i < free_.size(); ++i) {
        const size_t cap = capacity_of(free_[i]);
        if (cap >= bytes && cap / 2 <= bytes) {
          void *p = free_[i];
          free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
          held_ -= cap;
          return p;
        }
      }
    }
    const size_t rounded = (bytes + kAlign - 1) / kAlign * kAlign;
    char *base = static_cast<char *>(std::aligned_alloc(kAlign, rounded + kAlign));
    if (!base) return nullptr;
    std::memcpy(base, &rounded, sizeof rounded);
    return base + kAlign;
  }

  void give(void *p) {
    const size_t cap = capacity_of(p);
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (held_ + cap <= kHeld && free_.size() < kBlocks) {
        free_.push_back(p);
        held_ += cap;
        return;
      }
    }
    std::free(static_cast<char *>(p) - kAlign);
  }

 private:
  static size_t capacity_of(void *p) {
    size_t cap;
    std::memcpy(&cap, static_cast<char *>(p) - kAlign, sizeof cap);
    return cap;
  }

  std::mutex mu_;
  std::vector<void *> free_;
  size_t held_ = 0;
};

BlockPool &block_pool() {
  static BlockPool *pool = new BlockPool;  // outlives every array, even at exit
  return *pool;
}

// A record's descriptor as the library gives it (immutable from Python).
struct Record {
  zep_record r;
};

class File {
 public:
  File(const std::string &path, const std::string &mode) : path_(path) {
    int rc;
    std::string message;
    {
      py::gil_scoped_release nogil;
      rc = zep_open(path.c_str(), mode.c_str(), &f_);
      if (rc < 0) message = zep_last_message(nullptr);
    }
    if (rc < 0) {
      f_ = nullptr;
      raise_error(rc, message.empty() ? std::string(zep_strerror(rc)) + ": " + path : message);
    }
  }
  File(const File &) = delete;
  File &operator=(const File &) = delete;
  ~File() {
    // A failed final write cannot be reported from here; close() reports it.
    if (f_) zep_close(f_);
  }

  void close() {
    int rc = 0;
    std::string message;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(mu_);
      if (!f_) return;
      rc = zep_close(f_);
      if (rc < 0) message = zep_strerror(rc);
      f_ = nullptr;
    }
    if (rc < 0) raise_error(rc, message + ": " + path_);
  }

  bool closed() const { return f_ == nullptr; }

  long count() {
    return on_file([&] { return zep_count(f_); });
  }

  // Every live record in file order, in one call (the walk's cursor never
  // leaks to Python, so concurrent walks cannot disturb each other).
  std::vector<Record> walk() {
    std::vector<Record> out;
    on_file([&] {
      int rc = zep_rewind(f_);
      while (rc >= 0) {
        Record rec;
        rc = zep_next(f_, &rec.r);
        if (rc <= 0) break;
        out.push_back(rec);
      }
      return rc;
    });
    return out;
  }

  std::vector<Record> find(const std::string &nomvar, const std::string &typvar,
                           const std::string &etiket, int ip1, int ip2, int ip3, int datev) {
    zep_query q;
    zep_query_init(&q);
    set_text(q.nomvar, nomvar, "nomvar");
    set_text(q.typvar, typvar, "typvar");
    set_text(q.etiket, etiket, "etiket");
    q.ip1 = ip1;
    q.ip2 = ip2;
    q.ip3 = ip3;
    q.datev = datev;
    std::vector<zep_record> found;
    const long n = on_file([&] {
      long got = zep_find(f_, &q, nullptr, 0);
      if (got > 0) {
        found.resize(static_cast<size_t>(got));
        got = zep_find(f_, &q, found.data(), found.size());
        if (got > static_cast<long>(found.size())) got = static_cast<long>(found.size());
      }
      return got;
    });
    std::vector<Record> out(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) out[i].r = found[i];
    return out;
  }

  // Decodes the record into `out` (C-contiguous, writeable, of a value type
  // of the library, at least rec.count elements) with the interpreter lock
  // released.
  void read_into(const Record &rec, py::array out) {
    const int type = type_of(out.dtype());
    if (!type)
      throw py::type_error("values are read into float32, float64, int32, uint32 or uint8 arrays");
    if (!(out.flags() & py::array::c_style) || !out.writeable()) {
      throw py::value_error("the output array must be C-contiguous and writeable");
    }
    const size_t capacity = static_cast<size_t>(out.size());
    void *data = out.mutable_data();
    on_file([&] { return zep_read(f_, &rec.r, static_cast<zep_type>(type), data, capacity); });
  }

  // A new array of the record's natural type, shaped (nj, ni) or (nk, nj, ni).
  py::array values(const Record &rec, py::object dtype) {
    py::dtype dt = dtype.is_none() ? dtype_of(rec.r.type) : py::dtype::from_args(dtype);
    std::vector<py::ssize_t> shape;
    if (rec.r.nk != 1) shape.push_back(rec.r.nk);
    shape.push_back(rec.r.nj);
    shape.push_back(rec.r.ni);
    // The array is sized from the directory's descriptors: check them
    // before allocating. ni*nj*nk (in 128 bits) must be the library's count,
    // and a record stored uncompressed holds at least one bit per value.
    unsigned __int128 product = 1;
    for (auto s : shape) {
      if (s < 0) raise_error(ZEP_EDAMAGED, "the record's dimensions are negative");
      product *= static_cast<unsigned __int128>(s);
    }
    const uint64_t count = rec.r.count;
    if (product != count)
      raise_error(ZEP_EDAMAGED, "the record's dimensions ni*nj*nk are beyond any memory");
    if ((rec.r.datyp & 128) == 0 && rec.r.lng >= 0 &&
        count > static_cast<uint64_t>(rec.r.lng) * 64u) {
      raise_error(ZEP_EDAMAGED, "the record's " + std::to_string(count) +
                                    " values cannot fit in its " + std::to_string(rec.r.lng) +
                                    " stored 64-bit units");
    }
    if (count > (uint64_t{1} << 40) / static_cast<uint64_t>(dt.itemsize())) {
      raise_error(ZEP_ENOMEM, "the record's " + std::to_string(count) +
                                  " values are too many to hold in memory");
    }
    const size_t bytes = std::max<size_t>(1, count * static_cast<size_t>(dt.itemsize()));
    void *block = block_pool().take(bytes);
    if (!block) throw std::bad_alloc();
    py::capsule owner(block, [](void *p) { block_pool().give(p); });
    py::array out(dt, shape, block, owner);
    read_into(rec, out);
    return out;
  }

  void write(py::array values, const py::dict &desc) {
    const int type = type_of(values.dtype());
    if (!type)
      throw py::type_error(
          "values are written from float32, float64, int32, uint32 or uint8 arrays");
    if (!(values.flags() & py::array::c_style))
      throw py::value_error("the values must be C-contiguous");
    zep_record d;
    zep_record_init(&d);
    for (auto item : desc) {
      const std::string key = py::cast<std::string>(item.first);
      py::handle v = item.second;
      if (key == "nomvar")
        set_text(d.nomvar, latin1(v, "nomvar"), "nomvar");
      else if (key == "typvar")
        set_text(d.typvar, latin1(v, "typvar"), "typvar");
      else if (key == "etiket")
        set_text(d.etiket, latin1(v, "etiket"), "etiket");
      else if (key == "grtyp")
        set_text(d.grtyp, latin1(v, "grtyp"), "grtyp");
      else {
        const int x = py::cast<int>(v);
        if (key == "ip1")
          d.ip1 = x;
        else if (key == "ip2")
          d.ip2 = x;
        else if (key == "ip3")
          d.ip3 = x;
        else if (key == "ni")
          d.ni = x;
        else if (key == "nj")
          d.nj = x;
        else if (key == "nk")
          d.nk = x;
        else if (key == "nbits")
          d.nbits = x;
        else if (key == "datyp")
          d.datyp = x;
        else if (key == "dateo")
          d.dateo = x;
        else if (key == "deet")
          d.deet = x;
        else if (key == "npas")
          d.npas = x;
        else if (key == "ig1")
          d.ig1 = x;
        else if (key == "ig2")
          d.ig2 = x;
        else if (key == "ig3")
          d.ig3 = x;
        else if (key == "ig4")
          d.ig4 = x;
        else
          throw py::type_error("unknown descriptor: " + key);
      }
    }
    const void *data = values.data();
    const size_t count = static_cast<size_t>(values.size());
    on_file([&] { return zep_write(f_, &d, static_cast<zep_type>(type), data, count); });
  }

  void erase(const Record &rec) {
    on_file([&] { return zep_erase(f_, &rec.r); });
  }

 private:
  // Runs `work` (a call of the library on f_ returning a count, or a
  // negative code) with the interpreter lock released and the file's lock
  // held, on an open file; raises the library's failure, else returns the
  // result.
  template <typename Work>
  long on_file(Work &&work) {
    long rc;
    std::string message;
    {
      py::gil_scoped_release nogil;
      std::lock_guard<std::mutex> lock(mu_);
      require_open();
      rc = work();
      if (rc < 0) message = zep_last_message(f_);
    }
    if (rc < 0) raise_error(rc, message);
    return rc;
  }

  // Called with the file's lock held and the interpreter lock released:
  // cannot raise a Python exception itself.
  void require_open() const {
    if (!f_) throw ClosedFile{};
  }

  std::string path_;
  zep_file *f_ = nullptr;
  std::mutex mu_;
};

void translate_closed(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const ClosedFile &) {
    PyErr_SetString(PyExc_ValueError, "I/O operation on a closed zep file");
  }
}

py::dict check(const std::string &path) {
  zep_check_report report;
  int rc;
  std::string message;
  {
    py::gil_scoped_release nogil;
    rc = zep_check(path.c_str(), &report);
    if (rc < 0) message = zep_last_message(nullptr);
  }
  if (rc < 0) raise_error(rc, message);
  py::dict d;
  d["records"] = report.records;
  d["deleted"] = report.deleted;
  d["pages"] = report.pages;
  d["bytes"] = report.bytes;
  d["sequential"] = report.sequential != 0;
  d["damaged"] = report.damaged != 0;
  d["message"] = latin1_text(report.message);
  return d;
}

}  // namespace

PYBIND11_MODULE(_zep, m) {
  m.doc() = "Low-level binding of the zep library's safe C API";
  error_type() = py::reinterpret_borrow<py::object>(PyErr_NewExceptionWithDoc(
      "zep.Error", "A failure reported by the zep library.", PyExc_OSError, nullptr));
  m.attr("Error") = error_type();
  py::register_exception_translator(&translate_closed);

  m.attr("TYPE_F32") = static_cast<int>(ZEP_TYPE_F32);
  m.attr("TYPE_F64") = static_cast<int>(ZEP_TYPE_F64);
  m.attr("TYPE_I32") = static_cast<int>(ZEP_TYPE_I32);
  m.attr("TYPE_U32") = static_cast<int>(ZEP_TYPE_U32);
  m.attr("TYPE_U8") = static_cast<int>(ZEP_TYPE_U8);

  py::class_<Record> rec(m, "RawRecord");
#define ZEP_INT_FIELD(name) \
  rec.def_property_readonly(#name, [](const Record &x) { return x.r.name; })
  ZEP_INT_FIELD(ip1);
  ZEP_INT_FIELD(ip2);
  ZEP_INT_FIELD(ip3);
  ZEP_INT_FIELD(ni);
  ZEP_INT_FIELD(nj);
  ZEP_INT_FIELD(nk);
  ZEP_INT_FIELD(nbits);
  ZEP_INT_FIELD(datyp);
  ZEP_INT_FIELD(dateo);
  ZEP_INT_FIELD(datev);
  ZEP_INT_FIELD(deet);
  ZEP_INT_FIELD(npas);
  ZEP_INT_FIELD(ig1);
  ZEP_INT_FIELD(ig2);
  ZEP_INT_FIELD(ig3);
  ZEP_INT_FIELD(ig4);
  ZEP_INT_FIELD(swa);
  ZEP_INT_FIELD(lng);
  ZEP_INT_FIELD(dltf);
  ZEP_INT_FIELD(ubc);
  ZEP_INT_FIELD(extra1);
  ZEP_INT_FIELD(extra2);
  ZEP_INT_FIELD(extra3);
  ZEP_INT_FIELD(level_ok);
  ZEP_INT_FIELD(level);
  ZEP_INT_FIELD(level_kind);
  ZEP_INT_FIELD(dateo_ok);
  ZEP_INT_FIELD(datev_ok);
  ZEP_INT_FIELD(dateo_unix);
  ZEP_INT_FIELD(datev_unix);
  ZEP_INT_FIELD(count);
  ZEP_INT_FIELD(handle);
  ZEP_INT_FIELD(index);
#undef ZEP_INT_FIELD
#define ZEP_TEXT_FIELD(name) \
  rec.def_property_readonly(#name, [](const Record &x) { return latin1_text(x.r.name); })
  ZEP_TEXT_FIELD(nomvar);
  ZEP_TEXT_FIELD(typvar);
  ZEP_TEXT_FIELD(etiket);
  ZEP_TEXT_FIELD(grtyp);
  ZEP_TEXT_FIELD(level_kind_text);
  ZEP_TEXT_FIELD(level_text);
  ZEP_TEXT_FIELD(dateo_iso);
  ZEP_TEXT_FIELD(datev_iso);
#undef ZEP_TEXT_FIELD
  rec.def_property_readonly("type", [](const Record &x) { return static_cast<int>(x.r.type); });
  rec.def_property_readonly("dtype", [](const Record &x) { return dtype_of(x.r.type); });

  py::class_<File>(m, "RawFile")
      .def(py::init<const std::string &, const std::string &>(), py::arg("path"), py::arg("mode"))
      .def("close", &File::close)
      .def_property_readonly("closed", &File::closed)
      .def("count", &File::count)
      .def("walk", &File::walk)
      .def("find", &File::find, py::arg("nomvar"), py::arg("typvar"), py::arg("etiket"),
           py::arg("ip1"), py::arg("ip2"), py::arg("ip3"), py::arg("datev"))
      .def("read_into", &File::read_into, py::arg("record"), py::arg("out"))
      .def("values", &File::values, py::arg("record"), py::arg("dtype") = py::none())
      .def("write", &File::write, py::arg("values"), py::arg("desc"))
      .def("erase", &File::erase, py::arg("record"));

  m.def("check", &check, py::arg("path"));
  m.def("stamp_to_unix", [](int stamp) {
    int64_t seconds = 0;
    const int rc = zep_stamp_to_unix(stamp, &seconds);
    if (rc < 0) raise_error(rc, "the date stamp " + std::to_string(stamp) + " cannot be decoded");
    return seconds;
  });
  m.def("stamp_from_unix", [](int64_t seconds) {
    int stamp = 0;
    const int rc = zep_stamp_from_unix(seconds, &stamp);
    if (rc < 0)
      raise_error(rc, "the time " + std::to_string(seconds) + " cannot be coded as a date stamp");
    return stamp;
  });
  m.def("grid_params",
        [](const std::string &grtyp, int ig1, int ig2, int ig3, int ig4) -> py::object {
          float xg[4] = {0, 0, 0, 0};
          const int rc = zep_grid_params(grtyp.c_str(), ig1, ig2, ig3, ig4, xg);
          if (rc < 0) return py::none();
          return py::make_tuple(xg[0], xg[1], xg[2], xg[3]);
        });
  m.def("version", []() { return std::string(zep_version()); });
}
