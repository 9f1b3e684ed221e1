#pragma once
// The document builder: the symbols of the tokenizer become the document's sections. This unit
// holds the builder's state and the builders of inline content (text, character formatting,
// fonts, links and anchors, images, breaks, rules), of paragraphs, headings and lists, of block
// containers and of preformatted text, and the raw content readers of scripts, select lists,
// text areas and image maps. The parse entries and the top-level loop (HtmlParse) derive from it.
#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlShared.h"
#include "htmlview/markup/HtmlBase.h"
#include "htmlview/markup/HtmlSymbols.h"
#include "htmlview/parse/ReadHTML.h"

class QObject;

namespace htmlview {

class ThtDocument;
class TCellBasic;
class TSectionBase;
class TSection;
class TBlock;
class TBlockLI;
class TBodyBlock;
class TMapItem;
class TProperties;
class THtmlPropStack;
class TFormControlObj;

// A set of symbols at which a builder's content loop returns without consuming the symbol.
using TSymbSet = std::bitset<SymbolCount>;
TSymbSet SymbSet(std::initializer_list<Symb> symbols);

// The sets the builders share, each made on first use.
// Character formatting that takes a property set of its own (B, I, EM ... SPAN, LABEL); its end tags.
const TSymbSet& PhraseSymbols();
const TSymbSet& PhraseEndSymbols();
// SUB, SUP, BIG and SMALL change the line's metrics; their end tags.
const TSymbSet& SizeSymbols();
const TSymbSet& SizeEndSymbols();
// What every content loop reads as text: the four sets above, text, fonts, links, NOBR, objects
// and text areas with their end tags, and breaks, images, inputs, selects, BASEFONT, panels, WBR
// and SCRIPT.
const TSymbSet& InlineSymbols();
// The top level's and a list's text: inline content with headings, rules, PRE, tables, maps and
// page breaks.
const TSymbSet& TextLevelSymbols();
// OL, UL, DIR, MENU and DL.
const TSymbSet& ListSymbols();
// DIV and the HTML5 sectioning elements.
const TSymbSet& SectioningSymbols();
// The block containers a list item holds: the sectioning ones, ADDRESS, BLOCKQUOTE, CENTER,
// FIELDSET and FORM.
const TSymbSet& BlockSymbols();

using TMetaEvent = std::function<void(QObject* sender, const std::u16string& httpEq, const std::u16string& name,
                                      const std::u16string& content)>;

// The handlers a load may give the builder.
struct THtmlParseEvents {
  TLinkEvent OnLink;
  TMetaEvent OnMeta;
  TSoundRequestEvent OnSoundRequest;
  TIncludeEvent OnInclude;
  TScriptEvent OnScript;
};

// What the builder asks of the viewer that loads the page. Every operation has a default that
// suits a load without a viewer (tests, measuring).
class THtmlBuildHost {
public:
  virtual ~THtmlBuildHost() = default;
  // The object handed to the handlers as their sender.
  virtual QObject* Sender() { return nullptr; }
  virtual void Progress(int /*percent*/) {}
  // The part of the progress scale, in percent, that the parse covers.
  virtual int ParseShare() const { return 0; }
  // A linked style sheet: true when the host answers such requests itself (stream is then the
  // sheet, or nullptr when there is none); false lets the builder read the file.
  virtual bool StreamRequest(const std::u16string& /*url*/, std::unique_ptr<TStream>& /*stream*/) { return false; }
  virtual std::u16string ExpandFilename(const std::u16string& name) { return name; }
  // A META or FONT character set changed the page's character set and code page.
  virtual void CharSetChanged(int /*charSet*/, int /*codePage*/) {}
};

// The tokenizer's view of the build: source positions go to the property stack, identifiers to
// the document.
class TBuildParserHost final : public THtmlParserHost {
public:
  TBuildParserHost(ThtDocument* document, THtmlBuildHost* host) : Document(document), Host(host) {}
  void SetSourcePos(int pos) override;
  int SourcePos() const override;
  bool HasDocument() const override { return Document != nullptr; }
  int ParseShare() const override { return Host ? Host->ParseShare() : 0; }
  void Progress(int percent) override {
    if (Host) Host->Progress(percent);
  }
  int CodePage() const override;
  void AddChPosObject(const std::u16string& id, int pos) override;
  int* SourcePosField() override;

  ThtDocument* Document;
  THtmlBuildHost* Host;
};

class THtmlBuilder {
public:
  // Nesting limits: past them start tags open nothing, so that no page exhausts the stack.
  static constexpr int MaxBuildDepth = 200;
  static constexpr int MaxPropSets = 1000;

