#include "htmlview/forms/HtmlForms.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "htmlview/forms/HtmlFormSelect.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleUn.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/URLSubs.h"

namespace htmlview {

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string W(const QString& s) { return s.toStdU16String(); }

class TFormEventsHolder : public QObject {
public:
  explicit TFormEventsHolder(QObject* parent) : QObject(parent) { setObjectName(QStringLiteral("htFormEvents")); }
  TFormEvents Events;
};

bool SameText(const std::u16string& a, const std::u16string& b) { return WideLowerCase(a) == WideLowerCase(b); }

uint16_t ArrowKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    default: return 0;
  }
}

TShiftState ShiftOf(Qt::KeyboardModifiers m) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  return s;
}

// A scratch canvas for sizing when the caller has none.
struct TScratchCanvas {
  QImage image{1, 1, QImage::Format_ARGB32};
  TCanvas canvas{&image};
};

}  // namespace

int ClampCount(int value) { return std::clamp(value, 1, 1000); }

TFormEvents& FormEvents(QWidget* paintPanel) {
  static TFormEvents shared;
  if (!paintPanel) return shared;
  auto* holder = paintPanel->findChild<TFormEventsHolder*>(QStringLiteral("htFormEvents"), Qt::FindDirectChildrenOnly);
  if (!holder) holder = new TFormEventsHolder(paintPanel);
  return holder->Events;
}

void TDocumentFormsDeleter::operator()(TDocumentForms* forms) const { delete forms; }

TDocumentForms& DocumentForms(ThtDocument* document) {
  if (!document->Forms) document->Forms.reset(new TDocumentForms);
  return *document->Forms;
}

ThtmlForm* StartForm(ThtDocument* document, const TAttributeList* attributes) {
  TDocumentForms& forms = DocumentForms(document);
  forms.Forms.push_back(std::make_unique<ThtmlForm>(document, attributes));
  forms.CurrentForm = forms.Forms.back().get();
  return forms.CurrentForm;
}

namespace {
TDocumentForms* FindDocumentForms(ThtDocument* document) { return document->Forms.get(); }
}  // namespace

void EndForm(ThtDocument* document) {
  if (TDocumentForms* found = FindDocumentForms(document)) found->CurrentForm = nullptr;
}

void FinishFormControl(TFormControlObj* control, TProperties& props) {
  if (!control) return;
  control->ProcessProperties(props);
  TScratchCanvas scratch;
  control->SetHeightWidth(scratch.canvas);
}

// ---- the form ----

ThtmlForm::ThtmlForm(ThtDocument* master, const TAttributeList* attributes) : MasterList(master) {
  if (!attributes) return;
  for (const auto& a : *attributes) {
    switch (a->Which) {
      case MethodSy: Method = a->Name; break;
      case ActionSy: Action = a->Name; break;
      case TargetSy: Target = a->Name; break;
      case EnctypeSy: EncType = a->Name; break;
      default: break;
    }
  }
}

void ThtmlForm::InsertControl(TFormControlObj* ctrl) {
  ControlList.push_back(ctrl);
  if (!dynamic_cast<THiddenFormControlObj*>(ctrl)) ++NonHiddenCount;
}

std::vector<TRadioButtonFormControlObj*> ThtmlForm::RadioGroup(const std::u16string& name) const {
  std::vector<TRadioButtonFormControlObj*> group;
  for (TFormControlObj* c : ControlList)
    if (auto* r = dynamic_cast<TRadioButtonFormControlObj*>(c); r && SameText(r->Name, name)) group.push_back(r);
  return group;
}

void ThtmlForm::DoRadios(TRadioButtonFormControlObj* radio) {
  if (radio->Name.empty()) return;
  for (TRadioButtonFormControlObj* other : RadioGroup(radio->Name)) {
    if (other == radio) continue;
    other->RadioButton()->SetChecked(false);
    other->SetTabStop(false);
    other->Repaint();
  }
}

bool ThtmlForm::ControlKeyDown(QObject* sender, uint16_t& key, TShiftState shift) {
  auto* button = dynamic_cast<TFormRadioButton*>(sender);
  if (button && key >= 37 && key <= 40) {
    TRadioButtonFormControlObj* me = nullptr;
    for (TFormControlObj* c : ControlList)
      if (auto* r = dynamic_cast<TRadioButtonFormControlObj*>(c); r && r->RadioButton() == button) me = r;
    if (!me) return false;
    const std::vector<TRadioButtonFormControlObj*> group = RadioGroup(me->Name);
    const auto at = std::find(group.begin(), group.end(), me) - group.begin();
    // The ends of the group keep the focus: arrows do not wrap.
    const auto to = key == 37 || key == 38 ? at - 1 : at + 1;
    if (to >= 0 && to < static_cast<std::ptrdiff_t>(group.size()))
      group[static_cast<size_t>(to)]->RadioButton()->setFocus(Qt::OtherFocusReason);
    key = 0;
    return true;
  }
  TFormEvents& events = FormEvents(MasterList ? MasterList->PaintPanel : nullptr);
  if (events.OnKeyDown) events.OnKeyDown(sender, key, shift);
  return false;
}

