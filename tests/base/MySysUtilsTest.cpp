#include "base/MySysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <thread>

#include "MirelconVersion.h"
#include "base/MyDateTimes.h"
#include "base/MyPump.h"
#include "platform/core/Utf8.h"
#include "tests/support/TempDir.h"

namespace {

// The text in a heap block of exactly its length plus the #0: any read past the #0 is a
// heap overflow that the sanitizer build reports.
std::unique_ptr<WideChar[]> Exact(const WideString& s) {
  auto p = std::make_unique<WideChar[]>(s.size() + 1);
  std::memcpy(p.get(), s.c_str(), (s.size() + 1) * sizeof(WideChar));
  return p;
}

// The index of FindAmpCodeEnd's result in the text, or -1 for nullptr.
long AmpEnd(const WideString& s) {
  auto p = Exact(s);
  PWideChar e = FindAmpCodeEnd(p.get());
  return e ? e - p.get() : -1;
}

}  // namespace

// ---- Integers ----

TEST(MySysUtils, IntegerRoutines) {
  EXPECT_EQ(CompareInteger(3, 3), 0);
  EXPECT_EQ(CompareInteger(4, 3), 1);
  EXPECT_EQ(CompareInteger(-4, 3), -1);
  EXPECT_EQ(CompareInteger(INT_MIN, INT_MAX), -1);
  EXPECT_EQ(SignInteger(-7), -1);
  EXPECT_EQ(SignInteger(0), 0);
  EXPECT_EQ(SignInteger(9), 1);
  EXPECT_EQ(MinInteger(2, -3), -3);
  EXPECT_EQ(MaxInteger(2, -3), 2);
}

// ---- FindAmpCodeEnd ----

TEST(MySysUtils, FindAmpCodeEndExamples) {
  EXPECT_EQ(AmpEnd(u"&#65;x"), 4);
  EXPECT_EQ(AmpEnd(u"&#x41;"), 5);
  EXPECT_EQ(AmpEnd(u"&#x4a;"), -1);  // lower-case hexadecimal digit
  EXPECT_EQ(AmpEnd(u"&#x4A;"), 5);
  EXPECT_EQ(AmpEnd(u"&'20AC;"), 6);
  EXPECT_EQ(AmpEnd(u"&'20ac;"), -1);
  EXPECT_EQ(AmpEnd(u"&pA;"), 3);
  EXPECT_EQ(AmpEnd(u"&pa;"), -1);
  EXPECT_EQ(AmpEnd(u"&fZ;rest"), 3);
  EXPECT_EQ(AmpEnd(u"&jB;"), 3);
  EXPECT_EQ(AmpEnd(u"&sC;"), 3);
  EXPECT_EQ(AmpEnd(u"&sCD;"), -1);
  EXPECT_EQ(AmpEnd(u"&tA;"), 3);
  EXPECT_EQ(AmpEnd(u"&tAB;x;"), 4);
  EXPECT_EQ(AmpEnd(u"&t;x;"), 4);  // the search starts at the fourth character
  EXPECT_EQ(AmpEnd(u"&t=;"), 3);
  EXPECT_EQ(AmpEnd(u"&t={\\b};"), 7);
  EXPECT_EQ(AmpEnd(u"&amp;"), -1);
  EXPECT_EQ(AmpEnd(u"&#12a;"), -1);
  EXPECT_EQ(AmpEnd(u"x&#65;"), -1);  // not at '&'
  EXPECT_EQ(FindAmpCodeEnd(nullptr), nullptr);
}

TEST(MySysUtils, FindAmpCodeEndNeedsDigits) {
  EXPECT_EQ(AmpEnd(u"&#;"), -1);
  EXPECT_EQ(AmpEnd(u"&#x;"), -1);
  EXPECT_EQ(AmpEnd(u"&';"), -1);
}

