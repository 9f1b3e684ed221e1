// Generated translation memories of every script, markup character and inline code, converted
// there and back by the program: no character may change, no code may be lost or move. The
// generator is seeded (MIRELCON_ROUNDTRIP_SEED overrides the fixed seed); a failure names the
// seed and the first units that differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/TmTokens.h"

using namespace tmtext;

namespace fs = std::filesystem;

namespace {

constexpr int kUnits = 300;

// No character of U+0080 to U+00BF: the text TM maps some of them through the ANSI code page.
const std::vector<std::string> kPieces = {
    "Caf\xC3\xA9", "cr\xC3\xA8me", "\xC3\x85ngstr\xC3\xB6m", "\xC5\x81\xC3\xB3" "d\xC5\xBA", "stra\xC3\x9F" "e", "Hello",
    "\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xD1\x91\xD0\xB6",
    "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
    "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
    "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", "\xE0\xB8\xA0\xE0\xB8\xB2\xE0\xB8\xA9\xE0\xB8\xB2\xE0\xB9\x84\xE0\xB8\x97",
    "\xF0\x9F\x98\x80", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", "\xF0\x9D\x84\x9E", "\xE2\x82\xAC", "<", ">", "&", "\t", "\n",
    "\"", "'", ";", "#", "{", "}", "0", "42", "a\tb", "line\nbreak", "<b>", "{1}", "&amp;", "a&b", "&tA;", "&#9;", "x;y"};

class Random {
public:
  explicit Random(unsigned seed) : rng_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  const std::string& Pick(const std::vector<std::string>& v) { return v[static_cast<size_t>(Int(0, int(v.size()) - 1))]; }
  template <typename T>
  void Shuffle(std::vector<T>& v) { std::shuffle(v.begin(), v.end(), rng_); }

private:
  std::mt19937 rng_;
};

bool IsBlank(const TmToken& t) { return !t.tag && (t.text == " " || t.text == "\t" || t.text == "\n"); }

// A run of text with no blank at either end and never two blanks in a row.
TmTokens Text(Random& r, int pieces) {
  TmTokens out;
  for (int i = 0; i < pieces; ++i) {
    const std::string piece = (r.Chance(50) ? " " : "") + r.Pick(kPieces);
    for (size_t at = 0, n; at < piece.size(); at += n) {
      n = Utf8Length(static_cast<unsigned char>(piece[at]));
      const TmToken t{false, piece.substr(at, n)};
      if (!IsBlank(t) || (!out.empty() && !IsBlank(out.back()))) out.push_back(t);
    }
  }
  while (!out.empty() && IsBlank(out.back())) out.pop_back();
  if (out.empty()) out.push_back({false, "x"});
  return out;
}

// A code, or a hi with its text.
struct Item {
  TmTokens tokens;
};

// Runs of text with the codes between them (in their order when keepOrder), with or without a
// blank between two pieces; codes side by side, whoever has them; now and then blanks at either
// end, or a segment of blanks only.
TmTokens Segment(Random& r, const std::vector<Item>& codes, bool keepOrder) {
  const TmToken blank{false, " "};
  if (codes.empty() && r.Chance(3)) return TmTokens(static_cast<size_t>(r.Int(1, 3)), blank);
  std::vector<Item> items;
  for (int i = r.Int(1, 4); i > 0; --i) items.push_back({Text(r, r.Int(1, 3))});
  int from = 0;
  for (const Item& code : codes) {
    const int at = r.Int(keepOrder ? from : 0, static_cast<int>(items.size()));
    items.insert(items.begin() + at, code);
    from = at + 1;
  }
  TmTokens out;
  if (r.Chance(15)) out.insert(out.end(), static_cast<size_t>(r.Int(1, 2)), blank);
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && r.Chance(30)) out.push_back(blank);
    out.insert(out.end(), items[i].tokens.begin(), items[i].tokens.end());
  }
  if (r.Chance(15)) out.insert(out.end(), static_cast<size_t>(r.Int(1, 2)), blank);
  return out;
}

