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

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace tmtext {

using tmfiles::SegsOf;

// Converts the file `in` with the program, without a display and in the C locale (whose ANSI
// code page is Windows-1252), into the folder outDir (the input's own when empty); the run must
// convert `units` units, `warnings` of them with a warning. Returns the output's bytes.
inline std::string ConvertWithProgram(const std::string& in, int units, const std::string& outDir = "",
                                      const std::vector<std::string>& switches = {}, int warnings = 0) {
  const std::filesystem::path from(in), to = outDir.empty() ? from.parent_path() : std::filesystem::path(outDir);
  std::vector<std::string> args = switches;
  args.push_back(in);
  if (!outDir.empty()) args.push_back(outDir);
  const std::string out = (to / from.stem()).string() + (from.extension() == ".tmx" ? ".txt" : ".tmx");
  const ProgramRun run = RunProgram(MIRELCON_EXE, args, RunOptions({"LC_ALL=C"}));
  EXPECT_FALSE(run.hung) << in;
  EXPECT_EQ(run.status, 0) << in << ": " << run.err;
  const std::string warned =
      warnings > 0 ? ", " + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") : std::string();
  EXPECT_EQ(run.out, out + ": " + std::to_string(units) + " TUs" + warned + "\n") << run.err;
  return TempDir::Read(out);
}

struct TmToken {
  bool tag = false;
  std::string text;  // the character in UTF-8, or the tag's text
  bool operator==(const TmToken&) const = default;
};
using TmTokens = std::vector<TmToken>;

inline std::string Utf8Of(uint32_t c) {
  return platform::Utf16ToUtf8(c < 0x10000 ? std::u16string(1, static_cast<char16_t>(c))
                                           : std::u16string{static_cast<char16_t>(0xD7C0 + (c >> 10)),
                                                            static_cast<char16_t>(0xDC00 | (c & 0x3FF))});
}

// The length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
inline size_t Utf8Length(unsigned char b) { return b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1; }

// "&#dec;" or "&#xhex;" at s[i] (with hexQuote also "&'hex;"): its value, and in end the
// position after its ";"; else -1.
inline int64_t CharReference(std::string_view s, size_t i, size_t& end, bool hexQuote) {
  const bool quote = hexQuote && s.substr(i, 2) == "&'", hex = quote || s.substr(i, 3) == "&#x";
  if (!quote && s.substr(i, 2) != "&#") return -1;
  const char* from = s.data() + i + (quote ? 2 : hex ? 3 : 2);
  uint32_t v = 0;
  const auto [p, ec] = std::from_chars(from, s.data() + s.size(), v, hex ? 16 : 10);
  if (ec != std::errc() || p == s.data() + s.size() || *p != ';' || v > 0x10FFFF) return -1;
  end = static_cast<size_t>(p - s.data()) + 1;
  return v;
}

inline bool IsPlaceholderAt(std::string_view s, size_t i) {
  return i + 3 < s.size() && s[i] == '&' && std::string_view("tfpsj").find(s[i + 1]) != std::string_view::npos &&
         s[i + 2] >= 'A' && s[i + 2] <= 'Z' && s[i + 3] == ';';
}

// A text-TM field: placeholders and open forms ("&t=" ... ";", a ";" inside written "\;"),
// escapes "&'hex;", "&#dec;", "&#xhex;" (a reference to 0 is nothing); any other "&" is an
// ampersand.
inline TmTokens DecodeField(std::string_view s) {
  TmTokens out;
  for (size_t i = 0, end = 0; i < s.size(); i = end) {
    end = IsPlaceholderAt(s, i) ? i + 4 : 0;
    for (size_t e = i + 3; !end && s.substr(i, 3) == "&t=" && e < s.size(); ++e)
      if (s[e] == ';' && s[e - 1] != '\\') end = e + 1;
    if (end) {
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
    const std::string& c = t.text;
    s += t.tag ? (tagPlacesOnly ? "&?;" : c) : c == "&" ? "&'26;" : c == "\t" ? "&'9;" : c == "\n" ? "&'A;" : c == "\r" ? "&'D;" : c;
  }
  return s;
}

inline std::string ShowField(std::string_view field) { return Show(DecodeField(field)); }

// A text TM file: its header's fields and each unit's fields.
struct TextTm {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> units;
};

inline TextTm ParseTextTm(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  TextTm tm;
  std::vector<std::string> fields(1);
  for (const char c : std::string(bytes) + "\n") {
    if (c == '\t') fields.emplace_back();
    else if (c != '\n' && c != '\r') fields.back() += c;
    if (c != '\n') continue;
    if (fields.size() > 1 || !fields[0].empty()) (tm.header.empty() ? tm.header : tm.units.emplace_back()) = fields;
    fields.assign(1, "");
  }
  return tm;
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
    } else if (const int64_t v = s[i] == '&' ? CharReference(s, i, end, false) : -1; v >= 0) {
      out += Utf8Of(static_cast<uint32_t>(v));
    } else {
      char c = s[i];
      for (const auto& [name, value] : kEntities)
        if (s.substr(i, name.size()) == name) c = value, end = i + name.size();
      out += c;
    }
  }
  return out;
}

// The content of a TMX seg. The content of a code element: each placeholder of a run is one
// tag, each stretch of other content one more.
inline TmTokens TokenizeSeg(std::string_view s) {
  TmTokens out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] != '<') {
      const size_t n = s[i] == '&' ? std::min(s.find(';', i), s.size() - 1) + 1 - i
                                   : Utf8Length(static_cast<unsigned char>(s[i]));
      out.push_back({false, XmlText(s.substr(i, n))});
      i += n;
      continue;
    }
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
      const std::string content = XmlText(s.substr(i, contentEnd - i));
      i = contentEnd + name.size() + 3;
      if (content.empty()) out.push_back({true, ""});
      std::string other;
      for (size_t k = 0; k <= content.size(); ++k) {
        const bool placeholder = k < content.size() && IsPlaceholderAt(content, k);
        if ((placeholder || k == content.size()) && !other.empty()) out.push_back({true, other}), other.clear();
        if (placeholder) out.push_back({true, content.substr(k, 4)}), k += 3;
        else if (k < content.size()) other += content[k];
      }
    }
  }
  return out;
}

}  // namespace tmtext
