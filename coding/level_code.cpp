// Vertical level coding: convip_ and the conversions behind it.
//
// New style (codes above 32767): bits 0-19 mantissa, 20-23 decimal exponent,
// 24-27 kind (low four bits). A mantissa above 1000000 stands for the
// negative number 1000000 - m; value = m / 10^(e-4) / factor(kind).
// Old style (codes 0..32767): ranges of codes for kinds 0 to 3.
#include "coding/level_code.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "coding/fixed_format.h"
#include "zep/coding.h"
#include "common/fatal.h"
#include "common/fixed_text.h"

namespace zep::coding {

namespace {

struct KindInfo {
  const char *unit;
  float low;
  float high;
  float floor;
  float factor;
  bool valid;
};

const KindInfo &kind_info(int kind) {
  static const KindInfo invalid = {"??", 0.0f, 0.0f, 0.0f, 1.0f, false};
  static const KindInfo table[] = {
      {"m ", -20000.0f, 100000.0f, 0.0f, 1.0f, true},  // 0 height
      {"sg", 0.0f, 1.0f, 0.0f, 1.0f, true},            // 1 sigma
      {"mb", 0.0f, 1100.0f, 0.0f, 1.0f, true},         // 2 pressure
      {"  ", -480000000.0f, 1e10f, 0.0f, 1.0f, true},  // 3 arbitrary code
      {"M ", -20000.0f, 100000.0f, 0.0f, 1.0f, true},  // 4
      {"hy", 0.0f, 1.0f, 0.0f, 1.0f, true},            // 5
      {"th", 1.0f, 200000.0f, 1.0f, 1.0f, true},       // 6
  };
  static const KindInfo kind10 = {"??", 0.0f, 1e10f, 0.0f, 1.0f, true};
  static const KindInfo kind21 = {"??", 0.0f, 100000.0f, 1.001e-5f, 100000.0f, true};
  if (kind >= 0 && kind <= 6) return table[kind];
  if (kind == 10) return kind10;
  if (kind == 21) return kind21;
  return invalid;
}

// 10^(e-4) for the exponent field e; e = 15 is 1e11 rounded to single.
double power_of_exponent(int e) {
  static const double powers[16] = {1e-4, 1e-3, 1e-2, 1e-1, 1.0, 1e1, 1e2,  1e3,
                                    1e4,  1e5,  1e6,  1e7,  1e8, 1e9, 1e10, 99999997952.0};
  return powers[e & 15];
}

// Nearest integer, halves away from zero, of a single-precision value
// already known to lie well inside the int range.
int nint(float x) { return static_cast<int>(std::lround(x)); }

bool fail(LevelFailure *failure, int status, const std::string &message) {
  if (failure != nullptr) {
    failure->exit_status = status;
    failure->message = message;
  }
  return false;
}

std::string e105(float v) { return format_exponent(v, 10, 5); }

bool invalid_kind(LevelFailure *failure, int kind) {
  return fail(failure, 4, " Dans convip: kind invalide =" + format_integer(kind, 10));
}

}  // namespace

bool &default_style_is_new() {
  static bool style_new = false;
  return style_new;
}

bool decode_level(int code, bool accept_kinds_above_3, DecodedLevel *out, LevelFailure *failure) {
  DecodedLevel level;
  if (code > 32767) {
    level.new_style = true;
    level.kind = (code >> 24) & 15;
    const KindInfo *info = &kind_info(level.kind);
    if (!info->valid || (!accept_kinds_above_3 && level.kind > 3))
      return invalid_kind(failure, level.kind);
    const int e = (code >> 20) & 15;
    int m = code & 0xFFFFF;
    if (m > 1000000) m = 1000000 - m;
    const float scaled = static_cast<float>(m / power_of_exponent(e));
    level.value = static_cast<float>(static_cast<double>(scaled) / info->factor);
    if (level.kind == 5 && (level.value < 0.0f || level.value > 1.0f)) {
      level.kind = 21;
      level.kind21_notice = true;
      info = &kind_info(21);
      level.value = static_cast<float>(static_cast<double>(scaled) / info->factor);
    }
    if (level.value < info->low)
      level.value = info->low;
    else if (!(level.value <= info->high))
      level.value = info->high;
    if (std::fabs(level.value) < info->floor * 1.001f) level.value = info->floor;
  } else if (code >= 0 && code <= 1099) {
    level.kind = 2;
    level.value = static_cast<float>(code);
  } else if (code >= 1100 && code <= 1200) {
    level.kind = 3;
    level.value = static_cast<float>(1200 - code);
  } else if (code >= 1201 && code <= 1999) {
    level.kind = 2;
    double step = 0.05;
    int base = 1800;
    if (code <= 1399) {
      step = 0.00005;
      base = 1200;
    } else if (code <= 1599) {
      step = 0.0005;
      base = 1400;
    } else if (code <= 1799) {
      step = 0.005;
      base = 1600;
    }
    level.value = static_cast<float>((code - base) * step);
  } else if (code >= 2000 && code <= 12000) {
    level.kind = 1;
    level.value = static_cast<float>(code - 2000) * 0.0001f;
  } else if (code >= 12001 && code <= 32000) {
    level.kind = 0;
    level.value = static_cast<float>((code - 12001) * 5);
  } else if (code == 32767) {
    level.kind = 3;
    level.value = 32767.0f;
  } else {
    return fail(failure, 5, " Dans convip: ip initial =" + format_integer(code, 10));
  }
  *out = level;
  return true;
}

std::string format_level(int code, const DecodedLevel &level, size_t length) {
  FixedFormat f;
  const float v = level.value;
  if (level.new_style) {
    const char *unit = kind_info(level.kind).unit;
    const float a = std::fabs(v);
    const bool whole = a < 1e6f && a == std::floor(a);
    if (length >= 15) {
      if (whole)
        f.integer(static_cast<long long>(v), 12);
      else if (a >= 1e6f)
        f.exponent(v, 12, 6);
      else if (a >= 1e5f)
        f.fixed(v, 12, 0);
      else if (a >= 1e4f)
        f.fixed(v, 12, 1);
      else if (a >= 1000.0f)
        f.fixed(v, 12, 2);
      else if (a >= 100.0f)
        f.fixed(v, 12, 3);
      else if (a >= 10.0f)
        f.fixed(v, 12, 4);
      else if (a >= 1.0f)
        f.fixed(v, 12, 5);
      else if (a >= 0.1f)
        f.fixed(v, 12, 6);
      else if (a >= 0.01f)
        f.fixed(v, 12, 7);
      else if (a >= 0.001f)
        f.fixed(v, 12, 8);
      else
        f.exponent(v, 12, 6);
    } else {
      if (whole)
        f.integer(static_cast<long long>(v), 6);
      else if (a > 1e6f)
        f.exponent(v, 9, 4);
      else if (a > 100.0f)
        f.fixed(v, 6, 2);
      else if (a > 10.0f)
        f.fixed(v, 6, 3);
      else if (a > 1.0f)
        f.fixed(v, 6, 4);
      else if (a >= 0.001f)
        f.fixed(v, 6, 5);
      else
        f.exponent(v, 9, 4);
    }
    f.blanks(1).text(unit, 2);
    return f.str();
  }
  switch (level.kind) {
    case 0: f.integer(nint(v), 6).blanks(1).text("m", 1); break;
    case 1: f.fixed(v, 6, 4).blanks(1).text("sg", 2); break;
    case 2:
      if (code <= 1099)
        f.integer(static_cast<long long>(v), 6);
      else if (code <= 1399)
        f.fixed(v, 6, 5);
      else if (code <= 1599)
        f.fixed(v, 6, 4);
      else if (code <= 1799)
        f.fixed(v, 6, 3);
      else
        f.fixed(v, 6, 2);
      f.blanks(1).text("mb", 2);
      break;
    default: f.integer(nint(v), 6).blanks(3); break;
  }
  return f.str();
}

bool encode_level(float value, int kind, bool new_style, int *code, LevelFailure *failure) {
  const int max_kind = new_style ? 31 : 3;
  if (kind < 0 || kind > max_kind || !kind_info(kind).valid) return invalid_kind(failure, kind);
  if (kind == 2 && value == 0.0f) {
    *code = 0;
    return true;
  }
  const KindInfo &info = kind_info(kind);
  if (new_style) {
    if (!(info.low <= value && value <= info.high)) {
      return fail(failure, 5,
                  " Dans convip: p hors limite =" + e105(value) + " min=" + e105(info.low) +
                      " max=" + e105(info.high));
    }
    double v = value;
    if (std::fabs(value) < info.floor) v = info.floor;
    v *= info.factor;
    double upper = 1000000.0, lower = 100000.0, offset = 0.0;
    if (v < 0) {
      v = -v;
      upper = 48000.0;
      lower = 4800.0;
      offset = 1000000.0;
    }
    int e = 4;
    while (e > 0 && e < 15) {
      if (v >= upper) {
        v *= 0.1;
        --e;
      } else if (v < lower) {
        v *= 10.0;
        ++e;
      } else {
        break;
      }
    }
    if (v > upper) {
      *code = -1;
      return true;
    }
    const int mantissa = static_cast<int>(offset + v + 0.5);
    *code = (e << 20) | mantissa | ((kind & 15) << 24);
    return true;
  }
  switch (kind) {
    case 0: {
      const float t = value * 0.2f + 12001.0f;
      if (t < 12001.0f)
        *code = 12001;
      else if (!(t <= 32000.0f))
        *code = 32000;
      else
        *code = nint(t);
      return true;
    }
    case 1:
      if (!(value >= 0.0f && value <= 1.0f))
        return fail(failure, 1, " Dans convip: sigma initial =" + e105(value));
      *code = nint(value * 10000.0f) + 2000;
      return true;
    case 2:
      if (!(value >= 0.0f && value < 1100.0f))
        return fail(failure, 2, " Dans convip: pression initiale =" + e105(value));
      if (value >= 9.99999f)
        *code = nint(value);
      else if (value >= 0.999999f)
        *code = 1800 + nint(value * 20.0f);
      else if (value >= 0.0999999f)
        *code = 1600 + nint(value * 200.0f);
      else if (value >= 0.00999999f)
        *code = 1400 + nint(value * 2000.0f);
      else if (value >= 0.000999999f)
        *code = 1200 + nint(value * 20000.0f);
      else
        *code = 0;
      return true;
    default: {
      if (!((value >= 0.0f && value <= 100.0f) || value == 32767.0f))
        return fail(failure, 3, " Dans convip: code arbitraire initial =" + e105(value));
      const int n = nint(value);
      *code = n == 32767 ? n : 1200 - n;
      return true;
    }
  }
}

bool level_text(int ip1, std::string *text, std::FILE *notice, std::string *why) {
  DecodedLevel level;
  LevelFailure failure;
  if (!decode_level(ip1, true, &level, &failure)) {
    if (text != nullptr) text->clear();
    if (why != nullptr) *why = failure.message;
    return false;
  }
  if (level.kind21_notice && notice != nullptr) std::fputs(" Debug+ o.b. kind 5 --> 21\n", notice);
  std::string line = format_level(ip1, level, 32);
  line.resize(32, ' ');
  if (text != nullptr) *text = line;
  return true;
}

}  // namespace zep::coding

