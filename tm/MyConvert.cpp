#include "tm/MyConvert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define MIRELCON_SCAN_AVX2 1
#endif

#include "base/MyFileStream.h"
#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"
#include "platform/core/CodePages.h"
#include "platform/core/Files.h"
#include "platform/core/Utf8.h"
#include "tm/TUStream.h"
#include "unicode/UniClasses.h"
#include "unicode/UniSysUtils.h"

// ---------------------------------------------------------------------------------------------
TUtf8Stops MakeUtf8Stops(bool controls, std::string_view ascii, std::string_view leads, bool nonChars) {
  TUtf8Stops t{};
  for (int b = 0; b < 256; ++b) {
    t.Low[b] = 0x80;
    t.High[b] = 0xBF;
    if (b < 0x80) t.Length[b] = controls && b < 0x20 ? 0 : 1;
    else if (b >= 0xC2 && b <= 0xDF) t.Length[b] = 2;
    else if (b >= 0xE0 && b <= 0xEF) t.Length[b] = 3;
    else if (b >= 0xF0 && b <= 0xF4) t.Length[b] = 4;
  }
  // No overlong forms, nothing beyond U+10FFFF.
  t.Low[0xE0] = 0xA0;
  t.Low[0xF0] = 0x90;
  t.High[0xF4] = 0x8F;
  t.Controls = controls;
  for (const char c : ascii) {
    t.Length[static_cast<unsigned char>(c)] = 0;
    if (t.AsciiCount < 5) t.Ascii[t.AsciiCount++] = 0x0101010101010101ull * static_cast<unsigned char>(c);
  }
  for (const char c : leads) {
    t.Length[static_cast<unsigned char>(c)] = 0;
    if (static_cast<unsigned char>(c) >= 0xC2 && static_cast<unsigned char>(c) <= 0xDF) t.TwoByteLeads = false;
  }
  t.NonChars = nonChars;
  for (int b = 'a'; b < 0x80; ++b)
    if (t.Length[b] == 1) {
      t.PlainByte = static_cast<uint8_t>(b);
      break;
    }
  t.TwoByteLeadMin = 0xE0;
  while (t.TwoByteLeadMin > 0xC2 && t.Length[t.TwoByteLeadMin - 1] == 2) --t.TwoByteLeadMin;
  return t;
}

namespace {

// One character at s[i] as the stops allow it: its length, or 0 when a scan stops there.
size_t CharLength(const uint8_t* s, size_t i, size_t n, const TUtf8Stops& stops) {
  const uint8_t lead = s[i];
  const size_t length = stops.Length[lead];
  if (length <= 1) return length;
  if (n - i < length || s[i + 1] < stops.Low[lead] || s[i + 1] > stops.High[lead]) return 0;
  if (length >= 3 && (s[i + 2] & 0xC0) != 0x80) return 0;
  if (length == 4 && (s[i + 3] & 0xC0) != 0x80) return 0;
  if (stops.NonChars && lead == 0xEF && s[i + 1] == 0xBF && s[i + 2] >= 0xBE) return 0;
  return length;
}

}  // namespace

