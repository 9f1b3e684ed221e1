#include "platform/core/Files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {
std::u16string W(const std::string& s) { return Utf8ToUtf16(s); }
}  // namespace

TEST(Files, CreateWriteReadSeekAndSize) {
  TempDir dir;
  TempDir::Write(dir.File("caf\xC3\xA9-\xE6\x97\xA5.bin"), "old content");
  const std::u16string name = W(dir.File("caf\xC3\xA9-\xE6\x97\xA5.bin"));  // reaches the disk as UTF-8
  FileHandle h = OpenFile(name, AccessRead | AccessWrite, ShareNone, Disposition::CreateAlways);
  ASSERT_NE(h, InvalidFileHandle);
  EXPECT_EQ(FileSizeOf(h), 0);  // emptied
  EXPECT_EQ(WriteFile(h, "hello world", 11), 11);
  EXPECT_EQ(SeekFile(h, 6, SeekBegin), 6);
  char buf[16] = {};
  EXPECT_EQ(ReadFile(h, buf, 16), 5);
  EXPECT_STREQ(buf, "world");
  EXPECT_EQ(SeekFile(h, -5, SeekEnd), 6);
  EXPECT_TRUE(SetFileSizeOf(h, 5));
  CloseFile(h);
  EXPECT_TRUE(IsRegularFile(name));
  EXPECT_EQ(TempDir::Read(dir.File("caf\xC3\xA9-\xE6\x97\xA5.bin")), "hello");
}

TEST(Files, FailuresLeaveTheirReason) {
  TempDir dir;
  const std::u16string folder = W(dir.Path().string());
  EXPECT_EQ(OpenFile(W(dir.File("missing")), AccessRead, ShareRead, Disposition::OpenExisting), InvalidFileHandle);
  EXPECT_EQ(LastErrorCode(), ENOENT);
  EXPECT_EQ(SystemErrorText(ENOENT), u"No such file or directory.");
  // A directory is not a file, in either direction.
  EXPECT_EQ(OpenFile(folder, AccessRead, ShareRead, Disposition::OpenExisting), InvalidFileHandle);
  EXPECT_EQ(LastErrorCode(), EISDIR);
  EXPECT_FALSE(IsRegularFile(folder));
  EXPECT_TRUE(IsDirectory(folder));
  // Creating in a missing folder never creates the folder.
  EXPECT_EQ(OpenFile(W(dir.File("no/such.txt")), AccessWrite, ShareNone, Disposition::CreateAlways),
            InvalidFileHandle);
  EXPECT_EQ(LastErrorCode(), ENOENT);
}

TEST(Files, SharingIsEnforcedBetweenOpeners) {
  TempDir dir;
  TempDir::Write(dir.File("s.txt"), "x");
  const std::u16string name = W(dir.File("s.txt"));
  auto open = [&](unsigned access, unsigned share, Disposition d = Disposition::OpenExisting) {
    return OpenFile(name, access, share, d);
  };
  // Readers that deny writing coexist; a writer and an exclusive opener do not get in.
  FileHandle reader = open(AccessRead, ShareRead), reader2 = open(AccessRead, ShareRead);
  EXPECT_NE(reader2, InvalidFileHandle);
  EXPECT_EQ(open(AccessRead | AccessWrite, ShareNone), InvalidFileHandle);
  EXPECT_EQ(LastErrorCode(), EBUSY);
  FileHandle any = open(AccessRead, ShareRead | ShareWrite);  // sharing everything takes no lock
  EXPECT_NE(any, InvalidFileHandle);
  CloseFile(reader);
  CloseFile(reader2);
  FileHandle writer = open(AccessRead | AccessWrite, ShareNone);
  EXPECT_NE(writer, InvalidFileHandle);
  EXPECT_EQ(open(AccessRead, ShareRead), InvalidFileHandle);
  EXPECT_EQ(open(AccessWrite, ShareNone, Disposition::CreateAlways), InvalidFileHandle);
  EXPECT_EQ(TempDir::Read(dir.File("s.txt")), "x");  // a refused create leaves the file as it was
  CloseFile(writer);
  CloseFile(any);
}

// A failure is never a result that passes for success: a folder that cannot be listed is no empty
// folder, and a name that cannot be examined is no file of anyone's.
TEST(Files, FolderAndFileRoutinesFailWithTheirReason) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), "a");
  std::filesystem::create_symlink(dir.File("a.txt"), dir.File("link.txt"));
  const std::u16string a = W(dir.File("a.txt")), missing = W(dir.File("missing"));
  std::vector<FolderEntry> entries(1);
  const struct {
    const char* call;
    std::function<bool()> run;
    bool result;
    int error;  // the reason left behind
  } cases[] = {
      {"ListFolder of a missing folder", [&] { return ListFolder(missing, entries); }, false, ENOENT},
      {"ListFolder of a file", [&] { return ListFolder(a, entries); }, false, ENOTDIR},
      {"SameFile through a link", [&] { return SameFile(W(dir.File("link.txt")), a); }, true, 0},
      {"SameFile of a missing name", [&] { return SameFile(missing, missing); }, false, ENOENT},
      {"ReplaceFile from a missing file", [&] { return ReplaceFile(missing, a); }, false, ENOENT},
      {"DeleteFile of a missing file", [&] { return DeleteFile(missing); }, false, ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    SetLastErrorCode(0);
    EXPECT_EQ(c.run(), c.result);
    EXPECT_EQ(LastErrorCode(), c.error);
  }
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(TempDir::Read(dir.File("a.txt")), "a");
}

TEST(Files, FullPathNameAndClock) {
  for (const auto& [name, full] : {std::pair<std::u16string, std::u16string>{u"/a/b/../c/./d.txt", u"/a/c/d.txt"},
                                   {u"/..", u"/"}, {u"/a//b/", u"/a/b/"}})
    EXPECT_EQ(FullPathName(name), full);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(FullPathName(u"x.txt"), W(std::string(cwd) + "/x.txt"));
  const int64_t a = MonotonicMilliseconds();
  EXPECT_TRUE(a <= MonotonicMilliseconds() && LocalTimeNow().year >= 2020 && CurrentThreadId() != 0);
}
