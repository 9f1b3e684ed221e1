#include "tm/MyDecodeTMX.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "base/MD5Api.h"
#include "base/MyDateTimes.h"
#include "base/MyFileStream.h"
#include "base/MySysUtils.h"
#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"
#include "platform/core/Files.h"
#include "platform/core/Process.h"
#include "platform/core/Utf8.h"
#include "tm/TUStream.h"
#include "unicode/UniSysUtils.h"

namespace {

// Inline elements: the codes (bpt, ept, ph, it, ut) stand for markup and become placeholders
// whole; hi marks up text, so only its start and its end do; sub is text inside a code.
enum TElement : uint8_t { elOther, elXml, elTmx, elHeader, elTu, elTuv, elSeg, elProp, elInline, elHi, elSub };

struct TElementName {
  const char16_t* Name;
  TElement Kind;
};

const TElementName kElements[] = {
    {u"xml", elXml}, {u"tmx", elTmx}, {u"header", elHeader}, {u"head", elHeader}, {u"tu", elTu},
    {u"tuv", elTuv}, {u"seg", elSeg}, {u"prop", elProp},     {u"bpt", elInline},  {u"ept", elInline},
    {u"ph", elInline}, {u"it", elInline}, {u"ut", elInline}, {u"hi", elHi},
    {u"sub", elSub},
};

// Names are told apart by their hash first; the hash is not unique, so a match is confirmed.
TElement ElementOfFolded(const WideString& name) {
  static const std::vector<int> hashes = [] {
    std::vector<int> h;
    for (const auto& e : kElements) h.push_back(HashFoldedW(e.Name));
    return h;
  }();
  const int hash = HashFoldedW(name.c_str());
  for (size_t i = 0; i < std::size(kElements); ++i)
    if (hashes[i] == hash && CompareFoldedW(name.c_str(), kElements[i].Name) == 0) return kElements[i].Kind;
  return elOther;
}

constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;

// A short name (2 to 16 bytes) as two numbers, read as two halves that overlap where the name is
// shorter than both together, so that no byte outside it is read and none is left out: with the
// length, the pair tells the name apart from every other. Little-endian, as the literals' form.
struct TNameKey {
  uint64_t Lo = 0, Hi = 0;
  constexpr bool operator==(const TNameKey&) const = default;
};

constexpr size_t KeyHalf(size_t n) { return n >= 8 ? 8 : n >= 4 ? 4 : 2; }

consteval TNameKey KeyOf(std::string_view s) {
  const size_t n = s.size(), half = KeyHalf(n);
  TNameKey k;
  for (size_t i = 0; i < half; ++i) {
    k.Lo |= uint64_t{static_cast<uint8_t>(s[i])} << (8 * i);
    k.Hi |= uint64_t{static_cast<uint8_t>(s[n - half + i])} << (8 * i);
  }
  return k;
}

[[gnu::always_inline]] inline uint64_t LoadHalf(const char* p, size_t half) {
  if (half == 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
  }
  if (half == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// ASCII capitals of every byte to lower case; the bytes are below 0x80.
constexpr uint64_t FoldAscii(uint64_t x) {
  return x | ((x + (0x80 - 'A') * kOnes) & ~(x + (0x80 - 'Z' - 1) * kOnes) & kHigh) >> 2;
}

// The key of a name of 2 to 16 bytes, capitals folded; false when a byte is beyond ASCII.
[[gnu::always_inline]] inline bool FoldedKey(std::string_view s, TNameKey& key) {
  const size_t n = s.size(), half = KeyHalf(n);
  key.Lo = LoadHalf(s.data(), half);
  key.Hi = LoadHalf(s.data() + n - half, half);
  if ((key.Lo | key.Hi) & kHigh) return false;
  key.Lo = FoldAscii(key.Lo);
  key.Hi = FoldAscii(key.Hi);
  return true;
}

// A name of at most 6 ASCII characters, folded to lower case.
TElement ElementOfAscii(std::string_view v) {
  switch (v.size()) {
    case 2:
      if (v == "tu") return elTu;
      if (v == "ph" || v == "it" || v == "ut") return elInline;
      if (v == "hi") return elHi;
      break;
    case 3:
      if (v == "seg") return elSeg;
      if (v == "tuv") return elTuv;
      if (v == "bpt" || v == "ept") return elInline;
      if (v == "sub") return elSub;
      if (v == "xml") return elXml;
      if (v == "tmx") return elTmx;
      break;
    case 4:
      if (v == "prop") return elProp;
      if (v == "head") return elHeader;
      break;
    case 6:
      if (v == "header") return elHeader;
      break;
    default:
      break;
  }
  return elOther;
}

TElement ElementOf(const WideString& name) {
  const size_t n = name.size();
  if (n == 0 || n > 6) return elOther;
  // ASCII names, the usual ones, are folded here; anything else as the folding tables say.
  char folded[6];
  for (size_t i = 0; i < n; ++i) {
    const WideChar c = name[i];
    if (c >= 0x80) return ElementOfFolded(name);
    folded[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
  }
  return ElementOfAscii(std::string_view(folded, n));
}

// The element's kind, looked up once, when it is first asked for.
TElement ElementOf(const TTag& tag) {
  if (tag.Kind < 0) tag.Kind = ElementOf(tag.Name);
  return static_cast<TElement>(tag.Kind);
}

// Equal bytes, compared in place: the strings are a few bytes long (language codes).
bool SameShort(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (a[k] != b[k]) return false;
  return true;
}

bool AllDigits(PCWideChar p) {
  if (!p || !*p) return false;
  for (; *p; ++p)
    if (*p < u'0' || *p > u'9') return false;
  return true;
}

// A run of text-TM placeholders, "&" + kind + letter + ";" each.
bool IsPlaceholderRun(std::u16string_view s) {
  if (s.empty() || s.size() % 4 != 0) return false;
  for (size_t i = 0; i < s.size(); i += 4) {
    const WideChar kind = s[i + 1], letter = s[i + 2];
    if (s[i] != u'&' || s[i + 3] != u';' || letter < u'A' || letter > u'Z') return false;
    if (kind != u't' && kind != u'f' && kind != u'j' && kind != u'p' && kind != u's') return false;
  }
  return true;
}

// The length of a line as the unit stream writes it: without trailing blanks.
int TrimmedLength(const WideString& line) {
  size_t n = line.size();
  while (n > 0 && line[n - 1] == u' ') --n;
  return static_cast<int>(n);
}

// The blanks, dots and "%" that pad a header line to the length it must keep.
bool IsFiller(const WideString& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](WideChar c) { return c == u' ' || c == u'.' || c == u'%'; });
}

}  // namespace

int AttrFieldOf(int index) { return index == 0 ? tfAttributes : tfHeaderFiller + index; }

WideString TmLangCode(std::u16string_view code) {
  while (!code.empty() && code.front() == u' ') code.remove_prefix(1);
  while (!code.empty() && code.back() == u' ') code.remove_suffix(1);
  const size_t sep = code.find_first_of(u"-_");
  const std::u16string_view language = code.substr(0, sep);
  if (language.size() != 2 || sep == std::u16string_view::npos) return WideString(code);
  // The region is the first further part of two characters; scripts and numeric areas have none.
  size_t start = sep + 1;
  while (start <= code.size()) {
    size_t end = code.find_first_of(u"-_", start);
    if (end == std::u16string_view::npos) end = code.size();
    if (end - start == 2) {
      WideString result(language);
      result.push_back(code[sep]);
      result.append(code.substr(start, 2));
      return result;
    }
    start = end + 1;
  }
  return WideString(language);
}

// ---------------------------------------------------------------------------------------------
TDecodeTMX::TDecodeTMX(const WideString& fileName) : TBaseDecodeXML(fileName) {
  ClearLangPair(LangPair);
  MaxOpenElements = kMaxOpenElements;
}

TDecodeTMX::~TDecodeTMX() = default;

void TDecodeTMX::SetPropTypes(const TUniStringList& list) {
  PropTypes.Clear();
  PropTypes.SetCaseSensitive(list.CaseSensitive());
  for (int i = 0; i < list.Count(); ++i) PropTypes.Add(list[i]);
}

void TDecodeTMX::SetPropTypes(const std::vector<WideString>& list) {
  PropTypes.Clear();
  for (const WideString& s : list) PropTypes.Add(s);
}

bool TDecodeTMX::Convert(TTUStream* output, const WideString& outputName) {
  Output = output;
  OutputName = outputName;
  CurrentTU.reset();
  if (Failed()) return false;  // the input could not be opened
  if (!Output) {
    SetFileError(u"Cannot write file \"%s\". %s", outputName, 0);
    return false;
  }
  platform::SetLastErrorCode(0);
  Start();
  if (!Failed()) {
    Parse();
    Finish();
  }
  CurrentTU.reset();
  return !Failed();
}

void TDecodeTMX::OutputFailed() {
  if (!Failed()) SetFileError(u"Cannot write file \"%s\". %s", OutputName, platform::LastErrorCode());
  Abort();
}

// ---------------------------------------------------------------------------------------------
void TDecodeTMX::Start() {
  Appending = false;
  LangsKnown.clear();
  LineEndMissing = false;
  PairSettled = false;
  HeaderWritten = false;
  HaveHeader = false;
  InTU = false;
  Utf8Segments = Output->TakesUtf8Segments();
  const int64_t size = Output->GetSize();
  if (size > 0) {
    // Units go only into a translation memory: its first line is a header. Anything else is
    // someone's file, which is left as it is.
    ExistingHeader.Clear();
    ExistingHeader.IsHeader = true;
    if (Output->Read(ExistingHeader) <= 0 || !ExistingHeader.IsHeader || ExistingHeader.GetKind() != tkHeader) {
      SetFileError(u"The file \"%s\" is not a text translation memory; nothing was added to it. %s", OutputName, 0);
      return;
    }
    Appending = true;
    LangPair = ExistingHeader.LangPair;
    PairSettled = true;
    ExistingCount = ExistingHeader.GetCount();
    // The line as it stands in the file; unknown when reading it normalised it.
    HeaderLength = ExistingHeader.Modified ? -1 : static_cast<int>(ExistingHeader.GetLine().size());
    // A last line without its end would take the first new unit into it.
    LineEndMissing = !LastLineEnded();
  }
  Output->Seek(0, TSeekOrigin::FromEnd);
}

// Whether the output ends with a line end; read from the file itself when its name is known,
// since the last character of a UTF-8 file may be several bytes long.
bool TDecodeTMX::LastLineEnded() {
  if (!OutputName.empty()) {
    auto file = TTextFileStream::Create(OutputName, ccUnicode, false, fmOpenRead | fmShareDenyNone);
    if (file) {
      const int64_t chars = file->GetSize();
      if (chars <= 0) return true;
      unsigned char last[2] = {0, 0};
      file->SetPosition(chars - 1);
      if (file->ReadRaw(last, 1) != 1) return true;
      auto isEnd = [](unsigned char b) { return b == '\n' || b == '\r'; };
      switch (file->CodeChar()) {
        case ccUnicode: return last[1] == 0 && isEnd(last[0]);
        case ccBigEndian: return last[0] == 0 && isEnd(last[1]);
        default: return isEnd(last[0]);
      }
    }
  }
  // Through the stream: a line read from the last character is empty when that is a line end.
  TTU probe;
  Output->Seek(1, TSeekOrigin::FromEnd);
  Output->Read(probe);
  return probe.Field(0).empty();
}

void TDecodeTMX::Finish() {
  if (Failed()) return;
  if (!HaveHeader) {
    // No tmx element: another format under the extension (tile maps are written so), or no
    // document at all. Converting it would pass for an empty memory.
    if (!Aborted) Refuse(u"The file \"%s\" is not a TMX document.", Input ? Input->FileName() : WideString());
    return;
  }
  if (Appending) {
    if (UnitCount > 0) UpdateHeaderCount(ExistingCount + UnitCount);
    return;
  }
  if (!HeaderWritten) {
    WriteHeaderLine();  // no unit: the header alone, counting none
    return;
  }
  if (UnitCount > 0) UpdateHeaderCount(UnitCount);
}

// ---------------------------------------------------------------------------------------------
namespace {
const std::u16string_view kAttrNames[] = {u"changedate", u"creationdate", u"lastusagedate", u"creationid", u"changeid",
                                          u"usagecount", u"xml:lang",     u"lang",          u"srclang",    u"adminlang",
                                          u"type",       u"encoding"};
static_assert(std::size(kAttrNames) == TDecodeTMX::anCount);

// The attribute the reader reads that a folded key of a name of n bytes stands for; anCount
// for any other.
TDecodeTMX::TAttrName AttrNameOf(const TNameKey& k, size_t n) {
  using T = TDecodeTMX;
  switch (n) {
    case 4: return k == KeyOf("lang") ? T::anLang : k == KeyOf("type") ? T::anType : T::anCount;
    case 7: return k == KeyOf("srclang") ? T::anSrcLang : T::anCount;
    case 8:
      return k == KeyOf("xml:lang")   ? T::anXmlLang
             : k == KeyOf("changeid") ? T::anChangeId
             : k == KeyOf("encoding") ? T::anEncoding
                                      : T::anCount;
    case 9: return k == KeyOf("adminlang") ? T::anAdminLang : T::anCount;
    case 10:
      return k == KeyOf("creationid")   ? T::anCreationId
             : k == KeyOf("usagecount") ? T::anUsageCount
             : k == KeyOf("changedate") ? T::anChangeDate
                                        : T::anCount;
    case 12: return k == KeyOf("creationdate") ? T::anCreationDate : T::anCount;
    case 13: return k == KeyOf("lastusagedate") ? T::anLastUsageDate : T::anCount;
    default: return T::anCount;
  }
}
}  // namespace

// One pass over the tag's attributes finds the first of each name the reader reads. A name
// beyond ASCII sends the tag to the folded compare, name by name.
void TDecodeTMX::IndexAttrs(const TTag* tag) {
  IndexedTag = tag;
  IndexedSlow = false;
  std::fill(std::begin(FirstAttr), std::end(FirstAttr), -1);
  for (int i = 0; i < tag->RawCount(); ++i) {
    const std::string_view n = tag->RawName(i);
    TNameKey key;
    if (n.size() >= 2 && n.size() <= 16) {
      if (!FoldedKey(n, key)) {
        IndexedSlow = true;
        return;
      }
      const TAttrName id = AttrNameOf(key, n.size());
      if (id != anCount && FirstAttr[id] < 0) FirstAttr[id] = i;
      continue;
    }
    for (const char c : n) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        IndexedSlow = true;
        return;
      }
    }
  }
}