void ThtmlForm::ControlKeyPress(QObject* sender, char16_t& key) {
  if (key == 13 && dynamic_cast<ThtEdit*>(sender)) {
    SubmitTheForm(u"");
    key = 0;
  }
}

void ThtmlForm::ResetControls() {
  for (TFormControlObj* c : ControlList) c->ResetToValue();
}

namespace {
void Collect(TFormControlObj* c, std::vector<std::u16string>& out) {
  std::u16string s;
  for (int i = 0;; ++i) {
    s.clear();
    if (!c->GetSubmission(i, s)) break;
    if (!s.empty()) out.push_back(s);
  }
}
}  // namespace

std::vector<std::u16string> ThtmlForm::GetFormSubmission() {
  std::vector<std::u16string> out;
  for (TFormControlObj* c : ControlList) Collect(c, out);
  return out;
}

// ---- form data of the history ----

void ThtDocument::SetFormSizes(TCanvas& canvas) {
  if (TDocumentForms* forms = FindDocumentForms(this))
    for (const auto& form : forms->Forms) form->SetSizes(canvas);
}

std::unique_ptr<TFormData> ThtDocument::GetFormData() {
  TDocumentForms* forms = FindDocumentForms(this);
  if (!forms || forms->Forms.empty()) return nullptr;
  auto data = std::make_unique<TFormData>();
  std::vector<std::u16string> pairs;
  for (const auto& form : forms->Forms) {
    auto& saved = data->emplace_back();
    for (TFormControlObj* fc : form->ControlList) {
      pairs.clear();
      Collect(fc, pairs);
      auto& values = saved.emplace_back();
      // The name is the control's own: only what follows it is the value.
      const std::u16string prefix = fc->Name + u"=";
      for (const auto& p : pairs) values.push_back(p.starts_with(prefix) ? p.substr(prefix.size()) : p);
    }
  }
  return data;
}

void ThtDocument::SetFormData(const TFormData& data) {
  TDocumentForms* forms = FindDocumentForms(this);
  if (!forms) return;
  for (size_t i = 0; i < forms->Forms.size() && i < data.size(); ++i) {
    const TFormControlObjList& controls = forms->Forms[i]->ControlList;
    const auto& saved = data[i];
    // A page changed since it was left: its values no longer belong to these controls.
    if (saved.size() != controls.size()) continue;
    for (TFormControlObj* c : controls) c->SetDataInit();
    for (size_t k = 0; k < controls.size(); ++k)
      for (size_t j = 0; j < saved[k].size(); ++j)
        controls[k]->SetData(static_cast<int>(j), saved[k][j]);
  }
}

void ThtmlForm::SubmitTheForm(const std::u16string& buttonSubmission) {
  if (!MasterList) return;
  auto hook = FormEvents(MasterList->PaintPanel).OnFormSubmit;
  if (!hook) return;
  std::vector<std::u16string> results;
  for (TFormControlObj* fc : ControlList)
    if (!fc->Disabled) Collect(fc, results);
  if (!buttonSubmission.empty()) results.push_back(buttonSubmission);
  // The page may be replaced by the handler: the click that got here returns first.
  QMetaObject::invokeMethod(
      &DocumentForms(MasterList),
      [hook, action = Action, target = Target, enc = EncType, method = Method, results] {
        hook(action, target, enc, method, results);
      },
      Qt::QueuedConnection);
}

void ThtmlForm::SetSizes(TCanvas& canvas) {
  for (TFormControlObj* c : ControlList) c->SetHeightWidth(canvas);
}

// ---- the watcher ----

bool TControlWatcher::eventFilter(QObject* watched, QEvent* event) {
  QWidget* control = owner_.GetControl();
  const bool onControl = watched == control;
  switch (event->type()) {
    case QEvent::FocusIn:
      if (onControl) owner_.EnterEvent();
      break;
    case QEvent::FocusOut:
      if (onControl) owner_.ExitEvent();
      break;
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(event);
      if (owner_.MasterList && owner_.MasterList->Viewer && control) {
        // In the control's coordinates, also for a move over its viewport.
        QPoint p = me->position().toPoint();
        if (auto* w = qobject_cast<QWidget*>(watched); w && w != control && control->isAncestorOf(w))
          p = w->mapTo(control, p);
        owner_.MasterList->Viewer->ControlMouseMove(control, ShiftOf(me->modifiers()), p.x(), p.y());
      }
      break;
    }
    case QEvent::MouseButtonRelease:
      if (!onControl && owner_.clickByMouse_) owner_.FormControlClick();
      break;
    case QEvent::KeyPress: {
      if (!onControl || !owner_.MyForm) break;
      auto* ke = static_cast<QKeyEvent*>(event);
      if (uint16_t key = ArrowKey(ke->key());
          key && (dynamic_cast<TFormRadioButton*>(control) || dynamic_cast<TFormCheckBox*>(control))) {
        if (owner_.MyForm->ControlKeyDown(control, key, ShiftOf(ke->modifiers())) || key == 0) return true;
      }
      if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) && dynamic_cast<ThtEdit*>(control)) {
        char16_t ch = 13;
        owner_.MyForm->ControlKeyPress(control, ch);
        if (ch == 0) return true;
      }
      break;
    }
    default:
      break;
  }
  return false;
}

