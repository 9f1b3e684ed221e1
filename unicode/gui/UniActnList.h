#pragma once
// Actions with wide captions and hints, and the links that carry them to controls and menu items.
// A client's caption (hint) is linked while it equals the action's: a change of the action then
// reaches it; a client given a caption of its own keeps it.
#include <QObject>
#include <QPointer>
#include <vector>

#include "platform/gui/Controls.h"
#include "platform/gui/Menus.h"
#include "unicode/UniTypes.h"

class QWidget;
class TUniActionLink;
class TUniMenuItem;

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

  TNotifyEvent OnExecute;
  // Runs OnExecute; false when there is none.
  bool Execute();

private:
  friend class TUniActionLink;
  friend WideString UniAction_GetNewCaption(const TUniAction* action, const WideString& defaultValue);
  friend WideString UniAction_GetNewHint(const TUniAction* action, const WideString& defaultValue);
  WideString caption_, hint_;
  bool enabled_ = true, visible_ = true;
  TShortCut shortCut_ = 0;
  std::vector<TUniActionLink*> links_;
  // While the clients follow a change: the new values.
  bool changingCaption_ = false, changingHint_ = false;
  WideString newCaption_, newHint_;
};

// The new caption (hint) while the action's clients are being changed, else defaultValue.
WideString UniAction_GetNewCaption(const TUniAction* action, const WideString& defaultValue);
WideString UniAction_GetNewHint(const TUniAction* action, const WideString& defaultValue);

// Takes source's caption, hint, enabled and visible states and short cut into action; its clients
// follow as they follow any change. Assigning an action to itself changes nothing.
void UniAction_Assign(TUniAction* action, const TUniAction& source);
// Takes a control's wide text (as the caption) and hint into action.
void UniAction_Assign(TUniAction* action, const QWidget& source);

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

protected:
  virtual WideString ClientCaption() const = 0;
  virtual void SetClientCaption(const WideString& caption) = 0;
  virtual WideString ClientHint() const = 0;
  virtual void SetClientHint(const WideString& hint) = 0;
  virtual void SetClientEnabled(bool value) = 0;
  virtual void SetClientVisible(bool value) = 0;

private:
  friend class TUniAction;
  TUniAction* action_;
};

// The link of a control: its text, hint, enabled and visible states.
class TUniControlActionLink : public TUniActionLink {
public:
  TUniControlActionLink(TUniAction* action, QWidget* client) : TUniActionLink(action), client_(client) {}

protected:
  WideString ClientCaption() const override;
  void SetClientCaption(const WideString& caption) override;
  WideString ClientHint() const override;
  void SetClientHint(const WideString& hint) override;
  void SetClientEnabled(bool value) override;
  void SetClientVisible(bool value) override;

private:
  QPointer<QWidget> client_;
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

private:
  TUniMenuItem* client_;
};

// Links control to action (nullptr: unlinks it) and takes the action's values.
void UniControl_SetAction(QWidget* control, TUniAction* action);
TUniAction* UniControl_GetAction(const QWidget* control);
// Takes the action's caption, hint, enabled and visible states into control; with
// checkDefaults only into values the control has not set (a caption equal to the control's name
// counts as not set).
void UniControl_ActionChange(QWidget* control, TUniAction* action, bool checkDefaults);