  THtmlBuilder(ThtDocument& document, TBuffer& buffer, THtmlBuildHost* host);
  virtual ~THtmlBuilder();
  THtmlBuilder(const THtmlBuilder&) = delete;
  THtmlBuilder& operator=(const THtmlBuilder&) = delete;

  THtmlParser& Parser() { return P; }

  // ---- the builders; each starts at the current symbol and stops at the first one it does not
  // consume ----
  void BuildTextLevel();
  void BuildFont(Symb element, bool inPre);
  // Where the characters were read from just before the symbol that is current now.
  struct TSourceState {
    char16_t Ch = 0;
    int Position = 0;
    int SourcePos = -1;
    uint8_t LineEndState = 0;
  };
  // An OBJECT element: with the viewer's object handler, a panel in the text (its content
  // skipped) or, refused, nothing and its content read as content; without the handler the tag is
  // passed over. state: see TSourceState.
  void BuildObject(TSourceState& state);
  void BuildBreak(const TSymbSet& stop);
  // Whether the style of the BR at hand asks for a page break before or after it.
  bool BreakAsksForPage();
  void BuildParagraph(const TSymbSet& stop);
  void BuildHeading();
  void BuildList(Symb sym, const TSymbSet& stop);
  // What consecutive items share: the block of the last item and whether its first section,
  // identified by its serial number, is still the pending one.
  struct TListItemState {
    TBlockLI* Block = nullptr;
    int64_t SectionSerial = -1;
    bool Inline = false;
  };
  void BuildListItem(TListItemState& li, Symb listSym, Symb itemSym, int listNumb, char16_t indexType, bool plain,
                     const TSymbSet& stop);
  // A TABLE element up to its end tag (HtmlTableBuild.cpp).
  void BuildTable();
  void CloseOpenLink();
  std::u16string GetAlignAttribute() const;
  void ApplyAlignAttribute();

protected:
  friend class TTableBuilder;
  // The top-level loop: the content of the body and of blocks, until a symbol of stop or the end.
  virtual void DoTopLevel(const TSymbSet& stop) = 0;
  // Block containers (DIV and its kin, FIELDSET, LEGEND, CENTER, FORM, ADDRESS, BLOCKQUOTE).
  void BuildBlock(Symb sym, const TSymbSet& stop);
  // A PRE element without WRAP, read by characters so that spaces and line ends stay.
  void BuildPreformatted();

  // The content readers.
  void DoScript();
  // The control of a SELECT or TEXTAREA start tag, its element pushed, in the current section.
  TFormControlObj* StartFormControl(const char16_t* tag);
  void DoSelect();
  void DoTextArea();
  // closingNext: the end tag is consumed by a Next (the preformatted builder reads on by
  // characters instead).
  void DoMap(bool closingNext);
  // A STYLE element's sheet into the page's style list; Ch is left at the '<' it stopped at.
  void ReadStyleSheet();
  // Applies a character set named in text to the innermost property set and the buffer; false
  // when the name is unknown. A set that has no code page is ignored.
  bool DoCharSet(const std::u16string& text);

  // Steps shared by the builders.
  void CloseSection();
  void OpenSection();
  void EnsureSection() {
    if (!Section) OpenSection();
  }
  std::unique_ptr<TSection> NewSection(TAttributeList* attributes, bool takeTextIndent, TCellBasic* cell);
  // Pushes a set for tag with the current tag's class, id, title and style; false (nothing pushed)
  // once the stack is full.
  bool PushElement(const std::u16string& tag, const std::u16string& pseudo = u"");
  void PopElement(const std::u16string& tag);
  void OpenInline(const std::u16string& tag);
  void StartInlineBox();
  void RefreshFont();
  void AddToCell(std::unique_ptr<TSectionBase> section);
  TBlock* OpenBlock(TAttributeList* attributes);
  void MoveBottomMarginOut(TBlock* block);
  void Anchor(bool next);
  void ImageOrPanel();
  void Rule();
  void AddPageBreak();
  const TUrlTarget* LinkTarget() const;

  TBuildParserHost adapter_;
  THtmlParser P;
  ThtDocument* Doc;
  THtmlPropStack& PropStack;
  THtmlBuildHost* Host;
  THtmlParseEvents Events;

  TBodyBlock* Body = nullptr;
  std::unique_ptr<TSection> Section;
  TCellBasic* SectionList = nullptr;
  std::unique_ptr<TUrlTarget> CurrentUrlTarget;
  int TableDepth = 0;
  int BaseFontSize = 3;
  int ListLevel = 0;
  bool LinkOpen = false;
  int Depth = 0;  // builders open now
  // Start tags whose set was not pushed (the stack was full): their end tags pop nothing.
  std::map<std::u16string, int> skippedPushes_;
  int64_t sectionSerial_ = 0;  // of the pending section
};

}  // namespace htmlview
