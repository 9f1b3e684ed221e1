#include "app/core/TessalyUnit2.h"

#include <cstring>

#include "base/MySysUtils.h"
#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"

namespace {

// Where the first #0 of text stands (its size when none), four characters at a time.
size_t NulAt(std::u16string_view text) {
  constexpr uint64_t kOnes = 0x0001000100010001ull;
  constexpr uint64_t kHigh = 0x8000800080008000ull;
  size_t i = 0;
  for (uint64_t word; i + 4 <= text.size(); i += 4) {
    std::memcpy(&word, text.data() + i, 8);
    if ((word - kOnes) & ~word & kHigh) break;
  }
  while (i < text.size() && text[i] != 0) ++i;
  return i;
}

size_t NulAt(std::string_view text) {
  const void* nul = std::memchr(text.data(), 0, text.size());
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text.data()) : text.size();
}

// The line as it goes out: without the blanks and line ends it ends with.
template <typename View>
View Trimmed(View line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  return line;
}

template <typename String>
bool EscapeNulsIn(String& text, size_t from) {
  using Char = typename String::value_type;
  static constexpr Char kEscape[] = {Char('&'), Char('\''), Char('0'), Char(';')};
  size_t at = text.find(Char(0), from);
  if (at == String::npos) return false;
  String escaped(text, 0, at);
  for (; at < text.size(); ++at) {
    if (text[at] == 0)
      escaped.append(kEscape, 4);
    else
      escaped.push_back(text[at]);
  }
  text.swap(escaped);
  return true;
}

}  // namespace

TQMStream::TQMStream(const WideString& fileName, TCodeChar codeChar, uint16_t mode)
    : TextStream(TTextFileStream::Create(fileName, codeChar == ccNone ? ccUnicode : codeChar, false, mode)) {
  // A translation memory saved as UTF-8 without its mark would turn into other characters if it
  // were read in the ANSI code page; units appended to it stay UTF-8 as well.
  if (TextStream && TextStream->CodeChar() == ccAnsi && TextStream->GetSize() > 0 && TextStream->LooksLikeUtf8())
    TextStream->SetCodeChar(ccUtf8);
}

bool EscapeNuls(std::string& text, size_t from) { return EscapeNulsIn(text, from); }
bool EscapeNuls(WideString& text, size_t from) { return EscapeNulsIn(text, from); }

bool RaiseHeaderCount(const WideString& fileName, int64_t units) {
  TQMStream stream(fileName, ccNone, fmOpenReadWrite | fmShareDenyWrite);
  if (!stream.Opened()) return false;
  TTU header;
  header.IsHeader = true;
  if (stream.Read(header) <= 0 || !header.IsHeader) return false;
  header.SetCount(header.GetCount() + units);
  return stream.Write(header) && stream.Text()->CloseFile();
}

bool TQMStream::DeliverUtf8Segments(bool on) {
  Utf8Segments = on && TextStream && TextStream->CodeChar() == ccUtf8;
  return Utf8Segments;
}

int64_t TQMStream::GetSize() { return TextStream ? TextStream->GetSize() : 0; }

int64_t TQMStream::GetPosition() { return TextStream ? TextStream->GetPosition() : 0; }

int64_t TQMStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (!TextStream) return 0;
  int64_t pos = offset;
  if (origin == TSeekOrigin::FromCurrent) pos = TextStream->GetPosition() + offset;
  if (origin == TSeekOrigin::FromEnd) pos = TextStream->GetSize() - offset;
  TextStream->SetPosition(pos < 0 ? 0 : pos);
  return TextStream->GetPosition();
}

int64_t TQMStream::Read(TTU& tu) {
  if (!TextStream) return 0;
  if (tu.IsHeader) TextStream->SetPosition(0);
  while (!TextStream->Eof()) {
    const int64_t next = tu.ReadFrom(*TextStream, -1, Utf8Segments);
    const int kind = tu.GetKind();
    // Only the first line can be the header: a header line further down is skipped, so that a
    // reader asking for units never starts over at the top.
    if (kind == tkUnit || (kind == tkHeader && tu.Position == 0)) {
      // A date that is no date would be passed on as one: it is left out, a warning of the unit.
      if (kind == tkUnit && tu.LeaveImpossibleDateOut()) tu.Warned = true;
      if (tu.Warned) ++Warned;
      return next;
    }
  }
  return 0;
}

bool TQMStream::Write(TTU& tu) {
  if (!TextStream || !TextStream->CanWrite) return false;
  if (tu.IsHeader && TextStream->GetSize() > 0) return RewriteHeader(tu);
  if (tu.IsHeader) TextStream->SetPosition(0);
  if (TextStream->CodeChar() == ccUtf8) {
    // Built in UTF-8 straight away: the fields are encoded once, segments already in UTF-8 not
    // at all.
    tu.BuildLineUtf8(Bytes);
    const size_t length = Trimmed(std::string_view(Bytes)).size();
    Bytes.resize(length);
    bool warned = tu.Warned;
    if (NulAt(std::string_view(Bytes)) < Bytes.size()) warned = EscapeNuls(Bytes);
    // Fields and segments keep lone surrogates in their three-byte forms: the file gets U+FFFD.
    if (platform::ReplaceLoneSurrogatesUtf8(Bytes) > 0) warned = true;
    if (warned) ++Repaired;
    Bytes.append("\r\n");
    TextStream->Write(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    return !TextStream->WriteFailed();
  }
  tu.SegmentsToFields();
  std::u16string_view line = Trimmed(std::u16string_view(tu.GetLine()));
  bool warned = tu.Warned;
  WideString escaped;
  if (NulAt(line) < line.size()) {
    escaped.assign(line);
    warned = EscapeNuls(escaped);
    line = escaped;
  }
  // The text stream replaces lone surrogates as it writes the line.
  const int64_t lone = TextStream->LoneSurrogates();
  TextStream->WriteLine(line);
  if (warned || TextStream->LoneSurrogates() > lone) ++Repaired;
  return !TextStream->WriteFailed();
}

// The header of an existing file is replaced in place: the new line must take exactly the room
// of the old one in the file's encoding, so that the first unit after it stays intact. The old
// line end is kept as it is. Neither line is copied: a header may be as long as the file.
bool TQMStream::RewriteHeader(TTU& tu) {
  const int64_t saved = TextStream->GetPosition();
  TextStream->SetPosition(0);
  std::string_view old;
  const int64_t next = TextStream->ReadLineBytes(old);
  const int64_t room = TextStream->LastLineEnd();
  // A header line is a C string to the tools that read it: it ends at a #0.
  auto line = [&] {
    const std::u16string_view whole(tu.GetLine());
    return Trimmed(whole.substr(0, NulAt(whole)));
  };
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int64_t length = TextStream->EncodedLength(line());
    if (length == room) break;
    // Blanks take one character in every encoding, so padding by the difference settles it.
    tu.PadHeader(tu.GetLineLength() + static_cast<int>(room - length));
  }
  if (TextStream->EncodedLength(line()) != room) {
    TextStream->SetPosition(saved);
    return false;
  }
  TextStream->SetPosition(0);
  const int64_t lone = TextStream->LoneSurrogates();
  TextStream->WriteText(line());
  if (TextStream->LoneSurrogates() > lone) ++Repaired;
  TextStream->SetPosition(next);
  return !TextStream->WriteFailed();
}
