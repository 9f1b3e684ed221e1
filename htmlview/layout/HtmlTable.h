#pragma once
// Tables: the grid of rows and cells, its normalisation, the column widths at a given width, the
// row heights, the vertical alignment of cell contents, drawing, and printing across pages with
// the header and footer rows repeated.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlBorder.h"
#include "htmlview/layout/HtmlDocument.h"

namespace htmlview {

// The HTML standard's caps on spans, and the grid's on columns and column specifications.
inline constexpr int kMaxColSpan = 1000, kMaxRowSpan = 65534, kMaxGridCols = 1000, kMaxColSpecs = 10000;

// Vertical alignment of a cell's content.
enum TCellVAlign : uint8_t { cvNone, cvTop, cvMiddle, cvBottom, cvBaseline };

// Column types, in rising precedence order as stored: none, fixed, percentage, relative.
enum TColType : uint8_t { ctNone, ctFixed, ctPercent, ctRelative };

// Row kinds.
enum TRowKind : uint8_t { rkHead, rkBody, rkFoot };

class THtmlTable;

// A cell of the grid.
class TCellObj {
public:
  explicit TCellObj(ThtDocument* document);
  // From the cell's style and attributes; vAlign is the row's (or column's) vertical alignment.
  TCellObj(ThtDocument* document, TProperties& props, TAttributeList* attributes, TCellVAlign vAlign);
  TCellObj(ThtDocument* document, const TCellObj& source, bool withBackgrounds);

  int ColSpan = 1, RowSpan = 1;
  TSpecWidth SpecWidth, SpecHeight;
  TCellVAlign VAlign = cvMiddle;
  std::unique_ptr<TCellObjCell> Cell;
  TColor BkColor = clNone;
  std::u16string BGImageName;
  std::shared_ptr<TDocImage> BGImage;
  bool BGPending = false;
  TImageWait BGWait;
  TBackgroundPosition BGPos{};
  // Top, right, bottom, left; -1 where not given.
  std::array<int, 4> Padding{-1, -1, -1, -1};
  // Left, top, right, bottom, as the border drawing takes them.
  std::array<int, 4> BorderWidths{};
  TBorderColors BorderColors{0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0};
  TBorderStyles BorderStyles{};
  bool HasBorderStyle = false;
  bool ShowEmptyCells = false;
  bool BreakBefore = false, BreakAfter = false, BreakInside = false;
  // Padding and borders left plus right, and top plus bottom.
  int HzSpace = 0, VrSpace = 0;
  // Of the last layout: the content's height, its offset by the vertical alignment, and the sum
  // of the heights of the rows the cell covers.
  int CellHeight = 0, YIndent = 0, SpannedHeight = 0;
  // The grid column the cell starts in; -1 for a cell that lies beyond the grid's columns.
  int Col = 0;

  bool HasContent() const { return Cell && Cell->Count() > 0; }
  int PadTop() const { return std::max(Padding[0], 0); }
  int PadRight() const { return std::max(Padding[1], 0); }
  int PadBottom() const { return std::max(Padding[2], 0); }
  int PadLeft() const { return std::max(Padding[3], 0); }
  void ComputeExtras();
};

// A row: its cells left to right (entries may be nil: an empty slot of one column).
class TCellList : public TFreeList<TCellObj> {
public:
  TCellList() = default;
  TCellList(TAttributeList* attributes, TProperties& props);

  bool BreakBefore = false, BreakAfter = false, BreakInside = false;
  TCellVAlign VAlign = cvNone;
  TColor BkColor = clNone;
  std::u16string BGImageName;
  TBackgroundPosition BGPos{};
  int SpecHeight = 0;
  TRowKind RowType = rkBody;
  int RowHeight = 0;
  TCellObj* TallestCell = nullptr;
};

struct TColSpec {
  TSpecWidth Width;
  std::u16string Align;
  int VAlign = 0;
};

class TColSpecList : public TFreeList<TColSpec> {};
using TRowList = TFreeList<TCellList>;

// What a draw of a table printed across pages does: the whole table, the header rows, the first
// or a further part of the body, nothing (after the footer), or the footer rows.
enum TTablePart : uint8_t { tpWhole, tpHeader, tpFirstBody, tpNextBody, tpAfterFooter, tpFooter };
struct TTablePartRec {
  TTablePart Kind = tpWhole;
  int Start = 0, Height = 0, Reserve = 0;
};

class THtmlTable : public TSectionBase, public TTableSizing {
public:
  // The BORDER, CELLPADDING, CELLSPACING and border colour attributes; collapsed borders make
  // the spacing -1.
  THtmlTable(ThtDocument* owner, TCellBasic* ownerCell, TAttributeList* attributes, TProperties& props);
  THtmlTable(ThtDocument* owner, TCellBasic* ownerCell);
  THtmlTable(ThtDocument* owner, TCellBasic* ownerCell, const THtmlTable& source);
  ~THtmlTable() override;