TEST(MySysUtils, FindAmpCodeEndRemovesEscapeBackslashes) {
  auto p = Exact(u"&t=a\\;b;");
  PWideChar e = FindAmpCodeEnd(p.get());
  EXPECT_EQ(WideString(p.get()), u"&t=a;b;");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e - p.get(), 6);

  p = Exact(u"&t=\\;\\;x;tail");
  e = FindAmpCodeEnd(p.get());
  EXPECT_EQ(WideString(p.get()), u"&t=;;x;tail");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e - p.get(), 6);

  // A backslash before ';' goes even when a backslash precedes it.
  p = Exact(u"&t=a\\\\;b;");
  e = FindAmpCodeEnd(p.get());
  EXPECT_EQ(WideString(p.get()), u"&t=a\\;b;");
  EXPECT_EQ(e - p.get(), 7);

  // Without '=' the backslash is text like any other.
  p = Exact(u"&tA\\;b;");
  e = FindAmpCodeEnd(p.get());
  EXPECT_EQ(WideString(p.get()), u"&tA\\;b;");
  EXPECT_EQ(e - p.get(), 4);

  // No ending ';': nil, and the text keeps what was removed.
  p = Exact(u"&t=a\\;b");
  EXPECT_EQ(FindAmpCodeEnd(p.get()), nullptr);
  EXPECT_EQ(WideString(p.get()), u"&t=a;b");
}

TEST(MySysUtils, FindAmpCodeEndStopsAtTheEndOfText) {
  // Each text sits in a block that ends at its #0; the sanitizer build catches any read beyond.
  for (const WideString& s : {WideString(u"&"), WideString(u"&t"), WideString(u"&t;"), WideString(u"&t="),
                              WideString(u"&t=\\"), WideString(u"&t=abc\\"), WideString(u"&tAB"),
                              WideString(u"&#"), WideString(u"&#x"), WideString(u"&#12"), WideString(u"&#x1F"),
                              WideString(u"&'"), WideString(u"&'AB"), WideString(u"&p"), WideString(u"&pA"),
                              WideString(u"&f"), WideString(u"&s"), WideString(u"&j"), WideString(u"&z")}) {
    SCOPED_TRACE(platform::Utf16ToUtf8(s));
    EXPECT_EQ(AmpEnd(s), -1);
  }
  // A #0 inside a larger block ends the text as well: nothing after it is looked at.
  WideChar buf[] = {u'&', u't', 0, u';', u';'};
  EXPECT_EQ(FindAmpCodeEnd(buf), nullptr);
  WideChar buf2[] = {u'&', u't', u'=', u'x', 0, u';'};
  EXPECT_EQ(FindAmpCodeEnd(buf2), nullptr);
}

TEST(MySysUtils, FindAmpCodeEndLinearOnManyEscapes) {
  // Many escaped ';' are removed in one pass, not one move of the rest of the text each.
  WideString s = u"&t=";
  for (int i = 0; i < 100000; ++i) s += u"\\;";
  s += u";";
  auto p = Exact(s);
  auto start = std::chrono::steady_clock::now();
  PWideChar e = FindAmpCodeEnd(p.get());
  auto took = std::chrono::steady_clock::now() - start;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e - p.get(), 3 + 100000);
  EXPECT_EQ(std::char_traits<char16_t>::length(p.get()), 3u + 100000u + 1u);
  EXPECT_LT(took, std::chrono::seconds(1));
}

// ---- Text routines ----

TEST(MySysUtils, TrimRightBlanksW) {
  auto p = Exact(u"abc \t\r\n \r\n");
  TrimRightBlanksW(p.get());
  EXPECT_EQ(WideString(p.get()), u"abc");
  p = Exact(u" \t\r\n");
  TrimRightBlanksW(p.get());
  EXPECT_EQ(WideString(p.get()), u"");
  p = Exact(u"  a b\x00A0");  // only TAB, CR, LF and blank are trimmed
  TrimRightBlanksW(p.get());
  EXPECT_EQ(WideString(p.get()), u"  a b\x00A0");
  p = Exact(u"");
  TrimRightBlanksW(p.get());
  EXPECT_EQ(p[0], 0);
  TrimRightBlanksW(nullptr);
}

