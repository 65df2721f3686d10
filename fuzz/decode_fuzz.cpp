// Every decoder of stored data through its bounded entry, with the stream,
// the sizes and the parameters taken from the input: fixed-width floats
// (both header forms, float and double results), integers, IEEE fields,
// the float packer and both methods of lossless compression. The bounded
// entries promise never to touch memory outside the sizes they are given;
// the sanitizers hold them to it. Two selectors also check that compression
// and IEEE packing give back what they were given.
#include "fuzz/fuzz_support.h"
#include "packing/compact_float.h"
#include "packing/compact_integer.h"
#include "packing/compress.h"
#include "packing/float_packer.h"
#include "packing/ieee_pack.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kMaxCount = 6000;  // values per call: small enough to run fast

// An output of `len` elements; on success the entries write only there.
template <typename T>
std::vector<T> output(size_t len) {
  return std::vector<T>(len, T{});
}

void packed_floats(fuzz::Input &in, bool separate, bool doubles) {
  const int nbits_arg = static_cast<int>(in.range(-2, 64 * 64 + 66));
  const size_t count = static_cast<size_t>(in.range(0, kMaxCount));
  const size_t stride = static_cast<size_t>(in.range(0, 3));
  const size_t short_by = static_cast<size_t>(in.range(0, 2));
  const bool has_missing = in.flag();
  const uint64_t offset = separate ? static_cast<uint64_t>(in.range(0, 70)) : 24;
  std::vector<uint32_t> words = in.rest_as_words();
  if (words.size() < 4) words.resize(4, 0);
  const uint32_t *header = words.data();
  const uint32_t *stream = separate ? words.data() + 4 : words.data() + 3;
  const size_t stream_words = words.size() - (separate ? 4 : 3);
  size_t len = count * std::max<size_t>(stride, 1);
  len = len > short_by ? len - short_by : 0;
  if (doubles) {
    auto values = output<double>(len);
    zep::packing::unpack_doubles(header, stream, stream_words, offset, nbits_arg, count,
                                 values.data(), len, stride, has_missing, -1.5);
  } else {
    auto values = output<float>(len);
    zep::packing::unpack_floats(header, stream, stream_words, offset, nbits_arg, count,
                                values.data(), len, stride, has_missing, -1.5f);
  }
}

void packed_integers(fuzz::Input &in) {
  const bool with_header = in.flag();
  const int nbits = static_cast<int>(in.range(-1, 66));
  const size_t count = static_cast<size_t>(in.range(0, kMaxCount));
  const bool is_signed = in.flag();
  const size_t stride = static_cast<size_t>(in.range(0, 3));
  const uint64_t offset = static_cast<uint64_t>(in.range(0, 70));
  size_t len = count * std::max<size_t>(stride, 1);
  len -= std::min<size_t>(len, static_cast<size_t>(in.range(0, 2)));
  std::vector<uint32_t> words = in.rest_as_words();
  if (words.size() < 4) words.resize(4, 0);
  const uint32_t *header = with_header ? words.data() : nullptr;
  const uint32_t *stream = words.data() + (with_header ? 4 : 0);
  const size_t stream_words = words.size() - (with_header ? 4 : 0);
  auto values = output<uint32_t>(len);
  int width = -1;
  size_t written = 0;
  const zep::packing::PackStatus st =
      zep::packing::unpack_integers(header, stream, stream_words, offset, nbits, count, is_signed,
                                    values.data(), len, stride, &width, &written);
  if (st == zep::packing::PackStatus::kOk && written > count)
    fuzz::fail("more integers than asked for");
}

void ieee_fields(fuzz::Input &in) {
  const int nbits = static_cast<int>(in.range(-1, 66));
  const size_t n = static_cast<size_t>(in.range(0, kMaxCount));
  const bool in_place = in.flag();
  size_t len = n * (nbits == 64 ? 2 : 1);
  len -= std::min<size_t>(len, static_cast<size_t>(in.range(0, 2)));
  std::vector<uint32_t> packed = in.rest_as_words();
  const size_t packed_words = packed.size();
  if (in_place) {
    // The output overlaps the packed words, as a reader decoding in its
    // own buffer does.
    packed.resize(std::max(packed_words, len) + 1, 0);
    zep::packing::unpack_ieee(packed.data(), packed_words, n, nbits, packed.data(), len);
  } else {
    auto values = output<uint32_t>(len);
    zep::packing::unpack_ieee(packed.data(), packed_words, n, nbits, values.data(), len);
  }
}

