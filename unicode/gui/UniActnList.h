#pragma once
// Actions with wide captions and hints, and the links that carry them to controls and menu items.
// A client's caption (hint) is linked while it equals the action's: a change of the action then
// reaches it; a client given a caption of its own keeps it. A link reaches its client through
// the hooks of TUniActionLink, which each kind of client implements beside itself (the controls'
// link in UniControls, the menu items' in UniMenus): actions know no client.
#include <QObject>
#include <memory>
#include <vector>

#include "platform/gui/Controls.h"
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

class QWidget;
class TUniActionLink;

class TUniAction : public QObject {
public:
  explicit TUniAction(QObject* owner = nullptr);
  ~TUniAction() override;

  const WideString& Caption() const { return caption_; }
  void SetCaption(const WideString& caption);
  const WideString& Hint() const { return hint_; }
  void SetHint(const WideString& hint);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut) { shortCut_ = shortCut; }
  // The linked check boxes, radio buttons and menu items show it. Checking an action of a group
  // (GroupIndex above 0) unchecks the other actions of its owner in that group; an action
  // without an owner is in no group.
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  // Executing turns Checked over (an action of a group only on: its group keeps one checked).
  bool AutoCheck() const { return autoCheck_; }
  void SetAutoCheck(bool value) { autoCheck_ = value; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);

  TNotifyEvent OnExecute;
  // Runs OnExecute; false when there is none. An enabled action that checks itself is checked
  // or unchecked first.
  virtual bool Execute();

  // The actions that exist now, in the order they were made.
  static const std::vector<TUniAction*>& All();

private:
  friend class TUniActionLink;
  friend bool UniAction_IsShortCut(const QWidget* window, TShortCut shortCut);
  friend WideString UniAction_GetNewCaption(const TUniAction* action, const WideString& defaultValue);
  friend WideString UniAction_GetNewHint(const TUniAction* action, const WideString& defaultValue);
  // Changes text to value, the links following through tell while changing is set and next
  // holds value.
  void ChangeText(WideString& text, bool& changing, WideString& next, const WideString& value,
                  void (TUniActionLink::*tell)(const WideString&));
  WideString caption_, hint_;
  bool enabled_ = true, visible_ = true, checked_ = false, autoCheck_ = false;
  int groupIndex_ = 0;
  TShortCut shortCut_ = 0;
  std::vector<TUniActionLink*> links_;
  // While the clients follow a change: the new values.
  bool changingCaption_ = false, changingHint_ = false;
  WideString newCaption_, newHint_;
};

// The new caption (hint) while the action's clients are being changed, else defaultValue.
WideString UniAction_GetNewCaption(const TUniAction* action, const WideString& defaultValue);
WideString UniAction_GetNewHint(const TUniAction* action, const WideString& defaultValue);

// Runs the action whose shortcut was pressed in window: one with that shortcut that window owns
// or one of whose clients is in it. An enabled one executes, once; true when it did.
bool UniAction_IsShortCut(const QWidget* window, TShortCut shortCut);

// A linked client was checked or unchecked by the user: the action follows, then executes (an
// action that checks itself as it executes is left to do so).
void UniAction_ClientClicked(TUniAction* action, bool checked);

// Takes source's caption, hint, enabled and visible states and short cut into action; its clients
// follow as they follow any change. Assigning an action to itself changes nothing.
void UniAction_Assign(TUniAction* action, const TUniAction& source);

// One client's bond to an action. The action tells its links of every change (before it keeps
// the new value, so that a link compares the client with the old one) and of its end.
class TUniActionLink {
public:
  explicit TUniActionLink(TUniAction* action);
  virtual ~TUniActionLink();
  TUniActionLink(const TUniActionLink&) = delete;
  TUniActionLink& operator=(const TUniActionLink&) = delete;

  TUniAction* Action() const { return action_; }

  virtual bool IsCaptionLinked() const;
  virtual bool IsHintLinked() const;
  void SetCaption(const WideString& value);
  void SetHint(const WideString& value);
  void SetEnabled(const bool& value) { if (action_) SetClientEnabled(value); }
  void SetVisible(const bool& value) { if (action_) SetClientVisible(value); }
  // A client that shows the action's checked state while it shows the same as the action.
  virtual bool IsCheckedLinked() const;
  void SetChecked(bool value);
  // The client is a control or entry of window (a menu item: of a menu that window owns).
  virtual bool InWindow(const QWidget* window) const = 0;

protected:
  virtual WideString ClientCaption() const = 0;
  virtual void SetClientCaption(const WideString& caption) = 0;
  virtual WideString ClientHint() const = 0;
  virtual void SetClientHint(const WideString& hint) = 0;
  virtual void SetClientEnabled(bool value) = 0;
  virtual void SetClientVisible(bool value) = 0;
  // Clients without a checked state have none to show.
  virtual bool ClientChecked() const { return false; }
  virtual void SetClientChecked(bool) {}
  virtual bool ClientCheckable() const { return false; }

private:
  friend class TUniAction;
  TUniAction* action_;
};

// The link of control, kept as a child of the control so that it goes with the control; a link
// given replaces the one before (nullptr: the control is unlinked). UniControl_SetAction makes
// the link.
void UniControl_SetActionLink(QWidget* control, std::unique_ptr<TUniActionLink> link);
// The action control is linked to, or nullptr.
TUniAction* UniControl_GetAction(const QWidget* control);
