#include "unicode/gui/UniActnList.h"

#include <QWidget>
#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr char holderName[] = "mirelconActionLink";

// Keeps a control's link as a child of the control, so that it goes with the control.
class TLinkHolder : public QObject {
public:
  TLinkHolder(QWidget* control, std::unique_ptr<TUniActionLink> link) : QObject(control), link(std::move(link)) {
    setObjectName(QString::fromLatin1(holderName));
  }
  std::unique_ptr<TUniActionLink> link;
};

TLinkHolder* HolderOf(const QWidget* control) {
  if (!control) return nullptr;
  return dynamic_cast<TLinkHolder*>(
      control->findChild<QObject*>(QString::fromLatin1(holderName), Qt::FindDirectChildrenOnly));
}

std::vector<TUniAction*>& Actions() {
  static std::vector<TUniAction*> actions;
  return actions;
}

bool Owns(const QWidget* window, const QObject* object) {
  for (const QObject* o = object; o; o = o->parent())
    if (const auto* w = qobject_cast<const QWidget*>(o)) return w->window() == window;
  return false;
}

}  // namespace

// ---- the action ----

TUniAction::TUniAction(QObject* owner) : QObject(owner) { Actions().push_back(this); }

TUniAction::~TUniAction() {
  for (TUniActionLink* link : links_) link->action_ = nullptr;
  auto& actions = Actions();
  actions.erase(std::remove(actions.begin(), actions.end(), this), actions.end());
}

const std::vector<TUniAction*>& TUniAction::All() { return Actions(); }

void TUniAction::SetChecked(bool value) {
  if (value == checked_) return;
  // The links compare their clients with the state before the change.
  const std::vector<TUniActionLink*> links = links_;
  for (TUniActionLink* link : links) link->SetChecked(value);
  checked_ = value;
  // A group is one of the actions of one owner.
  if (!value || groupIndex_ <= 0 || !parent()) return;
  const std::vector<TUniAction*> actions = Actions();
  for (TUniAction* other : actions)
    if (other != this && other->groupIndex_ == groupIndex_ && other->parent() == parent()) other->SetChecked(false);
}

void TUniAction::SetGroupIndex(int value) {
  if (value == groupIndex_) return;
  groupIndex_ = value;
  // Joining a group checked leaves the group one checked action.
  if (checked_ && value > 0) {
    checked_ = false;
    SetChecked(true);
  }
}

void TUniAction::ChangeText(WideString& text, bool& changing, WideString& next, const WideString& value,
                            void (TUniActionLink::*tell)(const WideString&)) {
  if (value == text) return;
  changing = true;
  next = value;
  // The links compare their clients with the text before the change.
  const std::vector<TUniActionLink*> links = links_;
  for (TUniActionLink* link : links) (link->*tell)(value);
  text = value;
  changing = false;
  next.clear();
}

void TUniAction::SetCaption(const WideString& caption) {
  ChangeText(caption_, changingCaption_, newCaption_, caption, &TUniActionLink::SetCaption);
}

void TUniAction::SetHint(const WideString& hint) {
  ChangeText(hint_, changingHint_, newHint_, hint, &TUniActionLink::SetHint);
}

void TUniAction::SetEnabled(bool value) {
  if (value == enabled_) return;
  const std::vector<TUniActionLink*> links = links_;
  for (TUniActionLink* link : links) link->SetEnabled(value);
  enabled_ = value;
}

void TUniAction::SetVisible(bool value) {
  if (value == visible_) return;
  const std::vector<TUniActionLink*> links = links_;
  for (TUniActionLink* link : links) link->SetVisible(value);
  visible_ = value;
}

bool TUniAction::Execute() {
  if (enabled_ && autoCheck_ && (!checked_ || groupIndex_ == 0)) SetChecked(!checked_);
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

WideString UniAction_GetNewCaption(const TUniAction* action, const WideString& defaultValue) {
  return action && action->changingCaption_ ? action->newCaption_ : defaultValue;
}

WideString UniAction_GetNewHint(const TUniAction* action, const WideString& defaultValue) {
  return action && action->changingHint_ ? action->newHint_ : defaultValue;
}

bool UniAction_IsShortCut(const QWidget* window, TShortCut shortCut) {
  if (!window || shortCut == 0) return false;
  const std::vector<TUniAction*> actions = Actions();
  for (TUniAction* action : actions) {
    if (action->ShortCut() != shortCut || !action->Enabled()) continue;
    bool here = Owns(window, action);
    for (const TUniActionLink* link : action->links_) here = here || link->InWindow(window);
    if (!here) continue;
    action->Execute();
    return true;
  }
  return false;
}

void UniAction_ClientClicked(TUniAction* action, bool checked) {
  if (!action || !action->Enabled()) return;
  if (!action->AutoCheck()) action->SetChecked(checked);
  action->Execute();
}

void UniAction_Assign(TUniAction* action, const TUniAction& source) {
  if (!action || action == &source) return;
  action->SetCaption(source.Caption());
  action->SetHint(source.Hint());
  action->SetEnabled(source.Enabled());
  action->SetVisible(source.Visible());
  action->SetShortCut(source.ShortCut());
  action->SetAutoCheck(source.AutoCheck());
  action->SetGroupIndex(source.GroupIndex());
  action->SetChecked(source.Checked());
}

// ---- links ----

TUniActionLink::TUniActionLink(TUniAction* action) : action_(action) {
  if (action_) action_->links_.push_back(this);
}

TUniActionLink::~TUniActionLink() {
  if (!action_) return;
  auto& links = action_->links_;
  links.erase(std::remove(links.begin(), links.end(), this), links.end());
}

bool TUniActionLink::IsCaptionLinked() const { return action_ && ClientCaption() == action_->Caption(); }

bool TUniActionLink::IsHintLinked() const { return action_ && ClientHint() == action_->Hint(); }

bool TUniActionLink::IsCheckedLinked() const {
  return action_ && ClientCheckable() && ClientChecked() == action_->Checked();
}

void TUniActionLink::SetChecked(bool value) {
  if (IsCheckedLinked()) SetClientChecked(value);
}

void TUniActionLink::SetCaption(const WideString& value) {
  if (IsCaptionLinked()) SetClientCaption(UniAction_GetNewCaption(action_, value));
}

void TUniActionLink::SetHint(const WideString& value) {
  if (IsHintLinked()) SetClientHint(UniAction_GetNewHint(action_, value));
}

// ---- controls ----

void UniControl_SetActionLink(QWidget* control, std::unique_ptr<TUniActionLink> link) {
  if (!control) return;
  delete HolderOf(control);
  if (link) new TLinkHolder(control, std::move(link));
}

TUniAction* UniControl_GetAction(const QWidget* control) {
  const TLinkHolder* holder = HolderOf(control);
  return holder ? holder->link->Action() : nullptr;
}
