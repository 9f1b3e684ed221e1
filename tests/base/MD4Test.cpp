#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/MD5Api.h"
#include "base/MD5Core.h"

namespace {

std::string Hex(std::string_view s) {
  std::string r = "something longer than thirty-two characters already";  // replaced whole
  MD4HexDigest(s, r);
  return r;
}

// The digest of s fed in pieces of the given sizes, in turn, to the end.
TMD4Digest InPieces(const std::string& s, const std::vector<size_t>& pieces) {
  TMD4Context ctx;
  MD4Init(ctx);
  for (size_t k = 0, pos = 0, n; pos < s.size(); pos += n, ++k) {
    n = std::min(pieces[k % pieces.size()], s.size() - pos);
    MD4Update(ctx, s.data() + pos, n);
  }
  TMD4Digest d;
  MD4Final(ctx, d);
  const TMD4Context zero{};
  EXPECT_EQ(std::memcmp(&ctx, &zero, sizeof ctx), 0) << "the context is cleared";
  return d;
}

}  // namespace

TEST(MD4Test, Rfc1320SuiteAndRawBytes) {
  EXPECT_EQ(Hex(""), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(Hex("a"), "bde52cb31de33e46245e05fbdbd6fb24");
  EXPECT_EQ(Hex("abc"), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(Hex("message digest"), "d9130a8164549fe818874806e1c7014b");
  EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "043f8582f241db351ce627e153e7f0e4");
  EXPECT_EQ(Hex("1234567890123456789012345678901234567890"
                "1234567890123456789012345678901234567890"),
            "e33b4ddc9c38f2199c3e7b164fcc0536");
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "bbce80cc6bb65e5c6745e30d4eeca9a4");
  // The bytes as they are: a Latin-1 byte is hashed as one byte, not as UTF-8.
  EXPECT_EQ(Hex("caf\xe9 <b>"), "7ef76ea4c15d0c7d7199054eed99ac0f");
}

// Lengths around the padding boundary: 55 still fits the length in the last block, 56 to 63
// need an extra block, 64 and 65 start a new one; fed whole and in pieces.
TEST(MD4Test, PaddingBoundariesAndPieces) {
  const std::pair<size_t, const char*> cases[] = {
      {55, "04d44dc3dbdcf7604f259009de6e352f"},  {56, "cdbc435e37e7a468d04702cf9eba65bb"},
      {63, "45a8744e99878276c47927b0164921f4"},  {64, "87733dbe6c3fc125ee30897c751bd9d6"},
      {65, "82dd3042d4378ef1b420f15c61975b8b"},  {119, "2c38b59be6919f10ba8ba7353ef288f7"},
      {120, "4414f924c8b7da56ae0dbe0896989660"}, {128, "15cb31f3af813097fd7a706b860c5e2e"},
  };
  for (const auto& [length, digest] : cases) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = static_cast<char>((i * 7 + 3) & 255);
    EXPECT_EQ(Hex(s), digest) << length;
    TMD4Digest whole;
    MD4Digest(s.data(), s.size(), whole);
    EXPECT_EQ(InPieces(s, {1, 200}), whole) << length;
    EXPECT_EQ(InPieces(s, {63, 0, 2}), whole) << length;
  }
}
