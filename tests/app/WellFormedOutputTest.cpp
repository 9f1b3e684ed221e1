// What the converters write is well-formed in its encoding whatever they read: a surrogate
// without its partner (from a character reference, a UTF-16 file or a surrogate's form in UTF-8)
// is written as U+FFFD, and the units that held one are told as warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/core/CsvImport.h"
#include "platform/core/Utf8.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempDir.h"
#include "tests/support/TmFiles.h"

using namespace tmfiles;

namespace {

// Whether UTF-8 bytes hold the three-byte form of a surrogate.
bool HasSurrogateForm(const std::string& bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i)
    if (static_cast<unsigned char>(bytes[i]) == 0xED && static_cast<unsigned char>(bytes[i + 1]) >= 0xA0) return true;
  return false;
}

// The UTF-16LE text of a file after its mark, each unit checked for lone surrogates.
std::u16string Utf16Text(const std::string& bytes, bool* wellFormed) {
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8));
  std::u16string copy = text;
  *wellFormed = platform::ReplaceLoneSurrogates(copy.data(), copy.size()) == 0;
  return text;
}

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

// TMX to a new text TM (UTF-8) and to an existing one in UTF-16: references to lone surrogates
// become U+FFFD, a pair given as two references stays one character, and each unit that held a
// lone one is a warning of the result line.
TEST(WellFormedOutput, TmxReferencesToLoneSurrogates) {
  const std::string body = Tu("a&#xD800;b", "&#xDC00;") + Tu("pair &#xD83D;&#xDE00;", "fine") + Tu("x", "y") +
                           Tu("end &#xDBFF;", "z");
  TempDir dir;
  TempDir::Write(dir.File("in.tmx"), Tmx(body));
  {
    TRecordingHost host;
    EXPECT_EQ(host.Convert(dir.File("in.tmx"), dir.File("new.txt")), "");
    EXPECT_EQ(host.Result, "4 TUs, 2 warnings");
    const std::string out = TempDir::Read(dir.File("new.txt"));
    EXPECT_FALSE(HasSurrogateForm(out));
    EXPECT_EQ(Count(out, "\xEF\xBF\xBD"), 3u);
    EXPECT_NE(out.find("\ta\xEF\xBF\xBD" "b\t"), std::string::npos);
    EXPECT_NE(out.find("pair \xF0\x9F\x98\x80\t"), std::string::npos);
  }
  {
    const std::u16string header = platform::Utf8ToUtf16(kTmHeader + "\r\n");
    TempDir::Write(dir.File("old.txt"), "\xFF\xFE" + Utf16(header));
    TRecordingHost host;
    EXPECT_EQ(host.Convert(dir.File("in.tmx"), dir.File("old.txt")), "");
    EXPECT_EQ(host.Result, "4 TUs, 2 warnings");
    bool wellFormed = false;
    const std::u16string text = Utf16Text(TempDir::Read(dir.File("old.txt")), &wellFormed);
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(std::count(text.begin(), text.end(), u'\uFFFD'), 3);
    EXPECT_NE(text.find(u"pair \U0001F600\t"), std::u16string::npos);
  }
  // Without lone surrogates the result line is as it always was.
  TempDir::Write(dir.File("plain.tmx"), Tmx(Tu("x", "y")));
  TRecordingHost host;
  EXPECT_EQ(host.Convert(dir.File("plain.tmx"), dir.File("plain.txt")), "");
  EXPECT_EQ(host.Result, "1 TUs");
}

// A UTF-16 CSV (either byte order) holding lone surrogates gives a UTF-8 text TM with U+FFFD in
// their places; the lines that held one are counted, and the conversion tells them.
TEST(WellFormedOutput, Utf16CsvWithLoneSurrogates) {
  const std::u16string text = u"S\tT\r\na\xD800" u"b\tc\r\n\U0001F600\t\xDE00\xD83D\r\nplain\tline\r\n";
  TempDir dir;
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    TempDir::Write(dir.File("in.csv"), (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + Utf16(text, bigEndian));
    int repaired = 0;
    EXPECT_EQ(ConvertCsvToTxt(dir.WFile("in.csv"), dir.WFile("in.txt"), {}, &repaired), 3);
    EXPECT_EQ(repaired, 2);
    const std::string out = TempDir::Read(dir.File("in.txt"));
    EXPECT_FALSE(HasSurrogateForm(out));
    EXPECT_NE(out.find("\ta\xEF\xBF\xBD" "b\tJA\tc\r\n"), std::string::npos);
    EXPECT_NE(out.find("\t\xF0\x9F\x98\x80\tJA\t\xEF\xBF\xBD\xEF\xBF\xBD\r\n"), std::string::npos);
    TRecordingHost host;
    EXPECT_EQ(host.Convert(dir.File("in.csv"), dir.File("again.txt")), "");
    EXPECT_EQ(host.Result, "3 TUs, 2 warnings");
  }
  // A CSV without them shows no result line, as before.
  TempDir::Write(dir.File("plain.csv"), "\xFF\xFE" + Utf16(u"S\tT\r\nx\ty\r\n"));
  TRecordingHost host;
  EXPECT_EQ(host.Convert(dir.File("plain.csv"), dir.File("plain.txt")), "");
  EXPECT_EQ(host.Result, "");
}
