#include "unicode/UniClasses.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"
#include "unicode/UniSystem.h"

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

// Helpers are found by their component, in any order of creation, and go with it.
TEST(WideComponentHelper, FoundByItsComponentAndGoneWithIt) {
  TWideComponentHelperList list;
  std::vector<std::unique_ptr<TComponent>> components;
  for (int i = 0; i < 6; ++i) components.push_back(std::make_unique<TComponent>());
  std::vector<TWideComponentHelper*> helpers(components.size());
  for (size_t i : {3u, 0u, 5u, 1u, 4u}) helpers[i] = TWideComponentHelper::CreateHelper(components[i].get(), list);
  EXPECT_EQ(list.Count(), 5);
  for (int i = 1; i < list.Count(); ++i) EXPECT_LT(list[i - 1]->Component(), list[i]->Component());
  for (size_t i : {3u, 0u, 5u, 1u, 4u}) {
    EXPECT_EQ(FindWideComponentHelper(list, components[i].get()), helpers[i]);
    EXPECT_EQ(helpers[i]->Component(), components[i].get());
  }
  EXPECT_EQ(FindWideComponentHelper(list, components[2].get()), nullptr);

  components[3].reset();  // the helper frees itself and leaves the list
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(FindWideComponentHelper(list, components[0].get()), helpers[0]);
  EXPECT_EQ(FindWideComponentHelper(list, components[4].get()), helpers[4]);
  delete helpers[5];  // a helper that goes first leaves its component untouched
  EXPECT_EQ(FindWideComponentHelper(list, components[5].get()), nullptr);
  components[5].reset();
  EXPECT_EQ(list.Count(), 3);
  // The list frees the helpers left; their components outlive them.
}

TEST(WideComponentHelper, MadeOnlyForAComponent) {
  try {
    TWideComponentHelper helper;
    FAIL() << "made without a component";
  } catch (const EUniInternalError& e) {
    EXPECT_STREQ(e.what(), "TNT Internal Error: TWideComponentHelper.Create should never be encountered.");
  }
}
