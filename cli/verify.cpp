// Which records of a file still read correctly (see verify.h).
#include "cli/verify.h"

#include "cli/files.h"

namespace cli {

std::string record_name(const zep_record &rec) {
  return "record " + std::to_string(rec.index) + " (" + rec.nomvar + ", " + rec.typvar + ", " + rec.etiket +
         ", ip1 " + std::to_string(rec.ip1) + ")";
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
  zep_record rec;
  for (;;) {
    const int got = zep_next(file.get(), &rec);
    if (got == 0) break;
    if (got < 0) {
      s.fatal = "the walk of the directory stopped after " + std::to_string(s.sound + s.lost.size()) +
                " records: " + describe(got, file.get());
      break;
    }
    if (rec.dltf != 0) continue;
    Stats stats;
    std::string why;
    if (read_values(file.get(), rec, &stats, &why) < 0) {
      s.lost.push_back({record_name(rec), why});
      continue;
    }
    if (keep && !keep(file.get(), rec, &why)) {
      s.fatal = record_name(rec) + ": " + why;
      break;
    }
    ++s.sound;
  }
  s.reported = log.first_error();
  return s;
}

}  // namespace cli
