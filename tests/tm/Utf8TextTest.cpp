// Segment text kept in UTF-8 from the input to a UTF-8 text TM gives what the UTF-16 path gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Utf8.h"
#include "tm/MyReaderHTML.h"
#include "base/MyFileStream.h"
#include "tests/support/TempDir.h"
#include "tm/MyTUs.h"

namespace {

std::string Encode(std::u16string_view s) {
  std::string out(s.size() * 3, '\0');
  out.resize(static_cast<size_t>(platform::EncodeUtf8(s, out.data(), platform::LoneSurrogate::Keep) - out.data()));
  return out;
}

std::u16string Decode(std::string_view s, bool lineEnds) {
  WideString out;
  AppendUtf8(s, out, lineEnds);
  return out;
}

// Byte strings drawn from the bytes where decoding decides something: bounds of the forms,
// surrogates, U+FFFE, line ends, #0, and what segment text reacts to.
// A small generator of its own, so that the cases drawn are the same everywhere.
class TDraw {
public:
  explicit TDraw(uint64_t seed) : state_(seed) {}
  unsigned operator()() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned>(state_ >> 33);
  }

private:
  uint64_t state_;
};

std::vector<std::string> DrawnBytes(int count) {
  static const unsigned char kBytes[] = {'a', ' ', '\r', '\n', 0,    '\t', '&',  '{',  0x7F, 0x80, 0xBF, 0xC0, 0xC2, 0xA0,
                                         0xD0, 0xDF, 0xE0, 0xA0, 0xED, 0x9F, 0xB0, 0xEF, 0xBE, 0xF0, 0x90, 0xF4, 0x8F, 0xFF};
  TDraw next(20260105);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    std::string s;
    for (unsigned n = next() % 14; n > 0; --n) s.push_back(static_cast<char>(kBytes[next() % sizeof kBytes]));
    out.push_back(s);
  }
  return out;
}

class TTextReader : public TReaderHTML {
public:
  TTextReader() : TReaderHTML(WideString()) {}
  void Start() override {}
  void Finish() override {}
  bool EndUnit(bool) override { return true; }
  void TagOpened(TTag*) override {}
  TTag* TagClosed(TTag* tag, std::u16string_view) override { return tag->Close(); }
};

}  // namespace

// What is appended as it stands decodes, piece by piece, to what decoding the input gives.
TEST(Utf8Text, AppendedTextDecodesAsTheInput) {
  for (const std::string& bytes : DrawnBytes(4000)) {
    for (const bool lineEnds : {false, true}) {
      std::string kept;
      AppendUtf8Text(bytes, kept, lineEnds);
      EXPECT_EQ(Decode(kept, false), Decode(bytes, lineEnds)) << testing::PrintToString(bytes);
      EXPECT_EQ(WellFormedUtf8(kept, lineEnds), kept.size());
    }
  }
}

// A tag that gathers UTF-8 holds, once decoded, the text that a tag gathering UTF-16 holds,
// whatever the pieces end and begin with.
TEST(Utf8Text, GatheredPiecesGiveTheTextOfEachPiece) {
  struct TPiece {
    std::string Bytes;
    std::u16string Wide;  // used when Bytes is empty
  };
  const std::vector<std::vector<TPiece>> cases = {
      {{"one piece\r\nas it stands \xFF", {}}},
      {{"a\xE2", {}}, {"\x82\xAC" "b", {}}},
      {{"line\r", {}}, {"\nnext", {}}},
      {{"\xED\xA0\x80", {}}, {"\xED\xB0\x80", {}}},
      {{"", u"x\xD800"}, {"\xED\xB0\x80y", {}}},
      {{"\xED\xA0\x80", {}}, {"", u"\xDC00{key}"}},
      {{"  lead", {}}, {" more", {}}, {"", u"\U0001F600"}},
      {{std::string("nul\0inside", 10), {}}, {"\xF0\x9F", {}}, {"\x98\x80", {}}},
  };
  for (const bool keepsBlanks : {true, false}) {
    for (const auto& pieces : cases) {
      TTag wide(nullptr, u"seg"), bytes(nullptr, u"seg");
      wide.KeepsBlanks = bytes.KeepsBlanks = keepsBlanks;
      bytes.GathersUtf8 = true;
      std::string trace;
      for (const TPiece& p : pieces) {
        if (p.Bytes.empty()) {
          wide.AddText(std::u16string_view(p.Wide));
          bytes.AddText(std::u16string_view(p.Wide));
        } else {
          wide.AddTextUtf8(p.Bytes, true);
          bytes.AddTextUtf8(p.Bytes, true);
        }
        trace += testing::PrintToString(p.Bytes) + " ";
      }
      WideString expected;
      wide.TakeText(expected);
      std::string kept;
      bytes.TakeTextUtf8(kept);
      EXPECT_EQ(Decode(kept, true), expected) << trace << keepsBlanks;
    }
  }
}

