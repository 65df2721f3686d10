// Pieces of the command-line key parser behind c_ccard: the working table
// and the steps that read it, reachable from the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zep::app {

constexpr size_t kKeyValueMax = 255;  // characters of a value slot

// One row per declared entry.
struct KeyEntry {
  std::string declared;  // the caller's name, byte for byte
  std::string name;      // upper-cased, trailing "." or "_" removed
  std::string fallback;  // the default
  std::string shown;     // the value on entry, shown in the calling sequence
  std::string value;     // the working value
  int mode = 0;          // 0 upper case, 1 lower case, 2 as typed
};

using KeyTable = std::vector<KeyEntry>;

// Parser state of one call.
struct KeyScan {
  KeyTable table;
  bool stop_mode = false;
  int positional_count = 0;
  std::string program;
};

// The process-wide positional slot index (kept from the leading positional
// scan to the scan after "--").
int &positional_slot();

// Upper-cased copy of the text.
std::string c_jfc_tradup(std::string_view text);
// Removes one trailing "." or "_" from the name; returns the case mode
// (2 for ".", 1 for "_", 0 otherwise).
int c_jfc_majmin(std::string *name);
// Folds the value in place: mode 0 upper case, 1 lower case, 2 unchanged.
void c_jfc_traduire(std::string *value, int mode);
// Index of the first entry whose name equals the upper-cased text, or -1.
int c_jfc_cherche_la_clef(std::string_view text, const KeyTable &table, int n);
// Assigns the value list `text` from slot *current on, for the key whose
// first entry is `key`; *current advances by one per piece.
void c_jfc_les_valeurs(KeyScan *scan, std::string_view text, int key, int *current);
// Writes the calling sequence on standard error.
void sequence_appel(const KeyTable &table, std::string_view program, int n);
// Positional scan over args[*place..count): fills the positional slots,
// counts positional arguments and excess ones; `leading` stops at the
// first argument that begins with "-". *place is left after the last
// argument read.
void c_jfc_positionel(char **args, int count, int *place, KeyScan *scan, int n, int poskey,
                      bool leading, int *excess);

}  // namespace zep::app
