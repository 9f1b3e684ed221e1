#include "tm/MyReaderHTML.h"

#include "base/MyFileStream.h"
#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint32_t kMaxCode = 0x10FFFF;

// Entity name -> character. "nbsp" is a plain blank; "euro" is the euro's position in the
// Windows ANSI page, which the field escape "&'80;" keeps and the TMX writer maps back.
const TKeyWordRow kEntities[] = {
    {u"amp", 38},      {u"quot", 34},     {u"gt", 62},      {u"lt", 60},       {u"apos", 39},    {u"nbsp", 32},
    {u"euro", 128},    {u"iexcl", 161},   {u"cent", 162},   {u"pound", 163},   {u"curren", 164}, {u"yen", 165},
    {u"brvbar", 166},  {u"sect", 167},    {u"uml", 168},    {u"copy", 169},    {u"ordf", 170},   {u"laquo", 171},
    {u"not", 172},     {u"shy", 173},     {u"reg", 174},    {u"macr", 175},    {u"deg", 176},    {u"plusmn", 177},
    {u"sup2", 178},    {u"sup3", 179},    {u"acute", 180},  {u"micro", 181},   {u"para", 182},   {u"middot", 183},
    {u"cedil", 184},   {u"sup1", 185},    {u"ordm", 186},   {u"raquo", 187},   {u"frac14", 188}, {u"frac12", 189},
    {u"frac34", 190},  {u"iquest", 191},  {u"Agrave", 192}, {u"Aacute", 193},  {u"Acirc", 194},  {u"Atilde", 195},
    {u"Auml", 196},    {u"Aring", 197},   {u"AElig", 198},  {u"Ccedil", 199},  {u"Egrave", 200}, {u"Eacute", 201},
    {u"Ecirc", 202},   {u"Euml", 203},    {u"Igrave", 204}, {u"Iacute", 205},  {u"Icirc", 206},  {u"Iuml", 207},
    {u"ETH", 208},     {u"Ntilde", 209},  {u"Ograve", 210}, {u"Oacute", 211},  {u"Ocirc", 212},  {u"Otilde", 213},
    {u"Ouml", 214},    {u"times", 215},   {u"Oslash", 216}, {u"Ugrave", 217},  {u"Uacute", 218}, {u"Ucirc", 219},
    {u"Uuml", 220},    {u"Yacute", 221},  {u"THORN", 222},  {u"szlig", 223},   {u"agrave", 224}, {u"aacute", 225},
    {u"acirc", 226},   {u"atilde", 227},  {u"auml", 228},   {u"aring", 229},   {u"aelig", 230},  {u"ccedil", 231},
    {u"egrave", 232},  {u"eacute", 233},  {u"ecirc", 234},  {u"euml", 235},    {u"igrave", 236}, {u"iacute", 237},
    {u"icirc", 238},   {u"iuml", 239},    {u"eth", 240},    {u"ntilde", 241},  {u"ograve", 242}, {u"oacute", 243},
    {u"ocirc", 244},   {u"otilde", 245},  {u"ouml", 246},   {u"divide", 247},  {u"oslash", 248}, {u"ugrave", 249},
    {u"uacute", 250},  {u"ucirc", 251},   {u"uuml", 252},   {u"yacute", 253},  {u"thorn", 254},  {u"yuml", 255},
};
static_assert(std::size(kEntities) == 102);

// The first five of the table, with their ";".
const std::pair<std::u16string_view, uint32_t> kXmlEntities[] = {
    {u"amp;", 38}, {u"lt;", 60}, {u"gt;", 62}, {u"quot;", 34}, {u"apos;", 39}};

// The same in UTF-8.
constexpr std::pair<std::string_view, uint32_t> kXmlEntities8[] = {
    {"amp;", 38}, {"lt;", 60}, {"gt;", 62}, {"quot;", 34}, {"apos;", 39}};

// Characters that a field holds as "&'" + hexadecimal + ";". Nothing from 192 on. A line end
// cannot stand in a line of the text TM either.
constexpr bool IsSpecial(WideChar c) {
  switch (c) {
    case 1: case 2: case 9: case 10: case 11: case 13: case 29: case 30: case 128: case 130: case 133: case 145: case 146:
    case 147: case 148: case 151: case 153: case 160: case 169: case 174: case 188: case 189: case 190:
      return true;
    default:
      return false;
  }
}

// The bytes that end a run of a quoted value's bytes.
constexpr auto kQuotedStop = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : std::string_view("<\"'\r\n\t")) t[c] = true;
  return t;
}();

// The characters below 192 that make segment text need more than its edge blanks escaped.
constexpr auto kSegmentWork = [] {
  std::array<bool, 0xC0> t{};
  for (WideChar c = 0; c < 0xC0; ++c) t[c] = c == u'&' || c == u'{' || IsSpecial(c);
  return t;
}();

int DigitValue(WideChar c, bool hex) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (hex && c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (hex && c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

template <typename Char>
bool IsLowerHex(Char c) { return (c >= Char('0') && c <= Char('9')) || (c >= Char('a') && c <= Char('f')); }

// The group "{" + 32 lower-case hexadecimal digits + "}" that stands for an inline element.
template <typename Char>
bool IsKeyAt(std::basic_string_view<Char> text, size_t i) {
  if (i + 33 >= text.size() || text[i] != Char('{') || text[i + 33] != Char('}')) return false;
  for (size_t k = i + 1; k < i + 33; ++k)
    if (!IsLowerHex(text[k])) return false;
  return true;
}

// Stands for an ampersand of the text while a segment is decoded: no character of XML text is
// U+FFFF, so it is told apart from the ampersands of placeholders.
constexpr WideChar kTextAmp = 0xFFFF;
// The same ampersand once it is known to need its escape (U+FFFE is no character of XML either).
constexpr WideChar kEscapedAmp = 0xFFFE;

bool IsHexDigit(WideChar c) { return DigitValue(c, true) >= 0; }

// The bytes that the markup states act on; every other byte is part of a name or a value.
constexpr auto kMarkupByte = [] {
  std::array<bool, 256> t{};
  for (const unsigned char c : std::string_view("<>!\"'= /?-\r\n\t")) t[c] = true;
  return t;
}();

// ASCII bytes that segment field text keeps as they stand: none of them is a stop of
// FieldTextStops.
constexpr auto kPlainFieldByte = [] {
  std::array<bool, 256> t{};
  for (size_t c = 0x20; c < 0x80; ++c) t[c] = c != '&' && c != '{';
  return t;
}();

// The bytes the states take as part of a name (a "-" is one, outside a declaration).
constexpr auto kNameByte = [] {
  std::array<bool, 256> t{};
  for (size_t c = 0; c < 256; ++c) t[c] = !kMarkupByte[c] || c == '-';
  return t;
}();

constexpr bool IsMarkupBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Eight bytes at a time: a flag in the high bit of each byte below k (k at most 0x80) among
// those below 0x80. A flag may also stand above a flagged byte; none is ever missing.
constexpr uint64_t kOnes8 = 0x0101010101010101ull;
constexpr uint64_t Below(uint64_t x, uint64_t k) { return (x - k * kOnes8) & ~x & (0x80 * kOnes8); }
uint64_t WordAt(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// Where the name from b[i] on ends (the first byte that is no name byte), n at most. A word at
// a time: its first byte below "0" (blanks, quotes, "!", "/", also "-", which is a name's own)
// or among "<", "=", ">", "?" is the first that may end the name.
size_t NameEnd(const char* b, size_t i, size_t n) {
  for (; i + 8 <= n;) {
    const uint64_t x = WordAt(b + i);
    const uint64_t z = Below(x, 0x30) | Below(x ^ (0x3C * kOnes8), 4);
    if (!z) {
      i += 8;
      continue;
    }
    i += static_cast<size_t>(std::countr_zero(z) >> 3);
    if (!kNameByte[static_cast<unsigned char>(b[i])]) return i;
    ++i;
  }
  while (i < n && kNameByte[static_cast<unsigned char>(b[i])]) ++i;
  return i;
}

// Whether the name bytes stand at b: the bytes of a name as NameEnd reads one, all of them.
bool NameAt(const char* b, std::string_view name) {
  for (size_t k = 0; k < name.size(); ++k)
    if (b[k] != name[k] || !kNameByte[static_cast<unsigned char>(name[k])]) return false;
  return true;
}

// Where the value in quotes from b[i] on ends: at its quote or at a byte that ends no value of
// this shape ("<", TAB, CR, LF), n at most. The other kind of quote is part of the value.
size_t QuotedEnd(const char* b, size_t i, size_t n, char quote) {
  auto ends = [&](unsigned char c) { return kQuotedStop[c] && (c == static_cast<unsigned char>(quote) || (c != '"' && c != '\'')); };
#if defined(__SSE2__)
  // Sixteen bytes at a time, the bytes that end the value told exactly.
  const __m128i q = _mm_set1_epi8(quote), lt = _mm_set1_epi8('<'), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                cr = _mm_set1_epi8('\r');
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, q), _mm_cmpeq_epi8(v, lt)),
                                     _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr)));
    if (const auto m = static_cast<unsigned>(_mm_movemask_epi8(hit))) return i + static_cast<size_t>(__builtin_ctz(m));
  }
