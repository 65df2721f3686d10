// The sample method: a pyramid of sub-grids (every third point, plus the
// last row and column), the coarsest stored as it is and every finer one as
// the residuals of a cubic prediction from the coarser one.
//
// Levels: level 0 is the field; level k + 1 takes of level k the points
// 1, 4, 7, ... below its last coarse index, and the last point, in each
// direction (a dimension n gives ((n - 1) % 3 ? 1 : 0) + (n + 2) / 3 points).
// Levels 0 to 3 exist.
//
// Prediction of a level from the next coarser one: the coarser values go to
// their node positions; every node row is filled along i, then every column
// along j, each line by the cubic through four node samples (taken at
// -3, 0, 3 and 6 from a node c near the point) or, for the second to last
// point of a line whose length is 3 past a node, by the mean of its two
// neighbours. Grids too small for four distinct samples read their nearest
// point of the line instead (such grids only ever see this method through a
// direct call; the record writer keeps it for grids of 82 x 82 or more).
//
// Stream after the header: the level 3 values in nbits bits each, then the
// residuals of levels 2, 1 and 0, then 32 zero bits. Residuals of a level: a
// token width t in 3 bits (4, or 5 when some residual reaches 65536 in
// magnitude), then per 3 x 3 block the width w = bit length of its largest
// magnitude (16 written as 15) in t bits, and unless w is 0 every residual of
// the block but its first point (a node, residual 0), two's complement in
// 17 bits when w is 15 and in w + 1 bits otherwise.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "packing/compress.h"

namespace zep::packing {
namespace {

constexpr int kS = kSampleStep;
constexpr int kLevels = 4;
constexpr double kCubicScale = 0.00051440329218107;  // 1 / 1944
constexpr double kRoundHalf = 0.5001;
// Predictions are kept inside this bound; no field of 16-bit values comes
// near it, it only keeps damaged streams from overflowing.
constexpr int64_t kValueLimit = int64_t{1} << 24;

int coarse_size(int n) { return ((n - 1) % kS != 0 ? 1 : 0) + (n + kS - 1) / kS; }

// 0-based fine index of the 0-based coarse index k of a line of n points
// whose coarse line has c points.
int node_index(int k, int c, int n) { return k < c - 1 ? kS * k : n - 1; }

struct Level {
  int ni = 0;
  int nj = 0;
  std::vector<int32_t> v;

