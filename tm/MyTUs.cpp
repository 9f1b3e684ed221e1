#include "tm/MyTUs.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/MyFileStream.h"
#include "base/MySysUtils.h"
#include "base/MyUnicodes.h"
#include "base/MyWideStr.h"
#include "platform/core/Utf8.h"
#include "tm/MyConvert.h"

namespace {

constexpr char16_t kPairMarker = u'\u00A1';
constexpr std::u16string_view kAttrAlphabet = u"#$%+-0123456789<=>?@ABCDEFGHJKLMNPQRSTUVWXYZabcdefghjkmnpqrstuvwxyz";
constexpr int kMaxCode = 7;   // characters of a cached language code
constexpr int kMaxPair = 14;  // characters of a pair text after its marker
constexpr size_t kMeasuredField = 4096;  // characters of a field from which its UTF-8 is measured

bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSeparator(char16_t c) { return c == u'-' || c == u'_'; }

bool SameFolded2(std::u16string_view a, std::u16string_view b) {
  for (size_t i = 0; i < 2; ++i) {
    char16_t x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
    if (x != y && FoldKey(x) != FoldKey(y)) return false;
  }
  return true;
}

bool IsZZ(std::u16string_view s) { return SameFolded2(s, u"ZZ"); }

bool HasRegion(std::u16string_view code) { return code.size() > 2 && IsSeparator(code[2]); }

std::u16string_view Cut(std::u16string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

// prefix and value's digits, with zeros in front of them up to width characters, into out.
void AssignDigits(WideString& out, std::u16string_view prefix, int64_t value, size_t width) {
  char digits[24];
  const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<size_t>(end - digits);
  char16_t text[48];
  char16_t* q = std::copy(prefix.begin(), prefix.end(), text);
  if (length < width) q = std::fill_n(q, width - length, u'0');
  q = std::copy(static_cast<const char*>(digits), end, q);
  out.assign(text, q);
}

bool AllDigits(const WideString& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsAsciiDigit);
}

// The date field's shape: 14 digits with a separator at index 8, or 17 with it at index 11.
int DateDigits(const WideString& date) {
  const auto digits = std::count_if(date.begin(), date.end(), IsAsciiDigit);
  auto sepAt = [&](size_t i) {
    return i < date.size() && (date[i] == u'!' || date[i] == u'=' || date[i] == u'?' || date[i] == u'~');
  };
  if (digits == 14 && sepAt(8)) return 14;
  if (digits == 17 && sepAt(11)) return 17;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
void TFields::Delete(int index) {
  if (index < 0 || index >= count_) return;
  // Rotate the deleted slot's storage to the end so that it can be reused.
  std::rotate(items_.begin() + index, items_.begin() + index + 1, items_.begin() + count_);
  --count_;
}

void TFields::DeleteFrom(int index) {
  if (index >= 0 && index < count_) count_ = index;
}

PCWideChar TFields::Get(int index) const {
  return index >= 0 && index < count_ ? items_[static_cast<size_t>(index)].c_str() : nullptr;
}

const WideString& TFields::Field(int index) const {
  static const WideString empty;
  return index >= 0 && index < count_ ? items_[static_cast<size_t>(index)] : empty;
}

WideString& TFields::Grow(int index) {
  while (count_ <= index) {
    if (static_cast<size_t>(count_) == items_.size()) items_.emplace_back();
    items_[static_cast<size_t>(count_++)].clear();
  }
  return items_[static_cast<size_t>(index)];
}

void TFields::Set(int index, std::u16string_view text) {
  if (index < 0) return;
  Slot(index).assign(text);
}

int TFields::Add(std::u16string_view text) {
  const int index = count_;
  Set(index, text);
  return index;
}

// ---------------------------------------------------------------------------------------------
TTU::TTU(PCWideChar line) {
  Reset();
  Parse(line);
}

void TTU::Reset() {
  BytesFields = 0;
  Warned = false;
  Counter = -1;
  IsHeader = false;
  Kind = tkInvalid;
  Modified = false;
  Position = 0;
  NextPosition = 0;
}

void TTU::Clear() {
  AttrCode.clear();
  SegmentsUtf8 = false;
  SegmentsClean = false;
  SourceUtf8.clear();
  TargetUtf8.clear();
  ClearLangPair(LangPair);
  Reset();
  TFields::Clear();
}

int TTU::Parse(PCWideChar p) {
  if (Count() < 1)
    Reset();
  else
    Clear();
  if (!p) return 0;
  if (*p == u'\uFEFF' || *p == u'\uFFFE') {
    ++p;
    Modified = true;
  }
  if (p != Line.c_str()) Line.assign(p);
  const bool header = !Line.empty() && Line[0] == u'%';
  if (!header && !RejectChars.empty() && Line.find_first_of(RejectChars) != WideString::npos) {
    Kind = tkInvalid;
    return 0;
  }
  SplitFields(std::u16string_view(Line), header, [&](std::u16string_view field, int) { Add(field); });
  return FieldsParsed(header);
}

int TTU::ParseUtf8(std::string_view line, bool segmentsUtf8) {
  if (!RejectChars.empty()) {
    // Rejected characters are looked for in the decoded line.
    WideString text;
    AppendUtf8(line, text);
    return Parse(text.c_str());
  }
  if (Count() < 1)
    Reset();
  else
    Clear();
  SegmentsUtf8 = false;
  SegmentsClean = false;
  SourceUtf8.clear();
  TargetUtf8.clear();
  // The forms of U+FEFF and U+FFFE, which Parse skips as the first character; a line handed on
  // as a C string then ends at its first #0, as it does for Parse.
  if (line.substr(0, 3) == "\xEF\xBB\xBF" || line.substr(0, 3) == "\xEF\xBF\xBE") {
    line.remove_prefix(3);
    line = line.substr(0, line.find('\0'));
    Modified = true;
  }
  const bool header = !line.empty() && line[0] == '%';
  SegmentsUtf8 = segmentsUtf8 && !header;
  SplitFields(line, header, [&](std::string_view field, int index) {
    if (SegmentsUtf8 && (index == tfSource || index == tfTarget)) {
      Add(u"");
      (index == tfSource ? SourceUtf8 : TargetUtf8).assign(field);
      return;
    }
    WideString& slot = Slot(index);
    AppendUtf8(field, slot);
  });
  // The line itself is not kept: one asked for is made from the fields.
  Modified = true;
  return FieldsParsed(header);
}

// Splitting: every TAB ends a field, so N TABs give N + 1 fields and an empty line one empty
// field; the fields of a header before its identifier lose a leading "%".
template <typename Char, typename Store>
void TTU::SplitFields(std::basic_string_view<Char> text, bool header, Store store) {
  size_t start = 0;
  for (;;) {
    const size_t tab = text.find(Char('\t'), start);
    std::basic_string_view<Char> field = text.substr(start, tab == std::basic_string_view<Char>::npos ? tab : tab - start);
    // Count() is the number of the field being added: those before the identifier lose their "%".
    if (header && Count() < tfHeaderId && !field.empty() && field[0] == Char('%')) field.remove_prefix(1);
    store(field, Count());
    if (tab == std::basic_string_view<Char>::npos) break;
    start = tab + 1;
  }
}

int TTU::FieldsParsed(bool header) {
  const WideString& attrs = Field(tfAttributes);
  const size_t bang = attrs.find(u'!');
  SetCheckedAttrCode(AttrCode, bang == WideString::npos ? std::u16string_view() : std::u16string_view(attrs).substr(bang));
  SetPairSource(LangPair, Field(tfSourceLang));
  SetPairTarget(LangPair, Field(tfTargetLang));
  SetIsHeader(header);
  return static_cast<int>(GetCount());
}

void TTU::SetField(int index, std::u16string_view text) {
  if (index >= 0 && index < tfSourceLang) BytesFields &= static_cast<uint8_t>(~(1u << index));
  Set(index, text);
  if (index == tfCount) Counter = -1;
  Kind = tkInvalid;
  Modified = true;
}

WideString TTU::GetUserID() const {
  const WideString& f = Field(tfUserId);
  if (IsHeader && f.size() >= 8 && CompareFoldedLW(f.c_str(), u"User ID,", 8) == 0) return TrimLeftBlanksW(f.substr(8));
  return f;
}

void TTU::SetUserID(const WideString& s) { SetField(tfUserId, IsHeader ? u"User ID," + s : s); }

void TTU::SetDate(TDateTime dateTime) { SetField(tfDate, DateTimeToTmDate(dateTime)); }

void TTU::SetLangPair(const TLangPair& pair) {
  if (!LangPairMatches(LangPair, pair, false) || LangPair.Marked != pair.Marked) {
    LangPair = pair;
    Kind = tkInvalid;
    Modified = true;
  }
}

void TTU::SetSourceLang(std::u16string_view code) {
  if (!LangMatches(LangPair.Source, code, false)) {
    SetPairSource(LangPair, code);
    Kind = tkInvalid;
    Modified = true;
  }
}

void TTU::SetTargetLang(std::u16string_view code) {
  if (!LangMatches(LangPair.Target, code, false)) {
    SetPairTarget(LangPair, code);
    Kind = tkInvalid;
    Modified = true;
  }
}

void TTU::SetIsHeader(bool value) {
  if (value == IsHeader) return;
  IsHeader = value;
  Kind = tkInvalid;
  Counter = -1;
  if (value && Field(tfHeaderId).size() != 10) {
    Set(tfHeaderId, NewTUId());
    Modified = true;
  }
}

int64_t TTU::GetCount() const {
  if (Counter != -1) return Counter;
  const WideString& f = Field(tfCount);
  int64_t value = 0;
  if (Count() > tfCount) {
    size_t i = IsHeader ? std::min<size_t>(3, f.size()) : 0;
    bool negative = i < f.size() && f[i] == u'-';
    if (negative) ++i;
    for (; i < f.size() && IsAsciiDigit(f[i]); ++i) {
      value = value * 10 + (f[i] - u'0');
      if (value > 999999999999LL) break;  // a count this long is not one
    }
    if (negative) value = -value;
  }
  Counter = value;
  return value;
}

void TTU::SetFieldBytes(int index, std::string_view bytes) {
  if (index < 0 || index >= tfSourceLang) return;
  Slot(index).clear();
  FieldBytes[index].assign(bytes);
  BytesFields |= static_cast<uint8_t>(1u << index);
  if (index == tfCount) Counter = -1;
  Kind = tkInvalid;
  Modified = true;
}

void TTU::SetCount(int64_t value) {
  // A header's count has eight digits: a larger one stays at the largest they hold.
  if (IsHeader) value = std::min(value, kMaxHeaderCount);
  // -1 is also what Counter holds when nothing is known: that count is always written.
  if (value == Counter && value != -1 && !(BytesFields >> tfCount & 1)) return;
  BytesFields &= static_cast<uint8_t>(~(1u << tfCount));
  Modified = true;
  AssignDigits(Slot(tfCount), IsHeader ? u"TU=" : u"", value, IsHeader ? 8 : 0);
  Counter = value;
}

bool TTU::DateFieldValid() const { return DateDigits(Field(tfDate)) != 0; }

bool TTU::Validate(std::initializer_list<int> fields) const {
  for (int f : fields) {
    bool ok = true;
    switch (f) {
      case tfDate: ok = DateFieldValid(); break;
      case tfSource: case tfTarget:
        ok = SegmentsUtf8 ? !(f == tfSource ? SourceUtf8 : TargetUtf8).empty() : !Field(f).empty();
        break;
      case tfUserId: case tfHeaderId: case tfHeaderFiller: case 10: case 11:
        ok = !Field(f).empty();
        break;
      case tfCount: ok = AllDigits(Field(f)); break;
      case tfSourceLang: ok = IsLangCode(LangPair.Source); break;
      case tfTargetLang: ok = IsLangCode(LangPair.Target); break;
      case tfAttributes: ok = IsValidAttrCode(AttrCode, true); break;
      default: break;
    }
    if (!ok) return false;
  }
  return true;
}

// The fields joined by TABs; those of the header before its attributes marked with "%".
template <typename Dest, typename Append>
void TTU::JoinFields(Dest& dest, Append append) {
  Set(tfSourceLang, LangPair.Source);
  Set(tfTargetLang, LangPair.Target);
  dest.clear();
  for (int i = 0; i < Count(); ++i) {
    const size_t at = dest.size();
    append(i);
    if (IsHeader && i < tfAttributes && dest.size() > at) dest.insert(dest.begin() + static_cast<ptrdiff_t>(at), '%');
    dest.push_back('\t');
  }
  if (!dest.empty()) dest.pop_back();
}

void TTU::BuildLine(WideString& dest) {
  // Room for the whole line at once: grown field by field, a long line would take twice its size.
  Set(tfSourceLang, LangPair.Source);
  Set(tfTargetLang, LangPair.Target);
  size_t length = static_cast<size_t>(Count()) + (IsHeader ? tfAttributes : 0);
  for (int i = 0; i < Count(); ++i)
    length += i < tfSourceLang && (BytesFields >> i & 1) ? FieldBytes[i].size() : Field(i).size();
  MakeRoom(dest, length);
  JoinFields(dest, [&](int i) {
    if (i < tfSourceLang && (BytesFields >> i & 1))
      AppendUtf8(FieldBytes[i], dest);
    else
      dest += Field(i);
  });
}

void TTU::BuildLineUtf8(std::string& dest) {
  JoinFields(dest, [&](int i) {
    if (i < tfSourceLang && (BytesFields >> i & 1)) {
      dest += FieldBytes[i];
      return;
    }
    if (SegmentsUtf8 && (i == tfSource || i == tfTarget)) {
      dest += i == tfSource ? SourceUtf8 : TargetUtf8;
      return;
    }
    const WideString& f = Field(i);
    const size_t at = dest.size();
    // A long field is measured first: room for three bytes a character would be filled (and
    // so taken) for nothing.
    dest.resize(at + (f.size() > kMeasuredField ? platform::Utf8Length(f) : f.size() * 3));
    dest.resize(static_cast<size_t>(platform::EncodeUtf8(f, dest.data() + at, platform::LoneSurrogate::Keep) - dest.data()));
  });
}

void TTU::BytesToFields() {
  for (int i = 0; i < tfSourceLang; ++i) {
    if (!(BytesFields >> i & 1)) continue;
    WideString text;
    AppendUtf8(FieldBytes[i], text);
    SetField(i, text);
  }
}

void TTU::SegmentsToFields() {
  BytesToFields();
  if (!SegmentsUtf8) return;
  SegmentsUtf8 = false;
  WideString text;
  AppendUtf8(SourceUtf8, text);
  SetField(tfSource, text);
  text.clear();
  AppendUtf8(TargetUtf8, text);
  SetField(tfTarget, text);
}

const WideString& TTU::GetLine() {
  if (Modified) {
    BuildLine(Line);
    Modified = false;
  }
  return Line;
}

int TTU::GetLineLength() { return static_cast<int>(GetLine().size()); }

int64_t TTU::ReadFrom(TTextFileStream& stream, int64_t position, bool segmentsUtf8) {
  if (position == -1) position = stream.GetPosition();
  int64_t next;
  if (segmentsUtf8 && stream.CodeChar() == ccUtf8) {
    stream.SetPosition(position);
    std::string_view bytes;
    next = stream.ReadLineBytes(bytes);
    ParseUtf8(bytes, true);
  } else {
    next = stream.ReadLineAt(Line, position);
    Parse(Line.c_str());
  }
  Position = position;
  NextPosition = next;
  return next;
}

void TTU::SetPosition(int64_t value) {
  if (value != Position) {
    Position = value;
    Modified = true;
  }
}

int TTU::GetKind() const {
  if (Kind != tkInvalid) return Kind;
  const int n = Count();
  int kind = tkInvalid;
  if (n == 0) {
    kind = tkNoField;
  } else if (n == 1) {
    const WideString& f = Field(0);
    if (f.size() >= 2 && f[0] == u'x' && f[1] == u'x')
      kind = tkXX;
    else if (AllDigits(f))
      kind = tkDigits;
  } else if (n >= 6) {
    if (IsHeader) {
      kind = IsValidPair(LangPair) ? tkHeader : tkInvalid;
    } else {
      const int d = DateDigits(Field(tfDate));
      if (d && Validate({tfCount, tfSourceLang, tfTargetLang, tfSource})) kind = d == 14 ? tkUnit : tkLongDate;
    }
  }
  Kind = kind;
  return kind;
}

bool TTU::LeaveImpossibleDateOut() {
  const std::string* bytes = BytesOf(tfDate);
  if (bytes ? IsPossibleTmDate(*bytes) : IsPossibleTmDate(Field(tfDate))) return false;
  const int kind = Kind;
  SetField(tfDate, u"");
  Kind = kind;
  return true;
}

namespace {
template <typename Char>
bool PossibleTmDate(std::basic_string_view<Char> d) {
  if (d.size() != 15) return false;
  int v[14];
  for (size_t i = 0, k = 0; i < 15; ++i) {
    if (i == 8) continue;
    if (d[i] < Char('0') || d[i] > Char('9')) return false;
    v[k++] = static_cast<int>(d[i] - Char('0'));
  }
  auto number = [&](int from, int digits) {
    int n = 0;
    for (int i = 0; i < digits; ++i) n = n * 10 + v[from + i];
    return n;
  };
  TDateTime unused;
  return TryEncodeDate(number(0, 4), number(4, 2), number(6, 2), unused) &&
         TryEncodeTime(number(8, 2), number(10, 2), number(12, 2), 0, unused);
}
}  // namespace

bool IsPossibleTmDate(std::u16string_view date) { return PossibleTmDate(date); }
bool IsPossibleTmDate(std::string_view date) { return PossibleTmDate(date); }

void TTU::PadHeader(int length) {
  const int d = length - GetLineLength();
  if (d == 0) return;
  WideString filler = Field(tfHeaderFiller);
  if (d < 0)
    filler.erase(0, std::min(filler.size(), static_cast<size_t>(-d)));
  else
    filler.insert(0, static_cast<size_t>(d), u' ');
  SetField(tfHeaderFiller, filler);
}

// ---------------------------------------------------------------------------------------------
void SetAttrCode(WideString& code, std::u16string_view text) {
  code.clear();
  if (text.empty()) return;
  if (text[0] == u'!') {
    code.assign(Cut(text, 11));
  } else {
    code = u"!";
    code.append(Cut(text, 10));
  }
}

void SetCheckedAttrCode(WideString& code, std::u16string_view text) {
  SetAttrCode(code, text);
  if (!IsValidAttrCode(code, true)) code.clear();
}

bool IsValidAttrCode(std::u16string_view code, bool strict) {
  if (!code.empty() && code[0] == u'!') code.remove_prefix(1);
  if (code.size() != 10) return false;
  if (strict)
    for (char16_t c : code)
      if (kAttrAlphabet.find(c) == std::u16string_view::npos) return false;
  return true;
}

bool IsLangCode(std::u16string_view p) {
  if (p.size() != 2 && p.size() != 5) return false;
  if (!IsAsciiLetter(p[0]) || !(IsAsciiLetter(p[1]) || IsAsciiDigit(p[1]))) return false;
  if (p.size() == 5)
    return IsSeparator(p[2]) && (IsAsciiLetter(p[3]) || IsAsciiDigit(p[3])) && (IsAsciiLetter(p[4]) || IsAsciiDigit(p[4]));
  return true;
}

void ClearLangPair(TLangPair& pair) {
  pair.Source.clear();
  pair.Target.clear();
  pair.Marked = false;
}

void StrToLangPair(TLangPair& pair, std::u16string_view text) {
  ClearLangPair(pair);
  if (text.empty()) return;
  if (text[0] == kPairMarker) text.remove_prefix(1);
  pair.Marked = true;
  size_t take = text.size() > 2 && IsSeparator(text[2]) ? 8 : 5;
  take = std::min(take, text.size());
  if (take < text.size() && IsSeparator(text[take])) take = std::min(take + 3, text.size());
  const std::u16string_view copied = text.substr(0, take);
  const size_t gt = copied.find(u'>');
  if (gt == std::u16string_view::npos) {
    pair.Source.assign(Cut(copied, kMaxCode));
  } else {
    pair.Source.assign(Cut(copied.substr(0, gt), kMaxCode));
    pair.Target.assign(Cut(copied.substr(gt + 1), kMaxCode));
  }
}

void SetLangPairText(TLangPair& pair, std::u16string_view text) {
  StrToLangPair(pair, text);
  if (!IsValidPair(pair)) ClearLangPair(pair);
}

bool IsValidPair(const TLangPair& pair) { return pair.Marked && IsLangCode(pair.Source) && IsLangCode(pair.Target); }

namespace {
void SetPairCode(TLangPair& pair, WideString& slot, std::u16string_view code) {
  if (!code.empty() && code[0] == kPairMarker) code.remove_prefix(1);
  slot.assign(Cut(code, kMaxCode));
  pair.Marked = true;
  // The pair text holds at most 14 characters after its marker: a longer pair loses its end.
  const size_t total = pair.Source.size() + 1 + pair.Target.size();
  if (total > kMaxPair) pair.Target.resize(pair.Target.size() - std::min(pair.Target.size(), total - kMaxPair));
}
}  // namespace

void SetPairSource(TLangPair& pair, std::u16string_view code) { SetPairCode(pair, pair.Source, code); }

void SetPairTarget(TLangPair& pair, std::u16string_view code) { SetPairCode(pair, pair.Target, code); }

bool LangMatches(std::u16string_view a, std::u16string_view b, bool wildcards) {
  if (a == b) return true;  // the usual case, which the folded compares would also find
  if (!SameFolded2(a, b) && !(wildcards && (IsZZ(a) || IsZZ(b)))) return false;
  const bool ra = HasRegion(a), rb = HasRegion(b);
  if (!ra && !rb) return true;
  if (ra != rb) return wildcards && IsZZ((ra ? a : b).substr(3));
  const std::u16string_view regA = a.substr(3), regB = b.substr(3);
  return SameFolded2(regA, regB) || (wildcards && (IsZZ(regA) || IsZZ(regB)));
}

bool LangPairMatches(const TLangPair& p1, const TLangPair& p2, bool wildcards) {
  return LangMatches(p1.Source, p2.Source, wildcards) && LangMatches(p1.Target, p2.Target, wildcards);
}

WideString DateTimeToTmDate(TDateTime dateTime) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dateTime, y, mo, d);
  DecodeTime(dateTime, h, mi, s, ms);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d~%02d%02d%02d", y, mo, d, h, mi, s);
  return WideString(buf, buf + 15);
}

