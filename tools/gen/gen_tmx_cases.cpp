// Random TMX documents for the TMX reader's golden test: gen_tmx_cases OUTDIR [SEED [COUNT]].
//
// Writes OUTDIR/case-NNN.tmx (and case-NNN-p.tmx for the cases to be read with the property
// types x-Client and x-Project), reproducible from the seed (default 15, 60 cases) with the same
// compiler (some expressions draw several numbers in an order the language leaves open). The
// documents mix what real files and broken ones hold: every encoding (UTF-8 with and without
// its mark, UTF-16 in both byte orders with and without a mark, an 8-bit page named by the
// declaration, no declaration at all), inline elements (bpt, ept, ph, it, ut, hi, sub; empty,
// nested, with escaped markup inside), references (named, decimal, hexadecimal, "&'", unknown
// names, references to 0, TAB and line ends, beyond the BMP), CDATA sections, comments,
// processing instructions, blanks, TABs and line ends of every kind inside tags, attributes in
// single quotes, without quotes or without a value, a third language, variants missing, props,
// and now and then bytes that are no UTF-8. A few cases are long enough to span the reader's
// blocks. Dates are all before 2025, so that a reader's "now" can be told apart from them.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/core/Utf8.h"

namespace {

// splitmix64: the same numbers on every platform and library.
struct TRandom {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) { return v[static_cast<size_t>(Below(static_cast<int>(v.size())))]; }
};

const std::vector<std::string> kWords = {
    "Press", "the", "button", "to", "start", "printer", "Gerät", "über", "café", "crème", "naïve", "Ärger",
    "устройство", "файл", "設定", "接続", "𩸽", "😀", "αβγ", "שלום", "مرحبا", "x", "42", "a+b", "x;y", "{1}",
    "\\b0", "50%", "tA", "t=", "#", "'", "\"quoted\"", "it's", "]]", "-->", "=", "/", "?", "!"};

const std::vector<std::string> kReferences = {
    "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&eacute;", "&euro;", "&nbsp;", "&copy;", "&frac12;", "&yuml;",
    "&#233;", "&#x1F600;", "&#128512;", "&#9;", "&#x9;", "&#10;", "&#13;", "&#0;", "&#7;", "&#160;", "&#xA0;",
    "&'41;", "&'1F600;", "&foo;", "&am;", "&amp;lt;", "&amp;amp;", "&#38;lt;", "&#60;b&#62;", "&", "& ", "&;",
    "&#;", "&#x;", "&#65x;", "&tA;", "&tB;", "&amp;tA;", "&t={\\b};", "&amp;t=x;", "&pA;", "&#xFFFF;", "&#x110000;",
    "&#1114111;", "&#55357;"};

const std::vector<std::string> kLanguages = {"en-US", "EN-us", "en-GB", "fr-FR", "de-DE", "ja-JP", "zh-Hans-CN",
                                             "es-419", "pt_BR", "ru",    "fr-CA"};

std::string Blank(TRandom& r) {
  switch (r.Below(10)) {
    case 0: return "\t";
    case 1: return "\r\n";
    case 2: return "\n";
    case 3: return "\r";
    case 4: return "  ";
    case 5: return " \t\r\n ";
    default: return " ";
  }
}

std::string Escaped(const std::string& s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c; break;
    }
  }
  return out;
}

// name="value" in one of the ways files spell it.
std::string Attribute(TRandom& r, const std::string& name, const std::string& value) {
  switch (r.Below(12)) {
    case 0: return name + "='" + value + "'";
    case 1: return name + " = \"" + value + "\"";
    case 2: return name + "=" + Blank(r) + "\"" + value + "\"";
    case 3: return value.find_first_of(" \t\r\n/>?\"'") == std::string::npos && !value.empty() ? name + "=" + value
                                                                                              : name + "=\"" + value + "\"";
    case 4: return name + "=\"" + value + "\"" + Blank(r) + "bare";  // an attribute without "="
    default: return name + "=\"" + value + "\"";
  }
}

std::string Date(TRandom& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02dZ", 1995 + r.Below(29), 1 + r.Below(12), 1 + r.Below(28),
                r.Below(24), r.Below(60), r.Below(60));
  std::string d = buf;
  if (r.Chance(4)) d = d.substr(0, 8);    // no time: taken as no date
  if (r.Chance(3)) d = "2019-01-02 03:04"; // another shape
  return d;
}

std::string Text(TRandom& r, int words);

