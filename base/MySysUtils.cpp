#include "base/MySysUtils.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

#include "MirelconVersion.h"
#include "base/MyDateTimes.h"
#include "platform/core/Process.h"
#include "platform/core/ShowMessage.h"
#include "platform/core/Sound.h"
#include "platform/core/Utf8.h"
#include "unicode/UniSysUtils.h"

// ---- Integers ----

int CompareInteger(int A, int B) { return A == B ? 0 : A > B ? 1 : -1; }
int SignInteger(int A) { return A > 0 ? 1 : A < 0 ? -1 : 0; }
int MinInteger(int A, int B) { return A < B ? A : B; }
int MaxInteger(int A, int B) { return A > B ? A : B; }

// ---- Files and program identity ----

platform::FileHandle OpenFileByMode(const WideString& FileName, uint16_t Mode) {
  static const unsigned accessOf[3] = {platform::AccessRead, platform::AccessWrite,
                                       platform::AccessRead | platform::AccessWrite};
  static const unsigned shareOf[5] = {platform::ShareNone, platform::ShareNone, platform::ShareRead,
                                      platform::ShareWrite, platform::ShareRead | platform::ShareWrite};
  unsigned access = Mode & 3, share = (Mode & 0xF0) >> 4;
  if (access > 2 || share > 4) {
    platform::SetLastErrorCode(EINVAL);
    return platform::InvalidFileHandle;
  }
  return platform::OpenFile(FileName, accessOf[access], shareOf[share], platform::Disposition::OpenExisting);
}

WideString GetExeFileNameW() { return platform::ExecutablePath(); }

WideString GetExeNameW() { return WideExtractFileName(GetExeFileNameW()); }

WideString GetExeBaseNameW() { return RemoveFileExtW(GetExeNameW()); }

WideString RemoveFileExtW(const WideString& FileName) { return WideChangeFileExt(FileName, WideString()); }

WideString GetExeVersionW() { return u"" MIRELCON_VERSION_TEXT; }

WideString GetFileVersionW(const WideString& FileName) {
  return platform::IsExecutableFile(FileName) ? GetExeVersionW() : u"0.0.0.0";
}

// ---- TSysPerf ----

TSysPerf::TSysPerf() : sequence_(static_cast<int32_t>(static_cast<uint32_t>(MSecsCounter()))) {
  ProcessorCount = platform::ProcessorCount();
  LoadAverage = platform::LoadAverage();
  const platform::ProcessUsage usage = platform::CurrentProcessUsage();
  UserCpuMSecs = usage.UserCpuMSecs;
  SystemCpuMSecs = usage.SystemCpuMSecs;
  PeakResidentKB = usage.PeakResidentKB;
}

TSysPerf& SysPerf() {
  static TSysPerf instance;
  return instance;
}

// ---- Text ----

void TrimRightBlanksW(PWideChar P) {
  if (!P) return;
  PWideChar end = P + std::char_traits<char16_t>::length(P);
  while (end > P && (end[-1] == u'\t' || end[-1] == u'\r' || end[-1] == u'\n' || end[-1] == u' ')) --end;
  *end = 0;
}

AnsiString GroupThousands(const AnsiString& S) {
  AnsiString result;
  result.reserve(S.size() + S.size() / 3);
  size_t first = S.size() % 3;
  if (first == 0 && !S.empty()) first = 3;
  result.append(S, 0, first);
  for (size_t i = first; i < S.size(); i += 3) {
    result += '.';
    result.append(S, i, 3);
  }
  return result;
}