#endif
  for (; i + 8 <= n;) {
    const uint64_t x = WordAt(b + i);
    const uint64_t z = Below(x, 0x0E) | Below(x ^ ('"' * kOnes8), 1) | Below(x ^ ('\'' * kOnes8), 1) | Below(x ^ ('<' * kOnes8), 1);
    if (!z) {
      i += 8;
      continue;
    }
    i += static_cast<size_t>(std::countr_zero(z) >> 3);
    if (ends(static_cast<unsigned char>(b[i]))) return i;
    ++i;
  }
  while (i < n && !ends(static_cast<unsigned char>(b[i]))) ++i;
  return i;
}

// The first "<" from b[i] on, or npos. Most text between tags is a few blanks: a word or two are
// looked at before the library's search.
size_t NextMarkup(const char* b, size_t i, size_t n) {
  for (int k = 0; k < 2 && i + 8 <= n; ++k, i += 8) {
    const uint64_t y = WordAt(b + i) ^ ('<' * kOnes8);
    if (const uint64_t z = Below(y, 1)) return i + static_cast<size_t>(std::countr_zero(z) >> 3);
  }
  const void* lt = i < n ? std::memchr(b + i, '<', n - i) : nullptr;
  return lt ? static_cast<size_t>(static_cast<const char*>(lt) - b) : std::string_view::npos;
}

bool StartsOpenForm(std::u16string_view text, size_t p) {
  return p + 2 < text.size() && text[p] == u'&' && text[p + 1] == u't' && text[p + 2] == u'=';
}

}  // namespace

// ---------------------------------------------------------------------------------------------
TReaderHTML::TReaderHTML(const WideString& fileName) : TReader(fileName) {
  Entities.AddTable(kEntities);
  SegmentBuffer.reserve(4096);
  BufIndex = 0;
  BufLen = 0;
}

TReaderHTML::~TReaderHTML() = default;

bool TReaderHTML::CollectsText(const TTag&) const { return true; }

TTag* TReaderHTML::TextTarget(TTag& tag) { return CollectsText(tag) ? &tag : nullptr; }

// ---------------------------------------------------------------------------------------------
void TReaderHTML::AppendUtf8(std::string_view bytes, WideString& out, bool lineEnds) { ::AppendUtf8(bytes, out, lineEnds); }

int TReaderHTML::ElementKind(std::string_view) const { return -1; }

void TReaderHTML::OpenTag(TTag*& cur, std::string_view name) {
  cur = cur->OpenChildUtf8(name, FDecodesNames);
  cur->Kind = ElementKind(name);
  if (MaxOpenElements != 0 && cur->Depth > MaxOpenElements && !Failed())
    Refuse(u"Cannot convert file \"%s\".", Input ? Input->FileName() : WideString(),
           u" Its elements nest deeper than " + Int64ToWideStr(MaxOpenElements) + u" levels.");
}

void TReaderHTML::AddAttribute(TTag* cur, std::string_view name, std::string_view value) {
  if (!FDocEntities.empty() && value.find('&') != std::string_view::npos) {
    FAttrExpanded.clear();
    if (!ExpandEntities(value, FAttrExpanded, 0)) return;  // refused
    value = FAttrExpanded;
  }
  cur->AddRawAttribute(name, value);
  if (DecodesAttributes()) cur->AddAttributeUtf8(name, value);
}

void TReaderHTML::Parse() { Scan(nullptr); }

void TReaderHTML::ParseBytes(std::string_view bytes) { Scan(&bytes); }

