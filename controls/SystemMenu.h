#pragma once
// A popup menu's items offered in a form's window menu. No Linux window manager lets a program
// extend its window menu, so the form's context menu (right click, Menu key) stands in for it:
// a separator, then the popup's top-level items ("-" items as separators). Choosing an entry posts
// its command to the popup's dispatcher, which runs the item's click.
#include <QObject>
#include <QPointer>
#include <memory>

class QMenu;
class QWidget;
class TPopupMenu;

class TSystemMenu : public QObject {
public:
  // The form is the first window among owner and its parents.
  explicit TSystemMenu(QObject* owner);
  ~TSystemMenu() override;

  TPopupMenu* SystemMenu() const { return systemMenu_; }
  // Replaces the form's entries by menu's items; nullptr leaves the form's menu empty.
  void SetSystemMenu(TPopupMenu* menu);

  // The form's context menu.
  QMenu* FormMenu() const { return formMenu_.get(); }

protected:
  void customEvent(QEvent* event) override;

private:
  QPointer<QWidget> form_;
  QPointer<TPopupMenu> systemMenu_;
  std::unique_ptr<QMenu> formMenu_;
};
