// Texts of the converter's document as the tests read them back.
#pragma once

#include <cstdlib>
#include <string>

namespace zep_test {

// Undoes the document's escaping: &amp; &lt; &gt; and &#xHH;. A control
// byte is written by the converter as &#xFFFD;; it comes back as the byte
// 0x01, to be compared as "any control byte". Other entities stay as written.
inline std::string xml_unescape(const std::string &v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    const size_t semi = v[i] == '&' ? v.find(';', i) : std::string::npos;
    if (semi == std::string::npos) {
      out += v[i];
      continue;
    }
    const std::string ent = v.substr(i + 1, semi - i - 1);
    if (ent == "amp")
      out += '&';
    else if (ent == "lt")
      out += '<';
    else if (ent == "gt")
      out += '>';
    else if (ent == "#xFFFD")
      out += '\x01';
    else if (ent.rfind("#x", 0) == 0 && ent.size() > 2)
      out += static_cast<char>(std::strtoul(ent.c_str() + 2, nullptr, 16));
    else
      out += "&" + ent + ";";
    i = semi;
  }
  return out;
}

}  // namespace zep_test