// An inline element, with content or empty, perhaps nested.
std::string Inline(TRandom& r, int depth) {
  const std::string i = std::to_string(1 + r.Below(4));
  switch (r.Below(11)) {
    case 0: return "<bpt i=\"" + i + "\" x=\"" + i + "\">&lt;b&gt;</bpt>";
    case 1: return "<ept i=\"" + i + "\">&lt;/b&gt;</ept>";
    case 2: return "<ph x=\"" + i + "\"" + (r.Chance(50) ? " type=\"lb\"" : "") + "/>";
    case 3: return "<ph>{\\field{\\*\\fldinst HYPERLINK}}</ph>";
    case 4: return "<it pos=\"" + std::string(r.Chance(50) ? "begin" : "end") + "\">&lt;i&gt;</it>";
    case 5: return "<ut>{\\b " + Text(r, 1) + "}</ut>";
    case 6: return depth < 2 ? "<hi type=\"bold\">" + Text(r, 2) + (r.Chance(40) ? Inline(r, depth + 1) : "") + "</hi>"
                             : "<hi/>";
    case 7: return "<bpt i=\"" + i + "\">&lt;a href=\"#\"&gt;<sub>" + Text(r, 2) + "</sub>&lt;/a&gt;</bpt>";
    case 8: return "<bpt i=\"" + i + "\" x=\"" + i + "\"/>";
    case 9: return depth < 2 ? "<ph>" + Inline(r, depth + 1) + "</ph>" : "<ept i=\"" + i + "\"/>";
    default: return "<ph" + Blank(r) + "x='" + i + "'" + Blank(r) + "/>";
  }
}

std::string Text(TRandom& r, int words) {
  std::string out;
  for (int w = 0; w < words; ++w) {
    if (w) out += r.Chance(90) ? " " : (r.Chance(50) ? "\t" : "\r\n");
    const int kind = r.Below(100);
    if (kind < 60) out += Escaped(r.Pick(kWords));
    else if (kind < 78) out += r.Pick(kReferences);
    else if (kind < 84) out += "<![CDATA[" + r.Pick(kWords) + " <b> & ]]>";
    else if (kind < 88) out += "<!-- " + r.Pick(kWords) + " <x> -- -->";
    else if (kind < 90) out += "<?pi " + r.Pick(kWords) + "?>";
    else if (kind < 93) out += "\xC3(\xE2\x82\xF0\x9F";  // bytes that are no UTF-8
    else if (kind < 95) out += "{" + r.Pick(kWords) + "}";
    else if (kind < 97) out += "&lt;" + r.Pick(kWords) + "&gt;";
    else out += Escaped(r.Pick(kWords)) + "  ";
  }
  return out;
}

std::string Segment(TRandom& r) {
  std::string seg;
  const int pieces = 1 + r.Below(6);
  for (int p = 0; p < pieces; ++p) seg += r.Chance(35) ? Inline(r, 0) : Text(r, 1 + r.Below(5));
  if (r.Chance(5)) seg = "";
  if (r.Chance(5)) seg = "   " + seg + "   ";
  return seg;
}

std::string Unit(TRandom& r, const std::string& source, const std::string& target, int index) {
  std::string tu = "<tu";
  if (r.Chance(70)) tu += Blank(r) + Attribute(r, r.Chance(70) ? "creationdate" : "changedate", Date(r));
  else tu += " creationdate=\"2001010" + std::to_string(index % 10) + "T101010Z\"";
  if (r.Chance(60)) tu += Blank(r) + Attribute(r, r.Chance(70) ? "creationid" : "changeid", r.Chance(80) ? "ANA" : "J&amp;K");
  if (r.Chance(60)) tu += Blank(r) + Attribute(r, "usagecount", r.Chance(80) ? std::to_string(r.Below(50)) : "x1");
  if (r.Chance(10)) tu += Blank(r) + Attribute(r, "CreationDate", Date(r));
  tu += r.Chance(10) ? Blank(r) + ">" : ">";
  tu += Blank(r);
  if (r.Chance(30)) tu += "<prop type=\"x-Client\">" + Text(r, 2) + "</prop>";
  if (r.Chance(20)) tu += "<prop type='x-Project'>P&amp;Q</prop>";
  if (r.Chance(10)) tu += "<prop type=\"x-Other\">o</prop>";
  if (r.Chance(10)) tu += "<note>" + Text(r, 3) + "</note>";
  std::vector<std::string> langs;
  if (r.Chance(92)) langs.push_back(source);
  if (r.Chance(88)) langs.push_back(target);
  if (r.Chance(15)) langs.push_back(r.Pick(kLanguages));
  if (r.Chance(20) && langs.size() > 1) std::swap(langs[0], langs[1]);
  for (const std::string& lang : langs) {
    tu += "<tuv" + Blank(r) + Attribute(r, r.Chance(90) ? "xml:lang" : "lang", lang);
    if (r.Chance(10)) tu += Blank(r) + Attribute(r, "changedate", Date(r));
    if (r.Chance(5)) tu += Blank(r) + Attribute(r, "creationid", "TUV");
    tu += ">";
    tu += Blank(r);
    tu += "<seg>";
    tu += Segment(r);
    tu += "</seg>";
    tu += Blank(r);
    tu += "</tuv";
    if (r.Chance(10)) tu += Blank(r);
    tu += ">";
  }
  return tu + Blank(r) + "</tu>\r\n";
}

