// By-reference entries of the sequential standard-file calls: each
// dereferences its arguments and forwards.
#include "zep/stdfile_seq.h"

extern "C" {

int vktrwd_(int *iun) { return c_vktrwd(*iun); }
int vktskp_(int *iun, int *nrec) { return c_vktskp(*iun, *nrec); }
int vktapp_(int *iun) { return c_vktapp(*iun); }
int vktweo_(int *iun, int *level) { return c_vktweo(*iun, *level); }
int vkteof_(int *iun) { return c_vkteof(*iun); }

}  // extern "C"
