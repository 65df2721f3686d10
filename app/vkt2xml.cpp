// vkt2xml: walks every record of a standard file in file order and writes
// one XML document with each record's descriptors, level, times and values.
#include "app/vkt2xml.h"

#include "app/xml_writer.h"
#include "coding/level_code.h"
#include "io/file_table.h"
#include "stdfile/filter.h"
#include "stdfile/read.h"
#include "xdf/table.h"
#include "zep/ccard.h"
#include "zep/coding.h"
#include "zep/io.h"
#include "zep/stdfile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zep::app {

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
                  &r->datyp, &r->ip1, &r->ip2, &r->ip3, r->typvar, r->nomvar, r->etiket, r->grtyp,
                  &r->ig1, &r->ig2, &r->ig3, &r->ig4, &r->swa, &r->lng, &r->dltf, &r->ubc,
                  &r->extra1, &r->extra2, &r->extra3);
}

std::string record_name(const Record &r, int handle) {
  return std::string("record ") + r.nomvar + " (handle " + std::to_string(handle) + ")";
}

// The path the library gave the input unit (names folded, '@' searched),
// or the name as typed when the unit could not be bound.
std::string input_path(const std::string &typed) {
  const int row = io::file_index_of(kUnit);
  if (row >= 0 && !io::file_entry(row).file_name.empty()) return io::file_entry(row).file_name;
  return typed;
}