#if defined(__SSE2__)
namespace {

// The scan with its count of ASCII stops fixed, so that their compares unroll.
template <int kAsciiCount>
size_t ScanUtf8Blocks(const uint8_t* const s, const size_t n, const TUtf8Stops& stops) {
  size_t i = 0;
  // Sixteen bytes at a time: ASCII that is no stop and two-byte forms go by in the block, so
  // that text of one script mixed with blanks and digits, as most is, needs no byte-wise look.
  // The bytes compare as signed: continuation bytes are those below -64 (0xC0), two-byte leads
  // those from TwoByteLeadMin to -33 (0xDF). Only a byte that the block cannot settle is looked
  // at alone; the end of the text is read as the block that ends with it (or, in text shorter
  // than a block, as a block padded with a byte that is no stop).
  const __m128i asciiFloor = _mm_set1_epi8(stops.Controls ? 0x1F : -1);
  __m128i ascii[kAsciiCount > 0 ? kAsciiCount : 1];
  for (int k = 0; k < kAsciiCount; ++k) ascii[k] = _mm_set1_epi8(static_cast<char>(stops.Ascii[k] & 0xFF));
  const bool twoByte = stops.TwoByteLeadMin <= 0xDF;
  const __m128i contTop = _mm_set1_epi8(twoByte ? -64 : -128);
  const __m128i leadFloor = _mm_set1_epi8(static_cast<char>(stops.TwoByteLeadMin - 1)), leadTop = _mm_set1_epi8(-32);
  alignas(16) uint8_t last[16];
  while (i < n) {
    __m128i v;
    // The end of text of 16 bytes or more is read as the block that ends with it, the bytes
    // before i left out of the masks (i stands after a whole character, so none of them pairs
    // with one after it); shorter text is copied into a padded block.
    unsigned skip = 0;
    if (n - i >= 16) {
      v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    } else if (n >= 16) {
      skip = static_cast<unsigned>(16 - (n - i));
      v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
    } else {
      std::memset(last, stops.PlainByte, sizeof last);
      std::memcpy(last, s + i, n - i);
      v = _mm_load_si128(reinterpret_cast<const __m128i*>(last));
    }
    __m128i plain = _mm_cmpgt_epi8(v, asciiFloor);
    for (int k = 0; k < kAsciiCount; ++k) plain = _mm_andnot_si128(_mm_cmpeq_epi8(v, ascii[k]), plain);
    unsigned good = static_cast<unsigned>(_mm_movemask_epi8(plain));
    if (good != 0xFFFF && twoByte) {
      const unsigned c = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, contTop)));
      const unsigned l = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(v, leadFloor), _mm_cmplt_epi8(v, leadTop))));
      // A lead counts with the continuation after it, in the same block.
      const unsigned pairs = l & (c >> 1);
      good |= pairs | (pairs << 1);
    }
    const unsigned bad = (~good & 0xFFFF) >> skip;
    if (bad == 0) {
      i += std::min<size_t>(16, n - i);
      continue;
    }
    // A two-byte form that the block's end cuts, as runs of them often are: its second byte is
    // the next block's first.
    if (bad == 0x8000 && twoByte && n - i > 17 && s[i + 15] >= stops.TwoByteLeadMin && s[i + 15] <= 0xDF &&
        (s[i + 16] & 0xC0) == 0x80) {
      i += 17;
      continue;
    }
    i += static_cast<size_t>(__builtin_ctz(bad));
    if (i >= n) break;
    const size_t length = CharLength(s, i, n, stops);
    if (length == 0) break;
    i += length;
  }
  return i;
}

#if defined(MIRELCON_SCAN_AVX2)
// The same scan 32 bytes at a time, on processors that have AVX2; the last bytes (fewer than
// 32) go to the scan above, from a character's start.
template <int kAsciiCount>
__attribute__((target("avx2"))) size_t ScanUtf8Blocks32(const uint8_t* const s, const size_t n, const TUtf8Stops& stops) {
  size_t i = 0;
  const __m256i asciiFloor = _mm256_set1_epi8(stops.Controls ? 0x1F : -1);
  __m256i ascii[kAsciiCount > 0 ? kAsciiCount : 1];
  for (int k = 0; k < kAsciiCount; ++k) ascii[k] = _mm256_set1_epi8(static_cast<char>(stops.Ascii[k] & 0xFF));
  const bool twoByte = stops.TwoByteLeadMin <= 0xDF;
  const __m256i contTop = _mm256_set1_epi8(twoByte ? -64 : -128);
  const __m256i leadFloor = _mm256_set1_epi8(static_cast<char>(stops.TwoByteLeadMin - 1)), leadTop = _mm256_set1_epi8(-32);
  while (n - i >= 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    __m256i plain = _mm256_cmpgt_epi8(v, asciiFloor);
    for (int k = 0; k < kAsciiCount; ++k) plain = _mm256_andnot_si256(_mm256_cmpeq_epi8(v, ascii[k]), plain);
    auto good = static_cast<uint32_t>(_mm256_movemask_epi8(plain));
    if (good != 0xFFFFFFFFu && twoByte) {
      const auto c = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpgt_epi8(contTop, v)));
      const auto l = static_cast<uint32_t>(
          _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpgt_epi8(v, leadFloor), _mm256_cmpgt_epi8(leadTop, v))));
      const uint32_t pairs = l & (c >> 1);
      good |= pairs | (pairs << 1);
    }
    const uint32_t bad = ~good;
    if (bad == 0) {
      i += 32;
      continue;
    }
    if (bad == 0x80000000u && twoByte && n - i > 33 && s[i + 31] >= stops.TwoByteLeadMin && s[i + 31] <= 0xDF &&
        (s[i + 32] & 0xC0) == 0x80) {
      i += 33;
      continue;
    }
    i += static_cast<size_t>(__builtin_ctz(bad));
    const size_t length = CharLength(s, i, n, stops);
    if (length == 0) return i;
    i += length;
  }
  return i + ScanUtf8Blocks<kAsciiCount>(s + i, n - i, stops);
}

