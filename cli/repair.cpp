// zep repair IN OUT: a new standard file of every record of IN that still
// reads correctly, and a report of what was lost.
#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/files.h"
#include "cli/verify.h"

namespace cli {

const char kRepairHelp[] =
    "Usage: zep repair IN OUT\n"
    "Write the new standard file OUT with every record of IN that still reads\n"
    "correctly, and report the records lost. A record is kept when the walk of\n"
    "IN's directory reaches it and all of its values are read and decoded; it\n"
    "is then copied bit for bit. Records marked deleted are not carried over.\n"
    "Damage that leaves a record decodable (a changed value) cannot be seen:\n"
    "the format keeps no checksum of a record's data. When IN's directory\n"
    "cannot be read at all, nothing can be recovered and OUT is not written.\n"
    "OUT must not exist.\n"
    "\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 OUT holds every live record of IN, 1 records were lost (OUT\n"
    "holds the others) or nothing could be recovered, 2 a usage error.\n";

int run_repair(const Args &args) {
  ArgScanner scan(args);
  std::vector<std::string> paths;
  while (scan.next()) {
    if (!scan.is_option()) {
      paths.push_back(scan.operand());
    } else if (scan.name() == "-h" || scan.name() == "--help") {
      std::fputs(kRepairHelp, stdout);
      return kOk;
    } else {
      return usage_error("repair", "unknown option '" + scan.name() + "'");
    }
  }
  if (paths.size() != 2) return usage_error("repair", "needs IN and OUT");
  const std::string &in = paths[0], &out_path = paths[1];
  if (in == out_path || same_file(in, out_path))
    return usage_error("repair", "OUT " + out_path + " is IN");
  if (path_exists(out_path)) {
    complain(out_path + " exists");
    return kFailed;
  }

  zep_check_report report{};
  const bool checked = zep_check(in.c_str(), &report) == 0;
  OutputFile out(out_path, false);
  std::string why;
  if (!out.open(&why)) {
    complain(why);
    return kFailed;
  }
  const Survey survey =
      survey_records(in, [&out](zep_file *src, const zep_record &rec, std::string *reason) {
        const int rc = zep_copy_record(out.get(), src, &rec);
        if (rc < 0)
          *reason = "cannot be copied: " + copy_failure(rc, zep_last_message(out.get()), out);
        return rc >= 0;
      });
  if (survey.sound == 0 && !survey.fatal.empty()) {
    complain(in + ": nothing can be recovered: " + survey.fatal);
    return kFailed;
  }
  if (!out.publish(&why)) {
    complain(why);
    return kFailed;
  }

  if (checked && report.damaged) std::printf("%s: damage found: %s\n", in.c_str(), report.message);
  if (!survey.reported.empty() && !(checked && report.damaged))
    std::printf("%s: damage reported: %s\n", in.c_str(), survey.reported.c_str());
  for (const Lost &l : survey.lost) std::printf("lost: %s: %s\n", l.what.c_str(), l.why.c_str());
  if (!survey.fatal.empty())
    std::printf("lost: every record after the last kept one: %s\n", survey.fatal.c_str());
  std::printf("%s: %lld record%s kept in %s, %zu lost%s", in.c_str(),
              static_cast<long long>(survey.sound), survey.sound == 1 ? "" : "s", out_path.c_str(),
              survey.lost.size(),
              survey.fatal.empty() ? "" : " (and the records the walk did not reach)");
  if (checked && report.deleted > 0)
    std::printf(", %lld deleted not carried over", static_cast<long long>(report.deleted));
  std::printf("\n");
  std::fflush(stdout);
  return survey.lost.empty() && survey.fatal.empty() ? kOk : kFailed;
}

}  // namespace cli