// One pass over the bytes. Text runs up to the next "<" are taken whole, and decoded only for
// an element that gathers text; markup goes byte by byte, and only its ASCII characters mean
// anything, so a character of several bytes is simply part of a name or a value. Markup is
// split at blanks, and TAB, CR and LF count as blanks there; in text TAB stays and a line end
// becomes one LF.
void TReaderHTML::Scan(const std::string_view* bytes) {
  // The root and the elements below it are kept from parse to parse (a decoder of many short
  // strings allocates nothing per string).
  if (!FRoot) FRoot = std::make_unique<TTag>(nullptr, u"Root");
  FRoot->Reuse(u"Root");
  TTag* cur = FRoot.get();
  FSawNul = false;
  EndOfInput = false;
  std::string& name = FNameBytes;
  std::string& text = FTextBytes;
  name.clear();
  text.clear();

  TState state = stText;
  TTag* target = TextTarget(*cur);  // where the text being read goes; decided when it begins
  char quote = 0;
  bool valueStarted = false;  // an attribute value has begun (a quote or a character was read)
  bool prevCR = false;
  int declChars = 0;  // characters after "<!"
  int dashes = 0;     // "-" in a row at the end of them
  bool comment = false;
  // How far the characters after "<!" spell the start of a CDATA section, of a document type.
  int cdataMatch = 0, docTypeMatch = 0;
  int brackets = 0;  // "]" in a row at the end of a CDATA section's content read so far
  // Where a document type declaration is: in quotes (the quote), in its internal subset, in a
  // comment there.
  char docQuote = 0;
  bool docSubset = false, docComment = false;
  FDocEntities.clear();
  FExpandedBytes = 0;
  // Entities may expand the text a few times over, and never without bound.
  FExpandedCap = std::max<size_t>(size_t{1} << 24, 4 * (bytes ? bytes->size() : Input ? static_cast<size_t>(Input->GetSize()) : 0));

  auto enter = [&](TState s) __attribute__((always_inline)) {
    state = s;
    if (s == stText || s == stAttrValue) {
      text.clear();
      valueStarted = false;
      if (s == stText) target = TextTarget(*cur);
    } else {
      name.clear();
    }
    if (s == stDecl) {
      declChars = dashes = cdataMatch = docTypeMatch = 0;
      comment = false;
    }
  };
  // Bytes after "<!" are counted as characters: a comment's dashes are ASCII, and a character
  // of several bytes only makes a count that is at least 4 larger still.
  auto declChar = [&](char c) {
    if (declChars < (1 << 30)) ++declChars;
    dashes = c == '-' ? dashes + 1 : 0;
    if (declChars == 2 && dashes == 2) comment = true;
    if (declChars > 7) return;
    if (cdataMatch == declChars - 1 && c == "[CDATA["[declChars - 1]) ++cdataMatch;
    if (docTypeMatch == declChars - 1 && c == "DOCTYPE"[declChars - 1]) ++docTypeMatch;
    if (cdataMatch == 7) {
      state = stCData;
      brackets = 0;
      text.clear();
    } else if (docTypeMatch == 7) {
      state = stDocType;
      FDeclBytes.assign("DOCTYPE");
      docQuote = 0;
      docSubset = docComment = false;
    }
  };
  // Text read in an element goes to the element that gathers it, with the document's own
  // entities expanded.
  auto giveText = [&](std::string_view piece) {
    if (FDocEntities.empty() || piece.find('&') == std::string_view::npos) {
      target->AddTextUtf8(piece, true);
      return;
    }
    FExpanded.clear();
    if (ExpandEntities(piece, FExpanded, 0)) target->AddTextUtf8(FExpanded, true);
  };
  auto append = [&](char c) {
    switch (state) {
      case stQuoted: text.push_back(c); break;
      case stAttrValue: text.push_back(c); valueStarted = true; break;
      case stDecl: declChar(c); break;
      default: name.push_back(c); break;
    }
  };
  // What the descendant takes is asked once per parse, as it does not change during one.
  const bool endNames = UsesEndNames();
  const bool decodesAttributes = DecodesAttributes();
  FDecodesNames = DecodesNames();
  auto endName = [&]() -> std::u16string_view {
    NameBuf.clear();
    if (!endNames) return NameBuf;
    AppendUtf8(name, NameBuf);
    return NameBuf;
  };

  // Progress, and with it a chance for Stop, is given at the first end tag after every few
  // thousand bytes, and at every block.
  constexpr size_t kTick = 4096;
  size_t tickAt = kTick;
  auto progress = [&](size_t unread) {
    int64_t at = InputPosition();
    if (Input->CodeChar() == ccUtf8) at -= static_cast<int64_t>(unread);  // in bytes, as the block
    SetPosition(std::max<int64_t>(at, 0));
  };

  std::string_view block;
  // A tag of the usual shapes, whole in the block from at (after its "<"): "</name>", and
  // "<name>" with attributes name="value" or name='value' after blanks, closed by ">" or "/>",
  // the values without "<", TAB or a line end. It makes the calls the states would make for it,
  // in their order, and returns where the text after it begins (the scan then goes on there, or
  // stops when the job was stopped); npos for any other markup, which the states read from its
  // "<" on: nothing was done then.
  auto shortTag = [&](size_t at) -> size_t {
    constexpr size_t npos = std::string_view::npos;
    const char* const b = block.data();
    const size_t n = block.size();
    auto endTag = [&](size_t after) __attribute__((always_inline)) {
      if (after >= tickAt && Input) {
        progress(n - after);
        tickAt = after + kTick;
        if (Aborted) return after;
      }
      cur = TagClosed(cur, endName());
      enter(stText);
      return after;
    };
    size_t e = at;
    if (e < n && b[e] == '/') {
      // An end tag mostly names the element it closes: that name is looked for first.
      const std::string_view open = cur->NameUtf8;
      if (e + 1 + open.size() < n && b[e + 1 + open.size()] == '>' && NameAt(b + e + 1, open))
        e += 1 + open.size();
      else
        e = NameEnd(b, e + 1, n);
      if (e >= n || b[e] != '>') return npos;
      // Only a reader that is told end names needs the name kept.
      if (endNames) name.assign(b + at + 1, e - at - 1);
      return endTag(e + 1);
    }
    e = NameEnd(b, e, n);
    if (e == at) return npos;
    const size_t nameEnd = e;
    size_t count = 0;
    bool empty = false;
    for (;;) {
      if (e >= n) return npos;
      if (b[e] == '>') break;
      if (b[e] == '/') {
        if (e + 1 >= n || b[e + 1] != '>') return npos;
        empty = true;
        ++e;
        break;
      }
      if (!IsMarkupBlank(b[e])) return npos;
      while (++e < n && IsMarkupBlank(b[e])) {
      }
      if (e >= n || b[e] == '>' || b[e] == '/') continue;
      const size_t attrName = e;
      e = NameEnd(b, e, n);
      if (e == attrName || e + 1 >= n || b[e] != '=' || (b[e + 1] != '"' && b[e + 1] != '\'') || count == kShortAttrs)
        return npos;
      const char quote = b[e + 1];
      const size_t v = QuotedEnd(b, e + 2, n, quote);
      if (v >= n || b[v] != quote) return npos;
      FShortAttrs[count++] = {static_cast<uint32_t>(attrName), static_cast<uint32_t>(e), static_cast<uint32_t>(e + 2),
                              static_cast<uint32_t>(v)};
      e = v + 1;
    }
    // A value that may name an entity of the document's own is left to the states, which
    // expand it.
    if (!FDocEntities.empty())
      for (size_t k = 0; k < count; ++k)
        if (std::memchr(b + FShortAttrs[k].ValueAt, '&', FShortAttrs[k].ValueEnd - FShortAttrs[k].ValueAt)) return npos;
    OpenTag(cur, block.substr(at, nameEnd - at));
    cur->AddRawAttributes(block, FShortAttrs, count);
    if (decodesAttributes) {
      for (size_t k = 0; k < count; ++k) {
        const TRawSpan& a = FShortAttrs[k];
        cur->AddAttributeUtf8(block.substr(a.NameAt, a.NameEnd - a.NameAt), block.substr(a.ValueAt, a.ValueEnd - a.ValueAt));
      }
    }
    TagOpened(cur);
    const size_t after = e + 1;
    if (Aborted) return after;
    if (!empty) {
      enter(stText);
      return after;
    }
    name.clear();  // an element that closes itself has no end name
    return endTag(after);
  };

  bool given = bytes != nullptr;
  size_t p = 0;
  for (;;) {
    if (p >= block.size()) {
      if (given) {
        block = *bytes;
        given = false;
      } else if (bytes) {
        block = {};
      } else {
        FBlock.clear();
        block = ReadBlock(FBlock) ? FBlock.view() : std::string_view();
        if (Input) progress(0);
        tickAt = kTick;
        if (Aborted) break;
      }
      p = 0;
      if (block.empty()) {
        EndOfInput = true;
        break;
      }
      if (!FSawNul && std::memchr(block.data(), 0, block.size())) FSawNul = true;
      continue;
    }
    if (state == stCData) {
      // Up to "]]>", everything is text as it stands: its ampersands are its own.
      size_t q = p;
      bool ended = false;
      while (q < block.size()) {
        const char c = block[q++];
        if (c == '>' && brackets >= 2) {
          ended = true;
          break;
        }
        brackets = c == ']' ? brackets + 1 : 0;
      }
      if (target) text.append(block.data() + p, q - p);
      p = q;
      if (ended) {
        if (target) {
          text.resize(text.size() - 3);
          FExpanded.clear();
          for (const char c : text) {
            if (c == '&')
              FExpanded.append("&amp;");
            else
              FExpanded.push_back(c);
          }
          target->AddTextUtf8(FExpanded, true);
        }
        prevCR = false;
        enter(stText);
      }
      continue;
    }
    if (state == stDocType) {
      size_t q = p;
      bool ended = false;
      while (q < block.size() && !ended) {
        const char c = block[q++];
        FDeclBytes.push_back(c);
        if (docComment) {
          docComment = !(c == '>' && FDeclBytes.ends_with("-->"));
        } else if (c == '>' && !docSubset) {
          ended = true;  // outside the internal subset a ">" ends it, quoted or not, as always
        } else if (docQuote) {
          if (c == docQuote) docQuote = 0;
        } else if (c == '"' || c == '\'') {
          docQuote = c;
        } else if (c == '[') {
          docSubset = true;
        } else if (c == ']') {
          docSubset = false;
        } else if (c == '-' && docSubset && FDeclBytes.ends_with("<!--")) {
          docComment = true;
        }
      }
      p = q;
      if (FDeclBytes.size() > FExpandedCap) {
        RefuseEntities();
        break;
      }
      if (ended) {
        FDeclBytes.pop_back();
        ReadDocType(FDeclBytes);
        FDeclBytes.clear();
        prevCR = false;
        enter(stText);
      }
      continue;
    }
    if (state == stText) {
      const size_t lt = NextMarkup(block.data(), p, block.size());
      const size_t stop = lt == std::string_view::npos ? block.size() : lt;
      if (lt == std::string_view::npos) {
        // The text goes on in the next block.
        if (target) text.append(block.data() + p, stop - p);
        p = stop;
        continue;
      }
      prevCR = false;
      // The text before markup goes to its element once; decoded where it stands when it did
      // not begin in an earlier block.
      if (target) {
        if (text.empty()) {
          giveText(block.substr(p, stop - p));
        } else {
          text.append(block.data() + p, stop - p);
          giveText(text);
        }
        if (Aborted) break;
      }
      p = stop + 1;
      text.clear();
      if (ShortTags && block.size() <= UINT32_MAX) {
        if (const size_t after = shortTag(p); after != std::string_view::npos) {
          p = after;
          if (Aborted) break;
          continue;
        }
      }
      enter(stName);
      continue;
    }
    if (state != stQuoted && !prevCR && (state != stDecl || declChars >= 7)) {
      // A run of bytes that mean nothing in markup: part of a name or a value, or counted in a
      // declaration (once its first characters have told whether it is a CDATA section or a
      // document type).
      size_t q = p;
      while (q < block.size() && !kMarkupByte[static_cast<unsigned char>(block[q])]) ++q;
      if (q != p) {
        if (state == stDecl) {
          declChars = static_cast<int>(std::min<size_t>(static_cast<size_t>(declChars) + (q - p), 1u << 30));
          dashes = 0;
        } else if (state == stAttrValue) {
          text.append(block.data() + p, q - p);
          valueStarted = true;
        } else {
          name.append(block.data() + p, q - p);
        }
        p = q;
        continue;
      }
    }
    if (state == stQuoted && !prevCR) {
      size_t q = p;
      for (;;) {
        while (q < block.size() && !kQuotedStop[static_cast<unsigned char>(block[q])]) ++q;
        // The other kind of quote is part of the value.
        if (q < block.size() && (block[q] == '"' || block[q] == '\'') && block[q] != quote) {
          ++q;
          continue;
        }
        break;
      }
      if (q != p) {
        text.append(block.data() + p, q - p);
        p = q;
        continue;
      }
    }
    char c = block[p++];
    if (c == '\n' && prevCR) {  // CR LF is one line end
      prevCR = false;
      continue;
    }
    prevCR = c == '\r';
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';

    switch (c) {
      case '<':
        if (state == stDecl && comment) {
          declChar(c);
          break;
        }
        // Whatever a broken tag had gathered is dropped.
        text.clear();
        enter(stName);
        break;
      case '!':
        if (state == stName)
          enter(stDecl);
        else
          append(c);
        break;
      case '"':
      case '\'':
        if (state == stAttrValue) {
          if (!valueStarted || c == '"') {
            quote = c;
            valueStarted = true;
            state = stQuoted;
          } else {
            append(c);
          }
        } else if (state == stQuoted) {
          if (c == quote)
            state = stAttrValue;
          else
            append(c);
        } else if (state == stDecl || c == '\'') {
          append(c);
        }
        break;
      case '=':
        if (state == stAttrName) {
          while (!name.empty() && name.back() == ' ') name.pop_back();
          // The name stays; only the value is emptied.
          state = stAttrValue;
          text.clear();
          valueStarted = false;
        } else {
          append(c);
        }
        break;
      case ' ':
        if (state == stName) {
          if (!name.empty()) {
            OpenTag(cur, name);
            enter(stAttrName);
          }
        } else if (state == stAttrValue) {
          if (valueStarted) {  // blanks after "=" come before the value
            AddAttribute(cur, name, text);
            enter(stAttrName);
          }
        } else {
          append(c);
        }
        break;
      case '/':
      case '?':
        if (state == stName) {
          if (c == '/') {
            if (!name.empty()) {
              OpenTag(cur, name);
              TagOpened(cur);
            }
            enter(stEndTag);
          }
        } else if (state == stAttrName || state == stAttrValue) {
          if (state == stAttrValue) AddAttribute(cur, name, text);
          TagOpened(cur);
          enter(stEndTag);
        } else {
          append(c);
        }
        break;
      case '>':
        switch (state) {
          case stName:
            OpenTag(cur, name);
            TagOpened(cur);
            enter(stText);
            break;
          case stAttrName:
            TagOpened(cur);
            enter(stText);
            break;
          case stAttrValue:
            AddAttribute(cur, name, text);
            TagOpened(cur);
            enter(stText);
            break;
          case stEndTag:
            if (p >= tickAt && Input) {
              progress(block.size() - p);
              tickAt = p + kTick;
              if (Aborted) break;
            }
            cur = TagClosed(cur, endName());
            enter(stText);
            break;
          case stDecl:
            if (comment && !(dashes >= 2 && declChars >= 4))
              declChar(c);
            else
              enter(stText);
            break;
          default:  // a quoted value, which may hold ">"
            append(c);
            break;
        }
        break;
      default:
        append(c);
        break;
    }
    if (Aborted) break;
  }
  // Every element still open stays with the root for the next parse.
}