bool same_file(const std::string &a, const std::string &b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Name of a file kind the detector recognised, for messages.
const char *kind_name(int kind) {
  switch (kind) {
    case -3: return "a file that cannot be read";
    case -2: return "an empty file";
    case -1: return "a file of no known kind";
    case 1:
    case 2:
    case 3: return "a standard file of an old layout";
    case 6: return "a report file";
    case 7: return "a GRIB message file";
    case 8: return "a BUFR message file";
    case 10:
    case 4:
    case 5: return "a record-framed file";
    case 11: return "compressed data";
    case 12:
    case 13:
    case 14:
    case 15:
    case 17:
    case 19:
    case 20:
    case 22:
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 32: return "an image";
    case 18:
    case 23: return "a printer file";
    case 33: return "a random standard file";
    case 34: return "a sequential standard file";
    default: return "a file of another kind";
  }
}

bool only_upper_case(const std::string &s) {
  bool upper = false;
  for (unsigned char c : s) {
    if (c >= 'a' && c <= 'z') return false;
    if (c >= 'A' && c <= 'Z') upper = true;
  }
  return upper;
}

// Why the input could not be opened, in words that say what to do.
std::string why_input_failed(const std::string &typed) {
  if (!typed.empty() && typed[0] == '@') {
    const std::string name = typed.substr(1);
    return "no file " + name + " was found in any place searched for @ names: ./" + name + ", " +
           io::yreksio_root() + "/datafiles/constants/" + name + " ($YREKSIO), " +
           io::obrvlib_root() + "/data/" + name + " ($OBRVLIB)";
  }
  std::string path = input_path(typed);
  if (!typed.empty() && typed[0] == '+') {
    path = typed.substr(1);
  } else if (path == typed && only_upper_case(typed)) {  // folded as the binding does
    for (char &c : path)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const std::string reason = path + ": " + std::strerror(errno);
    if (!typed.empty() && typed[0] != '+' && typed[0] != '%' && only_upper_case(typed)) {
      std::string hint = reason + "; names in upper case are folded to lower case (" + path +
                         " was looked for), a leading + keeps a name as written (-vkt +" + typed +
                         ")";
      if (stat(typed.c_str(), &st) == 0) hint += ", and " + typed + " exists as written";
      return hint;
    }
    return reason;
  }
  if (S_ISDIR(st.st_mode)) return path + " is a directory, not a standard file";
  const std::string plus = "+" + path;
  const int kind = wkoffit_(plus.c_str(), plus.size());
  if (kind == 33 || kind == 34 || (kind >= 1 && kind <= 2))
    return path + " is " + kind_name(kind) + " that could not be opened (see the messages above)";
  return path + " is not a standard file: it was recognised as " + kind_name(kind) + " (kind " +
         std::to_string(kind) +
         "); the converter reads random and sequential standard files, of the current or an old "
         "layout";
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
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", date / 10000, (date / 100) % 100,
                date % 100, time / 1000000, (time / 10000) % 100, (time / 100) % 100);
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
  const bool bound = c_fnom(reinterpret_cast<void *>(static_cast<intptr_t>(kUnit)),
                            keys.vkt.c_str(), "RND+R/O", 0) == 0;
  const bool opened = bound && c_vktouv(kUnit, "RND") >= 0;
  if (!opened) {
    std::fprintf(stderr, "vkt2xml: cannot open the standard file %s: %s\n", keys.vkt.c_str(),
                 why_input_failed(keys.vkt).c_str());
    status = 1;
  }

  // Writing the document over its own input would destroy the input: an
  // output that is the input file under any name (./X, a link) is refused
  // before it is opened.
  if (!to_stdout && same_file(input_path(keys.vkt), keys.xml)) {
    std::fprintf(stderr,
                 "vkt2xml: the output file %s is the input file %s: it would be overwritten; "
                 "give another output name\n",
                 keys.xml.c_str(), keys.vkt.c_str());
    std::fflush(stdout);
    std::exit(13);
  }

  if (to_stdout) {
    c_vktopc("MSGLVL", "FATALE", 0);
  } else {
    out_fd = open(keys.xml.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  }
  if (out_fd < 0) {
    const int err = errno;
    std::fputs("Cannot open output file... Exiting...", stderr);
    std::fprintf(stderr, " %s: %s\n", keys.xml.c_str(), std::strerror(err));
    std::fflush(stdout);
    std::exit(13);
  }

  // Values are formatted on every core the process may use unless
  // VKT2XML_THREADS asks for another count (1: all on this thread).
  DocumentWriter doc(out_fd, threads_from_setting(std::getenv("VKT2XML_THREADS"), usable_cores()));
  doc.put("<?xml version='1.0' encoding='utf-8' standalone='yes'?>\n<zep-standard-file>\n");

  int ni = 0, nj = 0, nk = 0;
  char etiket[] = "            ", typvar[] = "  ", nomvar[] = "    ";
  // The values are fetched again record after record into buffers reused;
  // with threads the writer keeps the records whose values it is formatting
  // while the next one is read. Packed reals stay packed until formatted:
  // each piece is decoded by the thread that formats it.
  stdfile::FloatValues values;
  std::vector<double> wide;
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
    doc.put_text_element(1, "<nomvar>", std::string_view(r.nomvar, std::strlen(r.nomvar)),
                         "</nomvar>");
    doc.put_text_element(2, "<typvar>", std::string_view(r.typvar, std::strlen(r.typvar)),
                         "</typvar>");
    doc.put_text_element(2, "<etiket>", std::string_view(r.etiket, std::strlen(r.etiket)),
                         "</etiket>");
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
    // (The buffers of the other kind are let go: the writer keeps the
    // values of the two records before this one at most.)
    if (kind == 2 || kind == 4) {
      values = stdfile::FloatValues();
      got = stdfile::read_values(handle, &wide);
      if (got >= 0) doc.put_values(&wide);
    } else {
      std::vector<double>().swap(wide);
      got = values.fetch(handle);
      if (got >= 0) doc.put_values(&values);
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
  if (doc.unread_records() > 0) {
    std::fprintf(stderr,
                 "vkt2xml: the values of %d records could not all be read (the file was cut "
                 "short or failed while it was read): those values are written as zeros\n",
                 doc.unread_records());
    status = 1;
  }
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
  // A filter file that could not be read in full filters with what it
  // could: the records written are not the ones asked for.
  if (stdfile::filter_file_problems() != 0) status = 1;
  std::fflush(stdout);
  return status;
}

}  // namespace zep::app
