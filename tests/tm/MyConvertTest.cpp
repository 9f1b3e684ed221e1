// The converter base: the reader's character source over real files, the tag -> placeholder
// list and the chain of open elements.
#include <gtest/gtest.h>

#include <chrono>

#include "base/MyFileStream.h"
#include "base/MyPump.h"
#include "base/MyWideStr.h"
#include "platform/core/CodePages.h"
#include "tests/support/TempDir.h"
#include "tm/MyConvert.h"
#include "tests/support/AnsiCodePage.h"

namespace {

std::string Utf8(const std::u16string& s) {
  std::string out(s.size() * 3 + 1, '\0');
  out.resize(static_cast<size_t>(WideToUtf8(s.c_str(), out.data(), false)));
  return out;
}

// Collects every character the reader delivers until the input ends.
class TCharReader : public TReader {
public:
  using TReader::TReader;
  void Start() override {}
  void Finish() override {}
  void Parse() override {
    for (;;) {
      const WideChar c = ReadChar();
      if (EndOfInput) break;
      Text.push_back(c);
      if (Text.size() > Limit) break;  // a reader that never ends fails here instead of hanging
    }
  }
  std::u16string Text;
  size_t Limit = 10'000'000;
};

std::u16string ReadAll(const std::string& bytes, TCodeChar* code = nullptr) {
  TempDir dir;
  TempDir::Write(dir.File("in.xml"), bytes);
  TCharReader r(dir.WFile("in.xml"));
  EXPECT_FALSE(r.Failed());
  if (code) *code = r.Input ? r.Input->CodeChar() : ccNone;
  r.Parse();
  EXPECT_TRUE(r.EndOfInput);
  EXPECT_EQ(r.NextChar(), u'\t');
  return r.Text;
}

class ReaderInput : public WithAnsiCodePage<1252> {};

}  // namespace

TEST_F(ReaderInput, EmptyFileEndsAtOnce) {
  TempDir dir;
  TempDir::Write(dir.File("empty.xml"), "");
  TCharReader r(dir.WFile("empty.xml"));
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.NextChar(), u'\t');
  EXPECT_TRUE(r.EndOfInput);
}

TEST_F(ReaderInput, MissingFileIsAnErrorNamingIt) {
  TempDir dir;
  TCharReader r(dir.WFile("missing.tmx"));
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.Input, nullptr);
  EXPECT_EQ(r.ErrorFileName(), dir.WFile("missing.tmx"));
  EXPECT_EQ(Utf8(r.ErrorText()), "Cannot open file \"" + dir.File("missing.tmx") + "\". No such file or directory.");
  EXPECT_EQ(r.NextChar(), u'\t');
  EXPECT_TRUE(r.EndOfInput);

  TCharReader none(u"");  // no file asked for: no input, and no error
  EXPECT_FALSE(none.Failed());
  EXPECT_EQ(none.NextChar(), u'\t');
}

// The declaration decides before anything is decoded, so the first line is UTF-8 as well, and
// the line ends are delivered as they stand.
TEST_F(ReaderInput, DeclaredUtf8WithoutMarkIsUtf8FromTheFirstByte) {
  TCodeChar code = ccNone;
  const std::string doc = "<?xml version='1.0' encoding=\"utf-8\" ?><!-- \xC3\xBC --><tmx>\xC3\xA9\xF0\x9F\x98\x80\n</tmx>\n";
  EXPECT_EQ(ReadAll(doc, &code), u"<?xml version='1.0' encoding=\"utf-8\" ?><!-- \u00FC --><tmx>\u00E9\U0001F600\n</tmx>\n");
  EXPECT_EQ(code, ccUtf8);
  EXPECT_EQ(ReadAll(" \r\n<?xml version = \"1.0\" encoding = 'UTF-8'?>\xC3\xA9", &code), u" \r\n<?xml version = \"1.0\" encoding = 'UTF-8'?>\u00E9");
  EXPECT_EQ(code, ccUtf8);
}

