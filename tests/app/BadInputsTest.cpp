// The program run on damaged, mislabelled and huge inputs. Each run must end by itself within a
// generous bound, without a crash, with either a clear error that names the file (exit status
// 1) or a sound conversion with its result line, and the input's bytes must be the same
// afterwards. Small inputs are committed in tests/app/badinputs/; the big and binary ones are
// made here.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmxLint.h"

namespace fs = std::filesystem;
using namespace tmfiles;

namespace {

const std::string kBadInputs = MIRELCON_SOURCE_DIR "/tests/app/badinputs";
constexpr int kBoundSeconds = 60;
const std::vector<std::string> kNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};

// The program without a display, killed when it has not ended within the bound. asNobody: run
// as user and group 65534 through setpriv, so that file permissions hold even for root.
ProgramRun RunBounded(const std::vector<std::string>& args, bool asNobody = false) {
  RunOptions options({}, asNobody ? kNobody : std::vector<std::string>{});
  options.boundSeconds = kBoundSeconds;
  return RunProgram(MIRELCON_EXE, args, options);
}

// What a run on one input must give: a conversion of `units` units (the CSV import shows no
// count: -1), or with kFails an error that names the file.
constexpr long kFails = -2;

std::string OutputOf(const std::string& input) {
  const fs::path p(input);
  const std::string ext = p.extension().string();
  return (p.parent_path() / p.stem()).string() +
         (ext == ".txt" ? ".tmx" : ext == ".tmx" ? ".txt" : ext == ".sdltb" ? ".csv" : ext == ".csv" ? ".txt" : ".tmx");
}

// Runs the program on input (alone in its folder, so that no output meets another input) and
// checks the outcome.
void Check(const std::string& input, long units, bool asNobody = false, int warnings = 0) {
  SCOPED_TRACE(input);
  const std::string before = TempDir::Read(input);
  const auto written = std::filesystem::last_write_time(input);
  const ProgramRun run = RunBounded({input}, asNobody);
  EXPECT_FALSE(run.hung) << "no end within " << kBoundSeconds << " s";
  EXPECT_LT(run.status, 128) << "killed by signal " << run.status - 128 << "\n" << run.err;
  EXPECT_EQ(TempDir::Read(input), before) << "the input was changed";
  EXPECT_TRUE(std::filesystem::last_write_time(input) == written) << "the input was touched";
  if (units == kFails) {
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.err.find(input), std::string::npos) << "the error names no file: " << run.err;
    EXPECT_EQ(run.out, "");
    return;
  }
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string output = OutputOf(input);
  EXPECT_TRUE(fs::is_regular_file(output)) << output;
  std::string what = fs::path(input).extension() == ".sdltb" ? " entries" : " TUs";
  if (warnings > 0) what += ", " + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
  what += "\n";
  EXPECT_EQ(run.out, units < 0 ? "" : output + ": " + std::to_string(units) + what);
}

// An input alone in a folder of dir: a new one, or a copy of a committed one.
std::string Make(const TempDir& dir, const std::string& name, const std::string& bytes) {
  const fs::path folder = dir.Path() / (name + ".d");
  fs::create_directories(folder);
  TempDir::Write((folder / name).string(), bytes);
  return (folder / name).string();
}
std::string Place(const TempDir& dir, const std::string& name) {
  return Make(dir, name, TempDir::Read(kBadInputs + "/" + name));
}

const std::string kTmxStart = Tmx("").substr(0, Tmx("").find("</body>"));
const std::string kTmxEnd = "</body>\n</tmx>\n";

bool CanDropPrivileges() { return geteuid() != 0 || access("/usr/bin/setpriv", X_OK) == 0; }

}  // namespace

// The committed inputs: empty files under every extension, text files cut short, counts that no
// integer holds, a file without the mark of its encoding, files that are not what their
// extension says.
TEST(BadInputs, CommittedFiles) {
  TempDir dir;
  const std::pair<const char*, long> files[] = {
      {"empty.txt", 0},       {"empty.tmx", kFails}, {"empty.csv", -1},          {"empty.sdltb", kFails},
      {"empty.sdltm", kFails}, {"truncated.txt", 2},  {"truncated.tmx", 2},       {"truncated.csv", -1},
      {"huge-count.txt", 1},  {"huge-count.tmx", 2}, {"missing-bom-utf8.txt", 1}, {"not-jet.sdltb", kFails},
      {"not-a-database.sdltm", kFails}};
  for (const auto& [name, units] : files) Check(Place(dir, name), units);
  EXPECT_VALID_TMX(dir.File("empty.txt.d/empty.tmx"));
}

