#include "htmlview/forms/HtmlFormSelect.h"

#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleUn.h"

namespace htmlview {

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string W(const QString& s) { return s.toStdU16String(); }
bool SameText(const std::u16string& a, const std::u16string& b) { return WideLowerCase(a) == WideLowerCase(b); }

int ScrollBarWidth(const QWidget* w) { return w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w); }

int TextHeightA(const TCanvas& canvas, const QFont& font) { return canvas.Measurer->TextExtent(font, u"A").cy; }

void SetBackground(QWidget* w, TColor color) {
  if (color == clNone) return;
  QPalette p = w->palette();
  p.setColor(QPalette::Base, ToQColor(color));
  w->setPalette(p);
}

// A printed frame keeps a pixel of its own inside the control's edge from the rows (no frame
// keeps none), and the rows want one more below them for the smoothed edge of a descender.
int PrintFrameKept(bool border) { return border ? 1 : 0; }

// The least height at which the paper shows the rows whole.
long long PrintedRowsHeight(bool border, int rows, int lineHeight) {
  return static_cast<long long>(rows) * lineHeight + 2 * PrintFrameKept(border) + 1;
}

// The line height of the rows of a printed list.
int PrintedLineHeight(const QFont& font) { return std::max(1, std::abs(QFontMetrics(font).height())); }

// The control's picture when printed: the background, a sunken frame when it has a border, and
// the rectangle left inside for its rows. The frame leaves 4 pixels to the rows, no frame 2; a
// control only as tall as its rows need on the screen leaves less, so that the paper shows them
// all whole.
TRect PrintBox(TCanvas& canvas, int x, int y, int width, int height, bool border, int rows, int lineHeight,
               TColor color, bool mono, const QFont& font) {
  if (border)
    FormControlRect(canvas, x, y, x + width, y + height, color, false, true, false, mono);
  else
    FillRectColor(canvas, {x, y, x + width, y + height}, color);
  const long long room = (static_cast<long long>(height) - PrintedRowsHeight(border, rows, lineHeight)) / 2;
  const int inset = static_cast<int>(
      std::clamp<long long>(room + PrintFrameKept(border), PrintFrameKept(border), border ? 4 : 2));
  canvas.Brush.Style = bsClear;
  canvas.Font = TFont::FromQFont(font, clBlack);
  return TRect{x + inset, y + inset, x + width - inset, y + height - inset};
}

// The height of the rows of a memo in its font, as its document lays them out.
int MemoLineHeight(const QFont& font) {
  QTextLayout layout(QStringLiteral("A"), font);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLeadingIncluded(true);
  line.setLineWidth(1000);
  layout.endLayout();
  return std::max(1, static_cast<int>(std::ceil(line.height())));
}

}  // namespace

// ---- options ----

void ThtOptionStringList::AddObject(const std::u16string& text, std::unique_ptr<TOptionObj> option) {
  items_.emplace_back(text, std::move(option));
}

std::u16string ThtOptionStringList::Value(int index) const {
  if (index < 0 || index >= Count()) return {};
  return Objects(index)->Value;
}

bool ThtOptionStringList::Selected(int index) const {
  if (index < 0 || index >= Count()) return false;
  return Objects(index)->Selected;
}

TOptionsFormControlObj::TOptionsFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  if (attributes)
    if (TAttribute* size = attributes->Find(SizeSy)) Size = ClampCount(size->Value);
}

void TOptionsFormControlObj::AddOption(const std::u16string& text, bool selected,
                                       const std::vector<std::u16string>* attributes) {
  const std::u16string s = text.empty() ? std::u16string(u" ") : text;
  auto option = std::make_unique<TOptionObj>();
  option->Value = s;
  if (attributes) {
    option->Attributes = *attributes;
    for (const auto& line : *attributes) {
      const auto eq = line.find(u'=');
      if (eq != std::u16string::npos && SameText(line.substr(0, eq), u"value") && eq + 1 < line.size()) {
        option->Value = line.substr(eq + 1);
        break;
      }
    }
  }
  option->Selected = selected;
  Options.AddObject(s, std::move(option));
  MaxOptionWidth = std::max(MaxOptionWidth, QtTextMeasurer().TextExtent(font_, s).cx);
}