// ---------------------------------------------------------------------------------------------
namespace {

constexpr bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Nesting of entities deeper than this is refused: no document needs it, and a reference to
// itself would never end.
constexpr int kMaxEntityDepth = 16;
// No run of text between markup, nor an attribute value, grows by more than this through
// entities. The run itself may be as long as the document makes it.
constexpr size_t kMaxExpandedRun = size_t{1} << 24;
constexpr size_t kMaxEntityName = 256;

}  // namespace

void TReaderHTML::ReadDocType(std::string_view d) {
  const size_t n = d.size();
  auto skipQuoted = [&](size_t i) {  // i at a quote: the index after its end
    const size_t e = d.find(d[i], i + 1);
    return e == std::string_view::npos ? n : e + 1;
  };
  size_t i = d.find('[');
  if (i == std::string_view::npos) return;  // no internal subset
  while (i < n) {
    if (d.compare(i, 4, "<!--") == 0) {
      const size_t e = d.find("-->", i + 4);
      i = e == std::string_view::npos ? n : e + 3;
      continue;
    }
    if (d.compare(i, 2, "<?") == 0) {
      const size_t e = d.find("?>", i + 2);
      i = e == std::string_view::npos ? n : e + 2;
      continue;
    }
    if (d[i] == '"' || d[i] == '\'') {
      i = skipQuoted(i);
      continue;
    }
    if (d.compare(i, 8, "<!ENTITY") != 0) {
      ++i;
      continue;
    }
    i += 8;
    auto blanks = [&] {
      while (i < n && IsXmlBlank(d[i])) ++i;
    };
    blanks();
    const bool parameter = i < n && d[i] == '%';  // an entity of the declarations only
    if (parameter) {
      ++i;
      blanks();
    }
    const size_t nameAt = i;
    while (i < n && !IsXmlBlank(d[i]) && d[i] != '"' && d[i] != '\'' && d[i] != '>') ++i;
    const std::string_view name = d.substr(nameAt, i - nameAt);
    blanks();
    if (i < n && (d[i] == '"' || d[i] == '\'')) {
      const size_t end = skipQuoted(i);
      // An internal entity: the first declaration of a name binds. XML's own five keep their
      // meaning; an external entity (SYSTEM, PUBLIC) is not fetched, and stays as written.
      static constexpr std::string_view kOwn[] = {"amp", "lt", "gt", "quot", "apos"};
      if (!parameter && !name.empty() && name.size() <= kMaxEntityName &&
          std::find(std::begin(kOwn), std::end(kOwn), name) == std::end(kOwn) && end <= n && end > i + 1 &&
          !FDocEntities.contains(name))
        FDocEntities.emplace(std::string(name), std::string(d.substr(i + 1, end - i - 2)));
      i = end;
    }
    // The rest of the declaration.
    while (i < n && d[i] != '>') i = d[i] == '"' || d[i] == '\'' ? skipQuoted(i) : i + 1;
  }
}