// A text-TM field: TAB and LF as escapes, "&" bare only where it can start no code, a blank
// at an edge bare or escaped.
std::string FieldOf(Random& r, const TmTokens& tokens) {
  std::string s;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& c = tokens[i].text;
    if (tokens[i].tag) s += c;
    else if (c == " " && (i == 0 || i + 1 == tokens.size())) s += r.Pick({" ", "&'20;"});
    else if (c == "\t") s += r.Pick({"&'9;", "&#9;", "&#x9;"});
    else if (c == "\n") s += r.Pick({"&'A;", "&#10;"});
    else if (c == "&") s += i + 1 == tokens.size() || tokens[i + 1].text == " " ? "&" : "&'26;";
    else s += c;
  }
  return s;
}

// XML text, with or without the entities and references that may stand for a character; now
// and then a run of it in a CDATA section, its characters as they are.
std::string XmlOf(Random& r, const TmTokens& tokens) {
  std::string s;
  bool cdata = false;
  auto close = [&] {
    if (cdata) s += "]]>";
    cdata = false;
  };
  for (const TmToken& t : tokens) {
    const std::string& c = t.text;
    if (t.tag) close();
    else if (!cdata && r.Chance(5)) s += "<![CDATA[", cdata = true;
    if (cdata && c == ">" && s.ends_with("]]")) close();  // it would end the section
    if (cdata) {
      s += c;
      if (r.Chance(20)) close();
      continue;
    }
    const bool ref = r.Chance(50);
    s += t.tag ? c : c == "<" ? "&lt;" : c == "&" ? "&amp;" : !ref ? c : c == ">" ? "&gt;" : c == "\"" ? "&quot;"
       : c == "'" ? "&apos;" : c == "\t" ? "&#9;" : c == "\n" ? "&#10;" : c == " " ? "&#32;" : c;
  }
  close();
  return s;
}

Item Hi(Random& r) {
  Item hi{{{true, "<hi>"}}};
  const TmTokens inside = Text(r, r.Int(1, 2));
  hi.tokens.insert(hi.tokens.end(), inside.begin(), inside.end());
  hi.tokens.push_back({true, "</hi>"});
  return hi;
}

bool IsHi(const Item& item) { return item.tokens.front().text == "<hi>"; }

// The open form of a code unique in its segment by n: RTF with and without a blank at its end,
// markup, a ";" inside.
std::string OpenForm(Random& r, int n) {
  const std::string k = std::to_string(n);
  return "&t=" + r.Pick({"{\\b" + k + " ", "}" + k, "<b id=\"" + k + "\">", "x\\;" + k}) + ";";
}

// An inline element, unique in its segment by n, with content or empty; or a hi.
Item Element(Random& r, int n) {
  const std::string k = std::to_string(n);
  const std::string c = r.Pick({"{\\b" + k + "}", "&lt;br id=&quot;" + k + "&quot;/&gt;", "%" + k + "$s", "{" + k + "}",
                                "x;" + k, "{\\field{\\*\\fldinst PAGE " + k + "}}"});
  const std::string element[] = {"<ph x=\"" + k + "\">" + c + "</ph>", "<bpt i=\"" + k + "\">" + c + "</bpt>",
                                 "<ept i=\"" + k + "\">" + c + "</ept>", "<it pos=\"begin\">" + c + "</it>",
                                 "<ut>" + c + "</ut>", "<ph x=\"" + k + "\"/>", "<bpt i=\"" + k + "\" x=\"" + k + "\"/>",
                                 "<ept i=\"" + k + "\"/>", "<it pos=\"end\" x=\"" + k + "\"/>"};
  const int pick = r.Int(0, 10);
  return pick < 9 ? Item{{{true, element[pick]}}} : Hi(r);
}

class RoundTrip : public ::testing::Test {
protected:
  std::string Convert(const std::string& in, const std::string& out) {
    return ConvertWithProgram(dir.File(in), kUnits, dir.File(out));
  }
  void Write(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(dir.File(name)).parent_path());
    TempDir::Write(dir.File(name), bytes);
  }
  // Reports the first few differences.
  void Check(const char* what, size_t unit, const std::string& expected, const std::string& actual,
             const std::string& detail) {
    if (expected != actual && ++differences <= 5)
      ADD_FAILURE() << what << ", unit " << unit << "\n  expected: " << expected << "\n  actual:   " << actual
                    << "\n  " << detail;
  }
  void TearDown() override {
    if (differences > 5) ADD_FAILURE() << "seed " << seed << ": " << differences << " differences in all";
  }
  static std::string Field(const TextTm& tm, size_t unit, size_t field) {
    return field < tm.units[unit].size() ? tm.units[unit][field] : "";
  }

  const char* seedText = std::getenv("MIRELCON_ROUNDTRIP_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20261201u;
  Random r{seed};
  TempDir dir;
  int differences = 0;
};

}  // namespace

