// File-kind detection: wkoffit_ tells the kind of a file from its first
// bytes (the word signatures of the system's own formats first, then the
// probe chain of test_fichier for common image, document and data formats).
// Every probe reads only what the file holds and answers "not this kind"
// when the file is short or cannot be read.
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/big_endian.h"
#include "zep/io.h"
#include "common/fixed_text.h"

namespace zep::io {

namespace {

constexpr size_t kNameLimit = 256;
constexpr int kEsc = 27;

struct FileCloser {
  void operator()(FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

File open_read(const char *path) { return File(path ? std::fopen(path, "rb") : nullptr); }

// Length of an open stream in bytes, or -1.
int64_t stream_length(FILE *f) {
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  const int64_t n = ftello(f);
  if (fseeko(f, 0, SEEK_SET) != 0) return -1;
  return n;
}

// Reads up to n bytes from the start of the file; the count read, or -1.
int64_t read_head(const char *path, unsigned char *buf, size_t n) {
  File f = open_read(path);
  if (!f) return -1;
  return static_cast<int64_t>(std::fread(buf, 1, n, f.get()));
}

uint32_t word_of(const char *four) { return zep::load_be32(four); }

bool starts_with(const char *s, const char *prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// KMW plot: 0 when not one, else its mode (3, or 1 for any other).
int kmw_mode(const char *path) {
  File f = open_read(path);
  if (!f) return 0;
  if (stream_length(f.get()) < 0) return 0;
  static const char kWanted[] = "PLOT$Z";
  char text[350];
  int count = 0, matched = 0;
  while (count < 350 && matched < 6) {
    const int c = std::fgetc(f.get());
    if (c == EOF) break;
    text[count++] = static_cast<char>(c);
    if (c == kWanted[matched]) ++matched;
  }
  if (matched < 6 || count <= 9) return 0;
  int eol = -1;
  for (int i = count - 1; i >= 0; --i) {
    if (text[i] == '\n') {
      eol = i;
      break;
    }
  }
  int mode = 1;
  if (eol >= 0) {
    // The mode line ends here; it needs nine characters before the line end.
    if (eol < 9) return 0;
    char field[10];
    std::memcpy(field, text + eol - 9, 9);
    field[9] = '\0';
    int width = 0, height = 0, m = 0;
    if (std::sscanf(field, "%4d%4d%1d", &width, &height, &m) == 3) mode = m;
  }
  if (mode != 1 && mode != 3) mode = 777;
  return mode == 3 ? 3 : 1;
}

// Reads an optionally '+'-signed integer after blanks; 0 when none.
// Returns the next character after it through *next.
int64_t read_pcl_number(FILE *f, int *c_out) {
  int c = std::fgetc(f);
  while (c != EOF && std::isspace(c)) c = std::fgetc(f);
  if (c == '+') {
    c = std::fgetc(f);
    while (c != EOF && std::isspace(c)) c = std::fgetc(f);
  }
  bool negative = false;
  if (c == '-') {
    negative = true;
    c = std::fgetc(f);
  }
  int64_t v = 0;
  while (c != EOF && std::isdigit(c)) {
    if (v < (int64_t{1} << 40)) v = v * 10 + (c - '0');
    c = std::fgetc(f);
  }
  *c_out = c;
  return negative ? -v : v;
}

// Skips to the next character from '@' to '^' (the end of a command).
bool skip_to_terminator(FILE *f) {
  for (;;) {
    const int c = std::fgetc(f);
    if (c == EOF) return false;
    if (c >= '@' && c <= '^') return true;
  }
}

}  // namespace

}  // namespace zep::io

using zep::io::File;

extern "C" {

int isftnbin(FILE *stream, int n) {
  if (stream == nullptr) return 0;
  const uint32_t len = static_cast<uint32_t>(n);
  unsigned char w[4];
  if (fseeko(stream, static_cast<off_t>(len) + 4, SEEK_SET) != 0) return 0;
  if (std::fread(w, 1, 4, stream) != 4) return 0;
  return zep::load_be32(w) == len ? 1 : 0;
}

int isgif(const char *path) {
  unsigned char b[6];
  if (zep::io::read_head(path, b, 6) < 6) return 0;
  if (std::memcmp(b, "GIF89a", 6) == 0) return 12;
  if (std::memcmp(b, "GIF87a", 6) == 0) return 13;
  return 0;
}

int isrrbx(const char *path) {
  File f = zep::io::open_read(path);
  if (!f || zep::io::stream_length(f.get()) < 200) return 0;
  char b[8];
  if (std::fread(b, 1, 8, f.get()) != 8) return 0;
  return std::memcmp(b, "RRBXRRUX", 8) == 0 ? 1 : 0;
}

int issun(const char *path) {
  unsigned char b[32];
  if (zep::io::read_head(path, b, 32) < 32) return 0;
  const uint32_t type = zep::load_be32(b + 24);
  return zep::load_be32(b) == 0x59A66A95u && (type == 0 || type == 1) ? 1 : 0;
}

int isxwd(const char *path) {
  File f = zep::io::open_read(path);
  if (!f) return 0;
  const int64_t len = zep::io::stream_length(f.get());
  unsigned char b[100];
  if (len < 100 || std::fread(b, 1, 100, f.get()) != 100) return 0;
  auto w = [&b](int i) { return static_cast<uint64_t>(zep::load_be32(b + 4 * i)); };
  if (w(1) != 7) return 0;
  const uint64_t expected = w(0) + w(19) * 12 + w(12) * w(5);
  return expected == static_cast<uint64_t>(len) ? 1 : 0;
}

int isppm(const char *path) {
  unsigned char b[2];
  if (zep::io::read_head(path, b, 2) < 2) return 0;
  return b[0] == 'P' && (b[1] == '3' || b[1] == '6') ? 1 : 0;
}

int iskmw(const char *path) { return zep::io::kmw_mode(path) != 0 ? 1 : 0; }

int isps(const char *path) {
  File f = zep::io::open_read(path);
  if (!f) return 0;
  static const char kPjlPs[] = "\x1b%-12345X@PJL ENTER LANGUAGE=POSTSCRIPT";
  char line[257];
  int counted = 0;
  while (std::fgets(line, sizeof line, f.get())) {
    if (counted == 0) {
      char upper[257];
      size_t i = 0;
      for (; line[i]; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
      upper[i] = '\0';
      if (zep::io::starts_with(upper, kPjlPs)) return 1;
    }
    if (zep::io::starts_with(line, "%%")) continue;
    if (++counted > 66) return 0;
    if (zep::io::starts_with(line, "%!")) {
      while (std::fgets(line, sizeof line, f.get())) {
        if (++counted > 66) return 0;
        if (line[0] == '\n' || line[0] == '\r' || line[0] == '\0') continue;
        return line[0] == '%' || line[0] == '/' ? 1 : 0;
      }
      return 0;
    }
    if (line[0] != '%') return 0;
  }
  return 0;
}

int ispcl(const char *path) {
  File f = zep::io::open_read(path);
  if (!f) return 0;
  FILE *s = f.get();
  char line[257];
  if (std::fgets(line, sizeof line, s)) {
    for (char *p = line; *p; ++p)
      *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (zep::io::starts_with(line, "\x1b%-12345X@PJL")) return 1;
  }
  if (fseeko(s, 0, SEEK_SET) != 0) return 0;
  for (;;) {
    int c = std::fgetc(s);
    if (c == EOF) return 0;
    if (c != zep::io::kEsc) continue;
    const int c1 = std::fgetc(s);
    if (c1 == EOF) return 0;
    if (c1 == '&' || c1 == '(' || c1 == ')' || c1 == '*') {
      const int g = std::fgetc(s);
      if (g == EOF) return 0;
      if (g >= '@' && g <= '^') continue;
      if (g < '`' || g > '~') return 0;
      bool examine = false;
      if (c1 == '*') {
        examine = std::strchr("bcmrtv", g) != nullptr;
      } else if (c1 == '&') {
        examine = std::strchr("abl", g) != nullptr;
      } else if (c1 == '(') {
        if (g != 'f' && g != 's') return 0;
        examine = true;
      } else {
        if (g != 's') return 0;
        examine = true;
      }
      if (!examine) {
        if (!zep::io::skip_to_terminator(s)) return 0;
        continue;
      }
      int next = 0;
      const int64_t value = zep::io::read_pcl_number(s, &next);
      bool fraction_nonzero = false;
      if (next == '.') {
        next = std::fgetc(s);
        while (next != EOF && std::isdigit(next)) {
          if (next != '0') fraction_nonzero = true;
          next = std::fgetc(s);
        }
      }
      if (next == EOF) return 0;
      if (c1 == '*' && (g == 'b' || g == 'r' || g == 'v')) return 1;
      if (!fraction_nonzero) return 1;
      if (next == 'W') {
        uint64_t left = static_cast<uint64_t>(value < 0 ? -value : value);
        char skip[512];
        while (left > 0) {
          const size_t piece = left < sizeof skip ? static_cast<size_t>(left) : sizeof skip;
          const size_t got = std::fread(skip, 1, piece, s);
          if (got == 0) return 0;
          left -= got;
        }
      }
      continue;
    }
    if ((c1 >= '!' && c1 <= '%') || c1 == '\'' || (c1 >= '+' && c1 <= '/')) {
      if (!zep::io::skip_to_terminator(s)) return 0;
      continue;
    }
    if (c1 >= '0' && c1 <= '~') continue;
    return 0;
  }
}

int ReadFileType(const char *path) {
  unsigned char b[8];
  if (zep::io::read_head(path, b, 8) < 8) return -1;
  auto at = [&b](size_t pos, const char *s) {
    return std::memcmp(b + pos, s, std::strlen(s)) == 0;
  };
  if (at(0, "GIF87a")) return 13;
  if (at(0, "GIF89a")) return 12;
  if (at(0, "VIEW") || at(0, "WEIV")) return 21;
  if (b[0] == 'P' && b[1] >= '1' && b[1] <= '6') return 17;
  if (at(0, "#define")) return 29;
  if (b[0] == 0x59 && (b[1] & 0x7F) == 0x26 && b[2] == 0x6A && (b[3] & 0x7F) == 0x15) return 26;
  if (b[0] == 'B' && b[1] == 'M') return 32;
  if (b[0] == 'R' && b[1] == 0xCC) return 28;
  if ((b[0] == 0x01 && b[1] == 0xDA) || (b[0] == 0xDA && b[1] == 0x01)) return 14;
  if (b[0] == 0x1F && b[1] == 0x9D) return 11;
  if (b[0] == 0x0A && b[1] <= 5) return 19;
  if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return 15;
  if ((b[0] == 'M' && b[1] == 'M') || (b[0] == 'I' && b[1] == 'I')) return 27;
  if (at(0, "NJPL1I00") || at(2, "NJPL1I") || at(2, "CCSD3Z") || at(0, "LBLSIZE=")) return 20;
  if (at(0, "%!")) return 23;
  return -1;
}

int test_fichier(const char *path) {
  int r = isgif(path);
  if (r != 0) return r;
  if (isrrbx(path)) return 25;
  if (issun(path)) return 26;
  if (isxwd(path)) return 30;
  if (isppm(path)) return 22;
  const int mode = zep::io::kmw_mode(path);
  if (mode != 0) return mode == 3 ? 24 : 16;
  if (isps(path)) return 23;
  r = ReadFileType(path);
  if (r != -1) return r;
  if (ispcl(path)) return 18;
  return -1;
}

int wkoffit_(const char *name, size_t name_len) {
  size_t n = name_len > zep::io::kNameLimit ? zep::io::kNameLimit : name_len;
  n = name ? strnlen(name, n) : 0;
  std::string path;
  if (n > 0 && name[0] == '+') {
    path.assign(zep::trim_blanks(std::string_view(name, n), 1).substr(1));
  } else {
    size_t end = 0;
    while (end < n && name[end] != ' ' && name[end] != '\0') ++end;
    path.assign(name, end);
    bool has_lower = false;
    for (unsigned char c : path)
      if (c >= 'a' && c <= 'z') has_lower = true;
    if (!has_lower)
      for (char &c : path)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  File f = zep::io::open_read(path.c_str());
  if (!f) return -3;
  struct stat st;
  if (::fstat(fileno(f.get()), &st) != 0 || S_ISDIR(st.st_mode)) return -3;  // nothing to read
  const int64_t len = zep::io::stream_length(f.get());
  if (len == 0) return -2;
  unsigned char head[4096] = {0};
  if (len > 0) (void)std::fread(head, 1, sizeof head, f.get());
  auto w = [&head](int i) { return zep::load_be32(head + 4 * i); };
  FILE *s = f.get();
  if (w(0) == 0x55555555u && w(1) == 0x55555555u) return 1;
  if (w(0) == 64 && w(17) == 64 && w(2) == 0x20202020u) return 4;
  if (w(2) == zep::io::word_of("PK84") && isftnbin(s, static_cast<int>(w(0)))) return 5;
  if (w(28) == 0xAAAAAAAAu && w(29) == 0xAAAAAAAAu) return 2;
  if (w(29) == 0xAAAAAAAAu && w(30) == 0xAAAAAAAAu && isftnbin(s, static_cast<int>(w(0)))) return 3;
  if (w(3) == zep::io::word_of("STDR")) return 33;
  if (w(3) == zep::io::word_of("STDS")) return 34;
  if (w(3) == zep::io::word_of("QLT0") || w(3) == zep::io::word_of("qLt0")) return 6;
  if (w(0) == zep::io::word_of("GRIB")) return 7;
  if (w(0) == zep::io::word_of("BUFR")) return 8;
  if (w(0) == zep::io::word_of("BLOK")) return 9;
  if (isftnbin(s, static_cast<int>(w(0)))) return 10;
  f.reset();
  return test_fichier(path.c_str());
}

}  // extern "C"