void TReaderHTML::RefuseEntities() {
  Refuse(u"Cannot convert file \"%s\".", Input ? Input->FileName() : WideString(),
         u" The entities that its document type declares nest too deeply or expand to too much text.");
}

bool TReaderHTML::ExpandEntities(std::string_view text, std::string& out, int depth) {
  const size_t start = out.size();
  size_t i = 0;
  for (;;) {
    const size_t a = text.find('&', i);
    if (a == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, a - i));
    i = a + 1;
    const size_t semi = text.substr(0, a + 2 + kMaxEntityName).find(';', a + 1);
    const auto it = semi == std::string_view::npos ? FDocEntities.end() : FDocEntities.find(text.substr(a + 1, semi - a - 1));
    if (it == FDocEntities.end()) {
      out.push_back('&');  // a reference of another kind, left to the decoding of the text
      continue;
    }
    FExpandedBytes += it->second.size();
    if (depth >= kMaxEntityDepth || FExpandedBytes > FExpandedCap || !ExpandEntities(it->second, out, depth + 1)) {
      if (!Failed()) RefuseEntities();
      return false;
    }
    i = semi + 1;
  }
  if (depth > 0 || out.size() - start <= text.size() + kMaxExpandedRun) return true;
  if (!Failed()) RefuseEntities();
  return false;
}

// ---------------------------------------------------------------------------------------------
size_t TReaderHTML::OpenFormEnd(std::u16string_view text, size_t p, size_t& failsFrom) {
  if (!StartsOpenForm(text, p) || p >= failsFrom) return std::u16string_view::npos;
  for (size_t e = p + 3; e < text.size(); ++e)
    if (text[e] == u';' && text[e - 1] != u'\\') return e;
  failsFrom = p;
  return std::u16string_view::npos;
}

void TReaderHTML::CharToHexRef(WideString& out, uint32_t code) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  WideChar digits[8];
  int n = 0;
  do {
    digits[n++] = kHex[code & 15];
    code >>= 4;
  } while (code && n < 8);
  out.append(u"&'");
  while (n) out.push_back(digits[--n]);
  out.push_back(u';');
}

// A placeholder ("&" + two characters + ";") or an open form ("&t=") begins right after the
// ampersand when its first character is text[k].
bool TReaderHTML::KeepsAmpersand(std::u16string_view text, size_t k) {
  if (k + 2 < text.size() && text[k + 2] == u';') return true;
  return k + 1 < text.size() && text[k] == u't' && text[k + 1] == u'=';
}

size_t TReaderHTML::DecodeReference(std::u16string_view text, size_t p, uint32_t& code, bool& named) const {
  const size_t n = text.size();
  auto at = [&](size_t i) -> WideChar { return i < n ? text[i] : 0; };
  named = false;
  size_t q;
  bool hex;
  if (at(p + 1) == u'#') {
    hex = at(p + 2) == u'x';
    q = p + (hex ? 3 : 2);
  } else if (at(p + 1) == u'\'') {
    hex = true;
    q = p + 2;
  } else {
    // The names of XML's own five, most of the references met, are known without the walk.
    const std::u16string_view rest = text.substr(p + 1, 5);
    for (const auto& [name, value] : kXmlEntities) {
      if (rest.substr(0, name.size()) == name) {
        code = value;
        named = true;
        return p + 1 + name.size();
      }
    }
    // A name of the table, walked letter by letter up to its ";".
    const TTreeLetters* node = &Entities;
    size_t j = p + 1;
    const size_t limit = j + static_cast<size_t>(Entities.MaxLength());
    while (j < n && j <= limit && text[j] != u';') {
      node = node->FindChild(text[j]);
      if (!node) return p;
      ++j;
    }
    if (j >= n || text[j] != u';' || node == &Entities || node->Value() == -1) return p;
    code = static_cast<uint32_t>(node->Value()) & 0xFFFF;
    named = true;
    return j + 1;
  }
  const size_t digits = q;
  uint32_t v = 0;
  for (int d; q < n && (d = DigitValue(text[q], hex)) >= 0; ++q) {
    v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    if (v > kMaxCode) v = kMaxCode + 1;  // held there: no character
  }
  if (q == digits) return p;
  code = v;
  return q < n && text[q] == u';' ? q + 1 : q;
}

void TReaderHTML::AppendFieldChar(WideString& out, uint32_t code) {
  switch (code) {
    case 0: out.push_back(0); break;  // kept: the unit stream writes it as its escape
    case 9: out.append(u"&'9;"); break;
    case 10: out.append(u"&'A;"); break;
    case 13: out.append(u"&'D;"); break;
    case u'&': out.push_back(kTextAmp); break;  // settled once the text after it is known
    case 0xFFFE: case 0xFFFF: out.push_back(u' '); break;  // no character of XML
    default:
      if (code > kMaxCode)
        out.push_back(u' ');
      else
        AppendCodePoint(out, code);
      break;
  }
}

bool TReaderHTML::ReadsAsCode(std::u16string_view text, size_t p) {
  auto at = [&](size_t k) -> WideChar { return p + k < text.size() ? text[p + k] : 0; };
  switch (at(1)) {
    case u'\'': return IsHexDigit(at(2));
    case u'#': return at(2) == u'x' ? IsHexDigit(at(3)) : DigitValue(at(2), false) >= 0;
    case u'f': case u'j': case u'p': case u's': return at(2) >= u'A' && at(2) <= u'Z' && at(3) == u';';
    case u't': return at(2) == u'=' || (at(2) != 0 && at(3) == u';');
    default: return false;
  }
}

// An ampersand of the text is written as it is, unless what follows it would make it a
// placeholder or an escape for the reader of the field: it is then the escape "&'26;".
void TReaderHTML::SettleTextAmpersands(WideString& text) {
  // Most ampersands stay what they are, in place; the text is copied only when one must grow.
  size_t escaped = 0;
  for (size_t i = text.find(kTextAmp); i != WideString::npos; i = text.find(kTextAmp, i + 1)) {
    // What follows is text or a placeholder; a following text ampersand is no code either.
    WideChar next[4] = {u'&', 0, 0, 0};
    for (size_t k = 1; k < 4 && i + k < text.size(); ++k) next[k] = text[i + k];
    if (ReadsAsCode(std::u16string_view(next, 4), 0)) {
      ++escaped;
      text[i] = kEscapedAmp;
    } else {
      text[i] = u'&';
    }
  }
  if (escaped == 0) return;
  FOut.clear();
  FOut.reserve(text.size() + 4 * escaped);
  size_t run = 0;
  for (size_t i = text.find(kEscapedAmp); i != WideString::npos; i = text.find(kEscapedAmp, i + 1)) {
    FOut.append(text, run, i - run);
    FOut.append(u"&'26;");
    run = i + 1;
  }
  FOut.append(text, run, WideString::npos);
  text.swap(FOut);
}

