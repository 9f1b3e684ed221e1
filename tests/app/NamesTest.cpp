// The program run on files and folders whose names are not UTF-8 (a Latin-1 "é", a byte 0xFF):
// each file is read by its own name and written to an output named with its bytes; messages
// show such a name with U+FFFD.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string kExe = MIRELCON_EXE;
const std::string kShown = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// A TMX of `units` units whose source segments are word + " " + number.
std::string TmxOf(const std::string& word, int units) {
  std::string body;
  for (int i = 1; i <= units; ++i) body += tmfiles::Tu(word + " " + std::to_string(i), "Ziel " + std::to_string(i));
  return tmfiles::Tmx(body);
}

class Names : public ::testing::Test {
protected:
  // "@" stands for the test's folder.
  std::string At(const std::string& s) { return tmfiles::Replace(s, "@", dir.Path().string()); }
  void Write(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(At(name)).parent_path());
    TempDir::Write(At(name), bytes);
  }
  bool Exists(const std::string& name) { return fs::exists(fs::path(At(name))); }
  // The units of a text TM written by the program: the lines after its header.
  size_t Units(const std::string& name) { return tmfiles::CountOf(TempDir::Read(At(name)), "\r\n") - 1; }
  size_t Count(const std::string& name, const std::string& what) {
    return tmfiles::CountOf(TempDir::Read(At(name)), what);
  }
  ProgramRun Run(std::vector<std::string> args, const RunOptions& options = {}) {
    for (std::string& a : args) a = At(a);
    return RunProgram(kExe, args, options);
  }
  TempDir dir;
};

}  // namespace

// An existing file named in Latin-1, given on the command line, walked with /S, found in a
// working directory of such a name, or named by a mask: converted once, by its bytes.
TEST_F(Names, AFileNamedInLatin1IsConvertedIntoItsOwnOutput) {
  Write("@/one/lat\xE9.tmx", TmxOf("latin", 2));
  Write("@/walk/lat\xE9.tmx", TmxOf("latin", 2));
  Write("@/tree\xE9/s\xFC/lat\xE9.tmx", TmxOf("latin", 2));
  const struct {
    std::vector<std::string> args;
    std::string out;       // standard output, "@" for the folder
    std::string written;   // the output file, by its bytes
    size_t units;          // the units it holds after the run
    std::string cwd;       // the working directory of the run, when not the test's
  } runs[] = {
      {{"@/one/lat\xE9.tmx"}, "@/one/lat" + kShown + ".txt: 2 TUs\n", "@/one/lat\xE9.txt", 2, ""},
      {{"/S", "@/walk"}, "@/walk/lat" + kShown + ".txt: 2 TUs\n", "@/walk/lat\xE9.txt", 2, ""},
      // The output folder and the folders mirrored under it keep their bytes too.
      {{"/S", "@/tree\xE9", "@/o\xE9ut"}, "@/o" + kShown + "ut/s" + kShown + "/lat" + kShown + ".txt: 2 TUs\n",
       "@/o\xE9ut/s\xFC/lat\xE9.txt", 2, ""},
      {{"lat\xE9.tmx"}, "@/tree" + kShown + "/s" + kShown + "/lat" + kShown + ".txt: 2 TUs\n",
       "@/tree\xE9/s\xFC/lat\xE9.txt", 2, "@/tree\xE9/s\xFC"},
      // A mask with the name's bytes: the units are added to the first run's output.
      {{"@/one/lat\xE9*.tmx"}, "@/one/lat" + kShown + ".txt: 2 TUs\n", "@/one/lat\xE9.txt", 4, ""},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.args.back());
    const ProgramRun run = r.cwd.empty() ? Run(r.args) : Run(r.args, RunOptions({}, {"/usr/bin/env", "-C", At(r.cwd)}));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, At(r.out));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Units(r.written), r.units);
    EXPECT_EQ(Count(r.written, "\tlatin "), r.units);
  }
  // No file of the shown name was ever made or read.
  for (const char* shown : {"one", "walk", "tree\xE9/s\xFC"})
    for (const char* ext : {".txt", ".tmx"})
      EXPECT_FALSE(Exists("@/" + std::string(shown) + "/lat" + kShown + ext)) << shown << ext;
  EXPECT_FALSE(Exists("@/o" + kShown + "ut"));
}

