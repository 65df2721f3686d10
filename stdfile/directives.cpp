// The directive reader: a table of verbs with their handlers, and a reader
// that cuts a text into directives
//     verb ( arg, arg, [ arg, <start, end, step> ] )
//     verb = arg, arg ;
// expanding lists into a count marker "[%3d]" and ranges into their values,
// and calls each verb's handler. Every message goes to standard error.
#include "stdfile/directives.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace zep::directives {
namespace {

// Character class bits.
enum : unsigned char {
  kNameStart = 1,  // letters, '_'
  kDigit = 2,      // '0'..'9'
  kTokenChar = 4,  // letters, digits, '_', '.', '-', '+' and the openers
  kPercentAt = 8,  // '%', '@'
  kSignDot = 16,   // '.', '-', '+'
  kCommand = 32,   // '(', '='
  kOpener = 64,    // '"', '\'', '<', '['
  kOther = 128,    // every other printable character from '!' to '}'
};

// What the reader sees at the end of the input, and while a refused line
// waits for its directive to fail.
constexpr int kEnd = 255;
constexpr int kLineRefused = 256;

struct VerbEntry {
  std::string name;
  zep_directive_fn handler = nullptr;
  zep_directive_ref_fn ref_handler = nullptr;
  void *private1 = nullptr;
  int private2 = 0;
};

std::vector<VerbEntry> &verb_table() {
  static std::vector<VerbEntry> table;
  return table;
}

std::array<unsigned char, 256> init_char_table() {
  std::array<unsigned char, 256> t{};
  for (int c = '!'; c <= '}'; ++c) t[c] = kOther;
  auto set = [&t](int c, unsigned char bits) { t[c] = bits; };
  for (int c = 'A'; c <= 'Z'; ++c) set(c, kNameStart | kTokenChar);
  for (int c = 'a'; c <= 'z'; ++c) set(c, kNameStart | kTokenChar);
  set('_', kNameStart | kTokenChar);
  for (int c = '0'; c <= '9'; ++c) set(c, kDigit | kTokenChar);
  for (int c : {'.', '-', '+'}) set(c, kTokenChar | kSignDot);
  for (int c : {'%', '@'}) set(c, kPercentAt);
  for (int c : {'(', '='}) set(c, kCommand);
  for (int c : {'"', '\'', '<', '['}) set(c, kOpener | kTokenChar);
  return t;
}

// A character as messages show it (the end of the input as a blank).
int shown(int c) { return (c == kEnd || c == kLineRefused) ? ' ' : c; }

int cls(int c) {
  static const std::array<unsigned char, 256> table = init_char_table();
  return (c >= 0 && c < 255) ? table[c] : 0;
}

std::string format_double(double v) {
  char small[64];
  int n = std::snprintf(small, sizeof small, "%f", v);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&big[0], big.size(), "%f", v);
  big.resize(static_cast<size_t>(n));
  return big;
}

// One pass of the reader over one input.
class Reader {
 public:
  Reader(FILE *in, std::string name) : in_(in), name_(std::move(name)) {}
  // Reads every directive; returns the number that failed.
  int run();

 private:
  enum class Step { kOk, kFail, kEnd, kStop };

  int Current_Char();
  void advance() {
    if (!line_refused_ && pos_ < len_) ++pos_;
  }
  bool fill_buffer();
  void skip_blanks();
  Step Verb(std::string *name);
  Step directive();
  Step Argument();
  Step token(std::string *tok);
  Step separator(bool *done);
  Step expand_range(const std::string &tok);
  bool add_argument(std::string text, bool in_range);
  int call_handler();
  void fail_directive();

  FILE *in_;
  std::string name_;     // the input as messages name it
  std::string buf_;      // the current line, its line feed included
  long line_no_ = 0;     // number of the current line, from 1
  long line_start_ = 0;  // line of the directive being read
  size_t total_ = 0;     // characters read from the input
  size_t len_ = 0;
  size_t pos_ = 0;
  bool at_end_ = false;
  bool line_refused_ = false;

  // The directive being read.
  std::vector<std::string> args_;  // args_[0] is the verb
  long arglen_ = 0;                // characters of the arguments, terminators included
  long list_marker_ = -1;          // index of the open list's marker in args_
  char cmd_ = 0;
  char terminator_ = 0;
  int failures_ = 0;
};

