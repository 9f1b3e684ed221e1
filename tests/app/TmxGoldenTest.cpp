// The TMX reader against its golden cases: random documents (every encoding, inline elements,
// references, CDATA, comments, odd blanks and quoting) and the text TMs that a reference build of
// the program wrote from them, kept in tests/tm/golden/tmx by tools/make-tmx-golden.sh. Each
// case must convert as it did, unit for unit and byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kGolden = MIRELCON_SOURCE_DIR "/tests/tm/golden/tmx";

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = s.find(sep); i != std::string::npos; i = s.find(sep, start = i + 1)) parts.push_back(s.substr(start, i - start));
  parts.push_back(s.substr(start));
  return parts;
}

// A date of the run ("now", what a unit without a date of its own gets) is no part of the case:
// the cases' own dates are all before 2025.
bool IsRunDate(std::string field) {
  if (!field.empty() && field[0] == '%') field.erase(0, 1);
  return field.size() == 15 && field[8] == '~' && field.compare(0, 3, "202") == 0 && field[3] >= '5';
}

// The lines of a text TM with what depends on the run masked: the run's date, and in the header
// the program's name and version, the random identifier and the filler that pads the line.
std::vector<std::string> Masked(const std::string& file) {
  std::vector<std::string> lines = Split(file, '\n');
  for (size_t n = 0; n < lines.size(); ++n) {
    std::vector<std::string> fields = Split(lines[n], '\t');
    if (IsRunDate(fields[0]) || (n == 0 && IsRunDate(fields[0].substr(std::min<size_t>(3, fields[0].size())))))
      fields[0] = "<now>";
    if (n == 0)
      for (const size_t f : {6, 8, 9})
        if (f < fields.size()) fields[f] = "<run>";
    std::string line;
    for (size_t f = 0; f < fields.size(); ++f) line += (f ? "\t" : "") + fields[f];
    lines[n] = line;
  }
  return lines;
}

}  // namespace

TEST(TmxGolden, EveryCaseWritesTheUnitsItDid) {
  std::vector<std::filesystem::path> cases;
  for (const auto& entry : std::filesystem::directory_iterator(kGolden))
    if (entry.path().extension() == ".tmx") cases.push_back(entry.path());
  std::sort(cases.begin(), cases.end());
  ASSERT_GE(cases.size(), 60u) << kGolden;
  size_t units = 0;
  for (const auto& input : cases) {
    const std::string name = input.stem().string();
    SCOPED_TRACE(name);
    TempDir dir;
    TRecordingHost host;
    if (name.size() > 2 && name.compare(name.size() - 2, 2, "-p") == 0) {
      host.Types.Add(u"x-Client");
      host.Types.Add(u"x-Project");
    }
    TempDir::Write(dir.File(name + ".tmx"), TempDir::Read(input.string()));
    const std::string error = host.Convert(dir.File(name + ".tmx"), dir.File(name + ".txt"));
    const std::string status = TempDir::Read(kGolden + "/" + name + ".status");
    EXPECT_EQ(error.empty(), status.rfind("0", 0) == 0) << error;
    const std::string expected = kGolden + "/" + name + ".txt";
    if (!std::filesystem::exists(expected)) continue;
    const std::vector<std::string> want = Masked(TempDir::Read(expected));
    const std::vector<std::string> got = Masked(TempDir::Read(dir.File(name + ".txt")));
    EXPECT_EQ(got, want);
    units += want.size();
  }
  // The cases hold units, not only headers.
  EXPECT_GT(units, 300u);
}