TEST(MySysUtils, GroupThousands) {
  EXPECT_EQ(GroupThousands("1234567"), "1.234.567");
  EXPECT_EQ(GroupThousands("123"), "123");
  EXPECT_EQ(GroupThousands("1000"), "1.000");
  EXPECT_EQ(GroupThousands(""), "");
  EXPECT_EQ(GroupThousands("1"), "1");
  EXPECT_EQ(GroupThousands("12"), "12");
  EXPECT_EQ(GroupThousands("123456"), "123.456");
  EXPECT_EQ(GroupThousands("12345"), "12.345");
  EXPECT_EQ(GroupThousands("2147483647"), "2.147.483.647");
}

TEST(MySysUtils, DebugSections) {
  TDebugLines d;
  BeginSection(d, u"Stream");
  d.Lines.push_back(u"Size=3");
  BeginSection(d, u"Buffer");
  EXPECT_EQ(d.Sections, (std::vector<WideString>{u"Stream", u"Buffer"}));
  EndSection(d);
  EXPECT_EQ(d.Sections, std::vector<WideString>{u"Stream"});
  EndSection(d);
  EXPECT_TRUE(d.Sections.empty());
  EXPECT_EQ(d.Lines, (std::vector<WideString>{u"Stream {", u"Size=3", u"Buffer {", u"}", u"}"}));
}

// ---- Program identity ----

TEST(MySysUtils, ProgramName) {
  WideString full = GetExeFileNameW();
  ASSERT_FALSE(full.empty());
  EXPECT_EQ(full[0], u'/');
  EXPECT_EQ(GetExeNameW(), u"test_base");
  EXPECT_EQ(GetExeBaseNameW(), u"test_base");
  EXPECT_EQ(full.substr(full.size() - 10), u"/test_base");
  EXPECT_TRUE(platform::IsRegularFile(full));
}

TEST(MySysUtils, RemoveFileExtW) {
  EXPECT_EQ(RemoveFileExtW(u"mirelcon.exe"), u"mirelcon");
  EXPECT_EQ(RemoveFileExtW(u"a.b.c"), u"a.b");
  EXPECT_EQ(RemoveFileExtW(u"mirelcon"), u"mirelcon");
  EXPECT_EQ(RemoveFileExtW(u""), u"");
  EXPECT_EQ(RemoveFileExtW(u"/home/u/.local/bin/mirelcon"), u"/home/u/.local/bin/mirelcon");
  EXPECT_EQ(RemoveFileExtW(u"/opt/x.y/tool.bin"), u"/opt/x.y/tool");
  WideString longName(5000, u'n');  // no fixed buffer limits the length
  EXPECT_EQ(RemoveFileExtW(longName + u".txt"), longName);
}

TEST(MySysUtils, Versions) {
  WideString v = GetExeVersionW();
  EXPECT_EQ(platform::Utf16ToUtf8(v), MIRELCON_VERSION_TEXT);
  // Four decimal numbers joined by dots.
  int dots = 0;
  bool digitBefore = false;
  for (WideChar c : v) {
    if (c == u'.') {
      EXPECT_TRUE(digitBefore);
      ++dots;
      digitBefore = false;
    } else {
      EXPECT_TRUE(c >= u'0' && c <= u'9');
      digitBefore = true;
    }
  }
  EXPECT_TRUE(digitBefore);
  EXPECT_EQ(dots, 3);
  EXPECT_EQ(GetFileVersionW(GetExeFileNameW()), v);
  EXPECT_EQ(GetFileVersionW(u"/proc/self/exe"), v);
  EXPECT_EQ(GetFileVersionW(u"" MIRELCON_SOURCE_DIR "/CMakeLists.txt"), u"0.0.0.0");
  EXPECT_EQ(GetFileVersionW(u"/nonexistent/file.dll"), u"0.0.0.0");
  EXPECT_EQ(GetFileVersionW(u""), u"0.0.0.0");
}

// ---- OpenFileByMode ----

