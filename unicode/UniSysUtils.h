#pragma once
// File-name routines, file creation and opening by UTF-16 name, system error texts,
// line-break adjustment, token splitting, and the exceptions that carry UTF-16 messages.
#include <cstdint>
#include <vector>

#include "platform/core/Exception.h"
#include "platform/core/Files.h"
#include "unicode/UniTypes.h"

// An exception whose message is UTF-16; what() holds its UTF-8 form.
class WideException : public Exception {
public:
  explicit WideException(const WideString& message);
  const WideString& WideMessage() const { return wideMessage_; }

private:
  WideString wideMessage_;
};

class EWideFileStreamError : public WideException {
public:
  using WideException::WideException;
};
class EWideFCreateError : public EWideFileStreamError {
public:
  using EWideFileStreamError::EWideFileStreamError;
};
class EWideFOpenError : public EWideFileStreamError {
public:
  using EWideFileStreamError::EWideFileStreamError;
};

// Replaces each "%s" of the format, in order, by the next argument.
WideString WideFormat(const WideString& format, std::initializer_list<WideString> args);

// File-mode bits of the class library: access in the low two bits, sharing in bits 4-6.
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFFFF;

// Platform access and sharing for a file mode.
unsigned FileModeAccess(uint16_t mode);
unsigned FileModeShare(uint16_t mode);

// Indexes are 1-based, as in the rest of the program's string routines; 0 means none.
int WideLastDelimiter(const WideString& delimiters, const WideString& s);
bool WideIsDelimiter(const WideString& delimiters, const WideString& s, int index);
bool WideIsPathDelimiter(const WideString& s, int index);
WideString WideChangeFileExt(const WideString& fileName, const WideString& ext);
WideString WideExtractFilePath(const WideString& fileName);
WideString WideExtractFileName(const WideString& fileName);
WideString WideExtractFileExt(const WideString& fileName);
WideString WideExpandFileName(const WideString& fileName);

platform::FileHandle WideFileCreate(const WideString& fileName);
platform::FileHandle WideFileOpen(const WideString& fileName, uint16_t mode);
bool WideFileExists(const WideString& fileName);

WideString WideSysErrorMessage(int code);

// Returns value; raises EOSError with the last error's code and text when it is zero (false).
template <class T>
T WideWin32Check(T value) {
  if (!value) platform::RaiseLastOSError();
  return value;
}

// Line-break styles.
inline constexpr int tlbsLF = 0;
inline constexpr int tlbsCRLF = 1;
inline constexpr int tlbsCR = 2;
int WideAdjustLineBreaksLength(const WideString& s, int style);
WideString WideAdjustLineBreaks(const WideString& s, int style);

// Token from p up to the next delimiter; p moves past it, or to the end of the text.
void WideExtractToken(PCWideChar& p, WideChar delimiter, WideString& token);
// Splitting stops at the first empty token.
std::vector<WideString> WideSplitString(const WideString& s, WideChar delimiter);