void TReaderHTML::DecodeEntities(WideString& text) {
  const std::u16string_view t(text);
  const size_t n = t.size();
  FOut.clear();
  FOut.reserve(n);
  size_t failsFrom = std::u16string_view::npos;
  bool textAmps = false;  // an ampersand of the text was met
  size_t i = 0;
  while (i < n) {
    size_t p = i;
    while (p < n && t[p] != u'&' && t[p] != kTextAmp && t[p] != 0xFFFE) ++p;
    FOut.append(t.substr(i, p - i));
    if (p >= n) break;
    if (t[p] != u'&') {  // no character of XML
      FOut.push_back(u' ');
      i = p + 1;
      continue;
    }
    if (StartsOpenForm(t, p)) {
      // An open form is field text already; one without its end is left for the reader of
      // the field to take as text.
      const size_t e = OpenFormEnd(t, p, failsFrom);
      const size_t stop = e == std::u16string_view::npos ? p + 1 : e + 1;
      for (size_t k = p; k < stop; ++k) FOut.push_back(t[k] >= 0xFFFE ? u' ' : t[k]);  // no character of XML
      i = stop;
      continue;
    }
    uint32_t code = 0;
    bool named = false;
    const size_t next = DecodeReference(t, p, code, named);
    if (next != p) {
      AppendFieldChar(FOut, code);
      textAmps = textAmps || code == u'&';
      i = next;
      continue;
    }
    // No reference: a placeholder stays; any other ampersand is one of the text.
    if (KeepsAmpersand(t, p + 1)) {
      FOut.push_back(u'&');
    } else {
      FOut.push_back(kTextAmp);
      textAmps = true;
    }
    i = p + 1;
  }
  text.swap(FOut);
  if (textAmps) SettleTextAmpersands(text);
}

void TReaderHTML::DecodeXmlText(std::u16string_view text, WideString& out) const {
  out.clear();
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    // The run up to the next reference or blank to change goes as it is.
    size_t j = i;
    while (j < n && text[j] != u'&' && (text[j] > u'\r' || (text[j] != u'\t' && text[j] != u'\r' && text[j] != u'\n'))) ++j;
    out.append(text.substr(i, j - i));
    if (j >= n) break;
    i = j;
    const WideChar c = text[i];
    if (c == u'&') {
      uint32_t code = 0;
      bool named = false;
      const size_t next = DecodeReference(text, i, code, named);
      if (next == i) {
        out.push_back(c);
        ++i;
        continue;
      }
      if (named && code == 128) code = 0x20AC;  // the euro sign itself in plain text
      if (code == 9 || code == 10 || code == 13 || code > kMaxCode)
        out.push_back(u' ');
      else if (code != 0)
        AppendCodePoint(out, code);
      i = next;
      continue;
    }
    out.push_back(c == u'\t' || c == u'\r' || c == u'\n' ? u' ' : c);
    ++i;
  }
}

void TReaderHTML::SegmentToField(WideString& text, bool registerTags) {
  bool plain = true;
  for (const WideChar c : text) {
    if (c < 0xC0 ? kSegmentWork[c] : c >= 0xFFFE) {
      plain = false;
      break;
    }
  }
  if (!plain) DecodeEntities(text);
  // The blanks at the end are set aside while the text is worked on, and come back escaped.
  size_t n = text.size();
  while (n > 0 && text[n - 1] == u' ') --n;
  const size_t tail = text.size() - n;
  text.resize(n);
  if (!plain) {
    // Without a group there is no inline element to replace: the tag pass would copy the text
    // as it stands, so only its special characters are escaped.
    if (text.find(u'{') == WideString::npos)
      EscapeSpecialChars(text);
    else
      TagsToPlaceholders(text, registerTags, true);
  }
  if (tail > 0 || (!text.empty() && text.front() == u' ')) EscapeEdgeBlanks(text, tail);
}

namespace {

// UTF-8 segment text that needs no more than its edge blanks escaped: well-formed, without a
// character below 0x20, "&" or "{", nor one of U+0080..U+00BF (where the other special
// characters are, all led by 0xC2), a surrogate's form (0xED leads them) or U+FFFE and U+FFFF.
// EscapeEdgeBlanks for UTF-8 text that holds no open form without its end.
void EscapeEdgeBlanksUtf8(std::string& text) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  const size_t tail = text.size() - n;
  if (tail > 0) {
    text.resize(n + tail - 1);
    text.append("&'20;");
  }
  if (!text.empty() && text.front() == ' ') text.replace(0, 1, "&'20;");
}

void AppendWide(std::string& out, std::u16string_view text) {
  const size_t at = out.size();
  out.resize(at + text.size() * 3);
  out.resize(static_cast<size_t>(platform::EncodeUtf8(text, out.data() + at, platform::LoneSurrogate::Keep) - out.data()));
}

// What segment text in UTF-8 is acted on at: references and ampersands, the groups of inline
// elements, the characters U+0080..U+00BF (where the special ones are), and whatever only the
// UTF-16 passes settle.
const TUtf8Stops& FieldTextStops() {
  static const TUtf8Stops stops = MakeUtf8Stops(true, "&{", "\xC2\xED", true);
  return stops;
}

}  // namespace

