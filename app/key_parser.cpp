// Command-line key parser: named keys with a leading dash, values after "="
// or in the following arguments, value lists cut at ":", positional slots
// under the key "-", "--" ending the keys, "-h" printing the calling
// sequence. Messages go to standard error.
#include "app/key_parser.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zep/ccard.h"

namespace zep::app {

int &positional_slot() {
  static int slot = 0;
  return slot;
}

namespace {

constexpr int kNone = -1;

// Reports an error: its message, the calling sequence, and in stop mode the
// end of the process with status -1.
void report(const KeyScan &scan, const std::string &message) {
  std::fputs(message.c_str(), stderr);
  sequence_appel(scan.table, scan.program, static_cast<int>(scan.table.size()));
  if (scan.stop_mode) {
    std::fflush(stderr);
    std::exit(-1);
  }
}

// Stores `text` as the working value of slot `slot`, or refuses a text that
// does not fit a value slot (the slot keeps its value).
void assign(KeyScan *scan, int slot, std::string_view text) {
  KeyEntry &entry = scan->table[static_cast<size_t>(slot)];
  if (text.size() > kKeyValueMax) {
    report(*scan, " ***ERREUR VALEUR TROP LONGUE (PLUS DE 255 CARACTERES) POUR LA CLEF=" +
                      entry.name + "***\n");
    return;
  }
  entry.value.assign(text);
}

std::string bounded(const char *text) {
  if (text == nullptr) return std::string();
  return std::string(text, strnlen(text, 4096));
}

}  // namespace

std::string c_jfc_tradup(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

int c_jfc_majmin(std::string *name) {
  if (name->empty()) return 0;
  const char last = name->back();
  if (last == '.') {
    name->pop_back();
    return 2;
  }
  if (last == '_') {
    name->pop_back();
    return 1;
  }
  return 0;
}

void c_jfc_traduire(std::string *value, int mode) {
  if (mode == 2) return;
  for (char &c : *value) {
    const unsigned char u = static_cast<unsigned char>(c);
    c = static_cast<char>(mode == 1 ? std::tolower(u) : std::toupper(u));
  }
}

int c_jfc_cherche_la_clef(std::string_view text, const KeyTable &table, int n) {
  const std::string wanted = c_jfc_tradup(text);
  const int count = std::min(n, static_cast<int>(table.size()));
  for (int i = 0; i < count; ++i)
    if (table[static_cast<size_t>(i)].name == wanted) return i;
  return -1;
}

void c_jfc_les_valeurs(KeyScan *scan, std::string_view text, int key, int *current) {
  const int n = static_cast<int>(scan->table.size());
  const std::string &owner = scan->table[static_cast<size_t>(key)].declared;
  bool first = true;
  size_t start = 0;
  while (true) {
    const size_t colon = text.find(':', start);
    std::string_view piece = text.substr(
        start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
    if (!first && (*current >= n || scan->table[static_cast<size_t>(*current)].declared != owner)) {
      std::fputs("\n***ERREUR DEBORDEMENT DE LISTE  OU MODE POSITIONNEL\n", stderr);
      return;
    }
    if (!piece.empty() && piece.front() == '=') piece.remove_prefix(1);
    if (*current >= 0 && *current < n) assign(scan, *current, piece);
    ++*current;
    first = false;
    if (colon == std::string_view::npos) return;
    start = colon + 1;
  }
}

void sequence_appel(const KeyTable &table, std::string_view program, int n) {
  std::fputs("\n *** SEQUENCE D'APPEL ***\n\n", stderr);
  std::fprintf(stderr, "%.*s \n", static_cast<int>(program.size()), program.data());
  const int count = std::min(n, static_cast<int>(table.size()));
  for (int i = 0; i < count; ++i) {
    const KeyEntry &e = table[static_cast<size_t>(i)];
    std::fprintf(stderr, "          -%s [%s:%s]\n", e.name.c_str(), e.fallback.c_str(),
                 e.shown.c_str());
  }
  std::fputs("\n", stderr);
}

void c_jfc_positionel(char **args, int count, int *place, KeyScan *scan, int n, int poskey,
                      bool leading, int *excess) {
  int &slot = positional_slot();
  const std::string &posname = scan->table[static_cast<size_t>(poskey)].name;
  while (*place < count) {
    const char *arg = args[*place];
    if (leading && arg[0] == '-') return;
    ++*place;
    if (slot >= n) {
      ++*excess;
      return;
    }
    if (scan->table[static_cast<size_t>(slot)].name == posname)
      assign(scan, slot, bounded(arg));
    else
      ++*excess;
    ++slot;
    ++scan->positional_count;
  }
}

}  // namespace zep::app

using namespace zep::app;

extern "C" void c_ccard(char **argv, int argc, char **names, char values[][256], char **defaults,
                        int n, int *npos) {
  if (n < 0) n = 0;
  KeyScan scan;
  scan.table.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    KeyEntry &e = scan.table[static_cast<size_t>(i)];
    e.declared = bounded(names != nullptr ? names[i] : nullptr);
    e.name = c_jfc_tradup(e.declared);
    e.mode = c_jfc_majmin(&e.name);
    e.fallback = bounded(defaults != nullptr ? defaults[i] : nullptr);
    e.shown.assign(values[i], strnlen(values[i], kKeyValueMax));
    e.value = e.shown;
  }
  bool report_count = false;
  if (npos != nullptr) {
    if (*npos == -111) {
      scan.stop_mode = true;
    } else if (*npos > 0) {
      *npos = 0;
      report_count = true;
    }
  }
  // The vector ends at argc or at its first null entry.
  int count = 0;
  while (argv != nullptr && count < argc && argv[count] != nullptr) ++count;
  scan.program = count > 0 ? bounded(argv[0]) : std::string();

  if (count == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "-H") == 0)) {
    sequence_appel(scan.table, scan.program, n);
    std::fflush(stderr);
    std::exit(0);
  }

  const char *const excess_message = "\n ***ERREUR - TROP D'ARGUMENTS POSITIONELS \n";
  const int poskey = c_jfc_cherche_la_clef("-", scan.table, n);
  int place = 1;
  if (poskey >= 0) {
    positional_slot() = poskey;
    int excess = 0;
    c_jfc_positionel(argv, count, &place, &scan, n, poskey, true, &excess);
    if (excess > 0) report(scan, excess_message);
  }

  int last = kNone;
  int current = kNone;
  while (place < count) {
    const std::string arg = bounded(argv[place]);
    ++place;
    if (arg.compare(0, 2, "--") == 0) {
      int excess = 0;
      if (poskey >= 0) {
        c_jfc_positionel(argv, count, &place, &scan, n, poskey, false, &excess);
      } else {
        excess = count - place;
        place = count;
      }
      if (excess > 0) report(scan, excess_message);
      break;
    }
    if (!arg.empty() && arg[0] == '-') {
      const size_t eq = arg.find('=');
      const std::string name = arg.substr(1, eq == std::string::npos ? std::string::npos : eq - 1);
      if (name.size() > kKeyValueMax) {
        last = kNone;
        report(scan, " ***ERREUR CLEF TROP LONGUE (PLUS DE 255 CARACTERES)=" + name.substr(0, 32) +
                         "...***\n");
        continue;
      }
      const int key = c_jfc_cherche_la_clef(name, scan.table, n);
      if (key < 0) {
        last = kNone;
        report(scan, " ***ERREUR CLEF=" + name + " INVALIDE***\n");
        continue;
      }
      last = key;
      current = key;
      if (eq != std::string::npos) {
        c_jfc_les_valeurs(&scan, std::string_view(arg).substr(eq + 1), key, &current);
      } else {
        assign(&scan, current, scan.table[static_cast<size_t>(current)].fallback);
      }
      continue;
    }
    if (last != kNone && current >= 0 && current < n &&
        scan.table[static_cast<size_t>(current)].declared ==
            scan.table[static_cast<size_t>(last)].declared) {
      c_jfc_les_valeurs(&scan, arg, last, &current);
    } else {
      report(scan, "\n ***DEBORDEMENT DE LISTE \n");
    }
  }

  for (int i = 0; i < n; ++i) {
    KeyEntry &e = scan.table[static_cast<size_t>(i)];
    c_jfc_traduire(&e.value, e.mode);
    const size_t len = std::min(e.value.size(), kKeyValueMax);
    std::memcpy(values[i], e.value.data(), len);
    values[i][len] = '\0';
  }
  if (report_count) *npos = scan.positional_count;
}

extern "C" int c_fretour(void) { return 0; }
