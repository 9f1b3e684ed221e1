#pragma once
// SELECT (a list box, or a drop-down list) with its options, and TEXTAREA.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "htmlview/forms/HtmlForms.h"
#include "unicode/gui/UniStdCtrls.h"

namespace htmlview {

class TOptionObj {
public:
  std::u16string Value;
  bool Selected = false;
  std::vector<std::u16string> Attributes;  // name=value
};

// The options of one select: the texts as shown, each with its option.
class ThtOptionStringList {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::u16string& Strings(int index) const { return items_[static_cast<size_t>(index)].first; }
  TOptionObj* Objects(int index) const { return items_[static_cast<size_t>(index)].second.get(); }
  void AddObject(const std::u16string& text, std::unique_ptr<TOptionObj> option);
  // Outside the list: "" and false.
  std::u16string Value(int index) const;
  bool Selected(int index) const;

private:
  std::vector<std::pair<std::u16string, std::unique_ptr<TOptionObj>>> items_;
};

class TOptionsFormControlObj : public TFormControlObj {
public:
  TOptionsFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes);
  ThtOptionStringList Options;
  int Size = -1;
  int MaxOptionWidth = 3;

  void AddOption(const std::u16string& text, bool selected, const std::vector<std::u16string>* attributes);

protected:
  void ApplyColor();
};

class TListBoxFormControlObj : public TOptionsFormControlObj {
public:
  TListBoxFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TUniListBox* ListBox() const { return static_cast<TUniListBox*>(control_.get()); }
  int SavedCount = 0;
  std::vector<bool> SavedSelected;  // every item's flag

  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ProcessProperties(TProperties& props) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetHeightWidth(TCanvas& canvas) override;
};

class TComboFormControlObj : public TOptionsFormControlObj {
public:
  TComboFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TUniComboBox* ComboBox() const { return static_cast<TUniComboBox*>(control_.get()); }
  int SavedIndex = -1;

  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ProcessProperties(TProperties& props) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetHeightWidth(TCanvas& canvas) override;
};

class TTextAreaFormControlObj : public TFormControlObj {
public:
  TTextAreaFormControlObj(ThtDocument* document, int pos, const TAttributeList* attributes, TProperties& props);
  TUniMemo* Memo() const { return static_cast<TUniMemo*>(control_.get()); }
  std::u16string SavedText;
  uint8_t Wrap = 1;  // 0 off, 1 soft, 2 hard
  int Rows = 5, Cols = 30;
  std::u16string InitialText;

  // The initial content is the element's value as well.
  void AddText(const std::u16string& s) {
    InitialText += s;
    Value = InitialText;
  }
  // The text as the memo shows it: one line per displayed line, joined by CR LF.
  std::u16string DisplayedLines() const;
  // The memo's displayed lines, wrapped as it wraps them, at most limit of them.
  std::vector<std::u16string> DisplayedRows(size_t limit = SIZE_MAX) const;

  bool DoOnChange() override;
  void SaveContents() override;
  bool GetSubmission(int index, std::u16string& s) override;
  void Draw(TCanvas& canvas, int x, int y) override;
  void ProcessProperties(TProperties& props) override;
  void ResetToValue() override;
  void SetData(int index, const std::u16string& v) override;
  void SetHeightWidth(TCanvas& canvas) override;
};

}  // namespace htmlview
