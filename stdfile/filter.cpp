// The request filter: 20 request sets of wanted (or unwanted) labels, names,
// field types, origin dates and levels, their setters, the handlers of the
// directive file named by VKT_FILTER_FILE, and c_vkt_match_req, which every
// search of a standard file asks about the records whose keys matched.
//
// Sets are walked from the first of the group while they are in use; the
// first set whose criteria in use all hold decides (a desire set passes the
// record, an exclusion set refuses it). Without a decision, the last set in
// use decides the other way round. An empty first set passes everything.
#include "stdfile/filter.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "coding/level_code.h"
#include "stdfile/directives.h"
#include "zep/coding.h"
#include "zep/filter.h"
#include "zep/stdfile.h"

namespace zep::stdfile {
namespace {

constexpr int kMaxRequetes = 20;  // MAX_requetes
constexpr int kMaxElements = 40;
// Relative tolerance of level values, and five seconds in hours.
constexpr float kLevelTolerance = 1.0f / 131072.0f;
constexpr double kFiveSeconds = 1.0 / 720.0;

// Argument types of the numeric criteria.
enum ArgType {
  kIntList = 0,
  kLevelList = 1,
  kStampInterval = 2,
  kLevelInterval = 3,
  kStampSteps = 4
};

template <size_t W>
struct TextCriterion {
  int in_use = 0;
  int count = 0;
  std::array<std::array<char, W + 1>, kMaxElements> sdata;  // NUL-terminated

  void clear() {
    in_use = 0;
    count = 0;
    for (auto &s : sdata) {
      s.fill(' ');
      s[W] = '\0';
    }
  }
};

struct DateCriterion {
  int in_use = 0;
  int arg_type = 0;
  int count = 0;
  float delta = 0;  // hours
  std::array<int, kMaxElements> tab_elem{};
  void clear() { *this = DateCriterion(); }
};

struct LevelCriterion {
  int in_use = 0;
  int arg_type = 0;
  int kind = 0;
  int count = 0;
  std::array<float, kMaxElements> tab_rval{};
  void clear() { *this = LevelCriterion(); }
};

struct CodeCriterion {
  int in_use = 0;
  int arg_type = 0;
  int value_type = 0;
  int count = 0;
  std::array<int, kMaxElements> tab_elem{};
  std::array<float, kMaxElements> tab_rval{};
  void clear() { *this = CodeCriterion(); }
};

struct RequestSet {
  int in_use = 0;
  int exclusion = -1;  // 0 desire, 1 exclusion, -1 after a reset
  TextCriterion<12> etiquettes;
  TextCriterion<4> nomvars;
  TextCriterion<2> typvars;
  DateCriterion dates;
  LevelCriterion ip1s;
  CodeCriterion ip2s;
  CodeCriterion ip3s;
};

struct RequestTable {
  std::array<RequestSet, kMaxRequetes> sets;
  int first = 0;
  int last = kMaxRequetes - 1;
  FILE *debug = nullptr;  // the debug stream; nothing is written while null

