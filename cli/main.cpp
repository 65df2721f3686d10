// zep: lists, selects, copies, checks and repairs standard files through the
// library's safe API.
#include <cstdio>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "zep/api.h"

namespace {

const char kHelp[] =
    "Usage: zep COMMAND [OPTIONS] [ARGS]\n"
    "List, select, copy, check and repair standard files.\n"
    "\n"
    "Commands:\n"
    "  ls [OPTIONS] FILE...          one line per record (--format table|csv|json,\n"
    "                                --where KEY=V1[,V2...], --stats)\n"
    "  copy [OPTIONS] IN... OUT      copy the selected records bit for bit\n"
    "                                (--where, --append)\n"
    "  check [--quick] FILE...       say whether each file is sound\n"
    "  repair IN OUT                 write the records of IN that still read\n"
    "                                correctly to OUT, report what was lost\n"
    "  help [COMMAND]                show this help or a command's help\n"
    "\n"
    "  -h, --help      show this help\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 success, 1 a file or record could not be read or a file is\n"
    "damaged, 2 a usage error. 'zep COMMAND --help' describes each command.\n";

struct Command {
  const char *name;
  int (*run)(const cli::Args &);
  const char *help;
};
const Command kCommands[] = {{"ls", cli::run_ls, cli::kLsHelp},
                             {"copy", cli::run_copy, cli::kCopyHelp},
                             {"check", cli::run_check, cli::kCheckHelp},
                             {"repair", cli::run_repair, cli::kRepairHelp}};

const Command *find(const std::string &name) {
  for (const Command &c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int top_usage(const std::string &text) {
  cli::complain(text);
  std::fputs("Try 'zep --help'.\n", stderr);
  return cli::kUsage;
}

}  // namespace

namespace cli {

void complain(const std::string &text) {
  std::fflush(stdout);
  std::fprintf(stderr, "zep: %s\n", text.c_str());
}

int usage_error(const std::string &command, const std::string &text) {
  complain(command + ": " + text);
  std::fprintf(stderr, "Try 'zep %s --help'.\n", command.c_str());
  return kUsage;
}

}  // namespace cli

int main(int argc, char **argv) {
  cli::Args args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  if (args.empty()) return top_usage("no command given");
  const std::string first = args.front();
  if (first == "-h" || first == "--help" || first == "help") {
    if (first == "help" && args.size() > 1) {
      const Command *c = find(args[1]);
      if (c == nullptr) return top_usage("unknown command '" + args[1] + "'");
      std::fputs(c->help, stdout);
    } else {
      std::fputs(kHelp, stdout);
    }
    return std::fflush(stdout) == 0 ? cli::kOk : cli::kFailed;
  }
  if (first == "--version" || first == "-V") {
    std::printf("zep %s\n", zep_version());
    return std::fflush(stdout) == 0 ? cli::kOk : cli::kFailed;
  }
  const Command *c = find(first);
  if (c == nullptr) {
    if (!first.empty() && first[0] == '-') return top_usage("unknown option '" + first + "'");
    return top_usage("unknown command '" + first + "'");
  }
  args.erase(args.begin());
  try {
    return c->run(args);
  } catch (const std::exception &e) {
    cli::complain(std::string("internal error: ") + e.what());
    return cli::kFailed;
  }
}