namespace {

bool IsDecimalDigit(WideChar c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(WideChar c) { return IsDecimalDigit(c) || (c >= u'A' && c <= u'F'); }

// A run of at least one digit that ends in ';': the ';', else nullptr.
PWideChar DigitRunEnd(PWideChar Q, bool Hex) {
  PWideChar start = Q;
  while (Hex ? IsHexDigit(*Q) : IsDecimalDigit(*Q)) ++Q;
  return Q != start && *Q == u';' ? Q : nullptr;
}

// "&t" codes: to the first ';' from P + 3. In the open form "&t=" a ';' preceded by a
// backslash does not end the code and the backslash is removed. The removals are made in one
// pass: characters are copied down from R to W as backslashes drop out, and the rest of the
// text is moved once at the end.
PWideChar TagCodeEnd(PWideChar P) {
  if (P[2] == 0) return nullptr;  // "&t" at the end of the text
  const bool open = P[2] == u'=';
  PWideChar w = P + 3;
  for (PWideChar r = P + 3; *r; ++r) {
    if (*r == u';') {
      if (open && w[-1] == u'\\') {  // w[-1] is at least P[2]
        w[-1] = u';';                // the backslash drops out
        continue;
      }
      if (w != r) std::memmove(w, r, (std::char_traits<char16_t>::length(r) + 1) * sizeof(WideChar));
      return w;
    }
    *w++ = *r;
  }
  *w = 0;  // no end found: the text keeps its removals
  return nullptr;
}

}  // namespace

PWideChar FindAmpCodeEnd(PWideChar P) {
  if (!P || P[0] != u'&') return nullptr;
  switch (P[1]) {  // each character is read only when the one before it was not #0
    case u'#':
      return P[2] == u'x' ? DigitRunEnd(P + 3, true) : DigitRunEnd(P + 2, false);
    case u'\'':
      return DigitRunEnd(P + 2, true);
    case u'f':
    case u'j':
    case u'p':
    case u's':
      return P[2] >= u'A' && P[2] <= u'Z' && P[3] == u';' ? P + 3 : nullptr;
    case u't':
      return TagCodeEnd(P);
    default:
      return nullptr;
  }
}

// ---- Memory blocks ----

void GetMemBlock(void*& P, size_t Size) {
  if (Size == 0) {
    P = nullptr;
    return;
  }
  void* q = std::malloc(Size);
  if (!q) throw std::bad_alloc();
  P = q;
}

void FreeMemBlock(void*& P) {
  std::free(P);
  P = nullptr;
}

void ReallocMemBlock(void*& P, size_t Size) {
  if (Size == 0) {
    FreeMemBlock(P);
    return;
  }
  void* q = std::realloc(P, Size);
  if (!q) throw std::bad_alloc();
  P = q;
}

namespace {

// The size of a global block sits before it, in a header that keeps the block's alignment.
struct alignas(std::max_align_t) TGlobalHeader {
  size_t Size;
};

TGlobalHeader* GlobalHeaderOf(const void* P) {
  return reinterpret_cast<TGlobalHeader*>(const_cast<char*>(static_cast<const char*>(P)) - sizeof(TGlobalHeader));
}

}  // namespace

void GlobalAllocBlock(void*& P, size_t Size) {
  if (Size > SIZE_MAX - sizeof(TGlobalHeader)) throw std::bad_alloc();
  auto* h = static_cast<TGlobalHeader*>(std::malloc(sizeof(TGlobalHeader) + Size));
  if (!h) throw std::bad_alloc();
  h->Size = Size;
  P = h + 1;
}

void GlobalFreeBlock(void*& P) {
  if (P) std::free(GlobalHeaderOf(P));
  P = nullptr;
}

size_t GlobalBlockSize(const void* P) { return P ? GlobalHeaderOf(P)->Size : 0; }

void GlobalReallocBlock(void*& P, size_t Size) {
  void* q = nullptr;
  GlobalAllocBlock(q, Size);
  if (P) {
    std::memcpy(q, P, std::min(Size, GlobalBlockSize(P)));
    GlobalFreeBlock(P);
  }
  P = q;
}

// ---- Debug listings ----

void BeginSection(TDebugLines& Lines, const WideString& Title) {
  Lines.Lines.push_back(Title + u" {");
  Lines.Sections.push_back(Title);
}

void EndSection(TDebugLines& Lines) {
  if (!Lines.Sections.empty()) Lines.Sections.pop_back();
  Lines.Lines.push_back(u"}");
}

// ---- Tone player ----

namespace {

std::atomic<TSoundOutput*> g_soundOutput{nullptr};

void PutLE(std::vector<uint8_t>& v, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& v, const char* tag) { v.insert(v.end(), tag, tag + 4); }

}  // namespace

void SetSoundOutput(TSoundOutput* Output) { g_soundOutput.store(Output); }

std::vector<uint8_t> BuildToneWave(int Frequency, int Duration, uint8_t Volume) {
  if (static_cast<int64_t>(Frequency) * 10 > static_cast<int64_t>(ToneSampleRate) * 6)  // above 0.6 x the rate
    throw EAbort("Un taux d'\u00e9chantillonage de " + std::to_string(ToneSampleRate) +
                 " est trop bas pour jouer une tonalit\u00e9 de " + std::to_string(Frequency) + "Hz");
  const int volume = Volume > 127 ? 127 : Volume;
  // The sizes of a RIFF file are 32-bit: a duration beyond what they can hold is cut there.
  constexpr int64_t maxSamples = INT32_MAX - 44;
  int64_t samples = Duration > 0 ? static_cast<int64_t>(ToneSampleRate) * Duration / 1000 : 0;
  if (samples > maxSamples) samples = maxSamples;
  const uint32_t dataSize = static_cast<uint32_t>(samples);

  std::vector<uint8_t> wave;
  wave.reserve(44 + dataSize);
  PutTag(wave, "RIFF");
  PutLE(wave, 36 + dataSize, 4);
  PutTag(wave, "WAVE");
  PutTag(wave, "fmt ");
  PutLE(wave, 16, 4);              // format chunk size
  PutLE(wave, 1, 2);               // PCM
  PutLE(wave, 1, 2);               // mono
  PutLE(wave, ToneSampleRate, 4);  // samples per second
  PutLE(wave, ToneSampleRate, 4);  // bytes per second
  PutLE(wave, 1, 2);               // block align
  PutLE(wave, 8, 2);               // bits per sample
  PutTag(wave, "data");
  PutLE(wave, dataSize, 4);
  for (uint32_t i = 0; i < dataSize; ++i) {  // nearbyint rounds half to even, as Round does
    double s = std::sin(2 * std::numbers::pi * Frequency * i / ToneSampleRate);
    wave.push_back(static_cast<uint8_t>(std::nearbyint(s * volume) + 127));
  }
  return wave;
}

void PlayTone(int Frequency, int Duration, uint8_t Volume) {
  struct Guard {
    TSysPerf& perf;
    explicit Guard(TSysPerf& p) : perf(p) { perf.Lock(); }
    ~Guard() { perf.Unlock(); }
  } guard(SysPerf());
  std::vector<uint8_t> wave;
  try {
    wave = BuildToneWave(Frequency, Duration, Volume);
  } catch (const EAbort& e) {
    platform::ShowMessage(platform::Utf8ToUtf16(e.what()));
    throw;
  }
  if (TSoundOutput* out = g_soundOutput.load()) out->PlayWave(wave);
}

void TDeviceSoundOutput::PlayWave(const std::vector<uint8_t>& Wave) { platform::PlayWaveSync(Wave); }

void BeepTone() { PlayTone(880, 50, 127); }
