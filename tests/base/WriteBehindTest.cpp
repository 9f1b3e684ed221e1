// A file written by one thread has its blocks written behind by a thread of its own. What the
// file holds, what every call returns and how a failed write is reported must be what writing
// each block at once gives; the thread runs only while a large file is open.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/MyFileStream.h"
#include "platform/core/Files.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;

// One step of a script: write len bytes (at a position when at >= 0), read len bytes at at,
// set the size to len, or flush.
struct Step {
  enum Kind { Write, Read, SetSize, Flush } kind;
  int64_t at = -1;
  int64_t len = 0;
};

// Bytes that differ from step to step and from place to place, so that a block written twice,
// out of order or at the wrong offset shows.
std::string Pattern(size_t step, int64_t len) {
  std::string s(static_cast<size_t>(len), '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>('a' + (step * 7 + i * 13 + i / 4099) % 26);
  return s;
}

// Many writes of a few bytes up to a few hundred, as converters write lines.
std::vector<Step> Lines(int64_t total) {
  std::vector<Step> steps;
  for (int64_t done = 0, i = 0; done < total; ++i) {
    const int64_t len = 1 + (i * 37) % 300;
    steps.push_back({Step::Write, -1, len});
    done += len;
  }
  return steps;
}

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
  std::vector<Step> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Runs a script and returns what the caller saw: every call's result, the size after it and
// the bytes read.
std::vector<std::string> RunScript(TMyFileStream& s, const std::vector<Step>& steps, std::string* model = nullptr) {
  std::vector<std::string> seen;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    std::string result;
    switch (step.kind) {
      case Step::Write: {
        const std::string bytes = Pattern(i, step.len);
        const int64_t at = step.at >= 0 ? step.at : s.GetPosition();
        const int64_t n = step.at >= 0 ? s.WriteAt(bytes.data(), step.len, step.at) : s.Write(bytes.data(), step.len);
        result = "w" + std::to_string(n);
        if (model) {
          if (model->size() < static_cast<size_t>(at + step.len)) model->resize(static_cast<size_t>(at + step.len), '\0');
          model->replace(static_cast<size_t>(at), bytes.size(), bytes);
        }
        break;
      }
      case Step::Read: {
        std::string bytes(static_cast<size_t>(step.len), '\0');
        const int64_t n = s.ReadAt(bytes.data(), step.len, step.at);
        bytes.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
        result = "r" + bytes;
        if (model) {
          const std::string expected = step.at < static_cast<int64_t>(model->size())
                                           ? model->substr(static_cast<size_t>(step.at), static_cast<size_t>(step.len))
                                           : std::string();
          EXPECT_TRUE(bytes == expected) << "read of step " << i << " at " << step.at;
        }
        break;
      }
      case Step::SetSize:
        s.SetSize(step.len);
        if (model) model->resize(static_cast<size_t>(step.len), '\0');
        break;
      case Step::Flush:
        result = s.Flush() ? "f" : "F";
        break;
    }
    seen.push_back(result + " size " + std::to_string(s.GetSize()) + " pos " + std::to_string(s.GetPosition()));
  }
  return seen;
}

// The threads of this process.
size_t Threads() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

struct Script {
  const char* name;
  std::vector<Step> steps;
};

}  // namespace

// The same calls with blocks written behind and written at once give the same file and the same
// results, the file being what the calls wrote; positioned writes land in order over blocks still
// on their way, reads see what was written before them, and a cut or grown size holds.
TEST(WriteBehind, SameFileAndResultsAsWritingAtOnce) {
  const std::vector<Script> scripts = {
      {"lines, then the header rewritten and a place in the middle overwritten",
       Join({Lines(3 * kMiB), {{Step::Write, 0, 16}, {Step::Write, 1536 * kKiB - 5, 100}}, Lines(kMiB),
             {{Step::Write, 3, 5}}})},
      {"large writes straddling blocks",
       Join({Lines(kMiB + 17), {{Step::Write, -1, 70 * kKiB}, {Step::Write, -1, 3 * kMiB / 2}, {Step::Write, -1, 3},
                                {Step::Write, -1, 2 * kMiB + 1}, {Step::Write, -1, 64 * kKiB}},
             Lines(10 * kKiB)})},
      {"reads of bytes not yet written out",
       Join({Lines(5 * kMiB / 2), {{Step::Read, 2 * kMiB, 5000}, {Step::Read, 100, 300}}, Lines(kMiB),
             {{Step::Read, 3 * kMiB, 2 * kMiB}, {Step::Write, kMiB, 10}, {Step::Read, kMiB - 4, 20}}})},
      {"cut back, appended to, grown and written past the end",
       Join({Lines(3 * kMiB), {{Step::SetSize, -1, 1200 * kKiB}, {Step::Write, 1200 * kKiB, 500}}, Lines(kMiB),
             {{Step::SetSize, -1, 5 * kMiB}, {Step::Write, 6 * kMiB, 1000}, {Step::Read, 5 * kMiB - 10, 30}}})},
      {"flushed on the way", Join({Lines(2 * kMiB), {{Step::Flush}}, Lines(kMiB), {{Step::Flush}}, Lines(100)})},
  };
  TempDir dir;
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    std::vector<std::string> seen[2];
    std::string model;
    for (int behind = 0; behind < 2; ++behind) {
      const std::string name = "f" + std::to_string(behind);
      auto s = TMyFileStream::Create(dir.WFile(name), fmCreate, false);
      ASSERT_TRUE(s);
      s->SetWriteBehind(behind == 1);
      model.clear();
      seen[behind] = RunScript(*s, script.steps, &model);
      EXPECT_TRUE(s->CloseFile());
      EXPECT_FALSE(s->WriteFailed());
    }
    EXPECT_EQ(seen[0], seen[1]);
    const std::string at_once = TempDir::Read(dir.File("f0")), behind = TempDir::Read(dir.File("f1"));
    EXPECT_EQ(at_once.size(), model.size());
    EXPECT_TRUE(at_once == model) << "the file is not what was written";
    EXPECT_TRUE(behind == at_once) << "blocks written behind give another file";
  }
}