TEST_F(ReaderInput, OtherDeclarationsLeaveTheDetectedEncoding) {
  TCodeChar code = ccNone;
  EXPECT_EQ(ReadAll("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", &code),
            u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\u00E9</a>");
  EXPECT_EQ(code, ccAnsi);
  // Without a declaration at the start the file stays ANSI.
  EXPECT_EQ(ReadAll("<a encoding=\"UTF-8\">\xE9</a>", &code), u"<a encoding=\"UTF-8\">\u00E9</a>");
  EXPECT_EQ(code, ccAnsi);
  // A byte-order mark wins over the declaration.
  EXPECT_EQ(ReadAll("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?>\xC3\xA9", &code),
            u"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\u00E9");
  EXPECT_EQ(code, ccUtf8);
  EXPECT_EQ(ReadAll(std::string("\xFF\xFE<\0a\0>\0\x3D\xD8\x00\xDE", 12)), u"<a>\U0001F600");
  EXPECT_EQ(ReadAll(std::string("\xFE\xFF\0<\0a\0>\xD8\x3D\xDE\x00", 12), &code), u"<a>\U0001F600");
  EXPECT_EQ(code, ccBigEndian);
}

// A file that ends inside a character ends the input; it never makes the reader spin.
TEST_F(ReaderInput, FileEndingInsideACharacterEndsTheInput) {
  std::u16string text = ReadAll("\xEF\xBB\xBF" "ab\xF0\x9F\x98");
  EXPECT_EQ(text.substr(0, 2), u"ab");
  EXPECT_LE(text.size(), 3u);
  text = ReadAll("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\xE2\x82");
  EXPECT_EQ(text.substr(0, 38), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_LE(text.size(), 39u);
  EXPECT_EQ(ReadAll(std::string("\xFF\xFE" "a\0b", 5)), u"a");  // half a UTF-16 unit at the end
}

// Chunk boundaries never cut a character.
TEST_F(ReaderInput, LongInputArrivesWholeAcrossChunks) {
  std::string bytes = "\xEF\xBB\xBF";
  std::u16string expected;
  for (int i = 0; i < 40000; ++i) {
    bytes += "a\xC3\xA9\xF0\x9F\x98\x80\r\n";
    expected += u"a\u00E9\U0001F600\r\n";
  }
  EXPECT_EQ(ReadAll(bytes), expected);

  TempDir dir;
  TempDir::Write(dir.File("big.xml"), bytes);
  TCharReader r(dir.WFile("big.xml"));
  EXPECT_EQ(r.Total, static_cast<int64_t>(bytes.size() - 3));
}

namespace {
struct CountingPump : TMessagePump {
  int one = 0, mouse = 0;
  void ProcessAll() override {}
  void ProcessOne() override { ++one; }
  void TrackMouse() override { ++mouse; }
};
}  // namespace

// The position is asked for at every end tag: the events are pumped by the clock, not each time.
TEST_F(ReaderInput, InputPositionPumpsByTheClock) {
  TempDir dir;
  TempDir::Write(dir.File("in.xml"), std::string(100000, 'x'));
  TCharReader r(dir.WFile("in.xml"));
  for (int i = 0; i < 40000; ++i) r.ReadChar();
  CountingPump pump;
  SetMessagePump(&pump);
  const auto start = std::chrono::steady_clock::now();
  int calls = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(130)) {
    EXPECT_EQ(r.InputPosition(), 60000);  // two chunks read so far
    ++calls;
  }
  SetMessagePump(nullptr);
  EXPECT_GT(calls, 100);
  EXPECT_GE(pump.one, 1);
  EXPECT_LE(pump.one, 3);
  EXPECT_EQ(pump.mouse, pump.one);
}

// ---------------------------------------------------------------------------------------------
TEST(AttrList, TagsGetPlaceholdersInOrder) {
  TAttrList list;
  EXPECT_EQ(list.AddTag(u"<b>"), 0);
  EXPECT_EQ(list.AddTag(u"</b>"), 1);
  EXPECT_EQ(list.AddTag(u"<b>"), 1);  // known: index + 1, same placeholder
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<b>")), u"&tA;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"</b>")), u"&tB;");
  list.AddTag(u"<#p1>");
  list.AddTag(u"{\\field{\\*\\fldinst PAGE}}");
  list.AddTag(u"{\\b}");
  list.AddTag(u"<#");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<#p1>")), u"&pC;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"{\\field{\\*\\fldinst PAGE}}")), u"&fD;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"{\\b}")), u"&tE;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<#")), u"&tF;");
  EXPECT_EQ(list.PlaceholderOf(u"<i>"), nullptr);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.AddTag(u"<i>");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<i>")), u"&tA;");
}

// Tags that differ only in case are different tags, in the list and in the look-up.
TEST(AttrList, PlaceholderLookUpIsExact) {
  TAttrList list;
  list.AddTag(u"<b>");
  list.AddTag(u"<B>");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<B>")), u"&tB;");
  EXPECT_EQ(std::u16string(list.ValueOf(u"<B>")), u"&tA;");  // names of attributes ignore case
}

