#include "platform/core/CodePages.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

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
  // Pages that ICU names only by their standards.
  for (const auto& [number, name] : {std::pair<unsigned, const char*>{50220, "ISO-2022-JP"}, {28591, "ISO-8859-1"}}) {
    if (cp != number) continue;
    UErrorCode err = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name, &err);
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
  bool discardNonSpacing = false;
};

void FromUSubstitute(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                     int32_t length, UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason <= UCNV_IRREGULAR) {
    auto* ctx = static_cast<FromUContext*>(const_cast<void*>(context));
    ctx->lossy = true;
    if (ctx->discardNonSpacing && u_charType(codePoint) == U_NON_SPACING_MARK) {
      *err = U_ZERO_ERROR;
      return;
    }
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

// Languages written in either alphabet take their code page from the script, as Windows gives
// it to their locales (sr-Latn 1250, sr-Cyrl 1251, uz-Latn 1254...); 0 where the script does not
// decide. Latin Belarusian spells as Polish does, Latin Tatar as Turkish does.
unsigned ScriptCodePage(std::string_view lang, std::string_view script) {
  if (lang == "zh" && (script == "Hant" || script == "Hans")) return script == "Hant" ? 950 : 936;
  if (script == "Cyrl") return 1251;
  if (script != "Latn") return 0;
  for (const char* l : {"sr", "bs", "hr", "be"})
    if (lang == l) return 1250;
  for (const char* l : {"az", "uz", "tt"})
    if (lang == l) return 1254;
  return 0;
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
  // language[_territory][.codeset][@modifier]; a modifier may name the script ("sr_RS@latin"),
  // and so may a subtag of four letters ("sr_Latn_RS", "uz-Cyrl").
  std::string script;
  if (const auto at = locale.find('@'); at != std::string_view::npos) {
    std::string modifier(locale.substr(at + 1));
    for (auto& c : modifier) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (modifier == "latin" || modifier == "ijekavianlatin" || modifier == "iqtelif") script = "Latn";
    if (modifier == "cyrillic" || modifier == "ijekavian") script = "Cyrl";
  }
  auto cut = locale.find_first_of(".@");
  if (cut != std::string_view::npos) locale = locale.substr(0, cut);
  std::string lang, region;
  auto sep = locale.find_first_of("_-");
  lang = std::string(locale.substr(0, sep));
  if (sep != std::string_view::npos) region = std::string(locale.substr(sep + 1));
  if (region.size() >= 4 && std::all_of(region.begin(), region.begin() + 4, [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }) &&
      (region.size() == 4 || region[4] == '_' || region[4] == '-')) {
    if (script.empty()) {
      script = region.substr(0, 4);
      script[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(script[0])));
      for (size_t i = 1; i < 4; ++i) script[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(script[i])));
    }
    region.erase(0, std::min<size_t>(region.size(), 5));
  }
  for (auto& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (auto& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (const unsigned cp = ScriptCodePage(lang, script)) return cp;

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

unsigned CodePageForLcid(uint32_t lcid) {
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode err = U_ZERO_ERROR;
  const int32_t n = uloc_getLocaleForLCID(lcid, name, sizeof name - 1, &err);
  if (U_FAILURE(err) || n <= 0) return 0;
  char lang[ULOC_LANG_CAPACITY] = {}, script[ULOC_SCRIPT_CAPACITY] = {}, country[ULOC_COUNTRY_CAPACITY] = {};
  err = U_ZERO_ERROR;
  uloc_getLanguage(name, lang, sizeof lang - 1, &err);
  uloc_getScript(name, script, sizeof script - 1, &err);
  uloc_getCountry(name, country, sizeof country - 1, &err);
  if (U_FAILURE(err) || !*lang) return 0;
  if (const unsigned cp = ScriptCodePage(lang, script)) return cp;
  return CodePageForLocaleName(std::string(lang) + "_" + country);
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

namespace {

// Character-set names as Windows knows them, lowered, "-", "_" and blanks left out.
struct TCharsetName {
  const char* Name;
  unsigned CodePage;
};
const TCharsetName kCharsets[] = {
    {"utf8", 65001},          {"utf16", 1200},        {"utf16le", 1200},       {"ucs2", 1200},
    {"unicode", 1200},        {"iso10646ucs2", 1200}, {"utf16be", 1201},       {"unicodefffe", 1201},
    {"utf32", 12000},         {"utf32le", 12000},     {"utf32be", 12001},      {"usascii", 20127},
    {"ascii", 20127},         {"ansix3.41968", 20127}, {"latin1", 28591},      {"l1", 28591},
    {"latin2", 28592},        {"l2", 28592},          {"latin9", 28605},       {"shiftjis", 932},
    {"sjis", 932},            {"xsjis", 932},         {"mskanji", 932},        {"csshiftjis", 932},
    {"windows31j", 932},      {"eucjp", 51932},       {"xeucjp", 51932},       {"iso2022jp", 50220},
    {"csiso2022jp", 50220},   {"gb2312", 936},        {"gbk", 936},            {"xgbk", 936},
    {"csgb2312", 936},        {"gb231280", 936},      {"euccn", 936},          {"xeuccn", 936},
    {"chinese", 936},         {"ms936", 936},         {"gb18030", 54936},      {"big5", 950},
    {"csbig5", 950},          {"cnbig5", 950},        {"xxbig5", 950},         {"euckr", 949},
    {"ksc56011987", 949},   {"ksc5601", 949},        {"korean", 949},
    {"csksc56011987", 949},   {"isoir149", 949},      {"uhc", 949},            {"koi8r", 20866},
    {"cskoi8r", 20866},       {"koi8", 20866},        {"koi8u", 21866},        {"ibm866", 866},
    {"ibm850", 850},          {"ibm437", 437},        {"tis620", 874},         {"macintosh", 10000},
    {"mac", 10000},           {"xmacroman", 10000},   {"xmaccyrillic", 10007}, {"msansi", 1252},
};

}  // namespace

unsigned CodePageOfCharset(std::string_view name) {
  std::string key;
  for (const char c : name) {
    if (c == '-' || c == '_' || c == ' ') continue;
    if (static_cast<unsigned char>(c) >= 0x80 || key.size() >= 32) return 0;
    key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  unsigned cp = 0;
  for (const TCharsetName& row : kCharsets)
    if (key == row.Name) cp = row.CodePage;
  // "windows-1251", "cp1251", "x-cp1251", "iso-8859-5", "ibm866": the number tells the page.
  auto number = [&](std::string_view prefix) -> unsigned {
    if (key.size() <= prefix.size() || key.size() > prefix.size() + 5 || key.compare(0, prefix.size(), prefix) != 0)
      return 0;
    unsigned v = 0;
    for (size_t i = prefix.size(); i < key.size(); ++i) {
      if (key[i] < '0' || key[i] > '9') return 0;
      v = v * 10 + static_cast<unsigned>(key[i] - '0');
    }
    return v;
  };
  if (cp == 0) {
    for (const char* prefix : {"windows", "cp", "xcp", "ibm"}) cp = cp ? cp : number(prefix);
    // ISO-8859-n is Windows' page 28590 + n, for the parts that Windows has; 11 is its Thai page.
    const unsigned part = number("iso8859");
    if (!cp && ((part >= 1 && part <= 9) || part == 13 || part == 15)) cp = 28590 + part;
    if (!cp && part == 11) cp = 874;
  }
  if (cp == 0) return 0;
  // The Unicode pages are no code pages of ICU's tables here: their readers know them.
  if (cp == 65001 || cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001) return cp;
  return CodePageAvailable(cp) ? cp : 0;
}

TCodePageDecoder::TCodePageDecoder(unsigned codePage) : converter_(OpenByNumber(codePage)) {
  if (!converter_) return;
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setToUCallBack(static_cast<UConverter*>(converter_), ToUReplace, nullptr, nullptr, nullptr, &err);
}

TCodePageDecoder::~TCodePageDecoder() {
  if (converter_) ucnv_close(static_cast<UConverter*>(converter_));
}

void TCodePageDecoder::Reset() {
  if (converter_) ucnv_resetToUnicode(static_cast<UConverter*>(converter_));
}

void TCodePageDecoder::Decode(std::string_view bytes, std::u16string& out, bool last) {
  if (!converter_) return;
  auto* const c = static_cast<UConverter*>(converter_);
  const char* source = bytes.data();
  const char* const sourceLimit = bytes.data() + bytes.size();
  for (;;) {
    // A byte gives at most one character, a pair of units at most; what a cut left adds a few.
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(sourceLimit - source) * 2 + 8);
    UChar* target = reinterpret_cast<UChar*>(out.data() + at);
    UChar* const targetLimit = reinterpret_cast<UChar*>(out.data() + out.size());
    UErrorCode err = U_ZERO_ERROR;
    ucnv_toUnicode(c, &target, targetLimit, &source, sourceLimit, nullptr, last, &err);
    out.resize(static_cast<size_t>(reinterpret_cast<char16_t*>(target) - out.data()));
    if (err != U_BUFFER_OVERFLOW_ERROR) {
      if (U_FAILURE(err)) ucnv_resetToUnicode(c);
      return;
    }
  }
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

namespace {

std::string FromUtf16(unsigned codePage, std::u16string_view text, bool discardNonSpacing, bool* lossy, bool* ok) {
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
  ctx.discardNonSpacing = discardNonSpacing;
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

}  // namespace

std::string Utf16ToCodePage(unsigned codePage, std::u16string_view text, bool* lossy, bool* ok) {
  return FromUtf16(codePage, text, false, lossy, ok);
}

std::string Utf16ToCodePageComposed(unsigned codePage, std::u16string_view text, bool* lossy) {
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
  const auto* src = reinterpret_cast<const UChar*>(text.data());
  const auto len = static_cast<int32_t>(text.size());
  // Most text is composed already: it is converted as it stands.
  if (U_FAILURE(err) || unorm2_spanQuickCheckYes(nfc, src, len, &err) == len || U_FAILURE(err))
    return FromUtf16(codePage, text, true, lossy, nullptr);
  std::u16string composed(text.size(), u'\0');
  err = U_ZERO_ERROR;
  int32_t n = unorm2_normalize(nfc, src, len, reinterpret_cast<UChar*>(composed.data()), len, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {  // a few characters grow under composition
    composed.resize(static_cast<size_t>(n));
    err = U_ZERO_ERROR;
    n = unorm2_normalize(nfc, src, len, reinterpret_cast<UChar*>(composed.data()), n, &err);
  }
  if (U_FAILURE(err)) return FromUtf16(codePage, text, true, lossy, nullptr);
  composed.resize(static_cast<size_t>(n));
  return FromUtf16(codePage, composed, true, lossy, nullptr);
}

}  // namespace platform
