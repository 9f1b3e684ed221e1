// An SDLTM translation memory of any size is read in the same small memory: rows are read as the
// stream moves, never held all at once.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <string>

#include "app/core/SdlTMStream.h"
#include "tm/MyEncodeTMX.h"
#include "tests/support/PeakMemory.h"
#include "platform/core/Utf8.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"

TEST(SdlTMMemory, RowsAreNotHeldWhileTheStreamReads) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps no count of the heap in use";
#else
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  TempDir dir;
  const std::string path = dir.File("big.sdltm");
  // 200,000 rows of about 300 bytes: held whole, they would take well over 60 MB.
  const std::string seg = "'<Segment><Elements><Text><Value>' || ? || ' words of row ' || i || "
                          "'</Value></Text></Elements><CultureName>' || ? || '</CultureName></Segment>'";
  auto segment = [&](const std::string& words, const std::string& culture) {
    std::string s = seg;
    s.replace(s.find('?'), 1, SQLiteMaker::Quote(words));
    s.replace(s.find('?'), 1, SQLiteMaker::Quote(culture));
    return s;
  };
  ASSERT_EQ(SQLiteMaker::Instance().Make(
                path, "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment "
                      "TEXT, creation_date DATETIME, creation_user TEXT, usage_counter INT);"
                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) "
                      "INSERT INTO translation_units SELECT i, " +
                          segment("Some source text with a few more", "en-US") + ", " +
                          segment("Etwas Zieltext mit ein paar weiteren", "de-DE") +
                          ", '2012-11-03 10:20:30', 'DOM\\ana', i % 7 FROM n;"),
            "");
  const size_t before = mallinfo2().uordblks;
  TSdlTMStream stream(platform::Utf8ToUtf16(path));
  EXPECT_EQ(stream.GetSize(), 200000);
  TTU tu;
  tu.IsHeader = true;
  ASSERT_GT(stream.Read(tu), 0);
  tu.IsHeader = false;
  int64_t rows = 0;
  size_t peak = mallinfo2().uordblks;
  while (stream.Read(tu) > 0) {
    if (++rows % 1000 != 0) continue;
    peak = std::max(peak, mallinfo2().uordblks);
  }
  EXPECT_EQ(rows, 200000);
  EXPECT_EQ(platform::Utf16ToUtf8(tu.Field(tfSource)), "Some source text with a few more words of row 200000");
  // The stream and the library's page cache take a few megabytes, whatever the rows.
  EXPECT_LT(peak - std::min(peak, before), 8u << 20) << "heap in use before " << before << ", at most " << peak;
#endif
}

// A long segment takes memory in proportion to itself, a few times over, whichever way the
// decoder reads it, and what it took is given back for the rows after it: a row of 32 MB whose
// value holds line breaks (read directly) converts in less than 4.5 times its size, and one
// whose value holds a CDATA section (read through the scanner) in less than 9 times.
TEST(SdlTMMemory, ALongSegmentTakesAFewTimesItsSize) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator keeps memory of its own";
#else
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  constexpr long kRow = 32L << 20;
  auto seg = [](const std::string& value) {
    return "'<Segment><Elements><Text><Value>' || " + value + " || '</Value></Text></Elements><CultureName>en-US</CultureName></Segment>'";
  };
  const std::pair<std::string, double> cases[] = {
      {"printf('%.*c', " + std::to_string(kRow / 2) + ", 'x') || char(13, 10) || printf('%.*c', " +
           std::to_string(kRow / 2) + ", 'y') || char(10)",
       4.5},
      {"printf('%.*c', " + std::to_string(kRow) + ", 'x') || '<![CDATA[y]]>'", 9.0},
  };
  for (const auto& [value, times] : cases) {
    TempDir dir;
    const std::string path = dir.File("long.sdltm");
    ASSERT_EQ(SQLiteMaker::Instance().Make(
                  path, "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment TEXT);"
                        "INSERT INTO translation_units VALUES (1, " + seg("'short'") + ", " + seg("'kurz'") + "), (2, " +
                            seg(value) + ", " + seg("'t'") + "), (3, " + seg("'after'") + ", " + seg("'danach'") + ");"),
              "");
    int units = 0;
    const auto growth = PeakGrowthMB([&] {
      TSdlTMStream source(platform::Utf8ToUtf16(path));
      TEncodeTMX writer(&source);
      ASSERT_TRUE(writer.Convert(platform::Utf8ToUtf16(dir.File("long.tmx")), ccUtf8));
      units = writer.UnitCount;
    });
    if (!growth) GTEST_SKIP() << "the system cannot tell the peak of memory";
    EXPECT_EQ(units, 3);
  EXPECT_LT(*growth, times * (kRow >> 20)) << "MB at the peak for a row of " << (kRow >> 20) << " MB: " << value;
  }
#endif
}
