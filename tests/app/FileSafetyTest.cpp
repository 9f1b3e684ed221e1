// The program run on files that are not what their names promise: outputs that are their own
// inputs by another name, pipes and devices where files were expected, two inputs of a batch
// that share an output, an output folder inside the input tree, inputs that fail before their
// first unit, and switches carrying control characters. Each run ends by itself, harms no input,
// and says in words what it did not convert.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace fs = std::filesystem;
using namespace tmfiles;

namespace {

const std::vector<std::string> kNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};

// The program without a display, killed after 30 s: a run that waits on a pipe must fail its
// test, not hang the suite.
ProgramRun RunBounded(const std::vector<std::string>& args, bool asNobody = false) {
  RunOptions options({}, asNobody ? kNobody : std::vector<std::string>{});
  options.boundSeconds = 30;
  return RunProgram(MIRELCON_EXE, args, options);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// In a test's texts "@" stands for its folder.
class FileSafety : public ::testing::Test {
protected:
  std::string At(const std::string& s) { return Replace(s, "@", dir.File("").substr(0, dir.File("").size() - 1)); }
  // An input of each kind, small: units of a text TM, a TMX, an SDLTM, a termbase, a CSV.
  bool Make(const std::string& name, int units = 2) {
    const std::string path = dir.File(name);
    fs::create_directories(fs::path(path).parent_path());
    const std::string ext = fs::path(name).extension().string();
    if (ext == ".sdltm") {
      if (!SQLiteMaker::Instance().Ready()) return false;
      std::string script = "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment TEXT);";
      for (int i = 0; i < units; ++i)
        for (const char* lang : {"en-US", "de-DE"})
          script += std::string(lang[0] == 'e' ? "INSERT INTO translation_units(source_segment, target_segment) VALUES(" : ", ") +
                    SQLiteMaker::Quote("<Segment><Elements><Text><Value>u" + std::to_string(i) +
                                       "</Value></Text></Elements><CultureName>" + lang + "</CultureName></Segment>") +
                    (lang[0] == 'd' ? ");" : "");
      return SQLiteMaker::Instance().Make(path, script).empty();
    }
    if (ext == ".sdltb") return RunProgram(MAKE_TERMBASE, {"--entries", std::to_string(units), path}).status == 0;
    std::string bytes;
    if (ext == ".txt") bytes = NumberedTm(units);
    if (ext == ".csv") bytes = "Source\tTarget\r\n" + std::string("a\tb\r\n");
    if (ext == ".tmx") {
      std::string body;
      for (int i = 0; i < units; ++i) body += Tu("u" + std::to_string(i), "v");
      bytes = Tmx(body);
    }
    TempDir::Write(path, bytes);
    return true;
  }
  TempDir dir;
};

struct Kind {
  const char* input;
  const char* output;
};
const Kind kKinds[] = {{"x.txt", "x.tmx"}, {"x.tmx", "x.txt"}, {"x.sdltm", "x.tmx"}, {"x.sdltb", "x.csv"}, {"x.csv", "x.txt"}};

}  // namespace

// An output that is the input by a symbolic or a hard link is never opened: the input keeps
// its bytes, and the message names both.
TEST_F(FileSafety, AnOutputThatIsItsInputIsRefused) {
  for (const Kind& k : kKinds) {
    for (const bool hard : {false, true}) {
      SCOPED_TRACE(std::string(k.input) + (hard ? " hard" : " symbolic"));
      fs::remove_all(dir.Path() / "in");
      fs::remove_all(dir.Path() / "out");
      if (!Make(std::string("in/") + k.input, 2)) continue;
      fs::create_directories(dir.Path() / "out");
      const std::string input = dir.File(std::string("in/") + k.input), output = dir.File(std::string("out/") + k.output);
      if (hard)
        fs::create_hard_link(input, output);
      else
        fs::create_symlink(input, output);
      const std::string before = TempDir::Read(input);
      const ProgramRun run = RunBounded({input, dir.File("out")});
      EXPECT_EQ(run.status, 1) << run.out << run.err;
      EXPECT_EQ(TempDir::Read(input), before);
      EXPECT_EQ(run.err, "The output file \"" + output + "\" is the input file \"" + input + "\" itself; nothing was "
                "written to it.\n");
    }
  }
}