// ---- the control base ----

TFormControlObj::TFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes)
    : MasterList(document), Pos(pos) {
  if (document) {
    TDocumentForms& forms = DocumentForms(document);
    MyForm = forms.CurrentForm ? forms.CurrentForm : StartForm(document, nullptr);
    // An implicit form stays open for the controls that follow.
  }
  if (!attributes) return;
  for (const auto& a : *attributes) {
    switch (a->Which) {
      case NameSy: Name = a->Name; break;
      case IdSy: ID = a->Name; break;
      case TitleSy: Title = a->Name; break;
      case ValueSy: Value = a->Name; break;
      case OnblurSy: OnBlurMessage = a->Name; break;
      case OnchangeSy: OnChangeMessage = a->Name; break;
      case OnclickSy: OnClickMessage = a->Name; break;
      case OnfocusSy: OnFocusMessage = a->Name; break;
      case ReadonlySy: ReadOnly = true; break;
      case DisabledSy: Disabled = !(WideLowerCase(a->Name) == u"no" || a->Name == u"0"); break;
      case TabindexSy: TabIndex = a->Value; break;
      default: break;
    }
  }
  if (auto list = attributes->CreateStringList())
    for (int i = 0; i < list->Count(); ++i) FormAttributes.push_back(list->Get(i));
  if (!ID.empty() && document) document->IdentifierList.AddObject(ID, this);
}

std::u16string TFormControlObj::Attribute(const std::u16string& name) const {
  const std::u16string key = WideLowerCase(name) + u"=";
  for (const auto& line : FormAttributes)
    if (line.size() >= key.size() && WideLowerCase(line.substr(0, key.size())) == key) return line.substr(key.size());
  return {};
}

TFormEvents& TFormControlObj::Events() const { return FormEvents(MasterList ? MasterList->PaintPanel : nullptr); }

int TFormControlObj::PixelsPerInch() const {
  if (int ppi = Events().PixelsPerInch; ppi > 0) return ppi;
  if (QScreen* screen = QGuiApplication::primaryScreen()) return static_cast<int>(screen->logicalDotsPerInch());
  return 96;
}

void TFormControlObj::AdoptControl(std::unique_ptr<QWidget> control, TProperties& props, bool clickByMouse) {
  control_ = std::move(control);
  alive_ = control_.get();
  clickByMouse_ = clickByMouse;
  if (MasterList && MasterList->PaintPanel) control_->setParent(MasterList->PaintPanel);
  MoveOffPanel(*control_, 0);
  font_ = props.GetFont().Font;
  control_->setFont(font_);
  control_->setEnabled(!Disabled);
  if (!Title.empty()) control_->setToolTip(Q(Title));
  watcher_ = std::make_unique<TControlWatcher>(*this);
  control_->installEventFilter(watcher_.get());
  control_->setMouseTracking(true);
  if (auto* area = dynamic_cast<QAbstractScrollArea*>(control_.get())) {
    area->viewport()->installEventFilter(watcher_.get());
    area->viewport()->setMouseTracking(true);
  }
  if (TabIndex > 0 && MasterList) MasterList->AddTabIndex(TabIndex, control_.get());
  if (control_->parentWidget()) control_->show();
}

bool TFormControlObj::TabStop() const { return control_ && (control_->focusPolicy() & Qt::TabFocus); }

int TFormControlObj::TabOrder() const {
  if (!control_ || !control_->parentWidget()) return -1;
  const std::vector<QWidget*> chain = PanelTabChain(control_->parentWidget());
  const auto at = std::find(chain.begin(), chain.end(), control_.get());
  return at == chain.end() ? -1 : static_cast<int>(at - chain.begin());
}

void TFormControlObj::SetTabOrder(int order) {
  if (!control_ || !control_->parentWidget()) return;
  std::vector<QWidget*> chain = PanelTabChain(control_->parentWidget());
  chain.erase(std::remove(chain.begin(), chain.end(), control_.get()), chain.end());
  const auto at = static_cast<std::ptrdiff_t>(std::clamp<long long>(order, 0, static_cast<long long>(chain.size())));
  chain.insert(chain.begin() + at, control_.get());
  for (size_t i = 1; i < chain.size(); ++i) LinkTabOrder(chain[i - 1], chain[i]);
}

void TFormControlObj::SetTabStop(bool value) {
  if (control_) control_->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}

void TFormControlObj::Repaint() {
  if (control_) control_->update();
}

void TFormControlObj::DrawFrame(TCanvas& canvas, int x, int y, bool sunken) {
  FormControlRect(canvas, x, y, x + Width(), y + Height(), clWhite, false, true, !sunken, Events().MonochromePrinter);
}

void TFormControlObj::Draw(TCanvas& canvas, int x, int y) { DrawFrame(canvas, x, y); }

