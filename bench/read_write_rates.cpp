// Read and write rates of the library through the safe C API, each against
// its floor measured in the same run.
//
// Reads: for each kind of record (packed reals of 8, 12, 16, 24 and 32 bits,
// 32- and 64-bit IEEE, integers), a file of RECORDS records of 1000 x 1000
// values is written once into the build directory, then every record is read
// with zep_next and zep_read_* into the caller's buffer (open, walk, reads
// and close timed). The floor is the bare unpacking of the same tokens, held
// in memory as the file holds them (big-endian), into the same buffer: a
// plain loop the compiler vectorises. The bench checks that both give the
// same values.
//
// Writes: 16-bit packed reals through zep_write into a new file (open,
// writes and close timed, so the file is included) against the bare packing
// loop into memory: minimum and maximum, quantisation, big-endian tokens.
// When the writer forces its files to disk (ZEP_FSYNC unset), the disk's
// own rate is timed too: as many bytes as the file holds, written by plain
// write() into a new file and forced with fdatasync.
//
// Each figure is the median of RUNS runs, the runs of a kind taken in turn
// with its floor. Prints values per second, the ratio to the floor, the peak
// resident memory, and the machine and its load.
//
// Usage: read_write_rates [DIR] [RUNS] [ONLY]   (default: build, 5; ONLY
// keeps the kinds whose name contains it, "write" the write alone)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/bit_cast.h"
#include "packing/compact_float.h"
#include "zep/api.h"

namespace {

constexpr int kNi = 1000, kNj = 1000, kRecords = 20;
constexpr size_t kCount = static_cast<size_t>(kNi) * kNj;
// The factor applied to every token on unpacking (see packing/compact_float.cpp).
const double kUnpackFactor = zep::double_from_bits(0x3FF00000000001C2ull);

double now() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[noreturn]] void die(const std::string &what, zep_file *f = nullptr) {
  std::fprintf(stderr, "read_write_rates: %s: %s\n", what.c_str(), zep_last_message(f));
  std::exit(1);
}

// Record r of the benchmark: a smooth pattern with a small deterministic
// noise, so that the tokens use their whole range.
std::vector<float> make_field(int r) {
  std::vector<float> v(kCount);
  uint64_t state = 77u + static_cast<uint64_t>(r);
  for (int j = 0; j < kNj; ++j)
    for (int i = 0; i < kNi; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const double noise = static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
      const double shape = 0.5 + 0.25 * std::sin(0.01 * i + 0.3 * r) + 0.25 * std::cos(0.013 * j);
      v[static_cast<size_t>(j) * kNi + i] = static_cast<float>(250.0 + 60.0 * shape + noise);
    }
  return v;
}

enum class Kind { kPacked, kIeee32, kIeee64, kUnsigned, kSigned };

struct Case {
  const char *name;
  Kind kind;
  int datyp, nbits;
};

// ---- The tokens as the file holds them --------------------------------------

// Big-endian bytes of the packed tokens of one record, laid out as in the
// record: the packed-real tokens start 3 bytes into a word (they follow the
// header's 24 bits), other kinds at the start.
struct Tokens {
  std::vector<uint8_t> bytes;
  size_t first = 0;  // byte of the first token
  double min = 0.0;  // packed reals: value = min + token * scale
  double scale = 0.0;
};

// Token of nbits (a multiple of 8) at byte `at`, most significant byte first.
void put_be(std::vector<uint8_t> &b, size_t at, int nbits, uint64_t token) {
  for (int k = nbits - 8; k >= 0; k -= 8) b[at++] = static_cast<uint8_t>(token >> k);
}

