// JSON texts written by `zep ls --format json`.
#ifndef ZEP_CLI_JSON_H
#define ZEP_CLI_JSON_H

#include <string>
#include <string_view>

namespace cli {

// Appends s as a JSON string, quotes included. Record texts are bytes, not
// UTF-8: '"' and '\' are escaped, control bytes and bytes above 0x7E are
// written as \u00XX (the byte read as Latin-1), so the output is ASCII and
// always valid JSON.
void append_json_string(std::string *out, std::string_view s);

// Appends a name given by the user (a file name): valid UTF-8 is kept as
// it is, other bytes are escaped as append_json_string does.
void append_json_name(std::string *out, std::string_view s);

// Appends a number: the shortest text that reads back as the same double;
// NaN and infinities, which JSON cannot hold, as null.
void append_json_number(std::string *out, double v);

}  // namespace cli

#endif
