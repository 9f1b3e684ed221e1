#include "app/core/Dispatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

namespace {
WideString W(const std::string& s) { return platform::Utf8ToUtf16(s); }
std::string N(const WideString& s) { return platform::Utf16ToUtf8(s); }
}  // namespace

TEST(FileTypes, ExtensionsChooseTheConversion) {
  EXPECT_EQ(InputTypeOf(u"/x/A.TXT"), ftTxt);
  EXPECT_EQ(OutputFileName(u"/x/A.TXT", OutputTypeOf(u"/x/A.TXT")), u"/x/A.tmx");
  EXPECT_EQ(InputTypeOf(u"notes"), ftNone);
  EXPECT_EQ(OutputFileName(u"notes", OutputTypeOf(u"notes")), u"notes");
  EXPECT_EQ(OutputFileName(u"/x/a.b.tmx", OutputTypeOf(u"/x/a.b.tmx")), u"/x/a.b.txt");
  EXPECT_EQ(OutputTypeOf(u"tm.sdltm"), ftTmx);
  EXPECT_EQ(OutputTypeOf(u"f.sdlxliff"), ftTmx);
  EXPECT_EQ(OutputTypeOf(u"t.sdltb"), ftCsv);
  EXPECT_EQ(OutputTypeOf(u"t.csv"), ftTxt);
  EXPECT_EQ(InputTypeOf(u"/dir.txt/file"), ftNone);
}

TEST(FileMasks, SplitAndMatch) {
  auto split = [](const WideString& s) {
    TFileMasks m = SplitFileMask(s);
    return m.NameMask + "|" + m.ExtMask;
  };
  EXPECT_EQ(split(u"*.txt"), "*|.txt");
  EXPECT_EQ(split(u"file."), "file|*");
  EXPECT_EQ(split(u""), "*|*");
  EXPECT_EQ(split(u".txt"), "*|.txt");
  const TFileMasks txt = SplitFileMask(u"*.txt");
  EXPECT_TRUE(MatchesFileMask(u"a.txt", txt));
  EXPECT_FALSE(MatchesFileMask(u"a.tmx", txt));
  EXPECT_FALSE(MatchesFileMask(u"a.TXT", txt));  // masks keep their case
  const TFileMasks in = SplitFileMask(u"in");
  EXPECT_TRUE(MatchesFileMask(u"in.txt", in));
  EXPECT_TRUE(MatchesFileMask(u"in", in));
  EXPECT_FALSE(MatchesFileMask(u"input.txt", in));
  EXPECT_TRUE(IsFileMask(u""));
  EXPECT_TRUE(IsFileMask(u".txt"));
  EXPECT_TRUE(IsFileMask(u"."));
  EXPECT_TRUE(IsFileMask(u"a*.txt"));
  EXPECT_FALSE(IsFileMask(u"in"));
  EXPECT_FALSE(IsFileMask(u"tm.txt"));
}

TEST(CommandLine, SwitchesAndPaths) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "out");
  TCommandLine cl = ParseCommandLine({u"/s", W(dir.File("in.txt")), u"-QUIET", u"--Prop_Type=x-Client",
                                      u"/prop_type=", W(dir.File("out")), u"/UTF8", u"/QM", u"/elsewhere"});
  EXPECT_TRUE(cl.Recursive);
  EXPECT_TRUE(cl.Quiet);
  EXPECT_FALSE(cl.Help);
  EXPECT_EQ(cl.NamePart, u"in.txt");
  EXPECT_EQ(cl.InputDir, W(dir.File("")));
  EXPECT_EQ(cl.OutputDir, W(dir.File("out/")));
  EXPECT_EQ(cl.PropTypes, (std::vector<WideString>{u"x-Client", u""}));
  // An absolute path is a path, never a switch.
  TCommandLine single = ParseCommandLine({u"/home/ana/tm.txt"});
  EXPECT_EQ(single.NamePart, u"tm.txt");
  EXPECT_EQ(single.InputDir, u"/home/ana/");
  EXPECT_EQ(single.OutputDir, u"/home/ana/");
  // The second path is the output folder even before it exists; a first path that is a folder
  // stands for every file in it.
  TCommandLine out = ParseCommandLine({W(dir.File("out")), W(dir.File("missing"))});
  EXPECT_EQ(out.NamePart, u"");
  EXPECT_EQ(out.InputDir, W(dir.File("out/")));
  EXPECT_EQ(out.OutputDir, W(dir.File("missing/")));
  EXPECT_TRUE(ParseCommandLine({u"/?", u"x.txt"}).Help);
  EXPECT_TRUE(ParseCommandLine({u"-h"}).Help);
}

