#include "base/MyFileStream.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/core/CodePages.h"
#include "platform/core/Utf8.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/TempDir.h"

namespace {

std::unique_ptr<TTextFileStream> OpenText(const TempDir& dir, const std::string& name, uint16_t mode = fmOpenRead | fmShareDenyWrite,
                                          TCodeChar code = ccAnsi, bool multi = false) {
  return TTextFileStream::Create(dir.WFile(name), code, multi, mode);
}

std::vector<std::u16string> ReadAllLines(TTextFileStream& s) {
  std::vector<std::u16string> lines;
  std::u16string line;
  while (!s.Eof()) {
    s.ReadLine(line);
    lines.push_back(line);
  }
  return lines;
}

// The text in UTF-16 with its mark.
std::string Utf16(const std::u16string& text, bool bigEndian = false) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

}  // namespace

TEST(TextFileStream, NewFilesGetTheirMarkAndWrittenTextRoundTrips) {
  TempDir dir;
  const std::string starts[] = {"", std::string("\xFF\xFE" "a\0b\0\r\0\n\0", 10),
                                std::string("\xFE\xFF\0a\0b\0\r\0\n", 10), "\xEF\xBB\xBF" "ab\r\n"};
  const std::u16string text = u"\u65E5\u672C \U0001F600 caf\u00E9 \u20AC";
  for (TCodeChar code : {ccUnicode, ccBigEndian, ccUtf8}) {
    const std::string name = "rt" + std::to_string(CodeNumber(code)) + ".txt";
    {
      auto s = OpenText(dir, name, fmCreate, code);
      EXPECT_EQ(s->CodeChar(), code);
      EXPECT_EQ(s->GetPosition(), 0);
      s->WriteLine(u"ab");
      s->WriteLine(text);
      EXPECT_TRUE(s->Modified());
    }
    const std::string& start = starts[CodeNumber(code) - 1];
    EXPECT_EQ(TempDir::Read(dir.File(name)).substr(0, start.size()), start);
    EXPECT_EQ(ReadAllLines(*OpenText(dir, name)), (std::vector<std::u16string>{u"ab", text})) << int(CodeNumber(code));
  }
  platform::SetAnsiCodePage(1251);
  OpenText(dir, "cyr.txt", fmCreate, ccAnsi)->WriteLine(u"\u0416\u0437 \u00E9");
  EXPECT_EQ(TempDir::Read(dir.File("cyr.txt")), "\xC6\xE7 ?\r\n");  // no mark; unmappable: "?"
  platform::SetAnsiCodePage(1252);
}

TEST(TextFileStream, AnExistingFilesMarkDecidesAndIsNeverWritten) {
  TempDir dir;
  TempDir::Write(dir.File("u8.txt"), "\xEF\xBB\xBF" "x\r\n");
  auto s = OpenText(dir, "u8.txt", fmOpenRead, ccUnicode);
  EXPECT_EQ(s->CodeChar(), ccUtf8);
  std::u16string line;
  EXPECT_EQ(s->ReadLine(line), 3);
  EXPECT_EQ(line, u"x");
  // Two bytes of the UTF-8 mark are not a mark.
  TempDir::Write(dir.File("half.txt"), "\xEF\xBB" "A\r\n");
  auto h = OpenText(dir, "half.txt", fmOpenRead, ccUtf8);
  EXPECT_EQ(h->CodeChar(), ccAnsi);
  h->ReadLine(line);
  EXPECT_EQ(line, u"\u00EF\u00BB" "A");

  TempDir::Write(dir.File("one.txt"), "Z");
  TempDir::Write(dir.File("empty.txt"), "");
  EXPECT_EQ(OpenText(dir, "one.txt", fmOpenReadWrite, ccUtf8)->CodeChar(), ccAnsi);
  EXPECT_TRUE(OpenText(dir, "empty.txt", fmOpenRead, ccUtf8)->Eof());
  auto r = OpenText(dir, "one.txt", fmOpenRead);
  r->WriteLine(u"more");  // a read-only stream transfers nothing
  EXPECT_FALSE(r->CanWrite || r->Modified());
  EXPECT_EQ(TempDir::Read(dir.File("one.txt")), "Z");
  EXPECT_EQ(TempDir::Read(dir.File("empty.txt")), "");
}

