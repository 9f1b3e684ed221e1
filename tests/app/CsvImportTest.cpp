#include "app/core/CsvImport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "base/MySysUtils.h"
#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"
#include "unicode/UniSysUtils.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::u16string W(const std::string& s) { return platform::Utf8ToUtf16(s); }

// The output's lines, decoded, without the mark; each must end with CR LF.
std::vector<std::u16string> Lines(const std::string& path) {
  std::string bytes = TempDir::Read(path);
  EXPECT_EQ(bytes.rfind(kBom, 0), 0u);
  bytes.erase(0, kBom.size());
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "line without CR LF";
    if (end == std::string::npos) break;
    lines.push_back(W(bytes.substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

std::vector<std::u16string> Fields(const std::u16string& line) {
  std::vector<std::u16string> out;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find(u'\t', start);
    out.push_back(line.substr(start, tab == std::u16string::npos ? std::u16string::npos : tab - start));
    if (tab == std::u16string::npos) return out;
    start = tab + 1;
  }
}

// Reads the output back as the program does: the header, then every unit the reader takes.
struct ReadBack {
  int64_t headerCount = -1;
  bool headerFound = false;
  std::vector<std::pair<std::u16string, std::u16string>> units;
};

ReadBack ReadWithQMStream(const std::u16string& name) {
  ReadBack r;
  TQMStream s(name, ccNone, fmOpenRead | fmShareDenyWrite);
  EXPECT_TRUE(s.Opened());
  TTU tu;
  tu.IsHeader = true;
  if (s.Read(tu) > 0 && tu.IsHeader) {
    r.headerFound = tu.GetKind() == tkHeader;
    r.headerCount = tu.GetCount();
  }
  tu.Clear();
  while (s.Read(tu) > 0) {
    EXPECT_FALSE(tu.IsHeader);
    EXPECT_EQ(tu.LangPair.Text(), u"EN>JA");
    r.units.emplace_back(tu.Field(tfSource), tu.Field(tfTarget));
  }
  return r;
}

std::string Message(const std::exception& e) { return e.what(); }

}  // namespace

TEST(CsvImport, HeaderFromTheFirstLineThenOneUnitPerLine) {
  TempDir dir;
  const std::string input = kBom + "Source\tTarget\r\ncat\tchat\r\n";
  TempDir::Write(dir.File("in.csv"), input);
  const auto before = std::filesystem::last_write_time(dir.File("in.csv"));
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("in.csv"), dir.WFile("out.txt")), 1);
  // The input is never touched.
  EXPECT_EQ(TempDir::Read(dir.File("in.csv")), input);
  EXPECT_EQ(std::filesystem::last_write_time(dir.File("in.csv")), before);

  const auto lines = Lines(dir.File("out.txt"));
  ASSERT_EQ(lines.size(), 2u);
  const auto header = Fields(lines[0]);
  ASSERT_EQ(header.size(), 10u);
  EXPECT_EQ(header[0].size(), 16u);  // "%" and the date
  EXPECT_EQ(header[1], u"%" + GetExeBaseNameW());
  EXPECT_EQ(header[2], u"%TU=00000001");
  EXPECT_EQ(header[3], u"%EN");
  EXPECT_EQ(header[4], u"%Source");
  EXPECT_EQ(header[5], u"%JA");
  EXPECT_EQ(header[6], u"%Target");
  EXPECT_EQ(header[7], u"");
  EXPECT_EQ(header[8].size(), 10u);
  EXPECT_EQ(header[9].back(), u'.');

  const auto unit = Fields(lines[1]);
  const std::vector<std::u16string> expected = {header[0].substr(1), GetExeBaseNameW(), u"0", u"EN", u"cat", u"JA",
                                                u"chat"};
  EXPECT_EQ(unit, expected);

  const ReadBack r = ReadWithQMStream(dir.WFile("out.txt"));
  EXPECT_TRUE(r.headerFound);
  EXPECT_EQ(r.headerCount, 1);
  ASSERT_EQ(r.units.size(), 1u);
  EXPECT_EQ(r.units[0].first, u"cat");
  EXPECT_EQ(r.units[0].second, u"chat");
}

TEST(CsvImport, ShapesOfLines) {
  TempDir dir;
  // One line: the header alone.
  TempDir::Write(dir.File("one.csv"), "only\tline");
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("one.csv"), dir.WFile("one.txt")), 0);
  auto lines = Lines(dir.File("one.txt"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Fields(lines[0])[2], u"%TU=00000000");
  EXPECT_TRUE(ReadWithQMStream(dir.WFile("one.txt")).headerFound);

  // The target keeps the later TABs; a line without TAB has an empty target; an empty line is
  // written but is no unit.
  TempDir::Write(dir.File("tabs.csv"), "S\tT\na\tb\tc\nalone\n\nlast\t\n");
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("tabs.csv"), dir.WFile("tabs.txt")), 3);
  lines = Lines(dir.File("tabs.txt"));
  ASSERT_EQ(lines.size(), 5u);
  auto f = Fields(lines[1]);
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(f[4], u"a");
  EXPECT_EQ(f[6], u"b");
  EXPECT_EQ(f[7], u"c");
  f = Fields(lines[2]);
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[4], u"alone");
  EXPECT_EQ(f[6], u"");
  EXPECT_EQ(Fields(lines[3])[4], u"");
  const ReadBack r = ReadWithQMStream(dir.WFile("tabs.txt"));
  EXPECT_EQ(r.headerCount, 3);
  ASSERT_EQ(r.units.size(), 3u);
  EXPECT_EQ(r.units[0].first, u"a");
  EXPECT_EQ(r.units[1].first, u"alone");
  EXPECT_EQ(r.units[2].first, u"last");
}