  void resize(int i, int j) {
    ni = i;
    nj = j;
    v.assign(static_cast<size_t>(i) * static_cast<size_t>(j), 0);
  }
};

Level coarsen(const Level &fine) {
  Level c;
  c.resize(coarse_size(fine.ni), coarse_size(fine.nj));
  for (int l = 0; l < c.nj; ++l) {
    const size_t jf = static_cast<size_t>(node_index(l, c.nj, fine.nj));
    for (int k = 0; k < c.ni; ++k) {
      const size_t iff = static_cast<size_t>(node_index(k, c.ni, fine.ni));
      c.v[static_cast<size_t>(k) + static_cast<size_t>(c.ni) * l] =
          fine.v[iff + static_cast<size_t>(fine.ni) * jf];
    }
  }
  return c;
}

// Adds 0.5001 with the sign of v in extended precision and cuts toward zero.
// The sum lies within 1.5001 of v's own integer part, so the cut is that
// integer part moved by at most one, found by comparing in extended
// precision (no conversion of an extended value to an integer, which is
// slow on the x87 unit).
int32_t round_away_extended(double v) {
  if (v >= static_cast<double>(kValueLimit)) return static_cast<int32_t>(kValueLimit);
  if (v <= -static_cast<double>(kValueLimit)) return static_cast<int32_t>(-kValueLimit);
  const int32_t iv = static_cast<int32_t>(v);  // toward zero
  const long double x = static_cast<long double>(v);
  if (v < 0) {
    const long double r = x - static_cast<long double>(kRoundHalf);
    return r <= static_cast<long double>(iv - 1) ? iv - 1 : iv;
  }
  const long double r = x + static_cast<long double>(kRoundHalf);
  return r >= static_cast<long double>(iv + 1) ? iv + 1 : iv;
}

// Distance below which a double result may round differently from the
// extended one: far above the few units in the last place by which the two
// can differ for values below 2^24, far below the spacing of real cases.
constexpr double kNearInteger = 1e-6;

// The rounding of w, a double that lies within a few units in the last place
// of the value v whose extended rounding is wanted: decided in double
// precision unless w + 0.5001 comes within kNearInteger of an integer, in
// which case `exact` (returning v) is evaluated and rounded in extended
// precision.
template <class Exact>
int32_t round_fast(double w, Exact exact) {
  if (w < static_cast<double>(kValueLimit) - 2 && w > -static_cast<double>(kValueLimit) + 2) {
    const double r = w + (w < 0 ? -kRoundHalf : kRoundHalf);
    const int32_t t = static_cast<int32_t>(r);  // toward zero
    const double frac = r < 0 ? static_cast<double>(t) - r : r - static_cast<double>(t);
    if (frac > kNearInteger && frac < 1.0 - kNearInteger) return t;
  }
  return round_away_extended(exact());
}

// Rounding of a double value as the sample method does it.
int32_t round_away(double v) {
  return round_fast(v, [v] { return v; });
}

// The cubic through y0..y3 placed at -3, 0, 3, 6, at offset d. The integer
// parts are exact; the scaling and the sum are formed in extended precision
// and stored as a double, as the writers of existing streams did. The same
// sum in double precision decides every case but those within 1e-6 of a
// rounding boundary.
int32_t cubic(int64_t y0, int64_t y1, int64_t y2, int64_t y3, int64_t d) {
  const int64_t t = ((y3 - y0) + (y1 - y2) * 3) * d;
  const int64_t a = ((((y2 + y0) - (y1 + y1)) * 18 + t + t) * d * 6 +
                     (((6 * y2 - y3) - y1 * 3) - (y0 + y0)) * 108) *
                    d;
  const double w = static_cast<double>(a) * kCubicScale + static_cast<double>(y1);
  return round_fast(w, [a, y1] {
    const long double p = static_cast<long double>(a) * static_cast<long double>(kCubicScale) +
                          static_cast<long double>(y1);
    return static_cast<double>(p);
  });
}

// Fills the points between the nodes of `nlines` parallel lines of n points
// each: point k (1-based) of line l is p[(k - 1) * step + l * line_stride].
// All lines share their node positions, so the samples of one point serve
// every line, and the column pass runs along rows of memory.
void interpolate_lines(int32_t *p, size_t step, int n, size_t line_stride, size_t nlines) {
  const int a = (n - 1) % kS;
  const int lim1 = a == 0 ? n - 3 : (a == 1 ? n - 4 : n - 5);
  const int lim2 = a == 0 ? n - 6 : lim1;
  // 1-based point; reads outside the line take its nearest point.
  auto point = [p, step, n](int idx) {
    idx = std::min(std::max(idx, 1), n);
    return p + static_cast<size_t>(idx - 1) * step;
  };
  const int count = (lim1 - 1 + kS) / kS;  // lim1 >= -2 for n >= 1
  for (int k = 0; k < count; ++k) {
    const int i = 1 + kS * k;
    const int c = std::min(std::max(i, 4), lim2);
    const int32_t *r0 = point(c - kS);
    const int32_t *r1 = point(c);
    const int32_t *r2 = point(c + kS);
    const int32_t *r3 = point(std::min(c + 2 * kS, n));
    int32_t *o1 = point(i + 1);  // i + 2 <= n - 1: never clamped
    int32_t *o2 = point(i + 2);
    const int64_t d1 = i + 1 - c, d2 = i + 2 - c;
    for (size_t l = 0, o = 0; l < nlines; ++l, o += line_stride) {
      o1[o] = cubic(r0[o], r1[o], r2[o], r3[o], d1);
      o2[o] = cubic(r0[o], r1[o], r2[o], r3[o], d2);
    }
  }
  if (a == 2) {
    const int32_t *last = point(n);
    const int32_t *before = point(n - 2);
    int32_t *mid = point(n - 1);
    for (size_t l = 0, o = 0; l < nlines; ++l, o += line_stride) {
      mid[o] = round_away(0.5 * (static_cast<double>(last[o]) + static_cast<double>(before[o])));
    }
  }
}

// The prediction of a level of ni x nj points from its coarser level.
void predict(const Level &coarse, int ni, int nj, Level *out) {
  out->resize(ni, nj);
  const size_t sni = static_cast<size_t>(ni);
  for (int l = 0; l < coarse.nj; ++l) {
    const size_t jf = static_cast<size_t>(node_index(l, coarse.nj, nj));
    for (int k = 0; k < coarse.ni; ++k) {
      const size_t iff = static_cast<size_t>(node_index(k, coarse.ni, ni));
      out->v[iff + sni * jf] =
          coarse.v[static_cast<size_t>(k) + static_cast<size_t>(coarse.ni) * l];
    }
  }
  int32_t *v = out->v.data();
  // Along i on every node row, then along j on every column.
  for (int l = 0; l < coarse.nj; ++l) {
    interpolate_lines(v + sni * static_cast<size_t>(node_index(l, coarse.nj, nj)), 1, ni, 0, 1);
  }
  interpolate_lines(v, sni, nj, 1, sni);
}

// Dimensions of levels 0..3.
void level_sizes(int ni, int nj, int (&si)[kLevels], int (&sj)[kLevels]) {
  si[0] = ni;
  sj[0] = nj;
  for (int k = 1; k < kLevels; ++k) {
    si[k] = coarse_size(si[k - 1]);
    sj[k] = coarse_size(sj[k - 1]);
  }
}

constexpr int kBlock = kSampleStep;
constexpr int kRawWidth = 15;  // w of a block stored as 17-bit residuals

uint32_t magnitude(int32_t r) {
  return r < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(r)) : static_cast<uint32_t>(r);
}

}  // namespace

