#include "htmlview/parse/HtmlTableBuild.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlBorder.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlTable.h"
#include "htmlview/layout/HtmlTableCells.h"
#include "htmlview/style/StyleUn.h"

namespace htmlview {

namespace {

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

bool Contains(const std::u16string& s, char16_t c) { return s.find(c) != std::u16string::npos; }

// The codes of column specifications and VALIGN (1 top, 2 middle, 3 baseline, 4 bottom) as the
// cell takes them.
TCellVAlign CellVAlignOf(int code) {
  switch (code) {
    case 1: return cvTop;
    case 2: return cvMiddle;
    case 3: return cvBaseline;
    case 4: return cvBottom;
    default: return cvNone;
  }
}

bool Unset(const TPropValue& v) {
  if (std::holds_alternative<std::monostate>(v)) return true;
  const int* i = std::get_if<int>(&v);
  return i && *i == IntNull;
}

}  // namespace

const TSymbSet& TableStopSet() {
  static const TSymbSet set =
      SymbSet({TableEndSy, TdSy, TdEndSy, TrSy, TrEndSy, ThSy, ThEndSy, CaptionSy, CaptionEndSy, ColSy, ColgroupSy,
               TheadSy, TbodySy, TfootSy, TheadEndSy, TbodyEndSy, TfootEndSy});
  return set;
}

int TableAlignCode(const std::u16string& word) {
  const std::u16string w = Lower(word);
  if (w == u"top") return 1;
  if (w == u"middle" || w == u"absmiddle" || w == u"center") return 2;
  if (w == u"baseline") return 3;
  if (w == u"bottom") return 4;
  if (w == u"left") return 5;
  if (w == u"right") return 6;
  if (w == u"justify") return 7;
  return 0;
}

// The state of one table build: the table and its blocks while they are read, the open row and
// cell, the held-back footer rows and the property-stack levels of row group, row and cell.
class TTableBuilder {
public:
  explicit TTableBuilder(THtmlBuilder& builder)
      : B(builder), P(builder.P), PS(builder.PropStack), Doc(builder.Doc) {}

  void Build();

private:
  int TopIndex() const { return static_cast<int>(PS.size()) - 1; }
  // Pops the sets opened above level, never the table's own set nor anything below it (an end
  // tag inside a cell may have taken a set out from under the recorded levels).
  void PopAbove(int level) {
    while (TopIndex() > level && TopIndex() > 0 && &PS.Last() != tableSet_) PS.PopProperties();
  }
  // The row being built, counted in reading order: held-back footer rows count where they stood.
  int RowIndex() const { return table_->Rows.Count() + static_cast<int>(footerRows_.size()); }

  void Dispatch();
  void StartCell();
  void EndCell();
  void EndRow();
  void StartRow();
  void RowGroup();
  void Caption();
  void Misplaced();
  void ReadColumns();
  void ReadColumnAttributes(TSpecWidth& width, std::u16string& align, int& vAlign, int& span);
  int VAlignAttribute(int byDefault) const;
  void ApplyBorderDefaults(TProperties& cellSet);
  void Finish();
  // The open cell joins the open row (made when there is none).
  void AddCellToRow();
  // The open row joins the table (a footer row waits for the table's end), unless it is hidden;
  // no row is open after.
  void PlaceRow();

  THtmlBuilder& B;
  THtmlParser& P;
  THtmlPropStack& PS;
  ThtDocument* Doc;

