#include "unicode/gui/UniStdCtrls.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QStylePainter>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "platform/core/Clock.h"
#include "unicode/UniSystem.h"
#include "unicode/gui/UniControls.h"

namespace {

QString Q(const WideString& s) { return QString::fromStdU16String(s); }
WideString W(const QString& s) { return s.toStdU16String(); }

// Items carry their object as a pointer-sized number.
QVariant ObjectData(void* object) { return QVariant::fromValue(reinterpret_cast<quintptr>(object)); }
void* DataObject(const QVariant& data) { return reinterpret_cast<void*>(data.value<quintptr>()); }

[[noreturn]] void InsertError() { throw EOutOfResources("Impossible d'ins\xC3\xA9rer une ligne"); }

// CR LF, lone CR and lone LF all become the one break given.
WideString NormaliseBreaks(const WideString& text, const WideString& lineBreak) {
  WideString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += lineBreak;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Qt asks the style for the character that stands for each hidden one.
class PasswordStyle final : public QProxyStyle {
public:
  char16_t Char = u'*';
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return Char;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

// The class library's virtual key of a Qt key, for the keys handlers look at.
uint16_t VirtualKey(int key) {
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint16_t>(112 + key - Qt::Key_F1);
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return static_cast<uint16_t>(key);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Delete: return 46;
    default: return 0;
  }
}

TShiftState ShiftOf(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? ssShift : 0) | (m & Qt::AltModifier ? ssAlt : 0) | (m & Qt::ControlModifier ? ssCtrl : 0);
}

}  // namespace

// ---- Edit

TUniEdit::TUniEdit(QWidget* parent) : QLineEdit(parent) {}

TUniEdit::~TUniEdit() {
  // The proxy style goes first; the widget must not be left pointing at it.
  if (style_) setStyle(nullptr);
}

WideString TUniEdit::Text() const { return W(text()); }
void TUniEdit::SetText(const WideString& text) { UniControl_SetText(this, text); }

void TUniEdit::SetPasswordChar(char16_t value) {
  if (value == passwordChar_) return;
  passwordChar_ = value;
  if (value == 0) {
    setEchoMode(Normal);
    return;
  }
  if (!style_) style_ = std::make_unique<PasswordStyle>();
  static_cast<PasswordStyle&>(*style_).Char = value;
  setStyle(style_.get());
  // Qt reads the character from the style only when the style changes.
  QEvent changed(QEvent::StyleChange);
  QCoreApplication::sendEvent(this, &changed);
  setEchoMode(Password);
}

void TUniEdit::SetColor(TColor color) {
  color_ = color;
  QPalette p = palette();
  p.setColor(QPalette::Base, ToQColor(color));
  setPalette(p);
}

int TUniEdit::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }
void TUniEdit::SetSelStart(int value) { setCursorPosition(std::clamp(value, 0, static_cast<int>(text().size()))); }
int TUniEdit::SelLength() const { return hasSelectedText() ? selectionLength() : 0; }

void TUniEdit::SetSelLength(int value) {
  const int start = SelStart();
  setSelection(start, std::clamp(value, 0, static_cast<int>(text().size()) - start));
}

WideString TUniEdit::SelText() const { return Text().substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelLength())); }

