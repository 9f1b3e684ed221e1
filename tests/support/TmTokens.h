#pragma once
// Conversions through the program, and segment text as a sequence of tokens that is the same
// whichever file it came from: characters, and inline tags. A text-TM field gives one tag per
// placeholder ("&tA;", or the open form "&t=...;"); a TMX seg gives one per inline element (two
// for hi: its start and its end), and a ph holding a run of placeholders one per placeholder.
// Escapes and character references are decoded: two spellings of one text compare equal.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Utf8.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace tmtext {

// Converts the file `in` with the program, without a display and in the C locale (whose ANSI
// code page is Windows-1252), into the folder outDir (the input's own when empty); the run must
// convert `units` units. Returns the output's bytes.
inline std::string ConvertWithProgram(const std::string& in, int units, const std::string& outDir = "",
                                      const std::vector<std::string>& switches = {}) {
  const std::filesystem::path from(in), to = outDir.empty() ? from.parent_path() : std::filesystem::path(outDir);
  std::vector<std::string> args = switches;
  args.push_back(in);
  if (!outDir.empty()) std::filesystem::create_directories(outDir), args.push_back(outDir);
  const std::string out = (to / from.stem()).string() + (from.extension() == ".tmx" ? ".txt" : ".tmx");
  const ProgramRun run = RunProgram(MIRELCON_EXE, args, RunOptions{{"LC_ALL=C"}, {}, "", 60});
  EXPECT_FALSE(run.hung) << in;
  EXPECT_EQ(run.status, 0) << in << ": " << run.err;
  EXPECT_EQ(run.out, out + ": " + std::to_string(units) + " TUs\n") << run.err;
  return TempDir::Read(out);
}

struct TmToken {
  bool tag = false;
  std::string text;  // the character in UTF-8, or the tag's text
  bool operator==(const TmToken&) const = default;
};
using TmTokens = std::vector<TmToken>;

inline std::string Utf8Of(uint32_t c) {
  const std::u16string w = c < 0x10000 ? std::u16string(1, static_cast<char16_t>(c))
                                       : std::u16string{static_cast<char16_t>(0xD7C0 + (c >> 10)),
                                                        static_cast<char16_t>(0xDC00 | (c & 0x3FF))};
  return platform::Utf16ToUtf8(w);
}

// The length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
inline size_t Utf8Length(unsigned char b) { return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1; }

// The value of the digits from s[at] up to a ";" (end: after it), or -1 when there is no reference.
inline int64_t ReferenceValue(std::string_view s, size_t at, int base, size_t& end) {
  uint32_t v = 0;
  const auto [p, ec] = std::from_chars(s.data() + at, s.data() + s.size(), v, base);
  if (ec != std::errc() || p == s.data() + s.size() || *p != ';' || v > 0x10FFFF) return -1;
  end = static_cast<size_t>(p - s.data()) + 1;
  return v;
}

// "&#dec;" or "&#xhex;" at s[i] (with hexQuote also "&'hex;"): its value, else -1.
inline int64_t CharReference(std::string_view s, size_t i, size_t& end, bool hexQuote) {
  if (hexQuote && s.substr(i, 2) == "&'") return ReferenceValue(s, i + 2, 16, end);
  if (s.substr(i, 3) == "&#x") return ReferenceValue(s, i + 3, 16, end);
  if (s.substr(i, 2) == "&#") return ReferenceValue(s, i + 2, 10, end);
  return -1;
}

inline bool IsPlaceholderAt(std::string_view s, size_t i) {
  return i + 3 < s.size() && s[i] == '&' && std::string_view("tfpsj").find(s[i + 1]) != std::string_view::npos &&
         s[i + 2] >= 'A' && s[i + 2] <= 'Z' && s[i + 3] == ';';
}

// The end of the placeholder or open form at s[i] ("&t=" ... ";", a ";" inside written "\;"),
// or 0 when there is none.
inline size_t PlaceholderEnd(std::string_view s, size_t i) {
  if (IsPlaceholderAt(s, i)) return i + 4;
  if (s.substr(i, 3) != "&t=") return 0;
  for (size_t e = i + 3; e < s.size(); ++e)
    if (s[e] == ';' && s[e - 1] != '\\') return e + 1;
  return 0;
}

