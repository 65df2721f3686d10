// vkt2xml: walks every record of a standard file in file order and writes
// one XML document with each record's descriptors, level, times and values.
#include "app/vkt2xml.h"

#include "app/xml_writer.h"
#include "coding/level_code.h"
#include "stdfile/read.h"
#include "xdf/table.h"
#include "zep/ccard.h"
#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace app {

namespace {

constexpr int kUnit = 1;
constexpr const char *kNoOutput = "bidon.xml";

struct Keys {
  std::string vkt, xml, encoding, format;
};

Keys read_keys(int argc, char **argv) {
  char names[4][16] = {"vkt.", "xml.", "encoding.", "format."};
  char defaults[4][16] = {"bidon.vkt", "bidon.xml", "ascii", "(8g14.6)"};
  char values[4][256];
  char *name_ptrs[4];
  char *default_ptrs[4];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(values[i], sizeof values[i], "%s", defaults[i]);
    name_ptrs[i] = names[i];
    default_ptrs[i] = defaults[i];
  }
  int npos = 0;
  c_ccard(argv, argc, name_ptrs, values, default_ptrs, 4, &npos);
  return Keys{values[0], values[1], values[2], values[3]};
}

// Descriptors of one record as c_vktprm gives them.
struct Record {
  int dateo = 0, deet = 0, npas = 0, ni = 0, nj = 0, nk = 0, nbits = 0, datyp = 0;
  int ip1 = 0, ip2 = 0, ip3 = 0;
  char typvar[3] = "  ", nomvar[5] = "    ", etiket[13] = "            ", grtyp[2] = " ";
  int ig1 = 0, ig2 = 0, ig3 = 0, ig4 = 0;
  int swa = 0, lng = 0, dltf = 0, ubc = 0, extra1 = 0, extra2 = 0, extra3 = 0;
};

int query(int handle, Record *r) {
  return c_vktprm(handle, &r->dateo, &r->deet, &r->npas, &r->ni, &r->nj, &r->nk, &r->nbits,
                  &r->datyp, &r->ip1, &r->ip2, &r->ip3, r->typvar, r->nomvar, r->etiket,
                  r->grtyp, &r->ig1, &r->ig2, &r->ig3, &r->ig4, &r->swa, &r->lng, &r->dltf,
                  &r->ubc, &r->extra1, &r->extra2, &r->extra3);
}

std::string record_name(const Record &r, int handle) {
  return std::string("record ") + r.nomvar + " (handle " + std::to_string(handle) + ")";
}

}  // namespace

void nettoyer(std::string *text) {
  while (!text->empty() && (text->back() == ' ' || text->back() == '\0')) text->pop_back();
}

bool xmlconvip(int ip1, std::string *text, std::string *why) {
  std::string level;
  // Notices of the level coding go where the library's standard output goes
  // (standard error while the document is on standard output).
  if (!coding::level_text(ip1, &level, stdout, why)) {
    text->clear();
    return false;
  }
  if (level.size() > 31) level.resize(31);
  *text = level;
  nettoyer(text);
  return true;
}

std::string xmlconvdate(int stamp) {
  int date = 0, time = 0, mode = -3;
  if (newdate_(&stamp, &date, &time, &mode) != 0) {
    date = 0;
    time = 0;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", date / 10000,
                (date / 100) % 100, date % 100, time / 1000000, (time / 10000) % 100,
                (time / 100) % 100);
  return buf;
}

