#pragma once
// Small system services of the base library: integer routines, opening an existing file by
// access/share bits, the program's name and version, the process-wide TSysPerf object with its
// sequence counter, text routines (trailing white space, thousands grouping, the recogniser of
// the inline codes of segment text), debug-listing sections and a tone player.
// Message pumping is in MyPump.h.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/MyThreadMath.h"
#include "platform/core/Exception.h"
#include "platform/core/Files.h"
#include "unicode/UniTypes.h"

// The silent abort: stops an operation without the error being shown as a failure; it may
// carry a message for whoever wants to show it.
class EAbort : public Exception {
public:
  using Exception::Exception;
};

// ---- Integers and objects ----

// Frees the object when there is one and sets the variable to nullptr; the variable is cleared
// first, so that the object's destructor never sees itself through it.
template <class T>
void FreeAndNilObj(T*& Obj) {
  T* p = Obj;
  Obj = nullptr;
  delete p;
}

int CompareInteger(int A, int B);  // 0 equal, 1 when A > B, -1 when A < B
int SignInteger(int A);            // -1, 0 or 1
int MinInteger(int A, int B);
int MaxInteger(int A, int B);

// ---- Files and program identity ----

// Opens an existing file. Access from Mode and 3 (0 read, 1 write, 2 both); sharing from
// (Mode and $F0) shr 4 (0 and 1 none, 2 share reading, 3 share writing, 4 both). Other
// values, like a missing file, give platform::InvalidFileHandle (the reason in LastErrorCode).
platform::FileHandle OpenFileByMode(const WideString& FileName, uint16_t Mode);

WideString GetExeFileNameW();  // the program file's full path, from /proc/self/exe
WideString GetExeNameW();      // without directory
WideString GetExeBaseNameW();  // without directory and extension
// The text before the last '.' of the last name of the path (all of it when it has none).
WideString RemoveFileExtW(const WideString& FileName);
// The program's version, four numbers "a.b.c.d" set in the build.
WideString GetExeVersionW();
// The version of a file: the program's own version for the program file; Linux files carry no
// version resources, so any other file (or a missing one) gives "0.0.0.0".
WideString GetFileVersionW(const WideString& FileName);

// ---- TSysPerf: one per process, from SysPerf() ----
class TSysPerf {
public:
  TSysPerf();
  TSysPerf(const TSysPerf&) = delete;
  TSysPerf& operator=(const TSysPerf&) = delete;

  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  // Interlocked increment of Sequence; the new value. Makes keys unique within a run.
  int32_t IncSequence() { return sequence_.Inc(); }
  int32_t Sequence() const { return sequence_.Read(); }

  // Sampled at creation; nothing in the program depends on them.
  int ProcessorCount = 0;
  double LoadAverage = 0;       // one-minute load average, /proc/loadavg
  int64_t UserCpuMSecs = 0;     // CPU time of the process so far, getrusage
  int64_t SystemCpuMSecs = 0;
  int64_t PeakResidentKB = 0;

private:
  std::recursive_mutex lock_;
  TInterlockedInt32 sequence_;  // starts at the millisecond counter
};

TSysPerf& SysPerf();

// ---- Text ----

// Removes trailing TAB, CR, LF and blanks in place; nil is accepted.
void TrimRightBlanksW(PWideChar P);

// Groups of three characters from the right joined with "." (1234567 gives 1.234.567).
AnsiString GroupThousands(const AnsiString& S);

// P points at '&'; the result points at the ';' that ends the inline code, or is nullptr:
//   &#digits;  &#xHEX;  &'HEX;   (HEX: 0-9 and A-F, upper case; at least one digit)
//   &f? &j? &p? &s? with ? one of A..Z, then ';'
//   &t...;  to the first ';' from the fourth character on; in the open form &t=...; a ';'
//           preceded by a backslash belongs to the text and the backslash is removed in place.
// Nothing past the text's terminating #0 is read.
PWideChar FindAmpCodeEnd(PWideChar P);

// ---- Memory blocks ----
// Blocks of the ordinary heap. A size of 0 gives nullptr; ReallocMemBlock keeps the contents
// up to the smaller size, allocates for nullptr and frees for size 0. Failures raise
// std::bad_alloc and leave P as it was.
void GetMemBlock(void*& P, size_t Size);
void FreeMemBlock(void*& P);  // P := nullptr
void ReallocMemBlock(void*& P, size_t Size);
// Blocks of the global heap, which is the ordinary heap here; each knows its size, as a global
// block does, so that GlobalReallocBlock can allocate the new block, move the old contents
// (up to the smaller size) and free the old block. Only these three may free or grow them.
void GlobalAllocBlock(void*& P, size_t Size);
void GlobalFreeBlock(void*& P);  // P := nullptr
void GlobalReallocBlock(void*& P, size_t Size);
size_t GlobalBlockSize(const void* P);  // 0 for nullptr

// ---- Debug listings ----
struct TDebugLines {
  std::vector<WideString> Lines;
  std::vector<WideString> Sections;  // the open sections, innermost last
};
void BeginSection(TDebugLines& Lines, const WideString& Title);  // adds Title + " {"
void EndSection(TDebugLines& Lines);                             // adds "}"

// ---- Tone player ----

// Plays a RIFF/WAVE image synchronously. The platform installs one where a sound device is
// present; without one tones are not heard.
struct TSoundOutput {
  virtual ~TSoundOutput() = default;
  virtual void PlayWave(const std::vector<uint8_t>& Wave) = 0;
};
void SetSoundOutput(TSoundOutput* Output);  // not owned; nullptr removes it
// The machine's sound device, which a program installs at its start; a machine without one
// skips the tone without an error.
class TDeviceSoundOutput : public TSoundOutput {
public:
  void PlayWave(const std::vector<uint8_t>& Wave) override;
};

inline constexpr int ToneSampleRate = 22050;

// The RIFF/WAVE image of a tone: 8-bit mono PCM at 22,050 samples per second,
// 22050 x Duration div 1000 samples, sample i = Round(sin(2 pi Frequency i / 22050) x Volume) + 127,
// Volume held to 127 so that samples stay within 0..254. A frequency above 0.6 x the sample rate
// raises EAbort with the message that the sample rate is too low.
std::vector<uint8_t> BuildToneWave(int Frequency, int Duration, uint8_t Volume);
// Builds the tone under SysPerf's lock and plays it. A frequency the sample rate is too low
// for is shown (platform::ShowMessage: a message box in the window, standard error on the
// terminal), then ends in the silent abort (EAbort as BuildToneWave).
void PlayTone(int Frequency, int Duration, uint8_t Volume);
void BeepTone();  // 880 Hz for 50 ms