// A text TM's way: lines, then the count written into the header at the start, then the file
// read back through the same stream.
TEST(WriteBehind, TextLinesAndTheHeaderWrittenLast) {
  TempDir dir;
  std::string files[2];
  for (int behind = 0; behind < 2; ++behind) {
    const std::string name = "t" + std::to_string(behind) + ".txt";
    auto s = TTextFileStream::Create(dir.WFile(name), ccUtf8, false, fmCreate);
    ASSERT_TRUE(s);
    s->SetWriteBehind(behind == 1);
    s->WriteLine(u"header 00000000");
    for (int i = 0; i < 60000; ++i) s->WriteLine(u"unit " + std::u16string(i % 40, u'\u00E9') + u" \U0001F600");
    s->SetPosition(7);
    s->WriteText(u"00060000");
    WideString line;
    s->ReadLineAt(line, 0);
    EXPECT_EQ(line, u"header 00060000");
    s->ReadLine(line);
    EXPECT_EQ(line, u"unit  \U0001F600");
    EXPECT_TRUE(s->CloseFile());
    files[behind] = TempDir::Read(dir.File(name));
  }
  EXPECT_GT(files[0].size(), static_cast<size_t>(2 * kMiB));
  EXPECT_TRUE(files[0] == files[1]);
}

// The writer thread starts only for a file that grows large, and is gone when the file is closed
// or the stream destroyed (as when an exception unwinds past it), every byte in the file.
TEST(WriteBehind, ThreadRunsOnlyWhileALargeFileIsOpen) {
  TempDir dir;
  const size_t before = Threads();
  const std::string line(1000, 'x');
  {
    auto s = TMyFileStream::Create(dir.WFile("big"), fmCreate, false);
    for (int i = 0; i < 900; ++i) s->Write(line.data(), 1000);
    EXPECT_EQ(Threads(), before) << "a small file is written by the caller";
    for (int i = 0; i < 3000; ++i) s->Write(line.data(), 1000);
    EXPECT_EQ(Threads(), before + 1);
    EXPECT_TRUE(s->Flush());
    EXPECT_EQ(TempDir::Read(dir.File("big")).size(), 3900000u);
    EXPECT_TRUE(s->CloseFile());
    EXPECT_EQ(Threads(), before);
  }
  try {
    auto s = TMyFileStream::Create(dir.WFile("thrown"), fmCreate, false);
    for (int i = 0; i < 3900; ++i) s->Write(line.data(), 1000);
    EXPECT_EQ(Threads(), before + 1);
    throw std::runtime_error("stopped");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(Threads(), before);
  EXPECT_EQ(TempDir::Read(dir.File("thrown")).size(), 3900000u);
  // Read only, or shared by threads: no thread of its own.
  for (const auto& [mode, multi] : {std::pair<uint16_t, bool>{fmOpenRead, false}, {fmOpenReadWrite, true}}) {
    auto s = TMyFileStream::Create(dir.WFile("big"), mode, multi);
    std::string block(64 * kKiB, '\0');
    while (s->Read(block.data(), static_cast<int64_t>(block.size())) > 0) {
    }
    for (int i = 0; multi && i < 3000; ++i) s->WriteAt(line.data(), 1000, 1000 * i);
    EXPECT_EQ(Threads(), before);
  }
}

// A write that fails part-way (a full disk) is reported as when each block is written at once:
// never before the file had to grow past what it can hold, at the latest by Flush, which returns
// false as CloseFile does then; the reason is the caller's LastErrorCode, and what was written
// before the failure stays.
TEST(WriteBehind, FailedWriteReportedAsWhenWrittenAtOnce) {
  TempDir dir;
  for (const int64_t limit : {5 * kMiB / 2 + 123, 3 * kMiB}) {
    SCOPED_TRACE(limit);
    for (int behind = 0; behind < 2; ++behind) {
      const std::string name = "full" + std::to_string(behind);
      EXPECT_TRUE(tmfiles::WithFileSizeLimit(static_cast<rlim_t>(limit), [&] {
        auto s = TMyFileStream::Create(dir.WFile(name), fmCreate, false);
        s->SetWriteBehind(behind == 1);
        const std::vector<Step> steps = Lines(5 * kMiB);
        int64_t written = 0;
        bool early = false;
        for (size_t i = 0; i < steps.size(); ++i) {
          s->Write(Pattern(i, steps[i].len).data(), steps[i].len);
          written += steps[i].len;
          early = early || (s->WriteFailed() && written <= limit);
        }
        platform::SetLastErrorCode(0);
        const bool flushed = s->Flush();
        const int code = platform::LastErrorCode();
        const bool failed = s->WriteFailed(), closed = s->CloseFile();
        if (early || flushed || code != EFBIG || !failed || closed) {
          std::fprintf(stderr, "early %d flushed %d code %d failed %d closed %d\n", early, flushed, code, failed, closed);
          return false;
        }
        return true;
      }));
    }
    const std::string at_once = TempDir::Read(dir.File("full0"));
    EXPECT_EQ(at_once.size(), static_cast<size_t>(limit));
    EXPECT_TRUE(TempDir::Read(dir.File("full1")) == at_once);
  }
}
