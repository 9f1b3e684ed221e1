#pragma once
// The HTML tokenizer: the characters of a TBuffer become symbols, one per tag, one per run of
// text and one at the end of the input, with the attributes of a tag and the text of a run. Also
// the keyword tables the symbols come from and the document-type check that decides quirks mode.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "htmlview/layout/HtmlShared.h"
#include "htmlview/markup/HtmlBase.h"
#include "htmlview/markup/HtmlSymbols.h"
#include "htmlview/text/HtmlBuffer.h"

namespace htmlview {

// ---- keyword tables ----

struct TResWord {
  std::u16string_view Name;  // upper case
  Symb Symbol;
  Symb EndSym;  // UnknownTagSymbol: the element has no end tag
};

struct TSymbolRec {
  std::u16string_view Name;  // upper case
  Symb Symbol;
};

struct TEntity {
  std::u16string_view Name;  // case as written
  int32_t Value;             // code point
};

// The tables sorted by name (exact, case-sensitive order), made at compile time.
std::span<const TResWord> ResWordList();
std::span<const TSymbolRec> AttribWordList();
std::span<const TEntity> EntityList();

// Binary searches of the tables: exact and case-sensitive; nullptr when absent.
const TResWord* FindResWord(std::u16string_view upperName);
const TSymbolRec* FindAttribWord(std::u16string_view upperName);
const TEntity* FindEntity(std::u16string_view name);

// For every start and end symbol of an element word, its index in ResWordList(); -1 elsewhere.
extern const std::array<int32_t, SymbolCount> SymbolWordIndex;
// For every element start, element end and attribute symbol, its word in lower case; empty
// elsewhere. Where an attribute shares an element's symbol the text is the same.
extern const std::array<std::u16string_view, SymbolCount> SymbolNames;

// ---- the parser ----

// End of input inside a comment.
class EHtmlParseError : public Exception {
public:
  using Exception::Exception;
};

// What the tokenizer reads and writes outside itself: the property stack's source-position field
// and its document, and the calling object's progress. The document builder implements it over
// the property stack and the viewer; TParserHost serves a parse that has neither.
class THtmlParserHost {
public:
  virtual ~THtmlParserHost() = default;
  // The byte offset of the character being read, for the objects built from it.
  virtual void SetSourcePos(int pos) = 0;
  virtual int SourcePos() const = 0;
  // Whether a document is being filled: progress and identifiers go to it.
  virtual bool HasDocument() const = 0;
  // The part of the progress scale, in percent, that the parse covers.
  virtual int ParseShare() const = 0;
  virtual void Progress(int percent) = 0;
  // The code page of the innermost property set: attributes carry it, and numeric references
  // 127 to 159 are read as a byte of it.
  virtual int CodePage() const = 0;
  // An element identifier at a source position, so that "#name" links reach it.
  virtual void AddChPosObject(const std::u16string& id, int pos) = 0;
  // The field that SetSourcePos writes and SourcePos reads, when the host keeps the position in
  // one for the whole parse: the tokenizer then sets it directly for every character it reads.
  virtual int* SourcePosField() { return nullptr; }
};

class TParserHost : public THtmlParserHost {
public:
  void SetSourcePos(int pos) override { SIndex = pos; }
  int SourcePos() const override { return SIndex; }
  bool HasDocument() const override { return false; }
  int ParseShare() const override { return 0; }
  void Progress(int) override {}
  int CodePage() const override { return CurrentCodePage; }
  void AddChPosObject(const std::u16string&, int) override {}
  int* SourcePosField() override { return &SIndex; }

  int SIndex = -1;
  int CurrentCodePage = 0;
};

class THtmlParser {
public:
  // The buffer is read, not owned. Without a host the parser keeps its state to itself.
  explicit THtmlParser(TBuffer& buffer, THtmlParserHost* host = nullptr);
  THtmlParser(const THtmlParser&) = delete;
  THtmlParser& operator=(const THtmlParser&) = delete;
  ~THtmlParser();

  // Reads from the start of the buffer up to the first HTML, HEAD or BODY tag: true unless a
  // document-type declaration names a standard HTML 4.01 or XHTML type (or is <!DOCTYPE html>).
  // The reading position is left as it was.
  bool ShouldUseQuirksMode();

