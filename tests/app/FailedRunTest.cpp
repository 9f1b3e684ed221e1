// Conversions that fail part-way: the document written is closed after exactly the units
// converted before the failure, so that it stays well-formed, the run ends with exit status 1,
// and its message names the file, the number of units kept and the reason in words. A run that
// fails before its first unit leaves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include "app/core/TessalyUnit2.h"
#include "platform/core/Utf8.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SQLiteMaker.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"
#include "tests/support/TmxLint.h"
#include "tm/MyEncodeTMX.h"

namespace fs = std::filesystem;
using namespace tmfiles;

namespace {

std::u16string W(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }

// A text TM whose reading fails at its unit failAt (1 for the first after the header), as a
// source fails that runs out of memory or meets a broken file there.
class TFailingSource : public TQMStream {
public:
  TFailingSource(const WideString& name, int failAt) : TQMStream(name, ccNone, fmOpenRead | fmShareDenyWrite), FailAt(failAt) {}
  int64_t Read(TTU& tu) override {
    if (!tu.IsHeader && ++Units == FailAt) throw std::bad_alloc();
    return TQMStream::Read(tu);
  }

private:
  int FailAt;
  int Units = 0;
};

std::string Utf16Text(const std::string& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  if (!text.empty() && text[0] == u'\uFEFF') text.erase(0, 1);
  return platform::Utf16ToUtf8(text);
}

// The number of units a message says the output holds, -1 when it says none.
long UnitsKept(const std::string& message) {
  std::smatch m;
  if (!std::regex_search(message, m, std::regex("holds the ([0-9.]+) units? converted before the failure"))) return -1;
  std::string digits = m[1];
  digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
  return std::stol(digits);
}

// Valid against the TMX DTD, where it can be checked.
void ExpectValidTmx(const std::string& file) {
  const std::string lint = LintTmx(file);
  if (lint.rfind("unavailable", 0) != 0) {
    EXPECT_EQ(lint, "") << file;
  }
}

ProgramRun RunMirelcon(const std::vector<std::string>& args, long memoryBytes = 0) {
  RunOptions options;
  if (memoryBytes > 0) options.prefix = {"/usr/bin/prlimit", "--as=" + std::to_string(memoryBytes), "--"};
  options.boundSeconds = 120;
  return RunProgram(MIRELCON_EXE, args, options);
}

std::string Segment(const std::string& value, const std::string& culture) {
  return "<Segment><Elements><Text><Value>" + value + "</Value></Text></Elements><CultureName>" + culture +
         "</CultureName></Segment>";
}

const std::string kSchema =
    "CREATE TABLE translation_units(id INTEGER PRIMARY KEY, source_segment TEXT, target_segment TEXT, "
    "creation_date DATETIME, creation_user TEXT, usage_counter INT);";

std::string Row(const std::string& sourceSql) {
  return "INSERT INTO translation_units(source_segment, target_segment, creation_date, creation_user, usage_counter) "
         "VALUES (" + sourceSql + ", " + SQLiteMaker::Quote(Segment("Ziel", "de-DE")) + ", '2012-11-03 10:20:30', 'ana', 1);";
}

// A row whose source holds a value of `bytes` letters, made by SQLite itself.
[[maybe_unused]] std::string BigRow(long bytes) {
  return Row("'<Segment><Elements><Text><Value>' || printf('%.*c', " + std::to_string(bytes) +
             ", 'x') || '</Value></Text></Elements><CultureName>en-US</CultureName></Segment>'");
}

}  // namespace

// The writer ends its document after the units written before its source failed, in UTF-8 and
// in UTF-16 alike, and writes nothing when the first unit failed.
TEST(FailedRun, WriterClosesTheDocumentAfterTheUnitsWritten) {
  TempDir dir;
  TempDir::Write(dir.File("in.txt"), NumberedTm(10));
  for (const TCodeChar code : {ccUtf8, ccUnicode}) {
    for (const int failAt : {1, 2, 6}) {
      const std::string out = dir.File("out.tmx");
      int units = -1;
      {
        TFailingSource source(W(dir.File("in.txt")), failAt);
        TEncodeTMX writer(&source);
        EXPECT_THROW(writer.Convert(W(out), code), std::bad_alloc);
        units = writer.UnitCount;
      }
      EXPECT_EQ(units, failAt - 1);
      std::string doc = TempDir::Read(out);
      if (failAt == 1) {
        // At most the byte-order mark that creating a UTF-16 file writes.
        EXPECT_EQ(doc, code == ccUnicode ? "\xFF\xFE" : "") << int(code);
        continue;
      }
      if (code == ccUnicode) doc = Utf16Text(doc);
      EXPECT_EQ(CountOf(doc, "<tu "), static_cast<size_t>(failAt - 1)) << int(code);
      EXPECT_EQ(CountOf(doc, "</tu>\r\n"), static_cast<size_t>(failAt - 1)) << int(code);
      EXPECT_TRUE(doc.ends_with("</tu>\r\n\r\n</body>\r\n</tmx>\r\n\r\n")) << doc.substr(doc.size() - std::min<size_t>(doc.size(), 80));
      if (code == ccUtf8) ExpectValidTmx(out);
    }
  }
}