// Random bytes under every extension, and a termbase cut in half.
TEST(BadInputs, BinaryAndTruncatedFiles) {
  TempDir dir;
  std::mt19937 gen(9);
  std::string noise(64 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(gen() & 0xFF);
  for (const auto& [ext, units] : std::vector<std::pair<std::string, long>>{
           {"txt", 0}, {"tmx", kFails}, {"sdltm", kFails}, {"sdltb", kFails}})
    Check(Make(dir, "binary." + ext, noise), units);
  // As a CSV every line is a unit; those whose #0 bytes were written as their escape are warnings.
  Check(Make(dir, "binary.csv", noise), 477, false, 165);
  const ProgramRun sdlxliff = RunBounded({Make(dir, "binary.sdlxliff", noise)});
  EXPECT_EQ(sdlxliff.status, 1);
  EXPECT_NE(sdlxliff.err.find("Not yet implemented"), std::string::npos) << sdlxliff.err;

  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "200", dir.File("full.sdltb")}).status, 0);
  const std::string termbase = TempDir::Read(dir.File("full.sdltb"));
  Check(Make(dir, "truncated.sdltb", termbase.substr(0, termbase.size() / 2)), kFails);
}

// Wrong and missing byte-order marks, UTF-16 of odd length and with lone surrogates, invalid
// UTF-8: the text is read as well as it can be and the TMX written is valid.
TEST(BadInputs, BrokenEncodings) {
  TempDir dir;
  const std::string header = kTmHeader + "\r\n";
  const std::string tm16 = Utf16(header + TmUnit("One", "Eins") + "\r\n" + TmUnit("Two", "Zwei") + "\r\n");
  // UTF-16LE text behind the big-endian mark, UTF-8 text behind the little-endian one, and
  // UTF-16LE without any mark (read as ANSI, its #0 bytes and all).
  Check(Make(dir, "le-text-be-mark.txt", "\xFE\xFF" + tm16), 0);
  Check(Make(dir, "utf8-text-le-mark.txt", "\xFF\xFE" + header + TmUnit("One", "Eins") + "\r\n"), 0);
  Check(Make(dir, "utf16-no-mark.txt", tm16), 0);
  Check(Make(dir, "utf16-no-mark.tmx", Utf16("<?xml version=\"1.0\"?><tmx><body></body></tmx>")), 0);
  // An odd last byte: the units before it are read, and the run ends.
  Check(Make(dir, "odd-length.txt", "\xFF\xFE" + tm16 + "x"), 2);
  Check(Make(dir, "odd-length.tmx", "\xFF\xFE" + Utf16(Replace(Tmx(Tu("One", "Eins")), "UTF-8", "UTF-16")) + "x"), 1);
  const std::u16string lone = u"20261201~090000\tANA\t1\ten-GB\ta\xD800" u"b\tde-DE\t\xDC00" u"c\r\n"
                              u"20261201~090000\tANA\t1\ten-GB\td\xDBFF\tde-DE\t\xDFFF\xD800\r\n";
  // Each surrogate without its partner is written as U+FFFD, and both units are warnings.
  Check(Make(dir, "lone-surrogates.txt", "\xFF\xFE" + Utf16(header) + Utf16(lone)), 2, false, 2);
  EXPECT_VALID_TMX(dir.File("lone-surrogates.txt.d/lone-surrogates.tmx"));
  const std::string tmx = TempDir::Read(dir.File("lone-surrogates.txt.d/lone-surrogates.tmx"));
  EXPECT_NE(tmx.find("<seg>a\xEF\xBF\xBD" "b</seg>"), std::string::npos);
  EXPECT_NE(tmx.find("<seg>\xEF\xBF\xBD\xEF\xBF\xBD</seg>"), std::string::npos);
}

TEST(BadInputs, InvalidUtf8) {
  TempDir dir;
  // Overlong forms, bytes that never start a character, continuation bytes alone, surrogates
  // encoded in UTF-8, and a sequence cut by the end of the file.
  const std::string bad = "a\xC0\x80" "b\xFF\xFE" "c\x80\x80" "d\xED\xA0\x80" "e\xF4\x90\x80\x80" "f";
  // The surrogate's form reaches the text TM as U+FFFD, and its unit is a warning.
  Check(Make(dir, "invalid.tmx", kTmxStart + Tu(bad, bad) + Tu("x", "y") + kTmxEnd + "\xE2\x82"), 2, false, 1);
  EXPECT_EQ(TempDir::Read(dir.File("invalid.tmx.d/invalid.txt")).find("\xED\xA0"), std::string::npos);
  // A #0 byte costs nothing but itself: the units after it are there, and its own is a warning.
  Check(Make(dir, "nul-byte.tmx", kTmxStart + Tu(std::string("x\0y", 3), "z") + Tu("Two", "Zwei") + kTmxEnd), 2, false, 1);
  Check(Make(dir, "invalid.txt", TextTm({kTmHeader, TmUnit(bad, bad), TmUnit("x", "y\xE2\x82")})), 2, false, 2);
  EXPECT_VALID_TMX(dir.File("invalid.txt.d/invalid.tmx"));
}

