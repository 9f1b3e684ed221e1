#pragma once
// Forms: the FORM element, which collects its controls' values for submission, and the INPUT
// controls, each a real widget of our own control set placed on the paint panel.
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/text/HtmlGlobals.h"
#include "unicode/gui/UniButtons.h"

namespace htmlview {

class ThtmlForm;
class ThtFormControlObj;
class TRadioButtonFormControlObj;

// What the host hears from the forms of the pages on one paint panel. Every hook may be empty.
struct TFormEvents {
  // The submission: the name=value pairs of the form; called from the event loop, never from
  // inside the click or key that caused it.
  std::function<void(const std::u16string& action, const std::u16string& target, const std::u16string& encType,
                     const std::u16string& method, const std::vector<std::u16string>& results)>
      OnFormSubmit;
  std::function<void(ThtFormControlObj* control, const std::u16string& message)> OnObjectClick, OnObjectFocus,
      OnObjectBlur, OnObjectChange;
  // The browse button of a file input: fileName is the edit's text, changed by the handler.
  std::function<void(ThtFormControlObj* edit, std::u16string& fileName)> OnFileBrowse;
  // Keys that the controls pass on (the viewer's key handling).
  std::function<void(QObject* sender, uint16_t& key, TShiftState shift)> OnKeyDown;
  // Pixels per inch of the screen; 0 asks the screen. Tests set it.
  int PixelsPerInch = 0;
  // The printer draws in one bit.
  bool MonochromePrinter = false;
};
// The hooks of a paint panel (made on first use, freed with the panel); with no panel, one set
// shared by every document without one.
TFormEvents& FormEvents(QWidget* paintPanel);

// The forms of one document, with the one that controls join now.
class TDocumentForms : public QObject {
public:
  std::vector<std::unique_ptr<ThtmlForm>> Forms;
  ThtmlForm* CurrentForm = nullptr;
};
// The document's forms, made on first use; they live until the document is cleared.
TDocumentForms& DocumentForms(ThtDocument* document);
// FORM start and end tags, as the builders meet them.
ThtmlForm* StartForm(ThtDocument* document, const TAttributeList* attributes);
void EndForm(ThtDocument* document);
// Style and size for a control the builder has made and filled.
void FinishFormControl(TFormControlObj* control, TProperties& props);
// The factory's type for the browse button that follows a file input's edit.
inline const std::u16string FileBrowseType = u"\x01" u"browse";
// Installs the control kinds in the form-control factory (done once, by the builder).
void InstallFormControls();

class ThtmlForm {
public:
  ThtmlForm(ThtDocument* master, const TAttributeList* attributes);

  ThtDocument* MasterList;
  std::u16string Method = u"Get", Action, Target, EncType;
  TFormControlObjList ControlList;  // not owning
  int NonHiddenCount = 0;

  void InsertControl(ThtFormControlObj* ctrl);
  void DoRadios(TRadioButtonFormControlObj* radio);
  // Arrow keys on a radio move within its group; true when the key was used.
  bool ControlKeyDown(QObject* sender, uint16_t& key, TShiftState shift);
  // Enter in an edit submits; key becomes 0 when used.
  void ControlKeyPress(QObject* sender, char16_t& key);
  void ResetControls();
  std::vector<std::u16string> GetFormSubmission();
  void SubmitTheForm(const std::u16string& buttonSubmission);
  void SetSizes(TCanvas& canvas);
};

// Watches a control's window: focus, keys, mouse moves and clicks go to its object.
class TControlWatcher : public QObject {
public:
  explicit TControlWatcher(ThtFormControlObj& owner) : owner_(owner) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  ThtFormControlObj& owner_;
};

// Width and height limits: what a widget accepts, and the attribute counts that size them.
inline constexpr int MaxWidgetSize = 16777215;
int ClampCount(int value);
int ClampWidgetSize(long long value);

// What every control kind shares beyond the text's box.
class ThtFormControlObj : public TFormControlObj {
public:
  ThtFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  ~ThtFormControlObj() override;

  ThtDocument* MasterList;
  ThtmlForm* MyForm = nullptr;
  std::vector<std::u16string> FormAttributes;  // name=value
  std::u16string OnBlurMessage, OnChangeMessage, OnClickMessage, OnFocusMessage;
  int BorderLeft = 0, BorderRight = 0, BorderTop = 0, BorderBottom = 0;
  TColor BkColor = clNone;
  bool Active = false;
  bool HasBorderStyle = false;
  int TabIndex = 0;

  int Left() const;
  int Top() const;
  bool TabStop() const;
  // Place among the paint panel's windows in the tab chain, from 0; -1 without a window on a panel.
  int TabOrder() const;
  void SetTabOrder(int order);
  void SetLeft(int x);
  void SetTop(int y);
  void SetTabStop(bool value);
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  void Show(int x, int y) override;

  virtual bool DoOnChange() { return false; }
  virtual void SaveContents() {}
  virtual bool GetSubmission(int index, std::u16string& s) {
    (void)index;
    (void)s;
    return false;
  }
  void Draw(TCanvas& canvas, int x, int y) override;
  virtual void Repaint();
  virtual void ProcessProperties(TProperties& props);
  virtual void ResetToValue() {}
  virtual void SetData(int index, const std::u16string& v) {
    (void)index;
    (void)v;
  }
  virtual void SetDataInit() {}