TEST(TextFileStream, EveryLineEndInEveryEncoding) {
  TempDir dir;
  platform::SetAnsiCodePage(1252);
  const std::u16string text = u"a\r\nb\rc\nd\n\ne\U0001F600\u00E9";
  const std::string files[] = {"a\r\nb\rc\nd\n\ne\xE9", Utf16(text), Utf16(text, true),
                               "\xEF\xBB\xBF" "a\r\nb\rc\nd\n\ne\xF0\x9F\x98\x80\xC3\xA9"};
  for (TCodeChar code : {ccAnsi, ccUnicode, ccBigEndian, ccUtf8}) {
    TempDir::Write(dir.File("le.txt"), files[CodeNumber(code) - 1]);
    auto s = OpenText(dir, "le.txt");
    ASSERT_EQ(s->CodeChar(), code);
    const std::u16string last = code == ccAnsi ? u"e\u00E9" : u"e\U0001F600\u00E9";
    EXPECT_EQ(ReadAllLines(*s), (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"", last})) << int(CodeNumber(code));
    std::u16string line;
    EXPECT_EQ(s->ReadLine(line), s->GetSize());  // at the end: the position stays, the line is empty
    EXPECT_EQ(line, u"");
  }
  std::u16string line;
  EXPECT_EQ(OpenText(dir, "le.txt")->ReadLineAt(line, 3), 5);
  EXPECT_EQ(line, u"b");
}

TEST(TextFileStream, LineEndsAtTheEndOfAReadStepAndLongLines) {
  TempDir dir;
  // Line ends that straddle the 4,096-character steps of the line reader, in one and two bytes.
  for (size_t len : {4094u, 4095u, 4096u, 8191u, 70000u}) {
    const std::string first(len, 'q');
    TempDir::Write(dir.File("cr.txt"), first + "\r\nsecond\r\n");
    auto s = OpenText(dir, "cr.txt");
    EXPECT_EQ(ReadAllLines(*s), (std::vector<std::u16string>{std::u16string(len, u'q'), u"second"})) << len;
    const std::u16string wide(len, u'q');
    TempDir::Write(dir.File("crw.txt"), Utf16(wide + u"\r\nsecond\r"));
    auto w = OpenText(dir, "crw.txt");
    EXPECT_EQ(ReadAllLines(*w), (std::vector<std::u16string>{wide, u"second"})) << len;
  }
}

TEST(TextFileStream, Utf8BlocksKeepSequencesWhole) {
  TempDir dir;
  TempDir::Write(dir.File("b.txt"), "\xEF\xBB\xBF" "abc\xC3\xA9z\xE2\x82\xAC");
  auto s = OpenText(dir, "b.txt");
  std::u16string text;
  EXPECT_EQ(s->ReadChars(text, 4), 3);  // the block ends on the lead byte of "é": held back
  EXPECT_EQ(s->GetPosition(), 3);
  EXPECT_EQ(s->ReadChars(text, 4), 2);  // "éz", the lead byte of the euro sign held back
  EXPECT_EQ(s->ReadChars(text, 4), 1);  // a complete sequence at the very end is delivered
  EXPECT_EQ(s->ReadChars(text, 4), 0);
  EXPECT_EQ(text, u"abc\u00E9z\u20AC");
  // A block that ends exactly after a complete sequence keeps it.
  TempDir::Write(dir.File("c.txt"), "ab\xC3\xA9" "cd");
  auto c = OpenText(dir, "c.txt");
  c->SetCodeChar(ccUnicode);  // only ANSI and UTF-8 are switched between
  EXPECT_EQ(c->CodeChar(), ccAnsi);
  c->SetCodeChar(ccUtf8);
  EXPECT_EQ(c->ReadChars(text, 4), 3);
  EXPECT_EQ(text, u"abc\u00E9z\u20ACab\u00E9");
}

// The cut sequence is damage that stays visible, and reading ends.
TEST(TextFileStream, Utf8FileEndingInsideASequenceEnds) {
  TempDir dir;
  TempDir::Write(dir.File("cut.txt"), "\xEF\xBB\xBF" "abc\xE2\x82");
  auto s = OpenText(dir, "cut.txt");
  std::u16string text;
  int rounds = 0;
  while (s->ReadChars(text, 4) > 0) ASSERT_LT(++rounds, 10) << "reading never ends";
  EXPECT_EQ(text, u"abc\uFFFD");
  OpenText(dir, "cut.txt")->ReadLine(text);
  EXPECT_EQ(text, u"abc\uFFFD");
}