int vkt2xml(int argc, char **argv) {
  Keys keys = read_keys(argc, argv);
  int status = 0;
  // Damage the library reports without failing a call (a directory page
  // checksum, a sequential file that ends in a broken object) fails the run.
  const int errors_before = xdf::errors_reported();

  // The document on standard output must be alone there: whatever the
  // library prints on standard output from here on goes to standard error.
  const bool to_stdout = keys.xml == kNoOutput;
  int out_fd = -1;
  if (to_stdout) {
    std::fflush(stdout);
    out_fd = dup(STDOUT_FILENO);
    if (out_fd >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
  }

  // An input that cannot be opened or a record that cannot be read is this
  // document's problem, not a reason to end the process: the document is
  // always completed and the exit status tells.
  c_vktopc("TOLRNC", "CATAST", 0);
  const bool bound =
      c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(kUnit)), keys.vkt.c_str(), "RND+R/O", 0) == 0;
  const bool opened = bound && c_vktouv(kUnit, "RND") >= 0;
  if (!opened) {
    std::fprintf(stderr, "vkt2xml: cannot open the standard file %s\n", keys.vkt.c_str());
    status = 1;
  }

  if (to_stdout) {
    c_vktopc("MSGLVL", "FATALE", 0);
  } else {
    out_fd = open(keys.xml.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  }
  if (out_fd < 0) {
    std::fputs("Cannot open output file... Exiting...", stderr);
    std::fflush(stdout);
    std::exit(13);
  }

  DocumentWriter doc(out_fd);
  doc.put("<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n");

  int ni = 0, nj = 0, nk = 0;
  char etiket[] = "            ", typvar[] = "  ", nomvar[] = "    ";
  int handle = opened ? c_vktinf(kUnit, &ni, &nj, &nk, -1, etiket, -1, -1, -1, typvar, nomvar) : -1;
  while (handle >= 0) {
    Record r;
    if (query(handle, &r) < 0) status = 1;
    r.etiket[12] = '\0';
    r.nomvar[4] = '\0';
    r.typvar[2] = '\0';
    r.grtyp[1] = '\0';

    std::string level, why;
    if (!xmlconvip(r.ip1, &level, &why)) {
      std::fprintf(stderr, "vkt2xml: %s: ip1 %d is not a valid level code: %s\n",
                   record_name(r, handle).c_str(), r.ip1, why.c_str());
      status = 1;
    }
    double hours = static_cast<double>(static_cast<int64_t>(r.deet) * r.npas) * (1.0 / 3600.0);
    int datev = 0;
    incdatr_(&datev, &r.dateo, &hours);
    std::string origin = xmlconvdate(r.dateo);
    std::string validity = xmlconvdate(datev);

    doc.put("<vktrecord>\n");
    doc.put_text_element(1, "<nomvar>", std::string_view(r.nomvar, std::strlen(r.nomvar)), "</nomvar>");
    doc.put_text_element(2, "<typvar>", std::string_view(r.typvar, std::strlen(r.typvar)), "</typvar>");
    doc.put_text_element(2, "<etiket>", std::string_view(r.etiket, std::strlen(r.etiket)), "</etiket>");
    doc.put_int_element(2, "<ip1>", r.ip1, "</ip1>");
    doc.put_int_element(2, "<ip2>", r.ip2, "</ip2>");
    doc.put_int_element(2, "<ip3>", r.ip3, "</ip3>");
    doc.put_int_element(2, "<ni>", r.ni, "</ni>");
    doc.put_int_element(2, "<nj>", r.nj, "</nj>");
    doc.put_int_element(2, "<nk>", r.nk, "</nk>");
    doc.put_int_element(2, "<dateo>", r.dateo, "</dateo>");
    doc.put_int_element(2, "<datev>", datev, "</datev>");
    doc.put_int_element(2, "<deet>", r.deet, "</deet>");
    doc.put_int_element(2, "<npas>", r.npas, "</npas>");
    doc.put_text_element(2, "<grtyp>", std::string_view(r.grtyp, std::strlen(r.grtyp)), "</grtyp>");
    doc.put_int_element(2, "<ig1>", r.ig1, "</ig1>");
    doc.put_int_element(2, "<ig2>", r.ig2, "</ig2>");
    doc.put_int_element(2, "<ig3>", r.ig3, "</ig3>");
    doc.put_int_element(2, "<ig4>", r.ig4, "</ig4>");
    doc.put_int_element(2, "<nbits>", r.nbits, "</nbits>");
    doc.put_int_element(2, "<datyp>", r.datyp, "</datyp>");
    doc.put_int_element(2, "<swa>", r.swa, "</swa>");
    doc.put_int_element(2, "<lng>", r.lng, "</lng>");
    doc.put_int_element(2, "<dltf>", r.dltf, "</dltf>");
    doc.put_int_element(2, "<ubc>", r.ubc, "</ubc>");
    doc.put_int_element(2, "<extra1>", r.extra1, "</extra1>");
    doc.put_int_element(2, "<extra2>", r.extra2, "</extra2>");
    doc.put_int_element(2, "<extra3>", r.extra3, "</extra3>");
    doc.put_text_element(2, "<level>", level, "</level>");
    doc.put_text_element(2, "<date-of-origin>", origin, "</date-of-origin>");
    doc.put_text_element(2, "<date-of-validity>", validity, "</date-of-validity>");
    doc.put("\t\t<vktdata encoding='ASCII' format='14.6g' orientation='south-to-north'>\n");
    doc.put("\t\t<values>");

    // Integers keep every digit as doubles; everything else is a float.
    const int kind = r.datyp & 0x7F;
    int got;
    if (kind == 2 || kind == 4) {
      std::vector<double> wide;
      got = stdfile::read_values(handle, &wide);
      if (got >= 0) doc.put_values(wide.data(), wide.size());
    } else {
      std::vector<float> values;
      got = stdfile::read_values_as_floats(handle, &values);
      if (got >= 0) doc.put_values(values.data(), values.size());
    }
    if (got < 0) {
      std::fprintf(stderr, "vkt2xml: %s: its values cannot be read\n",
                   record_name(r, handle).c_str());
      status = 1;
    }
    doc.put("\t\t</values>\n\t\t</vktdata>\n</vktrecord>\n");

    handle = c_vktsui(kUnit, &ni, &nj, &nk);
  }
  doc.put("</zep-standard-file>\n");

  bool written = doc.flush();
  if (close(out_fd) != 0 && written) {
    written = false;
  }
  if (!written) {
    std::fprintf(stderr, "vkt2xml: the document could not be written: %s\n",
                 doc.failed() ? doc.error().c_str() : std::strerror(errno));
    status = 1;
  }
  if (opened) c_vktfrm(kUnit);
  if (bound) c_fclos(kUnit);
  if (xdf::errors_reported() != errors_before) status = 1;
  std::fflush(stdout);
  return status;
}

}  // namespace app