namespace {

// A file holding "hello" in a fresh folder.
struct TempFile {
  TempDir dir;
  TempFile() { TempDir::Write(dir.File("f.txt"), "hello"); }
  WideString Name() const { return dir.WFile("f.txt"); }
};

}  // namespace

TEST(MySysUtils, OpenFileByModeAccess) {
  TempFile f;
  platform::FileHandle h = OpenFileByMode(f.Name(), 0);  // read
  ASSERT_NE(h, platform::InvalidFileHandle);
  char buf[8] = {};
  EXPECT_EQ(platform::ReadFile(h, buf, 8), 5);
  EXPECT_EQ(platform::WriteFile(h, "x", 1), -1);  // not opened for writing
  platform::CloseFile(h);

  h = OpenFileByMode(f.Name(), 1);  // write
  ASSERT_NE(h, platform::InvalidFileHandle);
  EXPECT_EQ(platform::WriteFile(h, "J", 1), 1);
  EXPECT_EQ(platform::ReadFile(h, buf, 1), -1);
  platform::CloseFile(h);

  h = OpenFileByMode(f.Name(), 2);  // both
  ASSERT_NE(h, platform::InvalidFileHandle);
  EXPECT_EQ(platform::ReadFile(h, buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "Jello");
  EXPECT_EQ(platform::WriteFile(h, "!", 1), 1);
  platform::CloseFile(h);

  EXPECT_EQ(OpenFileByMode(f.Name(), 3), platform::InvalidFileHandle);     // no such access
  EXPECT_EQ(OpenFileByMode(f.Name(), 0x50), platform::InvalidFileHandle);  // no such sharing
  EXPECT_EQ(OpenFileByMode(u"/nonexistent/x.txt", 0), platform::InvalidFileHandle);
}

TEST(MySysUtils, OpenFileByModeSharing) {
  TempFile f;
  // 0x20: read, others may read (deny write): two readers coexist, a writer is refused.
  platform::FileHandle a = OpenFileByMode(f.Name(), 0x20);
  ASSERT_NE(a, platform::InvalidFileHandle);
  platform::FileHandle b = OpenFileByMode(f.Name(), 0x20);
  EXPECT_NE(b, platform::InvalidFileHandle);
  EXPECT_EQ(OpenFileByMode(f.Name(), 0x12), platform::InvalidFileHandle);  // exclusive read/write
  platform::CloseFile(b);
  platform::CloseFile(a);
  // 0x12: read/write exclusive: nobody else gets in.
  a = OpenFileByMode(f.Name(), 0x12);
  ASSERT_NE(a, platform::InvalidFileHandle);
  EXPECT_EQ(OpenFileByMode(f.Name(), 0x20), platform::InvalidFileHandle);
  platform::CloseFile(a);
  // 0x40: share both: any number of openers.
  a = OpenFileByMode(f.Name(), 0x42);
  b = OpenFileByMode(f.Name(), 0x42);
  EXPECT_NE(a, platform::InvalidFileHandle);
  EXPECT_NE(b, platform::InvalidFileHandle);
  platform::CloseFile(a);
  platform::CloseFile(b);
}

// ---- TSysPerf ----

TEST(MySysUtils, SysPerfSequence) {
  TSysPerf& perf = SysPerf();
  EXPECT_EQ(&perf, &SysPerf());  // one per process
  int32_t a = perf.IncSequence();
  int32_t b = perf.IncSequence();
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(perf.Sequence(), b);
  EXPECT_GE(perf.ProcessorCount, 1);
  EXPECT_GE(perf.LoadAverage, 0.0);
  EXPECT_GE(perf.UserCpuMSecs, 0);
  EXPECT_GT(perf.PeakResidentKB, 0);
}

TEST(MySysUtils, SysPerfSequenceStartsAtTheMillisecondCounter) {
  int32_t before = static_cast<int32_t>(static_cast<uint32_t>(MSecsCounter()));
  TSysPerf perf;
  int32_t after = static_cast<int32_t>(static_cast<uint32_t>(MSecsCounter()));
  EXPECT_GE(perf.Sequence(), before);
  EXPECT_LE(perf.Sequence(), after);
}

TEST(MySysUtils, SysPerfSequenceFromThreads) {
  TSysPerf& perf = SysPerf();
  int32_t start = perf.Sequence();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) perf.IncSequence();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(perf.Sequence(), start + 40000);
}

