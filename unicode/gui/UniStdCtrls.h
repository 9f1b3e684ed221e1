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
#include "unicode/UniStringList.h"

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

enum TComboBoxStyle { csDropDown, csDropDownList };

class TUniComboBox : public QComboBox {
public:
  explicit TUniComboBox(QWidget* parent = nullptr);

  TUniComboBoxStrings& Items() { return items_; }
  WideString Text() const;
  void SetText(const WideString& text);
  TComboBoxStyle Style() const { return isEditable() ? csDropDown : csDropDownList; }
  void SetStyle(TComboBoxStyle style);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index) { setCurrentIndex(index); }
  bool AutoComplete = true;
  bool AutoDropDown = false;
  bool AutoCloseUp = false;
  TNotifyEvent OnClick;
  TNotifyEvent OnSelect;

  // The type-ahead state of the list style.
  WideString TypeAheadText;
  int64_t LastTypeAheadTime = 0;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend class TUniComboBoxStrings;
  // True when the key was used up.
  bool HandleKey(QKeyEvent* event);
  bool SelectItem(const WideString& value);

  TUniComboBoxStrings items_{*this};
};

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

class TUniListBox : public QListWidget {
public:
  explicit TUniListBox(QWidget* parent = nullptr);

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

private:
  TUniListBoxStrings items_{*this};
};