Tokens tokens_of(const Case &c, const std::vector<float> &field,
                 const std::vector<uint32_t> &ints) {
  Tokens t;
  if (c.kind == Kind::kPacked) {
    // The library's own packer gives the tokens the writer stores.
    const size_t words = (static_cast<size_t>(c.nbits) * kCount + 24 + 31) / 32 + 4;
    std::vector<uint32_t> packed(words + 4, 0u);
    if (zep::packing::pack_floats(field.data(), kCount, kCount, 1, c.nbits, true, packed.data(),
                                  packed.data() + 3, words, 24, false, 0.0f,
                                  nullptr) != zep::packing::PackStatus::kOk)
      die("packing the floor's tokens");
    zep::packing::FloatHeader h;
    zep::packing::decode_float_header(packed.data(), &h);
    t.min = h.min;
    t.scale = zep::packing::pow2(h.step_exponent) * kUnpackFactor;
    t.bytes.assign(packed.size() * 4 + 16, 0u);
    for (size_t w = 0; w < packed.size(); ++w)
      for (int k = 0; k < 4; ++k)
        t.bytes[4 * w + k] = static_cast<uint8_t>(packed[w] >> (24 - 8 * k));
    t.first = 15;  // word 3, after its 24 header bits
    return t;
  }
  const int width = c.kind == Kind::kIeee64 ? 64 : c.nbits;
  t.bytes.assign((kCount * width + 7) / 8 + 16, 0u);
  for (size_t i = 0; i < kCount; ++i) {
    uint64_t token = 0;
    switch (c.kind) {
      case Kind::kIeee32: token = zep::float_bits(field[i]); break;
      case Kind::kIeee64: token = zep::double_bits(static_cast<double>(field[i]) * 1.000001); break;
      default: token = ints[i] & (width == 32 ? 0xFFFFFFFFu : (1u << width) - 1u);
    }
    put_be(t.bytes, i * (width / 8), width, token);
  }
  return t;
}

// ---- The floors: plain loops from big-endian bytes --------------------------

template <int kBits>
void unpack_packed(const uint8_t *b, size_t n, double min, double scale, float *out) {
  if constexpr (kBits == 8) {
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>(b[i] * scale + min);
  } else if constexpr (kBits == 16) {
    for (size_t i = 0; i < n; ++i) {
      const uint32_t t = static_cast<uint32_t>(b[2 * i]) << 8 | b[2 * i + 1];
      out[i] = static_cast<float>(t * scale + min);
    }
  } else if constexpr (kBits == 12) {
    for (size_t i = 0; i < n / 2; ++i) {
      const uint32_t x = static_cast<uint32_t>(b[3 * i]) << 16 |
                         static_cast<uint32_t>(b[3 * i + 1]) << 8 | b[3 * i + 2];
      out[2 * i] = static_cast<float>((x >> 12) * scale + min);
      out[2 * i + 1] = static_cast<float>((x & 0xFFFu) * scale + min);
    }
  } else if constexpr (kBits == 24) {
    for (size_t i = 0; i < n; ++i) {
      const uint32_t t = static_cast<uint32_t>(b[3 * i]) << 16 |
                         static_cast<uint32_t>(b[3 * i + 1]) << 8 | b[3 * i + 2];
      out[i] = static_cast<float>(t * scale + min);
    }
  } else {
    for (size_t i = 0; i < n; ++i) {
      uint32_t t;
      std::memcpy(&t, b + 4 * i, 4);
      out[i] = static_cast<float>(__builtin_bswap32(t) * scale + min);
    }
  }
}

void unpack_be32(const uint8_t *b, size_t n, uint32_t *out) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t t;
    std::memcpy(&t, b + 4 * i, 4);
    out[i] = __builtin_bswap32(t);
  }
}

void unpack_be64(const uint8_t *b, size_t n, uint64_t *out) {
  for (size_t i = 0; i < n; ++i) {
    uint64_t t;
    std::memcpy(&t, b + 8 * i, 8);
    out[i] = __builtin_bswap64(t);
  }
}

void unpack_be16(const uint8_t *b, size_t n, uint32_t *out) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint32_t>(b[2 * i]) << 8 | b[2 * i + 1];
}

void unpack_be16_signed(const uint8_t *b, size_t n, int32_t *out) {
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<int16_t>(static_cast<uint16_t>(b[2 * i] << 8 | b[2 * i + 1]));
}