void TUniEdit::keyPressEvent(QKeyEvent* event) {
  if (OnKeyDown) {
    uint16_t key = VirtualKey(event->key());
    if (key != 0) {
      OnKeyDown(this, key, ShiftOf(event->modifiers()));
      if (key == 0) return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

// ---- Memo

TUniMemo::TUniMemo(QWidget* parent) : QPlainTextEdit(parent) {}

WideString TUniMemo::Text() const { return NormaliseBreaks(W(toPlainText()), u"\r\n"); }
void TUniMemo::SetText(const WideString& text) { UniControl_SetText(this, NormaliseBreaks(text, u"\n")); }

int TUniMemoStrings::Count() const {
  const QTextDocument* doc = memo_.document();
  const int blocks = doc->blockCount();
  // A last line without text is the end of the line before it, not a line of its own.
  return doc->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

WideString TUniMemoStrings::Get(int index) const {
  const QTextBlock block = memo_.document()->findBlockByNumber(index);
  return block.isValid() ? W(block.text()) : WideString();
}

void TUniMemoStrings::Put(int index, const WideString& s) {
  const QTextBlock block = memo_.document()->findBlockByNumber(index);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(Q(s));
}

void TUniMemoStrings::InsertObject(int index, const WideString& s, void*) {
  if (index < 0) return;
  QTextDocument* doc = memo_.document();
  const QTextBlock block = doc->findBlockByNumber(index);
  if (block.isValid()) {
    QTextCursor(block).insertText(Q(s) + u'\n');
    return;
  }
  // After the last line: only behind a line that has text.
  const QTextBlock before = doc->findBlockByNumber(index - 1);
  if (!before.isValid() || before.length() <= 1) return;
  QTextCursor cursor(before);
  cursor.movePosition(QTextCursor::EndOfBlock);
  cursor.insertText(u'\n' + Q(s));
}

void TUniMemoStrings::Delete(int index) {
  const QTextBlock block = memo_.document()->findBlockByNumber(index);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  const QTextBlock next = block.next();
  if (next.isValid())
    cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
  else
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

void TUniMemoStrings::Clear() { memo_.clear(); }

void TUniMemoStrings::Exchange(int index1, int index2) {
  CheckIndex(index1, Count());
  CheckIndex(index2, Count());
  TUniStrings::Exchange(index1, index2);
}

void TUniMemoStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex, Count());
  CheckIndex(newIndex, Count());
  TUniStrings::Move(curIndex, newIndex);
}

WideString TUniMemoStrings::GetText() const { return memo_.Text(); }

void TUniMemoStrings::SetText(const WideString& text) {
  const WideString adjusted = LineBreakStyle == 1 ? NormaliseBreaks(text, u"\r\n") : text;
  if (adjusted != memo_.Text()) memo_.SetText(adjusted);
}

// ---- Owner drawing

// Qt's views measure and paint their items through it.
class TOwnerDrawDelegate final : public QStyledItemDelegate {
public:
  explicit TOwnerDrawDelegate(TUniOwnerDraw& owner) : owner_(owner) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TOwnerDrawState state = 0;
    if (option.state & QStyle::State_Selected) state |= odSelected;
    if (option.state & QStyle::State_HasFocus) state |= odFocused;
    if (!(option.state & QStyle::State_Enabled)) state |= odDisabled;
    owner_.PaintItem(*painter, option.rect, index.row(), state);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(owner_.MeasureItem(index.row()));
    return size;
  }

private:
  TUniOwnerDraw& owner_;
};

TUniOwnerDraw::TUniOwnerDraw(QWidget& control)
    : control_(control), delegate_(std::make_unique<TOwnerDrawDelegate>(*this)) {}

TUniOwnerDraw::~TUniOwnerDraw() = default;

void TUniOwnerDraw::SetItemHeight(int value) {
  if (value <= 0 || value == itemHeight_) return;
  itemHeight_ = value;
  if (auto* view = qobject_cast<QAbstractItemView*>(&control_))
    view->doItemsLayout();
  else if (auto* combo = qobject_cast<QComboBox*>(&control_))
    combo->view()->doItemsLayout();
}

int TUniOwnerDraw::MeasureItem(int index) const {
  int height = itemHeight_;
  if (VariableHeights() && OnMeasureItem) OnMeasureItem(&control_, index, height);
  return height;
}

void TUniOwnerDraw::PaintItem(QPainter& painter, const QRect& r, int index, TOwnerDrawState state) {
  painter.save();
  {
    TCanvas canvas(painter);
    canvas.Measurer = Measurer;
    const QPalette& palette = control_.palette();
    const QColor base = palette.color(QPalette::Base), text = palette.color(QPalette::Text);
    canvas.Brush.Color = FromQColor(base);
    canvas.Font = TFont::FromQFont(control_.font(), FromQColor(text));
    if (index >= 0 && (state & odSelected)) {
      canvas.Brush.Color = clHighlight;
      canvas.Font.Color = clHighlightText;
    }
    const TRect rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    // The canvas is the control's only while the item is drawn, a handler that throws included.
    struct Lend {
      TCanvas*& slot;
      ~Lend() { slot = nullptr; }
    } lend{canvas_};
    canvas_ = &canvas;
    if (index < 0)
      canvas.FillRect(rect);
    else if (OnDrawItem)
      OnDrawItem(&control_, index, rect, state);
    else
      DrawItem(index, rect, state);
    if (state & odFocused) canvas.DrawFocusRect(rect);
  }
  painter.restore();
}

// ---- Combo box

int TUniComboBoxStrings::Count() const { return combo_.count(); }

WideString TUniComboBoxStrings::Get(int index) const {
  CheckIndex(index, Count());
  return W(combo_.itemText(index));
}

void* TUniComboBoxStrings::GetObject(int index) const {
  CheckIndex(index, Count());
  return DataObject(combo_.itemData(index));
}

void TUniComboBoxStrings::PutObject(int index, void* object) {
  CheckIndex(index, Count());
  combo_.setItemData(index, ObjectData(object));
}

void TUniComboBoxStrings::InsertObject(int index, const WideString& s, void* object) {
  if (index < -1 || index > Count()) InsertError();
  const bool first = Count() == 0;
  const WideString text = combo_.Text();
  combo_.insertItem(index < 0 ? Count() : index, Q(s), ObjectData(object));
  // Qt makes the first item current; a new item selects nothing.
  if (first && combo_.currentIndex() == 0) {
    combo_.setCurrentIndex(-1);
    if (combo_.isEditable()) combo_.setEditText(Q(text));
  }
}

void TUniComboBoxStrings::Delete(int index) {
  CheckIndex(index, Count());
  combo_.removeItem(index);
}

void TUniComboBoxStrings::Clear() {
  const WideString text = combo_.Text();
  combo_.clear();
  combo_.SetText(text);
}

TUniComboBox::TUniComboBox(QWidget* parent) : QComboBox(parent), TUniOwnerDraw(static_cast<QWidget&>(*this)) {
  standardDelegate_ = view()->itemDelegate();
  view()->installEventFilter(this);
  connect(this, &QComboBox::currentIndexChanged, this, [this](int index) { changedTo_ = index; });
  connect(this, &QComboBox::activated, this, [this](int index) { Activated(index); });
  SetStyle(csDropDown);
}

void TUniComboBox::Click() {
  if (OnClick) OnClick(this);
}

void TUniComboBox::Select() {
  if (OnSelect) OnSelect(this);
}

void TUniComboBox::Activated(int index) {
  // Qt reports the change right after making it, within the same input.
  const bool changed = changedTo_ == index;
  ForgetChange();
  if (!changed) return;
  Click();
  Select();
}

WideString TUniComboBox::Text() const { return W(currentText()); }

void TUniComboBox::SetText(const WideString& text) {
  if (isEditable()) {
    if (Text() != text) setEditText(Q(text));
  } else {
    setCurrentIndex(items_.IndexOf(text));
  }
}

void TUniComboBox::SetStyle(TComboBoxStyle style) {
  if (style == style_) return;
  style_ = style;
  // Qt only schedules the edit it drops for deletion; left among the combo's children until an
  // event loop runs, it is freed with the combo while the window's focus chain still leads to it.
  QPointer<QLineEdit> formerEdit = lineEdit();
  setEditable(style == csDropDown || style == csSimple);
  if (formerEdit && formerEdit != lineEdit()) delete formerEdit.data();
  if (QLineEdit* edit = lineEdit()) {
    // Our own auto-complete stands in for Qt's completer; typed text never becomes an item.
    setCompleter(nullptr);
    setInsertPolicy(NoInsert);
    // Qt matches the edited text to an item when editing finishes (Return, leaving the box) and
    // reports that as the user's choice; only a pick from the list is one.
    disconnect(edit, SIGNAL(editingFinished()), this, nullptr);
    disconnect(edit, SIGNAL(returnPressed()), this, nullptr);
    edit->installEventFilter(this);
    // Alone at the top of csSimple it has an edit's frame; in a drop-down the combo's frame is its.
    edit->setFrame(style == csSimple);
  }
  // The combo's own setter would delete the delegate it replaces; the view's keeps both.
  view()->setItemDelegate(OwnerDrawn() ? OwnerDrawDelegate() : standardDelegate_);
  if (style == csSimple) {
    hidePopup();
    if (!simpleList_) {
      simpleList_ = new QListView(this);
      simpleList_->setModel(model());
      simpleList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
      simpleList_->setFocusPolicy(Qt::NoFocus);
      connect(simpleList_, &QListView::clicked, this, [this](const QModelIndex& index) {
        ForgetChange();
        setCurrentIndex(index.row());
        emit activated(index.row());
      });
      connect(this, &QComboBox::currentIndexChanged, simpleList_,
              [this](int index) { simpleList_->setCurrentIndex(model()->index(index, modelColumn())); });
    }
    simpleList_->setCurrentIndex(model()->index(currentIndex(), modelColumn()));
    simpleList_->show();
    LayoutSimple();
  } else if (simpleList_) {
    simpleList_->hide();
  }
  update();
}

void TUniComboBox::showPopup() {
  // csSimple's list is always shown; there is nothing to drop down.
  if (style_ == csSimple) return;
  // The choice made in the list is measured against what the box shows as it opens.
  ForgetChange();
  QComboBox::showPopup();
}

void TUniComboBox::LayoutSimple() {
  if (style_ != csSimple || !lineEdit()) return;
  const int editHeight = std::min(height(), lineEdit()->sizeHint().height());
  lineEdit()->setGeometry(0, 0, width(), editHeight);
  simpleList_->setGeometry(0, editHeight, width(), height() - editHeight);
}

void TUniComboBox::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  LayoutSimple();
}

void TUniComboBox::paintEvent(QPaintEvent* event) {
  // csSimple's edit and list cover it all.
  if (style_ == csSimple) return;
  if (!OwnerDrawn()) {
    QComboBox::paintEvent(event);
    return;
  }
  // The frame and the button as Qt draws them; the chosen item in the field by its owner.
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  TOwnerDrawState state = odComboBoxEdit;
  if (hasFocus() && !view()->isVisible()) state |= odSelected | odFocused;
  PaintItem(painter, field, currentIndex(), state);
}

void TUniComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState) {
  TCanvas& canvas = *Canvas();
  canvas.FillRect(rect);
  if (index < count()) canvas.TextOut(rect.Left + 2, rect.Top, W(itemText(index)));
}

