#include "platform/gui/Menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> nextCommand{1};

TMenuItem* FindCommand(TMenuItem* item, int command) {
  if (item->Command() == command) return item;
  for (int i = 0; i < item->Count(); ++i)
    if (TMenuItem* found = FindCommand(item->Items(i), command)) return found;
  return nullptr;
}

void ChangeAll(TMenuItem* item) {
  item->MenuChanged();
  for (int i = 0; i < item->Count(); ++i) ChangeAll(item->Items(i));
}

}  // namespace

TMenuItem::TMenuItem(QObject* owner) : QObject(owner), command_(nextCommand++), action_(new QAction(this)) {
  connect(action_, &QAction::triggered, this, [this] {
    const QPointer<TMenuItem> self = this;  // a click may take its item away
    Click();
    // Qt turns a checkable entry over as it triggers; the item's own state is what it shows.
    if (self && action_->isChecked() != checked_) action_->setChecked(checked_);
  });
}

void TMenuItem::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  TurnSiblingsOff();
  MenuChanged();
}

void TMenuItem::TurnSiblingsOff() {
  if (!checked_ || !radioItem_ || !parent_) return;
  for (TMenuItem* sibling : parent_->items_)
    if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_) sibling->SetChecked(false);
}

void TMenuItem::SetRadioItem(bool value) {
  if (value == radioItem_) return;
  radioItem_ = value;
  // A radio item that joins its group checked leaves the group one checked item.
  TurnSiblingsOff();
  MenuChanged();
}

void TMenuItem::SetGroupIndex(int value) {
  if (value == groupIndex_) return;
  groupIndex_ = value;
  TurnSiblingsOff();
}

TMenuItem* TMenuItem::FindShortCut(TShortCut shortCut) {
  if (shortCut == 0) return nullptr;
  if (shortCut_ == shortCut && items_.empty()) return this;
  for (TMenuItem* item : items_)
    if (TMenuItem* found = item->FindShortCut(shortCut)) return found;
  return nullptr;
}

TMenuItem::~TMenuItem() {
  // Children first, while this item is whole.
  const std::vector<TMenuItem*> items = std::move(items_);
  items_.clear();
  for (TMenuItem* item : items) {
    item->parent_ = nullptr;
    delete item;
  }
  if (parent_) {
    auto& siblings = parent_->items_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(this);
}

QMenu* TMenuItem::ItemsMenu() {
  if (popup_) return popup_->menu_.get();
  if (!submenu_) {
    submenu_ = std::make_unique<QMenu>();
    action_->setMenu(submenu_.get());
  }
  return submenu_.get();
}

void TMenuItem::Add(TMenuItem* item) {
  if (!item || item == this) return;
  if (item->parent_) {
    auto& siblings = item->parent_->items_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
  }
  item->setParent(this);
  item->parent_ = this;
  items_.push_back(item);
  ItemsMenu()->addAction(item->action_);
  ChangeAll(item);
  MenuChanged();
}

TPopupMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* item = this;
  while (item->parent_) item = item->parent_;
  return item->popup_;
}

std::u16string TMenuItem::MenuString() const {
  if (!items_.empty() || shortCut_ == 0) return caption_;
  return caption_ + u'\t' + QKeySequence(shortCut_).toString(QKeySequence::NativeText).toStdU16String();
}

void TMenuItem::MenuChanged() {
  if (caption_ == u"-") {
    action_->setSeparator(true);
  } else {
    action_->setSeparator(false);
    action_->setText(QString::fromStdU16String(MenuString()));
  }
  QFont font = action_->font();
  font.setBold(default_);
  action_->setFont(font);
  action_->setEnabled(enabled_);
  action_->setVisible(visible_);
  // Only a checked item shows a mark, as an unchecked one shows none.
  action_->setCheckable(checked_);
  action_->setChecked(checked_);
  const TPopupMenu* menu = GetParentMenu();
  if (menu && menu->Images() && imageIndex_ >= 0 && imageIndex_ < menu->Images()->Count())
    action_->setIcon(QIcon(QPixmap::fromImage(menu->Images()->Image(imageIndex_))));
  else if (!bitmap_.isNull())
    action_->setIcon(QIcon(QPixmap::fromImage(bitmap_)));
  else
    action_->setIcon(QIcon());
}

TPopupMenu::TPopupMenu(QObject* owner) : QObject(owner), menu_(std::make_unique<QMenu>()), root_(new TMenuItem(this)) {
  root_->popup_ = this;
}

TPopupMenu::~TPopupMenu() {
  // The items go while their menu still exists.
  delete root_;
}

void TPopupMenu::SetImages(TImageList* images) {
  images_ = images;
  for (int i = 0; i < root_->Count(); ++i) ChangeAll(root_->Items(i));
}

void TPopupMenu::Popup(int x, int y) { menu_->popup(QPoint(x, y)); }

bool TPopupMenu::DispatchCommand(int command) {
  TMenuItem* item = FindCommand(root_, command);
  if (!item || item == root_) return false;
  item->Click();
  return true;
}

bool TPopupMenu::IsShortCut(TShortCut shortCut) {
  TMenuItem* item = root_->FindShortCut(shortCut);
  if (!item || item == root_) return false;
  for (const TMenuItem* up = item; up && up != root_; up = up->Parent())
    if (!up->Enabled()) return false;
  item->Click();
  return true;
}
