#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/MD5Api.h"
#include "base/MD5Core.h"

namespace {

std::string Hex(std::string_view s) {
  std::string r;
  MD4HexDigest(s, r);
  return r;
}

std::string Pattern(size_t n, unsigned mul, unsigned div) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * mul + (div ? i / div : 3)) & 255);
  return s;
}

// Feeds s in pieces of the given sizes, in turn, to the end.
std::string HexInPieces(const std::string& s, const std::vector<size_t>& pieces) {
  TMD4Context ctx;
  MD4Init(ctx);
  size_t pos = 0;
  for (size_t k = 0; pos < s.size(); ++k) {
    const size_t n = std::min(pieces[k % pieces.size()], s.size() - pos);
    MD4Update(ctx, s.data() + pos, n);
    pos += n;
  }
  TMD4Digest d;
  MD4Final(ctx, d);
  std::string r;
  for (uint8_t b : d) {
    static const char digits[] = "0123456789abcdef";
    r += digits[b >> 4];
    r += digits[b & 15];
  }
  return r;
}

}  // namespace

TEST(MD4Test, Rfc1320Suite) {
  EXPECT_EQ(Hex(""), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(Hex("a"), "bde52cb31de33e46245e05fbdbd6fb24");
  EXPECT_EQ(Hex("abc"), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(Hex("message digest"), "d9130a8164549fe818874806e1c7014b");
  EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), "d79e1c308aa5bbcdeea8ed63df412da9");
  EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "043f8582f241db351ce627e153e7f0e4");
  EXPECT_EQ(Hex("1234567890123456789012345678901234567890"
                "1234567890123456789012345678901234567890"),
            "e33b4ddc9c38f2199c3e7b164fcc0536");
}

// Lengths around the padding boundary: 55 still fits the length in the last block, 56 to 63
// need an extra block, 64 and 65 start a new one.
TEST(MD4Test, PaddingBoundaries) {
  const struct {
    size_t Length;
    const char* Digest;
  } cases[] = {
      {55, "04d44dc3dbdcf7604f259009de6e352f"},  {56, "cdbc435e37e7a468d04702cf9eba65bb"},
      {63, "45a8744e99878276c47927b0164921f4"},  {64, "87733dbe6c3fc125ee30897c751bd9d6"},
      {65, "82dd3042d4378ef1b420f15c61975b8b"},  {119, "2c38b59be6919f10ba8ba7353ef288f7"},
      {120, "4414f924c8b7da56ae0dbe0896989660"}, {128, "15cb31f3af813097fd7a706b860c5e2e"},
  };
  for (const auto& c : cases) {
    const std::string s = Pattern(c.Length, 7, 0);
    EXPECT_EQ(Hex(s), c.Digest) << c.Length;
    EXPECT_EQ(HexInPieces(s, {1}), c.Digest) << c.Length;
  }
}

TEST(MD4Test, LongInputsInAnyPieces) {
  const std::string big = Pattern(5 * 1024 * 1024 + 17, 31, 251);
  const char* expected = "6e60fd49cca42c15427796c102d335b3";
  EXPECT_EQ(Hex(big), expected);
  EXPECT_EQ(HexInPieces(big, {63, 64, 65, 1, 4097, 0}), expected);
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "bbce80cc6bb65e5c6745e30d4eeca9a4");
}

TEST(MD4Test, HexOfBytesAndFinalClearsContext) {
  // The bytes as they are: a Latin-1 byte is hashed as one byte, not as UTF-8.
  EXPECT_EQ(Hex("caf\xe9 <b>"), "7ef76ea4c15d0c7d7199054eed99ac0f");

  std::string reused = "something longer than thirty-two characters already";
  MD4HexDigest("abc", reused);
  EXPECT_EQ(reused, "a448017aaf21d8525fc10ae87aa6729d");

  TMD4Context ctx;
  MD4Init(ctx);
  MD4Update(ctx, "abc", 3);
  TMD4Digest d;
  MD4Final(ctx, d);
  const TMD4Context zero{};
  EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0);
}
