#include "base/MyUnicodes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// A heap copy of exactly the string and its #0, so that the sanitizer build catches a read
// past the terminator.
std::unique_ptr<WideChar[]> Exact(const WideString& s) {
  auto p = std::make_unique<WideChar[]>(s.size() + 1);
  std::copy(s.begin(), s.end(), p.get());
  p[s.size()] = 0;
  return p;
}

int Hash(const WideString& s) { return HashFoldedW(Exact(s).get()); }
int Compare(const WideString& a, const WideString& b) { return CompareFoldedW(Exact(a).get(), Exact(b).get()); }
int CompareL(const WideString& a, const WideString& b, int maxLen) {
  return CompareFoldedLW(Exact(a).get(), Exact(b).get(), maxLen);
}
bool SamePair(const WideString& a, const WideString& b) { return SameFoldedPair(Exact(a).get(), Exact(b).get()); }
WideString Upper(WideString s) {
  auto p = Exact(s);
  EXPECT_EQ(FoldWStr(p.get()), p.get());
  return WideString(p.get());
}

}  // namespace

TEST(MyUnicodes, TableIsTheGeneratedFileWithOnlyTheAsteriskPatched) {
  std::ifstream in(MIRELCON_BINARY_DIR "/resources/chartable.bin", std::ios::binary);
  ASSERT_TRUE(in) << "generated table missing";
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 524288u);
  const TCharRecord* t = CharTable();
  int differing = 0;
  for (int c = 0; c < CharTableSize; ++c) {
    const unsigned char* r = &bytes[c * 8];
    auto field = [r](int i) { return static_cast<uint16_t>(r[2 * i] | (r[2 * i + 1] << 8)); };
    differing += t[c].Category != field(0) || t[c].LowerKey != field(1) || t[c].Upper != field(2) ||
                 t[c].SearchKey != field(3);
    // The comparisons stop at #0 by its key: no other unit may fold or upper-case to 0.
    ASSERT_TRUE(c == 0 || (t[c].LowerKey != 0 && t[c].Upper != 0)) << c;
  }
  EXPECT_EQ(differing, 1);
  EXPECT_EQ(t[u'*'].Category, (bytes[u'*' * 8 + 1] << 8) | 5) << "only the low byte changes";
}

TEST(MyUnicodes, FoldKeyAndFoldWStr) {
  const std::pair<WideChar, WideChar> keys[] = {{u'A', u'a'}, {u'\u00C9', u'\u00E9'}, {u'\u0130', u'i'},
                                               {u'\u0416', u'\u0436'}, {u'*', u'*'}, {0, 0}};
  for (const auto& [c, key] : keys) EXPECT_EQ(FoldKey(c), key) << int(c);
  EXPECT_EQ(Upper(u"en-us_2"), u"EN-US_2");
  EXPECT_EQ(Upper(u"\u00E9\u00FF\u0131"), u"\u00C9\u0178I");  // é ÿ ı -> É Ÿ I
  // Units without a simple upper case stay: ß (its full form is two letters), digits, CJK.
  EXPECT_EQ(Upper(u"\u00DF9\u4E00*"), u"\u00DF9\u4E00*");
  EXPECT_EQ(FoldWStr(nullptr), nullptr);
}

// The reader tells element names apart by this hash first, whatever their case.
TEST(MyUnicodes, HashIgnoresCaseAndStaysWithin16Bits) {
  for (const char16_t* name : {u"tu", u"x-TextPlaceholder", u"prop", u"\u00E9t\u00E9"})
    EXPECT_EQ(Hash(name), Hash(Upper(name)));
  EXPECT_EQ(Hash(u"tu"), 248);
  EXPECT_EQ(Hash(u"x-TextPlaceholder"), 31313);
  EXPECT_EQ(HashFoldedW(nullptr), 0);
  const int h = Hash(WideString(500, u'z'));  // long names wrap within 16 bits
  EXPECT_TRUE(h >= 0 && h <= 65535) << h;
}

TEST(MyUnicodes, FoldedComparisons) {
  EXPECT_LT(Compare(u"abc", u"ABD"), 0);
  EXPECT_EQ(Compare(u"Tmx", u"TMX"), 0);
  EXPECT_EQ(Compare(u"\u00E9", u"\u00C9"), 0);
  EXPECT_NE(Compare(u"e", u"\u00E9"), 0);
  EXPECT_GT(Compare(u"abc", u"ab"), 0);
  // The result is the difference of the keys where they first differ.
  EXPECT_EQ(Compare(u"xA", u"xc"), u'a' - u'c');
  EXPECT_EQ(Compare(u"ab", u"abc"), -u'c');
  EXPECT_EQ(CompareFoldedW(nullptr, u""), 0);
  EXPECT_LT(CompareFoldedW(nullptr, u"a"), 0);

  EXPECT_EQ(CompareL(u"abcX", u"ABCY", 3), 0);
  EXPECT_LT(CompareL(u"abcX", u"ABCY", 4), 0);
  EXPECT_EQ(CompareL(u"a", u"b", -5), 0);
  EXPECT_LT(CompareL(u"ab", u"abc", 10), 0);
  // Equal up to a common #0 well inside MaxLen: nothing beyond the terminators is read.
  EXPECT_EQ(CompareL(u"Seg", u"sEG", 1000), 0);
  const WideChar withTail1[] = {u'a', 0, u'x', 0};
  const WideChar withTail2[] = {u'A', 0, u'y', 0};
  EXPECT_EQ(CompareFoldedLW(withTail1, withTail2, 4), 0);

  // Two characters at most; empty strings sit in one-unit buffers.
  EXPECT_TRUE(SamePair(u"en", u"EN-US"));
  EXPECT_TRUE(SamePair(u"De_at", u"dE"));
  EXPECT_FALSE(SamePair(u"en", u"eS"));
  EXPECT_FALSE(SamePair(u"e", u"en"));
  EXPECT_TRUE(SamePair(u"e", u"E"));
  EXPECT_TRUE(SamePair(u"", u""));
  EXPECT_FALSE(SamePair(u"a", u""));
  EXPECT_FALSE(SameFoldedPair(nullptr, u"en"));
}