// Segment text in UTF-8 into field text where it stands, as the UTF-16 passes would make it:
// references decoded, ampersands of the text settled, the groups of inline elements made
// placeholders or open forms, special characters escaped. False (out undefined) for text that
// only the UTF-16 passes settle: what is no well-formed UTF-8, controls, open forms, U+FFFE and
// U+FFFF, references to surrogates or to "{", and ampersands with another reference close behind
// them. The text before stop has nothing to act on.
bool TReaderHTML::SegmentToFieldUtf8(const std::string& text, std::string& out, bool registerTags, size_t stop) {
  const TUtf8Stops& kStops = FieldTextStops();
  const std::string_view t(text);
  const size_t n = t.size();
  auto byteAt = [&](size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(t[k]) : 0; };
  // The three UTF-16 units after an ampersand, when they hold no other reference and their
  // forms are well-formed (text that is not goes to the UTF-16 passes anyway).
  WideChar ahead[4];
  auto unitsAhead = [&](size_t from) {
    ahead[0] = u'&';
    size_t k = from;
    for (int u = 1; u < 4;) {
      const unsigned char b = byteAt(k);
      if (b == '&') return false;
      if (b < 0x80) {
        ahead[u++] = b;
        ++k;
        continue;
      }
      const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
      if (length == 0 || b > 0xF4 || b == 0xED) return false;
      uint32_t code = b & (0x7Fu >> length);
      for (size_t m = 1; m < length; ++m) {
        const unsigned char c = byteAt(k + m);
        if ((c & 0xC0) != 0x80) return false;
        code = code << 6 | (c & 0x3F);
      }
      if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > kMaxCode))) return false;
      k += length;
      if (code < 0x10000) {
        ahead[u++] = static_cast<WideChar>(code);
      } else {
        ahead[u++] = 0xD800;
        if (u < 4) ahead[u++] = 0xDC00;
      }
    }
    return true;
  };
  bool lettersKnown = false;
  out.clear();
  size_t i = 0;
  for (;;) {
    // The words between references are mostly ASCII: they are passed over here, and only what
    // follows them beyond ASCII is left to the scan.
    size_t j = i == 0 ? stop : i;
    if (i != 0) {
      while (j < n && kPlainFieldByte[static_cast<unsigned char>(t[j])]) ++j;
      if (j < n && static_cast<unsigned char>(t[j]) >= 0x80) j += ScanUtf8(t.substr(j), kStops);
    }
    out.append(t.substr(i, j - i));
    if (j >= n) break;
    const unsigned char c = static_cast<unsigned char>(t[j]);
    if (c == 0xC2) {
      const unsigned char b = byteAt(j + 1);
      if (b < 0x80 || b > 0xBF) return false;
      if (IsSpecial(b)) {
        FWide8.clear();
        CharToHexRef(FWide8, b);
        AppendWide(out, FWide8);
      } else {
        out.append(t.substr(j, 2));
      }
      i = j + 2;
      continue;
    }
    if (c == '{') {
      i = j + 1;
      if (IsKeyAt(t, j)) {
        FKey.assign(t.begin() + static_cast<ptrdiff_t>(j), t.begin() + static_cast<ptrdiff_t>(j + 34));
        if (const int contentAt = TagContents.IndexOfName(FKey); contentAt >= 0) {
          if (registerTags) {
            if (!lettersKnown) {
              // Letters that are taken: by the tags listed already, and by placeholders in the text.
              FUsedLetters = 0;
              for (int k = 0; k < TagPlaceholders.Count(); ++k) {
                const WideString& ph = TagPlaceholders.Items(k).Value;
                if (ph.size() == 4 && ph[2] >= u'A' && ph[2] <= u'Z') FUsedLetters |= 1u << (ph[2] - u'A');
              }
              for (size_t a = t.find('&'); a != std::string_view::npos && a + 3 < n; a = t.find('&', a + 1))
                if (t[a + 1] >= 'a' && t[a + 1] <= 'z' && t[a + 2] >= 'A' && t[a + 2] <= 'Z' && t[a + 3] == ';')
                  FUsedLetters |= 1u << (t[a + 2] - 'A');
              lettersKnown = true;
            }
            RegisterTag(FKey);
          }
          i = j + 34;
          if (PCWideChar ph = TagPlaceholders.PlaceholderOf(FKey)) {
            AppendWide(out, ph);
            continue;
          }
          // The open form of the element's content, as the text TM reads it back.
          const WideString& content = ExpandedContent(contentAt);
          FWide8.assign(u"&t=");
          for (const WideChar d : content) {
            if (d == u';') FWide8.push_back(u'\\');
            FWide8.push_back(d == u'\t' || d == u'\r' || d == u'\n' ? u' ' : d);
          }
          if (!content.empty() && content.back() == u'\\') FWide8.push_back(u' ');
          FWide8.push_back(u';');
          AppendWide(out, FWide8);
          continue;
        }
      }
      out.push_back('{');
      continue;
    }
    if (c != '&') return false;
    // An ampersand: a reference, a placeholder's, or one of the text.
    if (byteAt(j + 1) == 't' && byteAt(j + 2) == '=') return false;
    uint32_t code = 0;
    size_t next = 0;
    // XML's own five, most of the references met, are known where they stand, as
    // DecodeReference knows them; any other is looked at in UTF-16.
    const std::string_view rest = t.substr(j + 1, 5);
    const auto xml = [&](size_t at) {  // the entry of kXmlEntities8 that the text may start with
      if (rest.starts_with(kXmlEntities8[at].first)) {
        code = kXmlEntities8[at].second;
        next = 1 + kXmlEntities8[at].first.size();
      }
    };
    switch (byteAt(j + 1)) {
      case 'a': xml(0); if (next == 0) xml(4); break;
      case 'l': xml(1); break;
      case 'g': xml(2); break;
      case 'q': xml(3); break;
      default: break;
    }
    const size_t limit = std::min(n, j + 2 + static_cast<size_t>(Entities.MaxLength()) + 12);
    if (next == 0) {
      bool named = false;
      FKey.clear();
      for (size_t k = j; k < limit; ++k) FKey.push_back(static_cast<unsigned char>(t[k]));
      next = DecodeReference(FKey, 0, code, named);
      if (next != 0 && next >= FKey.size() && limit < n) return false;  // a reference longer than looked at
    }
    if (next == 0) {
      if (!unitsAhead(j + 1)) return false;
      // A placeholder keeps its ampersand; any other stays one of the text.
      if (KeepsAmpersand(std::u16string_view(ahead, 4), 1) || !ReadsAsCode(std::u16string_view(ahead, 4), 0))
        out.push_back('&');
      else
        out.append("&'26;");
      i = j + 1;
      continue;
    }
    i = j + next;
    switch (code) {
      case 0: out.push_back('\0'); break;
      case 9: out.append("&'9;"); break;
      case 10: out.append("&'A;"); break;
      case 13: out.append("&'D;"); break;
      case u'&':
        if (!unitsAhead(i)) return false;
        out.append(ReadsAsCode(std::u16string_view(ahead, 4), 0) ? "&'26;" : "&");
        break;
      case u'{':
        return false;
      case 0xFFFE: case 0xFFFF:
        out.push_back(' ');
        break;
      default:
        if (code > kMaxCode) {
          out.push_back(' ');
        } else if (code >= 0xD800 && code <= 0xDFFF) {
          return false;
        } else if (code < 0xC0 && IsSpecial(static_cast<WideChar>(code))) {
          FWide8.clear();
          CharToHexRef(FWide8, code);
          AppendWide(out, FWide8);
        } else if (code < 0x80) {
          out.push_back(static_cast<char>(code));
        } else {
          FWide8.clear();
          AppendCodePoint(FWide8, code);
          AppendWide(out, FWide8);
        }
        break;
    }
  }
  // The blanks at the edges, as for text that needed nothing else: what is made here holds no
  // open form without its end.
  EscapeEdgeBlanksUtf8(out);
  return true;
}

void TReaderHTML::SegmentToField(std::string& text, bool registerTags) {
  const size_t stop = ScanUtf8(text, FieldTextStops());
  const bool plain = stop == text.size();
  if (!plain && SegmentToFieldUtf8(text, FOut8, registerTags, stop)) {
    text.swap(FOut8);
    return;
  }
  if (!plain) {
    FWide.clear();
    ::AppendUtf8(text, FWide, true);
    SegmentToField(FWide, registerTags);
    text.resize(FWide.size() * 3);
    text.resize(static_cast<size_t>(platform::EncodeUtf8(FWide, text.data(), platform::LoneSurrogate::Keep) - text.data()));
    return;
  }
  // Plain text: no open form that an escape at its end could join.
  EscapeEdgeBlanksUtf8(text);
}

// A blank at either edge of a field is the one character that a reader of the text TM may take
// for padding (and the unit stream drops those at the end of a line): the outermost blank on
// each side is written as the escape "&'20;", which every reader of a field decodes.
void TReaderHTML::EscapeEdgeBlanks(WideString& text, size_t tail) {
  if (tail > 0) {
    // An open form without its end would take the ";" of the escape for its own: its "&" is
    // written as the escape of an ampersand, which reads as the same text.
    size_t failsFrom = std::u16string_view::npos;
    size_t p = text.find(u"&t=");
    while (p != WideString::npos) {
      const size_t e = OpenFormEnd(text, p, failsFrom);
      if (e == std::u16string_view::npos) break;
      p = text.find(u"&t=", e + 1);
    }
    if (p != WideString::npos) {
      FOut.assign(text, 0, p);
      for (size_t q; (q = text.find(u"&t=", p)) != WideString::npos; p = q + 1) {
        FOut.append(text, p, q - p);
        FOut.append(u"&'26;");
      }
      FOut.append(text, p, WideString::npos);
      text.swap(FOut);
    }
    text.append(tail - 1, u' ');
    text.append(u"&'20;");
  }
  if (!text.empty() && text.front() == u' ') text.replace(0, 1, u"&'20;");
}

void TReaderHTML::EscapeSpecialChars(WideString& text) {
  const std::u16string_view t(text);
  const size_t n = t.size();
  FOut.clear();
  FOut.reserve(n + 16);
  size_t failsFrom = std::u16string_view::npos;
  size_t run = 0;
  for (size_t i = 0; i < n; ++i) {
    const WideChar c = t[i];
    if (c == u'&') {
      const size_t e = OpenFormEnd(t, i, failsFrom);
      if (e == std::u16string_view::npos) continue;
      // Copied with the run; only a TAB or a line end, which would break the line of the text
      // TM, becomes a blank.
      for (size_t k = i + 3; k < e; ++k) {
        if (t[k] != u'\t' && t[k] != u'\r' && t[k] != u'\n') continue;
        FOut.append(t.substr(run, k - run));
        FOut.push_back(u' ');
        run = k + 1;
      }
      i = e;
      continue;
    }
    if (!IsSpecial(c)) continue;
    FOut.append(t.substr(run, i - run));
    CharToHexRef(FOut, c);
    run = i + 1;
  }
  if (run == 0) return;  // nothing escaped
  FOut.append(t.substr(run));
  text.swap(FOut);
}

