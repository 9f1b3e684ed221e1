// The built program writing outputs that a full disk cuts: large outputs are written behind by a
// thread of their own, and the failure must still fail the conversion with the same message,
// keeping what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

using namespace tmfiles;

namespace {

constexpr long kLimitKiB = 2048;  // files cannot grow past 2 MiB

// Where a run's output stops depending on the clock: after its header.
size_t AfterHeader(const std::string& output, bool tmx) {
  const size_t at = tmx ? output.find("<tu") : output.find("\r\n");
  return at == std::string::npos ? output.size() : at + (tmx ? 0 : 2);
}

// A text TM's units bear the time of the run when their source gave none ("20261207~113224"):
// masked, so that two runs compare whatever second they ran in.
std::string MaskTimes(std::string s) {
  auto digits = [&](size_t from, size_t n) {
    for (size_t i = from; i < from + n; ++i)
      if (s[i] < '0' || s[i] > '9') return false;
    return true;
  };
  for (size_t i = 0; i + 15 <= s.size(); ++i)
    if (s[i + 8] == '~' && digits(i, 8) && digits(i + 9, 6)) {
      s.replace(i, 8, 8, '0');
      s.replace(i + 9, 6, 6, '0');
      i += 14;
    }
  return s;
}

}  // namespace

TEST(FullDisk, ConversionFailsWithTheWriteErrorAndKeepsWhatWasWritten) {
  std::string tmxBody, csv = "Source\tTarget\r\n";
  for (int i = 0; i < 40000; ++i) {
    tmxBody += Tu("source unit number " + std::to_string(i), "Zieleinheit Nummer " + std::to_string(i));
    csv += "source line " + std::to_string(i) + " of the list\ttarget line " + std::to_string(i) + " der Liste\r\n";
  }
  struct Case {
    const char* input;
    std::string bytes;
    const char* output;
  };
  const std::vector<Case> cases = {
      {"in.tmx", Tmx(tmxBody), "in.txt"},
      {"tm.txt", NumberedTm(60000), "tm.tmx"},
      {"list.csv", csv, "list.txt"},
  };
  const RunOptions limited({}, {"/bin/bash", "-c", "trap '' XFSZ; ulimit -f " + std::to_string(kLimitKiB) + "; exec \"$0\" \"$@\""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    TempDir dir;
    TempDir::Write(dir.File(c.input), c.bytes);
    const ProgramRun whole = RunProgram(MIRELCON_EXE, {dir.File(c.input)});
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string all = MaskTimes(TempDir::Read(dir.File(c.output)));
    ASSERT_GT(all.size(), static_cast<size_t>((kLimitKiB + 1024) * 1024)) << "the output must outgrow the limit";

    std::filesystem::remove(dir.File(c.output));
    const ProgramRun cut = RunProgram(MIRELCON_EXE, {dir.File(c.input)}, limited);
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(cut.err, "Cannot write file \"" + dir.File(c.output) + "\". File too large.\n");
    const std::string kept = MaskTimes(TempDir::Read(dir.File(c.output)));
    ASSERT_EQ(kept.size(), static_cast<size_t>(kLimitKiB * 1024));
    const bool tmx = std::string(c.output).ends_with(".tmx");
    const size_t from = AfterHeader(all, tmx);
    // The last bytes may cut a time that the mask does not know as one.
    const size_t end = kept.size() - 15;
    const size_t differs = std::mismatch(kept.begin() + from, kept.begin() + end, all.begin() + from).first - kept.begin();
    EXPECT_EQ(differs, end) << "what was written before the failure changed: "
                            << kept.substr(differs - std::min<size_t>(differs, 60), 120);
  }
}