// Segment text becomes the same field text in UTF-8 as in UTF-16: plain text where it stands,
// anything else through the passes.
TEST(Utf8Text, SegmentFieldsAsTheUtf16PathMakesThem) {
  const std::string key = "{" + std::string(32, 'a') + "}", key2 = "{" + std::string(31, 'b') + "c}";
  std::vector<std::string> cases = {
      "", " ", "   ", "plain text", " both edges  ", "\xD0\xBF\xD1\x80\xD0\xB8 ", "\xEF\xBC\xA1 fullwidth",
      "\xF0\xA9\xB8\xBD\xE3\x80\x82", "nbsp\xC2\xA0", "\xC2\xA9 sign", "not\xEF\xBF\xBE", "tab\there", "cr\r\nlf\r",
      "a &amp; b ", "&lt;b&gt;", "x " + key + " y", key, "{not a key}", "bad \xFF\xC0 bytes ", "\xED\xA0\x80\xED\xB0\x80",
      "&t=open; ", "a\x01" "b", key + key2 + key, "&lA; " + key, "&t\xF0\x9F\x98\x80; &amp;t\xF0\x9F\x98\x80; &amp;t\xD0\xBF; &amp;\xD0\xBF",
  };
  for (std::string& s : DrawnBytes(1500)) cases.push_back(s);
  // Segments drawn from references, ampersands, groups and characters that field text reacts to.
  const std::string tokens[] = {"a", " ", "\xD0\xBF", "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&nbsp;", "&euro;",
                                "&eacute;", "&#38;", "&#123;", "&#32;", "&#160;", "&#x1F600;", "&#xD800;", "&#1114112;",
                                "&#65534;", "&#0;", "&#9;", "&#10;", "&#13;", "&#1;", "&'41;", "&'26;", "&#x;", "&#;",
                                "&#00000000000000000000065;", "&", "&am", "&am;", "&x;", "&tA;", "&tB;", "&pC;", "&t=", "&t",
                                "tA;", "=", ";", "\\", "{", "}", key, key2, "\xC2\xA0", "\xC2\xA9", "\xC2\xB5", "<", "\t",
                                "\xE3\x80\x82", "\xF0\x9F\x98\x80", "t\xD0\xBF;", "&lt", "&quo", "t;", "&apos",
                                "&ampx;", "&#x3C;", "&#127;", "&#x7E;", "\x7F", "\x1F", "words ", "\xEF\xBF\xBF", "&apo;",
                                "&qt;", "&gt", "&a;"};
  TDraw next(11);
  for (int i = 0; i < 6000; ++i) {
    std::string s;
    for (unsigned k = next() % 9; k > 0; --k) s += tokens[next() % std::size(tokens)];
    cases.push_back(s);
  }
  TTextReader r;
  // Source text registers its tags; target text meets an empty list or the one its source left.
  auto prepare = [&](int mode, const std::string& bytes) {
    r.TagPlaceholders.Clear();
    r.TagContents.Clear();
    r.TagContents.AddUnique(platform::Utf8ToUtf16(key), u"<b>");
    r.TagContents.AddUnique(platform::Utf8ToUtf16(key2), u"a;\tb\\");
    if (mode == 2) {
      WideString source = Decode(bytes, true);
      r.SegmentToField(source, true);
    }
  };
  for (const std::string& bytes : cases) {
    for (const int mode : {0, 1, 2}) {
      WideString wide = Decode(bytes, true);
      prepare(mode, bytes);
      r.SegmentToField(wide, mode == 0);
      std::string kept = bytes;
      prepare(mode, bytes);
      r.SegmentToField(kept, mode == 0);
      EXPECT_EQ(kept, Encode(wide)) << testing::PrintToString(bytes) << " mode " << mode;
    }
  }
}