template <int kAsciiCount>
size_t ScanUtf8Wide(const uint8_t* const s, const size_t n, const TUtf8Stops& stops) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 && n >= 64 ? ScanUtf8Blocks32<kAsciiCount>(s, n, stops) : ScanUtf8Blocks<kAsciiCount>(s, n, stops);
}
#else
template <int kAsciiCount>
size_t ScanUtf8Wide(const uint8_t* const s, const size_t n, const TUtf8Stops& stops) {
  return ScanUtf8Blocks<kAsciiCount>(s, n, stops);
}
#endif

}  // namespace
#endif

size_t ScanUtf8(std::string_view bytes, const TUtf8Stops& stops) {
  const auto* const s = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
#if defined(__SSE2__)
  switch (stops.AsciiCount) {
    case 0: return ScanUtf8Wide<0>(s, n, stops);
    case 1: return ScanUtf8Wide<1>(s, n, stops);
    case 2: return ScanUtf8Wide<2>(s, n, stops);
    case 3: return ScanUtf8Wide<3>(s, n, stops);
    case 4: return ScanUtf8Wide<4>(s, n, stops);
    default: return ScanUtf8Wide<5>(s, n, stops);
  }
#else
  size_t i = 0;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  while (i < n) {
    // ASCII eight bytes at a time while none is a stop.
    for (uint64_t word; n - i >= 8; i += 8) {
      std::memcpy(&word, s + i, 8);
      if (word & kHigh) break;
      uint64_t hit = stops.Controls ? (word - kOnes * 0x20) & ~word & kHigh : 0;
      for (int k = 0; k < stops.AsciiCount; ++k) {
        const uint64_t x = word ^ stops.Ascii[k];
        hit |= (x - kOnes) & ~x & kHigh;
      }
      if (hit) break;
    }
    // Runs of two-byte forms (Greek, Cyrillic, Hebrew, Arabic...), whose second byte is any
    // continuation byte: four at a time while each lead is 110xxxxx but not 0xC0 or 0xC1.
    static_assert(std::endian::native == std::endian::little, "the lanes are read little-endian");
    if (stops.TwoByteLeads) {
      for (uint64_t word; n - i >= 8; i += 8) {
        std::memcpy(&word, s + i, 8);
        constexpr uint64_t kLane = 0x0080008000800080ull;
        if ((word & 0xC0E0C0E0C0E0C0E0ull) != 0x80C080C080C080C0ull ||
            (((word & 0x001E001E001E001Eull) + 0x007F007F007F007Full) & kLane) != kLane)
          break;
      }
    }
    while (n - i >= 2 && stops.Length[s[i]] == 2 && (s[i + 1] & 0xC0) == 0x80) i += 2;
    if (i >= n) break;
    const size_t length = CharLength(s, i, n, stops);
    if (length == 0) break;
    i += length;
  }
  return i;
#endif
}

namespace {

// The bytes that may begin what XML 1.0 cannot hold: a control character other than TAB, LF
// and CR, the form of a surrogate (0xED), U+FFFE or U+FFFF (0xEF).
constexpr auto kUnclean = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = c != 9 && c != 10 && c != 13;
  t[0xED] = t[0xEF] = true;
  return t;
}();

}  // namespace

template <typename Out>
size_t AppendCleanXml(Out& out, std::string_view text) {
  // What is well-formed and clean is passed over in long runs; the rest is looked at byte by
  // byte, and only what XML cannot hold is replaced.
  static const TUtf8Stops stops = MakeUtf8Stops(true, {}, "\xED", true);
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t run = 0, surrogates = 0;
  for (size_t i = 0; i < n;) {
    i += ScanUtf8(text.substr(i), stops);
    if (i >= n) break;
    size_t skip = 1;
    if (!kUnclean[s[i]]) {
      ++i;
      continue;
    }
    if (s[i] == 0xED) {
      if (i + 2 >= n || s[i + 1] < 0xA0) {
        ++i;
        continue;
      }
      skip = 3;
    } else if (s[i] == 0xEF) {
      if (i + 2 >= n || s[i + 1] != 0xBF || s[i + 2] < 0xBE) {
        ++i;
        continue;
      }
      skip = 3;
    }
    out.append(text.substr(run, i - run));
    if (s[i] == 0xED) {
      out.append(std::string_view("\xEF\xBF\xBD"));
      ++surrogates;
    } else {
      out.push_back(' ');
    }
    i += skip;
    run = i;
  }
  out.append(text.substr(run));
  return surrogates;
}