WideString TmDateToTmxDate(std::u16string_view source) {
  WideString out(source);
  if (out.size() > 8) out[8] = u'T';
  out += u'Z';
  return out;
}

WideString NewTUId() {
  const int64_t ms = DateTimeToMSecs(Now() - 40000.0);
  const int64_t v = ms * 100 + (SysPerf().IncSequence() % 100 + 100) % 100;
  std::string digits = Int64ToStrBase(36, v);
  digits.insert(0, "0000000000");
  digits = digits.substr(digits.size() - 10);
  return WideString(digits.begin(), digits.end());
}

TTU NewTU(bool isHeader) {
  TTU tu;
  tu.SetIsHeader(isHeader);
  tu.SetDate(Now());
  ClearLangPair(tu.LangPair);
  tu.AttrCode.clear();
  tu.SetField(tfUserId, GetExeBaseNameW());
  if (isHeader) tu.SetField(tfHeaderFiller, u"%" + WideString(60, u' ') + u".");
  tu.SetCount(0);
  tu.SetPosition(0);
  return tu;
}

WideString MakeHeaderText(std::u16string_view pairText) {
  TLangPair pair;
  SetLangPairText(pair, pairText);
  if (!pair.Marked) {
    SetPairSource(pair, u"ZZ-ZZ");
    SetPairTarget(pair, u"ZZ-ZZ");
  }
  WideString text = u"%" + DateTimeToTmDate(Now());
  text += u"\t%User ID," + GetExeNameW();
  text += u"\t%TU=00000047";
  text += u"\t%" + pair.Source;
  text += u"\t%Quillmar TM v.5.53/00";
  text += u"\t%" + pair.Target;
  text += u"\t%---79532885";
  text += u"\t";
  text += u"\t" + NewTUId();
  text += u"\t" + WideString(150, u' ');
  if (text.size() > 169) text.resize(169);
  text += u'.';
  return text;
}

WideString MakeUnitLine(const WideString& source, const WideString& pair, const WideString& attrCode) {
  TTU tu = NewTU(false);
  SetLangPairText(tu.LangPair, pair);
  SetCheckedAttrCode(tu.AttrCode, attrCode);
  tu.SetField(tfSource, source);
  tu.SetField(tfTarget, WideString(source.size(), u' '));
  tu.Modified = true;
  return tu.GetLine();
}