// A line of a UTF-8 file read with its segments kept in UTF-8 gives the fields, the pair, the
// kind and the count that reading it decoded gives; its segments stay as the file has them.
TEST(Utf8Text, LinesReadAsTheirDecodedText) {
  std::vector<std::string> lines = {
      "%20260105~143000\t%User ID,AB\t%TU=00000012\t%EN-US\t%Q\t%RU-RU\t%x\t\tABCDEFGHIJ\t .", "", "\t",
      "20260105~143000\tANA\t3\tEN-US\t\xD0\xBF\xD1\x80 &tA;\tRU-RU\t\xE6\x97\xA5\t!ABCDEFGHJK\tmore",
      "\xEF\xBB\xBF" "20260105~143000\tANA\t3\tEN-US\tsrc\tRU-RU\ttgt",
      std::string("\xEF\xBF\xBE" "20260105~143000\tA\t3\ten\ts\0rc\tfr\tt", 35),
      std::string("20260105~143000\tA\t3\ten\ts\0rc\tfr\tt", 32),
      "20260105~143000\tA\t3\ten\t\xFF\xC0 bad\tfr\t\xED\xA0\x80", "20260105~143000\tA\t3\ten\t\tfr\tempty source",
  };
  for (std::string& s : DrawnBytes(800)) lines.push_back("20260105~143000\tA\t1\ten\t" + s + "\tfr\t" + s);
  std::string file = "\xEF\xBB\xBF";
  for (const std::string& line : lines) file += line + "\r\n";
  TempDir dir;
  const std::string path = dir.File("lines.txt");
  TempDir::Write(path, file);
  auto open = [&] { return TTextFileStream::Create(platform::Utf8ToUtf16(path), ccUnicode, false, fmOpenRead | fmShareDenyNone); };
  auto decoded = open(), kept = open();
  ASSERT_TRUE(decoded && kept);
  int read = 0;
  for (TTU wide, bytes; !decoded->Eof(); ++read) {
    const int64_t next = wide.ReadFrom(*decoded, -1);
    ASSERT_EQ(bytes.ReadFrom(*kept, -1, true), next);
    SCOPED_TRACE(read);
    ASSERT_EQ(bytes.Count(), wide.Count());
    for (int i = 0; i < wide.Count(); ++i) {
      if (bytes.SegmentsUtf8 && (i == tfSource || i == tfTarget))
        EXPECT_EQ(Decode(i == tfSource ? bytes.SourceUtf8 : bytes.TargetUtf8, false), wide.Field(i)) << i;
      else
        EXPECT_EQ(bytes.Field(i), wide.Field(i)) << i;
    }
    EXPECT_EQ(bytes.SegmentsUtf8, !wide.IsHeader);
    EXPECT_EQ(bytes.IsHeader, wide.IsHeader);
    EXPECT_EQ(bytes.GetKind(), wide.GetKind());
    EXPECT_EQ(bytes.GetCount(), wide.GetCount());
    EXPECT_EQ(bytes.LangPair.Text(), wide.LangPair.Text());
    EXPECT_EQ(bytes.AttrCode, wide.AttrCode);
  }
  EXPECT_GE(read, static_cast<int>(lines.size()));
}

