#pragma once
// A run of inline content (a paragraph's text with its images, panels and form controls): built
// character by character while the page is read, tidied when it ends, broken into lines at each
// width, painted line by line, and asked for characters, links and objects at points.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"

namespace htmlview {

class TokenObj;

// Control characters in a section's text.
inline constexpr char16_t FmCtl = 2;    // a form control
inline constexpr char16_t ImgPan = 4;   // an image or panel
inline constexpr char16_t BrkCh = 8;    // a line break

// The colours of selected text of colour text: the system's selection colours, or the text
// inverted on its own colour when those two are one colour.
void SelectionColours(TColor text, TColor& fore, TColor& ground);

// An inline box on one line: the character range it covers there and where it was drawn.
struct BorderRec {
  int BStart = 0, BEnd = 0;  // section character indices
  bool OpenStart = false, OpenEnd = false;
  TRect Box;  // window coordinates, set while the line's text is drawn
  TInlineBox Values;
  int BStartX = -1, BEndX = -1;
};

struct LineRec {
  int Start = 0;  // index of the line's first character in the section's text
  int SpaceAbove = 0, SpaceBelow = 0;
  int LineHeight = 0, LineImageHeight = 0;
  int CharCount = 0;
  int Descent = 0;
  int LineOffset = 0;  // x of the first character from the section's x
  int LineY = 0;       // document y of the line's top (space above included)
  int DrawY = 0;
  int AvailableWidth = 0;
  int Spaces = 0, Extra = 0;
  int FirstDrawIndex = -1, LastDrawIndex = -1;
  bool HasInlineBorders = false;
  bool EndsWithSoftHyphen = false;
  bool FirstLine = false;  // takes the text indent
  std::vector<BorderRec> Borders;
  int Height() const { return SpaceAbove + LineHeight + SpaceBelow; }
};

struct IndexObj {
  int Pos;    // character index where the run starts
  int Index;  // its source position
};

class TSection : public TSectionBase {
public:
  TSection(ThtDocument* owner, TCellBasic* cell, TProperties& props, const TUrlTarget* anchor,
           TAttributeList* attributes, bool takeTextIndent);
  TSection(ThtDocument* owner, TCellBasic* cell, const TSection& source);
  ~TSection() override;

  std::u16string Text;
  std::string BreakCodes;  // 'y', 'n', 's', 'a' per character
  std::vector<int> SourcePositions;
  TFontList Fonts;
  TFloatingObjList Images;
  TFormControlObjList FormControls;
  std::vector<LineRec> Lines;
  uint8_t TextAlign = 1;  // 1 left, 2 center, 3 right, 4 justify
  uint8_t ClearMode = 0;  // 1 left, 2 right, 3 both
  int DefaultLineHeight = -1;
  int TextIndent = 0;
  int TextIndentPercent = 0;
  bool BreakWord = false;
  bool HasAnchor = false;
  int MaxLineWidth = 0;
  std::vector<IndexObj> SourceIndex;
  int SectionNumber = 0;
  bool Finished = false;

  virtual bool Preformatted() const { return false; }

