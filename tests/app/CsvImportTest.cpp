// Two-column CSV files into text translation memories, read back as the program reads them.
#include "app/core/CsvImport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "base/MySysUtils.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "unicode/UniSysUtils.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

// Converts name.csv of dir holding bytes into name.txt; the count of units.
int Import(const TempDir& dir, const std::string& name, const std::string& bytes) {
  TempDir::Write(dir.File(name + ".csv"), bytes);
  return ConvertCsvToTxt(dir.WFile(name + ".csv"), dir.WFile(name + ".txt"));
}

// The output's lines after the mark; each must end with CR LF.
std::vector<std::string> Lines(const std::string& path) {
  const std::string bytes = TempDir::Read(path);
  EXPECT_EQ(bytes.rfind(kBom, 0), 0u);
  EXPECT_TRUE(bytes.size() == kBom.size() || bytes.ends_with("\r\n"));
  std::vector<std::string> lines = tmfiles::SplitLines(bytes.substr(kBom.size()));
  for (const std::string& l : lines) EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos) << "a line without CR LF";
  return lines;
}

// Reads the output back as the program does: the header's count, then "source|target" of every
// unit the reader takes.
std::pair<int64_t, std::vector<std::u16string>> ReadBack(const std::string& name) {
  TQMStream s(W(name), ccNone, fmOpenRead | fmShareDenyWrite);
  EXPECT_TRUE(s.Opened());
  TTU tu;
  tu.IsHeader = true;
  int64_t count = -1;
  if (s.Read(tu) > 0 && tu.IsHeader && tu.GetKind() == tkHeader) count = tu.GetCount();
  std::vector<std::u16string> units;
  for (tu.Clear(); s.Read(tu) > 0;) {
    EXPECT_EQ(tu.LangPair.Text(), u"EN>JA");
    units.push_back(tu.Field(tfSource) + u"|" + tu.Field(tfTarget));
  }
  return {count, units};
}

}  // namespace

// The header from the first line, then one unit per line, both dated and signed by the program;
// the input is never touched.
TEST(CsvImport, HeaderFromTheFirstLineThenOneUnitPerLine) {
  TempDir dir;
  const std::string input = kBom + "Source\tTarget\r\ncat\tchat\r\n";
  TempDir::Write(dir.File("in.csv"), input);
  const auto before = std::filesystem::last_write_time(dir.File("in.csv"));
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("in.csv"), dir.WFile("in.txt")), 1);
  EXPECT_EQ(TempDir::Read(dir.File("in.csv")), input);
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("in.csv")), before);
  const std::vector<std::string> lines = Lines(dir.File("in.txt"));
  ASSERT_EQ(lines.size(), 2u);
  const std::string name = platform::Utf16ToUtf8(GetExeBaseNameW());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("%(\\d{8}~\\d{6})\t%" + name +
                                                    "\t%TU=00000001\t%EN\t%Source\t%JA\t%Target\t\t.{10}\t.*\\.")))
      << lines[0];
  EXPECT_EQ(lines[1], lines[0].substr(1, 15) + "\t" + name + "\t0\tEN\tcat\tJA\tchat");
  EXPECT_EQ(ReadBack(dir.File("in.txt")), std::make_pair(int64_t{1}, std::vector<std::u16string>{u"cat|chat"}));
}

// No line gives the mark alone, one line the header alone. The target keeps the later TABs; a
// line without TAB has an empty target; an empty line is written but is no unit.
TEST(CsvImport, ShapesOfLines) {
  TempDir dir;
  EXPECT_EQ(Import(dir, "empty", ""), 0);
  EXPECT_EQ(TempDir::Read(dir.File("empty.txt")), kBom);
  EXPECT_EQ(Import(dir, "one", "only\tline"), 0);
  EXPECT_NE(Lines(dir.File("one.txt")).at(0).find("\t%TU=00000000\t"), std::string::npos);
  EXPECT_EQ(ReadBack(dir.File("one.txt")).first, 0);
  EXPECT_EQ(Import(dir, "tabs", "S\tT\na\tb\tc\nalone\n\nlast\t\n"), 3);
  std::vector<std::string> lines = Lines(dir.File("tabs.txt"));
  ASSERT_EQ(lines.size(), 5u);
  for (std::string& l : lines) l = l.substr(std::min(l.size(), l.find("\tEN\t") + 4));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            (std::vector<std::string>{"a\tJA\tb\tc", "alone\tJA\t", "\tJA\t", "last\tJA\t"}));
  EXPECT_EQ(ReadBack(dir.File("tabs.txt")), std::make_pair(int64_t{3}, std::vector<std::u16string>{u"a|b", u"alone|", u"last|"}));
}