void TOptionsFormControlObj::ApplyColor() {
  if (control_) SetBackground(control_.get(), BkColor);
}

// ---- list box ----

TListBoxFormControlObj::TListBoxFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                               TProperties& props)
    : TOptionsFormControlObj(document, pos, attributes) {
  auto list = std::make_unique<TUniListBox>();
  list->SetMultiSelect(attributes && attributes->Find(MultipleSy));
  // A page's list box clips an option wider than itself: a horizontal scroll bar would take the
  // room of its last row.
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  AdoptControl(std::move(list), props, true);
}

void TListBoxFormControlObj::ProcessProperties(TProperties& props) {
  TFormControlObj::ProcessProperties(props);
  if (HasBorderStyle) ListBox()->setFrameShape(QFrame::NoFrame);
  ApplyColor();
}

void TListBoxFormControlObj::ResetToValue() {
  TUniListBox* list = ListBox();
  list->clear();
  for (int i = 0; i < Options.Count(); ++i) list->addItem(Q(Options.Strings(i)));
  for (int i = 0; i < Options.Count(); ++i) {
    if (!Options.Selected(i)) continue;
    if (list->MultiSelect())
      list->item(i)->setSelected(true);
    else
      list->SetItemIndex(i);
  }
  if (list->ItemIndex() < 0) list->SetItemIndex(0);
  list->SetTopIndex(0);
}

bool TListBoxFormControlObj::GetSubmission(int index, std::u16string& s) {
  TUniListBox* list = ListBox();
  if (index >= list->count()) return false;
  const bool chosen = list->MultiSelect() ? list->item(index)->isSelected() : index == list->ItemIndex();
  if (chosen) s = Name + u"=" + Options.Value(index);
  return true;
}

void TListBoxFormControlObj::SetData(int index, const std::u16string& v) {
  TUniListBox* list = ListBox();
  if (index == 0) {
    list->SetItemIndex(0);
    if (list->MultiSelect()) list->clearSelection();
  }
  for (int i = 0; i < Options.Count() && i < list->count(); ++i) {
    if (!SameText(Options.Value(i), v)) continue;
    if (list->MultiSelect())
      list->item(i)->setSelected(true);
    else
      list->SetItemIndex(i);
  }
  list->SetTopIndex(0);
}

void TListBoxFormControlObj::SaveContents() {
  TUniListBox* list = ListBox();
  SavedCount = list->count();
  SavedSelected.assign(static_cast<size_t>(SavedCount), false);
  for (int i = 0; i < SavedCount; ++i) SavedSelected[static_cast<size_t>(i)] = list->item(i)->isSelected();
}

bool TListBoxFormControlObj::DoOnChange() {
  TUniListBox* list = ListBox();
  bool changed = list->count() != SavedCount;
  for (int i = 0; !changed && i < SavedCount; ++i)
    changed = list->item(i)->isSelected() != SavedSelected[static_cast<size_t>(i)];
  return ReportChange(changed);
}

void TListBoxFormControlObj::SetHeightWidth(TCanvas& canvas) {
  TUniListBox* list = ListBox();
  if (Size == -1) Size = std::clamp(Options.Count(), 1, 8);
  long long client = SpecHeight;
  if (SpecHeight < 10) {
    // The text height is the least; the rows the widget style draws are taller by their margins,
    // and the list shows Size of them whole.
    int row = 0;
    for (int i = 0; i < Size && i < list->count(); ++i) row = std::max(row, list->sizeHintForRow(i));
    client = static_cast<long long>(std::max(TextHeightA(canvas, font_), row)) * Size;
    // Printed, the rows are as tall as the font and the frame is wider: the paper shows them
    // whole too.
    const bool border = list->frameShape() != QFrame::NoFrame;
    client = std::max(client, PrintedRowsHeight(border, Size, PrintedLineHeight(font_)) - 2LL * list->frameWidth());
  }
  SetHeight(ClampWidgetSize(client + 2LL * list->frameWidth()));
  SizeWidth(10, static_cast<long long>(ScrollBarWidth(list)) + MaxOptionWidth + 10);
}

void TListBoxFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  TUniListBox* list = ListBox();
  const bool border = list->frameShape() != QFrame::NoFrame;
  const int lineHeight = PrintedLineHeight(font_);
  const int top = list->TopIndex();
  const int rows = Size > 0 ? Size : 1;
  const TRect r = PrintBox(canvas, x, y, Width(), Height(), border, rows, lineHeight,
                           BkColor == clNone ? clWhite : BkColor, Events().MonochromePrinter, font_);
  for (int i = top, line = 0; i < list->count() && i < top + rows; ++i, ++line)
    WideTextRect(canvas, r, r.Left, r.Top + line * lineHeight, W(list->item(i)->text()));
  canvas.Brush.Style = bsSolid;
}

// ---- drop-down ----

TComboFormControlObj::TComboFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                           TProperties& props)
    : TOptionsFormControlObj(document, pos, attributes) {
  auto combo = std::make_unique<TUniComboBox>();
  combo->SetStyle(csDropDownList);
  TUniComboBox* c = combo.get();
  AdoptControl(std::move(combo), props, false);
  QObject::connect(c, &QComboBox::activated, watcher_.get(), [this] { FormControlClick(); });
}

void TComboFormControlObj::ProcessProperties(TProperties& props) {
  TFormControlObj::ProcessProperties(props);
  ApplyColor();
}

void TComboFormControlObj::ResetToValue() {
  TUniComboBox* combo = ComboBox();
  combo->clear();
  for (int i = 0; i < Options.Count(); ++i) combo->addItem(Q(Options.Strings(i)));
  for (int i = 0; i < Options.Count(); ++i)
    if (Options.Selected(i)) combo->SetItemIndex(i);
  if (combo->ItemIndex() < 0) combo->SetItemIndex(0);
}

bool TComboFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (index != 0) return false;
  const int i = ComboBox()->ItemIndex();
  if (i >= 0) s = Name + u"=" + Options.Value(i);
  return true;
}

void TComboFormControlObj::SetData(int, const std::u16string& v) {
  for (int i = 0; i < Options.Count() && i < ComboBox()->count(); ++i)
    if (SameText(Options.Value(i), v)) ComboBox()->SetItemIndex(i);
}

void TComboFormControlObj::SaveContents() { SavedIndex = ComboBox()->ItemIndex(); }

bool TComboFormControlObj::DoOnChange() { return ReportChange(ComboBox()->ItemIndex() != SavedIndex); }

void TComboFormControlObj::SetHeightWidth(TCanvas&) {
  TUniComboBox* combo = ComboBox();
  SetHeight(SpecHeight >= 10 ? SpecHeight : combo->sizeHint().height());
  // The scroll bar's width is less than what the style's frame and arrow take beside the text:
  // the drop-down is as wide as it must be to show its widest option whole.
  SizeWidth(10, std::max(static_cast<long long>(ScrollBarWidth(combo)) + MaxOptionWidth + 10,
                         static_cast<long long>(combo->sizeHint().width())));
}

void TComboFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  TRect r = PrintBox(canvas, x, y, Width(), Height(), true, 0, 0, BkColor == clNone ? clWhite : BkColor,
                     Events().MonochromePrinter, font_);
  r.Bottom += 5;
  const int i = ComboBox()->ItemIndex();
  WideTextRect(canvas, r, r.Left, r.Top, i >= 0 ? W(ComboBox()->itemText(i)) : std::u16string());
  canvas.Brush.Style = bsSolid;
}

// ---- text area ----

TTextAreaFormControlObj::TTextAreaFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                                 TProperties& props)
    : TFormControlObj(document, pos, attributes) {
  if (attributes) {
    for (const auto& a : *attributes) {
      if (a->Which == ColsSy) Cols = ClampCount(a->Value);
      else if (a->Which == RowsSy) Rows = ClampCount(a->Value);
      else if (a->Which == WrapSy) {
        const std::u16string w = WideLowerCase(a->Name);
        if (w == u"off") Wrap = 0;
        else if (w == u"hard") Wrap = 2;
      }
    }
  }
  auto memo = std::make_unique<TUniMemo>();
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setHorizontalScrollBarPolicy(Wrap == 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  memo->setLineWrapMode(Wrap == 0 ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
  memo->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  memo->setReadOnly(ReadOnly);
  AdoptControl(std::move(memo), props, true);
}

void TTextAreaFormControlObj::ProcessProperties(TProperties& props) {
  TFormControlObj::ProcessProperties(props);
  if (HasBorderStyle) Memo()->setFrameShape(QFrame::NoFrame);
  if (control_) SetBackground(control_.get(), BkColor);
}

void TTextAreaFormControlObj::ResetToValue() {
  Memo()->SetText(InitialText);
  QTextCursor c = Memo()->textCursor();
  c.setPosition(0);
  Memo()->setTextCursor(c);
}

std::u16string TTextAreaFormControlObj::DisplayedLines() const {
  const std::vector<std::u16string> rows = DisplayedRows();
  std::u16string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) out += u"\r\n";
    out += rows[i];
  }
  return out;
}