namespace {
struct TBoxResult {
  int ml = IntNull, mr = IntNull, mt = IntNull, mb = IntNull;
  int bl = 0, br = 0, bt = 0, bb = 0;
};

TBoxResult BoxOf(TProperties& props) {
  const TMarginArray m = InlineMargins(props, 100, 200);
  TBoxResult r;
  auto given = [](int v) { return v != IntNull && v != Auto ? v : IntNull; };
  r.ml = given(m[MarginLeft]);
  r.mr = given(m[MarginRight]);
  r.mt = given(m[MarginTop]);
  r.mb = given(m[MarginBottom]);
  if (props.HasBorderStyle()) {
    auto width = [](int v) { return v == IntNull || v == Auto ? 0 : std::clamp(v, 0, MaxWidgetSize); };
    r.bl = width(m[BorderLeftWidth]);
    r.br = width(m[BorderRightWidth]);
    r.bt = width(m[BorderTopWidth]);
    r.bb = width(m[BorderBottomWidth]);
  }
  return r;
}
}  // namespace

void TFormControlObj::ProcessProperties(TProperties& props) {
  const TBoxResult box = BoxOf(props);
  if (box.ml != IntNull) MarginLeft = std::clamp(box.ml, 0, MaxWidgetSize);
  if (box.mr != IntNull) MarginRight = std::clamp(box.mr, 0, MaxWidgetSize);
  if (box.mt != IntNull) MarginTop = std::clamp(box.mt, 0, MaxWidgetSize);
  if (box.mb != IntNull) MarginBottom = std::clamp(box.mb, 0, MaxWidgetSize);
  HasBorderStyle = props.HasBorderStyle();
  if (HasBorderStyle) {
    BorderLeft = box.bl;
    BorderRight = box.br;
    BorderTop = box.bt;
    BorderBottom = box.bb;
    MarginLeft = ClampWidgetSize(static_cast<long long>(MarginLeft) + box.bl);
    MarginRight = ClampWidgetSize(static_cast<long long>(MarginRight) + box.br);
    MarginTop = ClampWidgetSize(static_cast<long long>(MarginTop) + box.bt);
    MarginBottom = ClampWidgetSize(static_cast<long long>(MarginBottom) + box.bb);
  }
  const TMyFont& font = props.GetFont();
  auto written = [&](int index) -> std::u16string {
    const auto* w = std::get_if<std::u16string>(&props.Props[static_cast<size_t>(index)]);
    return w ? LowerW(TrimW(*w)) : std::u16string();
  };
  if (const std::u16string w = written(piWidth); !w.empty() && w != u"auto") {
    const int v = LengthConv(w, false, 100, 0, font.EmSize, font.ExSize);
    if (v > 0) {
      SpecWidth = ClampWidgetSize(v);
      PercentWidth = w.find(u'%') != std::u16string::npos && v <= 100;
    }
  }
  if (const std::u16string h = written(piHeight); !h.empty() && h != u"auto") {
    const int v = LengthConv(h, false, 200, 0, font.EmSize, font.ExSize);
    if (v > 0) SpecHeight = ClampWidgetSize(static_cast<long long>(v) - BorderTop - BorderBottom);
  }
  if (props.OwnFlags[VerticalAlign]) {
    const int va = props.GetVertAlign();
    VertAlign = va == 1 ? ATop : va == 2 ? AMiddle : va == 4 ? ABottom : ABaseline;
  }
  if (const TColor bg = props.GetBackgroundColor(); bg != clNone) BkColor = bg;
}

void TFormControlObj::EnterEvent() {
  if (!MasterList || MasterList->BeingDestroyed) return;
  Active = true;
  if (MasterList->Viewer) {
    MasterList->Viewer->RepaintPanel();
    MasterList->Viewer->ScrollFocusInto(YValue, Height());
  }
  TFormEvents& events = Events();
  if (events.OnObjectFocus && !OnFocusMessage.empty()) events.OnObjectFocus(this, OnFocusMessage);
  if (!OnChangeMessage.empty()) SaveContents();
}

void TFormControlObj::ExitEvent() {
  if (!MasterList || MasterList->BeingDestroyed) return;
  Active = false;
  if (!OnChangeMessage.empty()) DoOnChange();
  TFormEvents& events = Events();
  if (events.OnObjectBlur && !OnBlurMessage.empty()) events.OnObjectBlur(this, OnBlurMessage);
  if (MasterList->Viewer) MasterList->Viewer->RepaintPanel();
}

void TFormControlObj::FormControlClick() {
  TFormEvents& events = Events();
  if (events.OnObjectClick) events.OnObjectClick(this, OnClickMessage);
}

void TFormControlObj::RaiseChange() {
  TFormEvents& events = Events();
  if (events.OnObjectChange) events.OnObjectChange(this, OnChangeMessage);
}

bool TFormControlObj::ReportChange(bool changed) {
  if (changed) RaiseChange();
  return changed;
}

void TFormControlObj::SizeWidth(int waitingWidth, long long natural) {
  if (PercentWidth) {
    SetLeft(-4000);
    SetWidth(waitingWidth);
  } else if (SpecWidth >= 10) {
    SetWidth(SpecWidth);
  } else {
    SetWidth(ClampWidgetSize(natural));
  }
}

// ---- hidden ----

THiddenFormControlObj::THiddenFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {}

bool THiddenFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (index != 0) return false;
  s = Name + u"=" + Value;
  return true;
}

void THiddenFormControlObj::SetData(int index, const std::u16string& v) {
  if (index == 0) Value = v;
}

// ---- edit ----

