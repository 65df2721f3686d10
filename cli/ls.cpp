// zep ls: one line per record of each file, in file order.
#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/files.h"
#include "cli/listing.h"
#include "cli/where.h"

namespace cli {

const char kLsHelp[] =
    "Usage: zep ls [OPTIONS] FILE...\n"
    "List the records of standard files, one line per record in file order.\n"
    "\n"
    "  -f, --format table|csv|json\n"
    "                           output format (default table); json prints one\n"
    "                           array of objects, one per record\n"
    "  -w, --where KEY=V1[,V2...]\n"
    "                           list only the records whose KEY is one of the\n"
    "                           values; repeatable, all must hold. Keys: nomvar,\n"
    "                           typvar, etiket, ip1, ip2, ip3, datev (ISO 8601\n"
    "                           date-time or stamp), level (e.g. 500mb, 0.5sg)\n"
    "  --stats                  add the minimum, maximum and mean of the values\n"
    "  -h, --help               show this help\n"
    "\n"
    "Exit status: 0 success, 1 a file or record could not be read or a file is\n"
    "damaged, 2 a usage error.\n";

namespace {

void put(const std::string &text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int run_ls(const Args &args) {
  ArgScanner scan(args);
  Format format = Format::kTable;
  Selection selection;
  bool stats = false;
  std::vector<std::string> files;
  while (scan.next()) {
    std::string value, error;
    if (!scan.is_option()) {
      files.push_back(scan.operand());
    } else if (scan.name() == "-h" || scan.name() == "--help") {
      put(kLsHelp);
      return kOk;
    } else if (scan.name() == "--format" || scan.name() == "-f") {
      if (!scan.value(&value)) return usage_error("ls", scan.error());
      if (!parse_format(value, &format))
        return usage_error("ls", "unknown format '" + value + "' (table, csv or json)");
    } else if (scan.name() == "--where" || scan.name() == "-w") {
      if (!scan.value(&value)) return usage_error("ls", scan.error());
      if (!selection.add(value, &error)) return usage_error("ls", error);
    } else if (scan.name() == "--stats" && !scan.has_inline_value()) {
      stats = true;
    } else {
      return usage_error("ls", "unknown option '" + scan.name() + "'");
    }
  }
  if (files.empty()) return usage_error("ls", "no file to list");

  int status = kOk;
  Listing listing(format, stats, files.size() > 1);
  put(listing.begin());
  MessageLog log;
  for (const std::string &path : files) {
    log.clear();
    zep_file *raw = nullptr;
    const int rc = zep_open(path.c_str(), "r", &raw);
    if (rc < 0) {
      complain(path + ": " + describe(rc, nullptr));
      status = kFailed;
      continue;
    }
    File file(raw);
    std::string walk_error;
    const VisitFn list = [&](zep_file *f, const zep_record &rec) {
      if (!selection.matches(rec)) return true;
      Stats values;
      if (stats) {
        std::string why;
        if (read_values(f, rec, &values, &why) < 0) {
          complain(path + ": record " + std::to_string(rec.index) + " (" + rec.nomvar +
                   "): " + why);
          status = kFailed;
        }
      }
      put(listing.row(rec, path, stats ? &values : nullptr));
      return true;
    };
    if (walk_live_records(file.get(), list, &walk_error) < 0) {
      complain(path + ": the walk stopped: " + walk_error);
      status = kFailed;
    }
    if (!log.first_error().empty()) {
      complain(path + " is damaged: " + log.first_error());
      status = kFailed;
    }
  }
  put(listing.end());
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    complain("cannot write the listing");
    return kFailed;
  }
  return status;
}

}  // namespace cli
