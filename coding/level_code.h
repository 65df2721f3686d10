// Vertical level codes (ip1): decoding to (value, kind) and the level text,
// encoding in the old (codes 0..32767) or new (bit-field) style. These are
// the pieces behind convip_; none of them prints or ends the process.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zep::coding {

// Why a conversion was refused: the exit status convip_ ends with and its
// message line (without the line end).
struct LevelFailure {
  int exit_status = 0;
  std::string message;
};

struct DecodedLevel {
  float value = 0.0f;
  int kind = 0;
  bool new_style = false;      // the code was above 32767
  bool kind21_notice = false;  // a kind 5 code outside [0, 1] was read as kind 21
};

// Decodes a level code. `accept_kinds_above_3`: new-style codes of kinds
// above 3 are accepted (false only for the restricted negative modes of
// convip_ while the default style is old). Returns false with `failure` set
// where convip_ would stop.
bool decode_level(int code, bool accept_kinds_above_3, DecodedLevel *out, LevelFailure *failure);

// The level text of a decoded level for a text field of `length` bytes:
// the written characters only (the caller pads with blanks or cuts).
std::string format_level(int code, const DecodedLevel &level, size_t length);

// Encodes (value, kind) in the new style (`new_style`) or the old one.
// Returns false with `failure` set where convip_ would stop.
bool encode_level(float value, int kind, bool new_style, int *code, LevelFailure *failure);

// The text convip_ mode -1 writes into a 32-byte field for `ip1` (32 bytes,
// blank-padded). Returns false, with an empty text, for a code that convip_
// would refuse; `why` (optional) then receives its message. The notice of a
// kind 5 code read as kind 21 goes to `notice` when it is not null.
bool level_text(int ip1, std::string *text, std::FILE *notice = nullptr,
                std::string *why = nullptr);

// The process-wide default encoding style: old at start, new after any
// convip_ call with mode 0.
bool &default_style_is_new();

}  // namespace zep::coding
