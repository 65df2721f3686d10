// Record selection of `zep ls` and `zep copy`: the --where criteria.
//
// Each criterion is KEY=V1[,V2...]: a record meets it when its KEY equals
// one of the values. A selection holds every criterion given; a record is
// selected when it meets all of them (an empty selection selects all).
//
//   nomvar, typvar, etiket   texts, compared without trailing blanks
//   ip1, ip2, ip3            integers as stored
//   datev                    validity time: an ISO 8601 date-time
//                            (YYYY-MM-DD[Thh[:mm[:ss]]][Z], UTC) or a
//                            date-time stamp (digits only: the stamp shown
//                            or stored, or the time it stands for)
//   level                    decoded level of ip1: a number with an optional
//                            kind as the converter writes it (500mb, 1.0 sg,
//                            10m); numbers match to 6 significant digits
#ifndef ZEP_CLI_WHERE_H
#define ZEP_CLI_WHERE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zep/api.h"

namespace cli {

// Seconds since 1970-01-01T00:00:00Z of an ISO 8601 UTC date-time:
// YYYY-MM-DD, optionally followed by T (or a blank) and hh, hh:mm or
// hh:mm:ss, optionally followed by Z. False for anything else or an
// impossible date (month 13, February 30, ...).
bool parse_iso_datetime(std::string_view text, int64_t *seconds);

// A level as written on the command line: a number and an optional kind.
struct LevelValue {
  double value = 0;
  std::string kind;  // "" when none was given: any kind matches
};
bool parse_level(std::string_view text, LevelValue *out);
bool level_matches(const LevelValue &want, const zep_record &rec);

class Selection {
 public:
  // Adds one criterion "KEY=V1[,V2...]". False, with a message in *error,
  // for an unknown key, a missing or empty value, or a value that is not
  // of the key's kind.
  bool add(std::string_view criterion, std::string *error);
  bool empty() const { return criteria_.empty(); }
  bool matches(const zep_record &rec) const;

 private:
  enum class Key { kNomvar, kTypvar, kEtiket, kIp1, kIp2, kIp3, kDatev, kLevel };
  struct Time {
    int64_t seconds = 0;  // the time, when known
    bool known = false;
    long long stamp = -1;  // the stamp as given, -1 for an ISO date-time
  };
  struct Criterion {
    Key key;
    std::vector<std::string> texts;
    std::vector<long long> ints;
    std::vector<Time> times;
    std::vector<LevelValue> levels;
  };
  static bool meets(const Criterion &c, const zep_record &rec);
  std::vector<Criterion> criteria_;
};

}  // namespace cli

#endif
