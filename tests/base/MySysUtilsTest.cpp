#include "base/MySysUtils.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>

#include "MirelconVersion.h"
#include "base/MyDateTimes.h"
#include "base/MyPump.h"
#include "platform/core/Clock.h"
#include "platform/core/ShowMessage.h"
#include "platform/core/Sound.h"
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

}  // namespace

TEST(MySysUtils, IntegerRoutines) {
  EXPECT_TRUE(CompareInteger(INT_MIN, INT_MAX) == -1 && CompareInteger(4, 3) == 1 && CompareInteger(3, 3) == 0);
  EXPECT_TRUE(SignInteger(-7) == -1 && SignInteger(0) == 0 && MinInteger(2, -3) == -3 && MaxInteger(2, -3) == 2);
}

TEST(MySysUtils, FindAmpCodeEnd) {
  auto p = Exact(u"&#65;x");
  EXPECT_EQ(FindAmpCodeEnd(p.get()), p.get() + 4);
  // In the open form a ';' after a backslash is text, and the backslash goes.
  p = Exact(u"&t=a\\;b;c");
  EXPECT_EQ(FindAmpCodeEnd(p.get()), p.get() + 6);
  EXPECT_EQ(WideString(p.get()), u"&t=a;b;c");
  p = Exact(u"&t=\\");  // the text ends first: the sanitizer build catches any read past the #0
  EXPECT_EQ(FindAmpCodeEnd(p.get()), nullptr);
}

TEST(MySysUtils, TextRoutines) {
  for (const auto& [in, out] : {std::pair<std::u16string, std::u16string>{u"abc \t\r\n \r\n", u"abc"},
                                {u" \t\r\n", u""}, {u"  a b\u00A0", u"  a b\u00A0"}, {u"", u""}}) {
    auto p = Exact(in);
    TrimRightBlanksW(p.get());
    EXPECT_EQ(WideString(p.get()), out);
  }
  TrimRightBlanksW(nullptr);
  for (const auto& [in, out] : {std::pair<std::string, std::string>{"", ""}, {"12", "12"}, {"123", "123"}, {"1000", "1.000"},
                                {"12345", "12.345"}, {"123456", "123.456"}, {"2147483647", "2.147.483.647"}})
    EXPECT_EQ(GroupThousands(in), out);

  TDebugLines d;
  BeginSection(d, u"Stream");
  BeginSection(d, u"Buffer");
  EndSection(d);
  EXPECT_EQ(d.Lines, (std::vector<WideString>{u"Stream {", u"Buffer {", u"}"}));
  EXPECT_EQ(d.Sections, std::vector<WideString>{u"Stream"});
}

TEST(MySysUtils, ProgramNameAndVersion) {
  const WideString full = GetExeFileNameW();
  EXPECT_EQ(full.substr(full.size() - 10), u"/test_base");
  EXPECT_EQ(GetExeNameW(), u"test_base");
  EXPECT_EQ(GetExeBaseNameW(), u"test_base");
  EXPECT_EQ(RemoveFileExtW(u"/opt/x.y/tool.bin"), u"/opt/x.y/tool");
  EXPECT_EQ(RemoveFileExtW(u"/home/u/.local/bin/mirelcon"), u"/home/u/.local/bin/mirelcon");
  const WideString longName(5000, u'n');  // no fixed buffer limits the length
  EXPECT_EQ(RemoveFileExtW(longName + u".txt"), longName);

  EXPECT_EQ(platform::Utf16ToUtf8(GetExeVersionW()), MIRELCON_VERSION_TEXT);
  EXPECT_EQ(GetFileVersionW(u"/proc/self/exe"), GetExeVersionW());
  EXPECT_EQ(GetFileVersionW(u"" MIRELCON_SOURCE_DIR "/CMakeLists.txt"), u"0.0.0.0");
}

TEST(MySysUtils, OpenFileByMode) {
  TempDir dir;
  TempDir::Write(dir.File("f.txt"), "hello");
  platform::FileHandle w = OpenFileByMode(dir.WFile("f.txt"), 0x11);  // write only, exclusive
  EXPECT_EQ(platform::WriteFile(w, "J", 1), 1);
  EXPECT_EQ(OpenFileByMode(dir.WFile("f.txt"), 0x20), platform::InvalidFileHandle);
  platform::CloseFile(w);
  EXPECT_EQ(OpenFileByMode(dir.WFile("f.txt"), 3), platform::InvalidFileHandle);  // no such access
  EXPECT_EQ(TempDir::Read(dir.File("f.txt")), "Jello");
}

