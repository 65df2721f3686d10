// The one-line listing of standard records, in pieces that can be tested.
#pragma once

#include <cstdint>
#include <string>

namespace zep::stdfile {

// The row that print_std_parms prints for an 18-word entry (line end
// included); with `header`, the title block first.
std::string listing_line(const uint32_t *entry, const char *text, const char *options, bool header);

// The 15-character level column of ip1 for the record named `nomvar`
// (4 characters): the raw code when the name is one of the level
// exceptions, else the decoded level text placed as the listing places it.
std::string level_column(int ip1, const char *nomvar);

// The level exceptions text ("^^  >>  " unless $OBRVLIB/data/exception_vars
// gives a first line), read once per process.
const std::string &level_exceptions();

}  // namespace zep::stdfile
