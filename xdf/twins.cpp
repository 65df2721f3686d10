// By-reference entry points of the directory-file layer: each converts its
// arguments (fixed-length blank-padded strings into terminated text) and
// forwards.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/fixed_text.h"
#include "xdf/table.h"
#include "zep/xdf.h"

namespace zep::xdf {
namespace {

constexpr int kMaxKeys = 100;

// A fixed-length field as terminated text: at most `cut` characters,
// trailing blanks removed.
std::string text_of(const char *field, size_t len, size_t cut = 256) {
  return zep::field_text(field, len, cut);
}

}  // namespace
}  // namespace zep::xdf

using namespace zep::xdf;

extern "C" {

int xdfopn_(int *iun, const char *mode, uint32_t *pri, int *npri, uint32_t *aux, int *naux,
            const char *appl, size_t mode_len, size_t appl_len) {
  if (*npri > kMaxKeys || *naux > kMaxKeys)
    return report("xdfopn", ERR_MAX_KEYS, SYSTEM, "npri=%d or naux=%d > MAX_KEYS must recompile",
                  *npri, *naux);
  const std::string m = text_of(mode, mode_len), a = text_of(appl, appl_len);
  return c_xdfopn(*iun, m.c_str(), pri, *npri, aux, *naux, a.c_str());
}

int xdfcls_(int *iun) { return c_xdfcls(*iun); }

int xdfcle_(const char *name, int *bitpos, int *width, int *type, uint32_t *desc0, uint32_t *desc1,
            size_t name_len) {
  const std::string n = text_of(name, name_len);
  return c_xdfcle(n.c_str(), *bitpos, *width, *type, desc0, desc1);
}

int xdfopt_(const char *name, const char *value, int *number, size_t name_len, size_t value_len) {
  const std::string n = text_of(name, name_len), v = text_of(value, value_len);
  return c_xdfopt(n.c_str(), v.c_str(), *number);
}

int xdfgop_(const char *name, char *value, int *number, size_t name_len, size_t value_len) {
  const std::string n = text_of(name, name_len);
  char out[16] = "";
  const int rc = c_xdfgop(n.c_str(), out, number);
  if (rc == 0 && out[0] != '\0') zep::fill_field(value, value_len, out);
  return rc;
}

int qdfmsig_(int *iun, const char *appl, size_t appl_len) {
  const std::string a = text_of(appl, appl_len);
  return c_qdfmsig(*iun, a.c_str());
}

int qdferr_(const char *module, const char *message, int *level, int *code, size_t module_len,
            size_t message_len) {
  const std::string m = text_of(module, module_len, 127);
  const std::string text = text_of(message, message_len, kErrmsgSize - 1);
  std::memcpy(errmsg(), text.c_str(), text.size() + 1);
  const int c = *code > 0 ? -*code : *code;
  return error_msg(m.c_str(), c, *level);
}

int qdfind_(int *iun) {
  const int index = file_index(*iun);
  return index < 0 ? 9999 : index;
}

int secateur_(const char *name, int *nbytes, size_t name_len) {
  const std::string n = text_of(name, name_len);
  return c_secateur(n.c_str(), *nbytes);
}

int xdfloc_(int *iun, int *handle, uint32_t *keys, int *nkeys) {
  if (*nkeys > kMaxKeys)
    return report("xdfloc", ERR_MAX_KEYS, SYSTEM, "nprim=%d > MAX_KEYS must recompile", *nkeys);
  return c_xdfloc(*iun, *handle, keys, *nkeys);
}

int xdfprm_(int *handle, int *addr, int *length, int *idtyp, uint32_t *keys, int *nkeys) {
  return c_xdfprm(*handle, addr, length, idtyp, keys, *nkeys);
}

int xdflnk_(int *units, int *n) { return c_xdflnk(units, *n); }

int xdfini_(int *iun, uint32_t *buf, int *idtyp, uint32_t *keys, int *nkeys, uint32_t *info,
            int *ninfo) {
  return c_xdfini(*iun, buf, *idtyp, keys, *nkeys, info, *ninfo);
}

int xdfupd_(int *iun, uint32_t *buf, int *idtyp, uint32_t *keys, int *nkeys, uint32_t *info,
            int *ninfo) {
  return c_xdfupd(*iun, buf, *idtyp, keys, *nkeys, info, *ninfo);
}

int xdfhdr_(uint32_t *buf, int *addr, int *length, int *idtyp, uint32_t *keys, int *nkeys,
            uint32_t *info, int *ninfo) {
  if (*nkeys > kMaxKeys || *ninfo > kMaxKeys)
    return report("xdfhdr", ERR_MAX_KEYS, SYSTEM, "nprim=%d or ninfo=%d > MAX_KEYS must recompile",
                  *nkeys, *ninfo);
  return c_xdfhdr(buf, addr, length, idtyp, keys, *nkeys, info, *ninfo);
}

int xdfadd_(uint32_t *buf, uint32_t *data, int *nelm, int *nbits, int *datyp) {
  return c_xdfadd(buf, data, *nelm, *nbits, *datyp);
}

int xdfins_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits, int *datyp) {
  return c_xdfins(buf, data, *bitpos, *nelm, *nbits, *datyp);
}

int xdfrep_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits, int *datyp) {
  return c_xdfrep(buf, data, *bitpos, *nelm, *nbits, *datyp);
}

int xdfxtr_(uint32_t *buf, uint32_t *data, int *bitpos, int *nelm, int *nbits, int *datyp) {
  return c_xdfxtr(buf, data, *bitpos, *nelm, *nbits, *datyp);
}

int xdfcut_(uint32_t *buf, int *bitpos, int *nelm, int *nbits, int *datyp) {
  return c_xdfcut(buf, *bitpos, *nelm, *nbits, *datyp);
}

int xdfput_(int *iun, int *handle, uint32_t *buf) { return c_xdfput(*iun, *handle, buf); }
int xdfget_(int *handle, uint32_t *buf) { return c_xdfget(*handle, buf); }
int xdfdel_(int *handle) { return c_xdfdel(*handle); }

}  // extern "C"
