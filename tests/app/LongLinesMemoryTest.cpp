// A line as long as the file costs memory in proportion to itself, a small multiple of its size:
// its bytes, its decoded text, and the fields parsed from it. The header of a text TM that units
// are appended to, and the first line or a field of a CSV, are the lines that the converters
// keep or write again.
#include <gtest/gtest.h>

#include <string>

#include "app/core/CsvImport.h"
#include "app/core/TessalyUnit2.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

using namespace tmfiles;

namespace {

constexpr size_t kLineMB = 24;
const std::string kLong(kLineMB * 1024 * 1024, 'a');

// The header's count and the units of a text TM, as the program reads them back.
std::pair<int64_t, int> ReadBack(const std::string& name) {
  TQMStream s(platform::Utf8ToUtf16(name), ccNone, fmOpenRead | fmShareDenyWrite);
  TTU tu;
  tu.IsHeader = true;
  int64_t count = -1;
  if (s.Read(tu) > 0 && tu.IsHeader) count = tu.GetCount();
  int units = 0;
  for (tu.Clear(); s.Read(tu) > 0;) ++units;
  return {count, units};
}

}  // namespace

TEST(LongLines, MemoryInProportionToTheLongestLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator takes memory of its own for every block";
#endif
  TempDir dir;
  const std::string header = "%20261201~090000\t%User ID,T\t%TU=00000001\t%EN-GB\t%Quillmar TM v.5.53/00\t%DE-DE"
                             "\t%---79532885\t\t0SAMPLE001\t%" + kLong + ".";
  const std::string tmx = Tmx(Tu("Two", "Zwei"));
  const std::u16string header16 = platform::Utf8ToUtf16(header + "\r\n" + TmUnit("One", "Eins") + "\r\n");
  const struct {
    const char* name;
    std::string input;      // the file converted
    std::string existing;   // the text TM it is appended to, if any
    double maxRatio;        // peak growth in lines' sizes
    int64_t count;          // the header's count afterwards
    int units;
  } cases[] = {
      // First, while the work buffers of the streams are still small: a line copied as it stands
      // takes its bytes as read and as written.
      {"csv with a long field", "\xEF\xBB\xBFS\tT\r\nx\t" + kLong + "\r\ny\tz\r\n", "", 1.8, 2, 2},
      {"append to a header of UTF-8", tmx, TextTm({header, TmUnit("One", "Eins")}), 6, 2, 2},
      {"append to a header of UTF-16", tmx, "\xFF\xFE" + Utf16(header16), 6, 2, 2},
      // A long field of a unit line costs its bytes as read and its UTF-8 as written, however the
      // input is encoded or whatever it holds that must be replaced.
      {"csv of ANSI with a long field", "S\tT\r\nx\t" + kLong + "\r\ny\tz\r\n", "", 2.5, 2, 2},
      {"csv of ANSI with a long field beyond ASCII", "S\tT\r\nx\t" + std::string(kLong.size(), '\xE9') + "\r\ny\tz\r\n", "",
       4, 2, 2},
      {"csv of UTF-8 with a long field and a byte that is no UTF-8",
       "\xEF\xBB\xBFS\tT\r\nx\t" + kLong + "\xFF\r\ny\tz\r\n", "", 4, 2, 2},
      {"csv of UTF-16 with a long field", "\xFF\xFE" + Utf16(u"S\tT\r\nx\t" + std::u16string(kLong.size() / 2, u'a') + u"\r\ny\tz\r\n"),
       "", 4, 2, 2},
      {"csv whose first line is long", "\xEF\xBB\xBF" + kLong + "\r\nx\ty\r\n", "", 6, 1, 1},
      {"csv whose first line is long, UTF-16", "\xFF\xFE" + Utf16(u"S\t" + platform::Utf8ToUtf16(kLong) + u"\r\nx\ty\r\n"), "",
       6, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool csv = c.existing.empty();
    const std::string input = dir.File(csv ? "in.csv" : "in.tmx"), output = dir.File(csv ? "in.txt" : "tm.txt");
    TempDir::Write(input, c.input);
    if (!csv) TempDir::Write(output, c.existing);
    TRecordingHost host;
    std::string error = "not run";
    const auto growth = PeakGrowthMB([&] { error = host.Convert(input, output); });
    if (!growth) GTEST_SKIP() << "the peak memory of the process cannot be read here";
    EXPECT_EQ(error, "");
    EXPECT_LT(*growth, c.maxRatio * kLineMB) << "MB";
    EXPECT_EQ(ReadBack(output), std::make_pair(c.count, c.units));
  }
}