TEditFormControlObj::TEditFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                         TProperties& props, const std::u16string& type)
    : TFormControlObj(document, pos, attributes) {
  auto edit = std::make_unique<ThtEdit>();
  if (attributes) {
    if (TAttribute* size = attributes->Find(SizeSy)) {
      if (size->Value >= 1) {
        EditSize = size->Value;
      } else {
        // "30,2" and "30 px" name the width before the separator.
        const std::u16string& t = size->Name;
        const std::u16string head = t.substr(0, t.find_first_of(u", "));
        int n = 0;
        bool digits = !head.empty();
        for (char16_t ch : head) {
          if (ch < u'0' || ch > u'9') {
            digits = false;
            break;
          }
          n = std::min(n * 10 + (ch - u'0'), 100000);
        }
        EditSize = digits && n >= 1 ? n : 20;
      }
    }
    if (TAttribute* max = attributes->Find(MaxlengthSy); max && max->Value >= 1) edit->setMaxLength(max->Value);
  }
  EditSize = ClampCount(EditSize);
  if (WideLowerCase(type) == u"password") edit->SetPasswordChar(u'*');
  edit->SetReadOnly(ReadOnly);
  edit->setText(Q(Value));
  AdoptControl(std::move(edit), props, false);
  SetWidth(120);
}

bool TEditFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (index != 0) return false;
  s = Name + u"=" + Edit()->Text();
  return true;
}

void TEditFormControlObj::ResetToValue() { Edit()->SetText(Value); }
void TEditFormControlObj::SetData(int index, const std::u16string& v) {
  if (index == 0) Edit()->SetText(v);
}
void TEditFormControlObj::SaveContents() { EnterContents = Edit()->Text(); }

bool TEditFormControlObj::DoOnChange() { return ReportChange(Edit()->Text() != EnterContents); }

void TEditFormControlObj::ProcessProperties(TProperties& props) {
  TFormControlObj::ProcessProperties(props);
  if (HasBorderStyle) Edit()->setFrame(false);
  if (BkColor != clNone) Edit()->SetColor(BkColor);
}

void TEditFormControlObj::SetHeightWidth(TCanvas& canvas) {
  const int textHeight = std::max(canvas.Measurer->TextExtent(font_, u"A").cy, 10);
  // The edit shows its line whole only at the height its frame and font take: a text height below
  // that cuts the descenders off.
  SetHeight(std::max({textHeight, SpecHeight, Edit()->sizeHint().height()}));
  SizeWidth(10, static_cast<long long>(QFontMetrics(font_).averageCharWidth()) * EditSize + 23);
}

void TEditFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  DrawFrame(canvas, x, y);
  std::u16string text = Edit()->Text();
  if (Edit()->PasswordChar()) text.assign(text.size(), Edit()->PasswordChar());
  canvas.Font = TFont::FromQFont(font_, clBlack);
  canvas.Brush.Style = bsClear;
  const TRect inner{x + 2, y + 2, x + Width() - 2, y + Height() - 2};
  const int th = canvas.TextHeight(u"A");
  WideTextRect(canvas, inner, x + 4, y + std::max(2, (Height() - th) / 2), text);
  canvas.Brush.Style = bsSolid;
}

// ---- buttons ----

TButtonFormControlObj::TButtonFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                             TProperties& props, const std::u16string& type)
    : TFormControlObj(document, pos, attributes) {
  const std::u16string t = WideLowerCase(type);
  std::u16string caption = Value;
  if (t == u"submit") {
    Which = Submit;
    if (caption.empty()) caption = u"Submit";
  } else if (t == u"reset") {
    Which = ResetB;
    if (caption.empty()) caption = u"Reset";
  } else if (t == u"file") {
    Which = Browse;
    caption = u"Browse...";
    Value.clear();
    // The button is the second half of a file input: the edit made just before it owns the
    // identifier and the tab index.
    if (document && !document->FormControls.empty())
      MyEdit = dynamic_cast<TEditFormControlObj*>(document->FormControls.back().get());
    if (!ID.empty() && document) {
      document->IdentifierList.RemoveObject(this);
      if (MyEdit && MyEdit->ID == ID) document->IdentifierList.AddObject(ID, MyEdit);
      ID.clear();
    }
    TabIndex = 0;
  } else {
    Which = Plain;
    if (caption.empty()) caption = u"Button";
  }
  auto button = std::make_unique<TUniButton>();
  button->SetCaption(caption);
  TUniButton* b = button.get();
  AdoptControl(std::move(button), props, false);
  QObject::connect(b, &QAbstractButton::clicked, watcher_.get(), [this] { ButtonClick(); });
}

void TButtonFormControlObj::ButtonClick() {
  FormControlClick();
  switch (Which) {
    case ResetB:
      if (MyForm) MyForm->ResetControls();
      break;
    case Submit:
      if (MyForm) MyForm->SubmitTheForm(Name.empty() ? std::u16string() : Name + u"=" + Value);
      break;
    case Browse:
      if (Events().OnFileBrowse && MyEdit) {
        std::u16string s = MyEdit->Edit()->Text();
        Events().OnFileBrowse(MyEdit, s);
        MyEdit->Edit()->SetText(s);
      }
      break;
    case Plain:
      break;
  }
}