// Pipes, devices and links to them, among the files of a batch, are refused before they are
// opened, leave no output, and the batch goes on to the file after them; so are such outputs.
TEST_F(FileSafety, InputsThatAreNoFilesNeverHoldUpABatch) {
  fs::create_directories(dir.Path() / "in");
  fs::create_directories(dir.Path() / "out");
  std::vector<std::string> refused;
  for (const char* name : {"a.tmx", "b.txt", "c.sdltb", "d.csv", "e.sdltm"}) {
    ASSERT_EQ(mkfifo(dir.File(std::string("in/") + name).c_str(), 0644), 0);
    refused.push_back("Cannot open file \"@/in/" + std::string(name) + "\". Not a regular file.");
  }
  for (const auto& [name, device] : {std::pair{"f.txt", "/dev/zero"}, {"g.tmx", "/dev/null"}, {"h.csv", "/dev/zero"}}) {
    fs::create_symlink(device, dir.File(std::string("in/") + name));
    refused.push_back("Cannot open file \"@/in/" + std::string(name) + "\". Not a regular file.");
  }
  ASSERT_TRUE(Make("in/y.txt", 3) && Make("in/z.tmx", 2));
  ASSERT_EQ(mkfifo(dir.File("out/y.tmx").c_str(), 0644), 0);
  refused.push_back("Cannot create file \"@/out/y.tmx\". Not a regular file.");
  std::string err;
  for (const std::string& line : refused) err += At(line) + "\n";
  const ProgramRun run = RunBounded({"/QUIET", "/S", dir.File("in"), dir.File("out")});
  ASSERT_FALSE(run.hung) << "the batch waited on a pipe";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, At("@/out/z.txt: 2 TUs\n"));
  EXPECT_EQ(run.err, err);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.Path() / "out")) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"y.tmx", "z.txt"}));
  // A pipe named alone on the command line is no file to convert.
  const ProgramRun alone = RunBounded({dir.File("in/a.tmx")});
  EXPECT_FALSE(alone.hung);
  EXPECT_EQ(alone.status, 2);
}

// Of two inputs of one run that write one output, by one name or by two names of one file, the
// first writes it and the later one fails with a message naming both and the output.
TEST_F(FileSafety, TwoInputsOfARunNeverWriteOneOutput) {
  if (!Make("in/y.sdltm", 2)) GTEST_SKIP() << "the SQLite library is not available";
  ASSERT_TRUE(Make("in/y.txt", 6) && Make("in/x.csv") && Make("in/x.tmx", 4) && Make("in/u.txt", 1) && Make("in/v.txt", 5));
  fs::create_directories(dir.Path() / "out");
  fs::create_symlink(dir.File("out/u.tmx"), dir.File("out/v.tmx"));  // v.txt's output is u.txt's by another name
  const ProgramRun run = RunBounded({"/S", dir.File("in"), dir.File("out")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, At("@/out/u.tmx: 1 TUs\n@/out/y.tmx: 2 TUs\n"));  // the CSV import shows no count
  EXPECT_EQ(run.err, At("\"@/in/v.txt\" is not converted: its output \"@/out/v.tmx\" was written from \"@/in/u.txt\" in "
                        "this run.\n"
                        "\"@/in/x.tmx\" is not converted: its output \"@/out/x.txt\" was written from \"@/in/x.csv\" in "
                        "this run.\n"
                        "\"@/in/y.txt\" is not converted: its output \"@/out/y.tmx\" was written from \"@/in/y.sdltm\" in "
                        "this run.\n"));
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("out/y.tmx")), "</tu>"), 2u);
  EXPECT_EQ(CountOf(TempDir::Read(dir.File("out/u.tmx")), "</tu>"), 1u);
  EXPECT_EQ(SplitLines(TempDir::Read(dir.File("out/x.txt"))).size(), 2u);  // the header and the CSV's one unit
}

