#include "base/MyFileStream.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/core/CodePages.h"
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

// The text in the given encoding, with its mark.
std::string Encoded(const std::u16string& text, TCodeChar code) {
  std::string out;
  if (code == ccUtf8) {
    out = "\xEF\xBB\xBF" + platform::Utf16ToCodePage(65001, text);
    // ICU has no code page 65001 by number on every system: build UTF-8 by hand below if empty.
  }
  if (code == ccUnicode || code == ccBigEndian) {
    out = code == ccUnicode ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
      char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
      out += code == ccUnicode ? lo : hi;
      out += code == ccUnicode ? hi : lo;
    }
  }
  if (code == ccAnsi) out = platform::Utf16ToCodePage(1252, text);
  return out;
}

}  // namespace

TEST(TextFileStream, NewFileGetsTheMarkOfItsEncoding) {
  TempDir dir;
  for (TCodeChar code : {ccAnsi, ccUnicode, ccBigEndian, ccUtf8}) {
    std::string name = "new" + std::to_string(CodeNumber(code)) + ".txt";
    {
      auto s = OpenText(dir, name, fmCreate, code);
      ASSERT_TRUE(s);
      EXPECT_EQ(s->CodeChar(), code);
      EXPECT_EQ(s->GetPosition(), 0);
      s->WriteLine(u"ab");
    }
    const std::string bytes = TempDir::Read(dir.File(name));
    switch (code) {
      case ccAnsi: EXPECT_EQ(bytes, "ab\r\n"); break;
      case ccUnicode: EXPECT_EQ(bytes, std::string("\xFF\xFE" "a\0b\0\r\0\n\0", 10)); break;
      case ccBigEndian: EXPECT_EQ(bytes, std::string("\xFE\xFF\0a\0b\0\r\0\n", 10)); break;
      case ccUtf8: EXPECT_EQ(bytes, "\xEF\xBB\xBF" "ab\r\n"); break;
      case ccNone: break;
    }
  }
}

TEST(TextFileStream, AnExistingFilesMarkDecides) {
  TempDir dir;
  TempDir::Write(dir.File("u8.txt"), "\xEF\xBB\xBF" "x\r\n");
  auto s = OpenText(dir, "u8.txt", fmOpenRead, ccUnicode);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->CodeChar(), ccUtf8);
  EXPECT_EQ(s->GetPosition(), 0);
  std::u16string line;
  EXPECT_EQ(s->ReadLine(line), 3);
  EXPECT_EQ(line, u"x");
  // Two bytes of the UTF-8 mark are not a mark.
  TempDir::Write(dir.File("half.txt"), "\xEF\xBB" "A\r\n");
  auto h = OpenText(dir, "half.txt", fmOpenRead, ccUtf8);
  EXPECT_EQ(h->CodeChar(), ccAnsi);
  h->ReadLine(line);
  EXPECT_EQ(line, u"\u00EF\u00BB" "A");
}

TEST(TextFileStream, MarkIsNeverWrittenIntoAnExistingOrReadOnlyFile) {
  TempDir dir;
  TempDir::Write(dir.File("one.txt"), "Z");
  { auto s = OpenText(dir, "one.txt", fmOpenReadWrite, ccUtf8); ASSERT_TRUE(s); EXPECT_EQ(s->CodeChar(), ccAnsi); }
  EXPECT_EQ(TempDir::Read(dir.File("one.txt")), "Z");
  TempDir::Write(dir.File("empty.txt"), "");
  { auto s = OpenText(dir, "empty.txt", fmOpenRead, ccUtf8); ASSERT_TRUE(s); EXPECT_TRUE(s->Eof()); }
  EXPECT_EQ(TempDir::Read(dir.File("empty.txt")), "");
  // Writes through a read-only stream transfer nothing.
  TempDir::Write(dir.File("ro.txt"), "abc\r\n");
  {
    auto s = OpenText(dir, "ro.txt", fmOpenRead);
    EXPECT_FALSE(s->CanWrite);
    s->WriteLine(u"more");
    EXPECT_FALSE(s->Modified());
  }
  EXPECT_EQ(TempDir::Read(dir.File("ro.txt")), "abc\r\n");
}

TEST(TextFileStream, AnsiLinesAndPositions) {
  TempDir dir;
  TempDir::Write(dir.File("a.txt"), "abc\r\ndef");
  auto s = OpenText(dir, "a.txt");
  std::u16string line;
  EXPECT_EQ(s->ReadLine(line), 5);
  EXPECT_EQ(line, u"abc");
  EXPECT_EQ(s->ReadLine(line), 8);
  EXPECT_EQ(line, u"def");
  EXPECT_TRUE(s->Eof());
  EXPECT_EQ(s->ReadLine(line), 8);
  EXPECT_EQ(line, u"");
  EXPECT_EQ(s->ReadLineAt(line, 1), 5);
  EXPECT_EQ(line, u"bc");
}