TEST(TextFileStream, PositionsCountCharactersAfterTheMark) {
  TempDir dir;
  TempDir::Write(dir.File("p.txt"), Utf16(u"abcdef"));
  auto s = OpenText(dir, "p.txt");
  EXPECT_EQ(s->GetSize(), 6);
  EXPECT_EQ(s->Seek(-2, platform::SeekEnd), 4);
  char16_t buf[4] = {};
  EXPECT_EQ(s->ReadRaw(buf, 4), 2);
  EXPECT_EQ(std::u16string(buf, 2), u"ef");
  EXPECT_EQ(s->Seek(1, platform::SeekBegin), 1);
  EXPECT_EQ(s->Seek(-10, platform::SeekCurrent), 0);  // never before the first character
}

TEST(TextFileStream, ThreadsReadOneSharedStreamAtTheirOwnPositions) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 2000; ++i) content += "line " + std::to_string(i) + "\r\n";
  TempDir::Write(dir.File("mt.txt"), content);
  auto s = OpenText(dir, "mt.txt", fmOpenRead, ccAnsi, true);
  std::vector<std::u16string> got[2];
  std::thread threads[2];
  for (int t = 0; t < 2; ++t)
    threads[t] = std::thread([&, t] { got[t] = ReadAllLines(*s); });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 2; ++t) {
    ASSERT_EQ(got[t].size(), 2000u);
    EXPECT_EQ(got[t][1999], u"line 1999");
  }
  std::vector<std::u16string> lines;
  s->DebugInfo(lines);
  EXPECT_EQ(lines.front(), u"FileName: " + dir.WFile("mt.txt"));
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"CodeChar: ANSI"), lines.end());
}

// Buffered writes and reads agree after seeks; the modified event fires once and its failure
// is swallowed.
TEST(FileStream, BufferedWritesReadsAndTheModifiedEvent) {
  TempDir dir;
  EXPECT_FALSE(OpenText(dir, "missing.txt"));
  EXPECT_FALSE(TMyFileStream::Create(dir.WFile("no/dir/x"), fmCreate, false));
  auto s = TMyFileStream::Create(dir.WFile("rw.bin"), fmCreate, false);
  int calls = 0;
  s->OnModified = [&](bool) { throw std::runtime_error(std::to_string(++calls)); };
  std::string big(200000, 'a');
  EXPECT_EQ(s->Write(big.data(), 100), 100);
  EXPECT_EQ(s->WriteAt("XY", 2, 10), 2);
  EXPECT_EQ(s->Write(big.data(), static_cast<int64_t>(big.size())), static_cast<int64_t>(big.size()));
  char buf[4] = {};
  EXPECT_EQ(s->ReadAt(buf, 3, 9), 3);
  EXPECT_EQ(std::string(buf, 3), "aXY");
  EXPECT_EQ(s->GetSize(), 200012);
  s->SetSize(50);
  EXPECT_EQ(s->GetSize(), 50);
  EXPECT_TRUE(s->CloseFile());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(TempDir::Read(dir.File("rw.bin")), std::string(10, 'a') + "XY" + std::string(38, 'a'));
}

TEST(FileInUse, WritersHoldFilesReadersDoNot) {
  TempDir dir;
  TempDir::Write(dir.File("in.txt"), "x");
  EXPECT_FALSE(FileInUse(dir.WFile("in.txt")));
  EXPECT_TRUE(FileInUse(dir.WFile("missing.txt")));
  {
    TUniFileStream writer(dir.WFile("in.txt"), fmOpenReadWrite | fmShareExclusive);
    EXPECT_TRUE(FileInUse(dir.WFile("in.txt")));
  }
  EXPECT_FALSE(FileInUse(dir.WFile("in.txt")));
}

