// Which records of a file still read correctly: the shared ground of
// `zep check` (which reports the first failure) and `zep repair` (which
// keeps the records that pass).
//
// A record passes when the walk of the directory reaches it and every one
// of its values is read and decoded by the library: its stored words lie
// inside the file, its length holds the values its descriptor claims, and
// its packed or compressed stream decodes. The format keeps no checksum of
// a record's data, so damage that leaves a decodable stream (a flipped bit
// among the values) cannot be seen.
#ifndef ZEP_CLI_VERIFY_H
#define ZEP_CLI_VERIFY_H

#include <functional>
#include <string>
#include <vector>

#include "zep/api.h"

namespace cli {

struct Lost {
  std::string what;  // "record 3 (UU)"
  std::string why;
};

struct Survey {
  std::string fatal;       // the file cannot be opened or walked to its end ("" if it can)
  std::string reported;    // the first damage the library reported while reading, "" if none
  int64_t sound = 0;       // records that read correctly
  std::vector<Lost> lost;  // records that do not
};

// Opens path and reads every live record in file order; each record that
// reads correctly is handed to keep (if not null) while the file is open.
// keep returns false to stop the survey (its reason is then in fatal).
using KeepFn = std::function<bool(zep_file *src, const zep_record &rec, std::string *why)>;
Survey survey_records(const std::string &path, const KeepFn &keep);

// "record 3 (UU, P, SOUND, ip1 500)"
std::string record_name(const zep_record &rec);

}  // namespace cli

#endif