TEST(TextFileStream, EveryLineEndInEveryEncoding) {
  TempDir dir;
  const std::u16string text = u"a\r\nb\rc\nd\n\ne\U0001F600\u00E9";
  for (TCodeChar code : {ccAnsi, ccUnicode, ccBigEndian, ccUtf8}) {
    std::u16string t = code == ccAnsi ? u"a\r\nb\rc\nd\n\ne\u00E9" : text;
    std::string bytes = Encoded(t, code);
    if (code == ccUtf8) bytes = "\xEF\xBB\xBF" "a\r\nb\rc\nd\n\ne\xF0\x9F\x98\x80\xC3\xA9";
    std::string name = "le" + std::to_string(CodeNumber(code)) + ".txt";
    TempDir::Write(dir.File(name), bytes);
    platform::SetAnsiCodePage(1252);
    auto s = OpenText(dir, name);
    ASSERT_EQ(s->CodeChar(), code);
    std::u16string last = code == ccAnsi ? u"e\u00E9" : u"e\U0001F600\u00E9";
    EXPECT_EQ(ReadAllLines(*s), (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"", last})) << int(code);
  }
}

TEST(TextFileStream, LongLinesComeBackWhole) {
  TempDir dir;
  std::string longLine(70000, 'x');
  longLine[69999] = 'y';
  TempDir::Write(dir.File("long.txt"), longLine + "\r\nnext\r\n");
  auto s = OpenText(dir, "long.txt");
  std::u16string line;
  EXPECT_EQ(s->ReadLine(line), 70002);
  EXPECT_EQ(line.size(), 70000u);
  EXPECT_EQ(line.back(), u'y');
  s->ReadLine(line);
  EXPECT_EQ(line, u"next");
}