bool TDecodeTMX::RawAttr(const TTag* tag, std::initializer_list<TAttrName> names, std::string_view& raw) {
  if (!tag) return false;
  if (tag != IndexedTag) IndexAttrs(tag);
  for (const TAttrName id : names) {
    if (IndexedSlow) {
      if (tag->RawValueOf(kAttrNames[id], raw)) return true;
    } else if (FirstAttr[id] >= 0) {
      raw = tag->RawValue(FirstAttr[id]);
      return true;
    }
  }
  return false;
}

namespace {
// ASCII without references, TABs and line ends: decoding changes nothing. A #0 ends the value
// where it is taken as decoded text, so it counts as no such byte.
bool StandsForItself(std::string_view raw) {
  // Eight bytes at a time while none is beyond ASCII, below 0x0E (TAB, LF, CR, #0 among them)
  // or "&"; a word that has one is looked at byte by byte.
  while (raw.size() >= 8) {
    uint64_t x;
    std::memcpy(&x, raw.data(), 8);
    const uint64_t amp = x ^ ('&' * kOnes);
    if ((x | ((x - 0x0E * kOnes) & ~x) | ((amp - kOnes) & ~amp)) & kHigh) break;
    raw.remove_prefix(8);
  }
  static constexpr auto kDecoded = [] {
    std::array<bool, 256> t{};
    for (int b = 0x80; b < 0x100; ++b) t[b] = true;
    for (const unsigned char b : {'&', '\t', '\r', '\n', '\0'}) t[b] = true;
    return t;
  }();
  for (const char c : raw)
    if (kDecoded[static_cast<unsigned char>(c)]) return false;
  return true;
}
}  // namespace