void TButtonFormControlObj::SetHeightWidth(TCanvas& canvas) {
  const TSize caption = canvas.Measurer->TextExtent(font_, Button()->Caption());
  const int h = canvas.Measurer->TextExtent(font_, u"A").cy + 8;
  SetHeight(h > SpecHeight ? h : SpecHeight);
  SetWidth(SpecWidth >= 10 && !PercentWidth ? SpecWidth : caption.cx + 20);
}

void TButtonFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  if (Events().MonochromePrinter) {
    FormControlRect(canvas, x, y, x + Width(), y + Height(), clWhite, true, true, true, true);
    canvas.Font = TFont::FromQFont(font_, clBlack);
    canvas.Brush.Style = bsClear;
    const std::u16string caption = Button()->Caption();
    const TSize ext = canvas.TextExtent(caption);
    canvas.TextOut(x + (Width() - ext.cx) / 2, y + (Height() - ext.cy) / 2, caption);
    canvas.Brush.Style = bsSolid;
    return;
  }
  canvas.DrawImage(x, y, control_->grab().toImage());
}

// ---- check boxes and radio buttons ----

namespace {
// The arrow keys belong to the page's check boxes and radio buttons: they never move the focus
// on to the next control, as buttons of a dialog would.
bool KeepArrowKey(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      event->accept();
      return true;
    default:
      return false;
  }
}
}  // namespace

TFormCheckBox::TFormCheckBox(QWidget* parent) : TUniCheckBox(parent) {}

void TFormCheckBox::keyPressEvent(QKeyEvent* event) {
  if (!KeepArrowKey(event)) TUniCheckBox::keyPressEvent(event);
}

namespace {
// Follows the Tab key through the application's key events: no query of the keyboard tells
// whether a key is down.
class TTabKeyWatch : public QObject {
public:
  bool Held = false;
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) && !k->isAutoRepeat())
          Held = e->type() == QEvent::KeyPress;
        break;
      }
      case QEvent::ApplicationDeactivate:
        // The release may go to another program.
        Held = false;
        break;
      default:
        break;
    }
    return false;
  }
};

TTabKeyWatch* TabKeyWatch() {
  static QPointer<TTabKeyWatch> watch;
  if (!watch && QCoreApplication::instance()) {
    watch = new TTabKeyWatch;
    watch->setParent(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watch);
  }
  return watch;
}
}  // namespace

bool TabKeyHeld() {
  TTabKeyWatch* watch = TabKeyWatch();
  return watch && watch->Held;
}

TFormRadioButton::TFormRadioButton(QWidget* parent) : TUniRadioButton(parent) {
  setAutoExclusive(false);
  setFocusPolicy(Qt::ClickFocus);
  TabKeyWatch();
}

void TFormRadioButton::keyPressEvent(QKeyEvent* event) {
  if (!KeepArrowKey(event)) TUniRadioButton::keyPressEvent(event);
}

void TFormRadioButton::nextCheckState() {
  // A click never unchecks a radio button; only its group's others do.
  SetChecked(true);
}

void TFormRadioButton::SetChecked(bool value) {
  if (value == checked_ || TabKeyHeld()) return;
  checked_ = value;
  setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
  setChecked(value);
  if (!value) return;
  if (OnChange) OnChange();
  if (!ClicksDisabled && OnRadioClick) OnRadioClick();
}

TCheckableFormControlObj::TCheckableFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes)
    : TFormControlObj(document, pos, attributes) {
  IsChecked = attributes && attributes->Find(CheckedSy);
  VertAlign = ABaseline;
}

void TCheckableFormControlObj::SizeToIndicator(QSize least, QStyle::PixelMetric width, QStyle::PixelMetric height) {
  // The style draws the indicator at its own size from the control's left edge: a control smaller
  // than that loses the indicator's right and bottom edges.
  const QStyle* style = control_->style();
  SetWidth(std::max(least.width(), style->pixelMetric(width, nullptr, control_.get())));
  SetHeight(std::max(least.height(), style->pixelMetric(height, nullptr, control_.get())));
}

bool TCheckableFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (index != 0) return false;
  if (Checked()) s = Name + u"=" + Value;
  return true;
}

void TCheckableFormControlObj::SetDataInit() { SetChecked(false); }
void TCheckableFormControlObj::SetData(int, const std::u16string& v) {
  if (SameText(v, Value)) SetChecked(true);
}
void TCheckableFormControlObj::SaveContents() { WasChecked = Checked(); }
bool TCheckableFormControlObj::DoOnChange() { return ReportChange(Checked() != WasChecked); }

TCheckBoxFormControlObj::TCheckBoxFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                                 TProperties& props)
    : TCheckableFormControlObj(document, pos, attributes) {
  if (Value.empty()) Value = u"on";
  auto box = std::make_unique<TFormCheckBox>();
  box->setChecked(IsChecked);
  TFormCheckBox* b = box.get();
  AdoptControl(std::move(box), props, false);
  SizeToIndicator(QSize(13, 13), QStyle::PM_IndicatorWidth, QStyle::PM_IndicatorHeight);
  QObject::connect(b, &QAbstractButton::clicked, watcher_.get(), [this] { FormControlClick(); });
}

