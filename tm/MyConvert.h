#pragma once
// The base layer of the format converters: a converter is a single-use progress-and-stop job.
// A reader pulls the text of a file (UTF-16 characters one at a time, or blocks of UTF-8 for
// the markup scanner) and hands translation units to a unit stream; a writer pulls units out of a unit stream and writes a text file. The inline-tag
// objects (name/value pairs, the tag -> placeholder list, the chain of open elements) serve
// the markup readers.
//
// Converters raise nothing of their own. A file that cannot be opened or created, or that
// does not take what is written, makes the converter Failed(); ErrorText() then names the file
// with its full path and gives the system's reason.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/MyObjects.h"
#include "base/MyPump.h"
#include "base/MyRawBuffer.h"
#include "base/MyWideStr.h"
#include "unicode/UniTypes.h"

class TTextFileStream;
class TTUStream;

class TConvert : public TObjectControled {
public:
  TConvert();
  ~TConvert() override;

  bool Failed() const { return !FErrorText.empty(); }
  // "Cannot open file "<full path>". <reason>" and the like; empty while nothing failed.
  const WideString& ErrorText() const { return FErrorText; }
  // The file the error is about, as it was given.
  const WideString& ErrorFileName() const { return FErrorFileName; }
  // The input was refused for what it holds (not for a file that failed): its output is to be
  // left as it was before the conversion.
  bool Refused() const { return FRefused; }

protected:
  // format holds two "%s": the expanded file name, then the system's text for errorCode
  // (left out when errorCode is 0, the reason being unknown).
  void SetFileError(const WideString& format, const WideString& fileName, int errorCode);
  // Fails the conversion for what the input holds, and stops it: format takes the expanded file
  // name for its "%s", and what the input holds (a language code, an encoding's name) follows
  // as it is, never taken for a format.
  void Refuse(const WideString& format, const WideString& fileName, std::u16string_view after = {});

  // Scratch text for one segment or attribute value at a time; keeps its capacity from use to
  // use, so a conversion allocates it once for its longest text.
  WideString WorkBuffer;

private:
  WideString FErrorText;
  WideString FErrorFileName;
  bool FRefused = false;
};

// Appends UTF-8 bytes to out as AppendUtf8 would decode them and the encoder (lone surrogates
// kept) would give them back: well-formed text is copied as it stands, and decoding what was
// appended, piece after piece, gives the text that decoding each piece would have given.
void AppendUtf8Text(std::string_view bytes, std::string& out, bool lineEnds = false);
// What a scan of UTF-8 stops at, besides what AppendUtf8 would not decode as it stands: the
// bytes below 0x20 when Controls, up to five ASCII bytes, lead bytes, and with NonChars the
// forms of U+FFFE and U+FFFF.
struct TUtf8Stops {
  // Per byte: 1 a character of its own, 2-4 the lead of a form of that length (from its bounds
  // for the second byte), 0 a stop.
  uint8_t Length[256];
  uint8_t Low[256];
  uint8_t High[256];
  bool NonChars = false;
  int AsciiCount = 0;
  uint64_t Ascii[5] = {};  // each ASCII stop in every byte of a word
  bool Controls = false;
  bool TwoByteLeads = true;  // no lead of a two-byte form is a stop
  uint8_t TwoByteLeadMin = 0xC2;  // leads from here to 0xDF are no stops (0xE0: none such)
  uint8_t PlainByte = 'a';        // an ASCII byte that is no stop
};
TUtf8Stops MakeUtf8Stops(bool controls, std::string_view ascii, std::string_view leads = {}, bool nonChars = false);
// The length of the longest beginning of bytes without a stop. The three-byte forms of
// surrogates are well-formed here, as they are for AppendUtf8.
size_t ScanUtf8(std::string_view bytes, const TUtf8Stops& stops);
// Appends a code point to UTF-16 text: a pair of surrogates beyond U+FFFF.
void AppendCodePoint(WideString& out, uint32_t code);
// Appends UTF-8 to out with what XML 1.0 cannot hold replaced: a control character other than
// TAB, LF and CR, U+FFFE and U+FFFF become a blank, the form of a surrogate (which has no
// partner in well-formed text) U+FFFD. Anything else, ill-formed bytes included, is copied as it
// stands. Returns how many surrogates' forms were replaced. (out: std::string or TRawBuffer)
template <typename Out>
size_t AppendCleanXml(Out& out, std::string_view text);
// The length of the longest beginning of bytes that AppendUtf8 decodes without a U+FFFD of its
// own making, and without a CR when lineEnds.
size_t WellFormedUtf8(std::string_view bytes, bool lineEnds);

// The reading side (not the class library's reader of the same name).
class TReader : public TConvert {
public:
  // An empty name gives a reader without input; see OpenFile for the rest.
  explicit TReader(const WideString& fileName);
  ~TReader() override;

