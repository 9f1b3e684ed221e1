#pragma once
// Wide edit, memo, combo box and list box over Qt's editors and item views. Qt holds UTF-16 and
// never recreates a window, so the string adapters work on the widget's own items and what a
// window recreation would have to carry over simply stays where it is.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/Exception.h"
#include "platform/gui/Controls.h"
#include "platform/gui/StdCtrls.h"
#include "unicode/UniStringList.h"

class QAbstractItemDelegate;
class QListView;
class QProxyStyle;

class EOutOfResources : public Exception {
public:
  using Exception::Exception;
};

class TUniEdit : public QLineEdit {
public:
  explicit TUniEdit(QWidget* parent = nullptr);
  ~TUniEdit() override;

  WideString Text() const;
  void SetText(const WideString& text);
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool value) { setReadOnly(value); }
  // 0 shows the text; any other character is shown for every character of it.
  char16_t PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char16_t value);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // In UTF-16 units, as Qt's positions are.
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  WideString SelText() const;

  std::function<void(QObject* sender, uint16_t& key, TShiftState shift)> OnKeyDown;

protected:
  void keyPressEvent(QKeyEvent* event) override;

private:
  char16_t passwordChar_ = 0;
  TColor color_ = clWindow;
  std::unique_ptr<QProxyStyle> style_;
};

class TUniMemo;

// The memo's lines: Qt's text blocks; the memo's text ends its lines with CR LF.
class TUniMemoStrings final : public TUniStrings {
public:
  explicit TUniMemoStrings(TUniMemo& memo) : memo_(memo) {}
  uint8_t LineBreakStyle = 1;  // 1: CR LF

  int Count() const override;
  WideString Get(int index) const override;
  void Put(int index, const WideString& s) override;
  void* GetObject(int) const override { return nullptr; }
  void PutObject(int, void*) override {}
  void InsertObject(int index, const WideString& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;
  // Both indexes must be lines: Get and Delete pass over a missing line, which would lose one.
  void Exchange(int index1, int index2) override;
  void Move(int curIndex, int newIndex) override;
  WideString GetText() const override;
  void SetText(const WideString& text) override;

private:
  TUniMemo& memo_;
};

class TUniMemo : public QPlainTextEdit {
public:
  explicit TUniMemo(QWidget* parent = nullptr);
  TUniMemoStrings& Lines() { return lines_; }
  // With CR LF between lines.
  WideString Text() const;
  void SetText(const WideString& text);

private:
  TUniMemoStrings lines_{*this};
};

class TUniComboBox;

class TUniComboBoxStrings final : public TUniStrings {
public:
  explicit TUniComboBoxStrings(TUniComboBox& combo) : combo_(combo) {}
  int Count() const override;
  WideString Get(int index) const override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  void InsertObject(int index, const WideString& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;

private:
  TUniComboBox& combo_;
};

// What the owner-drawn combo and list boxes share: their drawing events, the item height, the
// canvas an item is drawn on, and the item delegate through which Qt has them measure and draw
// their items.
class TUniOwnerDraw {
public:
  TDrawItemEvent OnDrawItem;
  // Asked in the variable style only.
  TMeasureItemEvent OnMeasureItem;
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value);
  // While an item is drawn: its canvas, the brush and font colours set for the item's state.
  TCanvas* Canvas() const { return canvas_; }
  // Measures the text items draw; never null, outlives the control.
  const TTextMeasurer* Measurer = &QtTextMeasurer();

protected:
  explicit TUniOwnerDraw(QWidget& control);
  virtual ~TUniOwnerDraw();
  TUniOwnerDraw(const TUniOwnerDraw&) = delete;
  TUniOwnerDraw& operator=(const TUniOwnerDraw&) = delete;

  // The control's drawing of an item that has no OnDrawItem.
  virtual void DrawItem(int index, const TRect& rect, TOwnerDrawState state) = 0;
  // The heights of the variable style come from OnMeasureItem.
  virtual bool VariableHeights() const = 0;
  // Item index (no item: the fill alone) in rect, as its state shows it.
  void PaintItem(QPainter& painter, const QRect& rect, int index, TOwnerDrawState state);
  int MeasureItem(int index) const;
  QAbstractItemDelegate* OwnerDrawDelegate() const { return delegate_.get(); }

private:
  QWidget& control_;
  TCanvas* canvas_ = nullptr;
  int itemHeight_ = 16;
  std::unique_ptr<QAbstractItemDelegate> delegate_;
  friend class TOwnerDrawDelegate;
};

class TUniComboBox : public QComboBox, public TUniOwnerDraw {
public:
  explicit TUniComboBox(QWidget* parent = nullptr);