TEST(MySysUtils, SysPerfSequenceStartsAtTheMillisecondCounterAndCountsUp) {
  const int32_t before = static_cast<int32_t>(static_cast<uint32_t>(MSecsCounter()));
  TSysPerf perf;
  EXPECT_GE(perf.Sequence(), before);
  EXPECT_LE(perf.Sequence(), static_cast<int32_t>(static_cast<uint32_t>(MSecsCounter())));
  // Keys stay unique when threads take them at once.
  const int32_t start = SysPerf().Sequence();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 10000; ++i) SysPerf().IncSequence();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(SysPerf().IncSequence(), start + 40001);
}

namespace {

struct FakePump : TMessagePump {
  std::vector<char> calls;
  void ProcessAll() override { calls.push_back('A'); }
  void ProcessOne() override { calls.push_back('O'); }
  void TrackMouse() override { calls.push_back('T'); }
};

}  // namespace

TEST(MySysUtils, PumpingGoesThroughTheInstalledPumpAtMostEveryInterval) {
  FakePump pump;
  SetMessagePump(&pump);
  ProcessMessagesAll();
  ProcessOneMessage();
  TrackMouseControl();
  IdleProcessMessage();  // track the mouse, then one message
  SetMessagePump(nullptr);
  IdleProcessMessage();  // no pump: nothing
  EXPECT_EQ(pump.calls, (std::vector<char>{'A', 'O', 'T', 'T', 'O'}));

  // The throttle starts at the clock's reading when it is made: a clock of the test's own, so
  // that no moment of a busy machine passes between that reading and t0.
  static int64_t now = 0;
  now = MSecsCounter();
  const platform::TClockSource clock = platform::SetClockSource([] { return now; });
  TPumpThrottle t(50);
  platform::SetClockSource(clock);
  const int64_t t0 = now;
  EXPECT_FALSE(t.DueAt(t0 + 10));
  EXPECT_TRUE(t.DueAt(t0 + 60));
  EXPECT_FALSE(t.DueAt(t0 + 109));
  EXPECT_TRUE(t.DueAt(t0 + 110));
}

namespace {
struct FakeSound : TSoundOutput {
  std::vector<std::vector<uint8_t>> played;
  void PlayWave(const std::vector<uint8_t>& Wave) override { played.push_back(Wave); }
};
}  // namespace

TEST(MySysUtils, ToneWaves) {
  const std::vector<uint8_t> w = BuildToneWave(1000, 100, 100);  // 2,205 samples of 8-bit mono PCM
  ASSERT_EQ(w.size(), 44u + 2205u);
  EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 44), std::string("data\x9D\x08\0\0", 8));
  EXPECT_EQ(w[44 + 5], 127 + 99);  // Round(sin(2 pi 1000 x 5 / 22050) x 100) + 127
  EXPECT_EQ(BuildToneWave(440, 20, 255), BuildToneWave(440, 20, 127));  // the volume is held to 127
  EXPECT_THROW(BuildToneWave(13231, 10, 50), EAbort);  // above 0.6 x the sample rate
  FakeSound sound;
  SetSoundOutput(&sound);
  BeepTone();
  SetSoundOutput(nullptr);
  BeepTone();  // no device: nothing happens
  EXPECT_EQ(sound.played, std::vector<std::vector<uint8_t>>{BuildToneWave(880, 50, 127)});
}

// Blocks keep their contents as they grow or shrink; global blocks know their size, and the
// variables are cleared when they are freed.
TEST(MySysUtils, MemoryBlocks) {
  void* p = reinterpret_cast<void*>(1);
  GetMemBlock(p, 0);
  EXPECT_EQ(p, nullptr);
  ReallocMemBlock(p, 5);
  std::memcpy(p, "abcd", 5);
  ReallocMemBlock(p, 100000);
  EXPECT_STREQ(static_cast<char*>(p), "abcd");
  ReallocMemBlock(p, 3);
  EXPECT_EQ(std::string(static_cast<char*>(p), 3), "abc");
  ReallocMemBlock(p, 0);
  EXPECT_EQ(p, nullptr);
  GetMemBlock(p, 8);
  FreeMemBlock(p);
  EXPECT_EQ(p, nullptr);

  void* g = nullptr;
  GlobalAllocBlock(g, 6);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(g) % alignof(std::max_align_t), 0u);
  std::memcpy(g, "hello", 6);
  void* const before = g;
  GlobalReallocBlock(g, 4);  // a new block, with what fits of the old one
  EXPECT_NE(g, before);
  EXPECT_EQ(GlobalBlockSize(g), 4u);
  EXPECT_EQ(std::string(static_cast<char*>(g), 4), "hell");
  GlobalReallocBlock(g, 70000);
  EXPECT_EQ(GlobalBlockSize(g), 70000u);
  EXPECT_EQ(std::string(static_cast<char*>(g), 4), "hell");
  GlobalFreeBlock(g);
  EXPECT_EQ(g, nullptr);
  GlobalReallocBlock(g, 2);  // from nothing
  EXPECT_EQ(GlobalBlockSize(g), 2u);
  GlobalFreeBlock(g);
  GlobalFreeBlock(g);  // nothing left to free
  EXPECT_EQ(GlobalBlockSize(nullptr), 0u);
}

