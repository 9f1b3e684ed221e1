// The converter base: the reader's character source over real files, the tag -> placeholder
// list and the chain of open elements.
#include <gtest/gtest.h>

#include "base/MyFileStream.h"
#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"
#include "tests/support/AnsiCodePage.h"
#include "tests/support/TempDir.h"
#include "tm/MyConvert.h"

namespace {

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
      if (Text.size() > 10'000'000) break;  // a reader that never ends fails here instead of hanging
    }
  }
  std::u16string Text;
};

class ReaderInput : public WithAnsiCodePage<1252> {};

}  // namespace

TEST_F(ReaderInput, MarkThenDeclarationDecideTheEncoding) {
  const struct {
    std::string bytes;
    std::u16string text;
    TCodeChar code;
  } cases[] = {
      {"", u"", ccUnicode},
      // A declared UTF-8 is UTF-8 from the first byte, and the line ends are delivered as they stand.
      {"<?xml version='1.0' encoding=\"utf-8\" ?><!-- \xC3\xBC --><tmx>\xC3\xA9\xF0\x9F\x98\x80\n</tmx>\n",
       u"<?xml version='1.0' encoding=\"utf-8\" ?><!-- \u00FC --><tmx>\u00E9\U0001F600\n</tmx>\n", ccUtf8},
      {" \r\n<?xml version = \"1.0\" encoding = 'UTF-8'?>\xC3\xA9", u" \r\n<?xml version = \"1.0\" encoding = 'UTF-8'?>\u00E9",
       ccUtf8},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>", u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\u00E9</a>",
       ccAnsi},
      {"<a encoding=\"UTF-8\">\xE9</a>", u"<a encoding=\"UTF-8\">\u00E9</a>", ccAnsi},  // no declaration at the start
      // A byte-order mark wins over the declaration.
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?>\xC3\xA9",
       u"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\u00E9", ccUtf8},
      {std::string("\xFF\xFE<\0a\0>\0\x3D\xD8\x00\xDE", 12), u"<a>\U0001F600", ccUnicode},
      {std::string("\xFE\xFF\0<\0a\0>\xD8\x3D\xDE\x00", 12), u"<a>\U0001F600", ccBigEndian},
      // A file that ends inside a character ends the input; it never makes the reader spin.
      {std::string("\xFF\xFE" "a\0b", 5), u"a", ccUnicode},
      {"\xEF\xBB\xBF" "ab\xF0\x9F\x98", u"ab\uFFFD", ccUtf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.text));
    TempDir dir;
    TempDir::Write(dir.File("in.xml"), c.bytes);
    TCharReader r(dir.WFile("in.xml"));
    EXPECT_FALSE(r.Failed());
    EXPECT_EQ(r.Input->CodeChar(), c.code);
    r.Parse();
    EXPECT_EQ(r.Text, c.text);
    EXPECT_TRUE(r.EndOfInput);
    EXPECT_EQ(r.NextChar(), u'\t');
  }
}

TEST_F(ReaderInput, MissingFileIsAnErrorNamingIt) {
  TempDir dir;
  TCharReader r(dir.WFile("missing.tmx"));
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.ErrorFileName(), dir.WFile("missing.tmx"));
  EXPECT_EQ(platform::Utf16ToUtf8(r.ErrorText()),
            "Cannot open file \"" + dir.File("missing.tmx") + "\". No such file or directory.");
  EXPECT_EQ(r.NextChar(), u'\t');
  TCharReader none(u"");  // no file asked for: no input, and no error
  EXPECT_FALSE(none.Failed());
  EXPECT_EQ(none.NextChar(), u'\t');
}

TEST(AttrList, TagsGetPlaceholdersInOrder) {
  TAttrList list;
  EXPECT_EQ(list.AddTag(u"<b>"), 0);
  EXPECT_EQ(list.AddTag(u"</b>"), 1);
  EXPECT_EQ(list.AddTag(u"<b>"), 1);  // known: index + 1, same placeholder
  list.AddTag(u"<B>");  // tags that differ only in case are different tags
  list.AddTag(u"<#p1>");
  list.AddTag(u"{\\field{\\*\\fldinst PAGE}}");
  list.AddTag(u"{\\b}");
  list.AddTag(u"<#");
  const std::pair<std::u16string, std::u16string> placeholders[] = {
      {u"<b>", u"&tA;"}, {u"</b>", u"&tB;"}, {u"<B>", u"&tC;"},  {u"<#p1>", u"&pD;"},
      {u"{\\field{\\*\\fldinst PAGE}}", u"&fE;"}, {u"{\\b}", u"&tF;"}, {u"<#", u"&tG;"}};
  for (const auto& [tag, placeholder] : placeholders) EXPECT_EQ(std::u16string(list.PlaceholderOf(tag)), placeholder);
  EXPECT_EQ(list.PlaceholderOf(u"<i>"), nullptr);
  EXPECT_EQ(std::u16string(list.ValueOf(u"<B>")), u"&tA;");  // names of attributes ignore case
  for (int i = 7; i < 27; ++i) list.AddTag(u"<x" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u">");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<xz>")), u"&tZ;");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<x{>")), u"&t[;");  // the 27th leaves the alphabet
  list.Clear();
  list.AddTag(u"<i>");
  EXPECT_EQ(std::u16string(list.PlaceholderOf(u"<i>")), u"&tA;");
}

