// By-reference entry points of the request filter and the directive reader:
// they dereference their arguments, turn fixed-length blank-padded texts
// into terminated ones, and forward.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/fixed_text.h"
#include "stdfile/directives.h"
#include "stdfile/filter.h"
#include "zep/filter.h"

namespace zep::stdfile {
namespace {

// Splits nelm texts of lng characters into terminated texts of at most
// `width` characters, writes the debug lines and calls the setter. Counts
// outside 1..40 go straight to the setter, which refuses them.
int forward_texts(const char *who, int (*setter)(int, int, char **, int), int *set_nb, int *des_exc,
                  const char *texts, int *nelm, size_t lng, size_t width) {
  int n = *nelm;
  if (n < 1 || n > 40 || texts == nullptr) return setter(*set_nb, *des_exc, nullptr, n);
  zep::stdfile::filter_debug("Debug %s lng=%d nelm=%d\n", who, static_cast<int>(lng), n);
  std::vector<std::string> words;
  std::vector<char *> ptrs;
  words.reserve(static_cast<size_t>(n));
  size_t keep = std::min(lng, width);
  for (int i = 0; i < n; ++i) words.emplace_back(texts + static_cast<size_t>(i) * lng, keep);
  for (size_t i = 0; i < words.size(); ++i) {
    zep::stdfile::filter_debug("Debug string_array[%d]-->%s<--\n", static_cast<int>(i),
                               words[i].c_str());
    ptrs.push_back(&words[i][0]);
  }
  return setter(*set_nb, *des_exc, ptrs.data(), n);
}

}  // namespace
}  // namespace zep::stdfile

using namespace zep::stdfile;

extern "C" {

int zep_f_callback_(const char *name, zep_directive_ref_fn handler, const char * /*options*/,
                    void *private1, int *private2, size_t name_len, size_t /*options_len*/) {
  if (handler == nullptr || private2 == nullptr) return -1;
  std::string verb(
      zep::trim_blanks(zep::field_view(name, name_len, zep::directives::kMaxVerbName)));
  return zep::directives::register_verb(verb, nullptr, handler, private1, *private2);
}

int process_f_callback_(const char *path, size_t path_len) {
  std::string name(zep::trim_blanks(zep::field_view(path, path_len, 1023)));
  return process_c_callback(name.c_str());
}

int desire_etiquette_(int *set_nb, int *des_exc, const char *etiquettes, int *nelm, size_t lng) {
  return forward_texts("desire_etiquette", c_desire_etiquette, set_nb, des_exc, etiquettes, nelm,
                       lng, 12);
}

int desire_nomvar_(int *set_nb, int *des_exc, const char *nomvars, int *nelm, size_t lng) {
  return forward_texts("desire_nomvar", c_desire_nomvar, set_nb, des_exc, nomvars, nelm, lng, 4);
}

int desire_typvar_(int *set_nb, int *des_exc, const char *typvars, int *nelm, size_t lng) {
  return forward_texts("desire_typvar", c_desire_typvar, set_nb, des_exc, typvars, nelm, lng, 2);
}

int desire_date_(int *set_nb, int *des_exc, int *dates, int *nelm, float *delta) {
  return c_desire_date(*set_nb, *des_exc, dates, *nelm, *delta);
}

int desire_ip1_(int *set_nb, int *des_exc, void *values, int *nelm, int *kind) {
  return c_desire_ip1(*set_nb, *des_exc, values, *nelm, *kind);
}

int desire_ip2_(int *set_nb, int *des_exc, void *values, int *nelm, int *type) {
  return c_desire_ip2(*set_nb, *des_exc, values, *nelm, *type);
}

int desire_ip3_(int *set_nb, int *des_exc, void *values, int *nelm, int *type) {
  return c_desire_ip3(*set_nb, *des_exc, values, *nelm, *type);
}

int vkt_match_req_(int *handle) { return c_vkt_match_req(*handle); }

}  // extern "C"