  RequestTable() {
    for (auto &s : sets) {
      s.etiquettes.clear();
      s.nomvars.clear();
      s.typvars.clear();
    }
  }
};

RequestTable &requetes() {
  static RequestTable table;
  return table;
}

// Which counts a setter takes: texts 1..40; numbers 1..40 or -2 (an
// interval); ip3 1..40 and refuses intervals with a message of its own.
enum class Counts { kText, kNumbers, kNoInterval };

// The checks every setter makes before it stores anything. `invalid_code` is
// the result for a bad nelm. Returns 0, or the refusal after its message.
int refuse(const char *who, int set_nb, int des_exc, int nelm, Counts counts, int invalid_code,
           const void *values) {
  if (set_nb < 0 || set_nb >= kMaxRequetes) {
    std::fprintf(stderr, "error: %s set_nb=%d > MAX_requetes=%d\n", who, set_nb, kMaxRequetes);
    return -1;
  }
  if (nelm > kMaxElements) {
    std::fprintf(stderr, "error: %s nelm=%d > limits=%d\n", who, nelm, kMaxElements);
    return -2;
  }
  if (nelm < 1 && !(counts != Counts::kText && nelm == -2)) {
    std::fprintf(stderr, "error: %s nelm invalid = %d\n", who, nelm);
    return invalid_code;
  }
  if (counts == Counts::kNoInterval && nelm == -2) {
    std::fprintf(stderr, "error: %s, interval non supporte pour le moment\n", who);
    return -3;
  }
  if (values == nullptr) {
    std::fprintf(stderr, "error: %s nelm invalid = %d\n", who, nelm);
    return invalid_code;
  }
  const RequestSet &set = requetes().sets[static_cast<size_t>(set_nb)];
  int exclusion = des_exc == 1 ? 0 : 1;
  if (set.in_use && set.exclusion != exclusion) {
    std::fprintf(stderr, "%s error: des_exc value differs from previous call for set number=%d\n",
                 who, set_nb);
    return -4;
  }
  return 0;
}

RequestSet &take_set(int set_nb, int des_exc) {
  RequestSet &set = requetes().sets[static_cast<size_t>(set_nb)];
  set.in_use = 1;
  set.exclusion = des_exc == 1 ? 0 : 1;
  return set;
}

template <size_t W>
int desire_text(const char *who, const char *field, TextCriterion<W> RequestSet::*member,
                int set_nb, int des_exc, char **texts, int nelm) {
  int rc = refuse(who, set_nb, des_exc, nelm, Counts::kText, -3, texts);
  if (rc != 0) return rc;
  TextCriterion<W> &c = take_set(set_nb, des_exc).*member;
  c.in_use = 1;
  c.count = nelm;
  for (int i = 0; i < nelm; ++i) {
    auto &slot = c.sdata[static_cast<size_t>(i)];
    const char *t = texts[i] ? texts[i] : "";
    size_t n = strnlen(t, W);
    std::memcpy(slot.data(), t, n);
    slot[n] = '\0';
    filter_debug("Debug Requetes[%i].%s.sdata[%i]=%s\n", set_nb, field, i, slot.data());
  }
  return 0;
}

// True when some listed text equals the first characters (as many as the
// listed text has) of the record's blank-padded field.
template <size_t W>
bool text_holds(const TextCriterion<W> &c, const char *field) {
  for (int i = 0; i < c.count; ++i) {
    const char *t = c.sdata[static_cast<size_t>(i)].data();
    if (std::strncmp(t, field, strnlen(t, W)) == 0) return true;
  }
  return false;
}

// The level of a record's ip1 as convip_ mode -1 decodes it, without ending
// the process: false for a code convip_ refuses (a damaged record's).
bool decode_level(int code, float *p, int *kind) {
  coding::DecodedLevel level;
  coding::LevelFailure failure;
  if (!coding::decode_level(code, true, &level, &failure)) return false;
  if (level.kind21_notice) {
    std::fputs(" Debug+ o.b. kind 5 --> 21\n", stdout);
    std::fflush(stdout);
  }
  *p = level.value;
  *kind = level.kind;
  return true;
}

double hours_between(int stamp1, int stamp2) {
  double hours = 0;
  difdatr_(&stamp1, &stamp2, &hours);
  return hours;
}

enum class Verdict { kHolds, kFails, kNothing, kError };

Verdict test_dates(const DateCriterion &c, int set_nb, int dateo) {
  if (c.arg_type == kIntList) {
    filter_debug("Debug c_vkt_match_req verifie dates entier\n");
    for (int i = 0; i < c.count; ++i)
      if (c.tab_elem[static_cast<size_t>(i)] == dateo) return Verdict::kHolds;
    return Verdict::kFails;
  }
  if (c.arg_type != kStampInterval && c.arg_type != kStampSteps) {
    std::fprintf(stderr, "error: c_vkt_match_req invalid Requetes[%d].dates.arg_type=%d\n", set_nb,
                 c.arg_type);
    return Verdict::kError;
  }
  int start = c.tab_elem[0] == -1 ? dateo : c.tab_elem[0];
  int end = c.tab_elem[1] == -1 ? dateo : c.tab_elem[1];
  if (c.arg_type == kStampInterval) {
    filter_debug("Debug c_vkt_match_req verifie dates debut=%d fin=%d\n", start, end);
    double from_start = hours_between(dateo, start);
    double to_end = hours_between(dateo, end);
    filter_debug("Debug diff_deb=%f diff_fin=%f\n", from_start, to_end);
    return (from_start >= 0 && to_end <= 0) ? Verdict::kHolds : Verdict::kFails;
  }
  filter_debug("Debug c_vkt_match_req verifie dates debut fin delta\n");
  filter_debug("Debug c_vkt_match_req verifie dates debut=%d fin=%d delta=%f\n", start, end,
               c.delta);
  double from_start = hours_between(dateo, start);
  double to_end = hours_between(dateo, end);
  double step = std::fabs(static_cast<double>(c.delta));
  double modulo = std::fmod(from_start, step);
  filter_debug("Debug diff_deb=%f diff_fin=%f modulo=%f\n", from_start, to_end, modulo);
  // Within five seconds of a step, on either side: the hours and a step
  // such as 0.1 are not exact in binary.
  bool on_step = modulo <= kFiveSeconds || step - modulo <= kFiveSeconds;
  return (from_start >= 0 && to_end <= 0 && on_step) ? Verdict::kHolds : Verdict::kFails;
}

Verdict test_levels(const LevelCriterion &c, int set_nb, int ip1) {
  if (c.arg_type != kLevelList && c.arg_type != kLevelInterval) {
    std::fprintf(stderr, "error: c_vkt_match_req invalid Requetes[%d].ip1s.arg_type=%d\n", set_nb,
                 c.arg_type);
    return Verdict::kError;
  }
  int kind = 0;
  float p = 0;
  if (!decode_level(ip1, &p, &kind)) {
    filter_debug("Debug c_vkt_match_req ip1=%d is not a level code\n", ip1);
    return Verdict::kFails;  // no level criterion holds for an unreadable level
  }
  const float e = kLevelTolerance;
  float start = c.tab_rval[0];
  float end =
      c.arg_type == kLevelInterval ? c.tab_rval[1] : c.tab_rval[static_cast<size_t>(c.count - 1)];
  if (c.arg_type == kLevelInterval) {
    if (start == -1.0f) start = p;
    if (end == -1.0f) end = p;
  }
  filter_debug("Debug c_vkt_match_req verifie ip1s r_debut=%f r_fin=%f\n", start, end);
  filter_debug("Debug+ c_vkt_match_req p1=%f err_tolerance=%f\n", p, e);
  if (kind != c.kind) return Verdict::kFails;
  if (c.arg_type == kLevelInterval)
    return (p >= start - e && p <= end + e) ? Verdict::kHolds : Verdict::kFails;
  if (p == 0.0f) return Verdict::kFails;  // no relative distance to level 0
  for (int i = 0; i < c.count; ++i) {
    float v = c.tab_rval[static_cast<size_t>(i)];
    if (std::fabs(1.0f - v / p) < e) return Verdict::kHolds;
  }
  return Verdict::kFails;
}

Verdict test_codes(const CodeCriterion &c, const char *field, int set_nb, int code) {
  filter_debug("Debug c_vkt_match_req verifie %s\n", field);
  if (c.arg_type != kIntList) {
    std::fprintf(stderr, "error: c_vkt_match_req invalid Requetes[%d].%s.arg_type=%d\n", set_nb,
                 field, c.arg_type);
    return Verdict::kError;
  }
  for (int i = 0; i < c.count; ++i)
    if (c.tab_elem[static_cast<size_t>(i)] == code) return Verdict::kHolds;
  return Verdict::kFails;
}

// The criteria of one set, in their order; the first that fails ends the test.
Verdict test_set(const RequestSet &set, int set_nb, const RecordDescriptors &rec) {
  bool any = false;
  if (set.etiquettes.in_use) {
    any = true;
    filter_debug("Debug c_vkt_match_req verifie etiquettes\n");
    if (!text_holds(set.etiquettes, rec.etiket)) return Verdict::kFails;
  }
  if (set.nomvars.in_use) {
    any = true;
    filter_debug("Debug c_vkt_match_req verifie nomvars du fichier=%s set_nb=%d\n", rec.nomvar,
                 set_nb);
    if (!text_holds(set.nomvars, rec.nomvar)) return Verdict::kFails;
  }
  if (set.typvars.in_use) {
    any = true;
    filter_debug("Debug c_vkt_match_req verifie typvars\n");
    if (!text_holds(set.typvars, rec.typvar)) return Verdict::kFails;
  }
  if (set.dates.in_use) {
    any = true;
    Verdict v = test_dates(set.dates, set_nb, rec.dateo);
    if (v != Verdict::kHolds) return v;
  }
  if (set.ip1s.in_use) {
    any = true;
    Verdict v = test_levels(set.ip1s, set_nb, rec.ip1);
    if (v != Verdict::kHolds) return v;
  }
  if (set.ip2s.in_use) {
    any = true;
    Verdict v = test_codes(set.ip2s, "ip2s", set_nb, rec.ip2);
    if (v != Verdict::kHolds) return v;
  }
  if (set.ip3s.in_use) {
    any = true;
    Verdict v = test_codes(set.ip3s, "ip3s", set_nb, rec.ip3);
    if (v != Verdict::kHolds) return v;
  }
  return any ? Verdict::kHolds : Verdict::kNothing;
}

// ---- Directive handlers ----------------------------------------------------

// A whole-text integer; a number with a fraction is cut toward zero (ranges
// expand to texts such as "1000.000000").
bool parse_int(const char *s, int *out) {
  if (s == nullptr || *s == '\0') return false;
  char *end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (*end == '\0' && errno == 0 && v >= INT_MIN && v <= INT_MAX) {
    *out = static_cast<int>(v);
    return true;
  }
  double d = std::strtod(s, &end);
  if (*end != '\0' || !std::isfinite(d) || d < INT_MIN || d > INT_MAX) return false;
  *out = static_cast<int>(d);
  return true;
}

bool parse_float(const char *s, float *out) {
  if (s == nullptr || *s == '\0') return false;
  char *end = nullptr;
  double d = std::strtod(s, &end);
  if (*end != '\0' || !std::isfinite(d) || std::fabs(d) > 3.4028234663852886e38) return false;
  *out = static_cast<float>(d);
  return true;
}

bool int_argument(int argc, char **argv, int i, int *out) {
  if (i <= argc && parse_int(argv[i], out)) return true;
  std::fprintf(stderr, "error: %s argument %d is not an integer: %s\n", argv[0], i,
               i <= argc ? argv[i] : "");
  return false;
}

// The values of a directive from argument `first` on: that argument alone
// when it is the last, else a list marker "[n]" followed by exactly n values.
bool list_values(int argc, char **argv, int first, std::vector<const char *> *values) {
  const char *who = argv[0];
  if (argc < first) {
    std::fprintf(stderr, "error: %s needs at least %d arguments, got %d\n", who, first, argc);
    return false;
  }
  if (argc == first) {
    values->assign(1, argv[first]);
    return true;
  }
  const char *marker = argv[first];
  char *end = nullptr;
  long n = -1;
  if (marker[0] == '[') n = std::strtol(marker + 1, &end, 10);
  if (n < 1 || end == nullptr || std::strcmp(end, "]") != 0) {
    std::fprintf(stderr, "error: %s expects one value or a [list] at argument %d, got %s\n", who,
                 first, marker);
    return false;
  }
  long present = argc - first;
  if (n != present) {
    std::fprintf(stderr, "error: %s list of %ld values, %ld arguments follow its start\n", who, n,
                 present);
    return false;
  }
  values->assign(argv + first + 1, argv + first + 1 + n);
  return true;
}

// ip1, ip2, ip3: set, des_exc, kind, then the values. private2 is the level
// number (1, 2, 3): it decides whether the setter reads int or float values.
int directive_ip123(int argc, char **argv, char, void *setter, int which) {
  int set_nb = 0, des_exc = 0, kind = 0;
  if (argc < 4) {
    std::fprintf(stderr, "error: %s needs at least %d arguments, got %d\n", argv[0], 4, argc);
    return -1;
  }
  if (!int_argument(argc, argv, 1, &set_nb) || !int_argument(argc, argv, 2, &des_exc) ||
      !int_argument(argc, argv, 3, &kind))
    return -1;
  std::vector<const char *> texts;
  if (!list_values(argc, argv, 4, &texts)) return -1;
  bool ints = which == 3 || kind == -1 || (which == 1 && kind == -2);
  std::vector<int> ivals(texts.size());
  std::vector<float> rvals(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    bool ok = ints ? parse_int(texts[i], &ivals[i]) : parse_float(texts[i], &rvals[i]);
    if (!ok) {
      std::fprintf(stderr, "error: %s value is not a number: %s\n", argv[0], texts[i]);
      return -1;
    }
  }
  int nelm = static_cast<int>(texts.size());
  std::printf("\nip123 set_nb=%d, des_exc=%d, nelm=%d, kind=%d\n", set_nb, des_exc, nelm, kind);
  for (int i = 0; i < nelm; ++i) {
    if (ints)
      std::printf("list_entier[%d]=%d\n", i, ivals[static_cast<size_t>(i)]);
    else
      std::printf("list_reel[%d]=%f\n", i, rvals[static_cast<size_t>(i)]);
  }
  auto fn = reinterpret_cast<int (*)(int, int, void *, int, int)>(setter);
  void *values = ints ? static_cast<void *>(ivals.data()) : static_cast<void *>(rvals.data());
  return fn(set_nb, des_exc, values, nelm, kind);
}

// date: set, des_exc, step in hours, then the stamps.
int directive_date(int argc, char **argv, char, void *setter, int) {
  for (int i = 0; i <= argc; ++i) std::printf("argument # %d-->%s<-- \n", i, argv[i]);
  int set_nb = 0, des_exc = 0;
  float delta = 0;
  if (argc < 4) {
    std::fprintf(stderr, "error: %s needs at least %d arguments, got %d\n", argv[0], 4, argc);
    return -1;
  }
  if (!int_argument(argc, argv, 1, &set_nb) || !int_argument(argc, argv, 2, &des_exc)) return -1;
  if (!parse_float(argv[3], &delta)) {
    std::fprintf(stderr, "error: %s argument %d is not a number: %s\n", argv[0], 3, argv[3]);
    return -1;
  }
  std::vector<const char *> texts;
  if (!list_values(argc, argv, 4, &texts)) return -1;
  std::vector<int> stamps(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    if (!parse_int(texts[i], &stamps[i])) {
      std::fprintf(stderr, "error: %s value is not a number: %s\n", argv[0], texts[i]);
      return -1;
    }
  }
  int nelm = static_cast<int>(stamps.size());
  std::printf("\ndate set_nb=%d, des_exc=%d, nelm=%d, delta=%f\n", set_nb, des_exc, nelm, delta);
  for (int i = 0; i < nelm; ++i)
    std::printf("list_entier[%d]=%d\n", i, stamps[static_cast<size_t>(i)]);
  auto fn = reinterpret_cast<int (*)(int, int, int *, int, float)>(setter);
  return fn(set_nb, des_exc, stamps.data(), nelm, delta);
}

// nomvar, typvar, etiquette: set, des_exc, then the words. private2 is the
// field width (4, 2, 12); a longer word is refused.
int directive_charvar(int argc, char **argv, char, void *setter, int width) {
  int set_nb = 0, des_exc = 0;
  if (argc < 3) {
    std::fprintf(stderr, "error: %s needs at least %d arguments, got %d\n", argv[0], 3, argc);
    return -1;
  }
  if (!int_argument(argc, argv, 1, &set_nb) || !int_argument(argc, argv, 2, &des_exc)) return -1;
  std::vector<const char *> texts;
  if (!list_values(argc, argv, 3, &texts)) return -1;
  std::vector<std::string> words;
  for (const char *t : texts) {
    std::string w(t);
    size_t n = w.size();
    if (n >= 2 && (w[0] == '"' || w[0] == '\'') && w[n - 1] == w[0]) {
      w = w.substr(1, n - 2);  // a quoted word, blanks included
    } else {
      w = w.substr(0, w.find_first_of(" \t"));
    }
    if (w.size() > static_cast<size_t>(width)) {
      std::fprintf(stderr, "error: %s %s is longer than %d characters\n", argv[0], w.c_str(),
                   width);
      return -1;
    }
    words.push_back(w);
  }
  int nelm = static_cast<int>(words.size());
  std::printf("\ncharvar set_nb=%d, des_exc=%d, nelm=%d\n", set_nb, des_exc, nelm);
  std::vector<char *> ptrs;
  for (size_t i = 0; i < words.size(); ++i) {
    std::printf("string_array[%d]=%s\n", static_cast<int>(i), words[i].c_str());
    ptrs.push_back(&words[i][0]);
  }
  auto fn = reinterpret_cast<int (*)(int, int, char **, int)>(setter);
  return fn(set_nb, des_exc, ptrs.data(), nelm);
}

void register_filter_verbs() {
  struct Verb {
    const char *name;
    zep_directive_fn handler;
    void *setter;
    int private2;
  };
  const Verb verbs[] = {
      {"ip1", directive_ip123, reinterpret_cast<void *>(&c_desire_ip1), 1},
      {"ip2", directive_ip123, reinterpret_cast<void *>(&c_desire_ip2), 2},
      {"ip3", directive_ip123, reinterpret_cast<void *>(&c_desire_ip3), 3},
      {"date", directive_date, reinterpret_cast<void *>(&c_desire_date), 0},
      {"nomvar", directive_charvar, reinterpret_cast<void *>(&c_desire_nomvar), 4},
      {"typvar", directive_charvar, reinterpret_cast<void *>(&c_desire_typvar), 2},
      {"etiquette", directive_charvar, reinterpret_cast<void *>(&c_desire_etiquette), 12},
  };
  for (const Verb &v : verbs) {
    // Registered again only when another registration hides ours, so that
    // reading many files does not fill the verb table.
    if (directives::handler_of(v.name) != v.handler)
      zep_c_callback(v.name, v.handler, "", v.setter, v.private2);
  }
}

void open_debug_stream() {
  RequestTable &t = requetes();
  if (t.debug != nullptr) std::fclose(t.debug);
  t.debug = nullptr;
  const char *name = std::getenv("DEBUGFILE");
  if (name != nullptr && *name != '\0') {
    t.debug = std::fopen(name, "w");
    if (t.debug == nullptr)
      std::fprintf(stderr,
                   "c_vkt_requetes: DEBUGFILE %s cannot be opened for writing (%s); the filter's "
                   "debug lines are not written\n",
                   name, std::strerror(errno));
  }
  if (t.debug == nullptr) t.debug = std::fopen("/dev/null", "w");
}

}  // namespace

int match_request(const RecordDescriptors &record, int handle) {
  const RequestTable &t = requetes();
  if (!t.sets[static_cast<size_t>(t.first)].in_use) return 1;
  for (int s = t.first; s <= t.last && t.sets[static_cast<size_t>(s)].in_use; ++s) {
    const RequestSet &set = t.sets[static_cast<size_t>(s)];
    Verdict v = test_set(set, s, record);
    if (v == Verdict::kError) return 0;
    if (v != Verdict::kHolds) continue;
    if (set.exclusion == 1) {
      filter_debug("Debug c_vkt_match_req fin requete exclure satisfaite handle=%d \n", handle);
      return 0;
    }
    filter_debug("Debug c_vkt_match_req fin requete desire satisfaite, handle=%d \n", handle);
    return 1;
  }
  for (int s = t.last; s >= t.first; --s) {
    const RequestSet &set = t.sets[static_cast<size_t>(s)];
    if (set.in_use) return set.exclusion == 1 ? 1 : 0;
  }
  return 1;
}

void filter_debug(const char *format, ...) {
  FILE *out = requetes().debug;
  if (out == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fflush(out);
}

namespace {
int &read_problems() {
  static int n = 0;
  return n;
}
}  // namespace

int filter_file_problems() { return read_problems(); }

void filter_package_init() {
  static bool done = false;
  if (done) return;
  done = true;
  const int rc = c_requetes_init();
  read_problems() = rc < 0 ? 1 : rc;
}

}  // namespace zep::stdfile

using zep::stdfile::requetes;

extern "C" {

int c_desire_etiquette(int set_nb, int des_exc, char **etiquettes, int nelm) {
  return zep::stdfile::desire_text("c_desire_etiquette", "etiquettes",
                                   &zep::stdfile::RequestSet::etiquettes, set_nb, des_exc,
                                   etiquettes, nelm);
}

int c_desire_nomvar(int set_nb, int des_exc, char **nomvars, int nelm) {
  return zep::stdfile::desire_text("c_desire_nomvar", "nomvars", &zep::stdfile::RequestSet::nomvars,
                                   set_nb, des_exc, nomvars, nelm);
}

int c_desire_typvar(int set_nb, int des_exc, char **typvars, int nelm) {
  return zep::stdfile::desire_text("c_desire_typvar", "typvars", &zep::stdfile::RequestSet::typvars,
                                   set_nb, des_exc, typvars, nelm);
}

int c_desire_date(int set_nb, int des_exc, int *dates, int nelm, float delta) {
  const char *who = "c_desire_date";
  int rc =
      zep::stdfile::refuse(who, set_nb, des_exc, nelm, zep::stdfile::Counts::kNumbers, -3, dates);
  if (rc != 0) return rc;
  if (delta != 0 && nelm != 2 && nelm != -2) {  // a step walks an interval of two stamps
    std::fprintf(stderr, "error: %s nelm invalid = %d\n", who, nelm);
    return -3;
  }
  auto &c = zep::stdfile::take_set(set_nb, des_exc).dates;
  int n = nelm == -2 ? 2 : nelm;
  c.in_use = 1;
  c.count = n;
  c.delta = delta;
  c.arg_type = delta != 0 ? zep::stdfile::kStampSteps
                          : (nelm == -2 ? zep::stdfile::kStampInterval : zep::stdfile::kIntList);
  if (delta != 0)
    zep::stdfile::filter_debug("Debug Requetes[%i].dates.arg_type=%d delta=%f\n", set_nb,
                               c.arg_type, delta);
  for (int i = 0; i < n; ++i) {
    c.tab_elem[static_cast<size_t>(i)] = dates[i];
    zep::stdfile::filter_debug("Debug Requetes[%d].dates.data.tab_elem[%d] = %d\n", set_nb, i,
                               dates[i]);
  }
  return 0;
}

int c_desire_ip1(int set_nb, int des_exc, void *values, int nelm, int kind) {
  const char *who = "c_desire_ip1";
  int rc =
      zep::stdfile::refuse(who, set_nb, des_exc, nelm, zep::stdfile::Counts::kNumbers, -3, values);
  if (rc != 0) return rc;
  int n = nelm == -2 ? 2 : nelm;
  if (kind == -1) {
    // Codes the level coding would stop the process on are refused here.
    const int *codes = static_cast<const int *>(values);
    for (int i = 0; i < n; ++i) {
      zep::coding::DecodedLevel level;
      zep::coding::LevelFailure failure;
      if (codes[i] != -1 && !zep::coding::decode_level(codes[i], true, &level, &failure)) {
        std::fprintf(stderr, "error: %s invalid level code %d:%s\n", who, codes[i],
                     failure.message.c_str());
        return -5;
      }
    }
  }
  auto &c = zep::stdfile::take_set(set_nb, des_exc).ip1s;
  c.in_use = 1;
  c.count = n;
  c.arg_type = nelm == -2 ? zep::stdfile::kLevelInterval : zep::stdfile::kLevelList;
  if (kind != -1) c.kind = kind;
  for (int i = 0; i < n; ++i) {
    float &slot = c.tab_rval[static_cast<size_t>(i)];
    if (kind == -1) {
      int code = static_cast<const int *>(values)[i];
      if (code == -1) {
        slot = -1.0f;
      } else {
        int decoded_kind = 0;
        zep::stdfile::decode_level(code, &slot, &decoded_kind);  // checked above
        c.kind = decoded_kind;
      }
      zep::stdfile::filter_debug("Debug ip_entier=%d Requetes[%d].ip1s.data.tab_rval[%d] = %f\n",
                                 code, set_nb, i, slot);
      continue;
    }
    slot = kind == -2 ? static_cast<float>(static_cast<const int *>(values)[i])
                      : static_cast<const float *>(values)[i];
    zep::stdfile::filter_debug("Debug Requetes[%d].ip1s.data.tab_rval[%d] = %f\n", set_nb, i, slot);
  }
  return 0;
}

int c_desire_ip2(int set_nb, int des_exc, void *values, int nelm, int type) {
  int rc = zep::stdfile::refuse("c_desire_ip2", set_nb, des_exc, nelm,
                                zep::stdfile::Counts::kNumbers, -3, values);
  if (rc != 0) return rc;
  auto &c = zep::stdfile::take_set(set_nb, des_exc).ip2s;
  int n = nelm == -2 ? 2 : nelm;
  c.in_use = 1;
  c.count = n;
  c.value_type = type;
  if (type == -1) {
    c.arg_type = nelm == -2 ? zep::stdfile::kStampInterval : zep::stdfile::kIntList;
    for (int i = 0; i < n; ++i) {
      c.tab_elem[static_cast<size_t>(i)] = static_cast<const int *>(values)[i];
      zep::stdfile::filter_debug("Debug Requetes[%d].ip2s.data.tab_elem[%d] = %d\n", set_nb, i,
                                 c.tab_elem[static_cast<size_t>(i)]);
    }
  } else {
    c.arg_type = nelm == -2 ? zep::stdfile::kLevelInterval : zep::stdfile::kLevelList;
    for (int i = 0; i < n; ++i) {
      c.tab_rval[static_cast<size_t>(i)] = static_cast<const float *>(values)[i];
      zep::stdfile::filter_debug("Debug Requetes[%d].ip2s.data.tab_rval[%d] = %f\n", set_nb, i,
                                 c.tab_rval[static_cast<size_t>(i)]);
    }
  }
  return 0;
}

int c_desire_ip3(int set_nb, int des_exc, void *values, int nelm, int type) {
  int rc = zep::stdfile::refuse("c_desire_ip3", set_nb, des_exc, nelm,
                                zep::stdfile::Counts::kNoInterval, -4, values);
  if (rc != 0) return rc;
  auto &c = zep::stdfile::take_set(set_nb, des_exc).ip3s;
  c.in_use = 1;
  c.count = nelm;
  c.value_type = type;
  c.arg_type = zep::stdfile::kIntList;
  for (int i = 0; i < nelm; ++i) {
    c.tab_elem[static_cast<size_t>(i)] = static_cast<const int *>(values)[i];
    zep::stdfile::filter_debug("Debug Requetes[%d].ip3s.data.tab_elem[%d] = %d\n", set_nb, i,
                               c.tab_elem[static_cast<size_t>(i)]);
  }
  return 0;
}

int c_desire_groupset(int first_set_nb, int last_set_nb) {
  const int max = zep::stdfile::kMaxRequetes;
  if (first_set_nb < 0 || first_set_nb >= max || last_set_nb < 0 || last_set_nb >= max ||
      last_set_nb < first_set_nb) {
    std::fprintf(stderr,
                 "error: c_desire_groupset first_set_nb=%d, last_set_nb=%d, MAX_requetes=%d\n",
                 first_set_nb, last_set_nb, max);
    return -1;
  }
  requetes().first = first_set_nb;
  requetes().last = last_set_nb;
  return 0;
}

int c_requetes_reset(int set_nb, int nomvars, int typvars, int etiquettes, int dates, int ip1s,
                     int ip2s, int ip3s) {
  if (set_nb < 0 || set_nb >= zep::stdfile::kMaxRequetes) {
    std::fprintf(stderr, "error: c_requetes_reset set_nb=%d > MAX_requetes=%d\n", set_nb,
                 zep::stdfile::kMaxRequetes);
    return -1;
  }
  auto &set = requetes().sets[static_cast<size_t>(set_nb)];
  set.in_use = 0;
  set.exclusion = -1;
  if (nomvars != -1) set.nomvars.clear();
  if (typvars != -1) set.typvars.clear();
  if (etiquettes != -1) set.etiquettes.clear();
  if (dates != -1) set.dates.clear();
  if (ip1s != -1) set.ip1s.clear();
  if (ip2s != -1) set.ip2s.clear();
  if (ip3s != -1) set.ip3s.clear();
  return 0;
}

int c_requetes_init(void) {
  zep::stdfile::open_debug_stream();
  for (int s = 0; s < zep::stdfile::kMaxRequetes; ++s) c_requetes_reset(s, 0, 0, 0, 0, 0, 0, 0);
  const char *path = std::getenv("VKT_FILTER_FILE");
  if (path == nullptr) return 0;
  return c_requetes_read_file(path);
}

int c_requetes_read_file(const char *path) {
  FILE *probe = path ? std::fopen(path, "r") : nullptr;
  if (probe == nullptr) {
    std::fprintf(stderr, "c_requetes_read_file error opening file %s\n", path ? path : "(null)");
    std::fprintf(stderr, "filter file ignored\n");
    return -1;
  }
  std::fclose(probe);
  std::fprintf(stderr, "warning: VKTD software uses filter file %s for scans\n", path);
  zep::stdfile::register_filter_verbs();
  return process_c_callback(path);
}

int c_vkt_match_req(int handle) {
  const auto &t = requetes();
  if (!t.sets[static_cast<size_t>(t.first)].in_use) return 1;
  zep::stdfile::RecordDescriptors rec;
  int dateo = 0, deet = 0, npas = 0, ni = 0, nj = 0, nk = 0, nbits = 0, datyp = 0;
  int ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0, swa = 0, lng = 0, dltf = 0, ubc = 0;
  int extra1 = 0, extra2 = 0, extra3 = 0;
  char grtyp[2] = " ";
  int rc = c_vktprm(handle, &dateo, &deet, &npas, &ni, &nj, &nk, &nbits, &datyp, &rec.ip1, &rec.ip2,
                    &rec.ip3, rec.typvar, rec.nomvar, rec.etiket, grtyp, &ig1, &ig2, &ig3, &ig4,
                    &swa, &lng, &dltf, &ubc, &extra1, &extra2, &extra3);
  if (rc < 0) return 0;
  rec.dateo = dateo;
  return zep::stdfile::match_request(rec, handle);
}

}  // extern "C"