void float_packer(fuzz::Input &in) {
  const size_t count = static_cast<size_t>(in.range(0, kMaxCount));
  const size_t room = count - std::min<size_t>(count, static_cast<size_t>(in.range(0, 2)));
  std::vector<uint32_t> words = in.rest_as_words();
  if (words.size() < 3) words.resize(3, 0);
  auto values = output<float>(room);
  int nbits = -1;
  zep::packing::float_unpack(words.data(), words.data() + 3, words.size() - 3, count, values.data(),
                             room, &nbits);
}

void unzip(fuzz::Input &in) {
  const int ni = static_cast<int>(in.range(-1, 400));
  const int nj = static_cast<int>(in.range(-1, 400));
  const size_t n = ni > 0 && nj > 0 ? static_cast<size_t>(ni) * static_cast<size_t>(nj) : 0;
  const size_t room = n - std::min<size_t>(n, static_cast<size_t>(in.range(0, 1)));
  const std::vector<uint32_t> stream = in.rest_as_words();
  auto values = output<uint16_t>(room);
  zep::packing::vktunzip(stream.data(), stream.size(), ni, nj, values.data(), room);
}

void expand_in_place(fuzz::Input &in) {
  const int ni = static_cast<int>(in.range(-1, 400));
  const int nj = static_cast<int>(in.range(-1, 400));
  const size_t extra = static_cast<size_t>(in.range(0, 50000));
  std::vector<uint32_t> data = in.rest_as_words();
  const size_t stream_words = data.size();
  data.resize(stream_words + extra, 0xA5A5A5A5u);
  zep::packing::expand_packed(data.data(), stream_words, data.size(), ni, nj);
}

// Lossless means lossless: what either method writes expands to the values.
void zip_round_trip(fuzz::Input &in) {
  const int ni = static_cast<int>(in.range(1, 120));
  const int nj = static_cast<int>(in.range(1, 120));
  const int nbits = static_cast<int>(in.range(1, 16));
  const int type = in.flag() ? zep::packing::kSampleType : zep::packing::kMinimumType;
  const size_t n = static_cast<size_t>(ni) * static_cast<size_t>(nj);
  std::vector<uint16_t> values(n);
  const uint32_t mask = (1u << nbits) - 1;
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<uint16_t>(in.u16() & mask);
  std::vector<uint32_t> stream(zep::packing::zip_max_words(ni, nj, type));
  size_t words = 0;
  if (zep::packing::vktzip(values.data(), ni, nj, type, nbits, stream.data(), stream.size(),
                           &words) != zep::packing::PackStatus::kOk)
    return;
  if (words > stream.size()) fuzz::fail("compression wrote past its bound");
  std::vector<uint16_t> back(n);
  if (zep::packing::vktunzip(stream.data(), words, ni, nj, back.data(), n) !=
      zep::packing::PackStatus::kOk)
    fuzz::fail("a stream just written does not expand");
  if (back != values) fuzz::fail("compression lost values");
}

// IEEE packing keeps the top nbits bits of every word.
void ieee_round_trip(fuzz::Input &in) {
  const int nbits = static_cast<int>(in.range(1, 32));
  const size_t n = static_cast<size_t>(in.range(0, 2000));
  std::vector<uint32_t> values(n);
  for (uint32_t &v : values) v = in.u32();
  std::vector<uint32_t> packed(zep::packing::ieee_packed_words(n, nbits) + 1, 0);
  if (zep::packing::pack_ieee(values.data(), n, n, nbits, packed.data(), packed.size()) !=
      zep::packing::PackStatus::kOk)
    fuzz::fail("IEEE packing refused a valid width");
  std::vector<uint32_t> back(n);
  if (zep::packing::unpack_ieee(packed.data(), packed.size(), n, nbits, back.data(), n) !=
      zep::packing::PackStatus::kOk)
    fuzz::fail("IEEE fields just packed do not unpack");
  const uint32_t keep = nbits == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> nbits);
  for (size_t i = 0; i < n; ++i)
    if (back[i] != (values[i] & keep)) fuzz::fail("IEEE packing changed a field");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Input in(data, size);
  switch (in.u8() % 10) {
    case 0: packed_floats(in, false, false); break;
    case 1: packed_floats(in, true, false); break;
    case 2: packed_floats(in, in.flag(), true); break;
    case 3: packed_integers(in); break;
    case 4: ieee_fields(in); break;
    case 5: float_packer(in); break;
    case 6: unzip(in); break;
    case 7: expand_in_place(in); break;
    case 8: zip_round_trip(in); break;
    case 9: ieee_round_trip(in); break;
  }
  return 0;
}
