// The directive reader's internals: the verb table as the request filter,
// the by-reference twins and the tests reach it.
#pragma once

#include <string_view>

#include "zep/filter.h"

namespace zep::directives {

// Verbs the table can hold, characters of a verb name kept, characters of
// one token, argument slots and argument characters of one directive.
constexpr int kMaxVerbs = 1023;
constexpr size_t kMaxVerbName = 16;
constexpr size_t kMaxToken = 79;
constexpr int kMaxArgs = 51198;
constexpr long kMaxArgChars = 1638398;
constexpr long kMaxRangeChars = 1638369;
// Characters of directives read from one input, lines of any length; the
// rest of a longer input is refused.
constexpr size_t kMaxInputChars = size_t{16} << 20;

// Registers `name` (cut to kMaxVerbName characters) with exactly one of the
// two handler forms. Returns the number of registered verbs, or -1 when the
// name is empty, no handler is given or the table is full.
int register_verb(std::string_view name, zep_directive_fn handler, zep_directive_ref_fn ref_handler,
                  void *private1, int private2);

// Forgets every registered verb.
void clear_verbs();

// Character classes of the reader (a bit set per character; see directives.cpp).
unsigned char char_class(unsigned char c);

}  // namespace zep::directives

namespace zep::directives {
// The by-value handler of the visible registration of `name`, or null.
zep_directive_fn handler_of(const char *name);
}  // namespace zep::directives