// ---------------------------------------------------------------------------------------------
// Walked with a stack of its own: elements may nest as deeply as the document has them. Each
// content is expanded where its key stands, so the result is as long as the elements' texts
// together.
const WideString& TReaderHTML::ExpandedContent(int index) {
  FContent.clear();
  FExpansions.clear();
  FExpansions.push_back({&TagContents.Items(index).Value, 0});
  while (!FExpansions.empty()) {
    const std::u16string_view c(*FExpansions.back().Text);
    const size_t from = FExpansions.back().At;
    int inner = -1;
    size_t i = c.find(u'{', from);
    for (; i != std::u16string_view::npos; i = c.find(u'{', i + 1)) {
      if (i + 33 >= c.size() || c[i + 33] != u'}') continue;
      inner = TagContents.IndexOfName(c.substr(i, 34));
      if (inner >= 0) break;
    }
    if (inner < 0) {
      FContent.append(c.substr(from));
      FExpansions.pop_back();
      continue;
    }
    FContent.append(c.substr(from, i - from));
    FExpansions.back().At = i + 34;
    // A content never holds its own key; one that seems to (text spelt like a key) stays as
    // it is rather than going round.
    if (FExpansions.size() >= static_cast<size_t>(TagContents.Count()))
      FContent.append(c.substr(i, 34));
    else
      FExpansions.push_back({&TagContents.Items(inner).Value, 0});
  }
  return FContent;
}

void TReaderHTML::RegisterTag(std::u16string_view tagText) {
  if (TagPlaceholders.IndexOfName(tagText) >= 0) return;
  const int next = TagPlaceholders.Count();
  if (next >= kPlaceholderLetters) return;  // no letter left: the tag is written in the open form
  if (next >= 26 || !(FUsedLetters >> next & 1)) {
    TagPlaceholders.AddTag(tagText);
    if (next < 26) FUsedLetters |= 1u << next;
    return;
  }
  // The usual letter is taken by a placeholder that the segment held already: the lowest free
  // one is used, so that two tags never share a placeholder.
  int letter = 0;
  while (letter < 26 && (FUsedLetters >> letter & 1)) ++letter;
  if (letter == 26) {
    TagPlaceholders.AddTag(tagText);
    return;
  }
  WideChar placeholder[4] = {u'&', u't', static_cast<WideChar>(u'A' + letter), u';'};
  if (tagText.size() >= 3 && tagText[0] == u'<' && tagText[1] == u'#')
    placeholder[1] = tagText[2];
  else if (!tagText.empty() && tagText[0] == u'{' && tagText.find(u"\\field") != std::u16string_view::npos)
    placeholder[1] = u'f';
  TagPlaceholders.Add(tagText, std::u16string_view(placeholder, 4));
  FUsedLetters |= 1u << letter;
}

void TReaderHTML::TagsToPlaceholders(WideString& text, bool registerTags, bool keysOnly) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
  const size_t n = text.size();
  if (n >= kNone) return;  // positions are kept in 32 bits; no segment comes near
  const std::u16string_view t(text);

  if (registerTags) {
    // Letters that are taken: by the tags listed already, and by placeholders in the text.
    FUsedLetters = 0;
    for (int k = 0; k < TagPlaceholders.Count(); ++k) {
      const WideString& ph = TagPlaceholders.Items(k).Value;
      if (ph.size() == 4 && ph[2] >= u'A' && ph[2] <= u'Z') FUsedLetters |= 1u << (ph[2] - u'A');
    }
    for (size_t i = t.find(u'&'); i != std::u16string_view::npos && i + 3 < n; i = t.find(u'&', i + 1))
      if (t[i + 1] >= u'a' && t[i + 1] <= u'z' && t[i + 2] >= u'A' && t[i + 2] <= u'Z' && t[i + 3] == u';')
        FUsedLetters |= 1u << (t[i + 2] - u'A');
  }

  // Where each tag ends, found in one pass: nested groups of the same kind belong to the
  // outermost; an opener never closed stays text. A "<" tag never spans the group of an
  // inline element, whose markup it cannot be part of.
  FMatch.assign(n, kNone);
  FBraces.clear();
  FAngles.clear();
  size_t poisoned = 0;  // "<" openers below this depth of FAngles span an inline element
  size_t failsFrom = std::u16string_view::npos;
  for (size_t i = 0; i < n; ++i) {
    switch (t[i]) {
      case u'&': {
        const size_t e = OpenFormEnd(t, i, failsFrom);
        if (e != std::u16string_view::npos) i = e;
        break;
      }
      case u'{':
        if (IsKeyAt(t, i) && (!keysOnly || TagContents.IndexOfName(t.substr(i, 34)) >= 0)) {
          FMatch[i] = static_cast<uint32_t>(i + 33);
          poisoned = FAngles.size();
          i += 33;
        } else if (!keysOnly) {
          FBraces.push_back(static_cast<uint32_t>(i));
        }
        break;
      case u'}':
        if (!keysOnly && !FBraces.empty()) {
          FMatch[FBraces.back()] = static_cast<uint32_t>(i);
          FBraces.pop_back();
        }
        break;
      case u'<':
        if (!keysOnly) FAngles.push_back(static_cast<uint32_t>(i));
        break;
      case u'>':
        if (!keysOnly && !FAngles.empty()) {
          const uint32_t open = FAngles.back();
          FAngles.pop_back();
          if (FAngles.size() >= poisoned)
            FMatch[open] = static_cast<uint32_t>(i);
          else
            poisoned = FAngles.size();
        }
        break;
      default:
        break;
    }
  }

  FOut.clear();
  FOut.reserve(n + 16);
  failsFrom = std::u16string_view::npos;
  size_t prevEnd = std::u16string_view::npos;  // where the previous tag's replacement ended
  std::u16string_view prevTag;
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && t[j] != u'{' && t[j] != u'<' && !StartsOpenForm(t, j)) ++j;
    FOut.append(t.substr(i, j - i));
    if (j >= n) break;
    if (t[j] == u'&') {
      const size_t e = OpenFormEnd(t, j, failsFrom);
      const size_t stop = e == std::u16string_view::npos ? j + 1 : e + 1;
      FOut.append(t.substr(j, stop - j));
      i = stop;
      continue;
    }
    const uint32_t end = FMatch[j];
    if (end == kNone) {
      FOut.push_back(t[j]);
      i = j + 1;
      continue;
    }
    const std::u16string_view tag = t.substr(j, end - j + 1);
    i = end + 1;
    if (!keysOnly && j == prevEnd && tag == prevTag) {  // the same tag back to back: one placeholder
      prevEnd = i;
      continue;
    }
    prevTag = tag;
    prevEnd = i;
    if (registerTags) RegisterTag(tag);
    if (PCWideChar ph = TagPlaceholders.PlaceholderOf(tag)) {
      FOut.append(ph);
      continue;
    }
    std::u16string_view content = tag;
    const int k = TagContents.IndexOfName(tag);
    if (k >= 0) content = ExpandedContent(k);
    FOut.append(u"&t=");
    for (const WideChar c : content) {
      if (c == u';') FOut.push_back(u'\\');
      FOut.push_back(c == u'\t' ? u' ' : c);
    }
    // A "\" right before the end would make the ";" part of the text.
    if (!content.empty() && content.back() == u'\\') FOut.push_back(u' ');
    FOut.push_back(u';');
  }
  text.swap(FOut);
  EscapeSpecialChars(text);
}
