#pragma once
// Taking URLs apart, joining a relative URL to its document's, and "file:" URLs as local paths.
// Pure string work: nothing here touches the network or the file system.
#include <string>

#include "platform/core/Exception.h"

namespace htmlview {

class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Leading and trailing characters up to the blank removed.
std::u16string TrimW(const std::u16string& s);

std::u16string GetURLBase(const std::u16string& url);
std::u16string CombineDos(const std::u16string& path, const std::u16string& name);
std::u16string CombineURL(const std::u16string& base, const std::u16string& rel);
bool IsFullURL(const std::u16string& s);
std::u16string GetProtocol(const std::u16string& url);
void ParseURL(const std::u16string& url, std::u16string& protocol, std::u16string& user, std::u16string& password,
              std::u16string& host, std::u16string& port, std::u16string& path);
// 1-based position of the n-th ch from the start (n > 0) or the end (n < 0); 0 when fewer.
int PosNth(char16_t delimiter, const std::u16string& s, int n);
void SplitAtChar(std::u16string& s, char16_t ch, std::u16string& rest);
void SplitFragment(const std::u16string& url, std::u16string& dest, std::u16string& fragment);
// "%" escapes, UTF-8 sequences of escapes included; raises EConvertError for a bad one.
std::u16string DecodeURLEscapes(const std::u16string& s);
void ReplaceChar(std::u16string& s, char16_t from, char16_t to);
std::u16string URLToDosPath(const std::u16string& url);
// A URL or local reference as a path; one rooted at a single "/" (not a file: URL) is put under
// base when there is one.
std::u16string DosPathWithBase(const std::u16string& s, const std::u16string& base);

}  // namespace htmlview