// In the double-byte code pages a block may end between a lead byte and its trail byte, and a
// trail byte may itself look like a lead byte: at no block size may a character be split.
TEST(TextFileStream, DoubleByteCharactersStayWholeAtEveryBlockSize) {
  struct RestoreCodePage {
    unsigned saved = platform::AnsiCodePage();
    ~RestoreCodePage() { platform::SetAnsiCodePage(saved); }
  } restore;
  const std::u16string candidates =
      u"aZ9 \\~|\u65E5\u672C\u8A9E\u30BD\u8868\u80FD\u4E88\u5341\u7533\u4E2D\u6587\u7E41\u9AD4"
      u"\uD55C\uAD6D\uC5B4\u30C6\u30B9\u30C8\u00B7\u5F0F";
  for (unsigned cp : {932u, 936u, 949u, 950u}) {
    SCOPED_TRACE(cp);
    ASSERT_NE(platform::CodePageLeadBytes(cp), nullptr);
    // The characters that the code page holds, mixed so that double-byte ones fall at odd and
    // even offsets alike.
    std::u16string usable;
    for (char16_t c : candidates) {
      bool lossy = false;
      const std::string bytes = platform::Utf16ToCodePage(cp, std::u16string(1, c), &lossy);
      if (!lossy && platform::CodePageToUtf16(cp, bytes) == std::u16string(1, c)) usable += c;
    }
    ASSERT_GE(usable.size(), 12u);
    std::u16string expected;
    for (size_t i = 0; i < 700; ++i) expected += usable[(i * 7 + i / 5) % usable.size()];
    TempDir dir;
    TempDir::Write(dir.File("dbcs.txt"), platform::Utf16ToCodePage(cp, expected));
    platform::SetAnsiCodePage(cp);
    for (int block = 1; block <= 300; ++block) {
      auto s = OpenText(dir, "dbcs.txt");
      std::u16string text;
      int rounds = 0;
      while (s->ReadChars(text, block) > 0) ASSERT_LT(++rounds, 2000) << "reading never ends";
      ASSERT_EQ(text, expected) << "block of " << block << " bytes";
    }
  }
}

// Lines that the read buffer holds whole are taken from it; the line reader of a stream shared by
// threads never does. Both give the same bytes, positions and line ends for every kind of line
// end, wherever a 64 KiB block cuts the file (a CR as the last byte of a block, its LF next).
TEST(TextFileStream, LinesFromTheReadBufferAsFromTheLineReader) {
  TempDir dir;
  const char* const ends[] = {"\r\n", "\n", "\r", "\r\r\n", "\n\r"};
  std::vector<std::string> texts;
  for (size_t shift : {0u, 1u, 2u, 3u}) {
    std::string text = "\xEF\xBB\xBF";
    for (size_t i = 0; text.size() < 3 * 65536; ++i) {
      text.append((i * 7 + shift) % 97, static_cast<char>('a' + i % 26));
      text.append(ends[(i + shift) % std::size(ends)]);
    }
    texts.push_back(text + "no end");
  }
  // Lines of three bytes after a first line of 0 to 2: some CR is the last byte of a block.
  for (const char* line : {"a\r\n", "ab\r"})
    for (size_t first : {0u, 1u, 2u}) {
      std::string text = std::string(first, 'f') + "\n";
      while (text.size() < 2 * 65536 + 10) text.append(line);
      texts.push_back(text);
    }
  for (size_t shift = 0; shift < texts.size(); ++shift) {
    const std::string& text = texts[shift];
    TempDir::Write(dir.File("lines.txt"), text);
    auto one = OpenText(dir, "lines.txt");
    auto shared = OpenText(dir, "lines.txt", fmOpenRead | fmShareDenyWrite, ccAnsi, true);
    ASSERT_TRUE(one && shared);
    int lines = 0;
    while (!one->Eof() || !shared->Eof()) {
      std::string_view a, b;
      const int64_t pa = one->ReadLineBytes(a);
      const std::string copy(a);
      const int64_t pb = shared->ReadLineBytes(b);
      ASSERT_EQ(copy, std::string(b)) << shift << " line " << lines;
      ASSERT_EQ(pa, pb) << shift << " line " << lines;
      ASSERT_EQ(one->LastLineEnd(), shared->LastLineEnd()) << shift << " line " << lines;
      ++lines;
    }
    EXPECT_GT(lines, 3000) << shift;
  }
}

// An empty line has no bytes to decode in any encoding: its text is empty, the text before it
// stays as it was, and (under the sanitizer) no copy is made from the null data of an empty view.
TEST(TextFileStream, EmptyLinesDecodeToNothingInEveryEncoding) {
  TempDir dir;
  const std::pair<TCodeChar, std::string> files[] = {
      {ccUnicode, Utf16(u"a\r\n\r\nb")},
      {ccBigEndian, Utf16(u"a\r\n\r\nb", true)},
      {ccUtf8, "\xEF\xBB\xBF" "a\r\n\r\nb"},
      {ccAnsi, "a\r\n\r\nb"},
  };
  for (const auto& [code, bytes] : files) {
    SCOPED_TRACE(CodeNumber(code));
    TempDir::Write(dir.File("empty.txt"), bytes);
    auto s = OpenText(dir, "empty.txt");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->CodeChar(), code);
    std::vector<std::u16string> decoded;
    while (!s->Eof()) {
      std::string_view raw;
      s->ReadLineBytes(raw);
      std::u16string text = u"kept";
      s->DecodeBytes(raw, text);
      decoded.push_back(text);
    }
    EXPECT_EQ(decoded, (std::vector<std::u16string>{u"kepta", u"kept", u"keptb"}));
  }
}

