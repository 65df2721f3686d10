// Search criteria of standard records turned into a key image and a mask
// in entry layout (see descriptor.h), and the unit checks the searches share.
#pragma once

#include <cstdint>

namespace zep::stdfile {

struct SearchCriteria {
  int datev = -1;           // valid stamp, -1 any
  const char *etiket = "";  // at most 12 characters; blank = any
  int ip1 = -1, ip2 = -1, ip3 = -1;
  const char *typvar = "";  // at most 2 characters
  const char *nomvar = "";  // at most 4 characters
};

// Fills the 18-word key image and mask of `c`. Words 0..9 and the pads are
// never compared, nor the last three bits of the stored stamp.
void make_search_keys(const SearchCriteria &c, uint32_t *keys, uint32_t *mask);

// Checks that `iun` is bound and open; reports -29 or -1 under `module`
// (severity ERROR). Returns the file index of the open unit or the code.
int check_open_unit(int iun, const char *module);

}  // namespace zep::stdfile