void TUniComboBox::keyPressEvent(QKeyEvent* event) {
  ForgetChange();
  if (!HandleKey(event)) QComboBox::keyPressEvent(event);
}

bool TUniComboBox::ListKey(QKeyEvent* event) {
  ForgetChange();
  if (HandleKey(event)) return true;
  // In the edit styles a character the completion left is the edit's, as with the list closed;
  // the list's own search would choose an item the text never showed.
  QLineEdit* edit = lineEdit();
  const QString text = event->text();
  if (!edit || text.isEmpty() || (text[0] < u' ' && text[0] != u'\b')) return false;
  QCoreApplication::sendEvent(edit, event);
  return true;
}

bool TUniComboBox::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == lineEdit()) {
      ForgetChange();
      if (HandleKey(key)) return true;
    } else if (watched == view() && view()->isVisible() && ListKey(key)) {
      return true;
    }
  }
  // Qt puts the edit back in the combo's field whenever it sees fit (a new index, a new style).
  if (watched == lineEdit() && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) LayoutSimple();
  return QComboBox::eventFilter(watched, event);
}

bool TUniComboBox::HandleKey(QKeyEvent* event) {
  if (!AutoComplete || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
  WideString key = W(event->text());
  if (key.empty()) return false;
  if (isEditable())
    UniCombo_AutoCompleteKeyPress(*this, key);
  else
    TypeAheadKeyPress(key);
  return key.empty();
}

namespace {

// Backspace, Tab and Escape, alike in type-ahead and auto-complete; false for any other key.
bool EditingKey(TUniComboBox& combo, const WideString& key) {
  const char16_t c = key[0];
  if (c == u'\b') {
    // A character outside the Basic Multilingual Plane goes whole: a lone half matches nothing.
    WideString& text = combo.TypeAheadText;
    if (!text.empty()) {
      const bool lowHalf = QChar::isLowSurrogate(text.back());
      text.pop_back();
      if (lowHalf && !text.empty() && QChar::isHighSurrogate(text.back())) text.pop_back();
    }
    return true;
  }
  if (c == u'\t') {
    if (combo.AutoDropDown && combo.view()->isVisible()) combo.hidePopup();
    return true;
  }
  return c < 0x20;
}

}  // namespace

void TUniComboBox::TypeAheadKeyPress(WideString& key) {
  if (key.empty()) return;
  if (EditingKey(*this, key)) {
    if (key[0] == u'\b') key.clear();
    return;
  }
  if (AutoDropDown && !view()->isVisible()) showPopup();
  const int64_t now = platform::ClockMilliseconds();
  if (now - LastTypeAheadTime >= 1250) TypeAheadText.clear();
  LastTypeAheadTime = now;
  if (UniCombo_SelectItem(*this, TypeAheadText + key)) {
    TypeAheadText += key;
    key.clear();
  }
}

void UniCombo_AutoCompleteKeyPress(TUniComboBox& combo, WideString& key) {
  if (combo.Style() != csDropDown && combo.Style() != csSimple)
    throw EUniInternalError(
        "Internal Error: UniCombo_AutoCompleteKeyPress is only for csSimple and csDropDown style combo boxes.");
  // Backspace, Tab and Escape are the editor's as well.
  if (key.empty() || EditingKey(combo, key)) return;
  const QLineEdit* edit = combo.lineEdit();
  const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  const int length = edit->hasSelectedText() ? edit->selectionLength() : 0;
  if (start + length != edit->text().size()) return;
  if (UniCombo_SelectItem(combo, W(edit->text().left(start)) + key)) key.clear();
}

bool UniCombo_SelectItem(TUniComboBox& combo, const WideString& value) {
  int found = -1;
  for (int i = 0; i < combo.count() && found < 0; ++i) {
    const WideString item = W(combo.itemText(i));
    if (item.size() >= value.size() && WideCompareText(item.substr(0, value.size()), value) == 0) found = i;
  }
  if (found < 0) return false;
  const WideString item = W(combo.itemText(found));
  // The editor's text counts as the item's when it differs only in case: typing on along the
  // same item does not announce it again.
  const bool changed =
      combo.Style() == csDropDown ? WideCompareText(combo.Text(), item) != 0 : combo.currentIndex() != found;
  if (combo.AutoCloseUp && combo.Items().IndexOf(value) >= 0) combo.hidePopup();
  combo.setCurrentIndex(found);
  // Announced here if at all: Return in the open list then takes the item as it is.
  combo.ForgetChange();
  if (combo.view()->isVisible()) combo.view()->setCurrentIndex(combo.model()->index(found, combo.modelColumn()));
  if (QLineEdit* edit = combo.lineEdit()) {
    edit->setText(Q(value + item.substr(value.size())));
    edit->setSelection(static_cast<int>(value.size()), static_cast<int>(item.size() - value.size()));
  }
  if (changed) {
    combo.Click();
    combo.Select();
  }
  return true;
}

// ---- List box

int TUniListBoxStrings::Count() const { return list_.count(); }

WideString TUniListBoxStrings::Get(int index) const {
  CheckIndex(index, Count());
  return W(list_.item(index)->text());
}

void TUniListBoxStrings::Put(int index, const WideString& s) {
  CheckIndex(index, Count());
  void* object = GetObject(index);
  const int itemIndex = list_.ItemIndex();
  BeginUpdate();
  Delete(index);
  InsertObject(index, s, object);
  EndUpdate();
  list_.SetItemIndex(itemIndex);
}

void* TUniListBoxStrings::GetObject(int index) const {
  CheckIndex(index, Count());
  return DataObject(list_.item(index)->data(Qt::UserRole));
}

void TUniListBoxStrings::PutObject(int index, void* object) {
  CheckIndex(index, Count());
  list_.item(index)->setData(Qt::UserRole, ObjectData(object));
}

int TUniListBoxStrings::InsertAt(int index, const WideString& s, void* object) {
  if (index < -1 || index > Count()) InsertError();
  auto* item = new QListWidgetItem(Q(s));
  item->setData(Qt::UserRole, ObjectData(object));
  list_.insertItem(index < 0 ? Count() : index, item);
  return list_.row(item);
}

int TUniListBoxStrings::AddObject(const WideString& s, void* object) { return InsertAt(-1, s, object); }
void TUniListBoxStrings::InsertObject(int index, const WideString& s, void* object) { InsertAt(index, s, object); }

void TUniListBoxStrings::Delete(int index) {
  CheckIndex(index, Count());
  delete list_.takeItem(index);
}

void TUniListBoxStrings::Clear() { list_.clear(); }

void TUniListBoxStrings::Exchange(int index1, int index2) {
  const int itemIndex = list_.ItemIndex();
  TUniStrings::Exchange(index1, index2);
  list_.SetItemIndex(itemIndex == index1 ? index2 : itemIndex == index2 ? index1 : itemIndex);
}

TUniListBox::TUniListBox(QWidget* parent) : QListWidget(parent), TUniOwnerDraw(static_cast<QWidget&>(*this)) {
  setSelectionMode(SingleSelection);
  standardDelegate_ = itemDelegate();
}

void TUniListBox::SetStyle(TListBoxStyle style) {
  if (style == style_) return;
  style_ = style;
  setItemDelegate(style == lbStandard ? standardDelegate_ : OwnerDrawDelegate());
  setUniformItemSizes(style == lbOwnerDrawFixed);
  doItemsLayout();
}

void TUniListBox::DrawItem(int index, const TRect& rect, TOwnerDrawState) {
  TCanvas& canvas = *Canvas();
  canvas.FillRect(rect);
  if (index >= count()) return;
  TRect r = rect;
  const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
  if (rightToLeft)
    r.Right -= 2;
  else
    r.Left += 2;
  canvas.DrawText(W(item(index)->text()), r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (rightToLeft ? DT_RIGHT : 0));
}

void TUniListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) index = -1;
  if (MultiSelect()) {
    setCurrentRow(index, QItemSelectionModel::NoUpdate);
  } else {
    setCurrentRow(index);
    if (index < 0) clearSelection();
  }
}

int TUniListBox::TopIndex() const {
  const QModelIndex top = indexAt(QPoint(1, 1));
  return top.isValid() ? top.row() : 0;
}

void TUniListBox::SetTopIndex(int index) {
  if (QListWidgetItem* it = item(index)) scrollToItem(it, PositionAtTop);
}

void TUniListBox::SetMultiSelect(bool value) { setSelectionMode(value ? ExtendedSelection : SingleSelection); }

void TUniListBox::SetSorted(bool value) {
  if (value == Sorted()) return;
  // Sorting moves the items under the indices, which stay where they were.
  const int itemIndex = ItemIndex(), top = TopIndex();
  setSortingEnabled(value);
  if (value) sortItems();
  SetItemIndex(itemIndex);
  SetTopIndex(top);
}
