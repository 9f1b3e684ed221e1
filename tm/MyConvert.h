#pragma once
// The base layer of the format converters: a converter is a single-use progress-and-stop job.
// A reader pulls UTF-16 characters out of a text file and hands translation units to a unit
// stream; a writer pulls units out of a unit stream and writes a text file. The inline-tag
// objects (name/value pairs, the tag -> placeholder list, the chain of open elements) serve
// the markup readers.
//
// Converters raise nothing of their own. A file that cannot be opened or created, or that
// does not take what is written, makes the converter Failed(); ErrorText() then names the file
// with its full path and gives the system's reason.
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/MyObjects.h"
#include "base/MyPump.h"
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

protected:
  // format holds two "%s": the expanded file name, then the system's text for errorCode
  // (left out when errorCode is 0, the reason being unknown).
  void SetFileError(const WideString& format, const WideString& fileName, int errorCode);

  // Scratch text for one segment or attribute value at a time; keeps its capacity from use to
  // use, so a conversion allocates it once for its longest text.
  WideString WorkBuffer;

private:
  WideString FErrorText;
  WideString FErrorFileName;
};

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

  int Count() const { return static_cast<int>(FItems.size()); }
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

  std::vector<std::unique_ptr<TAttribut>> FItems;
  // Exact name -> first index, kept once the list is long enough for a scan to cost more than
  // the map (a segment with thousands of tags); the views point into the items' own names.
  static constexpr size_t IndexFrom = 16;
  std::unordered_map<std::u16string_view, int> FIndex;
};

// One open element of a markup reader. The open elements form the chain Root -> Child -> ...;
// a tag owns the chain below it.
class TTag {
public:
  TTag(TTag* parent, std::u16string_view name);
  ~TTag();
  TTag(const TTag&) = delete;
  TTag& operator=(const TTag&) = delete;

  // The gathered character content; nullptr until text arrives.
  PCWideChar Text() const { return FHasText ? FText.c_str() : nullptr; }
  // nullptr does nothing. Appending to text that begins with blanks drops those blanks first.
  void AddText(PCWideChar text);
  void AddText(std::u16string_view text);
  // Leading blanks of the name are skipped; duplicates stay in the list.
  void AddAttribute(std::u16string_view name, std::u16string_view value);
  // Creates the child element (replacing an open one) and returns it.
  TTag* OpenChild(std::u16string_view name);
  // Frees this tag and everything below it and returns the parent, which becomes the current
  // tag. The root cannot be closed: it returns itself.
  TTag* Close();
  // The attribute's value (name without case); nullptr when absent.
  PCWideChar ValueOf(std::u16string_view attrName) const { return Attributes.ValueOf(attrName); }

  WideString Name;
  TTag* Parent;
  std::unique_ptr<TTag> Child;
  TAttrList Attributes;
  // Where the text read inside this element goes, for an element that keeps none of its own;
  // set by the reader that decides so.
  TTag* TextOwner = nullptr;

private:
  WideString FText;
  bool FHasText = false;
};
