#pragma once
// Forms: the FORM element, which collects its controls' values for submission, and the INPUT
// controls, each a real widget of our own control set placed on the paint panel.
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStyle>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/text/HtmlGlobals.h"
#include "unicode/gui/UniButtons.h"

namespace htmlview {

class ThtmlForm;
class TRadioButtonFormControlObj;

// What the host hears from the forms of the pages on one paint panel. Every hook may be empty.
struct TFormEvents {
  // The submission: the name=value pairs of the form; called from the event loop, never from
  // inside the click or key that caused it.
  std::function<void(const std::u16string& action, const std::u16string& target, const std::u16string& encType,
                     const std::u16string& method, const std::vector<std::u16string>& results)>
      OnFormSubmit;
  std::function<void(TFormControlObj* control, const std::u16string& message)> OnObjectClick, OnObjectFocus,
      OnObjectBlur, OnObjectChange;
  // The browse button of a file input: fileName is the edit's text, changed by the handler.
  std::function<void(TFormControlObj* edit, std::u16string& fileName)> OnFileBrowse;
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

  void InsertControl(TFormControlObj* ctrl);
  // The form's radio buttons of a name (compared ignoring case), in page order.
  std::vector<TRadioButtonFormControlObj*> RadioGroup(const std::u16string& name) const;
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
  explicit TControlWatcher(TFormControlObj& owner) : owner_(owner) {}
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  TFormControlObj& owner_;
};

// The attribute counts that size a control (SIZE, ROWS, COLS): 1 to 1000.
int ClampCount(int value);

class THiddenFormControlObj : public TFormControlObj {
public:
  THiddenFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  bool Hidden() const override { return true; }
  bool GetSubmission(int index, std::u16string& s) override;
  void SetData(int index, const std::u16string& v) override;
  void Show(int, int) override {}
};

class TEditFormControlObj : public TFormControlObj {
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

class TButtonFormControlObj : public TFormControlObj {
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

protected:
  void keyPressEvent(QKeyEvent* event) override;
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
  void keyPressEvent(QKeyEvent* event) override;
  void nextCheckState() override;

private:
  bool checked_ = false;
};

// Whether the Tab key is down now, as far as this application has seen its key events.
bool TabKeyHeld();

// A check box or a radio button: on or off, submitted only when on, restored when the saved value
// is its own.
class TCheckableFormControlObj : public TFormControlObj {
public:
  bool IsChecked = false;   // as the page gives it
  bool WasChecked = false;  // when the focus came

  virtual bool Checked() const = 0;
  virtual void SetChecked(bool value) = 0;
  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void SetData(int index, const std::u16string& v) override;
  void SetDataInit() override;

protected:
  TCheckableFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  // At least the given size, and as large as the style's indicator.
  void SizeToIndicator(QSize least, QStyle::PixelMetric width, QStyle::PixelMetric height);
};

class TCheckBoxFormControlObj : public TCheckableFormControlObj {
public:
  TCheckBoxFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TFormCheckBox* CheckBox() const { return static_cast<TFormCheckBox*>(control_.get()); }

  bool Checked() const override;
  void SetChecked(bool value) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ResetToValue() override;
};

class TRadioButtonFormControlObj : public TCheckableFormControlObj {
public:
  TRadioButtonFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TFormRadioButton* RadioButton() const { return static_cast<TFormRadioButton*>(control_.get()); }

  void RadioClick();
  bool Checked() const override;
  void SetChecked(bool value) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ResetToValue() override;
};

class TImageFormControlObj : public TFormControlObj {
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