// Past a handful of items the exact look-up goes through the index; it must agree with the scan.
TEST(AttrList, NamesAndValuesOfManyItems) {
  TAttrList list;
  EXPECT_EQ(list.AddUnique(u"Type", u"a"), 0);
  EXPECT_EQ(list.AddUnique(u"type", u"b"), 1);  // exact names: a new item
  EXPECT_EQ(list.AddUnique(u"Type", u"c"), 1);
  EXPECT_EQ(std::u16string(list.ValueOf(u"TYPE")), u"a");
  EXPECT_EQ(list.ValueOf(u"typ"), nullptr);
  for (int i = 2; i < 2000; ++i) EXPECT_EQ(list.AddUnique(u"k" + IntToWideStr(i), IntToWideStr(i)), i);
  EXPECT_EQ(list.AddUnique(u"k1500", u"other"), 1501);
  EXPECT_EQ(list.IndexOfName(u"k1999"), 1999);
  EXPECT_EQ(list.IndexOfName(u"K1999"), -1);
  EXPECT_EQ(std::u16string(list.ValueOf(u"K1500")), u"1500");
  EXPECT_EQ(list.FindName(u"k2000"), nullptr);
  list.Clear();  // the index goes too
  EXPECT_EQ(list.IndexOfName(u"k3"), -1);
  EXPECT_EQ(list.AddUnique(u"k3", u"v"), 0);
}

TEST(Tag, TextGathersAndDropsLeadingBlanksWhenItGrowsUnlessKept) {
  TTag root(nullptr, u"Root");
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
  TTag seg(nullptr, u"seg");
  seg.KeepsBlanks = true;
  seg.AddText(u"  a");
  seg.AddText(u" b");
  EXPECT_EQ(std::u16string(seg.Text()), u"  a b");
}

TEST(Tag, ChainOpensAndClosesAndADeepOneIsFreed) {
  auto root = std::make_unique<TTag>(nullptr, u"Root");
  TTag* tu = root->OpenChild(u"tu");
  TTag* tuv = tu->OpenChild(u"tuv");
  EXPECT_EQ(tuv->Parent, tu);
  tuv->AddAttribute(u"  xml:lang", u"en-US");
  tuv->AddAttribute(u"xml:lang", u"de");
  EXPECT_EQ(tuv->Attributes.Count(), 2);
  EXPECT_EQ(std::u16string(tuv->ValueOf(u"XML:Lang")), u"en-US");
  EXPECT_EQ(tuv->Close(), tu);
  EXPECT_EQ(tu->Child, nullptr);
  EXPECT_EQ(tu->Close(), root.get());
  EXPECT_EQ(root->Close(), root.get());  // the root stays current
  // A document that never closes its elements leaves a very deep chain: freeing it must not
  // exhaust the stack.
  TTag* current = root.get();
  for (int i = 0; i < 1'000'000; ++i) current = current->OpenChild(u"b");
  root.reset();
}

// A closed element lends its object to the next child: nothing of the element before reaches
// the next one, and a reader allocates nothing per element once its depth has been reached.
TEST(Tag, ClosedElementsAreReusedClean) {
  TTag root(nullptr, u"Root");
  TTag* tu = root.OpenChildUtf8("tu", true);
  tu->AddAttributeUtf8("  usagecount", "3");
  tu->AddRawAttribute("  usagecount", "3");
  tu->AddTextUtf8("a\r\nb", true);
  tu->Kind = 5;
  tu->TextOwner = &root;
  TTag* tuv = tu->OpenChildUtf8("tuv", false);
  EXPECT_EQ(tuv->Name, u"");  // not decoded when the reader does not ask for it
  EXPECT_EQ(tuv->NameUtf8, "tuv");
  EXPECT_EQ(tu->Close(), &root);
  TTag* next = root.OpenChildUtf8("prop", true);
  EXPECT_EQ(next, tu);
  EXPECT_EQ(next->Name, u"prop");
  EXPECT_EQ(next->Attributes.Count(), 0);
  EXPECT_EQ(next->RawCount(), 0);
  EXPECT_EQ(next->Text(), nullptr);
  EXPECT_EQ(next->Kind, -1);
  EXPECT_EQ(next->TextOwner, nullptr);
  EXPECT_EQ(next->Child, nullptr);
  EXPECT_EQ(next->OpenChildUtf8("seg", true), tuv);  // what was open below waits for the next child
}

// The attributes as the input spelt them: the first of a name wins, names compare without the
// case of ASCII letters, leading blanks go; a value is returned as it stands.
TEST(Tag, RawAttributes) {
  TTag tag(nullptr, u"tu");
  tag.AddRawAttribute(" CreationDate", "20200101T000000Z");
  tag.AddRawAttribute("creationdate", "second");
  tag.AddRawAttribute("xml:lang", "en&amp;US");
  tag.AddRawAttribute("t\xC3\xBFpe", "x");
  ASSERT_EQ(tag.RawCount(), 4);
  EXPECT_EQ(tag.RawName(0), "CreationDate");
  std::string_view v;
  ASSERT_TRUE(tag.RawValueOf(u"creationdate", v));
  EXPECT_EQ(v, "20200101T000000Z");
  ASSERT_TRUE(tag.RawValueOf(u"XML:LANG", v));
  EXPECT_EQ(v, "en&amp;US");
  EXPECT_FALSE(tag.RawValueOf(u"type", v));
  EXPECT_FALSE(tag.RawValueOf(u"lang", v));
  ASSERT_TRUE(tag.RawValueOf(u"t\u00FFpe", v));  // a name beyond ASCII is compared decoded
  EXPECT_EQ(v, "x");
}
