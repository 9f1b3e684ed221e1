// File names whose bytes are not UTF-8: each keeps its bytes from the folder's listing to the
// file that is opened, and no two names are taken for one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

std::u16string Escaped(std::initializer_list<int> units) {
  std::u16string s;
  for (int u : units) s += static_cast<char16_t>(u);
  return s;
}

}  // namespace

// Each byte that is not part of a UTF-8 character stands for itself, whatever surrounds it;
// UTF-8 is decoded as it always was.
TEST(Names, BytesComeBackAsTheyWere) {
  const struct {
    std::string bytes;
    std::u16string name;
  } cases[] = {
      {"plain.tmx", u"plain.tmx"},
      {"caf\xC3\xA9-\xE6\x97\xA5-\xF0\x9F\x98\x80", u"caf\u00E9-\u65E5-\U0001F600"},
      {"lat\xE9.tmx", u"lat" + Escaped({0xDCE9}) + u".tmx"},                   // Latin-1
      {"x\xFF", u"x" + Escaped({0xDCFF})},                                      // never in UTF-8
      {"x\xEF\xBF\xBD", u"x\uFFFD"},                                            // a real U+FFFD
      {"\x80\xBF", Escaped({0xDC80, 0xDCBF})},                                  // lone trail bytes
      {"\xE6\x97", Escaped({0xDCE6, 0xDC97})},                                  // cut at the end
      {"\xE6\x97x", Escaped({0xDCE6, 0xDC97}) + u"x"},                          // cut in the middle
      {"\xC0\x80", Escaped({0xDCC0, 0xDC80})},                                  // overlong
      {"\xED\xA0\x80", Escaped({0xDCED, 0xDCA0, 0xDC80})},                      // a surrogate's form
      {"\xF5\x80\x80\x80", Escaped({0xDCF5, 0xDC80, 0xDC80, 0xDC80})},          // past U+10FFFF
      {"\xF0\x9F\x98\x80\xE9", u"\U0001F600" + Escaped({0xDCE9})},              // a pair, then a byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(NameFromNative(c.bytes), c.name);
    EXPECT_EQ(NativeName(c.name), c.bytes);
  }
  // The byte that is not UTF-8 and the replacement character are two names, shown alike.
  EXPECT_NE(NameFromNative("x\xFF"), NameFromNative("x\xEF\xBF\xBD"));
  EXPECT_EQ(ShownText(NameFromNative("x\xFF")), u"x\uFFFD");
  // Shown text has no lone surrogate left, and keeps every pair.
  EXPECT_EQ(ShownText(Escaped({0xD800}) + u"a" + Escaped({0xDCE9, 0xD83D, 0xDE00, 0xDBFF})),
            u"\uFFFDa\uFFFD\U0001F600\uFFFD");
  // A lone surrogate that stands for no byte goes to the kernel as U+FFFD, as it always did.
  EXPECT_EQ(NativeName(Escaped({0xDC7F, 0xD800})), "\xEF\xBF\xBD\xEF\xBF\xBD");
  // Text that is not a name decodes as before.
  EXPECT_EQ(Utf8ToUtf16("lat\xE9"), u"lat\uFFFD");
}

// Names listed from a real folder open their own files, by those bytes.
TEST(Names, AListedNameOpensItsOwnFile) {
  TempDir dir;
  const std::vector<std::string> names = {"lat\xE9.tmx", "x\xFF.tmx", "x\xEF\xBF\xBD.tmx", "\xED\xA0\x80", "ok.txt"};
  for (const std::string& n : names) TempDir::Write(dir.File(n), "content of " + n);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(NameFromNative(dir.Path().string()), entries));
  ASSERT_EQ(entries.size(), names.size());
  std::set<std::string> seen;
  for (const FolderEntry& e : entries) {
    const std::string bytes = NativeName(e.Name);
    seen.insert(bytes);
    const std::u16string full = NameFromNative(dir.Path().string()) + u"/" + e.Name;
    EXPECT_TRUE(IsRegularFile(full)) << bytes;
    const FileHandle h = OpenFile(full, AccessRead, ShareRead, Disposition::OpenExisting);
    ASSERT_NE(h, InvalidFileHandle) << bytes;
    char buf[64] = {};
    const int64_t n = ReadFile(h, buf, sizeof buf);
    CloseFile(h);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "content of " + bytes);
  }
  EXPECT_EQ(seen, std::set<std::string>(names.begin(), names.end()));
  // A folder of such a name is made and found by its bytes, as a working directory too.
  const std::u16string folder = NameFromNative(dir.File("d\xE9/s\xFC"));
  ASSERT_TRUE(CreateFolders(folder));
  EXPECT_TRUE(IsDirectory(NameFromNative(dir.File("d\xE9"))));
  EXPECT_FALSE(PathExists(NameFromNative(dir.File("d\xEF\xBF\xBD"))));
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.File("d\xE9/s\xFC").c_str()), 0);
  const std::u16string full = FullPathName(u"f.txt");
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(NativeName(full), dir.File("d\xE9/s\xFC/f.txt"));
}
