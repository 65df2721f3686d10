// The writer's decisions before any packing: width, ranges, data type,
// room and entry words.
#include "stdfile/write.h"

#include <cstdio>
#include <cstring>

#include "xdf/format.h"

namespace zep::stdfile {

void pad_name(const char *src, char *dst, int width) {
  int i = 0;
  if (src != nullptr) {
    for (; i < width && src[i] != '\0'; ++i) dst[i] = src[i];
  }
  for (; i < width; ++i) dst[i] = ' ';
  dst[width] = '\0';
}

std::string padded_name(const char *src, int width) {
  std::string out(static_cast<size_t>(width) + 1, '\0');
  pad_name(src, out.data(), width);
  out.resize(static_cast<size_t>(width));
  return out;
}

int nbits_from_npak(int npak) {
  if (npak == 0) return kFtnBitmot;
  if (npak < 0) return npak == INT32_MIN ? INT32_MAX : -npak;
  const int n = kFtnBitmot / npak;
  return n < 1 ? 1 : n;
}

std::string RangeError::message() const {
  char text[256];
  std::snprintf(text, sizeof text, "%s = %lld must be between %lld and %lld", name.c_str(),
                static_cast<long long>(value), static_cast<long long>(low),
                static_cast<long long>(high));
  return text;
}

std::optional<RangeError> check_ranges(const Descriptor &r, int nbits) {
  constexpr int64_t k24 = 16777215;   // 24-bit fields
  constexpr int64_t k20 = 1048575;    // nk
  constexpr int64_t k28 = 268435455;  // ip1..ip3
  const struct {
    const char *name;
    int64_t value, low, high;
  } checks[] = {
      {"ni", r.ni, 1, k24},     {"nj", r.nj, 1, k24},     {"nk", r.nk, 1, k20},
      {"deet", r.deet, 0, k24}, {"npas", r.npas, 0, k24}, {"nbits", nbits, 1, 64},
      {"ig1", r.ig1, 0, k24},   {"ig2", r.ig2, 0, k24},   {"ig3", r.ig3, 0, k24},
      {"ig4", r.ig4, 0, k24},   {"ip1", r.ip1, 0, k28},   {"ip2", r.ip2, 0, k28},
      {"ip3", r.ip3, 0, k28},
  };
  for (const auto &c : checks) {
    if (c.value < c.low || c.value > c.high) return RangeError{c.name, c.value, c.low, c.high};
  }
  return std::nullopt;
}

DatypPlan plan_datyp(int datyp, int npak, int nbits, int extra_compression, int nk,
                     bool xdf_double) {
  DatypPlan p;
  p.nbits = nbits;
  p.use_double = xdf_double;
  if (datyp == kDatypDouble) {
    datyp = DataType::kPackedReal;
    p.use_double = true;
  }
  if (npak == 0 || npak == 1) datyp = DataType::kRawBits;
  if (p.nbits > 16) datyp = without_compression(datyp);
  // Only the packed reals have a compressed form; adding the flag to any
  // other type would make an invalid code.
  if (extra_compression > 0 && p.nbits <= 16 &&
      (datyp == DataType::kPackedReal || datyp == DataType::kFloatPacker)) {
    datyp += extra_compression;
  }
  char text[128];
  if (datyp == DataType::kFloatPacker && p.nbits > 24) {
    std::snprintf(text, sizeof text, "c_vktecr WARNING: nbits > 16, writing E32 instead of F%2d\n",
                  p.nbits);
    p.warnings.emplace_back(text);
    datyp = DataType::kIeee;
    p.nbits = 32;
  }
  if (datyp == DataType::kFloatPacker && p.nbits > 16) {
    std::snprintf(text, sizeof text, "c_vktecr WARNING: nbits > 16, writing R%2d instead of F%2d\n",
                  p.nbits, p.nbits);
    p.warnings.emplace_back(text);
    datyp = DataType::kPackedReal;
  }
  // The compressor sees one ni x nj level: deeper records go uncompressed.
  if (is_compressed(datyp) && nk > 1) datyp = without_compression(datyp);
  if (datyp == DataType::kCharacters) p.nbits = 8;
  p.datyp = datyp;
  return p;
}

std::optional<RangeError> check_datyp_width(int datyp, int nbits) {
  switch (datyp) {
    case DataType::kPackedReal:
    case DataType::kPackedRealCompressed:
    case DataType::kUnsigned:
    case DataType::kSigned:
      if (nbits > 32) return RangeError{"nbits", nbits, 1, 32};
      break;
    case DataType::kIeee:
      if (nbits > 32 && nbits != 64) return RangeError{"nbits", nbits, 1, 32};
      break;
    default: break;
  }
  return std::nullopt;
}

int64_t data_words(int datyp, int64_t n, int nbits) {
  int64_t units = 0;
  const int64_t stream_bytes = 4 * ((n + 1) / 2);  // float packer: two slots a word
  switch (datyp) {
    case DataType::kFloatPacker:
      units = ((4 * kPackerHeaderWords + stream_bytes) * 8 + 63) / 64;
      break;
    case DataType::kPackedRealCompressed: units = (n * (nbits > 16 ? nbits : 16) + 223) / 64; break;
    case DataType::kFloatPackerCompressed:
      units = ((4 * kPackerHeaderWords + stream_bytes) * 8 + 95) / 64;
      break;
    default: units = (n * nbits + 183) / 64; break;
  }
  return 2 * units;
}

std::optional<RangeError> check_record_size(int64_t record_words) {
  const int64_t units = (record_words + 1) / 2;
  if (units > kMaxRecordUnits)
    return RangeError{"record length (64-bit units)", units, 1, kMaxRecordUnits};
  return std::nullopt;
}

void build_entry(const Descriptor &d, uint32_t *e) {
  // Record type 1; the length (all ones here) and the address are filled
  // by the put.
  xdf::RecordHeader{1, xdf::kMaxRecordUnits, xdf::kAllOnes}.encode(e);
  d.to_entry(e);
}

}  // namespace zep::stdfile