  void EnterEvent();
  void ExitEvent();
  void FormControlClick();
  // The change event, when the host listens.
  void RaiseChange();
  TFormEvents& Events() const;
  // The value of an attribute from FormAttributes; empty when absent.
  std::u16string Attribute(const std::u16string& name) const;
  QFont Font() const { return font_; }

protected:
  // Takes the window: off screen on the paint panel, the element's font, events watched.
  void AdoptControl(std::unique_ptr<QWidget> control, TProperties& props, bool clickByMouse);
  void DrawFrame(TCanvas& canvas, int x, int y, bool sunken = true);
  int PixelsPerInch() const;

  QFont font_;
  std::unique_ptr<TControlWatcher> watcher_;
  // Clears when the window goes with its parent before the object.
  QPointer<QWidget> alive_;
  friend class TControlWatcher;
  bool clickByMouse_ = false;
};

class THiddenFormControlObj : public ThtFormControlObj {
public:
  THiddenFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  bool Hidden() const override { return true; }
  bool GetSubmission(int index, std::u16string& s) override;
  void SetData(int index, const std::u16string& v) override;
  void Show(int, int) override {}
};

class TEditFormControlObj : public ThtFormControlObj {
public:
  TEditFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props,
                      const std::u16string& type);
  ThtEdit* Edit() const { return static_cast<ThtEdit*>(control_.get()); }
  int EditSize = 15;
  std::u16string EnterContents;

  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ProcessProperties(TProperties& props) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetHeightWidth(TCanvas& canvas) override;
};

class TButtonFormControlObj : public ThtFormControlObj {
public:
  enum TWhichButton { Submit, ResetB, Plain, Browse };
  TButtonFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props,
                        const std::u16string& type);
  TUniButton* Button() const { return static_cast<TUniButton*>(control_.get()); }
  TWhichButton Which = Plain;
  TEditFormControlObj* MyEdit = nullptr;  // the file input's text

  void ButtonClick();
  void Draw(TCanvas& canvas, int x, int y) override;
  void SetHeightWidth(TCanvas& canvas) override;
};

// A check box that answers arrow keys (they reach it through the watcher).
class TFormCheckBox : public TUniCheckBox {
public:
  explicit TFormCheckBox(QWidget* parent = nullptr);
};

// A radio button whose exclusivity the form decides by name; it is a tab stop exactly when
// checked. It keeps its state itself: a user's click checks it through SetChecked, and the
// button's click (OnRadioClick) follows only a change to checked.
class TFormRadioButton : public TUniRadioButton {
public:
  explicit TFormRadioButton(QWidget* parent = nullptr);
  bool Checked() const { return checked_; }
  // Ignored while the Tab key is held down (the focus arriving by Tab checks nothing) or when
  // unchanged. Checking signals OnChange and, unless ClicksDisabled, runs OnRadioClick.
  void SetChecked(bool value);
  std::function<void()> OnChange, OnRadioClick;
  bool ClicksDisabled = false;

protected:
  void nextCheckState() override;

private:
  bool checked_ = false;
};

// Whether the Tab key is down now, as far as this application has seen its key events.
bool TabKeyHeld();

class TCheckBoxFormControlObj : public ThtFormControlObj {
public:
  TCheckBoxFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TFormCheckBox* CheckBox() const { return static_cast<TFormCheckBox*>(control_.get()); }
  bool IsChecked = false;
  bool WasChecked = false;

  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetDataInit() override;
};

class TRadioButtonFormControlObj : public ThtFormControlObj {
public:
  TRadioButtonFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TFormRadioButton* RadioButton() const { return static_cast<TFormRadioButton*>(control_.get()); }
  bool IsChecked = false;
  bool WasChecked = false;

  void RadioClick();
  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetDataInit() override;
};

class TImageFormControlObj : public ThtFormControlObj {
public:
  TImageFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  ~TImageFormControlObj() override;
  int XPos = -1, YPos = -1;
  std::u16string Source;
  // The image was pressed at (x, y) inside it.
  void ImageClick(int x, int y);
  bool GetSubmission(int index, std::u16string& s) override;
  // The picture is a window of its own on the panel; the button stays off screen for the focus.
  void Show(int x, int y) override;
  void MoveOff() override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void SetHeightWidth(TCanvas& canvas) override;
  // The text holds the picture's box; the button is only a focus holder.
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetWidth(int w) override;
  void SetHeight(int h) override;
  // What is shown: the page's image, the placeholder while it is awaited, else the error image.
  QImage Picture();
  bool Pending() const { return pending_; }
  // A pending image has come (nullptr: it never will).
  void ImageArrived(std::shared_ptr<TDocImage> image) override;
  QWidget* PictureWindow() const { return picture_.get(); }

private:
  void Fetch();
  std::shared_ptr<TDocImage> image_;
  bool fetched_ = false, pending_ = false;
  bool widthGiven_ = false, heightGiven_ = false;
  std::unique_ptr<QWidget> picture_;
  QPointer<QWidget> pictureAlive_;
};

}  // namespace htmlview
