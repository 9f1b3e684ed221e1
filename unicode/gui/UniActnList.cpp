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

}  // namespace

// ---- the action ----

TUniAction::TUniAction(QObject* owner) : QObject(owner) {}

TUniAction::~TUniAction() {
  for (TUniActionLink* link : links_) link->action_ = nullptr;
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

void UniAction_Assign(TUniAction* action, const TUniAction& source) {
  if (!action || action == &source) return;
  action->SetCaption(source.Caption());
  action->SetHint(source.Hint());
  action->SetEnabled(source.Enabled());
  action->SetVisible(source.Visible());
  action->SetShortCut(source.ShortCut());
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
