// Which records of a file still read correctly (see verify.h).
#include "cli/verify.h"

#include "cli/files.h"

namespace cli {

std::string record_name(const zep_record &rec) {
  return "record " + std::to_string(rec.index) + " (" + rec.nomvar + ", " + rec.typvar + ", " +
         rec.etiket + ", ip1 " + std::to_string(rec.ip1) + ")";
}

Survey survey_records(const std::string &path, const KeepFn &keep) {
  Survey s;
  MessageLog log;
  zep_file *raw = nullptr;
  const int rc = zep_open(path.c_str(), "r", &raw);
  if (rc < 0) {
    s.fatal = "cannot be opened: " + describe(rc, nullptr);
    return s;
  }
  File file(raw);
  const VisitFn check = [&](zep_file *f, const zep_record &rec) {
    Stats stats;
    std::string why;
    if (read_values(f, rec, &stats, &why) < 0) {
      s.lost.push_back({record_name(rec), why});
      return true;
    }
    if (keep && !keep(f, rec, &why)) {
      s.fatal = record_name(rec) + ": " + why;
      return false;
    }
    ++s.sound;
    return true;
  };
  std::string walk_error;
  if (walk_live_records(file.get(), check, &walk_error) < 0)
    s.fatal = "the walk of the directory stopped after " + std::to_string(s.sound + s.lost.size()) +
              " records: " + walk_error;
  s.reported = log.first_error();
  return s;
}

}  // namespace cli
