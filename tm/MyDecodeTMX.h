#pragma once
// The TMX reader: a TMX file of any version into a text translation memory, through a
// translation-unit stream. The output receives a header and one unit per tu that has a variant
// in each language of the pair; an output that already holds a text translation memory
// receives the new units at its end, and its header's count grows by them. Inline elements
// (bpt, ept, ph, it, ut, hi) become placeholders; the prop elements of the types asked for
// become attribute fields, 7 onwards.
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tm/MyReaderHTML.h"
#include "tm/MyTUs.h"
#include "unicode/UniStringList.h"

class TTUStream;

// The base of the XML readers of translation memories.
class TBaseDecodeXML : public TReaderHTML {
public:
  using TReaderHTML::TReaderHTML;
};

class TDecodeTMX : public TBaseDecodeXML {
public:
  // A document with more elements open at once is refused: no TMX file nests a fraction as
  // deeply, and each open element is kept until it closes.
  static constexpr uint32_t kMaxOpenElements = 1u << 17;

  explicit TDecodeTMX(const WideString& fileName);
  ~TDecodeTMX() override;

  // The property types whose prop elements are kept: the i-th (from 0) goes to field
  // AttrFieldOf(i) of every unit, and the header names it at the same field.
  void SetPropTypes(const TUniStringList& list);
  void SetPropTypes(const std::vector<WideString>& list);

  // Reads the whole input into output. outputName is the output's file, for messages, for the
  // last-line check of an existing file and for the rare header rewrite that cannot be done in
  // place. False when the input could not be opened, when the output is neither empty nor a
  // text translation memory (it is then left untouched), or when it did not take what was
  // written; ErrorText() names the file. A stopped conversion keeps the units written and the
  // header counts them.
  bool Convert(TTUStream* output, const WideString& outputName = WideString());

  void Start() override;
  void Finish() override;
  void TagOpened(TTag* tag) override;
  TTag* TagClosed(TTag* tag, std::u16string_view endName) override;
  bool EndUnit(bool isHeader) override;
  bool CollectsText(const TTag& tag) const override;
  bool DecodesAttributes() const override { return false; }
  bool UsesEndNames() const override { return false; }
  bool DecodesNames() const override { return false; }
  int ElementKind(std::string_view name) const override;
  // hi keeps no text of its own: its words are text of the element around it, between the
  // placeholders of its start and its end. sub keeps none either: its words are text of the
  // code around it. So nesting of any depth costs no copying.
  TTag* TextTarget(TTag& tag) override;

  // Stands for an inline element's content in its parent's text: "{" + the MD4 digest of the
  // content's UTF-8 + "}", the content kept in TagContents. Content that consists of text-TM
  // placeholders only (what the TMX writer makes of them) is returned as it stands, so that a
  // text TM written as TMX and read back keeps its placeholders.
  const WideString& TagKey(std::u16string_view content);
  // The start tag of an element as markup text ("/>" at its end when empty).
  const WideString& Markup(const TTag& tag, bool empty);

  // The pair of the units: from the header's source language and the variants met, or the
  // pair of the translation memory appended to.
  TLangPair LangPair;
  // The output held a translation memory when the conversion started.
  bool Appending = false;
  // The header's count would have outgrown its eight digits: it stays at the largest they hold.
  bool CountCapped = false;
  // The unit being filled; exists from the tmx start tag on.
  std::unique_ptr<TTU> CurrentTU;
  // The variant being read (an index into the unit's variants), -1 outside a tuv.
  int CurrentTuv = -1;
  // The languages of the last unit written: bit 0 source, bit 1 target.
  uint8_t LangsSeen = 0;
  // "yyyymmdd~hhmmss" of the moment the tmx start tag was read.
  WideString DefaultDate;
  TUniStringList PropTypes;

private:
  // How a language compares with the pair's codes, once the pair is settled: a file holds few
  // languages, and each unit would otherwise compare its variants' codes again.
  struct TLangMatch {
    bool Known = false;  // the flags below hold
    bool Source = false, Target = false;  // LangMatches with the pair's source, target
    bool SourceLanguage = false, TargetLanguage = false;  // SameFoldedPair with them
  };
  struct TVariant {
    WideString Lang;  // in text-TM form
    WideString Seg;   // raw seg text, inline elements as their keys
    std::string SegUtf8;  // the same in UTF-8, when the output takes UTF-8 segments
    bool Wanted = true;  // a unit may take it: its text is gathered
    TLangMatch Match;
  };
  bool MayBeTaken(const WideString& lang) const;
  TLangMatch MatchOf(const WideString& lang) const;
  struct TLangSeen {
    WideString Attr;  // the value of the language attribute
    WideString Lang;  // in text-TM form
    std::string Raw;  // the value as the file spelt it, when that is Attr itself (Spelt)
    bool Spelt;
    bool Wanted;
    TLangMatch Match;
  };
  std::vector<TLangSeen> LangsKnown;  // filled once the pair is settled