// A line of 10 MB, and elements nested 100,000 deep.
TEST(BadInputs, HugeLinesAndDeepNesting) {
  TempDir dir;
  const std::string big(10 * 1024 * 1024, 'a');
  Check(Make(dir, "long-line.txt", TextTm({kTmHeader, TmUnit(big, "kurz")})), 1);
  Check(Make(dir, "one-line.txt", big), 0);
  Check(Make(dir, "long-line.tmx", kTmxStart + Tu(big, "kurz") + kTmxEnd), 1);
  std::string open, close;
  for (int i = 0; i < 100000; ++i) open += "<hi>", close += "</hi>";
  Check(Make(dir, "deep-elements.tmx", kTmxStart + open + close + Tu("after", "danach") + kTmxEnd), 1);
  Check(Make(dir, "deep-inline.tmx", kTmxStart + Tu(open + "x" + close, "y") + kTmxEnd), 1);
  Check(Make(dir, "deep-unclosed.tmx", kTmxStart + Tu("a", "b") + open), 1);
}

// A termbase whose tables declare counts far beyond what the file holds: a row count (the rows
// are read until the pages end) and a column count (no column list that long is there).
TEST(BadInputs, TermbaseWithHugeDeclaredCounts) {
  TempDir dir;
  ASSERT_EQ(RunProgram(MAKE_TERMBASE, {"--entries", "20", dir.File("full.sdltb")}).status, 0);
  const std::string bytes = TempDir::Read(dir.File("full.sdltb"));
  constexpr size_t kPage = 4096;
  // Every table definition page (type 2) but the system catalog's (page 2), one field patched.
  auto patched = [&](size_t offset, const std::string& value) {
    std::string b = bytes;
    for (size_t page = 3; (page + 1) * kPage <= b.size(); ++page)
      if (b[page * kPage] == 2) b.replace(page * kPage + offset, value.size(), value);
    return b;
  };
  Check(Make(dir, "huge-rows.sdltb", patched(16, "\xFF\xFF\xFF\x7F")), 20);
  Check(Make(dir, "huge-columns.sdltb", patched(45, "\xFF\xFF")), kFails);
  EXPECT_FALSE(fs::exists(dir.Path() / "huge-columns.sdltb.d/huge-columns.csv"));
}

// A folder named like an input, an input that cannot be read, an output folder that cannot be
// written to.
TEST(BadInputs, FoldersAndPermissions) {
  TempDir dir;
  fs::create_directories(dir.Path() / "folder.txt");
  // A folder is taken as a folder whatever its name: this one holds nothing to convert.
  const ProgramRun folder = RunBounded({dir.File("folder.txt")});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "No file to convert matches \"" + dir.File("folder.txt/") + "\".\n");
  // In a batch the folder is no input: the file beside it converts.
  TempDir::Write(dir.File("real.txt"), NumberedTm(1));
  const ProgramRun batch = RunBounded({dir.File("*.txt")});
  EXPECT_EQ(batch.status, 0) << batch.err;
  EXPECT_EQ(batch.out, dir.File("real.tmx") + ": 1 TUs\n");

  if (!CanDropPrivileges()) GTEST_SKIP() << "running as root without setpriv: file permissions cannot be put to the test";
  // The folders are open to the unprivileged user that runs the program.
  fs::permissions(dir.Path(), fs::perms::all);
  const std::string unreadable = Make(dir, "unreadable.txt", NumberedTm(1));
  fs::permissions(fs::path(unreadable).parent_path(), fs::perms::all);
  fs::permissions(unreadable, fs::perms::none);
  Check(unreadable, kFails, geteuid() == 0);
  EXPECT_FALSE(fs::exists(OutputOf(unreadable)));

  const std::string input = Make(dir, "in.txt", NumberedTm(1));
  fs::permissions(fs::path(input).parent_path(), fs::perms::all);
  fs::permissions(input, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const fs::path locked = dir.Path() / "locked";
  fs::create_directories(locked);
  fs::permissions(locked, fs::perms::all & ~(fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write));
  const ProgramRun run = RunBounded({input, locked.string()}, geteuid() == 0);
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_NE(run.err.find("Cannot create file \"" + (locked / "in.tmx").string() + "\""), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(locked / "in.tmx"));
  fs::permissions(locked, fs::perms::owner_all);
}