TEST(MySysUtils, FreeAndNilObjClearsTheVariableBeforeTheObjectGoes) {
  struct Watched {
    Watched*& var;
    bool* sawNil;
    ~Watched() { *sawNil = var == nullptr; }
  };
  bool sawNil = false;
  Watched* w = nullptr;
  w = new Watched{w, &sawNil};
  FreeAndNilObj(w);
  EXPECT_EQ(w, nullptr);
  EXPECT_TRUE(sawNil);
  FreeAndNilObj(w);  // nothing to free
}

// The device reads a tone as it was built; an image it cannot read is refused before any
// device is asked.
TEST(MySysUtils, ToneWavesReadAsTheDevicePlaysThem) {
  const std::vector<uint8_t> tone = BuildToneWave(880, 50, 127);
  platform::TWaveFormat f;
  ASSERT_TRUE(platform::ParseWave(tone, f));
  EXPECT_EQ(f.Channels, 1u);
  EXPECT_EQ(f.SampleRate, 22050u);
  EXPECT_EQ(f.BitsPerSample, 8u);
  EXPECT_EQ(f.Data, tone.data() + 44);
  EXPECT_EQ(f.DataSize, 1102u);

  auto with = [&](size_t at, std::string bytes) {
    std::vector<uint8_t> w = tone;
    std::copy(bytes.begin(), bytes.end(), w.begin() + static_cast<std::ptrdiff_t>(at));
    return w;
  };
  const std::pair<const char*, std::vector<uint8_t>> bad[] = {
      {"not RIFF", with(0, "RIFX")},
      {"not PCM", with(20, std::string("\x03\0", 2))},
      {"no channels", with(22, std::string("\0\0", 2))},
      {"12-bit samples", with(34, std::string("\x0C\0", 2))},
      {"data past the end", with(40, "\xFF\xFF\0\0")},
      {"format past the end", with(16, "\xFF\xFF\xFF\x7F")},
      {"cut in the header", std::vector<uint8_t>(tone.begin(), tone.begin() + 30)},
      {"empty", {}},
  };
  for (const auto& [what, wave] : bad) {
    EXPECT_FALSE(platform::ParseWave(wave, f)) << what;
    EXPECT_EQ(platform::PlayWaveSync(wave), platform::TPlayResult::BadWave) << what;
  }
}

// A machine without a sound device (or a device that is not there) skips the tone, and says
// nothing about it.
TEST(MySysUtils, TonesWithoutASoundDeviceAreSkippedQuietly) {
  const std::vector<uint8_t> tone = BuildToneWave(880, 20, 60);
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::PlayWaveSync(tone, "mirelcon_no_such_device"), platform::TPlayResult::NoDevice);
  EXPECT_NE(platform::PlayWaveSync(tone), platform::TPlayResult::BadWave);  // played, or skipped here
  TDeviceSoundOutput device;
  SetSoundOutput(&device);
  EXPECT_NO_THROW(PlayTone(440, 20, 60));
  SetSoundOutput(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// A tone above what the sample rate carries is shown, then ends in the silent abort.
TEST(MySysUtils, ATooLowSampleRateIsShownThenAbortsSilently) {
  const std::u16string text = u"Un taux d'\u00E9chantillonage de 22050 est trop bas pour jouer une tonalit\u00E9 de 20000Hz";
  std::vector<std::u16string> shown;
  auto previous = platform::SetShowMessageProc([&](const std::u16string& t) { shown.push_back(t); });
  EXPECT_THROW(PlayTone(20000, 10, 50), EAbort);
  EXPECT_EQ(shown, std::vector<std::u16string>{text});
  platform::SetShowMessageProc(nullptr);
  testing::internal::CaptureStderr();  // the terminal's route
  EXPECT_THROW(PlayTone(20000, 10, 50), EAbort);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), platform::Utf16ToUtf8(text) + "\n");
  platform::SetShowMessageProc(previous);
}
