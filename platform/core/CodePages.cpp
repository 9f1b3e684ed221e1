#include "platform/core/CodePages.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>

namespace platform {
namespace {

std::atomic<unsigned> g_ansiCodePage{0};

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

UConverter* OpenByNumber(unsigned cp) {
  // ICU knows some Windows numbers only by their names.
  if (cp == 51932) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* c = ucnv_open("EUC-JP", &err);
    if (c && U_SUCCESS(err)) return c;
    if (c) ucnv_close(c);
    return nullptr;
  }
  const std::string n = std::to_string(cp);
  // Windows numbers first, then the IBM and plain "cp" aliases under which ICU knows the rest.
  for (const std::string& name : {"windows-" + n, "cp" + n, "ibm-" + n}) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name.c_str(), &err);
    if (c && U_SUCCESS(err)) return c;
    if (c) ucnv_close(c);
  }
  return nullptr;
}

// Converters are not thread-safe: each thread keeps its own, opened once per code page.
UConverter* Converter(unsigned cp) {
  thread_local std::unordered_map<unsigned, ConverterPtr> cache;
  auto it = cache.find(cp);
  if (it == cache.end()) {
    UConverter* c = OpenByNumber(cp);
    if (c) {
      UErrorCode err = U_ZERO_ERROR;
      ucnv_setSubstChars(c, "?", 1, &err);
    }
    it = cache.emplace(cp, ConverterPtr(c)).first;
  }
  UConverter* c = it->second.get();
  if (c) ucnv_reset(c);
  return c;
}

struct FromUContext {
  bool lossy = false;
};

void FromUSubstitute(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                     int32_t length, UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason <= UCNV_IRREGULAR) {
    static_cast<FromUContext*>(const_cast<void*>(context))->lossy = true;
  }
  UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, err);
}

void ToUReplace(const void*, UConverterToUnicodeArgs* args, const char*, int32_t, UConverterCallbackReason reason,
                UErrorCode* err) {
  if (reason <= UCNV_IRREGULAR) {
    static const UChar replacement = 0xFFFD;
    *err = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
  }
}

unsigned CodePageFromEnvironment() {
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return CodePageForLocaleName(v);
  }
  return 1252;
}

}  // namespace

unsigned CodePageForLocaleName(std::string_view locale) {
  auto cut = locale.find_first_of(".@");
  if (cut != std::string_view::npos) locale = locale.substr(0, cut);
  std::string lang, region;
  auto sep = locale.find_first_of("_-");
  lang = std::string(locale.substr(0, sep));
  if (sep != std::string_view::npos) region = std::string(locale.substr(sep + 1));
  for (auto& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  struct Row {
    const char* lang;
    unsigned cp;
  };
  static const Row rows[] = {
      {"pl", 1250}, {"cs", 1250}, {"hu", 1250}, {"sk", 1250}, {"sl", 1250}, {"hr", 1250}, {"ro", 1250},
      {"sq", 1250}, {"bs", 1250}, {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251}, {"mk", 1251},
      {"sr", 1251}, {"kk", 1251}, {"ky", 1251}, {"tt", 1251}, {"mn", 1251}, {"el", 1253}, {"tr", 1254},
      {"az", 1254}, {"uz", 1254}, {"he", 1255}, {"iw", 1255}, {"yi", 1255}, {"ar", 1256}, {"fa", 1256},
      {"ur", 1256}, {"lt", 1257}, {"lv", 1257}, {"et", 1257}, {"vi", 1258}, {"th", 874},  {"ja", 932},
      {"ko", 949},
  };
  if (lang == "zh") {
    return (region == "TW" || region == "HK" || region == "MO") ? 950 : 936;
  }
  for (const Row& r : rows) {
    if (lang == r.lang) return r.cp;
  }
  return 1252;
}

unsigned AnsiCodePage() {
  unsigned cp = g_ansiCodePage.load();
  if (cp == 0) {
    cp = CodePageFromEnvironment();
    if (!CodePageAvailable(cp)) cp = 1252;
    unsigned expected = 0;
    if (!g_ansiCodePage.compare_exchange_strong(expected, cp)) cp = expected;
  }
  return cp;
}

void SetAnsiCodePage(unsigned codePage) { g_ansiCodePage.store(codePage); }

bool CodePageAvailable(unsigned codePage) { return Converter(codePage) != nullptr; }

const bool* CodePageLeadBytes(unsigned codePage) {
  struct Starters {
    bool any = false;
    bool lead[256] = {};
  };
  thread_local std::unordered_map<unsigned, Starters> cache;
  auto it = cache.find(codePage);
  if (it == cache.end()) {
    Starters s;
    if (UConverter* c = Converter(codePage); c && ucnv_getMaxCharSize(c) > 1) {
      UBool starters[256] = {};
      UErrorCode err = U_ZERO_ERROR;
      ucnv_getStarters(c, starters, &err);
      if (U_SUCCESS(err))
        for (int b = 0; b < 256; ++b) s.any |= (s.lead[b] = starters[b] != 0);
    }
    it = cache.emplace(codePage, s).first;
  }
  return it->second.any ? it->second.lead : nullptr;
}

std::u16string CodePageToUtf16(unsigned codePage, std::string_view bytes, bool* ok) {
  if (ok) *ok = true;
  std::u16string out;
  if (bytes.empty()) return out;
  UConverter* c = Converter(codePage);
  if (!c) {
    if (ok) *ok = false;
    return out;
  }
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(c, ToUReplace, nullptr, nullptr, nullptr, &err);
  out.resize(bytes.size() * 2 + 2);
  err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), bytes.data(),
                            static_cast<int32_t>(bytes.size()), &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(n);
    err = U_ZERO_ERROR;
    ucnv_reset(c);
    n = ucnv_toUChars(c, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()) + 1, bytes.data(),
                      static_cast<int32_t>(bytes.size()), &err);
  }
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) {
    if (ok) *ok = false;
    return std::u16string();
  }
  out.resize(n);
  return out;
}

std::string Utf16ToCodePage(unsigned codePage, std::u16string_view text, bool* lossy, bool* ok) {
  if (lossy) *lossy = false;
  if (ok) *ok = true;
  std::string out;
  if (text.empty()) return out;
  UConverter* c = Converter(codePage);
  if (!c) {
    if (ok) *ok = false;
    return out;
  }
  FromUContext ctx;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setFromUCallBack(c, FromUSubstitute, &ctx, nullptr, nullptr, &err);
  out.resize(text.size() * static_cast<size_t>(ucnv_getMaxCharSize(c)) + 4);
  err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(c, out.data(), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &err);
  if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) {
    if (ok) *ok = false;
    return std::string();
  }
  out.resize(n);
  if (lossy) *lossy = ctx.lossy;
  return out;
}

}  // namespace platform
