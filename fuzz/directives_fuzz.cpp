// The directive reader and the request filter on arbitrary text: the input
// is read as a directive file (the filter's verbs ip1, ip2, ip3, date,
// nomvar, typvar, etiquette, and two verbs of this target that check what
// every handler is given), then records are matched against the sets it
// left.
#include "fuzz/fuzz_support.h"
#include "stdfile/filter.h"
#include "zep/filter.h"

#include <cstring>

namespace {

// A by-value handler: the verb and argc texts, a null after them, and a
// command character of '(' or '='.
int check_args(int argc, char **argv, char cmd, void *, int) {
  if (argc < 0 || argv == nullptr || argv[0] == nullptr) fuzz::fail("handler given no verb");
  if (cmd != '(' && cmd != '=') fuzz::fail("command neither '(' nor '='");
  for (int i = 0; i <= argc; ++i) {
    if (argv[i] == nullptr) fuzz::fail("null argument before argc");
    (void)std::strlen(argv[i]);
  }
  if (argv[argc + 1] != nullptr) fuzz::fail("argument vector not null-terminated");
  return argc % 3 == 0 ? 0 : 1;  // some directives fail, as handlers may
}

// The by-reference form: one block of argc + 1 texts of `width` characters.
int check_block(int *argc, char *argv, char *cmd, void *, int *, size_t width, size_t cmd_len) {
  if (argc == nullptr || *argc < 0 || cmd == nullptr || cmd_len != 1) fuzz::fail("bad block call");
  volatile char sink = 0;
  for (size_t i = 0; i < (static_cast<size_t>(*argc) + 1) * width; ++i) sink ^= argv[i];
  (void)sink;
  return 0;
}

void register_checkers() {
  static bool done = false;
  if (done) return;
  done = true;
  zep_c_callback("v", check_args, "", nullptr, 0);
  zep_c_callback("verbe_long_de_seize", check_args, "", nullptr, 7);
  int private2 = 3;
  zep_f_callback_("f", check_block, "", nullptr, &private2, 1, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = fuzz::Scratch::file("directives.txt");
  register_checkers();
  for (int s = 0; s < 20; ++s) c_requetes_reset(s, 0, 0, 0, 0, 0, 0, 0);
  c_desire_groupset(0, 19);
  fuzz::write_file(path, data, size);
  c_requetes_read_file(path.c_str());

  // Records of each kind of level and date the sets may name.
  static const struct {
    const char *etiket, *nomvar, *typvar;
    int dateo, ip1, ip2, ip3;
  } records[] = {
      {"R2508V0N    ", "TT  ", "P ", 0x1A2B3C4D, 12000, 6, 0},
      {"            ", "GZ  ", "A ", 0, 0, 0, 0},
      {"ETIKET      ", "UU  ", "C ", 443243200, 95177626, 12, 5},
      {"X           ", ">>  ", "X ", -1, -1, -1, -1},
  };
  for (const auto &r : records) {
    zep::stdfile::RecordDescriptors d;
    std::memcpy(d.etiket, r.etiket, 12);
    std::memcpy(d.nomvar, r.nomvar, 4);
    std::memcpy(d.typvar, r.typvar, 2);
    d.dateo = r.dateo;
    d.ip1 = r.ip1;
    d.ip2 = r.ip2;
    d.ip3 = r.ip3;
    const int verdict = zep::stdfile::match_request(d, 1);
    if (verdict != 0 && verdict != 1) fuzz::fail("match verdict neither 0 nor 1");
  }
  return 0;
}
