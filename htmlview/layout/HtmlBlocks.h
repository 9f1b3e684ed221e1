#pragma once
// Blocks: sections that wrap a cell of their own in margins, borders and padding, may float or be
// positioned, and carry their style; the page body, list items with their markers and rules; and
// the background tiles that blocks and table cells share.
#include <QImage>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/markup/HtmlBase.h"
#include "htmlview/style/StyleUn.h"

namespace htmlview {

class TBlock;
using TBorderColorArray = std::array<TColor, 4>;  // left, top, right, bottom

// The cell inside a block.
class TBlockCell : public TCellBasic {
public:
  TBlockCell(ThtDocument* document, TBlock* ownerBlock) : TCellBasic(document), OwnerBlock(ownerBlock) {}
  TBlockCell(ThtDocument* document, TBlock* ownerBlock, const TBlockCell& source)
      : TCellBasic(document, source), OwnerBlock(ownerBlock) {}
  TBlock* OwnerBlock;
  // The block reports the full width it was given rather than its widest line.
  bool TakesWidth = false;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             int& scrollWidth, int& curs) override;
};

enum TFloatStyle : uint8_t { flNone, flLeft, flRight };
enum TClearStyle : uint8_t { clrNone, clrLeft, clrRight, clrBoth };
enum TPositionType : uint8_t { posStatic, posRelative, posAbsolute, posFixed };
enum TJustify : uint8_t { jLeft, jCentre, jRight };

// Where the copies of a background image stand on one axis: from Start, stepping by the drawn
// copy's size, while below End.
struct TTileAxis {
  int Start = 0, End = 0;
};
struct TTileGrid {
  TTileAxis X, Y;
  int TileWidth = 0, TileHeight = 0;  // the drawn copy (a side of 1 pixel enlarged)
  bool Empty() const { return X.Start >= X.End || Y.Start >= Y.End || TileWidth <= 0 || TileHeight <= 0; }
};
// The copies of an image of iw x ih placed by pos over an area of w x h.
TTileGrid BackgroundTileGrid(int w, int h, int iw, int ih, const TBackgroundPosition& pos);
// Draws the copies of image that fall in rows bandTop..bandBottom - 1 (window coordinates) of box.
void DrawBackgroundTiles(TCanvas& canvas, const QImage& image, const TTileGrid& grid, const TRect& box, int bandTop,
                         int bandBottom);

