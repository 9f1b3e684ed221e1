#include "base/MD5Api.h"

void MD4Digest(const void* Data, size_t Length, TMD4Digest& Digest) {
  TMD4Context context;
  MD4Init(context);
  MD4Update(context, Data, Length);
  MD4Final(context, Digest);
}

void MD4HexDigest(std::string_view S, AnsiString& Result) {
  static constexpr char Digits[] = "0123456789abcdef";
  TMD4Digest digest;
  MD4Digest(S.data(), S.size(), digest);
  Result.resize(2 * digest.size());
  for (size_t i = 0; i < digest.size(); ++i) {
    Result[2 * i] = Digits[digest[i] >> 4];
    Result[2 * i + 1] = Digits[digest[i] & 15];
  }
}
