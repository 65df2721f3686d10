// The lines of `zep ls`: a header, one row per record, in one of three
// formats. Rows are built from the record's descriptor alone (and its
// statistics with --stats); ls.cpp walks the files.
#ifndef ZEP_CLI_LISTING_H
#define ZEP_CLI_LISTING_H

#include <string>

#include "cli/files.h"
#include "zep/api.h"

namespace cli {

enum class Format { kTable, kCsv, kJson };
bool parse_format(const std::string &text, Format *out);

class Listing {
 public:
  // with_stats adds min, max and mean; with_file adds the file's name to
  // table rows (csv and json rows always carry it).
  Listing(Format format, bool with_stats, bool with_file)
      : format_(format), stats_(with_stats), file_(with_file) {}

  // The text before the first row (the header line, or "[").
  std::string begin() const;
  // One record. stats is used with --stats; stats->ok false prints no
  // values (a dash, an empty field, null).
  std::string row(const zep_record &rec, const std::string &file, const Stats *stats);
  // The text after the last row.
  std::string end() const;

 private:
  std::string table_row(const zep_record &rec, const std::string &file, const Stats *stats) const;
  std::string csv_row(const zep_record &rec, const std::string &file, const Stats *stats) const;
  std::string json_row(const zep_record &rec, const std::string &file, const Stats *stats) const;

  Format format_;
  bool stats_, file_;
  bool first_ = true;
};

}  // namespace cli

#endif