int32_t sample_cubic(int64_t y0, int64_t y1, int64_t y2, int64_t y3, int64_t d) {
  return cubic(y0, y1, y2, y3, d);
}

int32_t sample_round(double v) { return round_away(v); }

void pack_tokens_sample(const int32_t *residuals, int ni, int nj, BitWriter &out) {
  const size_t n = static_cast<size_t>(ni) * static_cast<size_t>(nj);
  uint32_t largest = 0;
  for (size_t k = 0; k < n; ++k) largest = std::max(largest, magnitude(residuals[k]));
  const int t = largest >= 65536 ? 5 : 4;
  out.put(static_cast<uint32_t>(t), 3);
  const size_t stride = static_cast<size_t>(ni);
  for (int j0 = 0; j0 < nj; j0 += kBlock) {
    const int j1 = std::min(j0 + kBlock, nj);
    for (int i0 = 0; i0 < ni; i0 += kBlock) {
      const int i1 = std::min(i0 + kBlock, ni);
      uint32_t m = 0;
      for (int j = j0; j < j1; ++j) {
        for (int i = i0; i < i1; ++i) m = std::max(m, magnitude(residuals[j * stride + i]));
      }
      int w = bit_length(m);
      if (w == 16) w = kRawWidth;
      out.put(static_cast<uint32_t>(w), t);
      if (w == 0) continue;
      const int bw = w == kRawWidth ? 17 : w + 1;
      for (int j = j0; j < j1; ++j) {
        for (int i = (j == j0 ? i0 + 1 : i0); i < i1; ++i) {
          out.put(static_cast<uint32_t>(residuals[j * stride + i]), bw);
        }
      }
    }
  }
}

