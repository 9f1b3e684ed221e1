// The encoded text-file reader: bytes in any of the four encodings (the byte-order mark, or its
// absence, decides), read line by line, in character blocks of every size, and through the
// converters' character reader with its look at the XML declaration.
//
// Properties: every read makes progress and ends at the end of the file; for text that decodes
// the same way in any cut (UTF-16, single-byte ANSI, valid UTF-8, #0 bytes and all) blocks of
// any size give the same text, and the lines are that text without its CR and LF; the text
// written back in its Unicode encoding reads back as it was, lone surrogates replaced; the file
// is never changed.
#include <cstdint>
#include <string>

#include "base/MyFileStream.h"
#include "platform/core/Utf8.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tm/MyConvert.h"
#include "unicode/UniClasses.h"

namespace {

class TCharReader : public TReader {
public:
  using TReader::TReader;
  void Start() override {}
  void Finish() override {}
  void Parse() override {}
};

WideString ReadAllChars(TTextFileStream& s, int64_t chunk, int64_t bytes) {
  WideString text;
  s.Rewind();
  // Each call returns at least one character until the end: the file bounds the calls.
  for (int64_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= bytes + 1);
    const int64_t n = s.ReadChars(text, chunk);
    FUZZ_CHECK(n >= 0);
    if (n == 0) break;
  }
  return text;
}

WideString ReadAllLines(TTextFileStream& s, int64_t bytes) {
  WideString joined, line;
  s.Rewind();
  int64_t pos = 0;
  for (int64_t calls = 0; !s.Eof(); ++calls) {
    FUZZ_CHECK(calls <= bytes + 1);
    const int64_t next = s.ReadLine(line);
    // Every line moves on; only an odd last byte of UTF-16 ends the file without a character.
    FUZZ_CHECK(next > pos || s.Eof());
    FUZZ_CHECK(line.find_first_of(u"\r\n") == WideString::npos);
    pos = next;
    joined += line;
  }
  // At the end: an empty line and the same position.
  FUZZ_CHECK(s.ReadLine(line) == pos && line.empty());
  return joined;
}

WideString WithoutLineEnds(const WideString& text) {
  WideString out;
  for (char16_t c : text)
    if (c != u'\r' && c != u'\n') out += c;
  return out;
}

// mark: the bytes of the byte-order mark that the stream skips.
void CheckStream(TTextFileStream& s, const uint8_t* body, size_t size, size_t mark, int64_t chunk) {
  const int64_t bytes = static_cast<int64_t>(size);
  const WideString whole = ReadAllChars(s, 1 << 20, bytes);
  const WideString pieces = ReadAllChars(s, chunk, bytes);
  const WideString lines = ReadAllLines(s, bytes);
  const TCodeChar code = s.CodeChar();
  const uint8_t* text = body + mark;
  const size_t textSize = size - mark;
  bool cutProof = code == ccUnicode || code == ccBigEndian;
  if (code == ccAnsi || code == ccUtf8) cutProof = code == ccAnsi || fuzz::IsValidUtf8(text, textSize);
  if (cutProof) {
    FUZZ_CHECK(whole == pieces);
    FUZZ_CHECK(lines == WithoutLineEnds(whole));
  }
  if (code == ccUnicode || code == ccBigEndian) FUZZ_CHECK(static_cast<int64_t>(whole.size()) == s.GetSize());

  // Written back in the same Unicode encoding, the text is well-formed: each lone surrogate is
  // U+FFFD and counted, and the length measured is the length written.
  if (code == ccAnsi) return;
  WideString expected = whole;
  const size_t lone = platform::ReplaceLoneSurrogates(expected.data(), expected.size());
  const WideString copyName = fuzz::WPath("copy.txt");
  {
    auto out = TTextFileStream::Create(copyName, code, false, fmCreate);
    FUZZ_CHECK(out != nullptr);
    const int64_t length = out->EncodedLength(std::u16string_view(whole));
    FUZZ_CHECK(out->WriteText(std::u16string_view(whole)) == length);
    FUZZ_CHECK(out->LoneSurrogates() == static_cast<int64_t>(lone));
  }
  auto back = TTextFileStream::Create(copyName, ccUnicode, false, fmOpenRead | fmShareDenyWrite);
  FUZZ_CHECK(back != nullptr);
  FUZZ_CHECK(ReadAllChars(*back, 1 << 20, static_cast<int64_t>(whole.size()) * 4) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int64_t chunk = 1 + data[0] % 40;
  ++data, --size;
  const std::string path = fuzz::Path("input.txt");
  fuzz::WriteFile(path, data, size);
  const WideString name = fuzz::WPath("input.txt");
  {
    auto s = TTextFileStream::Create(name, ccUnicode, false, fmOpenRead | fmShareDenyWrite);
    FUZZ_CHECK(s != nullptr);
    const TCodeChar code = s->CodeChar();
    CheckStream(*s, data, size, code == ccUtf8 ? 3 : code == ccAnsi ? 0 : 2, chunk);
    // Without a mark the converters may switch the input to UTF-8.
    if (s->CodeChar() == ccAnsi) {
      s->SetCodeChar(ccUtf8);
      CheckStream(*s, data, size, 0, chunk);
    }
  }
  {
    TCharReader reader(name);
    // An XML declaration may name an encoding that is not known: the reader refuses the file.
    FUZZ_CHECK(!reader.Failed() || reader.Refused());
    for (int64_t n = 0; !reader.Failed(); ++n) {
      FUZZ_CHECK(n <= static_cast<int64_t>(size) + 1);
      reader.ReadChar();
      if (reader.EndOfInput) break;
    }
  }
  const std::string after = fuzz::ReadFile(path);
  FUZZ_CHECK(after.size() == size && std::char_traits<char>::compare(after.data(), reinterpret_cast<const char*>(data), size) == 0);
  return 0;
}