  // The next symbol into Sy, with Attributes, TagValue and TextToken.
  void Next();
  // The next character into Ch, past comments and server markup, line ends as one CR.
  void NextCh();
  void SkipWhiteSpace();
  // Ch is '&': the text of the character reference, or its source text when it is none.
  std::u16string GetEntity(int codePage);
  // Skips (or collects) raw content up to endTag (lower case, "</name") and past its '>'. A '>'
  // at Ch (where a SCRIPT or STYLE tag leaves it) is not content.
  // start and end, when given, receive the source positions where the content begins and ends.
  // With entities, the collected content has its character references expanded: it is text that
  // the user reads, not code handed on as written.
  void ReadRawContent(const std::u16string& endTag, std::u16string* content, int* start = nullptr,
                      int* end = nullptr, bool entities = false);
  // The content of a SCRIPT or STYLE start tag is left unread (Ch is its '>') for the builder's
  // reader. Content that no reader took when Next is called goes to OnRawContent (the builder's
  // readers; never in the first pass) or is skipped: it is never read as markup or page text.
  std::function<void(Symb sy)> OnRawContent;
  // A reader that does not go through NextCh says it has taken the content.
  void TakeRawContent() { rawPending_ = NoSymbol; }

  THtmlParserHost& Host() { return *host_; }
  TBuffer& CurrentBuffer() { return *Doc; }
  // Buffers suspended by include commands.
  int IncludeDepth() const { return static_cast<int>(DocStack.size()); }

  int TitleStart = -1, TitleEnd = -1;
  std::u16string Title;  // the title's text as the user reads it
  std::u16string Base, BaseTarget;
  char16_t Ch = 0;  // 0 only at the end of the input
  uint8_t LineEndState = 0;  // 0 ordinary, 1 after CR, 2 after LF
  int TagValue = 0;          // the level of a heading tag
  TokenObj TextToken;
  Symb Sy = NoSymbol;
  TAttributeList Attributes;
  int TagPos = 0;
  bool InComment = false;
  bool NoMarkup = false;
  bool PreScan = false;
  bool QuirksMode = false;
  int64_t CharsRead = 0;

  // Called for "<!--#command name=value ... -->": params holds one "name=value" line per
  // attribute, each ended by CR LF; text put into included is read before what follows. Once per
  // command: what it gave while PreScan was set serves the same command read again later.
  TIncludeEvent OnInclude;
  QObject* CallingObject = nullptr;

  // Include commands nest no deeper.
  static constexpr int MaxIncludeDepth = 16;

private:
  void SetSourcePos(int pos) {
    if (sourcePos_)
      *sourcePos_ = pos;
    else
      host_->SetSourcePos(pos);
  }
  int SourcePos() const { return sourcePos_ ? *sourcePos_ : host_->SourcePos(); }
  char16_t ReadSourceChar();
  // A character read from the page: progress is reported every 4096 of them and at the end.
  void CountChar(char16_t c);
  // What NextCh does, when the next character is an ASCII one of the page itself that ends no
  // line and opens no markup (most characters are): false, nothing read, otherwise.
  bool NextAsciiCh();
  char16_t GetCh();
  void SkipComment();
  void DoInclude();
  void GetTag();
  bool GetAttribute(Symb& sym, double& value, std::u16string& name, std::u16string& text);
  // An attribute's value from its opening quote to its closing one (or the end), entities decoded
  // and each CR (the reader's line end) given as lineEnd.
  void ReadQuotedValue(std::u16string& out, std::u16string_view lineEnd);
  // An unquoted value up to one of stops (or the end), entities decoded.
  void ReadBareValue(std::u16string& out, std::u16string_view stops);
  void GetText();
  std::u16string CodeToText(uint32_t code, bool numeric, int codePage);
  bool ReadIdentifier(std::u16string& word);

  TBuffer* Doc;
  std::vector<TBuffer*> DocStack;
  std::vector<std::unique_ptr<TBuffer>> included_;
  // What the handler gave in the first pass, by command and parameters, in the order asked.
  std::multimap<std::u16string, std::u16string> includeReplies_;
  std::unique_ptr<TParserHost> ownHost_;
  THtmlParserHost* host_;
  int* sourcePos_ = nullptr;  // the host's SourcePosField
  bool hasDocument_ = false;  // the host's HasDocument, asked once
  TCharCollection text_;
  std::u16string word_;
  std::u16string attrName_, attrValue_;
  std::string number_;
  int cachedCodePage_ = 0x7FFFFFFF;
  Symb rawPending_ = NoSymbol;
  std::array<char16_t, 33> cachedControls_{};
};

// The number an attribute's text gives: trimmed, a trailing "%" or "*" dropped ("*" alone is 1),
// read as a decimal number when it starts with a sign, "." or a digit, held to 32 bits and
// rounded half away from zero; fallback when there is no number.
double AttributeNumber(const std::u16string& text, double fallback);

}  // namespace htmlview
