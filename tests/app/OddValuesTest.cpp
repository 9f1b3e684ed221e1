// Values that a format cannot hold as they stand, run through the real program: a #0 inside a
// value, bytes that are no characters of the file's encoding, dates that are no dates. Each
// unit is converted with the text around what was replaced, and the result line counts it
// among the warnings; an ordinary unit beside it counts nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

using namespace tmfiles;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

ProgramRun RunMirelcon(const std::vector<std::string>& args) {
  RunOptions options;
  options.boundSeconds = 120;
  return RunProgram(MIRELCON_EXE, args, options);
}

struct TCase {
  std::string name;      // of the input; the output is named after it
  std::string input;     // its bytes
  std::string result;    // what the result line ends with ("" when none is shown)
  std::vector<std::string> has;     // in the output's bytes
  std::vector<std::string> hasNot = {};  // nowhere in them
  std::string existing = "";        // a text TM the TMX is appended to
  int status = 0;
};

std::string OutputName(const std::string& name) {
  const std::string ext = fs::path(name).extension().string();
  return fs::path(name).stem().string() + (ext == ".txt" ? ".tmx" : ".txt");
}

void RunCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directories(dir.File("out"));
    TempDir::Write(dir.File(c.name), c.input);
    const std::string output = dir.File("out/" + OutputName(c.name));
    if (!c.existing.empty()) TempDir::Write(output, c.existing);
    const ProgramRun run = RunMirelcon({"/QUIET", dir.File(c.name), dir.File("out")});
    EXPECT_EQ(run.status, c.status) << run.err;
    std::string line = run.out;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (c.status != 0) {
      EXPECT_NE(run.err.find(c.result), std::string::npos) << run.err;
      continue;
    }
    if (c.result.empty())
      EXPECT_EQ(line, "");
    else
      EXPECT_TRUE(line.ends_with(c.result)) << line;
    const std::string written = TempDir::Read(output);
    for (const std::string& s : c.has) EXPECT_NE(written.find(s), std::string::npos) << s << "\n" << written.substr(0, 2000);
    for (const std::string& s : c.hasNot) EXPECT_EQ(written.find(s), std::string::npos) << s;
  }
}

const std::string kBom = "\xEF\xBB\xBF";
const std::string kFffd = "\xEF\xBF\xBD";

// Characters of one to four bytes, so that one of them straddles every offset around 64 Ki.
std::string Mixed(size_t bytes) {
  static const std::string kChars[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
  std::string s;
  for (size_t i = 0; s.size() < bytes; ++i) s += kChars[i % 4];
  return s;
}

}  // namespace

TEST(OddValues, CsvKeepsTheTextAroundANulAndCountsBytesThatAreNoCharacters) {
  const std::string mixed = Mixed(3 * 65536 + 7);
  const std::u16string mixed16 = platform::Utf8ToUtf16(mixed);
  size_t cut = 65536;
  while ((mixed[cut] & 0xC0) == 0x80) ++cut;
  RunCases({
      {"nul.csv", kBom + "S\tT\r\na\0b\tc\0\r\nx\ty\r\n"s, "2 TUs, 1 warning", {"\ta&'0;b\tJA\tc&'0;\r\n", "\tx\tJA\ty\r\n"}},
      {"nul-ansi.csv", "S\tT\r\na\0b\tc\0\r\nx\ty\r\n"s, "2 TUs, 1 warning", {"\ta&'0;b\tJA\tc&'0;\r\n"}},
      {"nul-utf16.csv", "\xFF\xFE" + Utf16(u"S\tT\r\na\0b\tc\0\r\nx\ty\r\n"s), "2 TUs, 1 warning", {"\ta&'0;b\tJA\tc&'0;\r\n"}},
      {"nul-header.csv", kBom + "S\0s\tT\r\nx\ty\r\n"s, "", {"%S&'0;s\t%JA\t%T"}},
      {"invalid.csv", kBom + "S\tT\r\na\xE9\xFF\xC0\x80" "b\tc\r\nx\ty\r\n", "2 TUs, 1 warning",
       {"\ta" + kFffd + kFffd + kFffd + kFffd + "b\tJA\tc\r\n"}},
      {"lone.csv", "\xFF\xFE" + Utf16(u"S\tT\r\na\xD800" u"b\tc\r\nx\ty\r\n"), "2 TUs, 1 warning", {"\ta" + kFffd + "b\tJA\tc\r\n"}},
      // Pieces of a long line end between characters: nothing is counted but the #0.
      {"long.csv", kBom + "S\tT\r\nx\t" + mixed + "\0\r\n"s, "1 TUs, 1 warning", {"\tx\tJA\t" + mixed + "&'0;\r\n"}, {kFffd}},
      {"long-utf16.csv", "\xFF\xFE" + Utf16(u"S\tT\r\nx\t" + mixed16 + u"\0\r\n"s), "1 TUs, 1 warning",
       {"\tx\tJA\t" + mixed + "&'0;\r\n"}, {kFffd}},
      {"long-invalid.csv", kBom + "S\tT\r\nx\t" + mixed.substr(0, cut) + "\xE2\x82" + mixed.substr(cut) + "\r\n", "1 TUs, 1 warning",
       {"\tx\tJA\t" + mixed.substr(0, cut) + kFffd + mixed.substr(cut) + "\r\n"}},
  });
}