namespace zep::coding {
namespace {

[[noreturn]] void stop(const zep::coding::LevelFailure &failure) {
  zep::fatal_print(stdout, "%s\n", failure.message.c_str());
  std::fflush(stdout);
  zep::fatal_stop(failure.exit_status);
}

}  // namespace
}  // namespace zep::coding

using namespace zep::coding;

extern "C" void convip_(int *ip, float *p, int *kind, int *mode, char *text, int *flag,
                        size_t text_len) {
  zep::coding::LevelFailure failure;
  const int m = *mode;
  if (m == 0) {
    zep::coding::default_style_is_new() = true;
    return;
  }
  if (m > 0) {
    bool new_style = zep::coding::default_style_is_new();
    if (m == 2) new_style = true;
    if (m == 3) new_style = false;
    int code = 0;
    if (!zep::coding::encode_level(*p, *kind, new_style, &code, &failure)) stop(failure);
    *ip = code;
    return;
  }
  const bool accept = m == -1 || zep::coding::default_style_is_new();
  zep::coding::DecodedLevel level;
  if (!zep::coding::decode_level(*ip, accept, &level, &failure)) stop(failure);
  if (level.kind21_notice) {
    std::fputs(" Debug+ o.b. kind 5 --> 21\n", stdout);
    std::fflush(stdout);
  }
  *p = level.value;
  *kind = level.kind;
  if ((*flag & 1) != 0 && text != nullptr) {
    zep::fill_field(text, text_len, zep::coding::format_level(*ip, level, text_len));
  }
}