// A unit's date, user or count given as UTF-8 goes into its line as the text does, in both
// encodings of the line, and into its fields when they are asked for; setting a field again in
// any way replaces the bytes.
TEST(Utf8Text, FieldsGivenAsBytesGoOutAsTheirText) {
  const std::string values[] = {"20190102~030405", "ANA", "42", "", "\xC3\x84NA \xF0\x9F\x98\x80"};
  for (int field = tfDate; field <= tfCount; ++field) {
    for (const std::string& value : values) {
      SCOPED_TRACE(std::to_string(field) + " " + value);
      TTU wide(u"20260105~143000\tANA\t3\ten-US\tHello\tfr-FR\tBonjour"), bytes = wide;
      wide.SetField(field, Decode(value, false));
      bytes.SetFieldBytes(field, value);
      std::string lineWide, lineBytes;
      wide.BuildLineUtf8(lineWide);
      bytes.BuildLineUtf8(lineBytes);
      EXPECT_EQ(lineBytes, lineWide);
      EXPECT_EQ(bytes.GetLine(), wide.GetLine());
      TTU decoded = bytes;
      decoded.SegmentsToFields();
      EXPECT_EQ(decoded.Field(field), wide.Field(field));
      decoded.BuildLineUtf8(lineBytes);
      EXPECT_EQ(lineBytes, lineWide);
      bytes.SetField(field, u"x");
      bytes.BuildLineUtf8(lineBytes);
      EXPECT_EQ(lineBytes.substr(0, lineBytes.find("\ten-US")), field == tfDate ? "x\tANA\t3" : field == tfUserId ? "20260105~143000\tx\t3" : "20260105~143000\tANA\tx");
    }
  }
  TTU counted;
  counted.SetFieldBytes(tfCount, "7");
  counted.SetCount(8);
  EXPECT_EQ(counted.GetLine(), u"\t\t8\t\t\t");
}

// The scan stops where a walk character by character stops, whatever runs of ASCII and of
// two-byte forms come before it, for each kind of stop.
TEST(Utf8Text, ScanStopsWhereTheWalkStops) {
  auto walk = [](std::string_view b, const TUtf8Stops& st) {
    size_t i = 0;
    while (i < b.size()) {
      const auto lead = static_cast<uint8_t>(b[i]);
      const size_t length = st.Length[lead];
      if (length == 1) {
        ++i;
        continue;
      }
      if (length == 0 || b.size() - i < length) break;
      const auto at = [&](size_t k) { return static_cast<uint8_t>(b[i + k]); };
      if (at(1) < st.Low[lead] || at(1) > st.High[lead]) break;
      if (length >= 3 && (at(2) & 0xC0) != 0x80) break;
      if (length == 4 && (at(3) & 0xC0) != 0x80) break;
      if (st.NonChars && lead == 0xEF && at(1) == 0xBF && at(2) >= 0xBE) break;
      i += length;
    }
    return i;
  };
  const TUtf8Stops stopSets[] = {MakeUtf8Stops(false, {}), MakeUtf8Stops(true, "&\"<>'", "\xED", true),
                                 MakeUtf8Stops(true, "&{", "\xC2\xED", true), MakeUtf8Stops(false, "\r"),
                                 MakeUtf8Stops(true, "<&>", "\xED", true), MakeUtf8Stops(true, "&", "\xD0")};
  const std::string tails[] = {"", "&", "<", "\r", "\x01", "\xC0\xAF", "\xC2\xA0", "\xD0\xBF", "\xED\xA0\x80", "\xED\x9F\xBF",
                               "\xEF\xBF\xBE", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", "\xFF", "\xD0", "{", "'"};
  TDraw next(7);
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    for (int run = next() % 4; run >= 0; --run) {
      const unsigned length = next() % 40;
      const unsigned kind = next() % 3;  // ASCII, two-byte forms, or words of those between blanks
      for (unsigned k = 0; k < length; ++k)
        s += kind == 0 || (kind == 2 && k % 5 == 4) ? std::string(1, static_cast<char>(kind == 0 ? 'a' + k % 26 : ' '))
                                                    : std::string("\xD0\xB9");
      if (next() % 3 == 0) s += tails[next() % std::size(tails)];
    }
    for (const TUtf8Stops& st : stopSets) EXPECT_EQ(ScanUtf8(s, st), walk(s, st)) << testing::PrintToString(s);
  }
}