bool TCheckBoxFormControlObj::Checked() const { return CheckBox()->isChecked(); }
void TCheckBoxFormControlObj::SetChecked(bool value) { CheckBox()->setChecked(value); }
void TCheckBoxFormControlObj::ResetToValue() { SetChecked(IsChecked); }

void TCheckBoxFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  DrawFrame(canvas, x, y);
  if (!CheckBox()->isChecked()) return;
  const TPen saved = canvas.Pen;
  canvas.Pen.Color = clBlack;
  canvas.Pen.Width = 1;
  const int middle = y + Height() / 2;
  canvas.MoveTo(x + 3, middle);
  canvas.LineTo(x + 5, middle + 2);
  canvas.LineTo(x + 9, middle - 2);
  canvas.Pen = saved;
}

TRadioButtonFormControlObj::TRadioButtonFormControlObj(ThtDocument* document, int pos,
                                                       const TAttributeList* attributes, TProperties& props)
    : TCheckableFormControlObj(document, pos, attributes) {
  auto radio = std::make_unique<TFormRadioButton>();
  TFormRadioButton* r = radio.get();
  AdoptControl(std::move(radio), props, false);
  SizeToIndicator(PixelsPerInch() > 100 ? QSize(16, 16) : QSize(13, 14), QStyle::PM_ExclusiveIndicatorWidth,
                  QStyle::PM_ExclusiveIndicatorHeight);
  // The page's own state is no click of the user's.
  r->ClicksDisabled = true;
  r->SetChecked(IsChecked);
  // The group as the page gives it: the last CHECKED wins, and the tab stop is the checked
  // radio, else the first of the group.
  bool first = true;
  if (MyForm) {
    for (TRadioButtonFormControlObj* other : MyForm->RadioGroup(Name)) {
      if (other == this) continue;
      first = false;
      if (IsChecked) {
        other->IsChecked = false;
        other->RadioButton()->SetChecked(false);
        other->SetTabStop(false);
      }
    }
  }
  SetTabStop(IsChecked || first);
  r->ClicksDisabled = false;
  r->OnRadioClick = [this] { RadioClick(); };
}

void TRadioButtonFormControlObj::RadioClick() {
  SetTabStop(true);
  if (MyForm) MyForm->DoRadios(this);
  FormControlClick();
}

bool TRadioButtonFormControlObj::Checked() const { return RadioButton()->Checked(); }
void TRadioButtonFormControlObj::SetChecked(bool value) { RadioButton()->SetChecked(value); }

void TRadioButtonFormControlObj::ResetToValue() {
  SetChecked(IsChecked);
  if (IsChecked) SetTabStop(true);
}

void TRadioButtonFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  DrawFrame(canvas, x, y);
  if (!RadioButton()->Checked()) return;
  const TBrush saved = canvas.Brush;
  const TPen savedPen = canvas.Pen;
  canvas.Brush.Color = clBlack;
  canvas.Pen.Color = clBlack;
  canvas.Ellipse(x + 4, y + 4, x + Width() - 4, y + Height() - 4);
  canvas.Brush = saved;
  canvas.Pen = savedPen;
}

// ---- image input ----

namespace {
// The image input's picture on the panel: paints the picture at the box's size and takes the click.
class TImageInputPicture : public QWidget {
public:
  TImageInputPicture(TImageFormControlObj& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setCursor(Qt::PointingHandCursor);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QImage picture = owner_.Picture();
    if (!picture.isNull()) p.drawImage(rect(), picture);
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    const QPoint at = e->position().toPoint();
    owner_.ImageClick(std::clamp(at.x(), 0, std::max(0, width() - 1)),
                      std::clamp(at.y(), 0, std::max(0, height() - 1)));
  }

private:
  TImageFormControlObj& owner_;
};
}  // namespace

TImageFormControlObj::TImageFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes,
                                           TProperties& props)
    : TFormControlObj(document, pos, attributes) {
  // The button only holds the focus; the picture is the image's.
  auto button = std::make_unique<TUniButton>();
  AdoptControl(std::move(button), props, false);
  control_->resize(1, 1);
  if (attributes) {
    if (TAttribute* w = attributes->Find(WidthSy); w && w->Value > 0) {
      width_ = ClampWidgetSize(w->Value);
      widthGiven_ = true;
    }
    if (TAttribute* h = attributes->Find(HeightSy); h && h->Value > 0) {
      height_ = ClampWidgetSize(h->Value);
      heightGiven_ = true;
    }
    if (TAttribute* src = attributes->Find(SrcSy)) Source = WideTrim(src->Name);
  }
  if (document && document->PaintPanel) {
    picture_ = std::make_unique<TImageInputPicture>(*this, document->PaintPanel);
    pictureAlive_ = picture_.get();
    MoveOffPanel(*picture_, 0);
    picture_->resize(std::max(1, width_), std::max(1, height_));
    if (!Title.empty()) picture_->setToolTip(Q(Title));
    picture_->show();
  }
}