// A written line is well-formed in every encoding: a surrogate without its partner becomes
// U+FFFD ("?" in ANSI) and is counted, a pair stays one character. Measuring a line counts
// nothing and gives the length that writing it takes.
TEST(TextFileStream, LoneSurrogatesAreWrittenAsReplacementCharacters) {
  TempDir dir;
  const std::u16string text = u"a\xD800" u"b\U0001F600\xDC00\xDBFF";
  const std::u16string written = u"a\uFFFDb\U0001F600\uFFFD\uFFFD\r\n";
  const std::pair<TCodeChar, std::string> cases[] = {
      {ccUtf8, "\xEF\xBB\xBF" + platform::Utf16ToUtf8(written)},
      {ccUnicode, Utf16(written)},
      {ccBigEndian, Utf16(written, true)},
      {ccAnsi, "a?b???\r\n"},
  };
  for (const auto& [code, bytes] : cases) {
    SCOPED_TRACE(CodeNumber(code));
    {
      auto s = OpenText(dir, "lone.txt", fmCreate, code);
      ASSERT_TRUE(s);
      const int64_t length = s->EncodedLength(text.c_str());
      EXPECT_EQ(s->LoneSurrogates(), 0);
      s->WriteLine(text.c_str());
      EXPECT_EQ(s->LoneSurrogates(), 3);
      EXPECT_EQ(s->GetPosition(), length + 2);
      s->WriteLine(u"\U0001F600 fine");
      EXPECT_EQ(s->LoneSurrogates(), 3);
    }
    std::string expected = bytes;
    const std::u16string fine = u"\U0001F600 fine\r\n";
    expected += code == ccUtf8      ? platform::Utf16ToUtf8(fine)
                : code == ccAnsi    ? std::string("? fine\r\n")
                                    : Utf16(fine, code == ccBigEndian).substr(2);
    EXPECT_EQ(TempDir::Read(dir.File("lone.txt")), expected);
  }
}

// A long text is encoded piece by piece as it is written and measured, and comes out as it does
// in one piece: a pair of surrogates or a letter and its accent (composed in ANSI) that a piece's
// end would cut stay together, wherever they fall around it.
class LongTextPieces : public WithAnsiCodePage<1252> {};

TEST_F(LongTextPieces, WrittenAsInOnePiece) {
  TempDir dir;
  for (const size_t at : {65532u, 65533u, 65534u, 65535u, 65536u, 131071u}) {
    SCOPED_TRACE(at);
    std::u16string text(at, u'a');
    text += u"e\u0301\U0001F600\xD800\u00E9";
    text += std::u16string(70000, u'b') + u"\u0416\xDC00\U0001F600";
    std::u16string wellFormed = text;
    const size_t lone = platform::ReplaceLoneSurrogates(wellFormed.data(), wellFormed.size());
    ASSERT_EQ(lone, 2u);
    // ANSI composes e and its accent into one letter; what 1252 lacks is its "?".
    const std::string ansi = platform::Utf16ToCodePageComposed(1252, wellFormed);
    ASSERT_NE(ansi.find("a\xE9??\xE9" "b"), std::string::npos);
    const std::pair<TCodeChar, std::string> cases[] = {
        {ccUtf8, "\xEF\xBB\xBF" + platform::Utf16ToUtf8(wellFormed)},
        {ccUnicode, Utf16(wellFormed)},
        {ccBigEndian, Utf16(wellFormed, true)},
        {ccAnsi, ansi},
    };
    for (const auto& [code, expected] : cases) {
      SCOPED_TRACE(CodeNumber(code));
      int64_t length = 0, position = 0, replaced = 0;
      {
        auto s = OpenText(dir, "long.txt", fmCreate, code);
        ASSERT_TRUE(s);
        length = s->EncodedLength(text);
        position = s->WriteText(text);
        replaced = s->LoneSurrogates();
      }
      const std::string bytes = TempDir::Read(dir.File("long.txt"));
      EXPECT_TRUE(bytes == expected) << "the written text differs";
      const size_t mark = code == ccUtf8 ? 3 : code == ccAnsi ? 0 : 2;
      EXPECT_EQ(length, static_cast<int64_t>((bytes.size() - mark) / (code == ccUnicode || code == ccBigEndian ? 2 : 1)));
      EXPECT_EQ(position, length);
      EXPECT_EQ(replaced, 2);
    }
  }
}
