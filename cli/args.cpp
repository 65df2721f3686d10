// Command-line scanning shared by the subcommands (see args.h).
#include "cli/args.h"

namespace cli {

bool ArgScanner::next() {
  option_ = inline_ = false;
  name_.clear();
  operand_.clear();
  inline_value_.clear();
  while (pos_ < args_.size()) {
    const std::string &a = args_[pos_++];
    if (!ended_ && a == "--") {
      ended_ = true;
      continue;
    }
    if (!ended_ && a.size() > 1 && a[0] == '-') {
      option_ = true;
      const size_t eq = a.find('=');
      if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        name_ = a.substr(0, eq);
        inline_value_ = a.substr(eq + 1);
        inline_ = true;
      } else {
        name_ = a;
      }
      return true;
    }
    operand_ = a;
    return true;
  }
  return false;
}

bool ArgScanner::value(std::string *out) {
  if (inline_) {
    *out = inline_value_;
    return true;
  }
  if (pos_ < args_.size()) {
    *out = args_[pos_++];
    return true;
  }
  error_ = "option " + name_ + " needs a value";
  return false;
}

}  // namespace cli
