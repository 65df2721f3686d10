// The file header, key descriptors, key extraction/insertion and the
// sequential framing (padding, trailer, end mark).
#include <algorithm>
#include <cstdio>

#include "common/bit_stream.h"
#include "xdf/format.h"

namespace zep::xdf {

namespace {
// Limits on the key counts of a header read from disk: a primary area of at
// most 16 units holds at most 1024 keys of one bit.
constexpr int kMaxDeclaredKeys = 1024;
constexpr int kMaxInfoUnits = 16;
}  // namespace

std::vector<uint32_t> FileHeader::encode() const {
  std::vector<uint32_t> w(words(), 0);
  if (w.size() < kFileHeaderFixedWords) w.resize(kFileHeaderFixedWords, 0);
  RecordHeader{idtyp, length, 0}.encode(w.data());
  w[2] = version;
  w[3] = app_signature;
  w[4] = file_size;
  w[5] = rewrite_count;
  w[6] = extension_count;
  w[7] = dir_page_count;
  w[8] = last_dir_page;
  w[9] = biggest_record;
  w[10] =
      (static_cast<uint32_t>(primary_count) << 16) | (static_cast<uint32_t>(primary_len) & 0xFFFF);
  w[11] = (static_cast<uint32_t>(info_count) << 16) | (static_cast<uint32_t>(info_len) & 0xFFFF);
  w[12] = erasure_count;
  w[13] = valid_count;
  w[14] = rw_flag;
  w[15] = 0;
  size_t pos = kFileHeaderFixedWords;
  for (const auto *set : {&primary, &info}) {
    for (const KeyDescriptor &k : *set) {
      if (pos + 2 > w.size()) w.resize(pos + 2, 0);
      k.encode(&w[pos]);
      pos += 2;
    }
  }
  return w;
}

std::string FileHeader::decode(const uint32_t *w, size_t nwords, FileHeader *out) {
  char why[160];
  if (nwords < kFileHeaderFixedWords) return "header shorter than 16 words";
  FileHeader h;
  RecordHeader rh = RecordHeader::decode(w);
  h.idtyp = rh.idtyp;
  h.length = rh.length;
  h.version = w[2];
  if (h.version != kXdfVersion && h.version != kXdfVersionLower) return "not an XDF0 header";
  h.app_signature = w[3];
  h.file_size = w[4];
  h.rewrite_count = w[5];
  h.extension_count = w[6];
  h.dir_page_count = w[7];
  h.last_dir_page = w[8];
  h.biggest_record = w[9];
  h.primary_count = static_cast<int>(w[10] >> 16);
  h.primary_len = static_cast<int>(w[10] & 0xFFFF);
  h.info_count = static_cast<int>(w[11] >> 16);
  h.info_len = static_cast<int>(w[11] & 0xFFFF);
  h.erasure_count = w[12];
  h.valid_count = w[13];
  h.rw_flag = w[14];
  // The open returns the valid count as its status: it must read as one.
  if (h.valid_count > 0x7FFFFFFFu) {
    std::snprintf(why, sizeof why, "valid record count %u above 2^31 - 1", h.valid_count);
    return why;
  }
  if (h.primary_len < 1 || h.primary_len > kMaxPrimaryUnits) {
    std::snprintf(why, sizeof why, "primary_len=%d outside 1..%d", h.primary_len, kMaxPrimaryUnits);
    return why;
  }
  if (h.info_len > kMaxInfoUnits) {
    std::snprintf(why, sizeof why, "info_len=%d above %d", h.info_len, kMaxInfoUnits);
    return why;
  }
  if (h.primary_count > kMaxDeclaredKeys || h.info_count > kMaxDeclaredKeys) {
    std::snprintf(why, sizeof why, "key counts %d and %d too large", h.primary_count, h.info_count);
    return why;
  }
  const uint64_t expect = 8 + static_cast<uint64_t>(h.primary_count) + h.info_count;
  if (h.length != expect) {
    std::snprintf(why, sizeof why, "header length %u, expected %llu", h.length,
                  static_cast<unsigned long long>(expect));
    return why;
  }
  if (2 * static_cast<uint64_t>(h.length) > nwords) return "header longer than the words read";
  const int primary_area = 2 * (h.primary_len - 1);
  const int info_area = 2 * h.info_len;
  size_t pos = kFileHeaderFixedWords;
  for (int i = 0; i < h.primary_count + h.info_count; ++i, pos += 2) {
    KeyDescriptor k = KeyDescriptor::decode(&w[pos]);
    const bool primary = i < h.primary_count;
    if (!k.fits(primary ? primary_area : info_area)) {
      std::snprintf(why, sizeof why, "%s key %d lies outside its key area",
                    primary ? "primary" : "info", primary ? i + 1 : i - h.primary_count + 1);
      return why;
    }
    (primary ? h.primary : h.info).push_back(k);
  }
  *out = std::move(h);
  return std::string();
}

static int len_for(const std::vector<KeyDescriptor> &keys) {
  int64_t bits = 0;
  for (const KeyDescriptor &k : keys) bits += k.width;
  return static_cast<int>((bits + 63) / 64);
}
int primary_len_for(const std::vector<KeyDescriptor> &keys) { return len_for(keys) + 1; }
int info_len_for(const std::vector<KeyDescriptor> &keys) { return len_for(keys); }

uint32_t dir_page::xor_check(const uint32_t *page, size_t nwords) {
  uint32_t x = 0;
  for (size_t i = kNextPage; i < nwords; ++i) x ^= page[i];
  return x;
}

void dir_page::set_checksum(uint32_t *page, size_t nwords) {
  page[kChecksum] = 0;
  page[kChecksum] = xor_check(page, nwords);
}

int64_t seq::padded_words(int64_t start, int64_t nwords) {
  const int64_t e = start + nwords + 3;
  int64_t g = 128;
  if (e < 0x800000)
    g = 2;
  else if (e < 0x2000000)
    g = 8;
  else if (e < 0x8000000)
    g = 32;
  const int64_t rem = e % g;
  return rem == 0 ? nwords : nwords + (g - rem);
}

void seq::encode_trailer(uint32_t record_word0, uint32_t record_unit, uint32_t *w) {
  RecordHeader{0, 2, kAllOnes}.encode(w);
  w[2] = record_word0;
  w[3] = record_unit;
}

void seq::encode_end_mark(uint32_t unit, uint32_t *w) {
  RecordHeader{kTypeEndMark, 1, unit}.encode(w);
}

void extract_keys(const std::vector<KeyDescriptor> &keys, const uint32_t *area, int area_words,
                  uint32_t *values, int nvalues) {
  const int n = std::min<int>(nvalues, static_cast<int>(keys.size()));
  for (int i = 0; i < n; ++i) {
    const KeyDescriptor &k = keys[i];
    if (!k.fits(area_words)) continue;
    const int shift = 31 - k.bit1 % 32;
    values[i] = (area[k.key_word()] >> shift) & zep::low_mask32(k.width);
  }
}

void insert_keys(const std::vector<KeyDescriptor> &keys, uint32_t *area, int area_words,
                 const uint32_t *values, int nvalues, uint32_t *mask, const uint32_t *mask_values) {
  const int n = std::min<int>(nvalues, static_cast<int>(keys.size()));
  if (mask != nullptr && n > 0) {
    int first = area_words, last = -1;
    for (int i = 0; i < n; ++i) {
      if (!keys[i].fits(area_words)) continue;
      first = std::min(first, keys[i].key_word());
      last = std::max(last, keys[i].key_word());
    }
    for (int i = first; i <= last; ++i) mask[i] = 0;
  }
  for (int i = 0; i < n; ++i) {
    const KeyDescriptor &k = keys[i];
    if (values[i] == kAllOnes || !k.fits(area_words)) continue;
    uint32_t v = values[i];
    if (k.type & 32) v = fold_upper(v);
    const int shift = 31 - k.bit1 % 32;
    const uint32_t m = zep::low_mask32(k.width) << shift;
    uint32_t &word = area[k.key_word()];
    word = (word & ~m) | ((v << shift) & m);
    if (mask != nullptr) {
      const uint32_t mv = mask_values != nullptr ? mask_values[i] : kAllOnes;
      mask[k.key_word()] = (mask[k.key_word()] & ~m) | ((mv << shift) & m);
    }
  }
}

}  // namespace zep::xdf