// An empty line of a UTF-16 file (either byte order) is an empty unit line, as in UTF-8: it has
// no bytes to decode, and decoding none is no work on the sanitizer's watch either.
TEST(CsvImport, EmptyLinesOfUtf16Files) {
  TempDir dir;
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const std::string mark = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    EXPECT_EQ(Import(dir, "empty16", mark + tmfiles::Utf16(u"S\tT\r\n\r\nx\ty\r\n\r\n", bigEndian)), 1);
    std::vector<std::string> lines = Lines(dir.File("empty16.txt"));
    ASSERT_EQ(lines.size(), 4u);
    for (std::string& l : lines) l = l.substr(std::min(l.size(), l.find("\tEN\t") + 4));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{"\tJA\t", "x\tJA\ty", "\tJA\t"}));
    EXPECT_EQ(ReadBack(dir.File("empty16.txt")), std::make_pair(int64_t{1}, std::vector<std::u16string>{u"x|y"}));
  }
}

// Any line end, a mark of UTF-8 or UTF-16; without a mark UTF-8 when the whole file is valid
// UTF-8, else the ANSI code page (fixed here), also for a sequence cut at the very end.
class CsvEncodings : public WithAnsiCodePage<1252> {};

TEST_F(CsvEncodings, LineEndsAndEncodings) {
  TempDir dir;
  const std::u16string accents = u"caf\u00E9 \u65E5\u672C \U0001F600";
  const std::string u8 = platform::Utf16ToUtf8(accents);
  const std::vector<std::u16string> units = {u"x|" + accents, u"y|z"};
  const std::pair<std::string, std::vector<std::u16string>> cases[] = {
      {"S\tT\nx\t" + u8 + "\ny\tz\n", units},
      {"S\tT\rx\t" + u8 + "\ry\tz", units},
      {"S\tT\r\nx\t" + u8 + "\ry\tz\n", units},
      {kBom + "S\tT\nx\t" + u8 + "\r\ny\tz\r\n", units},
      {"\xFF\xFE" + tmfiles::Utf16(u"S\tT\r\nx\t" + accents + u"\r\ny\tz"), units},
      {"S\tT\ncaf\xE9\t\x80uro\ny\tz\n", {u"caf\u00E9|\u20ACuro", u"y|z"}},
      {"S\tT\ny\tz\nna\xC3\xAFve\tx\xC3", {u"y|z", u"na\u00C3\u00AFve|x\u00C3"}},
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(Import(dir, "in", bytes), 2);
    EXPECT_EQ(ReadBack(dir.File("in.txt")), std::make_pair(int64_t{2}, expected));
  }
}

// Lines of a UTF-8 file go to the output as their bytes only when decoding would give them
// back: ill-formed bytes become U+FFFD, a pair of surrogates' forms one four-byte form, the form
// of a lone one U+FFFD as the output is written, and a #0 its escape, the text after it kept.
TEST(CsvImport, Utf8LinesAsDecoded) {
  TempDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"plain \xD0\xBF\xD1\x80\xD0\xB8\tcaf\xC3\xA9 \xF0\x9F\x98\x80", "plain \xD0\xBF\xD1\x80\xD0\xB8\tJA\tcaf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"cut \xE2\x82\tx\xFF", "cut \xEF\xBF\xBD\tJA\tx\xEF\xBF\xBD"},
      {"pair \xED\xA0\x80\xED\xB0\x80\tlone \xED\xB0\x80", "pair \xF0\x90\x80\x80\tJA\tlone \xEF\xBF\xBD"},
      {std::string("nul\0\tgone", 9), "nul&'0;\tJA\tgone"},
  };
  std::string input = kBom + "S\tT\r\n";
  for (const auto& c : cases) input += c.first + "\r\n";
  EXPECT_EQ(Import(dir, "bytes", input), 4);
  std::vector<std::string> lines = Lines(dir.File("bytes.txt"));
  ASSERT_EQ(lines.size(), 5u);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(lines[i + 1].substr(std::min(lines[i + 1].size(), lines[i + 1].find("\tEN\t") + 4)), cases[i].second) << i;
}

