#include "htmlview/text/HtmlBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <mutex>
#include <string_view>

#include "platform/core/CodePages.h"

namespace htmlview {
namespace {

struct CharSetRow {
  int charSet, codePage;
};
// Searched in this order both ways; code page 0 is the system's ANSI page, 1 its OEM page, 2
// the Macintosh page.
constexpr CharSetRow kCharSets[] = {
    {0, 1252},  {1, 0},     {2, 0},     {77, 2},    {128, 932}, {129, 949},  {130, 1361},
    {134, 936}, {136, 950}, {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},
    {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}, {255, 1},   {31, 28592}};
// Code pages that only named charsets bring: their font char set.
constexpr CharSetRow kReverseOnly[] = {{204, 20866}, {204, 21866}, {204, 866},   {204, 28595}, {162, 28593},
                                       {186, 28594}, {161, 28597}, {0, 28605},   {128, 51932}};

struct NamedRow {
  const char* name;
  int charSet, codePage;  // codePage INT32_MIN: from the char set
};
constexpr int kFromCharSet = INT32_MIN;
constexpr NamedRow kNamed[] = {
    {"1250", 238, 1250},       {"1251", 204, 1251},   {"1252", 0, 1252},        {"1253", 161, 1253},
    {"1254", 162, 1254},       {"1255", 177, 1255},   {"1256", 178, 1256},      {"1257", 186, 1257},
    {"1258", 163, 1258},       {"5601", 129, 949},    {"866", 204, 866},        {"874", 222, 874},
    {"8859-1", 0, 1252},       {"8859-2", 31, 28592}, {"8859-3", 162, 28593},   {"8859-4", 186, 28594},
    {"8859-5", 204, 28595},    {"8859-7", 161, 28597}, {"8859-9", 162, 1254},   {"8859-15", 0, 28605},
    {"932", 128, 932},         {"936", 134, 936},     {"949", 129, 949},        {"950", 136, 950},
    {"ansi", 0, 1252},         {"arabic", 178, 1256}, {"big5", 136, 950},       {"default", 1, 0},
    {"easteurope", 238, 1250}, {"euc-jp", 128, 51932}, {"euc-kr", 129, 949},    {"gb2312", 134, 936},
    {"greek", 161, 1253},      {"hangeul", 129, 949}, {"hebrew", 177, 1255},    {"johab", 130, 1361},
    {"koi", 204, 20866},       {"koi8-u", 204, 21866}, {"oem", 255, 1},         {"russian", 204, 1251},
    {"shift_jis", 128, 932},   {"shiftjis", 128, 932}, {"symbol", 2, 0},        {"thai", 222, 874},
    {"tis-620", 222, 874},     {"turkish", 162, 1254}, {"utf-16be", 1, CP_UTF16BE}, {"utf-16le", 1, CP_UTF16LE},
    {"utf-8", 1, CP_UTF8},     {"vietnamese", 163, 1258}, {"x-sjis", 128, 932}};

char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

// Sorted case-insensitively (the names are lower-case ASCII already).
const std::vector<TBuffCharSetCodePageInfo>& CharSetList() {
  static const std::vector<TBuffCharSetCodePageInfo> list = [] {
    std::vector<TBuffCharSetCodePageInfo> l;
    for (const NamedRow& r : kNamed) {
      std::u16string n(r.name, r.name + std::char_traits<char>::length(r.name));
      l.push_back({n, static_cast<uint16_t>(r.charSet),
                   r.codePage == kFromCharSet ? CharSetToCodePage(r.charSet) : r.codePage});
    }
    std::sort(l.begin(), l.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return l;
  }();
  return list;
}

// One table per single-byte code page for the whole program; a page the converter does not know
// keeps ASCII and turns every byte from $80 into U+FFFD. Byte 0 is U+FFFD: the end of the data is
// the only #0 a reader sees.
const char16_t* SingleByteTable(unsigned cp) {
  static std::mutex mutex;
  static std::map<unsigned, std::array<char16_t, 256>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find(cp);
  if (it == tables.end()) {
    std::array<char16_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
      char byte = static_cast<char>(b);
      bool ok = false;
      std::u16string s = b < 0x80 ? std::u16string(1, static_cast<char16_t>(b))
                                  : platform::CodePageToUtf16(cp, std::string_view(&byte, 1), &ok);
      t[b] = (b < 0x80 || ok) && s.size() == 1 ? s[0] : u'\xFFFD';
    }
    t[0] = 0xFFFD;
    it = tables.emplace(cp, t).first;
  }
  return it->second.data();
}

// The characters of a double-byte page by lead and trail byte (and, for EUC-JP's three-byte
// form, by its two last bytes), made once per page: reading never converts a pair by itself.
// U+FFFD: the bytes do not convert; U+FFFF: they give a surrogate pair, converted when met.
const char16_t* MultiByteTable(unsigned cp, bool threeByte) {
  static std::mutex mutex;
  static std::map<std::pair<unsigned, bool>, std::vector<char16_t>> tables;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = tables.find({cp, threeByte});
  if (it == tables.end()) {
    std::vector<char16_t> t(65536, u'\xFFFD');
    for (int lead = threeByte ? 0xA1 : 0x81; lead < 0x100; ++lead)
      for (int trail = threeByte ? 0xA1 : 0x21; trail < 0x100; ++trail) {
        const char bytes[3] = {static_cast<char>(threeByte ? 0x8F : lead), static_cast<char>(threeByte ? lead : trail),
                               static_cast<char>(trail)};
        bool ok = false;
        const std::u16string s = platform::CodePageToUtf16(cp, std::string_view(bytes, threeByte ? 3 : 2), &ok);
        if (!ok || s.empty() || s[0] == 0xFFFD) continue;
        if (s.size() == 1) t[lead << 8 | trail] = s[0];
        if (s.size() == 2 && s[0] >= 0xD800 && s[0] < 0xDC00 && s[1] >= 0xDC00 && s[1] < 0xE000)
          t[lead << 8 | trail] = 0xFFFF;
      }
    it = tables.emplace(std::make_pair(cp, threeByte), std::move(t)).first;
  }
  return it->second.data();
}

bool Contains(std::u16string_view hay, std::u16string_view needle) {
  return hay.find(needle) != std::u16string_view::npos;
}

}  // namespace

unsigned ResolveCodePage(int cp) {
  if (cp == 0) return platform::AnsiCodePage();
  if (cp == 1) {
    switch (platform::AnsiCodePage()) {
      case 1252: return 850;
      case 1250: return 852;
      case 1251: return 866;
      case 1253: return 737;
      case 1254: return 857;
      case 1255: return 862;
      case 1256: return 720;
      case 1257: return 775;
      default: return platform::AnsiCodePage();
    }
  }
  if (cp == 2) return 10000;
  return cp < 0 ? 0 : static_cast<unsigned>(cp);
}

int CharSetToCodePage(int charSet) {
  for (const CharSetRow& r : kCharSets)
    if (r.charSet == charSet) return r.codePage;
  throw EConversionError("Don't know equivalent code page for char set " + std::to_string(charSet) + ".");
}

int CodePageToCharSet(int codePage) {
  for (const CharSetRow& r : kCharSets)
    if (r.codePage == codePage) return r.charSet;
  for (const CharSetRow& r : kReverseOnly)
    if (r.codePage == codePage) return r.charSet;
  throw EConversionError("Don't know equivalent char set for code page " + std::to_string(codePage) + ".");
}

const TBuffCharSetCodePageInfo* FindCharSetInfo(const std::u16string& name) {
  const auto& list = CharSetList();
  std::u16string lower(name);
  for (char16_t& c : lower) c = Lower(c);
  for (const auto& e : list)
    if (e.Name == lower) return &e;
  for (auto it = list.rbegin(); it != list.rend(); ++it)
    if (Contains(lower, it->Name)) return &*it;
  return nullptr;
}

int PosFrom(const std::u16string& sub, const std::u16string& s, int from) {
  if (from < 1) from = 1;
  if (static_cast<size_t>(from) > s.size() + 1) return 0;
  size_t p = s.find(sub, static_cast<size_t>(from - 1));
  return p == std::u16string::npos ? 0 : static_cast<int>(p) + 1;
}

TBuffer::TBuffer(TStream& stream, const std::u16string& name) : Name(name) {
  uint8_t chunk[65536];
  for (;;) {
    int64_t n = stream.Read(chunk, sizeof chunk);
    if (n <= 0) break;
    Data.insert(Data.end(), chunk, chunk + n);
  }
  Detect();
}

TBuffer::TBuffer(std::vector<uint8_t> data, const std::u16string& name) : Data(std::move(data)), Name(name) {
  Detect();
}

TBuffer TBuffer::FromString(const std::u16string& text, const std::u16string& name) {
  TBuffer b;
  b.Name = name;
  b.Data.resize(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    b.Data[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
    b.Data[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
  b.CodePage = b.RawCodePage = CP_UTF16LE;
  b.CharSet = 0xFFFF;
  b.settled_ = true;
  return b;
}

void TBuffer::Detect() {
  const size_t n = Data.size();
  auto at = [&](size_t i, std::initializer_list<uint8_t> bytes) {
    if (i + bytes.size() > n) return false;
    return std::equal(bytes.begin(), bytes.end(), Data.begin() + static_cast<ptrdiff_t>(i));
  };
  if (at(0, {0xEF, 0xBB, 0xBF})) {
    CodePage = RawCodePage = CP_UTF8;
    CharSet = 1;
    settled_ = true;
    pos_ = 3;
    return;
  }
  if (at(0, {0xFF, 0xFE}) || at(0, {0xFE, 0xFF})) {
    CodePage = RawCodePage = Data[0] == 0xFF ? CP_UTF16LE : CP_UTF16BE;
    CharSet = 0xFFFF;
    settled_ = true;
    pos_ = 2;
    return;
  }
  auto find = [&](size_t from, std::initializer_list<uint8_t> pattern) -> size_t {
    auto it = std::search(Data.begin() + static_cast<ptrdiff_t>(std::min(from, n)), Data.end(), pattern.begin(),
                          pattern.end());
    return it == Data.end() ? SIZE_MAX : static_cast<size_t>(it - Data.begin());
  };
  size_t a = find(0, {0x1B, 0x24, 0x40}), b = find(0, {0x1B, 0x24, 0x42});
  if (a != SIZE_MAX || b != SIZE_MAX) {
    size_t start = a == SIZE_MAX ? b : b == SIZE_MAX ? a : std::max(a, b);
    if (find(start, {0x1B, 0x28, 0x4A}) != SIZE_MAX || find(start, {0x1B, 0x28, 0x42}) != SIZE_MAX) {
      CharSet = 128;
      CodePage = RawCodePage = CP_ISO2022JP;
      settled_ = true;
      return;
    }
  }
  CharSet = 1;
  CodePage = RawCodePage = CharSetToCodePage(1);
}

void TBuffer::SetCodePage(int value) {
  if (!settled_) CodePage = value;
}

void TBuffer::SetPosition(int value) {
  size_t v = static_cast<size_t>(std::clamp(value, 0, Size()));
  // A low surrogate still owed belongs to the place where its high half was read.
  if (v != pos_) pendingLow_ = 0;
  pos_ = v;
}

char16_t TBuffer::Unit() {
  const size_t left = Data.size() - pos_;
  if (RawCodePage != CP_UTF16LE && RawCodePage != CP_UTF16BE) return Data[pos_++];
  if (left < 2) {  // a last odd byte
    pos_ = Data.size();
    return 0xFFFD;
  }
  uint8_t b0 = Data[pos_], b1 = Data[pos_ + 1];
  pos_ += 2;
  char16_t u = RawCodePage == CP_UTF16LE ? static_cast<char16_t>(b0 | b1 << 8) : static_cast<char16_t>(b1 | b0 << 8);
  return u == 0 ? u'\xFFFD' : u;
}

char16_t TBuffer::DecodeUtf8(uint8_t lead) {
  int count;
  uint32_t value;
  uint8_t lo = 0x80, hi = 0xBF;  // range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1, value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2, value = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3, value = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;  // overlong
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0xFFFD;
  }
  for (int i = 0; i < count; ++i) {
    if (pos_ >= Data.size()) return 0xFFFD;
    uint8_t c = Data[pos_];
    if (c < lo || c > hi) return 0xFFFD;  // the offending byte is read again
    lo = 0x80, hi = 0xBF;
    ++pos_;
    value = value << 6 | (c & 0x3F);
  }
  if (value < 0x10000) return static_cast<char16_t>(value);
  value -= 0x10000;
  pendingLow_ = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  return static_cast<char16_t>(0xD800 + (value >> 10));
}

char16_t TBuffer::DecodeDoubleByte(unsigned cp, uint8_t lead, int trailBytes) {
  if (Data.size() - pos_ < static_cast<size_t>(trailBytes)) {
    pos_ = Data.size();
    return 0xFFFD;
  }
  const bool three = trailBytes == 2;
  const uint8_t b1 = three ? Data[pos_] : lead, b2 = Data[pos_ + (three ? 1 : 0)];
  const char16_t c = MultiByteTable(cp, three)[b1 << 8 | b2];
  if (c == 0xFFFD) return 0xFFFD;  // the trail is read again
  if (c != 0xFFFF) {
    pos_ += static_cast<size_t>(trailBytes);
    return c;
  }
  const char bytes[3] = {static_cast<char>(lead), static_cast<char>(Data[pos_]),
                         static_cast<char>(three ? Data[pos_ + 1] : 0)};
  const std::u16string s = platform::CodePageToUtf16(cp, std::string_view(bytes, 1 + trailBytes));
  pos_ += static_cast<size_t>(trailBytes);
  pendingLow_ = s[1];
  return s[0];
}

char16_t TBuffer::DecodeJis() {
  for (;;) {
    if (pos_ >= Data.size()) return 0;
    const uint8_t b = Data[pos_];
    if (b == 0x1B && Data.size() - pos_ >= 3) {
      const uint8_t e1 = Data[pos_ + 1], e2 = Data[pos_ + 2];
      int mode = -1;
      if (e1 == 0x24 && e2 == 0x40) mode = 2;
      if (e1 == 0x24 && e2 == 0x42) mode = 3;
      if (e1 == 0x28 && e2 == 0x42) mode = 0;
      if (e1 == 0x28 && e2 == 0x4A) mode = 1;
      if (mode >= 0) {
        JisMode = static_cast<uint8_t>(mode);
        pos_ += 3;
        continue;
      }
    }
    ++pos_;
    if (b == 0) return 0xFFFD;
    // Controls stay themselves in the two-byte modes too, so that line ends survive.
    if (JisMode < 2 || b < 0x21 || b > 0x7E) {
      if (b < 0x80) return b;
      return SingleByteTable(932)[b];
    }
    if (pos_ >= Data.size()) return 0xFFFD;
    const uint8_t j2 = Data[pos_];
    if (j2 < 0x21 || j2 > 0x7E) return 0xFFFD;
    ++pos_;
    const uint8_t lead = static_cast<uint8_t>(((b + 1) >> 1) + (b <= 0x5E ? 0x70 : 0xB0));
    const uint8_t trail = static_cast<uint8_t>((b & 1) ? j2 + 0x1F + (j2 > 0x5F ? 1 : 0) : j2 + 0x7E);
    const char16_t c = MultiByteTable(932, false)[lead << 8 | trail];
    return c == 0xFFFF ? u'\xFFFD' : c;
  }
}

char16_t TBuffer::DecodeNext() {
  if (pendingLow_) {
    char16_t low = pendingLow_;
    pendingLow_ = 0;
    return low;
  }
  if (pos_ >= Data.size()) return 0;
  switch (CodePage) {
    case CP_UTF16LE:
    case CP_UTF16BE: {
      // A document may name UTF-16 while its bytes are read one by one: zero is still no end.
      const char16_t u = Unit();
      return u == 0 ? u'\xFFFD' : u;
    }
    case CP_ISO2022JP: return DecodeJis();
    case CP_UTF8: {
      char16_t u = Unit();
      if (u == 0) return 0xFFFD;
      return u < 0x80 ? u : DecodeUtf8(static_cast<uint8_t>(u));
    }
    default: break;
  }
  const char16_t u = Unit();
  if (u == 0) return 0xFFFD;
  const unsigned cp = ResolveCodePage(CodePage);
  const uint8_t b = static_cast<uint8_t>(u);
  switch (cp) {
    case 932:
      if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) return DecodeDoubleByte(cp, b, 1);
      break;
    case 936:
    case 949:
      if (b >= 0x81 && b <= 0xFE) return DecodeDoubleByte(cp, b, 1);
      break;
    case 950:
      if (b >= 0xA1 && b <= 0xF9) return DecodeDoubleByte(cp, b, 1);
      break;
    case 51932:
      if (b == 0x8E || (b >= 0xA1 && b <= 0xFE)) return DecodeDoubleByte(cp, b, 1);
      if (b == 0x8F) return DecodeDoubleByte(cp, b, 2);
      break;
    default: break;
  }
  if (tableFor_ != static_cast<int>(cp)) {
    table_ = SingleByteTable(cp);
    tableFor_ = static_cast<int>(cp);
  }
  return table_[b];
}

bool TBuffer::MayHaveAfterLessThan(std::string_view chars) const {
  if (pendingLow_ || !ByteWise()) return true;
  if (CodePage != CP_UTF8) {
    const unsigned cp = ResolveCodePage(CodePage);
    if (cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 51932) return true;
    const char16_t* table = SingleByteTable(cp);
    for (int b = 0x80; b < 0x100; ++b)
      if (table[b] < 0x80) return true;
  }
  const uint8_t* p = Data.data() + pos_;
  const uint8_t* const end = Data.data() + Data.size();
  while (p < end) {
    p = static_cast<const uint8_t*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    if (!p || ++p == end) return false;
    if (chars.find(static_cast<char>(*p)) != std::string_view::npos) return true;
  }
  return false;
}

char16_t TBuffer::PeekChar() {
  const size_t pos = pos_;
  const uint8_t jis = JisMode;
  const char16_t low = pendingLow_;
  char16_t c = NextChar();
  pos_ = pos, JisMode = jis, pendingLow_ = low;
  return c;
}

std::u16string TBuffer::GetString(int fromPos, int toPos) {
  std::u16string out;
  if (toPos <= fromPos) return out;
  const size_t pos = pos_;
  const uint8_t jis = JisMode;
  const char16_t low = pendingLow_;
  pos_ = static_cast<size_t>(std::clamp(fromPos, 0, Size()));
  pendingLow_ = 0;
  const size_t end = static_cast<size_t>(std::min(toPos, Size()));
  out.reserve(end - std::min(end, pos_));
  while (pos_ < end) {
    const char16_t c = NextChar();
    if (c == 0) break;  // only escapes were left
    out.push_back(c);
  }
  if (pendingLow_) out.push_back(pendingLow_);  // never end on half a pair
  pos_ = pos, JisMode = jis, pendingLow_ = low;
  return out;
}

}  // namespace htmlview