TEST(TextFileStream, CarriageReturnAtTheEndOfAReadStep) {
  TempDir dir;
  // Line ends that straddle the 4,096-character steps of the line reader, in one and two bytes.
  for (size_t len : {4095u, 4094u, 4096u, 8191u}) {
    std::string first(len, 'q');
    TempDir::Write(dir.File("cr.txt"), first + "\r\nsecond\r\n");
    auto s = OpenText(dir, "cr.txt");
    EXPECT_EQ(ReadAllLines(*s), (std::vector<std::u16string>{std::u16string(len, u'q'), u"second"})) << len;
    std::u16string wide(len, u'q');
    TempDir::Write(dir.File("crw.txt"), Encoded(wide + u"\r\nsecond\r", ccUnicode));
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
  EXPECT_EQ(text, u"abc");
  EXPECT_EQ(s->GetPosition(), 3);
  EXPECT_EQ(s->ReadChars(text, 4), 2);  // "éz", the lead byte of the euro sign held back
  EXPECT_EQ(text, u"abc\u00E9z");
  EXPECT_EQ(s->ReadChars(text, 4), 1);  // a complete sequence at the very end is delivered
  EXPECT_EQ(text, u"abc\u00E9z\u20AC");
  EXPECT_EQ(s->ReadChars(text, 4), 0);
  // A block that ends exactly after a complete sequence keeps it.
  TempDir::Write(dir.File("c.txt"), "ab\xC3\xA9" "cd");
  auto c = OpenText(dir, "c.txt");
  c->SetCodeChar(ccUtf8);
  text.clear();
  EXPECT_EQ(c->ReadChars(text, 4), 3);
  EXPECT_EQ(text, u"ab\u00E9");
}

// The cut sequence is damage that stays visible.
TEST(TextFileStream, Utf8FileEndingInsideASequenceEnds) {
  TempDir dir;
  TempDir::Write(dir.File("cut.txt"), "\xEF\xBB\xBF" "abc\xE2\x82");
  auto s = OpenText(dir, "cut.txt");
  std::u16string text;
  int rounds = 0;
  while (s->ReadChars(text, 4) > 0) ASSERT_LT(++rounds, 10) << "reading never ends";
  EXPECT_EQ(text, u"abc\uFFFD");
  EXPECT_TRUE(s->Eof());
  std::u16string line;
  s.reset();
  auto l = OpenText(dir, "cut.txt");
  ASSERT_TRUE(l);
  l->ReadLine(line);
  EXPECT_EQ(line, u"abc\uFFFD");
}

TEST(TextFileStream, WrittenTextRoundTripsInEveryEncoding) {
  TempDir dir;
  const std::u16string text = u"\u65E5\u672C \U0001F600 caf\u00E9 \u20AC";
  for (TCodeChar code : {ccUnicode, ccBigEndian, ccUtf8}) {
    std::string name = "rt" + std::to_string(CodeNumber(code)) + ".txt";
    {
      auto s = OpenText(dir, name, fmCreate, code);
      s->WriteLine(text);
      s->WriteLine(u"");
      EXPECT_TRUE(s->Modified());
    }
    auto s = OpenText(dir, name);
    EXPECT_EQ(ReadAllLines(*s), (std::vector<std::u16string>{text, u""})) << int(code);
  }
  platform::SetAnsiCodePage(1251);
  {
    auto s = OpenText(dir, "cyr.txt", fmCreate, ccAnsi);
    s->WriteLine(u"\u0416\u0437 \u00E9");
  }
  EXPECT_EQ(TempDir::Read(dir.File("cyr.txt")), "\xC6\xE7 ?\r\n");
  platform::SetAnsiCodePage(1252);
}

TEST(TextFileStream, SetCodeCharSwitchesOnlyBetweenAnsiAndUtf8) {
  TempDir dir;
  TempDir::Write(dir.File("c.txt"), "caf\xC3\xA9\r\n");
  auto s = OpenText(dir, "c.txt");
  s->SetCodeChar(ccUnicode);
  EXPECT_EQ(s->CodeChar(), ccAnsi);
  s->SetCodeChar(ccUtf8);
  EXPECT_EQ(s->CodeChar(), ccUtf8);
  std::u16string line;
  s->ReadLine(line);
  EXPECT_EQ(line, u"caf\u00E9");
}

TEST(TextFileStream, PositionsCountCharactersAfterTheMark) {
  TempDir dir;
  TempDir::Write(dir.File("p.txt"), Encoded(u"abcdef", ccUnicode));
  auto s = OpenText(dir, "p.txt");
  EXPECT_EQ(s->GetSize(), 6);
  EXPECT_EQ(s->Seek(-2, platform::SeekEnd), 4);
  char16_t buf[4] = {};
  EXPECT_EQ(s->ReadRaw(buf, 4), 2);
  EXPECT_EQ(std::u16string(buf, 2), u"ef");
  EXPECT_EQ(s->Seek(1, platform::SeekBegin), 1);
  EXPECT_EQ(s->Seek(-10, platform::SeekCurrent), 0);  // never before the first character
}

TEST(TextFileStream, TwoThreadsReadOneStreamAtTheirOwnPositions) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 2000; ++i) content += "line " + std::to_string(i) + "\r\n";
  TempDir::Write(dir.File("mt.txt"), content);
  auto s = OpenText(dir, "mt.txt", fmOpenRead, ccAnsi, true);
  ASSERT_TRUE(s);
  std::vector<std::u16string> got[2];
  std::thread threads[2];
  for (int t = 0; t < 2; ++t)
    threads[t] = std::thread([&, t] {
      std::u16string line;
      while (!s->Eof()) {
        s->ReadLine(line);
        got[t].push_back(line);
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 2; ++t) {
    ASSERT_EQ(got[t].size(), 2000u);
    EXPECT_EQ(got[t][1999], u"line 1999");
  }
}

TEST(TextFileStream, DebugInfoDescribesTheStream) {
  TempDir dir;
  auto s = OpenText(dir, "d.txt", fmCreate, ccBigEndian, true);
  std::vector<std::u16string> lines;
  s->DebugInfo(lines);
  EXPECT_EQ(lines.front(), u"FileName: " + dir.WFile("d.txt"));
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"CodeChar: BigEndian"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), u"LockRW.LockCount: -1"), lines.end());
}

TEST(FileStream, OpenFailureYieldsNoStream) {
  TempDir dir;
  EXPECT_FALSE(OpenText(dir, "missing.txt"));
  EXPECT_FALSE(TMyFileStream::Create(dir.WFile("no/dir/x"), fmCreate, false));
}

TEST(FileStream, ModifiedEventFiresOnceAndItsFailureIsSwallowed) {
  TempDir dir;
  auto s = TMyFileStream::Create(dir.WFile("m.bin"), fmCreate, false);
  int calls = 0;
  s->OnModified = [&](bool) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  EXPECT_EQ(s->Write("ab", 2), 2);
  EXPECT_EQ(s->Write("cd", 2), 2);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(s->Modified());
  EXPECT_EQ(s->GetSize(), 4);
  EXPECT_TRUE(s->CloseFile());
  EXPECT_EQ(TempDir::Read(dir.File("m.bin")), "abcd");
}

TEST(FileStream, BufferedWritesAndReadsAgreeAfterSeeks) {
  TempDir dir;
  auto s = TMyFileStream::Create(dir.WFile("rw.bin"), fmCreate, false);
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
  s.reset();
  EXPECT_EQ(TempDir::Read(dir.File("rw.bin")).size(), 50u);
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