class TBlock : public TSectionBase {
public:
  TBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes)
      : TBlock(owner, ownerCell, props, attributes, true) {}
  TBlock(ThtDocument* owner, TCellBasic* ownerCell, const TBlock& source);
  ~TBlock() override;

  std::unique_ptr<TBlockCell> MyCell;
  std::u16string TagClass;  // tag "." class "#" id
  std::u16string Title;
  TMarginArray MargArray{};
  TVMarArray MargArrayO{};
  int EmSize = 0, ExSize = 0;
  bool HasBorderStyle = false;
  TFloatStyle Floating = flNone;
  TClearStyle Clear = clrNone;
  TPositionType Positioning = posStatic;
  int Visibility = 2;  // 1 hidden
  bool BreakBefore = false, BreakAfter = false, BreakInside = false;
  bool HideOverflow = false;
  TJustify Justification = jLeft;
  TColor BkColor = clNone;
  // The background image, made only for a block that names one: few do.
  struct TBackground {
    std::u16string Name;
    TBackgroundPosition Pos{};
    std::shared_ptr<TDocImage> Image;
    bool Pending = false;
    bool TilesNeeded = false;
    TImageWait Wait;
  };
  std::unique_ptr<TBackground> BGImage;
  bool TopAuto = false, BottomAuto = false;  // the paragraph default margins
  // Sections of the cell in drawing order (by z-index).
  std::vector<TSectionBase*> DrawList;
  std::unique_ptr<TIndentManager> OwnIMgr;  // floats and positioned blocks
  // After layout: the block's box in document coordinates and its content width.
  int BlockX = 0, BlockTop = 0, ContentLeft = 0, NewWidth = 0, BlockBottom = 0;
  TRect MyRect;  // the border box of the last drawing, document coordinates

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  bool CharToPoint(int index, int& x, int& y, int& height) override;
  int PointToChar(TCanvas& canvas, int x, int y, int& caretX, int& caretY, int& caretHeight, bool& inText) override;
  int SourceToChar(int source, bool backwards) override;
  int CharToSource(int index) override;
  void TextSections(std::vector<TSection*>& out) override;
  int SearchForward(int start, const std::u16string& text, bool matchCase) override;
  int SearchBackward(int start, const std::u16string& text, bool matchCase) override;
  bool CharAt(int index, char16_t& ch, TIDObject*& object) override;
  unsigned LinkAtPoint(TCanvas& canvas, int x, int y, std::unique_ptr<TUrlTarget>& url, TFormControlObj*& control,
                       std::u16string& title) override;
  bool ObjectAtPoint(int x, int y, TFloatingObj*& object, int& objX, int& objY) override;
  void RegisterPosition() override;
  void CopySelection() override;
  bool IsAbsolutelyPositioned() const override { return Positioning == posAbsolute || Positioning == posFixed; }
  bool OutOfFlow() const override { return Floating != flNone || IsAbsolutelyPositioned(); }
  bool CheckLastBottomMargin() override;
  int InkBottom() const override;

  bool Hidden() const { return Display == pdNone; }
  // The content width for the available width; resolves auto margins in MargArray.
  virtual int FindWidth(TCanvas& canvas, int availableWidth, int availableHeight, int autoCount);

protected:
  // Table blocks keep their margins as given: collapseMargins false.
  TBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
         bool collapseMargins);
  // The border colours as drawn (table borders replace the button colours).
  virtual void AdjustBorderColors(TBorderColorArray& /*colors*/) const {}
  // The margins and sizes for the available room.
  void ConvertMargins(int baseWidth, int baseHeight, int& autoCount);
  void ConvertMarginsTo(TMarginArray& m, int baseWidth, int baseHeight, int& autoCount);
  // While printing: moves the page's end for the block's page-break properties.
  void AdjustPageBreak(int yOffset);
  // Whether the block's own box paints on paper: a border, or a background that is printed.
  bool PaintsBox() const;
  bool HasPositionedContent() const;
  void CollapseMargins();
  // The content, in z-index order, at window x.
  int DrawContent(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef);
  int DrawContentClipped(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef);
  void DrawBackground(TCanvas& canvas, const TRect& clip, const TRect& paddingBox);
  void LoadBackgroundImage();
  void BuildDrawList();
  // The x shift between where the block was laid out and where it is drawn.
  int layoutX_ = 0;
  int leftOffset_ = 0, topOffset_ = 0;  // relative and absolute positioning
  int autoCount_ = 0;
  bool positionedInside_ = false;  // positioned content somewhere inside
};

// The page body: never positioned; its background is the page's.
class TBodyBlock : public TBlock {
public:
  TBodyBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes);
  TBodyBlock(ThtDocument* owner, TCellBasic* ownerCell, const TBodyBlock& source) : TBlock(owner, ownerCell, source) {}
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
};

enum TListStyle : uint8_t {
  lbBlank, lbCircle, lbDecimal, lbDisc, lbLowerAlpha, lbLowerRoman, lbNone, lbSquare, lbUpperAlpha, lbUpperRoman
};

// The text of a list marker, full stop included; empty for the drawn markers and none.
std::u16string ListMarkerText(TListStyle style, int number);

// A list item: a block with a marker left of its first line.
class TBlockLI : public TBlock {
public:
  // listType: OlSy, UlSy, DirSy, MenuSy, DlSy, or LiSy for an item outside any list.
  TBlockLI(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes, Symb listType,
           int nestLevel, bool plain, int listNumb);
  TBlockLI(ThtDocument* owner, TCellBasic* ownerCell, const TBlockLI& source);