void floor_unpack(const Case &c, const Tokens &t, void *out) {
  const uint8_t *b = t.bytes.data() + t.first;
  float *f = static_cast<float *>(out);
  switch (c.kind) {
    case Kind::kPacked:
      switch (c.nbits) {
        case 8: unpack_packed<8>(b, kCount, t.min, t.scale, f); break;
        case 12: unpack_packed<12>(b, kCount, t.min, t.scale, f); break;
        case 16: unpack_packed<16>(b, kCount, t.min, t.scale, f); break;
        case 24: unpack_packed<24>(b, kCount, t.min, t.scale, f); break;
        default: unpack_packed<32>(b, kCount, t.min, t.scale, f); break;
      }
      break;
    case Kind::kIeee64: unpack_be64(b, kCount, static_cast<uint64_t *>(out)); break;
    case Kind::kSigned:
      if (c.nbits == 16) {
        unpack_be16_signed(b, kCount, static_cast<int32_t *>(out));
        break;
      }
      unpack_be32(b, kCount, static_cast<uint32_t *>(out));
      break;
    case Kind::kUnsigned:
      if (c.nbits == 16) {
        unpack_be16(b, kCount, static_cast<uint32_t *>(out));
        break;
      }
      unpack_be32(b, kCount, static_cast<uint32_t *>(out));
      break;
    default: unpack_be32(b, kCount, static_cast<uint32_t *>(out));
  }
}

// ---- The library's reads and writes -------------------------------------------

zep_type type_of(const Case &c) {
  switch (c.kind) {
    case Kind::kIeee64: return ZEP_TYPE_F64;
    case Kind::kUnsigned: return ZEP_TYPE_U32;
    case Kind::kSigned: return ZEP_TYPE_I32;
    default: return ZEP_TYPE_F32;
  }
}

void write_file(const std::string &path, const Case &c,
                const std::vector<std::vector<float>> &fields,
                const std::vector<std::vector<double>> &doubles,
                const std::vector<std::vector<uint32_t>> &ints) {
  zep_file *f = nullptr;
  if (zep_open(path.c_str(), "w", &f) < 0) die("cannot create " + path);
  for (int r = 0; r < kRecords; ++r) {
    zep_record d;
    zep_record_init(&d);
    std::snprintf(d.nomvar, sizeof d.nomvar, "V%d", r);
    d.ni = kNi;
    d.nj = kNj;
    d.ip1 = r;
    d.datyp = c.datyp;
    d.nbits = c.nbits;
    const void *values = fields[r].data();
    if (c.kind == Kind::kIeee64) values = doubles[r].data();
    if (c.kind == Kind::kUnsigned || c.kind == Kind::kSigned) values = ints[r].data();
    if (zep_write(f, &d, type_of(c), values, kCount) < 0) die("cannot write " + path, f);
  }
  if (zep_close(f) < 0) die("cannot close " + path);
}

// Reads every record of the file into `buffer`; returns the values read.
long long read_file(const std::string &path, const Case &c, void *buffer) {
  zep_file *f = nullptr;
  if (zep_open(path.c_str(), "r", &f) < 0) die("cannot open " + path);
  zep_record rec;
  long long values = 0;
  int rc;
  while ((rc = zep_next(f, &rec)) == 1) {
    const long n = zep_read(f, &rec, type_of(c), buffer, kCount);
    if (n < 0) die("cannot read " + path, f);
    values += n;
  }
  if (rc < 0) die("cannot walk " + path, f);
  zep_close(f);
  return values;
}

// ---- The packing floor ----------------------------------------------------------

