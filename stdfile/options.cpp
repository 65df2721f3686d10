// Package options of the standard-file layer: c_vktopc, c_vktopi,
// c_vktopl, c_vktopr, the version query and the entries kept only to
// report that they are not implemented.
#include "stdfile/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stdfile/descriptor.h"
#include "xdf/table.h"
#include "zep/compress.h"
#include "zep/io.h"
#include "zep/stdfile.h"

namespace zep::stdfile {

namespace {

// Message levels: index -> option name and number. The number 10 stands
// twice; a lookup by number takes the first match.
constexpr const char *kLevelNames[7] = {"DEBUG",  "INFORM", "WARNIN", "ERRORS",
                                        "FATALE", "SYSTEM", "CATAST"};
constexpr int kLevelNumbers[7] = {0, 2, 4, 6, 8, 10, 10};
constexpr const char *kSpeedNames[2] = {"FAST", "BEST"};
constexpr size_t kMaxPrintOptions = 127;

int level_by_name(const char *name) {
  for (int i = 0; i < 7; ++i)
    if (std::strcmp(name, kLevelNames[i]) == 0) return i;
  return -1;
}

int level_by_number(int number) {
  for (int i = 0; i < 7; ++i)
    if (kLevelNumbers[i] == number) return i;
  return -1;
}

int clamp_level(int level) { return level < 0 ? 0 : (level > 6 ? 6 : level); }

bool same(const char *a, const char *b) { return a && std::strcmp(a, b) == 0; }

}  // namespace

Options &options() {
  static Options opts;
  return opts;
}

void read_compress_environment() {
  Options &o = options();
  if (o.extra_compression_set) return;
  o.extra_compression = std::getenv("VKT_COMPRESS") ? 128 : 0;
  o.extra_compression_set = true;
}

int msg_level() { return xdf::settings().msg_level; }
int error_tolerance() { return xdf::settings().xdf_toler; }

}  // namespace zep::stdfile

using zep::stdfile::options;

extern "C" {

int c_vkt_version(void) { return zep::stdfile::kStdfVersion; }

int c_vktopc(const char *option, const char *value, int getmode) {
  using namespace zep::stdfile;
  zep::xdf::Settings &s = zep::xdf::settings();
  const char *v = value ? value : "";
  const bool is_msglvl = same(option, "MSGLVL");
  if (is_msglvl || same(option, "TOLRNC")) {
    int &target = is_msglvl ? s.msg_level : s.xdf_toler;
    if (getmode) {
      const int cur = clamp_level(target);
      std::printf("c_vktopc option %s, %s=%d\n", kLevelNames[cur], option, kLevelNumbers[cur]);
    } else if (const int idx = level_by_name(v); idx >= 0) {
      target = idx;
    }
    return 0;
  }
  if (same(option, "PRINTOPT")) {
    if (getmode) {
      std::printf("c_vktopc option PRINTOPT=%s\n", options().prnt_options.c_str());
    } else {
      options().prnt_options.assign(v, strnlen(v, kMaxPrintOptions));
      if (msg_level() <= 1)
        std::printf("c_vktopc option PRINTOPT set to %s\n", options().prnt_options.c_str());
    }
    return 0;
  }
  if (same(option, "TURBOCOMP")) {
    if (getmode) {
      std::printf("c_vktopc option TURBOCOMP=%s\n", kSpeedNames[options().turbocomp]);
    } else {
      for (int i = 0; i < 2; ++i) {
        if (std::strcmp(v, kSpeedNames[i]) == 0) {
          options().turbocomp = i;
          c_obrv_compress_setlevel(i);
        }
      }
      if (msg_level() <= 1)
        std::printf("c_vktopc option TURBOCOMP set to %s\n", kSpeedNames[options().turbocomp]);
    }
    return 0;
  }
  std::fprintf(stderr, "c_vktopc: unknown option %s\n", option ? option : "");
  return 0;
}

int c_vktopi(const char *option, int value, int getmode) {
  using namespace zep::stdfile;
  zep::xdf::Settings &s = zep::xdf::settings();
  const bool is_msglvl = same(option, "MSGLVL");
  if (!is_msglvl && !same(option, "TOLRNC")) return 0;
  int &target = is_msglvl ? s.msg_level : s.xdf_toler;
  if (getmode) {
    std::printf("c_vktopi option %s=%d\n", option, kLevelNumbers[clamp_level(target)]);
  } else if (const int idx = level_by_number(value); idx >= 0) {
    target = idx;
    std::printf("c_vktopi option %s set to %d\n", option, kLevelNumbers[idx]);
  }
  return 0;
}

int c_vktopl(const char *option, int value, int getmode) {
  using namespace zep::stdfile;
  if (same(option, "FASTIO")) {
    if (getmode) std::printf("c_vktopl option FASTIO mode ON\n");
  } else if (same(option, "IMAGE")) {
    if (getmode) {
      std::printf("c_vktopl option IMAGE_MODE_COPY=%d\n", options().image_mode_copy);
    } else {
      options().image_mode_copy = value;
      if (msg_level() <= 3)
        std::printf("c_vktopl option IMAGE_MODE_COPY=%d\n", options().image_mode_copy);
    }
  } else if (same(option, "REDUCTION32")) {
    if (getmode) {
      std::printf("c_vktopl option REDUCTION32=%d\n", options().downgrade_32);
    } else {
      options().downgrade_32 = value;
      if (msg_level() < 3) std::printf("c_vktopl option REDUCTION32\n");
    }
  }
  return 0;
}

int c_vktopr(const char *, float, int) { return 0; }

int vktabt_(void) {
  return zep::xdf::report("VKTABT", -38, zep::xdf::FATAL,
                          "this routine is not implemented in VKTD98");
}

int vktsel_(void) {
  return zep::xdf::report("VKTSEL", -38, zep::xdf::WARNING,
                          "this routine is not implemented in VKTD98\n \t\t vktinfx or vktlirx "
                          "must be used instead");
}

int zvktcvt_(void) {
  return zep::xdf::report("VKTCVT", -38, zep::xdf::ERROR,
                          "this routine is not implemented yet in VKTD98");
}

int vktpos_(void) {
  return zep::xdf::report("VKTPOS", -38, zep::xdf::WARNING,
                          "this routine is not implemented in VKTD98\n \t\t vktinfx or vktlirx "
                          "must be used instead");
}

int vktcvt_(void *, void *, void *, void *, void *, void *, void *, void *, void *, void *, void *,
            void *, void *) {
  vktcvt2_();  // prints its stub message and ends the process
  return 0;
}

}  // extern "C"