  Symb ListType;
  int ListNumb;
  TListStyle ListStyleType = lbDisc;
  TMyFont ListFont;
  TColor ListColor = clBlack;
  // The marker's picture, made only for an item that names one.
  struct TListImage {
    std::u16string Name;
    std::shared_ptr<TDocImage> Image;
    TImageWait Wait;
  };
  std::unique_ptr<TListImage> ListImage;
  // The first line's baseline from the content top (-1: no line).
  int FirstLineBaseline = -1;

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;
  bool CheckLastBottomMargin() override;
  int InkBottom() const override;

  // Draws the marker for a first baseline at window (x, y), x being the content's left edge.
  void DrawMarker(TCanvas& canvas, int x, int y);
};

// A rule wrapped as a block so that it takes margins and alignment.
class THRBlock : public TBlock {
public:
  using TBlock::TBlock;
  THRBlock(ThtDocument* owner, TCellBasic* ownerCell, const THRBlock& source)
      : TBlock(owner, ownerCell, source), Align(source.Align) {}
  TJustify Align = jCentre;
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  int FindWidth(TCanvas& canvas, int availableWidth, int availableHeight, int autoCount) override;
};

// What a table block asks of its table beyond the section operations; the table section
// implements it.
class TTableSizing {
public:
  virtual ~TTableSizing() = default;
  // The width the table is to take in pixels (0: none), given before it is measured.
  virtual void SetSpecWidth(int width) = 0;
  // The sum of its columns' percentage widths in tenths of a percent (0 when none).
  virtual int PercentSum() = 0;
};

class TTableAndCaptionBlock;

// The block that places a table: margins, alignment and the TABLE element's sizes.
class TTableBlock : public TBlock {
public:
  // table: the table section (it joins the block's cell afterwards); may implement TTableSizing.
  TTableBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
              TSectionBase* table);
  TTableBlock(ThtDocument* owner, TCellBasic* ownerCell, const TTableBlock& source);

  TSectionBase* Table;
  int WidthAttr = 0;  // pixels, or tenths of a percent when AsPercent
  bool AsPercent = false;
  int HSpace = 0, VSpace = 0;
  TColor BGColorAttr = clNone;  // BGCOLOR, painted by the table itself unless there is a background image
  bool HasBGColorAttr = false;
  bool InCaptionBlock = false;
  bool BorderFromAttribute = false;  // the colours are the BORDER attribute's button colours
  int TableIndent = 0;  // shift right to the floats' edge, applied when drawing

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  int FindWidth(TCanvas& canvas, int availableWidth, int availableHeight, int autoCount) override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;

  // Whether the border colours are drawn for a monochrome printer.

protected:
  void AdjustBorderColors(TBorderColorArray& colors) const override;

private:
  TTableSizing* Sizing() const { return dynamic_cast<TTableSizing*>(Table); }
  void TableRange(TCanvas& canvas, int& minWidth, int& maxWidth);
};

// A table with its caption: the caption block and the table block, one above the other.
class TTableAndCaptionBlock : public TBlock {
public:
  TTableAndCaptionBlock(ThtDocument* owner, TCellBasic* ownerCell, TProperties& props, TAttributeList* attributes,
                        TTableBlock* tableBlock);
  TTableAndCaptionBlock(ThtDocument* owner, TCellBasic* ownerCell, const TTableAndCaptionBlock& source);

  bool TopCaption = true;
  TBlock* CaptionBlock = nullptr;
  TTableBlock* TableBlock;
  std::u16string TableID;

  // Takes caption as the caption; the table block is then wrapped.
  void SetCaptionBlock(TBlock* caption);
  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  int FindWidth(TCanvas& canvas, int availableWidth, int availableHeight, int autoCount) override;
};

}  // namespace htmlview