// An output folder inside the input tree is not walked; the files to convert that it held before
// the run are named, while what the run itself writes there is not.
TEST_F(FileSafety, AnOutputFolderInTheInputTreeIsNamedWhenItHoldsInputs) {
  ASSERT_TRUE(Make("in/a.txt", 2));
  fs::create_directories(dir.Path() / "in/sub");
  for (int round = 0; round < 2; ++round) {
    const ProgramRun run = RunBounded({"/S", dir.File("in"), dir.File("in/sub")});
    EXPECT_EQ(run.status, 0) << round;
    EXPECT_EQ(run.out, At("@/in/sub/a.tmx: 2 TUs\n")) << round;
    EXPECT_EQ(run.err, "") << round;
  }
  ASSERT_TRUE(Make("in/sub/b.txt", 1) && Make("in/sub/deeper/c.csv"));
  const ProgramRun run = RunBounded({"/S", dir.File("in"), dir.File("in/sub")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, At("@/in/sub/a.tmx: 2 TUs\n"));
  EXPECT_EQ(run.err, At("The folder \"@/in/sub/\" is the output folder of this run and is not walked: 2 files in it are "
                        "not converted, the first \"@/in/sub/b.txt\".\n"));
}

// An input that cannot be opened, or that fails before its first unit, leaves no output behind;
// a text TM it was to be added to keeps its bytes.
TEST_F(FileSafety, AFailureBeforeTheFirstUnitLeavesNoOutput) {
  const bool root = geteuid() == 0;
  fs::permissions(dir.Path(), fs::perms::all);
  const struct {
    const char* input;
    const char* output;
    std::string bytes;  // "-> target": a link; "unreadable": a readable kind made unreadable
    bool alone = false;  // fails only into a new text TM: one to add to has a language pair of its own
  } cases[] = {
      {"a.tmx", "a.txt", "-> nowhere"},
      {"b.tmx", "b.txt", "unreadable"},
      {"c.tmx", "c.txt", Tmx("<tu><tuv xml:lang=\"en-US\"><seg>One</seg></tuv><tuv xml:lang=\"fil-PH\"><seg>Isa</seg></tuv></tu>"), true},
      {"d.tmx", "d.txt", "<html><body><tu><tuv xml:lang=\"en\"><seg>a</seg></tuv></tu></body></html>"},
      {"e.txt", "e.tmx", "unreadable"},
      {"f.csv", "f.txt", "unreadable"},
      {"g.sdltm", "g.tmx", "no database at all"},
      {"h.sdltb", "h.csv", "no termbase at all"},
      {"i.sdltb", "i.csv", "-> nowhere"},
  };
  for (const bool appended : {false, true}) {
    for (const auto& c : cases) {
      if (appended && c.alone) continue;
      SCOPED_TRACE(std::string(c.input) + (appended ? " appended" : ""));
      const std::string input = dir.File(c.input), output = dir.File(c.output);
      fs::remove(input);
      fs::remove(output);
      if (c.bytes == "-> nowhere") {
        fs::create_symlink(dir.File("nowhere"), input);
      } else if (c.bytes == "unreadable") {
        ASSERT_TRUE(Make(c.input));
        fs::permissions(input, fs::perms::none);
      } else {
        TempDir::Write(input, c.bytes);
      }
      // A text TM that a TMX's units would be added to.
      const bool appends = appended && fs::path(c.output).extension() == ".txt" && fs::path(c.input).extension() == ".tmx";
      if (appends) {
        TempDir::Write(output, NumberedTm(3));
        fs::permissions(output, fs::perms::all);
      }
      const std::string before = appends ? TempDir::Read(output) : "";
      // As a batch takes it: a name alone must be a file to be taken at all.
      const ProgramRun run = RunBounded({input + "*"}, root && c.bytes == "unreadable");
      EXPECT_EQ(run.status, 1) << run.out << run.err;
      EXPECT_TRUE(Has(run.err, input)) << run.err;
      EXPECT_EQ(fs::exists(fs::symlink_status(output)), appends);
      if (appends) {
        EXPECT_EQ(TempDir::Read(output), before);
      }
    }
  }
}

// A switch's value with a control character is refused with the usage line (exit status 2),
// before anything is converted; other characters pass.
TEST_F(FileSafety, ControlCharactersInASwitchAreRefused) {
  ASSERT_TRUE(Make("in/x.tmx", 1));
  const struct {
    std::string param, shown;
  } cases[] = {
      {"/PROP_TYPE=x\ty", "/PROP_TYPE=x<U+0009>y"},
      {"-prop_type=x\ny", "-prop_type=x<U+000A>y"},
      {"--Prop_Type=\x1b[31m", "--Prop_Type=<U+001B>[31m"},
      {"/PROP_TYPE=x\x7f", "/PROP_TYPE=x<U+007F>"},
      {"/PROP_TYPE=x\xC2\x85", "/PROP_TYPE=x<U+0085>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    const ProgramRun run = RunBounded({c.param, dir.File("in/x.tmx")});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Bad parameter \"" + c.shown + "\": a switch's value may hold no control character.\n"
                       "Usage: Mirelcon [parameters] InputFile [OutputDirectory]\n");
    EXPECT_FALSE(fs::exists(dir.File("in/x.txt")));
  }
  const ProgramRun run = RunBounded({"/PROP_TYPE=x y\xC3\xA9", dir.File("in/x.tmx")});
  EXPECT_EQ(run.status, 0) << run.err;
}