// A text-TM field: placeholders, escapes "&'hex;", "&#dec;", "&#xhex;" (a reference to 0 is
// nothing); any other "&" is an ampersand.
inline TmTokens DecodeField(std::string_view s) {
  TmTokens out;
  for (size_t i = 0, end = 0; i < s.size(); i = end) {
    if ((end = PlaceholderEnd(s, i)) != 0) {
      out.push_back({true, std::string(s.substr(i, end - i))});
    } else if (const int64_t v = s[i] == '&' ? CharReference(s, i, end, true) : -1; v >= 0) {
      if (v > 0) out.push_back({false, Utf8Of(static_cast<uint32_t>(v))});
    } else {
      end = i + Utf8Length(static_cast<unsigned char>(s[i]));
      out.push_back({false, std::string(s.substr(i, end - i))});
    }
  }
  return out;
}

// One readable line per token sequence, in text-TM spelling: "&", TAB, LF and CR as escapes,
// each tag as its text, or as "&?;" when only the places of the tags count.
inline std::string Show(const TmTokens& tokens, bool tagPlacesOnly = false) {
  std::string s;
  for (const TmToken& t : tokens) {
    if (t.tag) s += tagPlacesOnly ? "&?;" : t.text;
    else if (t.text == "&") s += "&'26;";
    else if (t.text == "\t") s += "&'9;";
    else if (t.text == "\n") s += "&'A;";
    else if (t.text == "\r") s += "&'D;";
    else s += t.text;
  }
  return s;
}

inline std::string ShowField(std::string_view field) { return Show(DecodeField(field)); }

// A text TM file: its header's fields and each unit's fields.
struct TextTm {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> units;
};

inline std::vector<std::string> SplitAt(std::string_view s, char sep) {
  std::vector<std::string> parts(1);
  for (const char c : s) {
    if (c == sep) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

inline TextTm ParseTextTm(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  TextTm tm;
  for (std::string line : SplitAt(bytes, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    (tm.header.empty() ? tm.header : tm.units.emplace_back()) = SplitAt(line, '\t');
  }
  return tm;
}

// The content of each seg element of a TMX document, in order.
inline std::vector<std::string> SegsOf(std::string_view doc) {
  std::vector<std::string> segs;
  for (size_t at = doc.find("<seg>"), end; at != std::string_view::npos; at = doc.find("<seg>", end)) {
    if ((end = doc.find("</seg>", at)) == std::string_view::npos) break;
    segs.emplace_back(doc.substr(at + 5, end - at - 5));
  }
  return segs;
}

// XML text: entities and character references decoded, elements (a sub in a code) left out.
inline std::string XmlText(std::string_view s) {
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0, end = 0; i < s.size(); i = end) {
    end = i + 1;
    if (s[i] == '<') {
      end = std::min(s.find('>', i), s.size() - 1) + 1;
      continue;
    }
    if (const int64_t v = s[i] == '&' ? CharReference(s, i, end, false) : -1; v >= 0) {
      out += Utf8Of(static_cast<uint32_t>(v));
      continue;
    }
    char c = s[i];
    for (const auto& [name, value] : kEntities)
      if (s.substr(i, name.size()) == name) c = value, end = i + name.size();
    out += c;
  }
  return out;
}

// The content of a code element: each placeholder of a run is one tag, each stretch of other
// content one more.
inline void AddCodeTags(TmTokens& out, const std::string& content) {
  if (content.empty()) out.push_back({true, ""});
  std::string other;
  for (size_t i = 0; i < content.size(); ++i) {
    if (!IsPlaceholderAt(content, i)) {
      other += content[i];
      continue;
    }
    if (!other.empty()) out.push_back({true, other});
    other.clear();
    out.push_back({true, content.substr(i, 4)});
    i += 3;
  }
  if (!other.empty()) out.push_back({true, other});
}

// The content of a TMX seg.
inline TmTokens TokenizeSeg(std::string_view s) {
  TmTokens out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '<') {
      const size_t close = s.find('>', i);
      if (close == std::string_view::npos) break;
      const bool end = s[i + 1] == '/', empty = s[close - 1] == '/';
      const size_t nameStart = i + (end ? 2 : 1);
      const std::string name(s.substr(nameStart, s.find_first_of(" />", nameStart) - nameStart));
      i = close + 1;
      if (name == "hi") {
        out.push_back({true, end ? "</hi>" : "<hi>"});
      } else if (!end && empty) {
        out.push_back({true, ""});
      } else if (!end) {
        const size_t contentEnd = s.find("</" + name + ">", i);
        if (contentEnd == std::string_view::npos) break;
        AddCodeTags(out, XmlText(s.substr(i, contentEnd - i)));
        i = contentEnd + name.size() + 3;
      }
      continue;
    }
    const size_t n =
        s[i] == '&' ? std::min(s.find(';', i), s.size() - 1) + 1 - i : Utf8Length(static_cast<unsigned char>(s[i]));
    out.push_back({false, XmlText(s.substr(i, n))});
    i += n;
  }
  return out;
}

}  // namespace tmtext
