#pragma once
// Menu items with wide captions and hints, and their action links. Qt draws UTF-16 menus itself
// and follows the same "&" and "&&" rules, so an item writes its caption (and its shortcut's text
// after a TAB) into its QAction and leaves the drawing to Qt. The hot-key and shortcut-text
// routines, which menus share with buttons and hints, are UniHotkeys'.
#include <memory>

#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"
#include "unicode/gui/UniActnList.h"
#include "unicode/gui/UniHotkeys.h"

class TUniMenuActionLink;

class TUniMenuItem : public TMenuItem {
public:
  explicit TUniMenuItem(QObject* owner = nullptr);
  ~TUniMenuItem() override;

  // The item takes the action's caption, hint, state and shortcut, follows their changes while
  // they are linked, and runs the action when clicked (unless it has an OnClick of its own).
  TUniAction* Action() const;
  void SetAction(TUniAction* action);
  // Takes the action's values; with checkDefaults only into values the item has not set.
  virtual void ActionChange(TUniAction* action, bool checkDefaults);

  void Click() override;

protected:
  std::u16string MenuString() const override;

private:
  std::unique_ptr<TUniMenuActionLink> link_;
};

// The link of a menu item: captions compare without their hot-key marks and case.
class TUniMenuActionLink : public TUniActionLink {
public:
  TUniMenuActionLink(TUniAction* action, TUniMenuItem* client) : TUniActionLink(action), client_(client) {}
  bool IsCaptionLinked() const override;

protected:
  WideString ClientCaption() const override;
  void SetClientCaption(const WideString& caption) override;
  WideString ClientHint() const override;
  void SetClientHint(const WideString& hint) override;
  void SetClientEnabled(bool value) override;
  void SetClientVisible(bool value) override;
  bool ClientChecked() const override;
  void SetClientChecked(bool value) override;
  bool ClientCheckable() const override { return true; }
  bool InWindow(const QWidget* window) const override;

private:
  TUniMenuItem* client_;
};
