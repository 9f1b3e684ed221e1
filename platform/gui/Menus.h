#pragma once
// The class library's popup menu and menu items over QMenu and QAction. A TMenuItem is a QAction
// of its parent's menu; one with items of its own carries a submenu.
#include <QImage>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Controls.h"

class QAction;
class QMenu;
class TImageList;
class TPopupMenu;

// A key with its modifiers, as Qt combines them (key | Qt::SHIFT | ...); 0 is none.
using TShortCut = int;

class TMenuItem : public QObject {
public:
  explicit TMenuItem(QObject* owner = nullptr);
  ~TMenuItem() override;

  const std::u16string& Caption() const { return caption_; }
  void SetCaption(const std::u16string& caption) {
    if (caption != caption_) Change(caption_, caption);
  }
  const std::u16string& Hint() const { return hint_; }
  void SetHint(const std::u16string& hint) { hint_ = hint; }
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut) {
    if (shortCut != shortCut_) Change(shortCut_, shortCut);
  }
  bool Default() const { return default_; }
  void SetDefault(bool value) { Change(default_, value); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { Change(enabled_, value); }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { Change(visible_, value); }
  // The image of the parent menu's Images, or -1.
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index) { Change(imageIndex_, index); }
  // A picture of the item's own, shown when it has no image of the list.
  const QImage& Bitmap() const { return bitmap_; }
  void SetBitmap(const QImage& bitmap) { Change(bitmap_, bitmap); }
  // Shown with a check mark. Checking a radio item unchecks the radio items of its parent that
  // have its group index.
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);

  // The number under which the menu's dispatcher knows the item; unique in the process.
  int Command() const { return command_; }

  TNotifyEvent OnClick;
  // The item's action: OnClick.
  virtual void Click();

  // The first item of this item's tree, itself included, whose shortcut is shortCut; nullptr
  // when none has it.
  TMenuItem* FindShortCut(TShortCut shortCut);

  // Appends item, which the menu then owns.
  void Add(TMenuItem* item);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  TMenuItem* Parent() const { return parent_; }
  TPopupMenu* GetParentMenu() const;

  // The platform's item.
  QAction* MenuAction() const { return action_; }
  // Writes caption, shortcut, state and image to the platform's item.
  void MenuChanged();

protected:
  // What the platform's item shows: the caption, and for an item without items that has a
  // shortcut, a TAB and the shortcut's text (QMenu shows it as the shortcut column).
  virtual std::u16string MenuString() const;

private:
  friend class TPopupMenu;
  QMenu* ItemsMenu();
  // A checked radio item unchecks the radio items of its parent in its group.
  void TurnSiblingsOff();
  // Keeps value in field and writes the item anew.
  template <class T>
  void Change(T& field, const T& value) {
    field = value;
    MenuChanged();
  }

  std::u16string caption_, hint_;
  TShortCut shortCut_ = 0;
  bool default_ = false, enabled_ = true, visible_ = true, checked_ = false, radioItem_ = false;
  int imageIndex_ = -1, groupIndex_ = 0;
  QImage bitmap_;
  int command_;
  QAction* action_;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TPopupMenu* popup_ = nullptr;     // set on a popup menu's root item
  std::unique_ptr<QMenu> submenu_;  // the menu of this item's items
};

class TPopupMenu : public QObject {
public:
  explicit TPopupMenu(QObject* owner = nullptr);
  ~TPopupMenu() override;

  // The root: its items are the menu's top-level items.
  TMenuItem* Items() const { return root_; }
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);

  // Shows the menu at (x, y) in screen coordinates.
  void Popup(int x, int y);
  QMenu* Menu() const { return menu_.get(); }

  // Runs Click of the item with that command number; false when no item has it.
  bool DispatchCommand(int command);
  // The key combination pressed (a TShortCut) is an item's shortcut: the item clicks when it and
  // every item above it are enabled. True when an item clicked.
  bool IsShortCut(TShortCut shortCut);

private:
  friend class TMenuItem;
  std::unique_ptr<QMenu> menu_;
  TMenuItem* root_;
  TImageList* images_ = nullptr;
};
