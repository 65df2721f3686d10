// Record-unit (FTN) files over plain files: a numbered unit opened for
// direct access with a record length, or for sequential access, formatted
// or unformatted. Only the open and the close are needed here; the streams
// are kept per unit for the layers that read and write records.
#include <cstdio>
#include <map>
#include <string>

#include "io/file_table.h"

namespace zep::io {

namespace {

struct RecordUnit {
  FILE *stream = nullptr;
  bool direct = false;
  bool unformatted = false;
  int record_bytes = 0;
};

std::map<int, RecordUnit> &record_units() {
  static std::map<int, RecordUnit> units;
  return units;
}

bool names_standard_stream(const std::string &name) {
  return name == "input" || name == "$input" || name == "output" || name == "$output" ||
         name == "$in" || name == "$out";
}

}  // namespace

int record_unit_open(int iun, const std::string &name, int lrec, bool direct, bool unformatted) {
  std::printf(" opening file %s as unit %12d\n", name.c_str(), iun);
  if (!direct && names_standard_stream(name)) return 0;
  RecordUnit u;
  u.direct = direct;
  u.unformatted = unformatted;
  u.record_bytes = lrec * 4;
  u.stream = std::fopen(name.c_str(), "r+b");
  if (u.stream == nullptr) u.stream = std::fopen(name.c_str(), "w+b");
  if (u.stream == nullptr) u.stream = std::fopen(name.c_str(), "rb");
  auto &units = record_units();
  auto old = units.find(iun);
  if (old != units.end() && old->second.stream) std::fclose(old->second.stream);
  units[iun] = u;
  return 0;
}

int record_unit_close(int iun) {
  auto &units = record_units();
  auto it = units.find(iun);
  if (it == units.end()) return 0;
  if (it->second.stream) std::fclose(it->second.stream);
  units.erase(it);
  return 0;
}

}  // namespace zep::io
