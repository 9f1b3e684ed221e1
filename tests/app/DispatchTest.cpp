// The conversion chosen by a file's extension, file masks, the command line and the walk over
// a folder tree.
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
  EXPECT_EQ(InputTypeOf(u"notes"), ftNone);
  EXPECT_EQ(InputTypeOf(u"/dir.txt/file"), ftNone);
  const std::pair<WideString, WideString> outputs[] = {{u"/x/A.TXT", u"/x/A.tmx"}, {u"notes", u"notes"},
                                                       {u"/x/a.b.tmx", u"/x/a.b.txt"}, {u"tm.sdltm", u"tm.tmx"},
                                                       {u"f.sdlxliff", u"f.tmx"}, {u"t.sdltb", u"t.csv"}, {u"t.csv", u"t.txt"}};
  for (const auto& [input, output] : outputs) EXPECT_EQ(OutputFileName(input, OutputTypeOf(input)), output);
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
  const TFileMasks txt = SplitFileMask(u"*.txt"), in = SplitFileMask(u"in");
  EXPECT_TRUE(MatchesFileMask(u"a.txt", txt));
  EXPECT_FALSE(MatchesFileMask(u"a.tmx", txt));
  EXPECT_FALSE(MatchesFileMask(u"a.TXT", txt));  // masks keep their case
  EXPECT_TRUE(MatchesFileMask(u"in.txt", in));
  EXPECT_TRUE(MatchesFileMask(u"in", in));
  EXPECT_FALSE(MatchesFileMask(u"input.txt", in));
  for (const char16_t* mask : {u"", u".txt", u".", u"a*.txt"}) EXPECT_TRUE(IsFileMask(mask)) << N(mask);
  for (const char16_t* name : {u"in", u"tm.txt"}) EXPECT_FALSE(IsFileMask(name)) << N(name);
}

// A name that is not UTF-8 matches by its bytes: a mask with the byte 0xFF never takes the
// name that holds U+FFFD, which shows alike.
TEST(FileMasks, NamesThatAreNotUtf8MatchByTheirBytes) {
  const WideString byte = platform::NameFromNative("x\xFF.tmx"), mark = platform::NameFromNative("x\xEF\xBF\xBD.tmx");
  const struct {
    const char* mask;
    bool byte, mark;
  } cases[] = {
      {"x\xFF*", true, false},   {"x\xEF\xBF\xBD.*", false, true}, {"*\xFF.tmx", true, false},
      {"*\xBD.tmx", false, true}, {"*.tmx", true, true},           {"x*", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    const TFileMasks masks = SplitFileMask(platform::NameFromNative(c.mask));
    EXPECT_EQ(MatchesFileMask(byte, masks), c.byte);
    EXPECT_EQ(MatchesFileMask(mark, masks), c.mark);
  }
  EXPECT_EQ(SplitFileMask(platform::NameFromNative("lat\xE9*.tmx")).NameMask, "lat\xE9*");
  // A property type is text, not a name: its byte that is not UTF-8 is U+FFFD.
  EXPECT_EQ(ParseCommandLine({platform::NameFromNative("/PROP_TYPE=x-\xE9")}).PropTypes,
            std::vector<WideString>{u"x-\uFFFD"});
}

TEST(CommandLine, SwitchesAndPaths) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "out");
  TCommandLine cl = ParseCommandLine({u"/s", W(dir.File("in.txt")), u"-QUIET", u"--Prop_Type=x-Client",
                                      u"/prop_type=", W(dir.File("out")), u"/UTF8", u"/QM", u"/elsewhere"});
  EXPECT_TRUE(cl.Recursive && cl.Quiet && !cl.Help);
  EXPECT_EQ(cl.NamePart + u"|" + cl.InputDir + u"|" + cl.OutputDir, W("in.txt|" + dir.File("") + "|" + dir.File("out/")));
  EXPECT_EQ(cl.PropTypes, (std::vector<WideString>{u"x-Client", u""}));
  EXPECT_TRUE(ParseCommandLine({u"/?", u"x.txt"}).Help);
  EXPECT_TRUE(ParseCommandLine({u"-h"}).Help);
}

// Relative names are taken from the working folder.
TEST(CommandLine, DirectoryParameters) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in");
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const std::pair<WideString, std::string> cases[] = {{u"", ""},           {u"*.txt", ""}, {u"./in/a.txt", "in/"},
                                                      {u"in", "in/"},      {u"a.txt", ""}, {W(dir.File("in")), "in/"},
                                                      {W(dir.File("in/")), "in/"}};
  for (const auto& [param, folder] : cases) EXPECT_EQ(NormalizeDirParam(param), W(dir.File(folder))) << N(param);
  std::filesystem::current_path(cwd);
}

TEST(DirectoryWalk, NeverWalksItsOwnOutputNorFollowsLinks) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), "x");
  std::filesystem::create_directories(dir.Path() / "real");
  TempDir::Write(dir.File("real/r.txt"), "x");
  std::filesystem::create_directory_symlink(dir.Path() / "real", dir.Path() / "link");
  std::vector<std::string> seen;
  int folders = 0;
  ConvertDirectory(
      W(dir.File("")), W(dir.File("out/")), true, SplitFileMask(u""),
      [&](const WideString& i, const WideString&) {
        seen.push_back(N(i).substr(dir.File("").size()));
        // Writing outputs while walking never feeds them back in.
        TempDir::Write(dir.File("out/new.txt"), "y");
      },
      [&] { ++folders; });
  EXPECT_EQ(seen, (std::vector<std::string>{"a.txt", "real/r.txt"}));
  EXPECT_EQ(folders, 2);  // after each folder, for the window's events
}

TEST(DirectoryWalk, AnOutputFolderThatCannotBeMadeStopsTheWalk) {
  TempDir dir;
  std::filesystem::create_directories(dir.Path() / "in/sub");
  TempDir::Write(dir.File("in/sub/a.txt"), "x");
  TempDir::Write(dir.File("blocker"), "a file where a folder should go");
  EXPECT_THROW(ConvertDirectory(W(dir.File("in/")), W(dir.File("blocker/out/")), true, SplitFileMask(u""),
                                [](const WideString&, const WideString&) {}),
               EConversionError);
}