  // Opens the input for reading (denying writers) and settles its encoding before any text is
  // decoded: the byte-order mark when there is one, else encoding="UTF-8" in the XML
  // declaration at the start of the file switches an ANSI input to UTF-8. The total for the
  // progress is the input's size. False when the file could not be opened: the reader then has
  // no input and is Failed().
  bool OpenFile(const WideString& fileName);
  // Switches an ANSI input to UTF-8 (a UTF-16 input stays as it is).
  void SetUtf8Input(bool value);
  // The input position in characters (0 without input). Pending events are pumped on the way,
  // by the clock, so that Stop can reach Abort during a parse.
  int64_t InputPosition();
  WideChar ReadChar() { return NextChar(); }
  // Appends the next block of the input to out as UTF-8: a UTF-8 file as its bytes stand, any
  // other encoding decoded once per block and encoded (lone surrogates keep their forms, so
  // that decoding gives them back). Without a file the characters left in Buffer are the
  // input. False at the end of the input.
  bool ReadBlock(TRawBuffer& out);

  // The next input character; TAB (which readers ignore) once the input is exhausted.
  virtual WideChar NextChar();
  virtual void Start() = 0;
  virtual void Finish() = 0;
  virtual void Parse() = 0;

  std::unique_ptr<TTextFileStream> Input;  // nullptr when no file is open
  TTUStream* Output = nullptr;             // receives the units; not owned
  bool EndOfInput = false;

protected:
  // Characters read ahead from Input; the refill reads up to this many at a time.
  static constexpr int64_t ChunkChars = 30000;
  WideString Buffer;
  int64_t BufIndex = 0;
  int64_t BufLen = 0;

private:
  void SniffXmlEncoding();
  TPumpThrottle PumpClock;
  std::unique_ptr<char16_t[]> FUnits;  // a block of a UTF-16 input as read
};

// The writing side (not the class library's writer of the same name).
class TWriter : public TConvert {
public:
  // Moves the source to its start and takes its size as the total.
  explicit TWriter(TTUStream* source);
  ~TWriter() override;

  // Writes the whole output.
  virtual void Execute() = 0;

  std::unique_ptr<TTextFileStream> Output;  // owned; opened by the concrete writer
  TTUStream* Source;                        // not owned
};

// One name/value pair.
class TAttribut {
public:
  TAttribut(std::u16string_view name, std::u16string_view value) : Name(name), Value(value) {}
  WideString Name;
  WideString Value;
};

// An owning list of pairs. As the tag list of a segment it maps inline tag texts to their
// placeholders "&" + kind + letter + ";".
class TAttrList {
public:
  TAttrList() = default;
  TAttrList(const TAttrList&) = delete;
  TAttrList& operator=(const TAttrList&) = delete;

  int Count() const { return FCount; }
  const TAttribut& Items(int index) const { return *FItems[static_cast<size_t>(index)]; }

  // Appends the pair unless one with exactly this name exists. Returns the existing item's
  // index + 1, or the new item's index.
  int AddUnique(std::u16string_view name, std::u16string_view value);
  // Registers an inline tag: a tag text met before keeps its placeholder (index + 1 returned);
  // a new one gets "&tA;" for the first tag of the list, "&tB;" for the second, and so on
  // (the index returned). The kind is "f" for an RTF field group ("{" ... "\field" ...), the
  // third character for a tag beginning "<#".
  int AddTag(std::u16string_view tagText);
  // Appends the pair even when the name is already there.
  void Add(std::u16string_view name, std::u16string_view value);
  // The next item, to be filled in place (a spare one when there is one); only for a list of
  // fewer than 16 items, which keeps no index of its names.
  TAttribut& AppendShort();
  void Clear();
  // Exact (ordinal) name match; -1 when none.
  int IndexOfName(std::u16string_view name) const;
  // Case-insensitive name match (folded compare); nullptr when none.
  const TAttribut* FindName(std::u16string_view name) const;
  // FindName's value; nullptr when none.
  PCWideChar ValueOf(std::u16string_view name) const;
  // The placeholder AddTag gave this exact tag text; nullptr when none. Tags that differ only
  // in case are different tags.
  PCWideChar PlaceholderOf(std::u16string_view tagText) const;

private:
  int Append(std::u16string_view name, std::u16string_view value);

  // Items past FCount are spare: a list cleared and filled again (the attributes of the element
  // that takes over a closed one's slot) reuses them and their text's room.
  std::vector<std::unique_ptr<TAttribut>> FItems;
  int FCount = 0;
  // Exact name -> first index, kept once the list is long enough for a scan to cost more than
  // the map (a segment with thousands of tags); the views point into the items' own names.
  static constexpr size_t IndexFrom = 16;
  std::unordered_map<std::u16string_view, int> FIndex;
};

// Where the name and the value of an attribute stand in a piece of markup.
struct TRawSpan {
  uint32_t NameAt, NameEnd, ValueAt, ValueEnd;
};

// One open element of a markup reader. The open elements form the chain Root -> Child -> ...;
// a tag owns the chain below it.
class TTag {
public:
  TTag(TTag* parent, std::u16string_view name);
  ~TTag();
  TTag(const TTag&) = delete;
  TTag& operator=(const TTag&) = delete;

