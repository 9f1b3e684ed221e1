#include "unicode/gui/UniMenus.h"

#include <QWidget>

#include "unicode/gui/UniForms.h"

TUniMenuItem::TUniMenuItem(QObject* owner) : TMenuItem(owner) {
  // The companion publishes the hint of the highlighted item; it must be there when the menu shows.
  UniApplication();
}

TUniMenuItem::~TUniMenuItem() = default;

TUniAction* TUniMenuItem::Action() const { return link_ ? link_->Action() : nullptr; }

void TUniMenuItem::SetAction(TUniAction* action) {
  link_.reset();
  if (!action) return;
  link_ = std::make_unique<TUniMenuActionLink>(action, this);
  ActionChange(action, false);
}

void TUniMenuItem::ActionChange(TUniAction* action, bool checkDefaults) {
  if (!action) return;
  if (!checkDefaults || Caption().empty()) SetCaption(action->Caption());
  if (!checkDefaults || Hint().empty()) SetHint(action->Hint());
  if (!checkDefaults || Enabled()) SetEnabled(action->Enabled());
  if (!checkDefaults || Visible()) SetVisible(action->Visible());
  if (!checkDefaults || ShortCut() == 0) SetShortCut(action->ShortCut());
  if (!checkDefaults || GroupIndex() == 0) SetGroupIndex(action->GroupIndex());
  if (!checkDefaults || !Checked()) SetChecked(action->Checked());
}

void TUniMenuItem::Click() {
  if (!OnClick && Action()) {
    if (Enabled()) Action()->Execute();
    return;
  }
  TMenuItem::Click();
}

std::u16string TUniMenuItem::MenuString() const {
  if (Count() > 0 || ShortCut() == 0) return Caption();
  return Caption() + u'\t' + WideShortCutToText(ShortCut());
}

bool TUniMenuActionLink::IsCaptionLinked() const {
  return Action() && WideSameCaption(client_->Caption(), Action()->Caption());
}
WideString TUniMenuActionLink::ClientCaption() const { return client_->Caption(); }
void TUniMenuActionLink::SetClientCaption(const WideString& caption) { client_->SetCaption(caption); }
WideString TUniMenuActionLink::ClientHint() const { return client_->Hint(); }
void TUniMenuActionLink::SetClientHint(const WideString& hint) { client_->SetHint(hint); }
void TUniMenuActionLink::SetClientEnabled(bool value) { client_->SetEnabled(value); }
void TUniMenuActionLink::SetClientVisible(bool value) { client_->SetVisible(value); }
bool TUniMenuActionLink::ClientChecked() const { return client_->Checked(); }
void TUniMenuActionLink::SetClientChecked(bool value) { client_->SetChecked(value); }
bool TUniMenuActionLink::InWindow(const QWidget* window) const {
  const TPopupMenu* menu = client_->GetParentMenu();
  for (const QObject* o = menu; o; o = o->parent())
    if (const auto* w = qobject_cast<const QWidget*>(o)) return w->window() == window;
  return false;
}