template size_t AppendCleanXml<std::string>(std::string&, std::string_view);
template size_t AppendCleanXml<TRawBuffer>(TRawBuffer&, std::string_view);

size_t WellFormedUtf8(std::string_view bytes, bool lineEnds) {
  static const TUtf8Stops kAny = MakeUtf8Stops(false, {});
  static const TUtf8Stops kNoCR = MakeUtf8Stops(false, "\r");
  return ScanUtf8(bytes, lineEnds ? kNoCR : kAny);
}

void AppendUtf8Text(std::string_view bytes, std::string& out, bool lineEnds) {
  const size_t good = WellFormedUtf8(bytes, lineEnds);
  out.append(bytes.data(), good);
  if (good == bytes.size()) return;
  // The rest (rare) goes through the decoder, which settles what is ill-formed and the line ends.
  WideString wide;
  AppendUtf8(bytes.substr(good), wide, lineEnds);
  const size_t at = out.size();
  out.resize(at + wide.size() * 3);
  out.resize(static_cast<size_t>(platform::EncodeUtf8(wide, out.data() + at, platform::LoneSurrogate::Keep) - out.data()));
}

void AppendCodePoint(WideString& out, uint32_t code) {
  if (code > 0xFFFF) {
    code -= 0x10000;
    out.push_back(static_cast<WideChar>(0xD800 + (code >> 10)));
    out.push_back(static_cast<WideChar>(0xDC00 + (code & 0x3FF)));
  } else {
    out.push_back(static_cast<WideChar>(code));
  }
}

// ---------------------------------------------------------------------------------------------
TConvert::TConvert() { WorkBuffer.reserve(4096); }

TConvert::~TConvert() = default;

void TConvert::SetFileError(const WideString& format, const WideString& fileName, int errorCode) {
  FErrorFileName = fileName;
  FErrorText = WideFormat(format, {WideExpandFileName(fileName), errorCode ? WideSysErrorMessage(errorCode) : u""});
  while (!FErrorText.empty() && FErrorText.back() == u' ') FErrorText.pop_back();
}

void TConvert::Refuse(const WideString& format, const WideString& fileName, std::u16string_view after) {
  if (!Failed()) {
    SetFileError(format, fileName, 0);
    FErrorText.append(after);
    FRefused = true;
  }
  Abort();
}

// ---------------------------------------------------------------------------------------------
TReader::TReader(const WideString& fileName) {
  Buffer.reserve(static_cast<size_t>(ChunkChars) + 16);
  SetUtf8Input(false);
  OpenFile(fileName);
}

TReader::~TReader() = default;

bool TReader::OpenFile(const WideString& fileName) {
  Input.reset();
  Buffer.clear();
  BufIndex = BufLen = 0;
  EndOfInput = false;
  if (fileName.empty()) {
    SetTotal(0);
    return false;
  }
  Input = TTextFileStream::Create(fileName, ccUnicode, false, fmOpenRead | fmShareDenyWrite);
  if (!Input) {
    SetFileError(u"Cannot open file \"%s\". %s", fileName, platform::LastErrorCode());
    SetTotal(0);
    return false;
  }
  SniffXmlEncoding();
  SetTotal(Input->GetSize());
  SetUtf8Input(Input->CodeChar() == ccUtf8);
  return true;
}