// A text TM read into TMX: a #0 becomes a blank as other controls do, a reference to #0 goes, a
// byte that is no UTF-8 becomes U+FFFD, a date that is no date leaves the unit without one;
// each is a warning. Long lines are read whole, pieces of the segment cut between characters.
TEST(OddValues, TextTmToTmxCountsWhatItReplaced) {
  const std::string mixed = Mixed(3 * 65536 + 7);
  const std::string header16 = "\xFF\xFE" + Utf16(kTmHeader + "\r\n");
  const std::string ok = TmUnit("x", "y") + "\r\n";
  RunCases({
      {"nul.txt", TextTm({kTmHeader, TmUnit("a\0b"s, "c"), TmUnit("x", "y")}), "2 TUs, 1 warning", {"<seg>a b</seg>", "<seg>x</seg>"}},
      {"nul-utf16.txt", header16 + Utf16(TmUnit("a\0b"s, "c") + "\r\n" + ok), "2 TUs, 1 warning", {"<seg>a b</seg>"}},
      {"nul-ansi.txt", kTmHeader + "\r\n" + TmUnit("a\0b"s, "c") + "\r\n" + ok, "2 TUs, 1 warning", {"<seg>a b</seg>"}},
      {"nul-escape.txt", TextTm({kTmHeader, TmUnit("a&'0;b", "c"), TmUnit("x", "y")}), "2 TUs, 1 warning", {"<seg>ab</seg>"}},
      {"invalid.txt", TextTm({kTmHeader, TmUnit("a\xE9\xFF\xC0\x80" "b", "c"), TmUnit("x", "y")}), "2 TUs, 1 warning",
       {"<seg>a" + kFffd + kFffd + kFffd + kFffd + "b</seg>"}},
      {"long.txt", TextTm({kTmHeader, TmUnit(mixed, "c"), TmUnit(mixed + "\xFF", "c")}), "2 TUs, 1 warning",
       {"<seg>" + mixed + "</seg>", "<seg>" + mixed + kFffd + "</seg>"}},
      {"date.txt",
       TextTm({kTmHeader, Replace(TmUnit("a", "b"), "20261201~090000", "20261399~996199"),
               Replace(TmUnit("c", "d"), "20261201~090000", "20260229~120000"), TmUnit("x", "y")}),
       "3 TUs, 2 warnings", {"<tu creationid=\"ANA\"", "<tu creationdate=\"20261201T090000Z\""}, {"20261399", "20260229"}},
      {"dates.txt", TextTm({kTmHeader, Replace(TmUnit("a", "b"), "20261201~090000", "20240229~235959")}), "1 TUs",
       {"<tu creationdate=\"20240229T235959Z\""}},
  });
}