PackStatus unpack_tokens_sample(BitReader &in, int ni, int nj, int32_t *residuals) {
  if (in.bits_left() < 3) return PackStatus::kShortStream;
  const int t = static_cast<int>(in.read(3));
  if (t != 4 && t != 5) return PackStatus::kBadToken;
  const size_t stride = static_cast<size_t>(ni);
  for (int j0 = 0; j0 < nj; j0 += kBlock) {
    const int j1 = std::min(j0 + kBlock, nj);
    for (int i0 = 0; i0 < ni; i0 += kBlock) {
      const int i1 = std::min(i0 + kBlock, ni);
      if (in.bits_left() < static_cast<uint64_t>(t)) return PackStatus::kShortStream;
      const int w = static_cast<int>(in.read(t));
      if (w == 0) {
        for (int j = j0; j < j1; ++j) {
          std::fill(residuals + j * stride + i0, residuals + j * stride + i1, 0);
        }
        continue;
      }
      const int bw = (w == 15 || w == 16) ? 17 : w + 1;  // at most 32
      const uint64_t cnt = static_cast<uint64_t>(j1 - j0) * static_cast<uint64_t>(i1 - i0) - 1;
      if (in.bits_left() < cnt * static_cast<uint64_t>(bw)) return PackStatus::kShortStream;
      residuals[j0 * stride + i0] = 0;
      for (int j = j0; j < j1; ++j) {
        for (int i = (j == j0 ? i0 + 1 : i0); i < i1; ++i) {
          residuals[j * stride + i] = in.read_signed(bw);
        }
      }
    }
  }
  return PackStatus::kOk;
}

PackStatus c_vktzip_sample(const uint16_t *values, int ni, int nj, int nbits, BitWriter &out) {
  Level levels[kLevels];
  levels[0].resize(ni, nj);
  std::copy(values, values + levels[0].v.size(), levels[0].v.begin());
  for (int k = 1; k < kLevels; ++k) levels[k] = coarsen(levels[k - 1]);

  for (int32_t x : levels[kLevels - 1].v) out.put(static_cast<uint32_t>(x), nbits);
  Level pred;
  std::vector<int32_t> residuals;
  for (int k = kLevels - 2; k >= 0; --k) {
    const Level &lv = levels[k];
    predict(levels[k + 1], lv.ni, lv.nj, &pred);
    residuals.resize(lv.v.size());
    for (size_t p = 0; p < lv.v.size(); ++p) residuals[p] = lv.v[p] - pred.v[p];
    pack_tokens_sample(residuals.data(), lv.ni, lv.nj, out);
  }
  out.put(0, 16);
  out.put(0, 16);
  return out.overrun() ? PackStatus::kShortOutput : PackStatus::kOk;
}

PackStatus c_vktunzip_sample(BitReader &in, int ni, int nj, int nbits, uint16_t *values) {
  int si[kLevels], sj[kLevels];
  level_sizes(ni, nj, si, sj);
  Level coarse;
  coarse.resize(si[kLevels - 1], sj[kLevels - 1]);
  if (in.bits_left() < static_cast<uint64_t>(coarse.v.size()) * static_cast<uint64_t>(nbits)) {
    return PackStatus::kShortStream;
  }
  for (int32_t &x : coarse.v) x = static_cast<int32_t>(in.read(nbits));
  Level fine;
  std::vector<int32_t> residuals;
  for (int k = kLevels - 2; k >= 0; --k) {
    residuals.resize(static_cast<size_t>(si[k]) * static_cast<size_t>(sj[k]));
    const PackStatus st = unpack_tokens_sample(in, si[k], sj[k], residuals.data());
    if (st != PackStatus::kOk) return st;
    predict(coarse, si[k], sj[k], &fine);
    for (size_t p = 0; p < residuals.size(); ++p) {
      int64_t x = static_cast<int64_t>(fine.v[p]) + residuals[p];
      if (x < 0) x = 0;
      if (x > kValueLimit) x = kValueLimit;
      fine.v[p] = static_cast<int32_t>(x);
    }
    std::swap(coarse, fine);
  }
  for (size_t p = 0; p < coarse.v.size(); ++p) values[p] = static_cast<uint16_t>(coarse.v[p]);
  return PackStatus::kOk;
}

}  // namespace zep::packing
