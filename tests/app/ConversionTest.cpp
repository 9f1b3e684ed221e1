// What a conversion reports to its host while it runs.
#include "app/core/Conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

// Records every progress value that reaches the host, as the window's gauge would receive them.
class TProgressHost : public TConversionHost {
public:
  void AttachProgress(TObjectControled& job) override {
    job.SetProgressEvent([this](int value) { Values.push_back(value); });
  }
  void ShowHtmlMessage(const WideString&, const WideString&) override {}
  void ShowResult(const WideString&) override {}
  std::vector<int> Values;
};

}  // namespace

TEST(ConversionProgress, CsvImportMovesTheGaugeFromNothingToFull) {
  TempDir dir;
  std::string csv = "Source\tTarget\r\n";
  for (int i = 1; i <= 400; ++i) csv += "source " + std::to_string(i) + "\ttarget " + std::to_string(i) + "\r\n";
  TempDir::Write(dir.File("pairs.csv"), csv);
  TProgressHost host;
  ASSERT_TRUE(RunConversion(host, dir.WFile("pairs.csv"), dir.WFile("pairs.txt")));
  const std::vector<int>& v = host.Values;
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v.front(), 0);
  EXPECT_EQ(v.back(), 100);
  EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](int p) { return p >= 0 && p <= 100; }));
  EXPECT_TRUE(std::any_of(v.begin(), v.end(), [](int p) { return p > 0 && p < 100; }));
}
