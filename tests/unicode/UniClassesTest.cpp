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
    // A reader that denies writing is kept out; one that denies nothing still gets in, as
    // sharing is advisory here and only cooperating openers are kept out.
    EXPECT_THROW(TUniFileStream(dir.WFile("t.bin"), fmOpenRead | fmShareDenyWrite), EWideFOpenError);
    TUniFileStream shared(dir.WFile("t.bin"), fmOpenRead | fmShareDenyNone);
  }
  TUniFileStream in(dir.WFile("t.bin"), fmOpenRead | fmShareDenyWrite);
  char buf[8] = {};
  EXPECT_EQ(in.Read(buf, 8), 6);
  in.SetPosition(2);
  EXPECT_EQ(in.Read(buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "cd");
  EXPECT_TRUE(in.GetPosition() == 4 && in.GetSize() == 6);
}

TEST(UniFileStream, ErrorsNameTheFullPathAndTheReason) {
  TempDir dir;
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  try {
    TUniFileStream s(u"missing.txt", fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EWideFOpenError& e) {
    EXPECT_EQ(platform::Utf16ToUtf8(e.WideMessage()),
              "Cannot open file \"" + dir.File("missing.txt") + "\". No such file or directory.");
  }
  ASSERT_EQ(chdir("/"), 0);
  try {
    TUniFileStream s(dir.WFile("no/such/dir/out.tmx"), fmCreate);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EWideFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + dir.File("no/such/dir/out.tmx") + "\". No such file or directory.");
  }
  EXPECT_THROW(TUniFileStream(dir.WFile(""), fmOpenRead), EWideFOpenError);  // a folder is not a file
  EXPECT_THROW(TUniFileStream(dir.WFile(""), fmCreate), EWideFCreateError);
}
