#include "base/MyUnicodes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
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
int Compare(const WideString& a, const WideString& b) {
  return CompareFoldedW(Exact(a).get(), Exact(b).get());
}
int CompareL(const WideString& a, const WideString& b, int maxLen) {
  return CompareFoldedLW(Exact(a).get(), Exact(b).get(), maxLen);
}
bool SamePair(const WideString& a, const WideString& b) {
  return SameFoldedPair(Exact(a).get(), Exact(b).get());
}
WideString Upper(WideString s) {
  auto p = Exact(s);
  PWideChar r = FoldWStr(p.get());
  EXPECT_EQ(r, p.get());
  return WideString(p.get());
}

}  // namespace

TEST(MyUnicodes, FirstUseFromManyThreadsLoadsOneTable) {
  // Each test runs in a process of its own under CTest, so this is the table's first use there.
  std::vector<std::thread> threads;
  std::vector<int> hashes(8);
  std::vector<const TCharRecord*> tables(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      hashes[i] = HashFoldedW(u"x-TextPlaceholder");
      tables[i] = CharTable();
    });
  for (auto& t : threads) t.join();
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(hashes[i], 31313);
    EXPECT_EQ(tables[i], tables[0]);
  }
}

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
    if (t[c].Category != field(0) || t[c].LowerKey != field(1) || t[c].Upper != field(2) ||
        t[c].SearchKey != field(3))
      ++differing;
    if (c == u'*') {
      EXPECT_EQ(t[c].Category, (field(0) & 0xFF00) | 5) << "only the low byte changes";
      EXPECT_EQ(field(0) & 0xFF, 18) << "'*' is Po before the patch";
    }
  }
  EXPECT_EQ(differing, 1);
}

TEST(MyUnicodes, TableFields) {
  const TCharRecord* t = CharTable();
  auto cat = [t](WideChar c) { return t[c].Category & 0xFF; };
  auto group = [t](WideChar c) { return t[c].Category >> 8; };

  EXPECT_EQ(cat(u'A'), 1);
  EXPECT_EQ(cat(u'a'), 2);
  EXPECT_EQ(cat(u'5'), 9);
  EXPECT_EQ(cat(u' '), 23);
  EXPECT_EQ(cat(u'\t'), 26);
  EXPECT_EQ(cat(u'\u0301'), 6);   // combining acute: Mn
  EXPECT_EQ(cat(u'\u0903'), 7);   // Devanagari visarga: Mc
  EXPECT_EQ(cat(u'\u20DD'), 8);   // enclosing circle: Me
  EXPECT_EQ(cat(u'\u00AB'), 16);  // «: Pi
  EXPECT_EQ(cat(u'\u00BB'), 17);  // »: Pf
  EXPECT_EQ(cat(u'\u2028'), 24);
  EXPECT_EQ(cat(0xD800), 28);
  EXPECT_EQ(cat(0xE000), 29);
  EXPECT_EQ(cat(0x0378), 0);      // unassigned
  EXPECT_EQ(cat(u'*'), 5);

  EXPECT_EQ(group(u'A'), 1);
  EXPECT_EQ(group(u'!'), 1);
  EXPECT_EQ(group(u'\u00E9'), 1);  // é
  EXPECT_EQ(group(u'\u03B1'), 8);  // α
  EXPECT_EQ(group(u'\u0416'), 9);  // Ж

  EXPECT_EQ(t[u'\u00C0'].SearchKey, u'a');  // À
  EXPECT_EQ(t[u'\u00E9'].SearchKey, u'e');  // é
  EXPECT_EQ(t[u'\u00B2'].SearchKey, u'2');  // ²
  EXPECT_EQ(t[u'\u00AA'].SearchKey, u'a');  // ª
  EXPECT_EQ(t[u'Q'].SearchKey, u'q');

  // The comparisons stop at #0 by its key: no other unit may fold or upper-case to 0.
  for (int c = 1; c < CharTableSize; ++c) {
    ASSERT_NE(t[c].LowerKey, 0) << c;
    ASSERT_NE(t[c].Upper, 0) << c;
  }
}

TEST(MyUnicodes, FoldKeyIsTheSimpleLowerCase) {
  EXPECT_EQ(FoldKey(u'A'), u'a');
  EXPECT_EQ(FoldKey(u'a'), u'a');
  EXPECT_EQ(FoldKey(u'\u00C9'), u'\u00E9');  // É -> é, the accent kept
  EXPECT_EQ(FoldKey(u'\u00E9'), u'\u00E9');
  EXPECT_EQ(FoldKey(u'\u0130'), u'i');       // İ
  EXPECT_EQ(FoldKey(u'\u0416'), u'\u0436');  // Ж -> ж
  EXPECT_EQ(FoldKey(u'*'), u'*');
  EXPECT_EQ(FoldKey(0), 0);
}