PCWideChar TDecodeTMX::Decoded(std::string_view raw) {
  // Most values are plain ASCII: nothing to decode.
  bool plain = true;
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || b == '&' || b == '\t' || b == '\r' || b == '\n') {
      plain = false;
      break;
    }
  }
  if (plain) {
    AttrBuf.resize(raw.size());
    for (size_t k = 0; k < raw.size(); ++k) AttrBuf[k] = static_cast<unsigned char>(raw[k]);
    return AttrBuf.c_str();
  }
  RawBuf.clear();
  AppendUtf8(raw, RawBuf);
  DecodeXmlText(RawBuf, AttrBuf);
  return AttrBuf.c_str();
}

PCWideChar TDecodeTMX::Attr(const TTag* tag, std::initializer_list<TAttrName> names) {
  std::string_view raw;
  return RawAttr(tag, names, raw) ? Decoded(raw) : nullptr;
}

bool TDecodeTMX::SetFieldFrom(const TTag* tag, std::initializer_list<TAttrName> names, int field, TFieldCheck check) {
  std::string_view raw;
  if (!RawAttr(tag, names, raw)) return false;
  if (Utf8Segments && StandsForItself(raw)) {
    switch (check) {
      case fcAny:
        break;
      case fcDigits:
        if (raw.empty() || !std::all_of(raw.begin(), raw.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
        break;
      case fcDate: {
        // "YYYYMMDD" and "hhmmss" of a moment that exists; the bytes are ASCII here.
        if (raw.size() < 15 || !IsPossibleTmDate(raw.substr(0, 15))) return DateRefused();
        char date[15];
        std::memcpy(date, raw.data(), 15);
        date[8] = '~';
        CurrentTU->SetFieldBytes(field, std::string_view(date, 15));
        return true;
      }
    }
    CurrentTU->SetFieldBytes(field, raw);
    return true;
  }
  PCWideChar value = Decoded(raw);
  switch (check) {
    case fcAny: break;
    case fcDigits:
      if (!AllDigits(value)) return false;
      break;
    case fcDate:
      value = TmDateOf(value);
      if (!value) return DateRefused();
      break;
  }
  CurrentTU->SetField(field, value);
  return true;
}

// A date of a unit that is no date is left out as if it were absent, a warning of the unit.
bool TDecodeTMX::DateRefused() {
  if (InTU && CurrentTU) CurrentTU->Warned = true;
  return false;
}

// "YYYYMMDDThhmmssZ" gives "YYYYMMDD~hhmmss". A value of another shape would make a line that
// no reader of the translation memory takes, so it counts as none.
PCWideChar TDecodeTMX::TmDate(const TTag* tag) { return TmDateOf(Attr(tag, {anChangeDate, anCreationDate, anLastUsageDate})); }

PCWideChar TDecodeTMX::TmDateOf(PCWideChar v) {
  if (!v) return nullptr;
  const std::u16string_view s(v);
  if (s.size() < 15 || !IsPossibleTmDate(s.substr(0, 15))) return nullptr;
  DateBuf.assign(s.substr(0, 15));
  DateBuf[8] = u'~';
  return DateBuf.c_str();
}

namespace {
bool Collects(TElement kind) {
  return kind == elSeg || kind == elProp || kind == elInline || kind == elHi || kind == elSub;
}

// A name of the elements a TMX document is built of, under a prefix ("t:tu"): TMX elements have
// none, so the element is another document's.
bool PrefixedTmxName(std::string_view name) {
  const size_t colon = name.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view local = name.substr(colon + 1);
  if (local.size() < 2 || local.size() > 6) return false;
  std::string folded(local);
  for (char& c : folded) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return folded == "tmx" || folded == "header" || folded == "body" || folded == "tu" || folded == "tuv" || folded == "seg";
}
}  // namespace

bool TDecodeTMX::CollectsText(const TTag& tag) const { return Collects(ElementOf(tag)); }

int TDecodeTMX::ElementKind(std::string_view name) const {
  // The names of the elements are 2 to 6 ASCII characters long: one is told by its folded key.
  // Names beyond ASCII are folded as the tables say.
  if (name.size() <= 1) return elOther;
  TNameKey k;
  if (name.size() <= 6 && FoldedKey(name, k)) {
    switch (name.size()) {
      case 2:
        if (k == KeyOf("tu")) return elTu;
        if (k == KeyOf("ph") || k == KeyOf("it") || k == KeyOf("ut")) return elInline;
        if (k == KeyOf("hi")) return elHi;
        break;
      case 3:
        if (k == KeyOf("seg")) return elSeg;
        if (k == KeyOf("tuv")) return elTuv;
        if (k == KeyOf("bpt") || k == KeyOf("ept")) return elInline;
        if (k == KeyOf("sub")) return elSub;
        if (k == KeyOf("xml")) return elXml;
        if (k == KeyOf("tmx")) return elTmx;
        break;
      case 4:
        if (k == KeyOf("prop")) return elProp;
        if (k == KeyOf("head")) return elHeader;
        break;
      case 6:
        if (k == KeyOf("header")) return elHeader;
        break;
      default:
        break;
    }
    return elOther;
  }
  WideString wide;
  AppendUtf8(name, wide);
  return ElementOf(wide);
}

// Asked whenever text begins. Text that nothing will read is not gathered: that of a seg in a
// variant that no unit can take, of the properties when none are asked for, and of the inline
// elements inside such elements.
TTag* TDecodeTMX::TextTarget(TTag& tag) {
  switch (ElementOf(tag)) {
    case elHi:
      return tag.TextOwner;
    case elSeg:
      return InTU && CurrentTuv >= 0 && !Variants[static_cast<size_t>(CurrentTuv)].Wanted ? nullptr : &tag;
    case elProp:
      return PropTypes.Count() > 0 ? &tag : nullptr;
    case elInline:
    case elSub:
      if (!tag.OwnerKnown) SettleOwners(tag);
      return tag.TextOwner;
    default:
      return nullptr;
  }
}

// An inline element gathers its text when the element around it does; a sub's text belongs to
// the element that gathers the text around it. The answer is kept in each element of the chain
// of inline elements up to one that knows it, and the chain is walked once, from the top down:
// elements may nest as deeply as the document has them.
void TDecodeTMX::SettleOwners(TTag& tag) {
  OwnerChain.clear();
  TTag* top = &tag;
  for (;;) {
    OwnerChain.push_back(top);
    TTag* parent = top->Parent;
    if (!parent) break;
    const TElement kind = ElementOf(*parent);
    if ((kind != elInline && kind != elSub) || parent->OwnerKnown) break;
    top = parent;
  }
  TTag* around = top->Parent ? TextTarget(*top->Parent) : top;
  for (auto it = OwnerChain.rbegin(); it != OwnerChain.rend(); ++it) {
    TTag* t = *it;
    if (ElementOf(*t) == elInline) around = around ? t : nullptr;
    t->TextOwner = around;
    t->OwnerKnown = true;
  }
}

TDecodeTMX::TLangMatch TDecodeTMX::MatchOf(const WideString& lang) const {
  TLangMatch m;
  m.Known = true;
  m.Source = LangMatches(lang, LangPair.Source, false);
  m.Target = LangMatches(lang, LangPair.Target, false);
  m.SourceLanguage = SameFoldedPair(lang.c_str(), LangPair.Source.c_str());
  m.TargetLanguage = SameFoldedPair(lang.c_str(), LangPair.Target.c_str());
  return m;
}

// Once the pair is known, a variant in a third language is never taken.
bool TDecodeTMX::MayBeTaken(const WideString& lang) const {
  if (!PairSettled || LangPair.Source.empty() || LangPair.Target.empty()) return true;
  return SameFoldedPair(lang.c_str(), LangPair.Source.c_str()) || SameFoldedPair(lang.c_str(), LangPair.Target.c_str());
}

void TDecodeTMX::ApplyHeader(TTag* tag) {
  PCWideChar date = TmDate(tag);
  HeaderTU.SetField(tfDate, date ? WideString(date) : DefaultDate);
  PCWideChar id = Attr(tag, {anCreationId, anChangeId});
  HeaderTU.SetUserID(id ? WideString(id) : WideString(u"Unknown"));
  // The count of a new translation memory is the number of its units, whatever the TMX says.
  HeaderTU.SetField(tfCount, u"TU=00000000");
  if (!Appending && !PairSettled) {
    // "*all*" names no language: the first variant's language is the source then.
    PCWideChar lang = Attr(tag, {anSrcLang, anAdminLang});
    if (lang && *lang && CompareFoldedW(lang, u"*all*") != 0)
      HeaderSource = TmLangCode(lang);
    else
      HeaderSource.clear();
    LangPair.Source = HeaderSource;
  }
  HeaderTU.SetSourceLang(HeaderSource.empty() ? u"ZZ-ZZ" : std::u16string_view(HeaderSource));
  HeaderTU.SetTargetLang(u"ZZ-ZZ");
  HeaderTU.SetField(tfSource, u"Quillmar TM v.5.53/00");
  HeaderTU.SetField(tfTarget, GetExeNameW() + u" " + GetExeVersionW());
  for (int i = 0; i < PropTypes.Count(); ++i) HeaderTU.SetField(AttrFieldOf(i), PropTypes[i]);
}

void TDecodeTMX::TagOpened(TTag* tag) {
  IndexedTag = nullptr;  // the slot may hold another element than when it was indexed
  const TElement kind = ElementOf(*tag);
  if (!RootSeen && tag->Parent && !tag->Parent->Parent && kind != elXml && !tag->NameUtf8.starts_with('!') &&
      !tag->NameUtf8.starts_with('?')) {
    // The document element of a TMX is tmx: any other is another kind of document, whatever
    // it holds.
    RootSeen = true;
    if (kind != elTmx) {
      Refuse(u"The file \"%s\" is not a TMX document.", Input ? Input->FileName() : WideString());
      return;
    }
  }
  switch (kind) {
    case elXml: {
      PCWideChar encoding = Attr(tag, {anEncoding});
      if (encoding && CompareFoldedW(encoding, u"UTF-8") == 0) SetUtf8Input(true);
      break;
    }
    case elTmx:
      if (CurrentTU) break;  // a second tmx element changes nothing
      CurrentTU = std::make_unique<TTU>();
      DefaultDate = DateTimeToTmDate(Now());
      HeaderTU = TTU(MakeHeaderText(u""));
      ApplyHeader(nullptr);
      HaveHeader = true;
      break;
    case elHeader:
      // A header met after the first unit was written comes too late to say anything.
      if (CurrentTU && !InTU && !HeaderWritten) ApplyHeader(tag);
      break;
    case elTu: {
      if (!CurrentTU) break;
      // Nothing of a header, or of a tu that was not written, stays in the unit.
      InTU = true;
      CurrentTU->Clear();
      IllFormedAtTu = IllFormedUtf8Replaced();
      TagPlaceholders.Clear();
      TagContents.Clear();
      VariantCount = 0;
      CurrentTuv = -1;
      if (!SetFieldFrom(tag, {anUsageCount}, tfCount, fcDigits)) CurrentTU->SetField(tfCount, u"0");
      if (!SetFieldFrom(tag, {anChangeDate, anCreationDate, anLastUsageDate}, tfDate, fcDate))
        CurrentTU->SetField(tfDate, DefaultDate);
      if (!SetFieldFrom(tag, {anCreationId, anChangeId}, tfUserId, fcAny)) CurrentTU->SetField(tfUserId, u"Unknown");
      break;
    }
    case elTuv: {
      if (!InTU) break;
      // Most variants carry their language alone: the unit's own fields are looked for only
      // on one that has some of them.
      IndexAttrs(tag);
      if (IndexedSlow || FirstAttr[anChangeDate] >= 0 || FirstAttr[anCreationDate] >= 0 || FirstAttr[anLastUsageDate] >= 0 ||
          FirstAttr[anCreationId] >= 0 || FirstAttr[anChangeId] >= 0 || FirstAttr[anUsageCount] >= 0) {
        SetFieldFrom(tag, {anChangeDate, anCreationDate, anLastUsageDate}, tfDate, fcDate);
        SetFieldFrom(tag, {anCreationId, anChangeId}, tfUserId, fcAny);
        SetFieldFrom(tag, {anUsageCount}, tfCount, fcDigits);
      }
      // TMX 1.1 names the language "lang".
      std::string_view raw;
      if (!RawAttr(tag, {anXmlLang, anLang}, raw)) break;
      // A file holds few languages: once the pair is settled, what a code gives is kept, found
      // by the value as the file spells it where that is the code itself.
      const bool stable = PairSettled && !LangPair.Source.empty() && !LangPair.Target.empty();
      const bool spelt = StandsForItself(raw);
      const TLangSeen* seen = nullptr;
      if (stable && spelt)
        for (const TLangSeen& l : LangsKnown)
          if (l.Spelt && SameShort(l.Raw, raw)) seen = &l;
      PCWideChar lang = nullptr;
      if (!seen) {
        lang = Decoded(raw);
        if (!*lang) break;
        if (stable)
          for (const TLangSeen& l : LangsKnown)
            if (l.Attr == lang) seen = &l;
      }
      if (static_cast<size_t>(VariantCount) == Variants.size()) Variants.emplace_back();
      TVariant& v = Variants[static_cast<size_t>(VariantCount)];
      v.Seg.clear();
      v.SegUtf8.clear();
      if (seen) {
        v.Lang = seen->Lang;
        v.Wanted = seen->Wanted;
        v.Match = seen->Match;
      } else {
        v.Lang = TmLangCode(lang);
        v.Wanted = MayBeTaken(v.Lang);
        v.Match = TLangMatch();
        if (stable && LangsKnown.size() < 8)
          LangsKnown.push_back({lang, v.Lang, std::string(spelt ? raw : ""), spelt, v.Wanted, MatchOf(v.Lang)});
      }
      CurrentTuv = VariantCount++;
      break;
    }
    case elSeg:
      tag->GathersUtf8 = Utf8Segments;
      // A segment's words may begin with blanks that a comment or a code cuts off from them.
      tag->KeepsBlanks = true;
      break;
    case elInline:
    case elSub:
      tag->KeepsBlanks = true;
      TextTarget(*tag);  // settled now, while the element around it is the one just opened
      break;
    case elHi:
      tag->TextOwner = tag->Parent ? TextTarget(*tag->Parent) : nullptr;
      if (tag->TextOwner) tag->TextOwner->AddText(TagKey(Markup(*tag, false)));
      break;
    default: {
      // Units under a prefix would be passed over as elements of no meaning, and the file
      // taken for a TMX without units. Inside a segment any markup is the segment's own.
      if (!CurrentTU || !PrefixedTmxName(tag->NameUtf8)) break;
      for (const TTag* p = tag->Parent; p; p = p->Parent)
        if (Collects(ElementOf(*p))) return;
      WideString name;
      AppendUtf8(tag->NameUtf8, name);
      Refuse(u"The file \"%s\" is not a TMX document.", Input ? Input->FileName() : WideString(),
             u" It holds \"" + name + u"\" elements, which TMX does not have.");
      break;
    }
  }
}

TTag* TDecodeTMX::TagClosed(TTag* tag, std::u16string_view) {
  IndexedTag = nullptr;
  if (CurrentTU) {
    switch (ElementOf(*tag)) {
      case elInline:
        // A code without content (an empty ph, bpt or ept, as most tools write them) still
        // marks its place: its markup stands for it.
        if (TTag* owner = tag->Parent ? TextTarget(*tag->Parent) : nullptr) {
          PCWideChar text = tag->Text();
          owner->AddText(TagKey(text && *text ? std::u16string_view(text) : Markup(*tag, true)));
        }
        break;
      case elHi:
        // The highlighted words went to the element around as they were read; the end follows
        // them. (A hi that closed itself with attributes was never reported open: it has no
        // owner and marks nothing.)
        if (tag->TextOwner) {
          MarkupBuf.assign(u"</");
          AppendUtf8(tag->NameUtf8, MarkupBuf);
          MarkupBuf.push_back(u'>');
          tag->TextOwner->AddText(TagKey(MarkupBuf));
        }
        break;
      case elSeg:
        if (InTU && CurrentTuv >= 0) {
          // The element is closed right after: its text is taken, not copied.
          // A #0 stays in it: the unit stream writes it as its escape.
          TVariant& v = Variants[static_cast<size_t>(CurrentTuv)];
          if (tag->GathersUtf8)
            tag->TakeTextUtf8(v.SegUtf8);
          else
            tag->TakeText(v.Seg);
        }
        break;
      case elTuv:
        CurrentTuv = -1;
        break;
      case elProp:
        if (InTU && PropTypes.Count() > 0) {
          PCWideChar type = Attr(tag, {anType});
          const int i = type ? PropTypes.IndexOf(type) : -1;
          if (i >= 0) {
            DecodeXmlText(tag->Text() ? tag->Text() : u"", ContentBuf);
            CurrentTU->SetField(AttrFieldOf(i), ContentBuf);
          }
        }
        break;
      case elTu:
        if (InTU) {
          WriteCurrentUnit();
          InTU = false;
          CurrentTuv = -1;
          VariantCount = 0;
        }
        break;
      default:
        break;
    }
  }
  return tag->Close();
}

// "<" + name + its attributes + ">" (or "/>"), as the file had them: what an element without
// content stands for.
const WideString& TDecodeTMX::Markup(const TTag& tag, bool empty) {
  MarkupBuf.assign(u"<");
  AppendUtf8(tag.NameUtf8, MarkupBuf);
  for (int i = 0; i < tag.RawCount(); ++i) {
    MarkupBuf.push_back(u' ');
    AppendUtf8(tag.RawName(i), MarkupBuf);
    MarkupBuf.append(u"=\"");
    AppendUtf8(tag.RawValue(i), MarkupBuf);
    MarkupBuf.push_back(u'"');
  }
  MarkupBuf.append(empty ? u"/>" : u">");
  return MarkupBuf;
}

const WideString& TDecodeTMX::TagKey(std::u16string_view content) {
  constexpr size_t kKnownLength = 256, kKnownCount = 1024;
  const auto known = content.size() <= kKnownLength ? KnownKeys.find(content) : KnownKeys.end();
  const WideString* decoded = &ContentBuf;
  if (known != KnownKeys.end()) {
    decoded = &known->second.Content;
    KeyBuf = known->second.Key;
  } else {
    DecodeXmlText(content, ContentBuf);
    if (IsPlaceholderRun(ContentBuf)) {
      KeyBuf = ContentBuf;
      return KeyBuf;
    }
    // The digest of the UTF-8 form: contents that differ only in characters that an ANSI code
    // page lacks would share a key, and so a placeholder. Lone surrogates keep their own forms,
    // for the same reason.
    Utf8Buf.resize(ContentBuf.size() * 3);
    Utf8Buf.resize(static_cast<size_t>(
        platform::EncodeUtf8(ContentBuf, Utf8Buf.data(), platform::LoneSurrogate::Keep) - Utf8Buf.data()));
    MD4HexDigest(Utf8Buf, DigestBuf);
    KeyBuf.assign(u"{");
    KeyBuf.append(DigestBuf.begin(), DigestBuf.end());
    KeyBuf.push_back(u'}');
    if (content.size() <= kKnownLength) {
      if (KnownKeys.size() >= kKnownCount) KnownKeys.clear();
      KnownKeys.emplace(WideString(content), TKnownKey{ContentBuf, KeyBuf});
    }
  }
  // The keys of elements inside this one (a ph inside a hi) stay: an open form gives them back
  // their contents when it is written. Each element keeps only its own text, however deeply
  // the elements nest.
  if (TagContents.IndexOfName(KeyBuf) < 0) TagContents.Add(KeyBuf, *decoded);
  return KeyBuf;
}

// ---------------------------------------------------------------------------------------------
// The pair is settled at the first unit whose variants show it. A header's source language
// that a variant carries (or one of the same language) is the source; one that no variant of a
// unit with two languages carries is treated as absent, like a header without one: the first
// variant's language is the source then.
void TDecodeTMX::ResolvePair() {
  if (PairSettled || VariantCount == 0) return;
  if (!LangPair.Source.empty()) {
    for (int i = 0; i < VariantCount; ++i)
      if (LangMatches(Variants[static_cast<size_t>(i)].Lang, LangPair.Source, false)) {
        PairSettled = true;
        return;
      }
    for (int i = 0; i < VariantCount; ++i)
      if (SameFoldedPair(Variants[static_cast<size_t>(i)].Lang.c_str(), LangPair.Source.c_str())) {
        SetPairSource(LangPair, Variants[static_cast<size_t>(i)].Lang);
        PairSettled = true;
        return;
      }
    bool twoLanguages = false;
    for (int i = 1; i < VariantCount; ++i)
      if (!LangMatches(Variants[static_cast<size_t>(i)].Lang, Variants[0].Lang, false)) twoLanguages = true;
    if (!twoLanguages) return;
  }
  ClearLangPair(LangPair);
  SetPairSource(LangPair, Variants[0].Lang);
  PairSettled = true;
}

// The variant in the pair's language code: the first of exactly that code (sameCode), else the
// first of the same language in another region (a memory may hold units of several), which the
// unit then carries as its own. The languages of a unit are a set: a second variant of a
// language adds nothing.
int TDecodeTMX::PickVariant(const WideString& code, int except, bool& sameCode) const {
  sameCode = true;
  const bool target = except >= 0;
  const WideString& other = target ? LangPair.Source : LangPair.Target;
  // code is the pair's own (source, or target with except): a variant that knows how its
  // language compares with the pair's codes answers without comparing.
  const bool pairCodes = &code == (target ? &LangPair.Target : &LangPair.Source);
  int sameLanguage = -1;
  for (int i = 0; i < VariantCount; ++i) {
    if (i == except) continue;
    const TVariant& v = Variants[static_cast<size_t>(i)];
    const WideString& lang = v.Lang;
    const bool known = pairCodes && v.Match.Known;
    const bool matchesOther = known ? (target ? v.Match.Source : v.Match.Target) : LangMatches(lang, other, false);
    if (target && matchesOther) continue;
    if (known ? (target ? v.Match.Target : v.Match.Source) : LangMatches(lang, code, false)) return i;
    // The other side's own code is never taken for this one.
    if (sameLanguage < 0 &&
        (known ? (target ? v.Match.TargetLanguage : v.Match.SourceLanguage) : SameFoldedPair(lang.c_str(), code.c_str())) &&
        (target || !matchesOther))
      sameLanguage = i;
  }
  sameCode = false;
  return sameLanguage;
}

void TDecodeTMX::WriteCurrentUnit() {
  LangsSeen = 0;
  ResolvePair();
  if (!PairSettled) return;
  bool sameCode;
  const int source = PickVariant(LangPair.Source, -1, sameCode);
  if (source < 0) return;
  LangsSeen |= 1;
  int pairTarget = -1;  // the variant that gave the pair its target, here and now
  if (LangPair.Target.empty()) {
    for (int i = 0; i < VariantCount; ++i) {
      const WideString& lang = Variants[static_cast<size_t>(i)].Lang;
      if (i != source && !LangMatches(lang, LangPair.Source, false)) {
        SetPairTarget(LangPair, lang);
        pairTarget = i;
        break;
      }
    }
    if (LangPair.Target.empty()) return;
  }
  // A text TM holds two-letter language codes only: a pair it cannot hold is an error, never a
  // file whose units its own reader would skip. The code is quoted as the file has it (the
  // pair's text may have cut it).
  if (!IsLangCode(LangPair.Source) || !IsLangCode(LangPair.Target)) {
    const bool sourceBad = !IsLangCode(LangPair.Source);
    const WideString* code = sourceBad ? &LangPair.Source : &LangPair.Target;
    const int from = sourceBad ? source : pairTarget;
    if (from >= 0 && !IsLangCode(Variants[static_cast<size_t>(from)].Lang)) code = &Variants[static_cast<size_t>(from)].Lang;
    Refuse(u"Cannot convert file \"%s\".", Input ? Input->FileName() : WideString(),
           u" The language \"" + *code + u"\" has no code that a text translation memory can hold.");
    return;
  }
  bool targetSameCode;
  const int target = PickVariant(LangPair.Target, source, targetSameCode);
  if (target < 0) return;
  LangsSeen |= 2;

  // The source registers the tags, so that the same content in the target gets the same
  // placeholder.
  TVariant& sourceVariant = Variants[static_cast<size_t>(source)];
  TVariant& targetVariant = Variants[static_cast<size_t>(target)];
  if (Utf8Segments) {
    SegmentToField(sourceVariant.SegUtf8, true);
    if (sourceVariant.SegUtf8.empty()) return;  // a unit without source text is no unit of a text TM
    SegmentToField(targetVariant.SegUtf8, false);
    // The fields stand empty for the bytes (up to the target's, the source's is among them:
    // nothing of a unit is ever set there before).
    CurrentTU->SetField(tfTarget, u"");
    CurrentTU->SourceUtf8.swap(sourceVariant.SegUtf8);
    CurrentTU->TargetUtf8.swap(targetVariant.SegUtf8);
    CurrentTU->SegmentsUtf8 = true;
  } else {
    SegmentBuffer.swap(sourceVariant.Seg);
    SegmentToField(SegmentBuffer, true);
    if (SegmentBuffer.empty()) return;
    CurrentTU->SetField(tfSource, SegmentBuffer);
    SegmentBuffer.swap(targetVariant.Seg);
    SegmentToField(SegmentBuffer, false);
    CurrentTU->SetField(tfTarget, SegmentBuffer);
  }
  // A source in the pair's own code is written as the pair spells it; one of another region
  // keeps its own. A unit's own code that no text TM holds ("English", as some tools write
  // languages) would make a line its reader skips: the pair's code stands for it.
  const WideString& sourceLang = Variants[static_cast<size_t>(source)].Lang;
  const WideString& targetLang = Variants[static_cast<size_t>(target)].Lang;
  // The unit's pair was cleared when its tu began, and its fields were set just now: the codes,
  // which are language codes of a text TM, are set as they stand.
  SetPairSource(CurrentTU->LangPair, sameCode || !IsLangCode(sourceLang) ? LangPair.Source : sourceLang);
  SetPairTarget(CurrentTU->LangPair, IsLangCode(targetLang) ? targetLang : LangPair.Target);
  // Bytes of the unit that were no characters went as U+FFFD: a warning of the unit.
  if (IllFormedUtf8Replaced() != IllFormedAtTu) CurrentTU->Warned = true;
  EndUnit(false);
}

bool TDecodeTMX::EndUnit(bool isHeader) {
  if (isHeader) return WriteHeaderLine();
  if (!CurrentTU || !Output) return false;
  if (!Appending && !HeaderWritten && !WriteHeaderLine()) return false;
  if (LineEndMissing) {
    TTU blank;  // an empty line: the line end alone
    if (!Output->Write(blank)) {
      OutputFailed();
      return false;
    }
    LineEndMissing = false;
  }
  CurrentTU->SetIsHeader(false);
  if (!Output->Write(*CurrentTU)) {
    OutputFailed();
    return false;
  }
  ++UnitCount;
  CurrentTU->Clear();
  return true;
}

// The header of a new output goes in front of the first unit, when the pair is known; the
// count is set once all units are written.
bool TDecodeTMX::WriteHeaderLine() {
  if (HeaderWritten || Appending) return true;
  if (!LangPair.Source.empty()) HeaderTU.SetSourceLang(LangPair.Source);
  if (!LangPair.Target.empty()) HeaderTU.SetTargetLang(LangPair.Target);
  HeaderLength = TrimmedLength(HeaderTU.GetLine());
  if (!Output->Write(HeaderTU)) {
    OutputFailed();
    return false;
  }
  HeaderWritten = true;
  return true;
}

// The header is rewritten in place when its line keeps its length (the count has a fixed
// width) or a filler field can absorb the difference; else the file is rewritten through a
// temporary file, so that the first unit is never overwritten.
bool TDecodeTMX::UpdateHeaderCount(int64_t count) {
  TTU& header = Appending ? ExistingHeader : HeaderTU;
  header.SetIsHeader(true);
  CountCapped = count > TTU::kMaxHeaderCount;
  count = std::min(count, TTU::kMaxHeaderCount);
  header.SetCount(count);
  const bool sameLength = HeaderLength >= 0 && TrimmedLength(header.GetLine()) == HeaderLength;
  if ((sameLength || IsFiller(header.Field(tfHeaderFiller))) && Output->Write(header)) {
    // The header read back must not find the written one still held: a header line may be long.
    // (Moved out, its storage goes; an empty one assigned would keep it.)
    { const TTU released(std::move(header)); }
    header = TTU();
    // Reading the header back also writes out what the stream still buffers.
    TTU check;
    check.IsHeader = true;
    if (Output->Read(check) > 0 && check.IsHeader && check.GetCount() == count) return true;
    OutputFailed();
    return false;
  }
  return RewriteThroughTempFile(header);
}

bool TDecodeTMX::RewriteThroughTempFile(TTU& header) {
  if (OutputName.empty()) {
    OutputFailed();
    return false;
  }
  {
    // Whatever the stream buffers reaches the file before the file is copied.
    TTU flush;
    flush.IsHeader = true;
    Output->Read(flush);
  }
  auto in = TTextFileStream::Create(OutputName, ccUnicode, false, fmOpenRead | fmShareDenyNone);
  if (!in) {
    OutputFailed();
    return false;
  }
  WideString old;
  in->ReadLineAt(old, 0);
  const int64_t oldEnd = in->LastLineEnd();  // the old line end is kept
  const WideString temp = OutputName + u".~" + Int64ToWideStr(platform::CurrentProcessId()) + u".tmp";
  bool ok = false;
  {
    auto out = TTextFileStream::Create(temp, in->CodeChar(), false, fmCreate);
    if (out) {
      WideString line = header.GetLine();
      while (!line.empty() && line.back() == u' ') line.pop_back();
      out->WriteText(line.c_str());
      in->SetPosition(oldEnd);
      std::string block(1 << 16, '\0');
      for (int64_t n; (n = in->Read(block.data(), static_cast<int64_t>(block.size()))) > 0;) out->Write(block.data(), n);
      ok = out->CloseFile() && !out->WriteFailed();
    }
  }
  ok = ok && platform::ReplaceFile(temp, OutputName);
  if (!ok) {
    // The message gives the reason the rewrite failed, not that of removing what it left.
    const int code = platform::LastErrorCode();
    platform::DeleteFile(temp);
    platform::SetLastErrorCode(code);
    OutputFailed();
  }
  return ok;
}