TEST(MySysUtils, SysPerfLockIsRecursive) {
  TSysPerf& perf = SysPerf();
  perf.Lock();
  perf.Lock();  // the owner enters again without blocking
  std::atomic<bool> otherIn{false};
  std::thread t([&] {
    perf.Lock();
    otherIn = true;
    perf.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(otherIn);
  perf.Unlock();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(otherIn);  // still held once
  perf.Unlock();
  t.join();
  EXPECT_TRUE(otherIn);
}

// ---- Message pumping ----

namespace {

struct FakePump : TMessagePump {
  std::vector<char> calls;
  void ProcessAll() override { calls.push_back('A'); }
  void ProcessOne() override { calls.push_back('O'); }
  void TrackMouse() override { calls.push_back('T'); }
};

}  // namespace

TEST(MySysUtils, PumpingWithoutAPumpDoesNothing) {
  SetMessagePump(nullptr);
  ProcessMessagesAll();
  ProcessOneMessage();
  TrackMouseControl();
  IdleProcessMessage();
  EXPECT_EQ(GetMessagePump(), nullptr);
}

TEST(MySysUtils, PumpingGoesThroughTheInstalledPump) {
  FakePump pump;
  SetMessagePump(&pump);
  ProcessMessagesAll();
  ProcessOneMessage();
  TrackMouseControl();
  IdleProcessMessage();  // track the mouse, then one message
  SetMessagePump(nullptr);
  ProcessOneMessage();
  EXPECT_EQ(pump.calls, (std::vector<char>{'A', 'O', 'T', 'T', 'O'}));
}

TEST(MySysUtils, PumpThrottleAtMostEveryInterval) {
  TPumpThrottle t(50);
  int64_t t0 = MSecsCounter();
  EXPECT_FALSE(t.DueAt(t0 + 10));
  EXPECT_TRUE(t.DueAt(t0 + 60));
  EXPECT_FALSE(t.DueAt(t0 + 100));
  EXPECT_TRUE(t.DueAt(t0 + 110));
  EXPECT_FALSE(t.DueAt(t0 + 111));
}

TEST(MySysUtils, PumpThrottleKeepsPumpingRare) {
  // A tight loop of units for about 200 ms pumps a handful of times, not once per unit.
  FakePump pump;
  SetMessagePump(&pump);
  TPumpThrottle throttle;
  int64_t start = MSecsCounter();
  long units = 0;
  while (MSecsCounter() - start < 200) {
    ++units;
    if (throttle.Due()) ProcessOneMessage();
  }
  SetMessagePump(nullptr);
  EXPECT_GT(units, 1000);
  EXPECT_GE(pump.calls.size(), 2u);
  EXPECT_LE(pump.calls.size(), 5u);
}

// ---- Tone player ----

namespace {

uint32_t LE(const std::vector<uint8_t>& w, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | w[at + i];
  return v;
}

std::string Tag(const std::vector<uint8_t>& w, size_t at) { return std::string(w.begin() + at, w.begin() + at + 4); }

struct FakeSound : TSoundOutput {
  std::vector<std::vector<uint8_t>> played;
  void PlayWave(const std::vector<uint8_t>& Wave) override { played.push_back(Wave); }
};

}  // namespace

TEST(MySysUtils, ToneWaveHeader) {
  std::vector<uint8_t> w = BuildToneWave(880, 50, 100);
  const uint32_t samples = 22050 * 50 / 1000;  // 1102
  ASSERT_EQ(w.size(), 44u + samples);
  EXPECT_EQ(Tag(w, 0), "RIFF");
  EXPECT_EQ(LE(w, 4, 4), 36u + samples);
  EXPECT_EQ(Tag(w, 8), "WAVE");
  EXPECT_EQ(Tag(w, 12), "fmt ");
  EXPECT_EQ(LE(w, 16, 4), 16u);
  EXPECT_EQ(LE(w, 20, 2), 1u);      // PCM
  EXPECT_EQ(LE(w, 22, 2), 1u);      // mono
  EXPECT_EQ(LE(w, 24, 4), 22050u);  // samples per second
  EXPECT_EQ(LE(w, 28, 4), 22050u);  // bytes per second
  EXPECT_EQ(LE(w, 32, 2), 1u);      // block align
  EXPECT_EQ(LE(w, 34, 2), 8u);      // bits per sample
  EXPECT_EQ(Tag(w, 36), "data");
  EXPECT_EQ(LE(w, 40, 4), samples);
}

TEST(MySysUtils, ToneWaveSamples) {
  std::vector<uint8_t> w = BuildToneWave(1000, 100, 100);
  ASSERT_EQ(w.size(), 44u + 2205u);
  for (uint32_t i = 0; i < 2205; ++i) {
    double expected = std::nearbyint(std::sin(2 * std::numbers::pi * 1000 * i / 22050) * 100) + 127;
    ASSERT_EQ(w[44 + i], expected) << i;
  }
  EXPECT_EQ(w[44], 127);  // sin 0
  EXPECT_EQ(w[44 + 5], 127 + 99);  // sin(2 pi 1000 x 5 / 22050) x 100 = 98.98
}

TEST(MySysUtils, ToneVolumeIsCapped) {
  std::vector<uint8_t> w = BuildToneWave(440, 1000, 255);
  std::vector<uint8_t> ref = BuildToneWave(440, 1000, 127);
  EXPECT_EQ(w, ref);
  uint8_t lo = 255, hi = 0;
  for (size_t i = 44; i < w.size(); ++i) {
    lo = std::min(lo, w[i]);
    hi = std::max(hi, w[i]);
  }
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 254);
}

TEST(MySysUtils, ToneEmptyDurations) {
  EXPECT_EQ(BuildToneWave(440, 0, 100).size(), 44u);
  EXPECT_EQ(BuildToneWave(440, -5, 100).size(), 44u);
  EXPECT_EQ(BuildToneWave(440, 1, 100).size(), 44u + 22u);  // 22050 x 1 div 1000
}

TEST(MySysUtils, ToneTooHighForTheSampleRate) {
  EXPECT_NO_THROW(BuildToneWave(13230, 10, 50));  // exactly 0.6 x 22,050
  try {
    BuildToneWave(13231, 10, 50);
    FAIL() << "no abort";
  } catch (const EAbort& e) {
    EXPECT_STREQ(e.what(),
                 "Un taux d'\xC3\xA9" "chantillonage de 22050 est trop bas pour jouer une tonalit\xC3\xA9 de 13231Hz");
  }
  FakeSound sound;
  SetSoundOutput(&sound);
  EXPECT_THROW(PlayTone(20000, 10, 50), EAbort);
  EXPECT_TRUE(sound.played.empty());  // no tone
  SetSoundOutput(nullptr);
}

TEST(MySysUtils, PlayToneThroughTheSoundOutput) {
  SetSoundOutput(nullptr);
  EXPECT_NO_THROW(BeepTone());  // no device: nothing happens
  FakeSound sound;
  SetSoundOutput(&sound);
  BeepTone();
  PlayTone(440, 20, 60);
  SetSoundOutput(nullptr);
  ASSERT_EQ(sound.played.size(), 2u);
  EXPECT_EQ(sound.played[0], BuildToneWave(880, 50, 127));
  EXPECT_EQ(sound.played[1], BuildToneWave(440, 20, 60));
  // The lock is free again afterwards.
  bool locked = false;
  std::thread t([&] {
    SysPerf().Lock();
    locked = true;
    SysPerf().Unlock();
  });
  t.join();
  EXPECT_TRUE(locked);
}
