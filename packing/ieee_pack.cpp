// IEEE packing (layout in ieee_pack.h) and the C entries ieeepak_,
// move6432_, movr8r4_ and movr4r8_.
#include "packing/ieee_pack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/big_endian.h"
#include "common/fatal.h"
#include "zep/packing.h"

namespace zep::packing {

int ieee_width(int npak) {
  if (npak < 0) return npak < -63 ? 64 : -npak;
  if (npak <= 1) return 32;
  const int w = 32 / npak;
  return w < 1 ? 1 : w;
}

uint64_t ieee_packed_words(uint64_t n, int nbits) {
  if (nbits == 64) return 2 * n;
  return (n * static_cast<uint64_t>(nbits) + 31) / 32;
}

void move_64_to_file_order(const uint32_t *source, uint32_t *destination, size_t n) {
  if (source == destination && !zep::host_is_little_endian()) return;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t a = source[2 * i];
    const uint32_t b = source[2 * i + 1];
    if (zep::host_is_little_endian()) {
      destination[2 * i] = b;
      destination[2 * i + 1] = a;
    } else {
      destination[2 * i] = a;
      destination[2 * i + 1] = b;
    }
  }
}

namespace {

bool width_supported(int nbits) { return (nbits >= 1 && nbits <= 32) || nbits == 64; }

}  // namespace

PackStatus pack_ieee(const uint32_t *unpacked, size_t unpacked_len, size_t n, int nbits,
                     uint32_t *packed, size_t packed_words) {
  if (!width_supported(nbits)) return PackStatus::kBadArgument;
  if (n == 0) return PackStatus::kOk;
  const uint64_t in_words = nbits == 64 ? 2 * static_cast<uint64_t>(n) : n;
  if (in_words > unpacked_len) return PackStatus::kShortStream;
  const uint64_t out_words = ieee_packed_words(n, nbits);
  if (out_words > packed_words) return PackStatus::kShortOutput;
  if (nbits == 64) {
    move_64_to_file_order(unpacked, packed, n);
  } else if (nbits == 32) {
    std::memmove(packed, unpacked, n * sizeof(uint32_t));
  } else {
    const int drop = 32 - nbits;
    BitWriter::write_tokens(packed, packed_words, 0, nbits, n,
                            [=](size_t i) { return unpacked[i] >> drop; });
  }
  return PackStatus::kOk;
}

PackStatus unpack_ieee(const uint32_t *packed, size_t packed_words, size_t n, int nbits,
                       uint32_t *unpacked, size_t unpacked_len) {
  if (!width_supported(nbits)) return PackStatus::kBadArgument;
  if (n == 0) return PackStatus::kOk;
  const uint64_t out_words = nbits == 64 ? 2 * static_cast<uint64_t>(n) : n;
  if (out_words > unpacked_len) return PackStatus::kShortOutput;
  const uint64_t in_words = ieee_packed_words(n, nbits);
  if (in_words > packed_words) return PackStatus::kShortStream;
  if (nbits == 64) {
    move_64_to_file_order(packed, unpacked, n);
    return PackStatus::kOk;
  }
  if (nbits == 32) {
    std::memmove(unpacked, packed, n * sizeof(uint32_t));
    return PackStatus::kOk;
  }
  // Packed words 2..W go to the last W - 1 places of the output; word 1 is
  // held aside. Element j never needs more than one new packed word, so the
  // moved words are read before element j overwrites them.
  const size_t w = static_cast<size_t>(in_words);
  uint64_t acc = packed[0];
  const uint32_t *next = unpacked + (n - w) + 1;
  if (w > 1) std::memmove(unpacked + (n - w) + 1, packed + 1, (w - 1) * sizeof(uint32_t));
  int avail = 32;
  const int drop = 32 - nbits;
  const uint32_t mask = zep::low_mask32(nbits);
  for (size_t j = 0; j < n; ++j) {
    if (avail < nbits) {
      acc = (acc << 32) | *next++;
      avail += 32;
    }
    avail -= nbits;
    unpacked[j] = (static_cast<uint32_t>(acc >> avail) & mask) << drop;
  }
  return PackStatus::kOk;
}

}  // namespace zep::packing

extern "C" {

void ieeepak_(int32_t *unpacked, int32_t *packed, int *ni, int *nj, int *npak, int *spare,
              int *mode) {
  (void)spare;
  const int nbits = zep::packing::ieee_width(*npak);
  if (nbits > 32 && nbits < 64) {
    zep::fatal_print(stdout, " IEEEPAK ERROR: NBITS MUST BE <= 32 OR 64, NBITS=%12d\n", nbits);
    std::fflush(stdout);
    zep::fatal_print(stderr, "STOP IEEEPAK\n");
    zep::fatal_stop(1);
  }
  const int64_t count = static_cast<int64_t>(*ni) * static_cast<int64_t>(*nj);
  if (count <= 0) return;
  if (!unpacked || !packed) {
    std::printf(" IEEEPAK ERROR: UNPACKED OR PACKED ARRAY IS NULL, NOTHING DONE\n");
    return;
  }
  const size_t n = static_cast<size_t>(count);
  const size_t words_unpacked = nbits == 64 ? 2 * n : n;
  const size_t words_packed = static_cast<size_t>(zep::packing::ieee_packed_words(n, nbits));
  auto *u = reinterpret_cast<uint32_t *>(unpacked);
  auto *p = reinterpret_cast<uint32_t *>(packed);
  if (*mode == 1) {
    zep::packing::pack_ieee(u, words_unpacked, n, nbits, p, words_packed);
  } else {
    zep::packing::unpack_ieee(p, words_packed, n, nbits, u, words_unpacked);
  }
}

void move6432_(const void *source, void *destination, const int *n) {
  if (*n <= 0) return;
  zep::packing::move_64_to_file_order(static_cast<const uint32_t *>(source),
                                      static_cast<uint32_t *>(destination),
                                      static_cast<size_t>(*n));
}

void movr8r4_(const double *source, float *destination, const int *n) {
  // Forward: float i lies at or before double i, so in place works.
  for (int i = 0; i < *n; ++i) {
    double d;
    std::memcpy(&d, reinterpret_cast<const char *>(source) + 8 * static_cast<size_t>(i), 8);
    const float f = static_cast<float>(d);
    std::memcpy(reinterpret_cast<char *>(destination) + 4 * static_cast<size_t>(i), &f, 4);
  }
}

void movr4r8_(const float *source, double *destination, const int *n) {
  // Backward: double i covers floats 2i and 2i + 1, already converted, so in
  // place works.
  for (int i = *n - 1; i >= 0; --i) {
    float f;
    std::memcpy(&f, reinterpret_cast<const char *>(source) + 4 * static_cast<size_t>(i), 4);
    const double d = static_cast<double>(f);
    std::memcpy(reinterpret_cast<char *>(destination) + 8 * static_cast<size_t>(i), &d, 8);
  }
}

}  // extern "C"