  // Building.
  void AddChar(char16_t ch, int sourcePos);
  void AddToken(TokenObj& token);
  void AddChars(const char16_t* chars, const int* sourcePositions, int count);
  // Convenience for builders: text whose characters come from consecutive source positions.
  void AddText(const std::u16string& text, int sourceStart);
  TImageObj* AddImage(const TAttributeList* attributes, TCellBasic* cell, int sourcePos);
  TPanelObj* AddPanel(const TAttributeList* attributes, TCellBasic* cell, int sourcePos);
  // A panel made elsewhere (an OBJECT element's) takes its place at the end of the text.
  TPanelObj* AddPanelObject(std::unique_ptr<TPanelObj> panel, int sourcePos);
  TFormControlObj* AddFormControl(const std::u16string& type, const TAttributeList* attributes, TCellBasic* cell,
                                  int sourcePos, TProperties& props);
  void AllowBreakHere();
  void ChangeFont(TProperties& props);
  // The parser's anchor start (target given) and end.
  void HRef(bool start, TProperties& props, const TUrlTarget* target);
  void Finish(int sourcePos);
  // The number of characters not yet finished (the section holds only what was added).
  int Length() const { return static_cast<int>(Text.size()); }

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  int MinWidth(TCanvas& canvas) override;
  int PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText) override;
  bool CharToPoint(int index, int& x, int& y, int& height) override;
  int CharToSource(int index) override;
  int SourceToChar(int source, bool backwards) override;
  void TextSections(std::vector<TSection*>& out) override { out.push_back(this); }
  // The source positions SourceToChar answers for: searching backwards from first on, forwards
  // below reach. False when it answers for none.
  bool SourceRange(int& first, int& reach);
  int SearchForward(int start, const std::u16string& text, bool matchCase) override;
  int SearchBackward(int start, const std::u16string& text, bool matchCase) override;
  bool CharAt(int index, char16_t& ch, TIDObject*& object) override;
  unsigned LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url, TFormControlObj*& control,
                       std::u16string& title) override;
  bool ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) override;
  void CopySelection() override;
  int TextWidth() const override { return MaxLineWidth; }
  int InkBottom() const override;
  void Unlink() override;

  // The width of count characters from start as the line would draw them.
  int FindTextWidth(int start, int count, bool ignoreTrailingBreaks);

protected:
  void RemoveChar(int index);
  int FitCount(int p, int r, int lineY, bool firstLine, TIndentManager& imgr, int& left, int& right,
               int& objectHeight);
  void CompleteLine(int p, int n, int& y, TIndentManager& imgr, bool firstLine);
  int ClearSpace(TIndentManager& imgr, int y) const;
  // The first line's indent from a left edge at x = left: a negative one takes the line no
  // further left than the page's edge.
  int FirstLineIndent(int left) const { return std::max(TextIndent, -left); }
  void BuildSourceIndex();
  void DrawLine(TCanvas& canvas, LineRec& line, int x, int windowY);
  // The top of control f's box (within its margins) on line, whose top is at lineTop.
  static int ControlTop(const LineRec& line, const TFormControlObj& f, int lineTop);
  // The document rows where line paints: its text between the spaces above and below it, or its
  // whole box when pictures, controls or inline boxes stand on it. False when it paints nothing.
  bool LineInk(const LineRec& line, int& top, int& bottom) const;
  void DrawTextRun(TCanvas& canvas, const LineRec& line, int from, int to, int& x, int baseY, bool selected);
  void FillLineBorders(LineRec& line);
  // The x (from the section's x) of character index i of line; justification included.
  int CharX(const LineRec& line, int index);
  int LineOf(int index) const;
  // The character at a document point; round: past the middle of a character means after it.
  int CharAtPoint(int x, int y, bool round, int& caretX, int& caretY, int& caretHeight, bool& inText);
  // The next image, panel or control at or after pos (the text's length when none).
  int NextObjectAt(int pos) const;

private:
  // Where run k of SourceIndex stops answering a forward search: the end of its positions, or its
  // start when it has none.
  int RunReach(size_t k, int len) const;
  // Whether the runs' reaches never fall, so that a search may halve them; known for a length.
  bool RunsInOrder();
  int orderKnownFor_ = -1;
  bool runsInOrder_ = false;
  // A float met for the first time: to its edge at the line's y (or lower, where it fits).
  void PlaceFloat(TFloatingObj& o, int lineY, TIndentManager& imgr);

  int sectionX_ = 0;
  int sectionWidth_ = 0;
  // WidthRange's figures; the least alone where only MinWidth has been asked.
  int minCache_ = -1, maxCache_ = -1;
  // The widest piece of text between two break chances.
  int WordsMinWidth();
  int lastLayoutCount_ = -1;
  int nextBreak_ = -1;
};

// Preformatted text: kept as written, never wrapped unless words may break.
class TPreFormated : public TSection {
public:
  using TSection::TSection;
  bool Preformatted() const override { return !BreakWord; }
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  void FinishPre(int sourcePos);

private:
  int measuredWidth_ = -1;
};

}  // namespace htmlview
