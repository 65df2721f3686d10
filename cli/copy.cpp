// zep copy: the selected records of the inputs into one standard file, each
// record's stored words copied as they are.
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/files.h"
#include "cli/progress.h"
#include "cli/where.h"

namespace cli {

const char kCopyHelp[] =
    "Usage: zep copy [OPTIONS] IN... OUT\n"
    "Copy the selected records of the input files into the standard file OUT,\n"
    "in input order. Each record's stored words are copied bit for bit, its\n"
    "descriptor unchanged.\n"
    "\n"
    "  -w, --where KEY=V1[,V2...]\n"
    "                           copy only the records whose KEY is one of the\n"
    "                           values; repeatable, all must hold (see zep ls --help)\n"
    "  --append                 add the records to OUT if it exists (it must not\n"
    "                           exist otherwise)\n"
    "  -h, --help               show this help\n"
    "\n"
    "OUT appears only once every record is copied: on failure it is not created,\n"
    "or, with --append, keeps exactly the records it held. A damaged input is a\n"
    "failure (see zep repair). OUT may not be one of the inputs.\n"
    "\n"
    "Exit status: 0 success, 1 an input could not be read or is damaged or OUT\n"
    "could not be written, 2 a usage error (OUT one of the inputs included).\n";

int run_copy(const Args &args) {
  ArgScanner scan(args);
  Selection selection;
  bool append = false;
  std::vector<std::string> paths;
  while (scan.next()) {
    std::string value, error;
    if (!scan.is_option()) {
      paths.push_back(scan.operand());
    } else if (scan.name() == "-h" || scan.name() == "--help") {
      std::fputs(kCopyHelp, stdout);
      return kOk;
    } else if (scan.name() == "--where" || scan.name() == "-w") {
      if (!scan.value(&value)) return usage_error("copy", scan.error());
      if (!selection.add(value, &error)) return usage_error("copy", error);
    } else if (scan.name() == "--append" && !scan.has_inline_value()) {
      append = true;
    } else {
      return usage_error("copy", "unknown option '" + scan.name() + "'");
    }
  }
  if (paths.size() < 2) return usage_error("copy", "needs at least one input and the output");
  const std::string out_path = paths.back();
  paths.pop_back();
  for (const std::string &in : paths)
    if (in == out_path || same_file(in, out_path))
      return usage_error("copy", "the output " + out_path + " is also an input (" + in + ")");
  if (!append && path_exists(out_path)) {
    complain(out_path + " exists (--append adds to it)");
    return kFailed;
  }

  // Every input is opened first: nothing is written unless all can be read.
  MessageLog log;
  std::vector<File> inputs;
  int64_t total = 0;
  for (const std::string &in : paths) {
    log.clear();
    zep_file *raw = nullptr;
    const int rc = zep_open(in.c_str(), "r", &raw);
    if (rc < 0) {
      complain(in + ": " + describe(rc, nullptr) + "; nothing copied");
      return kFailed;
    }
    inputs.emplace_back(raw);
    if (!log.first_error().empty()) {
      complain(in + " is damaged: " + log.first_error() + "; nothing copied");
      return kFailed;
    }
    const long n = zep_count(raw);
    if (n > 0) total += n;
  }

  OutputFile out(out_path, append);
  std::string why;
  if (!out.open(&why)) {
    complain(why);
    return kFailed;
  }
  Progress progress(total);
  int64_t seen = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string &in = paths[i];
    zep_file *src = inputs[i].get();
    log.clear();
    zep_record rec;
    for (;;) {
      const int got = zep_next(src, &rec);
      if (got == 0) break;
      if (got < 0) {
        complain(in + ": the walk stopped: " + describe(got, src) + "; nothing copied");
        return kFailed;
      }
      progress.update(++seen);
      if (rec.dltf != 0 || !selection.matches(rec)) continue;
      const int rc = zep_copy_record(out.get(), src, &rec);
      if (rc < 0) {
        std::string msg = zep_last_message(src);
        if (msg.empty()) msg = zep_last_message(out.get());
        complain(in + ": record " + std::to_string(rec.index) + " (" + rec.nomvar +
                 ") cannot be copied: " + copy_failure(rc, msg, out) + "; nothing copied");
        return kFailed;
      }
    }
    if (!log.first_error().empty()) {
      complain(in + " is damaged: " + log.first_error() + "; nothing copied");
      return kFailed;
    }
  }
  if (!out.publish(&why)) {
    complain(why);
    return kFailed;
  }
  return kOk;
}

}  // namespace cli