// Through the conversion the program runs: the count, an existing output replaced, and the
// progress that reaches the host going from 0 to 100.
TEST(CsvImport, CountOfManyUnitsAndProgress) {
  TempDir dir;
  std::string input = "Source\tTarget\r\n";
  for (int i = 1; i <= 5000; ++i) input += "s" + std::to_string(i) + "\tt" + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
  TempDir::Write(dir.File("many.csv"), input);
  TempDir::Write(dir.File("many.txt"), std::string(300000, 'x'));
  TRecordingHost host;
  ASSERT_EQ(host.Convert(dir.File("many.csv"), dir.File("many.txt")), "");
  const auto [count, units] = ReadBack(dir.File("many.txt"));
  EXPECT_EQ(count, 5000);
  ASSERT_EQ(units.size(), 5000u);
  EXPECT_EQ(units.back(), u"s5000|t5000");
  const std::vector<int>& p = host.Progress;
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.front(), 0);
  EXPECT_EQ(p.back(), 100);
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  EXPECT_TRUE(std::any_of(p.begin(), p.end(), [](int v) { return v > 0 && v < 100; }));
  // Past the start, a percentage is reported only when it changes.
  EXPECT_EQ(std::adjacent_find(std::find_if(p.begin(), p.end(), [](int v) { return v > 0; }), p.end()), p.end());
}

// Errors name the file; the input itself, under its own or another name, is never the output.
TEST(CsvImport, FilesThatCannotBeUsedAreErrorsNamingThem) {
  TempDir dir;
  auto failure = [&](const std::string& in, const std::string& out) -> std::string {
    try {
      ConvertCsvToTxt(W(in), W(out));
    } catch (const EWideFOpenError& e) {
      return std::string("open: ") + e.what();
    } catch (const EWideFCreateError& e) {
      return std::string("create: ") + e.what();
    }
    return "no error";
  };
  EXPECT_EQ(failure(dir.File("missing.csv"), dir.File("out.txt")),
            "open: Cannot open file \"" + dir.File("missing.csv") + "\". No such file or directory.");
  EXPECT_EQ(failure(dir.Path().string(), dir.File("out.txt")).substr(0, 6), "open: ");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
  const std::string input = "S\tT\na\tb\n";
  TempDir::Write(dir.File("in.csv"), input);
  EXPECT_EQ(failure(dir.File("in.csv"), dir.File("no/dir/out.txt")).rfind("create: Cannot create file \"" + dir.File("no/dir/out.txt") + "\"", 0), 0u);
  std::filesystem::create_hard_link(dir.File("in.csv"), dir.File("in.txt"));
  for (const char* out : {"in.csv", "in.txt"}) {
    EXPECT_EQ(failure(dir.File("in.csv"), dir.File(out)).substr(0, 8), "create: ") << out;
    EXPECT_EQ(TempDir::Read(dir.File("in.csv")), input);
  }
}

// Lines that go from the input as bytes and lines that are decoded (a surrogate's form sends a
// line there) share everything around their segments; the bytes that mark where the segments go
// in the unit line, when the input holds them, are segment text like any other.
TEST(CsvImport, LinesAsBytesAndDecodedLinesShareTheirFrame) {
  TempDir dir;
  const std::string input = kBom + "S\tT\r\n" + "\x01\t\x02\r\n" + "a \xED\xA0\x80\tb\r\n" + "\x02\x01\t\x01\x02\r\n" +
                            "\xD0\xB4\t\xE6\x97\xA5\r\n" + "only\r\n" + "\tx\r\n" + "c\td\te\r\n" + "\xED\xA0\x80\r\n";
  EXPECT_EQ(Import(dir, "frame", input), 7);
  const std::vector<std::string> lines = Lines(dir.File("frame.txt"));
  ASSERT_EQ(lines.size(), 9u);
  const std::vector<std::pair<std::string, std::string>> segments = {
      {"\x01", "\x02"}, {"", ""}, {"\x02\x01", "\x01\x02"}, {"\xD0\xB4", "\xE6\x97\xA5"}, {"only", ""}, {"", "x"},
      {"c", "d\te"}, {"", ""}};
  const std::string frame = lines[1].substr(0, lines[1].find("\tEN\t") + 4);
  for (size_t i = 0; i < segments.size(); ++i) {
    const std::string& line = lines[i + 1];
    ASSERT_EQ(line.rfind(frame, 0), 0u) << i;
    if (i == 1 || i == 7) continue;  // decoded: the surrogate's form is the decoder's to settle
    EXPECT_EQ(line.substr(frame.size()), segments[i].first + "\tJA\t" + segments[i].second) << i;
  }
}