  // The gathered character content; nullptr until text arrives (and for a tag that gathers
  // UTF-8).
  PCWideChar Text() const { return FHasText && !GathersUtf8 ? FText.c_str() : nullptr; }
  // Swaps the gathered text into out (empty when none), leaving the tag without text.
  void TakeText(WideString& out) {
    out.swap(FText);
    FText.clear();
    FHasText = false;
  }
  // The same for a tag that gathers UTF-8. The bytes may be those of the input as they stand,
  // ill-formed sequences and CRs not yet settled: AppendUtf8 with lineEnds gives the text.
  void TakeTextUtf8(std::string& out) {
    out.swap(FTextUtf8);
    FTextUtf8.clear();
    FHasText = false;
    FUnsettled = false;
  }
  // nullptr does nothing. Appending to text that begins with blanks drops those blanks first,
  // unless the tag keeps its blanks.
  void AddText(PCWideChar text);
  void AddText(std::u16string_view text);
  // Leading blanks of the name are skipped; duplicates stay in the list.
  void AddAttribute(std::u16string_view name, std::u16string_view value);
  // AddAttribute, AddText and OpenChild for names, values and text in UTF-8 (see AppendUtf8).
  void AddAttributeUtf8(std::string_view name, std::string_view value);
  void AddTextUtf8(std::string_view text, bool lineEnds);
  // With decodeName false the child's Name stays empty: a reader that tells elements apart by
  // Kind and NameUtf8 decodes no name.
  TTag* OpenChildUtf8(std::string_view name, bool decodeName = true);
  // Creates the child element (replacing an open one) and returns it. The element closed last
  // under this one lends its object, so that a reader allocates nothing per element once the
  // document's depth has been reached.
  TTag* OpenChild(std::u16string_view name);
  // Closes this tag and everything below it and returns the parent, which becomes the current
  // tag; the tag is kept by the parent for its next child. The root cannot be closed: it
  // returns itself.
  TTag* Close() {
    TTag* parent = Parent;
    if (!parent) return this;
    parent->Spare = std::move(parent->Child);  // this object now waits for the parent's next child
    return parent;
  }
  // The attribute's value (name without case); nullptr when absent.
  PCWideChar ValueOf(std::u16string_view attrName) const { return Attributes.ValueOf(attrName); }

  // The attributes as the input spelt them, in UTF-8: a reader that keeps them so decodes only
  // the values it reads. Leading blanks of a name are skipped; duplicates stay.
  void AddRawAttribute(std::string_view name, std::string_view value);
  // The same for attributes that all stand in markup, in order, their names without blanks:
  // the markup from the first name to the last value is kept once.
  void AddRawAttributes(std::string_view markup, const TRawSpan* spans, size_t count);
  int RawCount() const { return static_cast<int>(FRaw.size()); }
  std::string_view RawName(int i) const {
    const TRawAttr& a = FRaw[static_cast<size_t>(i)];
    return std::string_view(FRawBytes).substr(a.NameAt, a.NameLength);
  }
  std::string_view RawValue(int i) const {
    const TRawAttr& a = FRaw[static_cast<size_t>(i)];
    return std::string_view(FRawBytes).substr(a.ValueAt, a.ValueLength);
  }
  // The first raw value whose name is attrName without case (attrName in ASCII); false when none.
  bool RawValueOf(std::u16string_view attrName, std::string_view& value) const;

  WideString Name;
  // The name as the input spelt it, in UTF-8, for a tag opened from UTF-8.
  std::string NameUtf8;
  TTag* Parent;
  std::unique_ptr<TTag> Child;
  TAttrList Attributes;
  // Where the text read inside this element goes, for an element that keeps none of its own;
  // set by the reader that decides so.
  TTag* TextOwner = nullptr;
  // What the reader made of the name, for readers that look it up once: -1 until it says.
  mutable int Kind = -1;
  // Text that grows keeps the blanks it begins with: set by a reader for whom every character
  // of the element's content counts.
  bool KeepsBlanks = false;
  // The text is gathered in UTF-8, for a reader that hands it on so: text given in UTF-16 is
  // encoded, lone surrogates kept. Text that arrives in one piece is kept as the input has it;
  // a second piece settles the first (see AppendUtf8Text). Set before any text arrives.
  bool GathersUtf8 = false;

  // Ready for another element of this name, under the same parent; what was open below it
  // waits as the spare of its next child.
  void Reuse(std::u16string_view name);

private:
  void StartText();
  void SettleUtf8();
  // Reuse without the names: what the element held is dropped.
  void Recycle();

  std::unique_ptr<TTag> Spare;  // the child closed last
  struct TRawAttr {
    uint32_t NameAt, NameLength, ValueAt, ValueLength;
  };
  std::vector<TRawAttr> FRaw;
  std::string FRawBytes;
  WideString FText;
  std::string FTextUtf8;
  bool FHasText = false;
  bool FUnsettled = false;  // FTextUtf8 holds one piece of input as it stands

public:
  // (Beside the flags above, where they take no room of their own: a document may hold a
  // great many elements open.)
  // TextOwner holds the reader's answer for this element, decided once (from the elements
  // around it, which a deep chain would otherwise make it walk again at every piece of text).
  bool OwnerKnown = false;
  // The number of elements around this one: 0 for the root.
  uint32_t Depth = 0;
};