// Reads the next line into the buffer, whatever its length, skipping lines
// of blanks and tabs and echoing the others. Tokens and lists carry on
// from line to line as the grammar allows. Past kMaxInputChars characters
// of input the rest is refused: the directive being read fails.
bool Reader::fill_buffer() {
  for (;;) {
    buf_.clear();
    len_ = 0;
    pos_ = 0;
    int c = EOF;
    bool overlong = false;
    while ((c = std::getc(in_)) != EOF) {
      if (total_ >= kMaxInputChars) {
        overlong = true;
        break;
      }
      ++total_;
      buf_.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    len_ = buf_.size();
    if (len_ == 0 && !overlong) {
      at_end_ = true;
      return false;
    }
    ++line_no_;
    bool blank = true;
    for (size_t i = 0; i < len_ && buf_[i] != '\n'; ++i) {
      if (buf_[i] != ' ' && buf_[i] != '\t') {
        blank = false;
        break;
      }
    }
    if (blank && !overlong) continue;
    std::fwrite(buf_.data(), 1, len_, stderr);
    if (overlong) {
      if (len_ > 0 && buf_[len_ - 1] != '\n') std::fputc('\n', stderr);
      std::fprintf(stderr, "%s: more than %ld characters of directives: the rest is ignored\n",
                   name_.c_str(), static_cast<long>(kMaxInputChars));
      line_refused_ = true;
      at_end_ = true;
    }
    return true;
  }
}

int Reader::Current_Char() {
  if (line_refused_) return kLineRefused;
  if (pos_ >= len_) {
    if (at_end_ || !fill_buffer()) return kEnd;
    if (line_refused_) return kLineRefused;
  }
  return static_cast<unsigned char>(buf_[pos_]);
}

void Reader::skip_blanks() {
  for (int c = Current_Char(); c != kEnd && c != kLineRefused && cls(c) == 0; c = Current_Char())
    advance();
}

bool Reader::add_argument(std::string text, bool in_range) {
  long argc = static_cast<long>(args_.size()) - 1;
  long len = static_cast<long>(text.size());
  long limit = in_range ? kMaxRangeChars : kMaxArgChars;
  if (argc + 1 > kMaxArgs || arglen_ + len + 1 > limit) {
    std::fprintf(stderr, "Too many arguments or arguments too long \n");
    std::fprintf(stderr, "%sARGC=%ld, ARGLEN=%ld, oo=%ld \n", in_range ? "nrange:" : "", argc,
                 arglen_, len);
    return false;
  }
  arglen_ += len + 1;
  args_.push_back(std::move(text));
  return true;
}

Reader::Step Reader::Verb(std::string *name) {
  skip_blanks();
  int c = Current_Char();
  if (c == kLineRefused) return Step::kFail;
  if (c == kEnd) return Step::kEnd;
  if (!(cls(c) & kNameStart)) {
    std::fprintf(stderr, "Bad starting character for Verb:%c:\n", shown(c));
    return Step::kStop;
  }
  while ((cls(c) & (kNameStart | kDigit)) && name->size() < kMaxToken) {
    name->push_back(static_cast<char>(c));
    advance();
    c = Current_Char();
  }
  return Step::kOk;
}

// One token: a quoted text ("..." or '...'), a range <...> (kept with its
// opener turned into '>'), or a run of token characters.
Reader::Step Reader::token(std::string *tok) {
  int c = Current_Char();
  if (c == kLineRefused) return Step::kFail;
  if (!(cls(c) & kTokenChar)) {
    std::fprintf(stderr, "Bad char in token:%c:\n", shown(c));
    return Step::kFail;
  }
  if (c == '"' || c == '\'' || c == '<') {
    int close = (c == '<') ? '>' : c;
    tok->push_back(static_cast<char>(close));
    advance();
    for (;;) {
      c = Current_Char();
      if (c == '\n' || c == kEnd || c == kLineRefused) return Step::kFail;
      tok->push_back(static_cast<char>(c));
      advance();
      if (tok->size() > kMaxToken) return Step::kFail;
      if (c == close) return Step::kOk;
    }
  }
  while (cls(c) & kTokenChar) {
    tok->push_back(static_cast<char>(c));
    if (tok->size() > kMaxToken) return Step::kFail;
    advance();
    c = Current_Char();
  }
  return Step::kOk;
}

// A range ">start, end, step>" becomes the n + 1 values start + i * step,
// n = (end - start) / step truncated toward zero, 0 when negative.
Reader::Step Reader::expand_range(const std::string &tok) {
  double start = 0, end = 0, step = 0;
  char tail[kMaxToken + 1] = {};
  char extra = 0;
  int items =
      std::sscanf(tok.c_str(), " > %lf , %lf , %lf%79[%> ]%c", &start, &end, &step, tail, &extra);
  size_t tail_len = std::strlen(tail);
  if (items != 4 || tail_len == 0 || tail[tail_len - 1] != '>' || !std::isfinite(start) ||
      !std::isfinite(end) || !std::isfinite(step) || step == 0) {
    std::fprintf(stderr, "bad range\n");
    return Step::kFail;
  }
  double n = std::trunc((end - start) / step);
  if (!(n >= 0)) n = 0;
  long argc = static_cast<long>(args_.size()) - 1;
  if (n + 1 > static_cast<double>(kMaxArgs - argc)) {
    std::fprintf(stderr, "Too many arguments or arguments too long \n");
    std::fprintf(stderr, "nrange:ARGC=%ld, ARGLEN=%ld, oo=%ld \n", argc, arglen_,
                 static_cast<long>(tok.size()));
    return Step::kFail;
  }
  long count = static_cast<long>(n) + 1;
  for (long i = 0; i < count; ++i) {
    if (!add_argument(format_double(start + static_cast<double>(i) * step), true))
      return Step::kFail;
  }
  return Step::kOk;
}

// One argument: "[" opening a list (the next argument follows at once), or a
// token followed by its separator.
Reader::Step Reader::Argument() {
  skip_blanks();
  int c = Current_Char();
  if (c == kLineRefused) return Step::kFail;
  if (c == '[') {
    if (list_marker_ >= 0) {
      std::fprintf(stderr, "List already open \n");
      return Step::kFail;
    }
    // The marker's slot is counted at its final width, "[%3d]".
    if (!add_argument("[", false)) return Step::kFail;
    arglen_ += 4;
    list_marker_ = static_cast<long>(args_.size()) - 1;
    advance();
    return Step::kOk;
  }
  std::string tok;
  if (token(&tok) != Step::kOk) {
    if (Current_Char() != kLineRefused) std::fprintf(stderr, "TOKEN error in argument\n");
    return Step::kFail;
  }
  if (tok[0] == '>') return expand_range(tok);
  return add_argument(std::move(tok), false) ? Step::kOk : Step::kFail;
}

Reader::Step Reader::separator(bool *done) {
  for (;;) {
    skip_blanks();
    int c = Current_Char();
    if (c == kLineRefused) return Step::kFail;
    if (c == ']') {
      if (list_marker_ < 0) {
        std::fprintf(stderr, "Cannot close non existent list \n");
        return Step::kFail;
      }
      long count = static_cast<long>(args_.size()) - 1 - list_marker_;
      char marker[32];
      std::snprintf(marker, sizeof marker, "[%3ld]", count);
      args_[static_cast<size_t>(list_marker_)] = marker;
      list_marker_ = -1;
      advance();
      continue;
    }
    if (c == ',') {
      advance();
      *done = false;
      return Step::kOk;
    }
    if (c == terminator_) {
      advance();
      if (list_marker_ >= 0) {
        std::fprintf(stderr, "Unmatched [ \n");
        return Step::kFail;
      }
      *done = true;
      return Step::kOk;
    }
    std::fprintf(stderr, "bad separator :%c:\n", shown(c));
    return Step::kFail;
  }
}

Reader::Step Reader::directive() {
  args_.clear();
  arglen_ = 0;
  list_marker_ = -1;
  std::string name;
  line_start_ = 0;
  Step s = Verb(&name);
  line_start_ = line_no_;
  if (s != Step::kOk) return s;
  args_.push_back(std::move(name));
  skip_blanks();
  int c = Current_Char();
  if (c == kLineRefused) return Step::kFail;
  if (c != '(' && c != '=') {
    std::fprintf(stderr, "Badly formed command \n");
    return Step::kFail;
  }
  cmd_ = static_cast<char>(c);
  terminator_ = (c == '(') ? ')' : ';';
  advance();
  for (;;) {
    s = Argument();
    if (s != Step::kOk) return s;
    if (list_marker_ == static_cast<long>(args_.size()) - 1) continue;  // just opened a list
    bool done = false;
    s = separator(&done);
    if (s != Step::kOk) return s;
    if (done) return Step::kOk;
  }
}

int Reader::call_handler() {
  int index = Find_Callback(args_[0].c_str());
  if (index < 0) {
    std::fprintf(stderr, "Command %s NOT FOUND\n", args_[0].c_str());
    return 0;
  }
  // Copy the entry: a handler may register verbs and grow the table.
  const VerbEntry entry = verb_table()[static_cast<size_t>(index)];
  int argc = static_cast<int>(args_.size()) - 1;
  if (entry.handler) {
    std::vector<char *> argv;
    argv.reserve(args_.size() + 1);
    for (auto &a : args_) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    return entry.handler(argc, argv.data(), cmd_, entry.private1, entry.private2);
  }
  size_t width = 0;
  for (const auto &a : args_) width = std::max(width, a.size());
  std::string block(args_.size() * width, ' ');
  for (size_t i = 0; i < args_.size(); ++i) block.replace(i * width, args_[i].size(), args_[i]);
  char cmd = cmd_;
  int private2 = entry.private2;
  return entry.ref_handler(&argc, &block[0], &cmd, entry.private1, &private2, width, 1);
}

// Counts the failure and drops what is left of the current line.
void Reader::fail_directive() {
  std::fprintf(stderr, "skipping rest of line\n");
  if (line_start_ == line_no_ || line_start_ == 0)
    std::fprintf(stderr, "%s, line %ld: this directive failed and was skipped\n", name_.c_str(),
                 line_no_);
  else
    std::fprintf(stderr, "%s, lines %ld-%ld: this directive failed and was skipped\n",
                 name_.c_str(), line_start_, line_no_);
  ++failures_;
  pos_ = len_;
  line_refused_ = false;
  list_marker_ = -1;
}

int Reader::run() {
  for (;;) {
    switch (directive()) {
      case Step::kEnd: std::fprintf(stderr, "END of directives\n"); return failures_;
      case Step::kStop: return failures_;
      case Step::kFail: fail_directive(); break;
      case Step::kOk:
        if (call_handler() != 0) fail_directive();
        break;
    }
  }
}

}  // namespace

