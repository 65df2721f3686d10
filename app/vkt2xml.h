// The converter's main routine, callable from the program entry and tests.
#pragma once

#include <string>

namespace zep::app {

// Runs the converter on an argument vector (entry 0 the program name, a null
// entry after the last) and returns the exit status: 0 when every record was
// converted, 1 when the input could not be opened or a record could not be
// read, decoded or levelled, the library reported damage to the file, or
// the document could not be written, 13 when
// the output file cannot be opened.
int vkt2xml(int argc, char **argv);

// Level text of an ip1 code for the document: the coded level in its text
// form without trailing blanks, or false (with the reason in `why`) when the
// code cannot be decoded.
bool xmlconvip(int ip1, std::string *text, std::string *why);

// Removes trailing blanks and terminators from a text.
void nettoyer(std::string *text);

// ISO 8601 text "YYYY-MM-DDThh:mm:ssZ" of a date-time stamp; zeros in every
// field when the stamp cannot be read.
std::string xmlconvdate(int stamp);

}  // namespace zep::app