  std::unique_ptr<THtmlTable> ownedTable_;
  THtmlTable* table_ = nullptr;
  std::unique_ptr<TTableBlock> tableBlock_;
  std::unique_ptr<TTableAndCaptionBlock> wrapper_;
  std::unique_ptr<TBlock> captionBlock_;
  bool topCaption_ = true;
  std::unique_ptr<TCellList> row_;
  std::unique_ptr<TCellObj> cell_;
  std::unique_ptr<TCellManager> manager_;
  std::vector<std::unique_ptr<TCellList>> footerRows_;
  TCellBasic* outerList_ = nullptr;
  TJustify outerAlign_ = jLeft;
  bool outerAligned_ = false;
  int rowLevel_ = 0;
  int groupLevel_ = 9999999;
  TRowKind rowKind_ = rkBody;
  int rowDisplay_ = 0;
  int rowVAlign_ = 2;
  bool columnsAllowed_ = true;
  bool savedNoBreak_ = false;
  int savedListLevel_ = 0;
  bool tablePushed_ = false;
  TProperties* tableSet_ = nullptr;
  std::u16string tableId_;
  // The table's border, as the cells take their defaults from it.
  bool borderAttribute_ = false;
  int borderAttributeWidth_ = 0;
  bool styleBorderWidth_ = false;
  std::array<int, 4> tableBorderStyles_{};  // top, right, bottom, left
  TColor borderColor_ = clNone;
};

void THtmlBuilder::BuildTable() {
  if (TableDepth >= kMaxTableDepth) {
    // Too deep: the tag is passed over, and its rows and cells reach the enclosing table.
    P.Next();
    return;
  }
  TTableBuilder(*this).Build();
}

void TTableBuilder::Build() {
  ++B.TableDepth;
  if (B.LinkOpen) B.CloseOpenLink();
  B.CloseSection();
  B.Section.reset();
  outerList_ = B.SectionList;
  savedNoBreak_ = Doc->NoBreak;
  savedListLevel_ = B.ListLevel;
  B.SectionList = nullptr;
  {
    const std::u16string align = PS.Last().Text(TextAlign);
    if (align == u"center") {
      outerAlign_ = jCentre;
      outerAligned_ = true;
    } else if (align == u"right") {
      outerAlign_ = jRight;
      outerAligned_ = true;
    }
  }
  tableId_ = P.Attributes.TheID();
  tablePushed_ = B.PushElement(u"table");
  tableSet_ = &PS.Last();
  TProperties& set = PS.Last();

  ownedTable_ = std::make_unique<THtmlTable>(Doc, nullptr, &P.Attributes, set);
  table_ = ownedTable_.get();
  tableBlock_ = std::make_unique<TTableBlock>(Doc, outerList_, set, &P.Attributes, table_);
  // A table that is not aligned itself follows the alignment of the text around it.
  if (outerAligned_ && tableBlock_->Justification != jCentre && tableBlock_->Floating == flNone)
    tableBlock_->Justification = outerAlign_;
  tableBlock_->MyCell->AddSection(std::move(ownedTable_));
  wrapper_ = std::make_unique<TTableAndCaptionBlock>(Doc, outerList_, set, &P.Attributes, tableBlock_.get());

  // The table paints a BGCOLOR itself (behind its cells) unless a background image is drawn.
  if (tableBlock_->HasBGColorAttr && !tableBlock_->BGImage) {
    table_->HasBackground = true;
    table_->Background = tableBlock_->BGColorAttr;
  }
  for (const auto& a : P.Attributes) {
    if (a->Which == BorderSy) {
      // The attribute's own width: a border from the style replaces it in the table, not here.
      borderAttribute_ = true;
      borderAttributeWidth_ = WideTrim(a->Name).empty() ? 1 : a->Value;
    } else if (a->Which == BordercolorSy) {
      borderColor_ = table_->BorderColor;
    }
  }
  styleBorderWidth_ = set.HasBorderWidth();
  for (int k = 0; k < 4; ++k) tableBorderStyles_[static_cast<size_t>(k)] = set.GetBorderStyle(BorderTopStyle + k);
  // The page arithmetic of a table printed in parts needs the block's own border when it is not
  // the BORDER attribute's.
  if (!table_->HasBorderAttribute || set.HasBorderStyle()) {
    TMarginArray m{};
    int autoCount = 0;
    set.ConvMargArray(0, 0, 0, set.EmSize, set.ExSize, m, autoCount);
    auto width = [&](int widthIndex, int styleIndex) {
      const int w = m[static_cast<size_t>(widthIndex)];
      return set.GetBorderStyle(styleIndex) == bssNone || w == IntNull || w == Auto ? 0 : std::max(0, w);
    };
    table_->BlockBorderTop = width(BorderTopWidth, BorderTopStyle);
    table_->BlockBorderBottom = width(BorderBottomWidth, BorderBottomStyle);
  }

  rowLevel_ = TopIndex();
  try {
    P.Next();
    while (P.Sy != TableEndSy && P.Sy != EofSymbol && P.Sy != CaptionEndSy) Dispatch();
    if (B.LinkOpen) B.CloseOpenLink();
    EndCell();
    EndRow();
    PopAbove(groupLevel_);
  } catch (...) {
    // What was built is placed all the same: no row is lost, and the parser's state is restored
    // for the caller.
    B.Section.reset();
    if (cell_) AddCellToRow();
    PlaceRow();
    Finish();
    throw;
  }
  Finish();
  P.Next();
}

void TTableBuilder::Finish() {
  for (auto& footer : footerRows_) table_->AddRow(std::move(footer));
  footerRows_.clear();
  B.SectionList = outerList_;
  if (captionBlock_) {
    TBlock* caption = captionBlock_.get();
    TTableBlock* tableBlock = tableBlock_.get();
    wrapper_->TopCaption = topCaption_;
    wrapper_->SetCaptionBlock(caption);
    if (topCaption_) {
      wrapper_->MyCell->AddSection(std::move(captionBlock_));
      wrapper_->MyCell->AddSection(std::move(tableBlock_));
    } else {
      wrapper_->MyCell->AddSection(std::move(tableBlock_));
      wrapper_->MyCell->AddSection(std::move(captionBlock_));
    }
    tableBlock->OwnerCell = wrapper_->MyCell.get();
    if (outerList_) outerList_->AddSection(std::move(wrapper_));
  } else {
    if (!tableId_.empty()) Doc->IdentifierList.AddObject(tableId_, tableBlock_.get());
    wrapper_.reset();
    if (outerList_) outerList_->AddSection(std::move(tableBlock_));
  }
  // The sets of rows, groups and cells that are still open go with the table's own.
  PopAbove(rowLevel_);
  if (tablePushed_) {
    if (&PS.Last() == tableSet_)
      PS.PopProperties();
    else
      PS.PopElement(u"table");
  } else {
    B.PopElement(u"table");
  }
  Doc->NoBreak = savedNoBreak_;
  B.ListLevel = savedListLevel_;
  --B.TableDepth;
  manager_.reset();
}

void TTableBuilder::Dispatch() {
  switch (P.Sy) {
    case TdSy:
    case ThSy:
      StartCell();
      return;
    case TdEndSy:
    case ThEndSy:
      // The cell's set stays open until the next cell or the end of the row.
      EndCell();
      P.Next();
      return;
    case TrSy:
      StartRow();
      return;
    case TrEndSy:
      EndRow();
      P.Next();
      return;
    case CaptionSy:
      Caption();
      return;
    case ColSy:
    case ColgroupSy:
      ReadColumns();
      if (!manager_ && table_->ColSpecs && table_->ColSpecs->Count() > 0)
        manager_ = std::make_unique<TCellManager>(table_);
      return;
    case TheadSy:
    case TbodySy:
    case TfootSy:
    case TheadEndSy:
    case TbodyEndSy:
    case TfootEndSy:
      RowGroup();
      return;
    case UnknownTagSymbol:
      P.Next();
      return;
    case TextSymbol:
      if (P.TextToken.Leng == 1 && P.TextToken.C[0] == u' ') {
        P.Next();
        return;
      }
      break;
    default:
      break;
  }
  Misplaced();
}

void TTableBuilder::StartCell() {
  columnsAllowed_ = false;
  if (B.LinkOpen) B.CloseOpenLink();
  B.ListLevel = 0;  // lists in a cell start again at the first level
  if (!row_) {
    rowVAlign_ = 2;
    rowLevel_ = TopIndex();
    if (static_cast<int>(PS.size()) < THtmlBuilder::MaxPropSets)
      PS.PushProperties(u"tr", u"", u"", u"", u"", static_cast<const TProperties*>(nullptr));
    rowDisplay_ = PS.Last().GetDisplay();
    row_ = std::make_unique<TCellList>(nullptr, PS.Last());
  } else {
    EndCell();
    PopAbove(rowLevel_ + 1);
  }
  const bool th = P.Sy == ThSy;
  const bool pushed = B.PushElement(th ? u"th" : u"td");
  // Without a set of its own (the stack is full) the cell changes nothing in the one it shares.
  TProperties scratch(false);
  TProperties& set = pushed ? PS.Last() : scratch;
  int vAlign = VAlignAttribute(rowVAlign_);
  if (manager_) {
    const int c = manager_->FindColNum(RowIndex());
    if (c >= 0 && c < table_->ColSpecs->Count()) {
      const TColSpec& spec = *(*table_->ColSpecs)[c];
      if (!spec.Align.empty()) set.AssignProp(TextAlign, spec.Align);
      if (spec.VAlign != 0) vAlign = spec.VAlign;
    }
  }
  if (pushed) B.ApplyAlignAttribute();
  if (pushed && set.Text(TextAlign) == u"none") set.AssignProp(TextAlign, std::u16string(th ? u"center" : u"left"));
  if (pushed) ApplyBorderDefaults(set);
  cell_ = std::make_unique<TCellObj>(Doc, pushed ? set : PS.Last(), &P.Attributes, CellVAlignOf(vAlign));
  B.SectionList = cell_->Cell.get();
  // NOWRAP holds unless the cell has a fixed width in pixels.
  const bool fixedWidth = cell_->SpecWidth.VType == wtAbsolute && cell_->SpecWidth.Value != 0;
  Doc->NoBreak = P.Attributes.Find(NowrapSy) != nullptr && !fixedWidth;
  P.SkipWhiteSpace();
  P.Next();
  B.DoTopLevel(TableStopSet());
}

void TTableBuilder::ApplyBorderDefaults(TProperties& set) {
  for (int k = 0; k < 4; ++k) {
    const int index = BorderTopStyle + k;
    if (!Unset(set.Props[static_cast<size_t>(index)])) continue;
    int style = tableBorderStyles_[static_cast<size_t>(k)];
    // An inset table has outset cells and an outset table inset ones.
    if (style == bssInset)
      style = bssOutset;
    else if (style == bssOutset)
      style = bssInset;
    set.AssignProp(index, style);
  }
  int width = -1;
  if (borderAttribute_ && borderAttributeWidth_ > 0)
    width = 1;
  else if (!borderAttribute_ && !styleBorderWidth_)
    width = 3;
  for (int k = 0; k < 4; ++k) {
    const int index = BorderTopWidth + k;
    if (width >= 0 && Unset(set.Props[static_cast<size_t>(index)])) set.AssignProp(index, width);
    const int colorIndex = BorderTopColor + k;
    if (borderColor_ != clNone && Unset(set.Props[static_cast<size_t>(colorIndex)]))
      set.AssignProp(colorIndex, static_cast<int>(borderColor_));
  }
}

void TTableBuilder::EndCell() {
  if (!B.SectionList) return;
  B.CloseSection();
  B.Section.reset();
  if (cell_ && B.SectionList == cell_->Cell.get()) {
    cell_->Cell->CheckLastBottomMargin();
    TCellObj& cell = *cell_;
    AddCellToRow();
    if (manager_) manager_->AddCell(RowIndex(), cell);
  }
  cell_.reset();
  B.SectionList = nullptr;
}

void TTableBuilder::EndRow() {
  if (B.LinkOpen) B.CloseOpenLink();
  if (!row_) return;
  EndCell();
  PlaceRow();
  PopAbove(rowLevel_);
}

void TTableBuilder::AddCellToRow() {
  if (!row_) row_ = std::make_unique<TCellList>();
  row_->Add(std::move(cell_));
}

void TTableBuilder::PlaceRow() {
  if (row_ && rowDisplay_ != pdNone) {
    row_->RowType = rowKind_;
    if (rowKind_ == rkFoot)
      footerRows_.push_back(std::move(row_));
    else
      table_->AddRow(std::move(row_));
  }
  row_.reset();
}

void TTableBuilder::StartRow() {
  EndRow();
  rowLevel_ = TopIndex();
  const bool pushed = B.PushElement(u"tr");
  rowDisplay_ = pushed ? PS.Last().GetDisplay() : 0;
  if (pushed) B.ApplyAlignAttribute();
  row_ = std::make_unique<TCellList>(&P.Attributes, PS.Last());
  rowVAlign_ = VAlignAttribute(2);
  P.Next();
}

void TTableBuilder::RowGroup() {
  EndRow();
  PopAbove(groupLevel_);
  groupLevel_ = TopIndex();
  switch (P.Sy) {
    case TheadSy:
      // Only a head group before any row repeats on printed pages; a later one is body.
      if (table_->Rows.Count() == 0) {
        rowKind_ = rkHead;
        B.PushElement(u"thead");
      } else {
        rowKind_ = rkBody;
      }
      break;
    case TbodySy:
      rowKind_ = rkBody;
      B.PushElement(u"tbody");
      break;
    case TfootSy:
      rowKind_ = rkFoot;
      B.PushElement(u"tfoot");
      break;
    default:
      rowKind_ = rkBody;
      break;
  }
  P.Next();
}

void TTableBuilder::Caption() {
  if (B.LinkOpen) B.CloseOpenLink();
  Doc->NoBreak = false;
  EndCell();
  if (const TAttribute* align = P.Attributes.Find(AlignSy)) topCaption_ = Lower(align->Name) != u"bottom";
  B.PushElement(u"caption");
  if (!captionBlock_) captionBlock_ = std::make_unique<TBlock>(Doc, outerList_, PS.Last(), &P.Attributes);
  B.SectionList = captionBlock_->MyCell.get();
  P.Next();
  B.DoTopLevel(TableStopSet());
  B.CloseSection();
  B.PopElement(u"caption");
  B.Section.reset();
  B.SectionList = nullptr;
  if (P.Sy == CaptionEndSy) P.Next();
}

void TTableBuilder::Misplaced() {
  // Content between cells is shown before the table, in the list that receives it.
  TCellBasic* keep = B.SectionList;
  B.SectionList = outerList_;
  if (!outerList_) {
    P.Next();
    B.SectionList = keep;
    return;
  }
  B.DoTopLevel(TableStopSet());
  B.CloseSection();
  B.Section.reset();
  B.SectionList = keep;
}

void TTableBuilder::ReadColumns() {
  TSpecWidth groupWidth;
  std::u16string groupAlign;
  int groupVAlign = 0, groupSpan = 1;
  if (P.Sy == ColgroupSy) {
    if (columnsAllowed_) ReadColumnAttributes(groupWidth, groupAlign, groupVAlign, groupSpan);
    P.SkipWhiteSpace();
    P.Next();
  }
  if (P.Sy != ColSy) {
    // A group without columns stands for SPAN columns.
    if (columnsAllowed_) table_->AddColSpecs(groupSpan, groupWidth, groupAlign, groupVAlign);
  } else {
    while (P.Sy == ColSy) {
      if (columnsAllowed_) {
        TSpecWidth width = groupWidth;
        std::u16string align = groupAlign;
        int vAlign = groupVAlign, span = 1;
        ReadColumnAttributes(width, align, vAlign, span);
        table_->AddColSpecs(span, width, align, vAlign);
      }
      P.SkipWhiteSpace();
      P.Next();
    }
  }
  if (P.Sy == ColgroupEndSy) P.Next();
}

void TTableBuilder::ReadColumnAttributes(TSpecWidth& width, std::u16string& align, int& vAlign, int& span) {
  for (const auto& a : P.Attributes) {
    switch (a->Which) {
      case AlignSy: {
        const int code = TableAlignCode(a->Name);
        if (code == 2 || code == 5 || code == 6 || code == 7) align = Lower(a->Name);
        break;
      }
      case ValignSy: {
        const int code = TableAlignCode(a->Name);
        if (code >= 1 && code <= 4) vAlign = code;
        break;
      }
      case WidthSy:
        if (Contains(a->Name, u'%'))
          width = {std::clamp(a->Value, 0, 100) * 10, wtPercent};
        else if (Contains(a->Name, u'*'))
          width = {std::max(a->Value, 0), wtRelative};
        else
          width = {std::max(a->Value, 0), wtAbsolute};
        break;
      case SpanSy:
        span = std::max(a->Value, 1);
        break;
      default:
        break;
    }
  }
}

int TTableBuilder::VAlignAttribute(int byDefault) const {
  const TAttribute* a = P.Attributes.Find(ValignSy);
  if (!a) return byDefault;
  const std::u16string v = Lower(a->Name);
  if (v == u"top" || v == u"baseline") return 1;
  if (v == u"middle") return 2;
  if (v == u"bottom") return 4;
  return byDefault;
}

}  // namespace htmlview