// x\xFF.tmx and x\xEF\xBF\xBD.tmx (a real U+FFFD) are shown alike but are two files: each is
// converted once, into its own output, with its own units; a mask written with the bytes of one
// takes that one only.
TEST_F(Names, TwoNamesShownAlikeStayTwoFiles) {
  for (const char* folder : {"all", "byte", "mark"}) {
    Write("@/" + std::string(folder) + "/x\xFF.tmx", TmxOf("byte", 3));
    Write("@/" + std::string(folder) + "/x" + kShown + ".tmx", TmxOf("mark", 4));
  }
  const struct {
    std::string arg;
    std::string out;
    size_t byteUnits, markUnits;  // in x\xFF.txt and x\xEF\xBF\xBD.txt; 0: not written
  } runs[] = {
      // The walk takes names in the order of their bytes: 0xEF before 0xFF.
      {"@/all/", "@/all/x" + kShown + ".txt: 4 TUs\n@/all/x" + kShown + ".txt: 3 TUs\n", 3, 4},
      {"@/byte/x\xFF*", "@/byte/x" + kShown + ".txt: 3 TUs\n", 3, 0},
      {"@/mark/x" + kShown + ".*", "@/mark/x" + kShown + ".txt: 4 TUs\n", 0, 4},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.arg);
    const ProgramRun run = Run({r.arg});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, At(r.out));
    EXPECT_EQ(run.err, "");
    const std::string folder = "@/" + r.arg.substr(2, r.arg.find('/', 2) - 2);
    const std::string byteOut = folder + "/x\xFF.txt", markOut = folder + "/x" + kShown + ".txt";
    EXPECT_EQ(Exists(byteOut), r.byteUnits != 0);
    EXPECT_EQ(Exists(markOut), r.markUnits != 0);
    if (r.byteUnits) {
      EXPECT_EQ(Units(byteOut), r.byteUnits);
      EXPECT_EQ(Count(byteOut, "\tbyte "), r.byteUnits);
    }
    if (r.markUnits) {
      EXPECT_EQ(Units(markOut), r.markUnits);
      EXPECT_EQ(Count(markOut, "\tmark "), r.markUnits);
    }
  }
}

// What goes wrong with such a file is said of it, with U+FFFD for its byte; a missing one is a
// bad file name as before.
TEST_F(Names, MessagesShowTheNameWithAReplacementCharacter) {
  Write("@/bad\xE9.tmx", "not xml");
  const ProgramRun bad = Run({"@/bad\xE9.tmx"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, At("The file \"@/bad" + kShown + ".tmx\" is not a TMX document.\n"));
  EXPECT_FALSE(Exists("@/bad\xE9.txt"));
  const ProgramRun gone = Run({"@/gone\xE9.tmx"});
  EXPECT_EQ(gone.status, 2);
  EXPECT_EQ(gone.err, "Bad FileName\n");
  // An SDLTM of such a name: the memory's name in the TMX is text, with U+FFFD for the byte.
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  auto segment = [](const std::string& text, const std::string& culture) {
    return SQLiteMaker::Quote("<Segment><Elements><Text><Value>" + text +
                              "</Value></Text></Elements><CultureName>" + culture + "</CultureName></Segment>");
  };
  ASSERT_EQ(SQLiteMaker::Instance().Make(
                At("@/m\xE9.sdltm"),
                "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment TEXT, "
                "creation_date DATETIME, creation_user TEXT, usage_counter INT);"
                "INSERT INTO translation_units VALUES (1, " +
                    segment("Hello", "en-US") + ", " + segment("Hallo", "de-DE") + ", '2012-11-03 10:20:30', 'ana', 1);"),
            "");
  const ProgramRun db = Run({"@/m\xE9.sdltm"});
  EXPECT_EQ(db.status, 0);
  EXPECT_EQ(db.out, At("@/m" + kShown + ".tmx: 1 TUs\n"));
  EXPECT_EQ(db.err, "");
  EXPECT_EQ(Count("@/m\xE9.tmx", "<prop type=\"x-TMName\">m" + kShown + ".sdltm</prop>"), 1u);
  EXPECT_EQ(Count("@/m\xE9.tmx", "<seg>Hallo</seg>"), 1u);
}

// The program in a folder whose name is not UTF-8 finds its window module beside it, by the
// folder's bytes (a display that needs no screen: Qt's offscreen platform).
TEST_F(Names, TheWindowModuleIsFoundInAFolderOfSuchAName) {
  const std::string bin = At("@/bin\xE9/");
  fs::create_directories(bin);
  fs::copy_file(kExe, bin + "mirelcon");
  fs::copy_file(fs::path(kExe).parent_path() / MIRELCON_WINDOW_MODULE, bin + MIRELCON_WINDOW_MODULE);
  Write("@/tm.txt", tmfiles::NumberedTm(2));
  RunOptions options({"QT_QPA_PLATFORM=offscreen"});
  options.boundSeconds = 60;
  const ProgramRun run = RunProgram(bin + "mirelcon", {"/QUIET", At("@/tm.txt")}, options);
  EXPECT_FALSE(run.hung);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err.find("cannot be shown"), std::string::npos) << run.err;
  EXPECT_EQ(tmfiles::CountOf(TempDir::Read(At("@/tm.tmx")), "<seg>"), 4u);
}