// Text TM -> TMX -> text TM: the same characters and the same placeholders.
TEST_F(RoundTrip, TextTmThroughTmx) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::vector<TmTokens> expected;
  std::string tm = tmfiles::TextTm({tmfiles::kTmHeader});
  for (int u = 0; u < kUnits; ++u) {
    std::vector<Item> codes;
    for (int n = r.Int(0, 5), i = 0; i < n; ++i)
      codes.push_back({{{true, std::string("&") + "tfpsj"[r.Int(0, 4)] + static_cast<char>('A' + i) + ";"}}});
    expected.push_back(Segment(r, codes, true));
    // The target: the source's codes, and open forms of codes that the source lacks (a pair of
    // them, say), side by side with the placeholders or anywhere.
    for (int n = r.Int(0, 3), i = 0; i < n; ++i)
      codes.push_back({{{true, OpenForm(r, i)}}});
    r.Shuffle(codes);
    expected.push_back(Segment(r, codes, false));
    const std::string source = FieldOf(r, expected[2 * u]), target = FieldOf(r, expected[2 * u + 1]);
    ASSERT_EQ(DecodeField(source), expected[2 * u]) << source;  // the generator is sound
    ASSERT_EQ(DecodeField(target), expected[2 * u + 1]) << target;
    tm += tmfiles::TmUnit(source, target) + "\r\n";
  }
  Write("a/tm.txt", tm);
  Convert("a/tm.txt", "b");
  const TextTm back = ParseTextTm(Convert("b/tm.tmx", "c"));
  ASSERT_EQ(back.units.size(), static_cast<size_t>(kUnits));
  for (size_t u = 0; u < back.units.size(); ++u)
    for (const size_t f : {4, 6})
      Check("text TM -> TMX -> text TM", u, Show(expected[2 * u + (f == 6)]), ShowField(Field(back, u, f)),
            "field: " + Field(back, u, f));
}

// TMX -> text TM -> TMX: the same characters, and a code wherever the TMX had an inline
// element, or the start or end of a hi.
TEST_F(RoundTrip, TmxThroughTextTm) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::vector<TmTokens> expected;
  std::string body;
  for (int u = 0; u < kUnits; ++u) {
    std::vector<Item> codes, targetCodes;
    for (int n = r.Int(0, 5), i = 0; i < n; ++i) codes.push_back(Element(r, i + 1));
    expected.push_back(Segment(r, codes, true));
    // The target: some of the source's codes (a hi with other words), and codes of its own.
    for (const Item& c : codes)
      if (r.Chance(60)) targetCodes.push_back(IsHi(c) ? Hi(r) : c);
    for (int i = r.Int(0, 2); i > 0; --i) targetCodes.push_back(Element(r, 50 + i));
    r.Shuffle(targetCodes);
    expected.push_back(Segment(r, targetCodes, false));
    const std::string source = XmlOf(r, expected[2 * u]);
    body += tmfiles::Tu(source, XmlOf(r, expected[2 * u + 1]));
  }
  Write("a/tm.tmx", tmfiles::Tmx(body));
  const TextTm tm = ParseTextTm(Convert("a/tm.tmx", "b"));
  const std::vector<std::string> segs = SegsOf(Convert("b/tm.txt", "c"));
  ASSERT_EQ(tm.units.size(), static_cast<size_t>(kUnits));
  ASSERT_EQ(segs.size(), 2u * kUnits);
  for (size_t u = 0; u < tm.units.size(); ++u)
    for (const size_t f : {4, 6}) {
      const size_t i = 2 * u + (f == 6);
      const std::string shown = Show(DecodeField(Field(tm, u, f)), true);
      Check("TMX -> text TM", u, Show(expected[i], true), shown, "field: " + Field(tm, u, f));
      Check("text TM -> TMX", u, shown, Show(TokenizeSeg(segs[i]), true), "seg: " + segs[i]);
    }
}