TEST(AttrList, TheTwentySeventhTagLeavesTheAlphabet) {
  TAttrList list;
  for (int i = 0; i < 27; ++i) list.AddTag(u"<x" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u">");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<xz>")), u"&tZ;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<x{>")), u"&t[;");
}

// Past a handful of items the exact look-up goes through the index; it must agree with the scan.
TEST(AttrList, ManyItemsStayFindable) {
  TAttrList list;
  for (int i = 0; i < 2000; ++i) EXPECT_EQ(list.AddUnique(u"k" + IntToWideStr(i), IntToWideStr(i)), i);
  EXPECT_EQ(list.AddUnique(u"k1500", u"other"), 1501);
  EXPECT_EQ(list.IndexOfName(u"k1999"), 1999);
  EXPECT_EQ(list.IndexOfName(u"K1999"), -1);
  EXPECT_EQ(std::u16string(list.ValueOf(u"K1500")), u"1500");
  EXPECT_EQ(list.FindName(u"k2000"), nullptr);
  list.Clear();
  EXPECT_EQ(list.IndexOfName(u"k3"), -1);
  EXPECT_EQ(list.AddUnique(u"k3", u"v"), 0);
  EXPECT_EQ(list.IndexOfName(u"k3"), 0);
}

TEST(AttrList, NamesAndValues) {
  TAttrList list;
  EXPECT_EQ(list.AddUnique(u"Type", u"a"), 0);
  EXPECT_EQ(list.AddUnique(u"type", u"b"), 1);  // exact names: a new item
  EXPECT_EQ(list.AddUnique(u"Type", u"c"), 1);
  EXPECT_EQ(std::u16string(list.ValueOf(u"TYPE")), u"a");
  EXPECT_EQ(list.IndexOfName(u"type"), 1);
  EXPECT_EQ(list.ValueOf(u"typ"), nullptr);
  EXPECT_EQ(list.AddUnique(u"", u"empty"), 2);
  EXPECT_EQ(std::u16string(list.ValueOf(u"")), u"empty");
}

// ---------------------------------------------------------------------------------------------
TEST(Tag, TextGathersAndDropsLeadingBlanksWhenItGrows) {
  TTag root(nullptr, u"Root");
  EXPECT_EQ(root.Text(), nullptr);
  root.AddText(static_cast<PCWideChar>(nullptr));
  EXPECT_EQ(root.Text(), nullptr);
  root.AddText(u"  a b");
  EXPECT_EQ(std::u16string(root.Text()), u"  a b");
  root.AddText(u" c");
  EXPECT_EQ(std::u16string(root.Text()), u"a b c");
  TTag blank(nullptr, u"x");
  blank.AddText(u"   ");
  blank.AddText(u" d");
  EXPECT_EQ(std::u16string(blank.Text()), u" d");
}

TEST(Tag, ChainOpensAndCloses) {
  TTag root(nullptr, u"Root");
  TTag* tu = root.OpenChild(u"tu");
  TTag* tuv = tu->OpenChild(u"tuv");
  EXPECT_EQ(tuv->Parent, tu);
  EXPECT_EQ(root.Child.get(), tu);
  tuv->AddAttribute(u"  xml:lang", u"en-US");
  tuv->AddAttribute(u"xml:lang", u"de");
  EXPECT_EQ(tuv->Attributes.Count(), 2);
  EXPECT_EQ(std::u16string(tuv->ValueOf(u"XML:Lang")), u"en-US");
  EXPECT_EQ(tuv->ValueOf(u"lang"), nullptr);
  EXPECT_EQ(tuv->Close(), tu);
  EXPECT_EQ(tu->Child, nullptr);
  EXPECT_EQ(tu->Close(), &root);
  EXPECT_EQ(root.Child, nullptr);
  EXPECT_EQ(root.Close(), &root);  // the root stays current
}

// A document that never closes its elements leaves a very deep chain: freeing it must not
// exhaust the stack.
TEST(Tag, DeepChainIsFreed) {
  auto root = std::make_unique<TTag>(nullptr, u"Root");
  TTag* current = root.get();
  for (int i = 0; i < 1'000'000; ++i) current = current->OpenChild(u"b");
  EXPECT_EQ(current->Name, u"b");
  root.reset();
}