// A TMX read into a text TM: a #0 of the segment, as a byte or a reference, is kept as the
// escape "&'0;" with the text around it; bytes that are no UTF-8 become U+FFFD; a date that is
// no date is taken as none. Each is a warning of its unit.
TEST(OddValues, TmxToTextTmCountsWhatItReplaced) {
  const std::string mixed = Mixed(3 * 65536 + 7);
  const std::string tmx16 = "\xFF\xFE" + Utf16(Replace(Tmx(Tu("a\0b"s, "c") + Tu("x", "y")), "UTF-8", "UTF-16"));
  RunCases({
      {"nul.tmx", Tmx(Tu("a\0b"s, "c&#0;d") + Tu("x", "y")), "2 TUs, 1 warning", {"\ta&'0;b\tde-DE\tc&'0;d\r\n", "\tx\tde-DE\ty\r\n"}},
      {"nul-hex.tmx", Tmx(Tu("a&#x0;b", "<ph>{x}</ph>c\0"s) + Tu("x", "y")), "2 TUs, 1 warning", {"\ta&'0;b\tde-DE\t"}},
      {"nul-utf16.tmx", tmx16, "2 TUs, 1 warning", {"\ta&'0;b\tde-DE\tc\r\n"}},
      {"invalid.tmx", Tmx(Tu("a\xE9\xFF\xC0\x80" "b", "c") + Tu("x", "y")), "2 TUs, 1 warning",
       {"\ta" + kFffd + kFffd + kFffd + kFffd + "b\tde-DE\tc\r\n"}},
      {"long.tmx", Tmx(Tu(mixed, "c") + Tu(mixed + "\xE2\x82", "c") + Tu("x", "y")), "3 TUs, 1 warning",
       {"\t" + mixed + "\tde-DE\tc\r\n", "\t" + mixed + kFffd + "\tde-DE\tc\r\n"}},
      {"date.tmx",
       Tmx(Tu("a", "b", " creationdate=\"20261399T996199Z\"") + Tu("c", "d", " changedate=\"20250101T000000Z\"") +
           Tu("e", "f", "", "") ),
       "3 TUs, 1 warning", {"20250101~000000\tUnknown\t0\ten-GB\tc\t"}, {"20261399"}},
  });
}

// A file that is not TMX fails, saying so, however it is built around its elements: another
// root, or TMX's units under a prefix. A TMX without units, with a DOCTYPE and comments before
// its root, or with markup of another kind inside a segment (dropped, as such markup is),
// converts.
TEST(OddValues, TmxThatIsNoTmxFails) {
  const std::string prefixed = Replace(Replace(Replace(Tu("a", "b"), "<tu", "<t:tu"), "</tu", "</t:tu"), "seg>", "t:seg>");
  RunCases({
      {"prefixed.tmx", Tmx(prefixed), "It holds \"t:tu\" elements, which TMX does not have.", {}, {}, "", 1},
      {"prefixed-tuv.tmx", Tmx(Replace(Replace(Tu("a", "b"), "<tuv", "<x:TUV"), "</tuv", "</x:TUV")),
       "It holds \"x:TUV\" elements", {}, {}, "", 1},
      {"root.tmx", "<?xml version=\"1.0\"?>\r\n<html><tmx version=\"1.4\"><body>" + Tu("a", "b") + "</body></tmx></html>",
       "root.tmx\" is not a TMX document.", {}, {}, "", 1},
      {"prefixed-root.tmx", Replace(Replace(Tmx(Tu("a", "b")), "<tmx", "<t:tmx"), "</tmx", "</t:tmx"),
       "prefixed-root.tmx\" is not a TMX document.", {}, {}, "", 1},
      {"empty.tmx", Tmx(""), "0 TUs", {"%TU=00000000"}},
      {"doctype.tmx",
       Replace(Tmx(Tu("a<x:tu>c</x:tu>", "d")), "<tmx", "<!DOCTYPE tmx SYSTEM \"tmx14.dtd\">\r\n<!-- made by hand -->\r\n<tmx"),
       "1 TUs", {"\ta\tde-DE\td\r\n"}},
  });
}

// A header that counts 99,999,999 units, or nearly, has no digit for more: the units appended
// are there, the count stays at its largest in the form it has, and the result line says so.
TEST(OddValues, HeaderCountStopsAtItsLargest) {
  const std::string full = Replace(kTmHeader, "%TU=00000002", "%TU=99999999");
  const std::string nearly = Replace(kTmHeader, "%TU=00000002", "%TU=99999998");
  const std::string capped = "2 TUs, the header counts 99.999.999, the most it can hold";
  const std::string tmx = Tmx(Tu("a", "b") + Tu("c", "d"));
  RunCases({
      {"full.tmx", tmx, capped, {full + "\r\n" + TmUnit("x", "y") + "\r\n", "\ta\tde-DE\tb\r\n", "\tc\tde-DE\td\r\n"},
       {"%TU=1"}, TextTm({full, TmUnit("x", "y")})},
      {"nearly.tmx", tmx, capped, {full + "\r\n"}, {"%TU=1"}, TextTm({nearly, TmUnit("x", "y")})},
      {"room.tmx", tmx, "2 TUs", {Replace(kTmHeader, "%TU=00000002", "%TU=99999997") + "\r\n"}, {},
       TextTm({Replace(kTmHeader, "%TU=00000002", "%TU=99999995"), TmUnit("x", "y")})},
  });
}