TImageFormControlObj::~TImageFormControlObj() {
  if (picture_ && !pictureAlive_) (void)picture_.release();
  if (picture_) {
    picture_->hide();
    picture_.reset();
  }
  if (pending_ && MasterList && !MasterList->BeingDestroyed) {
    auto& list = MasterList->PendingImages;
    list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& p) { return p.second == this; }),
               list.end());
  }
}

void TImageFormControlObj::Fetch() {
  if (fetched_) return;
  fetched_ = true;
  if (!MasterList || !MasterList->ShowImages || Source.empty()) return;
  const std::u16string src = MasterList->ImageName(Source);
  if (src.empty()) return;
  bool pending = false;
  image_ = MasterList->GetImage(src, this, pending);
  pending_ = !image_ && pending;
}

void TImageFormControlObj::ImageArrived(std::shared_ptr<TDocImage> image) {
  image_ = std::move(image);
  pending_ = false;
  fetched_ = true;
  if (picture_) picture_->update();
}

QImage TImageFormControlObj::Picture() {
  Fetch();
  if (image_ && !image_->Image.isNull()) return image_->Image;
  // With images off the box keeps its place and shows the placeholder, as an awaited one does.
  if (pending_ || (MasterList && !MasterList->ShowImages)) return DefBitMap();
  return ErrorBitmap();
}

void TImageFormControlObj::SetHeightWidth(TCanvas& canvas) {
  (void)canvas;
  // A side the page does not give is the picture's own.
  if (widthGiven_ && heightGiven_) return;
  const QImage picture = Picture();
  if (!widthGiven_) SetWidth(picture.width());
  if (!heightGiven_) SetHeight(picture.height());
}

void TImageFormControlObj::SetWidth(int w) {
  width_ = ClampWidgetSize(w);
  if (picture_) picture_->resize(std::max(1, width_), std::max(1, height_));
}

void TImageFormControlObj::SetHeight(int h) {
  height_ = ClampWidgetSize(h);
  if (picture_) picture_->resize(std::max(1, width_), std::max(1, height_));
}

void TImageFormControlObj::Show(int x, int y) {
  Shown = true;
  if (picture_) MoveOntoPanel(*picture_, x, y, ShowIt && picture_->parentWidget());
}

void TImageFormControlObj::MoveOff() {
  if (picture_) MoveOffPanel(*picture_, picture_->y());
}

void TImageFormControlObj::Draw(TCanvas& canvas, int x, int y) {
  if (width_ <= 0 || height_ <= 0) return;
  const QImage picture = Picture();
  if (picture.isNull()) return;
  canvas.DrawImage(x, y, picture.size() == QSize(width_, height_)
                             ? picture
                             : picture.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void TImageFormControlObj::ImageClick(int x, int y) {
  if (control_) control_->setFocus(Qt::MouseFocusReason);
  FormControlClick();
  XPos = x;
  YPos = y;
  if (!Disabled && MyForm) MyForm->SubmitTheForm(u"");
}

bool TImageFormControlObj::GetSubmission(int index, std::u16string& s) {
  if (XPos < 0 || index > 1) return false;
  if (index == 0) {
    s = Name + u".x=" + W(QString::number(XPos));
  } else {
    s = Name + u".y=" + W(QString::number(YPos));
    XPos = -1;
  }
  return true;
}

// ---- the factory ----

void InstallFormControls() {
  SetFormControlFactory([](ThtDocument* document, int pos, const std::u16string& type, const TAttributeList* attributes,
                           TProperties& props) -> std::unique_ptr<TFormControlObj> {
    // Without a tag there is nothing to make a control of: the plain box stands in.
    if (!attributes) return nullptr;
    const std::u16string t = WideLowerCase(type);
    std::unique_ptr<TFormControlObj> made;
    if (t == u"select") {
      const TAttribute* size = attributes ? attributes->Find(SizeSy) : nullptr;
      if ((attributes && attributes->Find(MultipleSy)) || (size && size->Value > 1))
        made = std::make_unique<TListBoxFormControlObj>(document, pos, attributes, props);
      else
        made = std::make_unique<TComboFormControlObj>(document, pos, attributes, props);
    } else if (t == u"textarea") {
      made = std::make_unique<TTextAreaFormControlObj>(document, pos, attributes, props);
    } else if (t == u"hidden") {
      made = std::make_unique<THiddenFormControlObj>(document, pos, attributes);
    } else if (t == u"submit" || t == u"reset" || t == u"button") {
      made = std::make_unique<TButtonFormControlObj>(document, pos, attributes, props, t);
    } else if (type == FileBrowseType) {
      made = std::make_unique<TButtonFormControlObj>(document, pos, attributes, props, u"file");
    } else if (t == u"checkbox") {
      made = std::make_unique<TCheckBoxFormControlObj>(document, pos, attributes, props);
    } else if (t == u"radio") {
      made = std::make_unique<TRadioButtonFormControlObj>(document, pos, attributes, props);
    } else if (t == u"image") {
      made = std::make_unique<TImageFormControlObj>(document, pos, attributes, props);
    } else {
      // Text, password and every type this viewer does not know.
      made = std::make_unique<TEditFormControlObj>(document, pos, attributes, props, t);
    }
    if (made->MyForm) made->MyForm->InsertControl(made.get());
    return made;
  });
}

}  // namespace htmlview
