// The minimum method: each 5 x 5 block as its minimum plus fixed-width
// offsets (layout in compress.h).
#include <algorithm>

#include "packing/compress.h"

namespace zep::packing {
namespace {

constexpr int kStep = kMinimumStep;
constexpr int kRawWidth = 15;  // w of a block stored as raw 16-bit values

}  // namespace

void pack_tokens_minimum(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out) {
  const size_t stride = static_cast<size_t>(ni);
  for (int j0 = 0; j0 < nj; j0 += kStep) {
    const int j1 = std::min(j0 + kStep, nj);
    for (int i0 = 0; i0 < ni; i0 += kStep) {
      const int i1 = std::min(i0 + kStep, ni);
      uint32_t lo = 0xFFFF, hi = 0;
      for (int j = j0; j < j1; ++j) {
        const uint16_t *row = values + static_cast<size_t>(j) * stride;
        for (int i = i0; i < i1; ++i) {
          lo = std::min<uint32_t>(lo, row[i]);
          hi = std::max<uint32_t>(hi, row[i]);
        }
      }
      int w = bit_length(hi - lo);
      if (w == 16) w = kRawWidth;
      out.put(static_cast<uint32_t>(w), 4);
      if (w == 0) {
        out.put(lo, nbits);
        continue;
      }
      const bool raw = w == kRawWidth;
      if (!raw) out.put(lo, nbits);
      for (int j = j0; j < j1; ++j) {
        const uint16_t *row = values + static_cast<size_t>(j) * stride;
        if (raw) {
          for (int i = i0; i < i1; ++i) out.put(row[i], 16);
        } else {
          for (int i = i0; i < i1; ++i) out.put(row[i] - lo, w);
        }
      }
    }
  }
}

PackStatus unpack_tokens_minimum(BitReader &in, int ni, int nj, int nbits, uint16_t *values) {
  const size_t stride = static_cast<size_t>(ni);
  for (int j0 = 0; j0 < nj; j0 += kStep) {
    const int j1 = std::min(j0 + kStep, nj);
    const int rows = j1 - j0;
    for (int i0 = 0; i0 < ni; i0 += kStep) {
      const int i1 = std::min(i0 + kStep, ni);
      const int cols = i1 - i0;
      if (in.bits_left() < 4) return PackStatus::kShortStream;
      const int w = static_cast<int>(in.read(4));
      const bool raw = w == kRawWidth;
      const uint64_t need =
          (raw ? 0 : static_cast<uint64_t>(nbits)) +
          static_cast<uint64_t>(rows * cols) * static_cast<uint64_t>(raw ? 16 : w);
      if (in.bits_left() < need) return PackStatus::kShortStream;
      uint16_t *first = values + static_cast<size_t>(j0) * stride + static_cast<size_t>(i0);
      if (raw) {
        for (int j = 0; j < rows; ++j) {
          uint16_t *row = first + static_cast<size_t>(j) * stride;
          for (int i = 0; i < cols; ++i) row[i] = static_cast<uint16_t>(in.read(16));
        }
        continue;
      }
      const uint32_t lo = in.read(nbits);
      if (w == 0) {
        for (int j = 0; j < rows; ++j) {
          std::fill_n(first + static_cast<size_t>(j) * stride, cols, static_cast<uint16_t>(lo));
        }
        continue;
      }
      for (int j = 0; j < rows; ++j) {
        uint16_t *row = first + static_cast<size_t>(j) * stride;
        for (int i = 0; i < cols; ++i) row[i] = static_cast<uint16_t>(lo + in.read(w));
      }
    }
  }
  return PackStatus::kOk;
}

PackStatus c_vktzip_minimum(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out) {
  pack_tokens_minimum(values, ni, nj, nbits, out);
  out.put(0, 16);
  out.put(0, 16);
  return out.overrun() ? PackStatus::kShortOutput : PackStatus::kOk;
}

PackStatus c_vktunzip_minimum(BitReader &in, int ni, int nj, int nbits, uint16_t *values) {
  return unpack_tokens_minimum(in, ni, nj, nbits, values);
}

}  // namespace zep::packing