// An SDLTM damaged half-way: the TMX holds the units read before the damage, closed, and the
// message says so in words, with the file's name.
TEST(FailedRun, DamagedDatabaseLeavesAClosedDocument) {
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  TempDir dir;
  std::string script = "BEGIN;" + kSchema;
  for (int i = 0; i < 3000; ++i)
    script += Row(SQLiteMaker::Quote(Segment("unit " + std::to_string(i) + std::string(400, 'x'), "en-US")));
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("whole.sdltm"), script + "COMMIT;"), "");
  // The rows of a page about half-way become garbage; its header and its list of rows stay.
  std::string bytes = TempDir::Read(dir.File("whole.sdltm"));
  const size_t page = 4096, at = bytes.size() / page / 2 * page;
  bytes.replace(at + 64, page - 64, page - 64, '\xFF');
  TempDir::Write(dir.File("broken.sdltm"), bytes);

  const ProgramRun run = RunMirelcon({dir.File("broken.sdltm")});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("\"" + dir.File("broken.sdltm") + "\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("database disk image is malformed"), std::string::npos) << run.err;
  const long kept = UnitsKept(run.err);
  EXPECT_GT(kept, 100) << run.err;
  EXPECT_LT(kept, 3000) << run.err;
  const std::string tmx = TempDir::Read(dir.File("broken.tmx"));
  EXPECT_EQ(static_cast<long>(CountOf(tmx, "<tu ")), kept);
  // The units are the first ones, in order, each whole.
  EXPECT_NE(tmx.find("<seg>unit " + std::to_string(kept - 1) + "x"), std::string::npos);
  EXPECT_EQ(tmx.find("<seg>unit " + std::to_string(kept) + "x"), std::string::npos);
  ExpectValidTmx(dir.File("broken.tmx"));
}

// Memory that runs out part-way is said in words, not as the name of an exception; the TMX
// holds the units before the unit that could not be made, closed. A text TM that the TMX
// reader appends to keeps whole lines. A run that fails on its first unit leaves no file, and
// one that fails on the first row of a batch of rows read together fails, not ends.
TEST(FailedRun, MemoryRunningOutIsSaidInWords) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer needs more address space than a limit on it leaves";
#else
  if (!SQLiteMaker::Instance().Ready()) GTEST_SKIP() << "libsqlite3.so.0 is not installed";
  // The program itself runs in some 40 MB of address space; a value of 64 MB cannot be held
  // twice within 100 MB.
  constexpr long kLimit = 100L << 20, kBig = 64L << 20;
  TempDir dir;
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("late.sdltm"),
                                         kSchema + Row(SQLiteMaker::Quote(Segment("small", "en-US"))) + BigRow(kBig) +
                                             Row(SQLiteMaker::Quote(Segment("after", "en-US")))),
            "");
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("first.sdltm"), kSchema + BigRow(kBig)), "");
  // The stream reads rows in batches of 256: here the row that fails is the first of a batch.
  std::string batch = "BEGIN;" + kSchema;
  for (int i = 0; i < 256; ++i) batch += Row(SQLiteMaker::Quote(Segment("row " + std::to_string(i), "en-US")));
  batch += BigRow(40L << 20) + Row(SQLiteMaker::Quote(Segment("after", "en-US"))) + "COMMIT;";
  ASSERT_EQ(SQLiteMaker::Instance().Make(dir.File("batch.sdltm"), batch), "");
  std::string bigLine = TmUnit(std::string(kBig, 'x'), "y");
  TempDir::Write(dir.File("late.txt"), TextTm({kTmHeader, TmUnit("one", "eins"), TmUnit("two", "zwei"), bigLine}));
  bigLine.clear();
  TempDir::Write(dir.File("big.tmx"), Tmx(Tu("one", "eins") + Tu("two", "zwei") + Tu(std::string(kBig, 'x'), "y")));
  const std::string appended = TextTm({kTmHeader, TmUnit("old", "alt")});
  fs::create_directories(dir.File("tm"));
  TempDir::Write(dir.File("tm/big.txt"), appended);

  const struct {
    std::string input, output;
    long kept;
  } cases[] = {
      {"late.sdltm", "late.tmx", 1},
      {"late.txt", "late.tmx", 2},
      {"big.tmx", "tm/big.txt", 2},
      {"batch.sdltm", "batch.tmx", 256},
      {"first.sdltm", "first.tmx", 0},
  };
  for (const auto& c : cases) {
    const std::string outDir = fs::path(dir.File(c.output)).parent_path().string();
    const ProgramRun run = RunMirelcon({dir.File(c.input), outDir}, kLimit);
    EXPECT_EQ(run.status, 1) << c.input << ": " << run.err;
    EXPECT_EQ(run.err.find("bad_alloc"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"" + dir.File(c.input) + "\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not enough memory"), std::string::npos) << run.err;
    const std::string out = dir.File(c.output);
    if (c.kept == 0) {
      EXPECT_FALSE(fs::exists(out)) << c.input;
      continue;
    }
    EXPECT_EQ(UnitsKept(run.err), c.kept) << run.err;
    const std::string written = TempDir::Read(out);
    if (c.output.ends_with(".tmx")) {
      EXPECT_EQ(static_cast<long>(CountOf(written, "<tu ")), c.kept) << c.input;
      ExpectValidTmx(out);
    } else {
      // The old units, then the new ones, each a whole line; the header counts those kept.
      char count[32];
      std::snprintf(count, sizeof count, "%%TU=%08ld", 2 + c.kept);
      EXPECT_TRUE(written.starts_with(Replace(appended, "%TU=00000002", count))) << c.input;
      EXPECT_TRUE(written.ends_with("\r\n")) << c.input;
      EXPECT_EQ(SplitLines(written).size(), 2u + static_cast<size_t>(c.kept)) << written;
    }
  }
#endif
}