// Minimum and maximum, quantisation to 16 bits, big-endian tokens: what the
// writer does to a record, in memory.
void floor_pack16(const float *v, size_t n, uint8_t *out) {
  float lo = v[0], hi = v[0];
  for (size_t i = 0; i < n; ++i) {
    lo = std::min(lo, v[i]);
    hi = std::max(hi, v[i]);
  }
  const double min = lo;
  const double spread = static_cast<double>(hi) - min;
  int e = 0;
  std::frexp(2.0 * spread, &e);
  const double scale = spread > 0.0 ? std::ldexp(1.0, 16 - (e - 1)) : 1.0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t t = static_cast<uint32_t>(static_cast<int32_t>((v[i] - min) * scale));
    out[2 * i] = static_cast<uint8_t>(t >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(t);
  }
}

std::string cpu_model() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string dir = argc > 1 ? argv[1] : "build";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string only = argc > 3 ? argv[3] : "";
  const Case cases[] = {
      {"packed reals, 8 bits", Kind::kPacked, 1, 8},
      {"packed reals, 12 bits", Kind::kPacked, 1, 12},
      {"packed reals, 16 bits", Kind::kPacked, 1, 16},
      {"packed reals, 24 bits", Kind::kPacked, 1, 24},
      {"packed reals, 32 bits", Kind::kPacked, 1, 32},
      {"IEEE, 32 bits", Kind::kIeee32, 5, 32},
      {"IEEE, 64 bits", Kind::kIeee64, 5, 64},
      {"unsigned, 16 bits", Kind::kUnsigned, 2, 16},
      {"unsigned, 32 bits", Kind::kUnsigned, 2, 32},
      {"signed, 32 bits", Kind::kSigned, 4, 32},
  };

  std::vector<std::vector<float>> fields(kRecords);
  std::vector<std::vector<double>> doubles(kRecords);
  std::vector<std::vector<uint32_t>> ints(kRecords);
  for (int r = 0; r < kRecords; ++r) fields[r] = make_field(r);

  std::printf("machine: %u cores, %s, load average %s\n", std::thread::hardware_concurrency(),
              cpu_model().c_str(), load_average().c_str());
  std::printf("%d records of %d x %d values per file, median of %d runs each, in M values/s\n",
              kRecords, kNi, kNj, runs);
  std::printf(
      "floors: plain loops built with this build's flags%s\n",
#if defined(__x86_64__) || defined(__i386__)
      __builtin_cpu_supports("avx2") ? "; the library's token loops run their AVX2 build here"
                                     : "; the library's token loops run their baseline build here"
#else
      ""
#endif
  );

  std::vector<uint64_t> buffer(kCount), expect(kCount);
  const double total = static_cast<double>(kRecords) * kCount;
  bool all_same = true;
  bool header_shown = false;
  for (const Case &c : cases) {
    if (std::string(c.name).find(only) == std::string::npos) continue;
    if (!header_shown)
      std::printf("%-24s %10s %10s %8s\n", "read (datyp, nbits)", "library", "floor", "ratio");
    header_shown = true;
    const int mask_bits = c.nbits;
    for (int r = 0; r < kRecords; ++r) {
      if (c.kind == Kind::kIeee64) {
        doubles[r].resize(kCount);
        for (size_t i = 0; i < kCount; ++i)
          doubles[r][i] = static_cast<double>(fields[r][i]) * 1.000001;
      }
      if (c.kind == Kind::kUnsigned || c.kind == Kind::kSigned) {
        ints[r].resize(kCount);
        for (size_t i = 0; i < kCount; ++i) {
          const int64_t v = static_cast<int64_t>((fields[r][i] - 280.0f) * 1000.0f);
          const uint32_t mask = mask_bits == 32 ? 0xFFFFFFFFu : (1u << mask_bits) - 1u;
          ints[r][i] = c.kind == Kind::kSigned ? static_cast<uint32_t>(v)
                                               : static_cast<uint32_t>(v + 40000) & mask;
        }
      }
    }
    const std::string path =
        dir + "/rw-bench-" + std::to_string(c.datyp) + "-" + std::to_string(c.nbits) + ".vkt";
    write_file(path, c, fields, doubles, ints);
    std::vector<Tokens> tokens;
    for (int r = 0; r < kRecords; ++r) tokens.push_back(tokens_of(c, fields[r], ints[r]));

    std::vector<double> lib, floor;
    for (int run = 0; run < runs; ++run) {
      double t0 = now();
      const long long got = read_file(path, c, buffer.data());
      lib.push_back(now() - t0);
      if (got != kRecords * static_cast<long long>(kCount)) die("short read of " + path);
      // The last record read is the last of the file: the floor's output for
      // it must be the same bits.
      t0 = now();
      for (int r = 0; r < kRecords; ++r) floor_unpack(c, tokens[r], expect.data());
      floor.push_back(now() - t0);
    }
    const size_t bytes = kCount * (c.kind == Kind::kIeee64 ? 8 : 4);
    const bool same = std::memcmp(buffer.data(), expect.data(), bytes) == 0;
    all_same = all_same && same;
    const double l = total / median(lib) / 1e6, fl = total / median(floor) / 1e6;
    std::printf("%-24s %10.1f %10.1f %8.3f%s\n", c.name, l, fl, l / fl,
                same ? "" : "  (values differ from the floor's!)");
    std::remove(path.c_str());
    for (int r = 0; r < kRecords; ++r) {
      std::vector<double>().swap(doubles[r]);
      std::vector<uint32_t>().swap(ints[r]);
    }
  }

  // Writes of 16-bit packed reals, the file included.
  const std::string path = dir + "/rw-bench-write.vkt";
  const Case packed16 = {"packed reals, 16 bits", Kind::kPacked, 1, 16};
  std::vector<uint8_t> out(2 * kCount + 16);
  std::vector<double> lib, floor, disk;
  const char *sync = std::getenv("ZEP_FSYNC");
  const bool forced = sync == nullptr || std::strcmp(sync, "0") != 0;
  // When the writer forces the file to disk, the disk's own rate bounds it:
  // as many bytes written by plain write() into a new file and forced with
  // fdatasync, timed in the same run.
  const std::string plain = dir + "/rw-bench-disk.bin";
  std::vector<char> bytes;
  for (int run = 0; run < runs && (only.empty() || only == "write"); ++run) {
    std::remove(path.c_str());  // the previous run's file is not this run's work
    double t0 = now();
    write_file(path, packed16, fields, doubles, ints);
    lib.push_back(now() - t0);
    t0 = now();
    for (int r = 0; r < kRecords; ++r) floor_pack16(fields[r].data(), kCount, out.data());
    floor.push_back(now() - t0);
    if (!forced) continue;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) die("cannot stat " + path);
    bytes.assign(static_cast<size_t>(st.st_size), '\x5a');
    std::remove(plain.c_str());
    t0 = now();
    const int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) die("cannot create " + plain);
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) die("cannot write " + plain);
      done += static_cast<size_t>(n);
    }
    if (fdatasync(fd) != 0 || close(fd) != 0) die("cannot force " + plain + " to disk");
    disk.push_back(now() - t0);
  }
  std::remove(path.c_str());
  std::remove(plain.c_str());
  if (!lib.empty()) {
    const double l = total / median(lib) / 1e6, fl = total / median(floor) / 1e6;
    std::printf("%-24s %10s %10s %8s\n", "write (datyp, nbits)", "library", "floor", "ratio");
    std::printf("%-24s %10.1f %10.1f %8.3f  %s\n", "packed reals, 16 bits", l, fl, l / fl,
                forced ? "(forced to disk at close)" : "(ZEP_FSYNC=0: left to the system's cache)");
    if (!disk.empty()) {
      const double d = total / median(disk) / 1e6;
      std::printf(
          "the disk: the file's %.1f MB written and forced by plain write() and fdatasync at "
          "%.0f MB/s, %.1f M values/s;\n  the forced write reaches %.3f of that\n",
          static_cast<double>(bytes.size()) / 1e6,
          static_cast<double>(bytes.size()) / median(disk) / 1e6, d, l / d);
    }
  }

  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("peak RSS %.1f MiB; load average after %s\n", ru.ru_maxrss / 1024.0,
              load_average().c_str());
  return all_same ? 0 : 1;
}