// UTF-8 -> UTF-16 (ill-formed bytes become U+FFFD, as they must before a UTF-16 file exists).
std::u16string ToUtf16(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    int n = b < 0x80 ? 1 : b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    uint32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = n > 0 && i + static_cast<size_t>(n) <= s.size();
    for (int k = 1; ok && k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      ok = (t & 0xC0) == 0x80;
      c = c << 6 | (t & 0x3F);
    }
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<size_t>(n);
    platform::AppendUtf16(out, c);
  }
  return out;
}

// UTF-8 -> Latin-1 ("?" for what it lacks), for the cases in an 8-bit page.
std::string ToLatin1(const std::string& s) {
  std::string out;
  for (const char16_t c : ToUtf16(s)) out += c < 0x100 ? static_cast<char>(c) : '?';
  return out;
}

std::string Document(TRandom& r, int units, int encoding) {
  static const char* const kDeclared[] = {"UTF-8", "utf-8", "UTF-16", "ISO-8859-1", "windows-1252", ""};
  std::string declared;
  switch (encoding) {
    case 0: case 1: declared = r.Chance(80) ? "UTF-8" : "utf-8"; break;
    case 2: case 3: case 4: case 5: declared = r.Chance(70) ? "UTF-16" : ""; break;
    case 6: declared = r.Chance(50) ? "ISO-8859-1" : "windows-1252"; break;
    default: declared = kDeclared[r.Below(6)]; break;
  }
  std::string doc;
  if (encoding != 7 || r.Chance(70)) {
    doc += "<?xml version=\"1.0\"";
    if (!declared.empty()) doc += " encoding=" + std::string(r.Chance(80) ? "\"" + declared + "\"" : "'" + declared + "'");
    doc += "?>\r\n";
  }
  if (r.Chance(30)) doc += "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n";
  if (r.Chance(20)) doc += "<!-- made by a test -->\n";
  static const std::vector<std::pair<std::string, std::string>> kPairs = {
      {"en-US", "fr-FR"}, {"en-GB", "de-DE"}, {"EN-US", "ja-JP"}, {"de-DE", "en-US"}, {"en", "es-419"}};
  const auto& [source, target] = r.Pick(kPairs);
  doc += "<tmx version=\"1.4\">" + Blank(r);
  if (r.Chance(90)) {
    doc += "<header" + Blank(r) + "creationtool=\"gen\" segtype=\"sentence\" o-tmf=\"x\" datatype=\"plaintext\"";
    const int srclang = r.Below(10);
    if (srclang < 6) doc += Blank(r) + Attribute(r, "srclang", source);
    else if (srclang < 7) doc += " srclang=\"*all*\"";
    else if (srclang < 8) doc += " adminlang=\"" + source + "\"";
    if (r.Chance(85)) doc += " creationdate=\"20200101T000000Z\"";
    if (r.Chance(50)) doc += " creationid=\"Hdr\"";
    doc += r.Chance(50) ? "/>" : "><note>n</note></header>";
  }
  doc += Blank(r) + "<body>\r\n";
  for (int u = 0; u < units; ++u) doc += Unit(r, source, target, u);
  doc += "</body>" + Blank(r) + "</tmx>\r\n";

  switch (encoding) {
    case 0: return doc;
    case 1: return "\xEF\xBB\xBF" + doc;
    case 2: case 3: case 4: case 5: {
      const bool bigEndian = encoding == 3 || encoding == 5;
      const bool mark = encoding <= 3;
      std::u16string wide = ToUtf16(doc);
      std::string out = mark ? (bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE")) : std::string();
      for (const char16_t c : wide) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
      }
      return out;
    }
    case 6: return ToLatin1(doc);
    default: return doc;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: gen_tmx_cases OUTDIR [SEED [COUNT]]\n";
    return 2;
  }
  const std::string dir = argv[1];
  TRandom r{argc > 2 ? std::stoull(argv[2]) : 15};
  const int count = argc > 3 ? std::stoi(argv[3]) : 60;
  for (int c = 0; c < count; ++c) {
    const int encoding = c % 8;
    // Mostly small; every twentieth long enough to cross several blocks of the reader.
    const int units = c % 20 == 19 ? 250 : 1 + r.Below(12);
    const bool props = c % 3 == 1;
    char name[64];
    std::snprintf(name, sizeof name, "/case-%03d%s.tmx", c, props ? "-p" : "");
    std::ofstream out(dir + name, std::ios::binary);
    out << Document(r, units, encoding);
    if (!out) {
      std::cerr << "gen_tmx_cases: cannot write " << dir << name << "\n";
      return 1;
    }
  }
  return 0;
}
