#include "unicode/UniSysUtils.h"

#include "platform/core/Utf8.h"

WideException::WideException(const WideString& message)
    : Exception(platform::Utf16ToUtf8(message)), wideMessage_(message) {}

WideString WideFormat(const WideString& format, std::initializer_list<WideString> args) {
  WideString out;
  out.reserve(format.size() + 64);
  auto arg = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' && arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

unsigned FileModeAccess(uint16_t mode) {
  switch (mode & 3) {
    case 1: return platform::AccessWrite;
    case 2: return platform::AccessRead | platform::AccessWrite;
    default: return platform::AccessRead;
  }
}

unsigned FileModeShare(uint16_t mode) {
  switch ((mode & 0xF0) >> 4) {
    case 2: return platform::ShareRead;
    case 3: return platform::ShareWrite;
    case 4: return platform::ShareRead | platform::ShareWrite;
    default: return platform::ShareNone;
  }
}

int WideLastDelimiter(const WideString& delimiters, const WideString& s) {
  size_t i = s.find_last_of(delimiters);
  return i == WideString::npos ? 0 : static_cast<int>(i) + 1;
}

bool WideIsDelimiter(const WideString& delimiters, const WideString& s, int index) {
  if (index < 1 || index > static_cast<int>(s.size())) return false;
  return delimiters.find(s[index - 1]) != WideString::npos;
}

bool WideIsPathDelimiter(const WideString& s, int index) {
  return index >= 1 && index <= static_cast<int>(s.size()) && s[index - 1] == u'/';
}

WideString WideChangeFileExt(const WideString& fileName, const WideString& ext) {
  int i = WideLastDelimiter(u"./", fileName);
  if (i > 0 && fileName[i - 1] == u'.') return fileName.substr(0, i - 1) + ext;
  return fileName + ext;
}

WideString WideExtractFilePath(const WideString& fileName) {
  return fileName.substr(0, WideLastDelimiter(u"/", fileName));
}

WideString WideExtractFileName(const WideString& fileName) {
  return fileName.substr(WideLastDelimiter(u"/", fileName));
}

WideString WideExtractFileExt(const WideString& fileName) {
  int i = WideLastDelimiter(u"./", fileName);
  if (i > 0 && fileName[i - 1] == u'.') return fileName.substr(i - 1);
  return WideString();
}

WideString WideExpandFileName(const WideString& fileName) { return platform::FullPathName(fileName); }

platform::FileHandle WideFileCreate(const WideString& fileName) {
  return platform::OpenFile(fileName, platform::AccessRead | platform::AccessWrite, platform::ShareNone,
                            platform::Disposition::CreateAlways);
}

platform::FileHandle WideFileOpen(const WideString& fileName, uint16_t mode) {
  return platform::OpenFile(fileName, FileModeAccess(mode), FileModeShare(mode), platform::Disposition::OpenExisting);
}

bool WideFileExists(const WideString& fileName) { return platform::IsRegularFile(fileName); }

WideString WideSysErrorMessage(int code) { return platform::SystemErrorText(code); }

namespace {

// Calls emit(breakFound) for each character or line break of s, a break being CR LF, CR, LF or U+2028.
template <typename Emit>
void WalkLineBreaks(const WideString& s, Emit emit) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'\r') {
      if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
      emit(true, c);
    } else if (c == u'\n' || c == u'\u2028') {
      emit(true, c);
    } else {
      emit(false, c);
    }
  }
}

int BreakLength(int style) { return style == tlbsCRLF ? 2 : 1; }

}  // namespace

int WideAdjustLineBreaksLength(const WideString& s, int style) {
  int n = 0;
  WalkLineBreaks(s, [&](bool isBreak, char16_t) { n += isBreak ? BreakLength(style) : 1; });
  return n;
}

WideString WideAdjustLineBreaks(const WideString& s, int style) {
  WideString out;
  out.reserve(static_cast<size_t>(WideAdjustLineBreaksLength(s, style)));
  WalkLineBreaks(s, [&](bool isBreak, char16_t c) {
    if (!isBreak) {
      out += c;
    } else if (style == tlbsLF) {
      out += u'\n';
    } else if (style == tlbsCR) {
      out += u'\r';
    } else {
      out += u"\r\n";
    }
  });
  return out;
}

void WideExtractToken(PCWideChar& p, WideChar delimiter, WideString& token) {
  PCWideChar start = p;
  while (*p && *p != delimiter) ++p;
  token.assign(start, p);
  if (*p == delimiter && delimiter != 0) ++p;
}

std::vector<WideString> WideSplitString(const WideString& s, WideChar delimiter) {
  std::vector<WideString> parts;
  PCWideChar p = s.c_str();
  while (*p) {
    WideString token;
    WideExtractToken(p, delimiter, token);
    if (token.empty()) break;
    parts.push_back(std::move(token));
  }
  return parts;
}
