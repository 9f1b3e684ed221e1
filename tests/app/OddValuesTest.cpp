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