TEST(CommandLine, DirectoryParameters) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  EXPECT_EQ(NormalizeDirParam(u""), W(dir.File("")));
  EXPECT_EQ(NormalizeDirParam(u"*.txt"), W(dir.File("")));
  EXPECT_EQ(NormalizeDirParam(u"./in/a.txt"), W(dir.File("in/")));
  EXPECT_EQ(NormalizeDirParam(u"in"), W(dir.File("in/")));
  EXPECT_EQ(NormalizeDirParam(u"a.txt"), W(dir.File("")));
  EXPECT_EQ(NormalizeDirParam(W(dir.File("in"))), W(dir.File("in/")));
  EXPECT_EQ(NormalizeDirParam(W(dir.File("in/"))), W(dir.File("in/")));
  ASSERT_EQ(chdir(cwd), 0);
}

TEST(CommandLine, UsageText) {
  const WideString text = UsageText(u"\r");
  EXPECT_EQ(text.substr(0, 57), u"Usage: Mirelcon [parameters] InputFile [OutputDirectory]\r");
  EXPECT_NE(text.find(u"\r/S\t\tInclude subdirectories\r"), WideString::npos);
  EXPECT_NE(text.find(u"/Prop_Type=\"xxx\"\tProperty type to Attribut"), WideString::npos);
  EXPECT_EQ(text.back(), u'"');
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\r'), 10);
}

TEST(DirectoryWalk, MirrorsTheTreeInSortedOrder) {
  TempDir dir;
  for (const char* f : {"in/b.txt", "in/a.txt", "in/c.tmx", "in/sub/d.txt", "in/sub/deeper/e.txt"}) {
    std::filesystem::create_directories((dir.Path() / f).parent_path());
    TempDir::Write(dir.File(f), "x");
  }
  std::filesystem::create_directories(dir.Path() / "in/empty");
  std::vector<std::string> seen;
  int folders = 0;
  ConvertDirectory(W(dir.File("in/")), W(dir.File("out/")), true, SplitFileMask(u"*.txt"),
                   [&](const WideString& i, const WideString& o) { seen.push_back(N(i) + ">" + N(o)); },
                   [&] { ++folders; });
  const std::string in = dir.File("in/"), out = dir.File("out/");
  EXPECT_EQ(seen, (std::vector<std::string>{in + "a.txt>" + out + "a.tmx", in + "b.txt>" + out + "b.tmx",
                                            in + "sub/d.txt>" + out + "sub/d.tmx",
                                            in + "sub/deeper/e.txt>" + out + "sub/deeper/e.tmx"}));
  EXPECT_EQ(folders, 4);
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "out/empty"));  // mirrored even without a match
}

TEST(DirectoryWalk, NeverWalksItsOwnOutputNorFollowsLinks) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), "x");
  std::filesystem::create_directories(dir.Path() / "real");
  TempDir::Write(dir.File("real/r.txt"), "x");
  std::filesystem::create_directory_symlink(dir.Path() / "real", dir.Path() / "link");
  std::vector<std::string> seen;
  ConvertDirectory(W(dir.File("")), W(dir.File("out/")), true, SplitFileMask(u""),
                   [&](const WideString& i, const WideString&) {
                     seen.push_back(N(i).substr(dir.File("").size()));
                     // Writing outputs while walking never feeds them back in.
                     TempDir::Write(dir.File("out/new.txt"), "y");
                   });
  EXPECT_EQ(seen, (std::vector<std::string>{"a.txt", "real/r.txt"}));
}

TEST(DirectoryWalk, AnOutputFolderThatCannotBeMadeStopsTheWalk) {
  TempDir dir;
  TempDir::Write(dir.File("in/a.txt"), "x");
  std::filesystem::create_directories(dir.Path() / "in");
  TempDir::Write(dir.File("in/a.txt"), "x");
  TempDir::Write(dir.File("blocker"), "a file where a folder should go");
  EXPECT_THROW(ConvertDirectory(W(dir.File("in/")), W(dir.File("blocker/out/")), false, SplitFileMask(u""),
                                [](const WideString&, const WideString&) {}),
               EConversionError);
}