  void ApplyHeader(TTag* tag);
  void SettleOwners(TTag& tag);
  std::vector<TTag*> OwnerChain;
  void ResolvePair();
  int PickVariant(const WideString& code, int except, bool& sameCode) const;
  void WriteCurrentUnit();
  bool WriteHeaderLine();
  bool UpdateHeaderCount(int64_t count);
  bool RewriteThroughTempFile(TTU& header);
  bool LastLineEnded();
  void OutputFailed();

public:
  // The attributes the reader reads.
  enum TAttrName : uint8_t {
    anChangeDate, anCreationDate, anLastUsageDate, anCreationId, anChangeId, anUsageCount, anXmlLang, anLang,
    anSrcLang, anAdminLang, anType, anEncoding, anCount
  };

private:
  // The attribute's value decoded, nullptr when the tag has none of the names (first present wins).
  PCWideChar Attr(const TTag* tag, std::initializer_list<TAttrName> names);
  // The same as the input spelt it; false when none.
  bool RawAttr(const TTag* tag, std::initializer_list<TAttrName> names, std::string_view& raw);
  PCWideChar Decoded(std::string_view raw);
  // What a field of the unit takes from an attribute: any text, digits only, or a TMX date.
  enum TFieldCheck : uint8_t { fcAny, fcDigits, fcDate };
  // Sets field of the current unit from the first of names on tag when its value fits check:
  // as its bytes where the output takes UTF-8 and they stand for themselves, else decoded.
  // False (the field left alone) when the tag has none of the names or the value does not fit.
  bool SetFieldFrom(const TTag* tag, std::initializer_list<TAttrName> names, int field, TFieldCheck check);
  void IndexAttrs(const TTag* tag);
  const TTag* IndexedTag = nullptr;  // the tag FirstAttr describes
  bool IndexedSlow = false;          // it has a name beyond ASCII
  int FirstAttr[anCount] = {};
  // A TMX date as unit date text; nullptr when the value is none.
  PCWideChar TmDate(const TTag* tag);
  PCWideChar TmDateOf(PCWideChar value);
  bool DateRefused();
  uint64_t IllFormedAtTu = 0;  // IllFormedUtf8Replaced when the current tu began

  TTU HeaderTU;                 // the header of a new output, until written
  bool HaveHeader = false;      // a tmx element was met
  bool HeaderWritten = false;
  int HeaderLength = 0;         // of the header line written, in characters
  int64_t ExistingCount = 0;    // the count of the translation memory appended to
  TTU ExistingHeader;
  bool LineEndMissing = false;  // the existing output's last line has no line end
  WideString HeaderSource;      // the header's source language, until a variant confirms it
  bool PairSettled = false;     // the source language is known for good
  bool InTU = false;
  bool RootSeen = false;        // the document element was met
  // The output takes segments in UTF-8: they are gathered so and stay so, unless they hold
  // something to decode, replace or escape.
  bool Utf8Segments = false;
  std::vector<TVariant> Variants;
  int VariantCount = 0;         // the variants of the current tu; more may be kept for reuse
  WideString OutputName;
  WideString AttrBuf;
  WideString RawBuf;
  WideString DateBuf;
  WideString KeyBuf;
  // Content as read -> what it decodes to and its key, for the contents of inline elements,
  // which repeat from unit to unit (the same bold start over and over): each is decoded and
  // digested once while it is kept. Short contents only, and a bounded number of them.
  struct TKnownKey {
    WideString Content;  // decoded
    WideString Key;
  };
  struct TWideHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const { return std::hash<std::u16string_view>{}(s); }
  };
  std::unordered_map<WideString, TKnownKey, TWideHash, std::equal_to<>> KnownKeys;
  WideString MarkupBuf;
  WideString ContentBuf;
  std::string Utf8Buf;
  AnsiString DigestBuf;
};

// The field of the index-th property type (from 0): 7, then 10, 11, ..., so that the header,
// whose fields 8 and 9 hold its identifier and its filler, names each type at the field of
// its values.
int AttrFieldOf(int index);

// A language code in the form a text TM takes: two characters, optionally "-" or "_" and a
// two-character region ("zh-Hans-CN" gives "zh-CN", "es-419" gives "es"). A code whose language
// part is not two characters long is returned as it stands.
WideString TmLangCode(std::u16string_view code);