int register_verb(std::string_view name, zep_directive_fn handler, zep_directive_ref_fn ref_handler,
                  void *private1, int private2) {
  auto &table = verb_table();
  if (name.empty() || (handler == nullptr) == (ref_handler == nullptr)) return -1;
  if (table.size() >= static_cast<size_t>(kMaxVerbs)) return -1;
  VerbEntry e;
  e.name = std::string(name.substr(0, kMaxVerbName));
  e.handler = handler;
  e.ref_handler = ref_handler;
  e.private1 = private1;
  e.private2 = private2;
  table.push_back(std::move(e));
  return static_cast<int>(table.size());
}

void clear_verbs() { verb_table().clear(); }

zep_directive_fn handler_of(const char *name) {
  int index = Find_Callback(name);
  return index < 0 ? nullptr : verb_table()[static_cast<size_t>(index)].handler;
}

unsigned char char_class(unsigned char c) { return static_cast<unsigned char>(cls(c)); }

}  // namespace zep::directives

extern "C" {

int zep_c_callback(const char *name, zep_directive_fn handler, const char * /*options*/,
                   void *private1, int private2) {
  if (name == nullptr || handler == nullptr) return -1;
  return zep::directives::register_verb(name, handler, nullptr, private1, private2);
}

int Find_Callback(const char *name) {
  if (name == nullptr) return -1;
  const auto &table = zep::directives::verb_table();
  for (size_t i = table.size(); i-- > 0;)
    if (table[i].name == name) return static_cast<int>(i);
  return -1;
}

int process_c_callback(const char *path) {
  FILE *in = stdin;
  if (path != nullptr) {
    in = std::fopen(path, "r");
    if (in == nullptr) {
      std::fprintf(stderr, "process_c_callback: Cannot Open File -%s-\n", path);
      std::fprintf(stderr, "skipping rest of line\n");
      return 1;
    }
  }
  int failures = zep::directives::Reader(in, path != nullptr ? path : "standard input").run();
  if (in != stdin) std::fclose(in);
  return failures;
}

int Print_Args(int argc, char **argv, char cmd, void *private1, int private2) {
  char number[16];
  std::snprintf(number, sizeof number, "%d", private2);
  std::printf("Private_Data=%s\n", private1 ? static_cast<const char *>(private1) : "(null)");
  std::printf("Private_Data_2=%s\n", number);
  std::printf("Command Type=%s\n", cmd == '(' ? "EXEC" : "ASSIGN");
  for (int i = 0; i <= argc && argv && argv[i]; ++i) std::printf("%s\n", argv[i]);
  return 0;
}

}  // extern "C"
