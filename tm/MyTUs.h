#pragma once
// One line of the tab-separated text translation memory: a unit, or the header line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/MyDateTimes.h"
#include "unicode/UniTypes.h"

class TTextFileStream;

// Field numbers of a line.
enum : int {
  tfDate = 0,
  tfUserId = 1,
  tfCount = 2,
  tfSourceLang = 3,
  tfSource = 4,
  tfTargetLang = 5,
  tfTarget = 6,
  tfAttributes = 7,
  tfHeaderId = 8,
  tfHeaderFiller = 9,
};

// Line kinds.
enum : int {
  tkHeader = 0,
  tkNoField = 1,
  tkInvalid = 2,
  tkUnit = 3,
  tkXX = 4,
  tkDigits = 5,
  tkLongDate = 6,
};

// The fields of a line. Field storage is kept from line to line, so that reading millions of
// lines into one object allocates only when a field grows longer than before.
class TFields {
public:
  bool Modified = false;

  int Count() const { return count_; }
  void Clear() { count_ = 0; }
  void Delete(int index);
  // Keeps the first index fields.
  void DeleteFrom(int index);
  // nullptr when index is not below Count.
  PCWideChar Get(int index) const;
  const WideString& Field(int index) const;  // empty for a missing field
  // Appends empty fields while index is not below Count, then copies text in.
  void Set(int index, std::u16string_view text);
  // Appends a field and returns its index.
  int Add(std::u16string_view text);

protected:
  // The field's storage; missing fields up to it are appended empty.
  WideString& Slot(int index) { return index < count_ && index >= 0 ? items_[static_cast<size_t>(index)] : Grow(index); }

private:
  WideString& Grow(int index);
  std::vector<WideString> items_;
  int count_ = 0;
};

// A language pair: source and target codes, each at most 7 characters.
struct TLangPair {
  WideString Source;
  WideString Target;
  bool Marked = false;
  // "source>target", the form stored in pair texts.
  WideString Text() const { return Source + u">" + Target; }
};

class TTU : public TFields {
public:
  explicit TTU(PCWideChar line = nullptr);
  explicit TTU(const WideString& line) : TTU(line.c_str()) {}

  bool IsHeader = false;
  WideString AttrCode;  // "!" + 10 characters, or empty
  TLangPair LangPair;
  WideString RejectChars;  // characters that make a unit line invalid; empty: none
  int64_t Position = 0;      // where the line starts in its stream, in characters
  int64_t NextPosition = 0;  // the position after it
  // The segments (fields 4 and 6) as UTF-8 TMX markup, for a stream asked to deliver them so
  // (see TTUStream::DeliverUtf8Segments): the fields themselves then stay empty, and a writer
  // that also writes UTF-8 copies the bytes without turning them into UTF-16 and back.
  bool SegmentsUtf8 = false;
  std::string SourceUtf8;
  std::string TargetUtf8;
  // The UTF-8 segments hold nothing that XML cannot hold (their source made sure of it).
  bool SegmentsClean = false;
  // Something of the unit was left out or replaced on its way (a date that is no date, bytes
  // that are no characters): a warning of its own, whoever writes it counts it.
  bool Warned = false;
  // Sets the date, user or count (index below tfSourceLang) from UTF-8 that decodes to the text
  // meant, for a writer in UTF-8: the bytes go into its line as they stand. The field itself
  // then reads empty; BuildLine and SegmentsToFields decode the bytes.
  void SetFieldBytes(int index, std::string_view bytes);
  // The bytes SetFieldBytes gave the field, nullptr when it holds its text as a field does.
  const std::string* BytesOf(int index) const {
    return index >= 0 && index < tfSourceLang && (BytesFields >> index & 1) ? &FieldBytes[index] : nullptr;
  }
  // Fields set by SetFieldBytes get their text decoded, as every other field has it.
  void BytesToFields();

  void Reset();
  void Clear();
  int Parse(PCWideChar p);
  int Parse(const WideString& line) { return Parse(line.c_str()); }
  // Parse for a line in UTF-8 (as a UTF-8 text file holds it), the fields decoded as Parse would
  // find them in the decoded line. With segmentsUtf8 the segments of a unit stay in UTF-8, in
  // SourceUtf8 and TargetUtf8 (SegmentsUtf8 set), and the line is not kept.
  int ParseUtf8(std::string_view line, bool segmentsUtf8);

