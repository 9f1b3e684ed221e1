#include "unicode/UniClasses.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

TEST(UniFileStream, CreatesWritesAndReadsBack) {
  TempDir dir;
  {
    TUniFileStream out(dir.WFile("t.bin"), fmCreate);
    EXPECT_EQ(out.Write("abcdef", 6), 6);
    EXPECT_EQ(out.GetSize(), 6);
  }
  TUniFileStream in(dir.WFile("t.bin"), fmOpenRead | fmShareDenyWrite);
  char buf[8] = {};
  EXPECT_EQ(in.Read(buf, 8), 6);
  EXPECT_STREQ(buf, "abcdef");
  in.SetPosition(2);
  EXPECT_EQ(in.Read(buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "cd");
  EXPECT_EQ(in.GetPosition(), 4);
}

TEST(UniFileStream, OpenErrorNamesTheFullPathAndTheReason) {
  TempDir dir;
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  try {
    TUniFileStream s(u"missing.txt", fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EWideFOpenError& e) {
    std::u16string expected =
        u"Cannot open file \"" + platform::Utf8ToUtf16(dir.File("missing.txt")) + u"\". No such file or directory.";
    EXPECT_EQ(e.WideMessage(), expected);
  }
  ASSERT_EQ(chdir("/"), 0);
}

TEST(UniFileStream, CreateErrorNamesTheFile) {
  TempDir dir;
  try {
    TUniFileStream s(dir.WFile("no/such/dir/out.tmx"), fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const EWideFCreateError& e) {
    std::string what = e.what();
    EXPECT_EQ(what.rfind("Cannot create file \"" + dir.File("no/such/dir/out.tmx") + "\". ", 0), 0u) << what;
    EXPECT_NE(what.find("No such file or directory"), std::string::npos);
  }
}

TEST(UniFileStream, AFolderIsNotAFile) {
  TempDir dir;
  EXPECT_THROW(TUniFileStream(dir.WFile(""), fmOpenRead), EWideFOpenError);
  EXPECT_THROW(TUniFileStream(dir.WFile(""), fmCreate), EWideFCreateError);
}

TEST(UniFileStream, ExclusiveWriterKeepsOthersOut) {
  TempDir dir;
  TUniFileStream out(dir.WFile("x.txt"), fmCreate);
  EXPECT_THROW(TUniFileStream(dir.WFile("x.txt"), fmOpenRead | fmShareDenyWrite), EWideFOpenError);
  // A reader that denies nothing still gets in, as on Windows where the writer shares nothing
  // this would fail too: sharing is advisory here and only cooperating openers are kept out.
  TUniFileStream shared(dir.WFile("x.txt"), fmOpenRead | fmShareDenyNone);
  EXPECT_EQ(shared.GetSize(), 0);
}