std::vector<std::u16string> TTextAreaFormControlObj::DisplayedRows(size_t limit) const {
  TUniMemo* memo = Memo();
  // The width the memo lays its lines out in, whether or not it has been shown.
  const qreal margin = memo->document()->documentMargin();
  const int width = memo->width() - 2 * memo->frameWidth() - ScrollBarWidth(memo) - static_cast<int>(2 * margin);
  std::vector<std::u16string> rows;
  for (QTextBlock block = memo->document()->begin(); block.isValid() && rows.size() < limit; block = block.next()) {
    const QString text = block.text();
    if (!block.next().isValid() && text.isEmpty() && !rows.empty()) break;
    if (Wrap == 0) {
      rows.push_back(W(text));
      continue;
    }
    QTextLayout layout(text, font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    bool any = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(std::max(1, width));
      rows.push_back(W(text.mid(line.textStart(), line.textLength())));
      any = true;
    }
    layout.endLayout();
    if (!any) rows.emplace_back();
  }
  if (rows.size() > limit) rows.resize(limit);
  return rows;
}

bool TTextAreaFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (index != 0) return false;
  s = Name + u"=" + (Wrap == 2 ? DisplayedLines() : Memo()->Text());
  return true;
}

void TTextAreaFormControlObj::SetData(int, const std::u16string& v) { Memo()->SetText(v); }
void TTextAreaFormControlObj::SaveContents() { SavedText = Memo()->Text(); }

bool TTextAreaFormControlObj::DoOnChange() { return ReportChange(Memo()->Text() != SavedText); }

void TTextAreaFormControlObj::SetHeightWidth(TCanvas& canvas) {
  TUniMemo* memo = Memo();
  const int frame = 2 * memo->frameWidth();
  if (SpecHeight >= 10) {
    SetHeight(SpecHeight);
  } else {
    // The text height times the rows, and 5, is the least. The memo's rows are as tall as their
    // line spacing, between the document's margins above and below, and it counts the last row
    // in only with a pixel to spare: less cuts that row off and leaves it to the scroll bar.
    const long long least = static_cast<long long>(TextHeightA(canvas, font_)) * Rows + 5;
    const int margin = static_cast<int>(std::ceil(memo->document()->documentMargin()));
    const long long whole = static_cast<long long>(MemoLineHeight(font_)) * Rows + 2LL * margin + 1;
    // A horizontal scroll bar stands below the rows.
    const int bar = memo->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOn ? ScrollBarWidth(memo) : 0;
    SetHeight(ClampWidgetSize(std::max(least, whole) + frame + bar));
  }
  const long long client = static_cast<long long>(canvas.Measurer->TextExtent(font_, u"s").cx) * Cols + 5;
  SizeWidth(50, client + frame + ScrollBarWidth(memo));
}

void TTextAreaFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  TUniMemo* memo = Memo();
  const bool border = memo->frameShape() != QFrame::NoFrame;
  const int lineHeight = std::max(1, TextHeightA(canvas, font_));
  const TRect r = PrintBox(canvas, x, y, Width(), Height(), border, Rows, lineHeight,
                           BkColor == clNone ? clWhite : BkColor, Events().MonochromePrinter, font_);
  // The rows the screen shows: a long line takes as many as the memo wraps it into.
  const std::vector<std::u16string> rows = DisplayedRows(static_cast<size_t>(std::max(0, Rows)));
  for (size_t i = 0; i < rows.size(); ++i)
    WideTextRect(canvas, r, r.Left, r.Top + static_cast<int>(i) * lineHeight, rows[i]);
  canvas.Brush.Style = bsSolid;
}

}  // namespace htmlview