  TRowList Rows;
  std::unique_ptr<TColSpecList> ColSpecs;
  int BorderWidth = 0;
  bool HasBorderAttribute = false;
  int CellPadding = 1;
  int CellSpacing = 2;
  TColor BorderColor = clNone, BorderColorLight = clBtnHighlight, BorderColorDark = clBtnShadow;
  bool HasBackground = false;
  TColor Background = clNone;
  bool Initialized = false;
  int NumCols = 0;
  int SpecWidth = 0;
  int TableWidth = 0;
  std::vector<uint8_t> ColumnType;
  std::array<int, 4> TypeCount{};
  std::vector<int> Percents, Multis, MinWidths, MaxWidths, Widths;
  std::vector<int> Heights;
  int HeadHeight = 0, HeadRowCount = 0, FootHeight = 0, FootStartRow = -1, FootOffset = 0;
  TTablePartRec PartRecord;
  int BodyBreak = 0;
  bool HeaderRepeat = false;
  // The top and bottom border widths of the table's block, for the page arithmetic when the
  // border is not the BORDER attribute's.
  int BlockBorderTop = 0, BlockBorderBottom = 0;

  // Appends min(count, what is left of the table's 10,000) column specifications.
  void AddColSpecs(int count, const TSpecWidth& width, const std::u16string& align, int vAlign);
  TCellList* AddRow(std::unique_ptr<TCellList> row) { return Rows.Add(std::move(row)); }

  // TTableSizing
  void SetSpecWidth(int width) override { SpecWidth = std::max(0, width); }
  int PercentSum() override;

  std::unique_ptr<TSectionBase> CreateCopy(ThtDocument* owner, TCellBasic* cell) const override;
  void WidthRange(TCanvas& canvas, int& minWidth, int& maxWidth) override;
  int Layout(TCanvas& canvas, int x, int y, int width, int availableHeight, int blockHeight, int xRef, int yRef,
             TIndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(TCanvas& canvas, const TRect& clip, int clipWidth, int x, int xRef, int yRef) override;

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
  void CopySelection() override;

  // The grid made regular (once): spans clipped, columns counted.
  void Initialize();
  // The minimum and maximum widths per column.
  void GetMinMaxWidths(TCanvas& canvas);
  // The column widths for a width that includes the cell spacing.
  void FindColumnWidths(TCanvas& canvas, int width);
  // The row heights for the height available (including the cell spacing).
  void FindRowHeights(TCanvas& canvas, int availableHeight);
  // The x of each column's left edge relative to the table's, NumCols + 1 entries.
  const std::vector<int>& ColumnLefts() const { return colLefts_; }
  // The y of each row's top, of the last layout; Rows.Count() + 1 entries.
  const std::vector<int>& RowTops() const { return rowTops_; }
  int DrawX() const { return drawX_; }

private:
  // Cells in the grid, in row order, each with its row index.
  struct TPlaced {
    TCellObj* Cell;
    int Row;
  };
  std::vector<TPlaced> Placed() const;
  // NumCols columns, each without a type, percentage, share or width range.
  void ClearColumns();
  int CellContentWidth(const TCellObj& cell) const;
  // Lays the rows out from y: heights, positions, alignment. Returns the table's height.
  int PlaceRows(TCanvas& canvas, int y, int& curs);
  void DrawCell(TCanvas& canvas, const TRect& clip, TCellObj& cell, int x, int y);
  // Draws rows first..last at their positions; while printing, stops at the page bottom (which a
  // row that does not fit moves up to its own top). Returns the bottom drawn.
  int DrawRows(TCanvas& canvas, const TRect& clip, int first, int last, int x, int yShift);
  int DrawInParts(TCanvas& canvas, const TRect& clip, int x);
  int TopBorder() const { return HasBorderAttribute ? BorderWidth : BlockBorderTop; }
  int BottomBorder() const { return HasBorderAttribute ? BorderWidth : BlockBorderBottom; }

  std::vector<int> colLefts_, rowTops_;
  std::vector<int> heightWidths_;  // the widths the heights were found for
  bool heightsFound_ = false;
  // The column ranges were found since the last layout, with these measurers (canvas, fonts).
  bool minMaxFresh_ = false;
  std::pair<const TTextMeasurer*, const TTextMeasurer*> minMaxMeasurers_{};
  int drawX_ = 0;
};

}  // namespace htmlview
