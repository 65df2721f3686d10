// The subcommands of zep. Each takes the arguments after its name, writes
// its output on standard output and its messages on standard error, and
// returns the exit status (0 success, 1 a file could not be read or is
// damaged, 2 a usage error).
#ifndef ZEP_CLI_COMMANDS_H
#define ZEP_CLI_COMMANDS_H

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int run_ls(const Args &args);
int run_copy(const Args &args);
int run_check(const Args &args);
int run_repair(const Args &args);

extern const char kLsHelp[];
extern const char kCopyHelp[];
extern const char kCheckHelp[];
extern const char kRepairHelp[];

// Prints "zep: <text>" on standard error.
void complain(const std::string &text);
// A usage error of a subcommand: the message, a pointer to its help, status 2.
int usage_error(const std::string &command, const std::string &text);

}  // namespace cli

#endif
