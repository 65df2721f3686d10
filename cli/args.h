// Command-line scanning shared by the subcommands of zep: long options with
// their value after '=' or as the next argument, "--" ending the options,
// and the usage error that every subcommand reports the same way.
#ifndef ZEP_CLI_ARGS_H
#define ZEP_CLI_ARGS_H

#include <string>
#include <vector>

namespace cli {

// Exit statuses of every subcommand.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

// Walks the arguments of one subcommand. Options may come anywhere before
// "--"; every other argument is an operand.
class ArgScanner {
 public:
  explicit ArgScanner(std::vector<std::string> args) : args_(std::move(args)) {}

  // Advances to the next argument; false at the end. After it, either
  // is_option() (name() holds "--name" or "-x") or an operand in operand().
  bool next();
  bool is_option() const { return option_; }
  const std::string &name() const { return name_; }
  const std::string &operand() const { return operand_; }
  // The option's value: the text after '=' or the next argument. False (and
  // error() set) when there is none.
  bool value(std::string *out);
  // True if the option was written with "=value" (for options without one).
  bool has_inline_value() const { return inline_; }
  const std::string &error() const { return error_; }

 private:
  std::vector<std::string> args_;
  size_t pos_ = 0;
  bool option_ = false, inline_ = false, ended_ = false;
  std::string name_, operand_, inline_value_, error_;
};

}  // namespace cli

#endif