  TUniComboBoxStrings& Items() { return items_; }
  WideString Text() const;
  void SetText(const WideString& text);
  // csSimple: an edit with its list always shown below it; csDropDown: an edit with a drop-down
  // list; the others: a drop-down list alone, drawn by the owner in the owner-draw styles.
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index) { setCurrentIndex(index); }
  bool AutoComplete = true;
  bool AutoDropDown = false;
  bool AutoCloseUp = false;
  TNotifyEvent OnClick;
  TNotifyEvent OnSelect;
  // What follows each change of the chosen item by the user, in this order.
  virtual void Click();
  virtual void Select();

  // The type-ahead state of the list style.
  WideString TypeAheadText;
  int64_t LastTypeAheadTime = 0;

  // Type-ahead of the list styles (csDropDownList and the owner-draw ones) for one typed
  // character; key is emptied when the character is used up, which it is when it leads to an
  // item. One that leads nowhere is left to the box's own handling.
  void TypeAheadKeyPress(WideString& key);

  // The list of csSimple, shown below the edit; null in the other styles until one was csSimple.
  QListView* SimpleList() const { return simpleList_; }

  void showPopup() override;

protected:
  void DrawItem(int index, const TRect& rect, TOwnerDrawState state) override;
  bool VariableHeights() const override { return style_ == csOwnerDrawVariable; }
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  friend class TUniComboBoxStrings;
  friend bool UniCombo_SelectItem(TUniComboBox& combo, const WideString& value);
  // True when the key was used up.
  bool HandleKey(QKeyEvent* event);
  // A key to the open list: typed characters take the way they take on the closed box.
  bool ListKey(QKeyEvent* event);
  // Qt reports each choice by the user (activated), changed or not; only a change is announced.
  void Activated(int index);
  // Forgets a change of the item index that no choice by the user has reported: the next report
  // that finds no change since then announces nothing.
  void ForgetChange() { changedTo_ = noChange; }
  bool OwnerDrawn() const { return style_ == csOwnerDrawFixed || style_ == csOwnerDrawVariable; }
  // Places csSimple's edit at the top and its list below it.
  void LayoutSimple();

  TUniComboBoxStrings items_{*this};
  TComboBoxStyle style_ = csDropDownList;
  QAbstractItemDelegate* standardDelegate_ = nullptr;
  QListView* simpleList_ = nullptr;
  static constexpr int noChange = -2;
  // The item index the last change of it went to, until it is reported or forgotten.
  int changedTo_ = noChange;
};

// Auto-complete of the edit styles (csDropDown, csSimple) for one typed character: at the end of
// the text, the first item that begins with the text before the selection and the character is
// chosen and key emptied. Raises EUniInternalError for any other style.
void UniCombo_AutoCompleteKeyPress(TUniComboBox& combo, WideString& key);
// Chooses the first item that begins with value, ignoring case; false when none does. An edit
// style shows value followed by the rest of the item, that rest selected. OnClick and OnSelect
// follow a change of choice.
bool UniCombo_SelectItem(TUniComboBox& combo, const WideString& value);

class TUniListBox;

class TUniListBoxStrings final : public TUniStrings {
public:
  explicit TUniListBoxStrings(TUniListBox& list) : list_(list) {}
  int Count() const override;
  WideString Get(int index) const override;
  void Put(int index, const WideString& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  int AddObject(const WideString& s, void* object) override;
  void InsertObject(int index, const WideString& s, void* object) override;
  void Delete(int index) override;
  void Clear() override;
  // Keeps the item index on the string it was on.
  void Exchange(int index1, int index2) override;

private:
  // The row where the string went (a sorted list puts it in its place).
  int InsertAt(int index, const WideString& s, void* object);
  TUniListBox& list_;
};

class TUniListBox : public QListWidget, public TUniOwnerDraw {
public:
  explicit TUniListBox(QWidget* parent = nullptr);

  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle style);

  TUniListBoxStrings& Items() { return items_; }
  // The focused item; in a multi-select list the caret only, which selects nothing.
  int ItemIndex() const { return currentRow(); }
  void SetItemIndex(int index);
  int TopIndex() const;
  void SetTopIndex(int index);
  bool MultiSelect() const { return selectionMode() == QAbstractItemView::ExtendedSelection; }
  void SetMultiSelect(bool value);
  bool Sorted() const { return isSortingEnabled(); }
  void SetSorted(bool value);

protected:
  void DrawItem(int index, const TRect& rect, TOwnerDrawState state) override;
  bool VariableHeights() const override { return style_ == lbOwnerDrawVariable; }

private:
  TUniListBoxStrings items_{*this};
  TListBoxStyle style_ = lbStandard;
  QAbstractItemDelegate* standardDelegate_ = nullptr;
};