TEST(MyUnicodes, FoldWStrUpperCasesInPlace) {
  EXPECT_EQ(Upper(u"tmx"), u"TMX");
  EXPECT_EQ(Upper(u"en-us_2"), u"EN-US_2");
  EXPECT_EQ(Upper(u"\u00E9\u00FF\u0131"), u"\u00C9\u0178I");  // é ÿ ı -> É Ÿ I
  // Units without a simple upper case stay: ß (its full form is two letters), digits, CJK.
  EXPECT_EQ(Upper(u"\u00DF9\u4E00*"), u"\u00DF9\u4E00*");
  EXPECT_EQ(Upper(u""), u"");
  EXPECT_EQ(FoldWStr(nullptr), nullptr);
}

TEST(MyUnicodes, HashValuesOfTheReadersNames) {
  const std::pair<const char16_t*, int> names[] = {
      {u"xml", 1003}, {u"tu", 248},  {u"tuv", 981},  {u"seg", 918},  {u"ept", 719},
      {u"prop", 2119}, {u"bpt", 671}, {u"ut", 227},   {u"type", 4056}, {u"end", 727},
      {u"x-TextPlaceholder", 31313}};
  for (const auto& [name, value] : names) {
    EXPECT_EQ(Hash(name), value) << std::string(name, name + std::char_traits<char16_t>::length(name));
    EXPECT_EQ(Hash(Upper(name)), value);
  }
  EXPECT_EQ(Hash(u"TU"), 248);
  EXPECT_EQ(Hash(u"Tu"), 248);
  EXPECT_EQ(Hash(u""), 0);
  EXPECT_EQ(HashFoldedW(nullptr), 0);
  // Long names wrap within 16 bits.
  WideString longName(500, u'z');
  int h = Hash(longName);
  EXPECT_GE(h, 0);
  EXPECT_LE(h, 65535);
}

TEST(MyUnicodes, CompareFoldedW) {
  EXPECT_LT(Compare(u"abc", u"ABD"), 0);
  EXPECT_EQ(Compare(u"ABC", u"abc"), 0);
  EXPECT_LT(Compare(u"ab", u"abc"), 0);
  EXPECT_GT(Compare(u"abc", u"ab"), 0);
  EXPECT_EQ(Compare(u"Tmx", u"TMX"), 0);
  EXPECT_EQ(Compare(u"\u00E9", u"\u00C9"), 0);  // é É
  EXPECT_NE(Compare(u"e", u"\u00E9"), 0);
  EXPECT_EQ(Compare(u"", u""), 0);
  EXPECT_LT(Compare(u"", u"a"), 0);
  // The result is the difference of the keys where they first differ.
  EXPECT_EQ(Compare(u"xA", u"xc"), u'a' - u'c');
  EXPECT_EQ(Compare(u"ab", u"abc"), -u'c');
  EXPECT_EQ(CompareFoldedW(nullptr, u""), 0);
  EXPECT_LT(CompareFoldedW(nullptr, u"a"), 0);
}

TEST(MyUnicodes, CompareFoldedLWStopsAtMaxLenAndAtASharedEnd) {
  EXPECT_EQ(CompareL(u"abcX", u"ABCY", 3), 0);
  EXPECT_LT(CompareL(u"abcX", u"ABCY", 4), 0);
  EXPECT_EQ(CompareL(u"a", u"b", 0), 0);
  EXPECT_EQ(CompareL(u"a", u"b", -5), 0);
  EXPECT_LT(CompareL(u"ab", u"abc", 10), 0);
  // Equal up to a common #0 well inside MaxLen: equal, and nothing beyond the terminators is read
  // (the buffers end there; what follows in a larger buffer must not matter either).
  EXPECT_EQ(CompareL(u"Seg", u"sEG", 1000), 0);
  EXPECT_EQ(CompareL(u"", u"", 1000), 0);
  const WideChar withTail1[] = {u'a', 0, u'x', 0};
  const WideChar withTail2[] = {u'A', 0, u'y', 0};
  EXPECT_EQ(CompareFoldedLW(withTail1, withTail2, 4), 0);
}

TEST(MyUnicodes, SameFoldedPairComparesTwoCharactersAtMost) {
  EXPECT_TRUE(SamePair(u"en", u"EN-US"));
  EXPECT_TRUE(SamePair(u"De_at", u"dE"));
  EXPECT_FALSE(SamePair(u"en", u"de"));
  EXPECT_FALSE(SamePair(u"en", u"eS"));
  EXPECT_FALSE(SamePair(u"e", u"en"));
  EXPECT_TRUE(SamePair(u"e", u"E"));
  // Empty strings: the one-unit buffers make any read past the #0 fail under the sanitizer.
  EXPECT_TRUE(SamePair(u"", u""));
  EXPECT_FALSE(SamePair(u"", u"a"));
  EXPECT_FALSE(SamePair(u"a", u""));
  EXPECT_TRUE(SameFoldedPair(nullptr, u""));
  EXPECT_FALSE(SameFoldedPair(nullptr, u"en"));
}