  PCWideChar GetField(int index) const { return Get(index); }
  void SetField(int index, std::u16string_view text);
  // field i := func(field i) for every present field whose bit is set in mask (i < 16).
  template <typename Func>
  void ApplyToFields(uint16_t mask, Func func) {
    for (int i = 0; i < 16 && i < Count(); ++i)
      if (mask & (1u << i)) Slot(i) = func(static_cast<const WideString&>(Slot(i)));
  }

  WideString GetUserID() const;
  void SetUserID(const WideString& s);
  void SetDate(TDateTime dateTime);
  void SetLangPair(const TLangPair& pair);
  WideString GetSourceLang() const { return LangPair.Source; }
  WideString GetTargetLang() const { return LangPair.Target; }
  void SetSourceLang(std::u16string_view code);
  void SetTargetLang(std::u16string_view code);
  void SetIsHeader(bool value);
  int64_t GetCount() const;
  // A header's count is "TU=" and 8 digits: a value above kMaxHeaderCount is stored as that.
  static constexpr int64_t kMaxHeaderCount = 99999999;
  void SetCount(int64_t value);
  bool Validate(std::initializer_list<int> fields) const;
  void BuildLine(WideString& dest);
  // The line in UTF-8 (lone surrogates keep their forms), the segments of a unit that holds
  // them in UTF-8 taken from there.
  void BuildLineUtf8(std::string& dest);
  // A unit whose segments or other fields are in UTF-8 gets them into its fields.
  void SegmentsToFields();
  const WideString& GetLine();
  int GetLineLength();
  // Reads the line at position (-1: where the stream stands) and parses it; with segmentsUtf8,
  // the segments of a unit of a UTF-8 file stay in UTF-8 (see ParseUtf8).
  int64_t ReadFrom(TTextFileStream& stream, int64_t position, bool segmentsUtf8 = false);
  void SetPosition(int64_t value);
  int GetKind() const;
  // Empties a date field that holds no possible date (see IsPossibleTmDate); the line keeps
  // its kind. True when it did.
  bool LeaveImpossibleDateOut();
  void PadHeader(int length);

private:
  template <typename Char, typename Store>
  void SplitFields(std::basic_string_view<Char> text, bool header, Store store);
  int FieldsParsed(bool header);
  bool DateFieldValid() const;
  template <typename Dest, typename Append>
  void JoinFields(Dest& dest, Append append);
  WideString Line;
  // The fields set by SetFieldBytes: bit i for field i, its bytes in FieldBytes[i].
  uint8_t BytesFields = 0;
  std::string FieldBytes[tfSourceLang];
  // Caches of what the fields say, filled when first asked.
  mutable int Kind = tkInvalid;
  mutable int64_t Counter = -1;
};

// Attribute codes.
void SetAttrCode(WideString& code, std::u16string_view text);
void SetCheckedAttrCode(WideString& code, std::u16string_view text);
bool IsValidAttrCode(std::u16string_view code, bool strict);

// Language codes and pairs.
bool IsLangCode(std::u16string_view p);
void ClearLangPair(TLangPair& pair);
void StrToLangPair(TLangPair& pair, std::u16string_view text);
void SetLangPairText(TLangPair& pair, std::u16string_view text);
bool IsValidPair(const TLangPair& pair);
void SetPairSource(TLangPair& pair, std::u16string_view code);
void SetPairTarget(TLangPair& pair, std::u16string_view code);
bool LangMatches(std::u16string_view a, std::u16string_view b, bool wildcards);
bool LangPairMatches(const TLangPair& p1, const TLangPair& p2, bool wildcards);

// Dates: "yyyymmdd~hhmmss" in the text TM, "yyyymmddThhmmssZ" in TMX.
// Whether date is 8 digits of a day that exists, one character, and 6 digits of a time of day
// (15 characters, the separator not looked at).
bool IsPossibleTmDate(std::u16string_view date);
bool IsPossibleTmDate(std::string_view date);
WideString DateTimeToTmDate(TDateTime dateTime);
WideString TmDateToTmxDate(std::u16string_view source);

WideString NewTUId();
TTU NewTU(bool isHeader);
WideString MakeHeaderText(std::u16string_view pair);
WideString MakeUnitLine(const WideString& source, const WideString& pair, const WideString& attrCode);