TEST(CsvImport, LineEndsAndEncodings) {
  TempDir dir;
  const std::u16string accents = u"caf\u00E9 \u65E5\u672C \U0001F600";
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : u"S\tT\r\nx\t" + accents + u"\r\n") {
    if (!c) break;
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  const std::string u8 = platform::Utf16ToUtf8(accents);
  const Case cases[] = {
      {"lf.csv", "S\tT\nx\t" + u8 + "\ny\tz\n"},
      {"cr.csv", "S\tT\rx\t" + u8 + "\ry\tz"},
      {"mixed.csv", "S\tT\r\nx\t" + u8 + "\ry\tz\n"},
      {"bom.csv", kBom + "S\tT\nx\t" + u8 + "\r\ny\tz\r\n"},
      {"utf16.csv", utf16 + std::string("y\0\t\0z\0", 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir::Write(dir.File(c.name), c.bytes);
    const std::u16string out = dir.WFile(std::string(c.name) + ".txt");
    EXPECT_EQ(ConvertCsvToTxt(dir.WFile(c.name), out), 2);
    const ReadBack r = ReadWithQMStream(out);
    EXPECT_EQ(r.headerCount, 2);
    ASSERT_EQ(r.units.size(), 2u);
    EXPECT_EQ(r.units[0].first, u"x");
    EXPECT_EQ(r.units[0].second, accents);
    EXPECT_EQ(r.units[1].second, u"z");
  }
}

TEST(CsvImport, InputWithoutMarkThatIsNotUtf8IsAnsi) {
  TempDir dir;
  const unsigned saved = platform::AnsiCodePage();
  platform::SetAnsiCodePage(1252);
  // "é" in Windows-1252, and a UTF-8 sequence cut short at the very end.
  TempDir::Write(dir.File("ansi.csv"), "S\tT\ncaf\xE9\t\x80uro\n");
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("ansi.csv"), dir.WFile("ansi.txt")), 1);
  TempDir::Write(dir.File("cut.csv"), "S\tT\nna\xC3\xAFve\tx\xC3");
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("cut.csv"), dir.WFile("cut.txt")), 1);
  platform::SetAnsiCodePage(saved);
  ReadBack r = ReadWithQMStream(dir.WFile("ansi.txt"));
  ASSERT_EQ(r.units.size(), 1u);
  EXPECT_EQ(r.units[0].first, u"caf\u00E9");
  EXPECT_EQ(r.units[0].second, u"\u20ACuro");
  r = ReadWithQMStream(dir.WFile("cut.txt"));
  ASSERT_EQ(r.units.size(), 1u);
  EXPECT_EQ(r.units[0].first, u"na\u00C3\u00AFve");
}

TEST(CsvImport, CountOfManyUnitsAndProgress) {
  TempDir dir;
  std::string input = "Source\tTarget\r\n";
  for (int i = 1; i <= 5000; ++i) input += "s" + std::to_string(i) + "\tt" + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
  TempDir::Write(dir.File("many.csv"), input);
  // An existing output is replaced.
  TempDir::Write(dir.File("many.txt"), std::string(300000, 'x'));
  std::vector<int> reports;
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("many.csv"), dir.WFile("many.txt"), [&](int p) { reports.push_back(p); }), 5000);
  const ReadBack r = ReadWithQMStream(dir.WFile("many.txt"));
  EXPECT_TRUE(r.headerFound);
  EXPECT_EQ(r.headerCount, 5000);
  ASSERT_EQ(r.units.size(), 5000u);
  EXPECT_EQ(r.units.back().first, u"s5000");
  EXPECT_EQ(r.units.back().second, u"t5000");
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), 0);
  EXPECT_EQ(reports.back(), 100);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_LE(reports.size(), 102u);
}

TEST(CsvImport, EmptyInputGivesAnEmptyTm) {
  TempDir dir;
  TempDir::Write(dir.File("empty.csv"), "");
  EXPECT_EQ(ConvertCsvToTxt(dir.WFile("empty.csv"), dir.WFile("empty.txt")), 0);
  EXPECT_EQ(TempDir::Read(dir.File("empty.txt")), kBom);
}

TEST(CsvImport, FilesThatCannotBeUsedAreErrorsNamingThem) {
  TempDir dir;
  try {
    ConvertCsvToTxt(dir.WFile("missing.csv"), dir.WFile("out.txt"));
    FAIL();
  } catch (const EWideFOpenError& e) {
    EXPECT_EQ(Message(e), "Cannot open file \"" + dir.File("missing.csv") + "\". No such file or directory.");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
  EXPECT_THROW(ConvertCsvToTxt(W(dir.Path().string()), dir.WFile("out.txt")), EWideFOpenError);

  const std::string input = "S\tT\na\tb\n";
  TempDir::Write(dir.File("in.csv"), input);
  try {
    ConvertCsvToTxt(dir.WFile("in.csv"), dir.WFile("no/such/dir/out.txt"));
    FAIL();
  } catch (const EWideFCreateError& e) {
    EXPECT_NE(Message(e).find("Cannot create file \"" + dir.File("no/such/dir/out.txt") + "\""), std::string::npos)
        << Message(e);
  }
  // The input itself, under its own or another name, is never the output.
  std::filesystem::create_hard_link(dir.File("in.csv"), dir.File("in.txt"));
  for (const char* out : {"in.csv", "in.txt"}) {
    SCOPED_TRACE(out);
    EXPECT_THROW(ConvertCsvToTxt(dir.WFile("in.csv"), dir.WFile(out)), EWideFCreateError);
    EXPECT_EQ(TempDir::Read(dir.File("in.csv")), input);
  }
}
