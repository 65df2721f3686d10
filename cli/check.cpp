// zep check: the library's diagnosis of each file, then a read of every
// record's values, with a summary line per file.
#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/files.h"
#include "cli/verify.h"

namespace cli {

const char kCheckHelp[] =
    "Usage: zep check [OPTIONS] FILE...\n"
    "Examine standard files and print one summary line per file: its layout,\n"
    "live records, records marked deleted, directory pages, size, and the\n"
    "first damage found. After the library's diagnosis of the file's\n"
    "structure, every record's values are read and decoded.\n"
    "\n"
    "  --quick      the library's diagnosis only, no read of the values\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 every file is sound, 1 a file is damaged or cannot be\n"
    "examined, 2 a usage error.\n";

int run_check(const Args &args) {
  ArgScanner scan(args);
  bool quick = false;
  std::vector<std::string> files;
  while (scan.next()) {
    if (!scan.is_option()) {
      files.push_back(scan.operand());
    } else if (scan.name() == "-h" || scan.name() == "--help") {
      std::fputs(kCheckHelp, stdout);
      return kOk;
    } else if (scan.name() == "--quick" && !scan.has_inline_value()) {
      quick = true;
    } else {
      return usage_error("check", "unknown option '" + scan.name() + "'");
    }
  }
  if (files.empty()) return usage_error("check", "no file to examine");

  int status = kOk;
  for (const std::string &path : files) {
    zep_check_report report{};
    const int rc = zep_check(path.c_str(), &report);
    if (rc < 0) {
      const std::string why = describe(rc, nullptr);
      std::printf("%s: cannot be examined: %s\n", path.c_str(), why.c_str());
      complain(path + ": cannot be examined: " + why);
      status = kFailed;
      continue;
    }
    std::string damage = report.damaged ? std::string(report.message) : std::string();
    if (report.damaged && damage.empty()) damage = "damaged (no detail given)";
    int64_t unreadable = 0;
    if (damage.empty() && !quick) {
      Survey survey = survey_records(path, nullptr);
      if (!survey.fatal.empty()) damage = survey.fatal;
      unreadable = static_cast<int64_t>(survey.lost.size());
      if (damage.empty() && !survey.lost.empty())
        damage = survey.lost.front().what + ": " + survey.lost.front().why;
      if (damage.empty() && !survey.reported.empty()) damage = survey.reported;
    }
    const int64_t pages = report.pages;
    std::printf(
        "%s: %s, %lld record%s, %lld deleted, %lld directory page%s, %lld bytes: ", path.c_str(),
        report.sequential ? "sequential" : "random", static_cast<long long>(report.records),
        report.records == 1 ? "" : "s", static_cast<long long>(report.deleted),
        static_cast<long long>(pages), pages == 1 ? "" : "s", static_cast<long long>(report.bytes));
    if (damage.empty()) {
      std::printf("sound\n");
      continue;
    }
    if (unreadable > 1)
      std::printf("DAMAGED (%lld records unreadable): %s\n", static_cast<long long>(unreadable),
                  damage.c_str());
    else
      std::printf("DAMAGED: %s\n", damage.c_str());
    complain(path + " is damaged: " + damage);
    status = kFailed;
  }
  if (std::fflush(stdout) != 0) return kFailed;
  return status;
}

}  // namespace cli
