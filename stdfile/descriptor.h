// The record descriptor of a standard file, as stored in its directory
// entry. The entry codec itself (layout, six-bit names, stored stamp, key
// tables, data type codes) lives in xdf/std_entry.h, below this layer and
// the old-layout reader alike; its names are used here as this layer's own.
// The writer builds the 16 key words with `Descriptor::to_entry` and hands
// them to the directory-file layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "xdf/std_entry.h"
#include "zep/stdfile.h"

namespace zep::stdfile {

using xdf::std_entry::kEntryWords;
using xdf::std_entry::kInfoWords;
using xdf::std_entry::kKeyWords;
constexpr int kStdfVersion = 200001;

// Key descriptors declared when a standard file is created (name word,
// descriptor word per key): 16 primary and 2 info keys.
inline const uint32_t *stdfkeys() { return xdf::std_entry::primary_keys(); }     // 32 words
inline const uint32_t *stdf_info_keys() { return xdf::std_entry::info_keys(); }  // 4 words

using xdf::std_entry::ascii6_decode;
using xdf::std_entry::ascii6_encode;
using xdf::std_entry::put_etiket;
using xdf::std_entry::put_nomvar;
using xdf::std_entry::put_typvar;
using xdf::std_entry::stamp_from_stored;
using xdf::std_entry::stamp_to_stored;
using Descriptor = xdf::std_entry::Descriptor;
// Data type codes, written DataType::kPackedReal and so on.
using xdf::std_entry::DataType;
using xdf::std_entry::is_compressed;
using xdf::std_entry::without_compression;

// Letter of a datyp in the listing ('?' for a code outside the table).
char datyp_letter(int datyp);
// True for the datyps that the reader and writer know.
bool datyp_is_valid(int datyp);

}  // namespace zep::stdfile