// Without a byte-order mark the stream takes the file for ANSI. An XML file tells its encoding
// by its first bytes, as XML reads them: "<" in UTF-16 (either byte order), else the encoding
// its declaration names. One that names none is UTF-8 for XML; it is taken so when all of it
// is well-formed UTF-8 beyond ASCII, and in the ANSI code page otherwise, as older tools wrote
// it. All this happens on the raw bytes, so that not even the first line is decoded wrongly.
void TReader::SniffXmlEncoding() {
  if (Input->CodeChar() != ccAnsi) return;
  unsigned char raw[1024];
  const int64_t n = Input->ReadAt(raw, sizeof raw, 0);
  Input->SetPosition(0);
  if (n <= 0) return;
  auto isLetter = [](unsigned char c) {
    const char lower = LowCaseChar(static_cast<char>(c));
    return lower >= 'a' && lower <= 'z';
  };
  if (n >= 4) {
    if (raw[0] == '<' && raw[1] == 0 && raw[3] == 0 && (raw[2] == '?' || isLetter(raw[2]))) {
      Input->SetUnmarkedCode(ccUnicode);
      return;
    }
    if (raw[0] == 0 && raw[1] == '<' && raw[2] == 0 && (raw[3] == '?' || isLetter(raw[3]))) {
      Input->SetUnmarkedCode(ccBigEndian);
      return;
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(raw), static_cast<size_t>(n));
  auto undeclared = [&] {
    if (Input->LooksLikeUtf8()) Input->SetCodeChar(ccUtf8);
  };
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  if (text.substr(i, 5) != "<?xml") return undeclared();
  const size_t end = text.find("?>", i);
  if (end == std::string_view::npos) return undeclared();
  const std::string_view decl = text.substr(i + 5, end - i - 5);
  const size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return undeclared();
  size_t j = at + 8;
  auto blanks = [&] {
    while (j < decl.size() && (decl[j] == ' ' || decl[j] == '\t' || decl[j] == '\r' || decl[j] == '\n')) ++j;
  };
  blanks();
  if (j >= decl.size() || decl[j] != '=') return;
  ++j;
  blanks();
  if (j >= decl.size() || (decl[j] != '"' && decl[j] != '\'')) return;
  const char quote = decl[j++];
  const size_t close = decl.find(quote, j);
  if (close == std::string_view::npos) return;
  const std::string_view name = decl.substr(j, close - j);
  if (name.size() == 5 && LowCaseChar(name[0]) == 'u' && LowCaseChar(name[1]) == 't' && LowCaseChar(name[2]) == 'f' &&
      name[3] == '-' && name[4] == '8')
    return Input->SetCodeChar(ccUtf8);
  // Any other encoding is read through its code page; one that names UTF-16 in bytes that are
  // not UTF-16 (its first bytes would have told) stays in the ANSI page, as it always was.
  unsigned page = platform::CodePageOfCharset(name);
  switch (page) {
    case 0: {
      WideString quoted;
      for (const char c : name.substr(0, 64)) quoted.push_back(static_cast<unsigned char>(c) < 0x20 ? u'?' : static_cast<unsigned char>(c));
      Refuse(u"Cannot convert file \"%s\".", Input->FileName(), u" The encoding \"" + quoted + u"\" that it declares is not known.");
      return;
    }
    case 65001: return Input->SetCodeChar(ccUtf8);
    case 1200: case 1201: case 12000: case 12001: return;
    // Files declared so are mostly written in the Western page that holds all of these
    // characters and more (as browsers read them too).
    case 20127: case 28591: page = 1252; break;
    default: break;
  }
  if (page != platform::AnsiCodePage()) Input->SetCodePage(page);
}

void TReader::SetUtf8Input(bool value) {
  if (value && Input) Input->SetCodeChar(ccUtf8);
}

int64_t TReader::InputPosition() {
  const int64_t position = Input ? Input->GetPosition() : 0;
  if (PumpClock.Due()) IdleProcessMessage();
  return position;
}

WideChar TReader::NextChar() {
  if (BufIndex >= BufLen) {
    if (!Input) EndOfInput = true;
    if (EndOfInput) return u'\t';
    // ReadChars returns 0 only at the end of the file, also when the file ends inside a
    // multi-byte character, so one call either fills the buffer or ends the input.
    Buffer.clear();
    BufLen = Input->ReadChars(Buffer, ChunkChars);
    BufIndex = 0;
    if (BufLen <= 0) {
      BufLen = 0;
      EndOfInput = true;
      return u'\t';
    }
  }
  return Buffer[static_cast<size_t>(BufIndex++)];
}

bool TReader::ReadBlock(TRawBuffer& out) {
  auto encode = [&](std::u16string_view text) {
    char* at = out.grow(text.size() * 3);
    out.added(static_cast<size_t>(platform::EncodeUtf8(text, at, platform::LoneSurrogate::Keep) - at));
  };
  if (!Input) {
    if (BufIndex >= BufLen) return false;
    const size_t from = static_cast<size_t>(BufIndex), to = std::min(Buffer.size(), static_cast<size_t>(BufLen));
    BufIndex = BufLen;
    if (from >= to) return false;
    encode(std::u16string_view(Buffer).substr(from, to - from));
    return true;
  }
  // Blocks as large as the file's buffer are read straight into their place, with no copy.
  constexpr size_t kBlock = 65536;
  if (Input->CodeChar() == ccUtf8) {
    const int64_t n = Input->ReadRaw(out.grow(kBlock), static_cast<int64_t>(kBlock));
    out.added(static_cast<size_t>(std::max<int64_t>(n, 0)));
    return n > 0;
  }
  if (Input->CodeChar() == ccUnicode || Input->CodeChar() == ccBigEndian) {
    // The units go from the file to UTF-8 without a decoded copy in between: a pair that a
    // block's end cuts keeps the forms of its halves, which decoding joins again.
    if (!FUnits) FUnits = std::make_unique<char16_t[]>(kBlock / 2);
    for (;;) {
      const int64_t n = Input->Read(FUnits.get(), static_cast<int64_t>(kBlock));
      if (n <= 0) return false;
      const size_t units = static_cast<size_t>(n) / 2;
      if (units == 0) continue;  // the odd last byte of the file is no character
      if (Input->CodeChar() == ccBigEndian)
        for (size_t i = 0; i < units; ++i) FUnits[i] = static_cast<char16_t>((FUnits[i] >> 8) | (FUnits[i] << 8));
      encode(std::u16string_view(FUnits.get(), units));
      return true;
    }
  }
  // The blocks of the ANSI code page are those of the character reader, so that a declaration
  // that switches the input to UTF-8 takes effect where it always did.
  Buffer.clear();
  const int64_t n = Input->ReadChars(Buffer, ChunkChars);
  if (n <= 0) return false;
  encode(Buffer);
  return true;
}

// ---------------------------------------------------------------------------------------------
TWriter::TWriter(TTUStream* source) : Source(source) {
  if (Source) {
    Source->Seek(0, TSeekOrigin::FromBeginning);
    SetTotal(Source->GetSize());
  }
}

TWriter::~TWriter() = default;

// ---------------------------------------------------------------------------------------------
int TAttrList::Append(std::u16string_view name, std::u16string_view value) {
  const int index = FCount;
  if (static_cast<size_t>(index) < FItems.size()) {
    TAttribut& item = *FItems[static_cast<size_t>(index)];
    item.Name.assign(name);
    item.Value.assign(value);
  } else {
    FItems.push_back(std::make_unique<TAttribut>(name, value));
  }
  ++FCount;
  if (static_cast<size_t>(FCount) > IndexFrom) {
    if (FIndex.empty())
      for (int i = 0; i < FCount; ++i) FIndex.emplace(FItems[static_cast<size_t>(i)]->Name, i);
    else
      FIndex.emplace(FItems[static_cast<size_t>(index)]->Name, index);  // keeps the first of equal names
  }
  return index;
}

void TAttrList::Add(std::u16string_view name, std::u16string_view value) { Append(name, value); }

TAttribut& TAttrList::AppendShort() {
  if (static_cast<size_t>(FCount) == FItems.size()) FItems.push_back(std::make_unique<TAttribut>(u"", u""));
  return *FItems[static_cast<size_t>(FCount++)];
}

int TAttrList::AddUnique(std::u16string_view name, std::u16string_view value) {
  const int i = IndexOfName(name);
  if (i >= 0) return i + 1;
  return Append(name, value);
}

int TAttrList::AddTag(std::u16string_view tagText) {
  const int i = IndexOfName(tagText);
  if (i >= 0) return i + 1;
  WideChar placeholder[5] = {u'&', u't', u'A', u';', 0};
  if (tagText.size() >= 3 && tagText[0] == u'<' && tagText[1] == u'#')
    placeholder[1] = tagText[2];
  else if (!tagText.empty() && tagText[0] == u'{' && tagText.find(u"\\field") != std::u16string_view::npos)
    placeholder[1] = u'f';
  // Past the 26th tag the letters leave "A".."Z" ("[" comes next), which no placeholder
  // reader accepts: such tags do not survive a write and a read back.
  placeholder[2] = static_cast<WideChar>(u'A' + Count());
  return Append(tagText, std::u16string_view(placeholder, 4));
}

void TAttrList::Clear() {
  if (!FIndex.empty()) FIndex.clear();
  FCount = 0;
  // Many spare items (a segment that had thousands of tags) are not kept for ever.
  if (FItems.size() > 64) FItems.resize(64);
}

int TAttrList::IndexOfName(std::u16string_view name) const {
  if (!FIndex.empty()) {
    const auto it = FIndex.find(name);
    return it == FIndex.end() ? -1 : it->second;
  }
  for (int i = 0; i < FCount; ++i) {
    const WideString& n = FItems[static_cast<size_t>(i)]->Name;
    if (n.size() == name.size() && std::memcmp(n.data(), name.data(), name.size() * sizeof(WideChar)) == 0) return i;
  }
  return -1;
}

const TAttribut* TAttrList::FindName(std::u16string_view name) const {
  const int length = static_cast<int>(name.size());
  for (int i = 0; i < FCount; ++i) {
    const TAttribut* item = FItems[static_cast<size_t>(i)].get();
    if (item->Name.size() != name.size()) continue;
    // Names mostly come spelt as asked for; only the others need the folded compare.
    if (item->Name == name || (length > 0 && CompareFoldedLW(item->Name.c_str(), name.data(), length) == 0)) return item;
  }
  return nullptr;
}

PCWideChar TAttrList::ValueOf(std::u16string_view name) const {
  const TAttribut* item = FindName(name);
  return item ? item->Value.c_str() : nullptr;
}

PCWideChar TAttrList::PlaceholderOf(std::u16string_view tagText) const {
  const int i = IndexOfName(tagText);
  return i < 0 ? nullptr : FItems[static_cast<size_t>(i)]->Value.c_str();
}

// ---------------------------------------------------------------------------------------------
TTag::TTag(TTag* parent, std::u16string_view name) : Name(name), Parent(parent) {}

// A malformed document can leave a very deep chain open, and every tag keeps the child it
// closed last: the tree is freed without recursion.
TTag::~TTag() {
  std::vector<std::unique_ptr<TTag>> rest;
  if (Child) rest.push_back(std::move(Child));
  if (Spare) rest.push_back(std::move(Spare));
  while (!rest.empty()) {
    std::unique_ptr<TTag> t = std::move(rest.back());
    rest.pop_back();
    if (t->Child) rest.push_back(std::move(t->Child));
    if (t->Spare) rest.push_back(std::move(t->Spare));
  }
}

void TTag::Reuse(std::u16string_view name) {
  Name.assign(name);
  NameUtf8.clear();
  Recycle();
}

void TTag::Recycle() {
  if (Attributes.Count() > 0) Attributes.Clear();
  FRaw.clear();
  FRawBytes.clear();
  TextOwner = nullptr;
  OwnerKnown = false;
  Kind = -1;
  KeepsBlanks = false;
  GathersUtf8 = false;
  FText.clear();
  FTextUtf8.clear();
  FHasText = false;
  FUnsettled = false;
  // What was open below this tag when it closed becomes the spare of the next child.
  if (Child) Spare = std::move(Child);
}

void TTag::AddText(PCWideChar text) {
  if (text) AddText(std::u16string_view(text));
}

void TTag::AddText(std::u16string_view text) {
  StartText();
  if (!GathersUtf8) {
    FText.append(text);
    return;
  }
  SettleUtf8();
  const size_t at = FTextUtf8.size();
  FTextUtf8.resize(at + text.size() * 3);
  FTextUtf8.resize(static_cast<size_t>(
      platform::EncodeUtf8(text, FTextUtf8.data() + at, platform::LoneSurrogate::Keep) - FTextUtf8.data()));
}

void TTag::AddAttribute(std::u16string_view name, std::u16string_view value) {
  size_t i = 0;
  while (i < name.size() && name[i] == u' ') ++i;
  Attributes.Add(name.substr(i), value);
}

void TTag::AddAttributeUtf8(std::string_view name, std::string_view value) {
  size_t i = 0;
  while (i < name.size() && name[i] == ' ') ++i;
  name.remove_prefix(i);
  if (Attributes.Count() >= 16) {  // a list that long keeps an index of its names
    WideString n, v;
    AppendUtf8(name, n);
    AppendUtf8(value, v);
    Attributes.Add(n, v);
    return;
  }
  TAttribut& item = Attributes.AppendShort();
  item.Name.clear();
  AppendUtf8(name, item.Name);
  item.Value.clear();
  AppendUtf8(value, item.Value);
}

// Text that grows drops the blanks it begins with, unless the tag keeps them.
void TTag::StartText() {
  if (!FHasText) {
    FText.clear();
    FTextUtf8.clear();
    FUnsettled = false;
    FHasText = true;
  } else if (!KeepsBlanks) {
    if (GathersUtf8) {
      const size_t blanks = FTextUtf8.find_first_not_of(' ');
      FTextUtf8.erase(0, blanks == std::string::npos ? FTextUtf8.size() : blanks);
    } else {
      const size_t blanks = FText.find_first_not_of(u' ');
      FText.erase(0, blanks == WideString::npos ? FText.size() : blanks);
    }
  }
}

void TTag::AddTextUtf8(std::string_view text, bool lineEnds) {
  StartText();
  if (!GathersUtf8) {
    AppendUtf8(text, FText, lineEnds);
  } else if (FTextUtf8.empty() && lineEnds) {
    // Whoever takes the text settles it, in the pass it makes over the text anyway.
    FTextUtf8.assign(text);
    FUnsettled = true;
  } else {
    SettleUtf8();
    AppendUtf8Text(text, FTextUtf8, lineEnds);
  }
}

// The piece kept as the input has it is settled before another joins it: decoding the two would
// otherwise join what each piece ends and begins with.
void TTag::SettleUtf8() {
  if (!FUnsettled) return;
  FUnsettled = false;
  if (WellFormedUtf8(FTextUtf8, true) == FTextUtf8.size()) return;
  std::string piece;
  piece.swap(FTextUtf8);
  AppendUtf8Text(piece, FTextUtf8, true);
}

void TTag::AddRawAttribute(std::string_view name, std::string_view value) {
  size_t i = 0;
  while (i < name.size() && name[i] == ' ') ++i;
  name.remove_prefix(i);
  if (FRawBytes.size() + name.size() + value.size() > UINT32_MAX) return;  // no tag comes near
  TRawAttr a;
  a.NameAt = static_cast<uint32_t>(FRawBytes.size());
  a.NameLength = static_cast<uint32_t>(name.size());
  FRawBytes.append(name);
  a.ValueAt = static_cast<uint32_t>(FRawBytes.size());
  a.ValueLength = static_cast<uint32_t>(value.size());
  FRawBytes.append(value);
  FRaw.push_back(a);
}

void TTag::AddRawAttributes(std::string_view markup, const TRawSpan* spans, size_t count) {
  if (count == 0) return;
  const uint32_t from = spans[0].NameAt, to = spans[count - 1].ValueEnd;
  if (FRawBytes.size() + (to - from) > UINT32_MAX) {  // no tag comes near
    for (size_t k = 0; k < count; ++k)
      AddRawAttribute(markup.substr(spans[k].NameAt, spans[k].NameEnd - spans[k].NameAt),
                      markup.substr(spans[k].ValueAt, spans[k].ValueEnd - spans[k].ValueAt));
    return;
  }
  const auto base = static_cast<uint32_t>(FRawBytes.size()) - from;
  FRawBytes.append(markup.substr(from, to - from));
  for (size_t k = 0; k < count; ++k) {
    const TRawSpan& a = spans[k];
    FRaw.push_back({base + a.NameAt, a.NameEnd - a.NameAt, base + a.ValueAt, a.ValueEnd - a.ValueAt});
  }
}

bool TTag::RawValueOf(std::u16string_view attrName, std::string_view& value) const {
  for (int i = 0; i < RawCount(); ++i) {
    const std::string_view n = RawName(i);
    bool same = false;
    if (n.size() == attrName.size()) {
      // An ASCII name of the same length; a byte beyond ASCII makes a name of fewer characters,
      // or one with U+FFFD, which folds to no ASCII letter.
      same = true;
      for (size_t k = 0; k < n.size() && same; ++k) {
        const auto c = static_cast<unsigned char>(n[k]);
        const WideChar a = attrName[k];
        same = c < 0x80 && (c >= 'A' && c <= 'Z' ? c + 32 : c) == (a >= u'A' && a <= u'Z' ? a + 32 : a);
      }
    } else if (n.size() > attrName.size()) {
      // Characters of several bytes: compared as the folding tables say.
      bool ascii = true;
      for (const char c : n) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
      if (!ascii) {
        WideString wide;
        AppendUtf8(n, wide);
        same = wide.size() == attrName.size() &&
               (wide.empty() || CompareFoldedLW(wide.c_str(), attrName.data(), static_cast<int>(wide.size())) == 0);
      }
    }
    if (same) {
      value = RawValue(i);
      return true;
    }
  }
  return false;
}

TTag* TTag::OpenChildUtf8(std::string_view name, bool decodeName) {
  if (Spare) {
    Child = std::move(Spare);
    Child->Recycle();
    Child->Name.clear();
  } else {
    Child = std::make_unique<TTag>(this, u"");
  }
  Child->Depth = Depth + 1;
  if (decodeName) AppendUtf8(name, Child->Name);
  // The object waiting under a parent was mostly an element of the same name: its name stays.
  // Names are short: they are compared here rather than in the library.
  std::string& kept = Child->NameUtf8;
  bool same = kept.size() == name.size();
  for (size_t i = 0; same && i < name.size(); ++i) same = kept[i] == name[i];
  if (!same) kept.assign(name);
  return Child.get();
}

TTag* TTag::OpenChild(std::u16string_view name) {
  if (Spare) {
    Child = std::move(Spare);
    Child->Reuse(name);
  } else {
    Child = std::make_unique<TTag>(this, name);
  }
  Child->Depth = Depth + 1;
  return Child.get();
}
