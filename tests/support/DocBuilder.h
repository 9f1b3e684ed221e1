#pragma once
// A small document builder for tests and the benchmark: it drives a document through the
// operations the page builder uses, without the parser.
#include <QImage>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlShared.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/TestPage.h"

namespace htmlview {

// Drives a document through what the page builder does: property sets pushed and popped, text
// sections opened, filled and closed, links started and ended.
class TDocBuilder {
public:
  // On the scaled fixed measurer unless given another (the benchmark gives Qt's); the default
  // font is Arial of defaultSize points.
  explicit TDocBuilder(const TTextMeasurer* measurer = nullptr, double defaultSize = 12) : measurer(measurer ? measurer : &ScaledMeasurer()) {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontMeasurer(this->measurer);
    doc.SetFonts(u"Arial", u"Courier New", clBlack, RGB(0, 0, 255), RGB(128, 0, 128), RGB(255, 0, 0), clWhite,
                 false, true, defaultSize);
  }
  ~TDocBuilder() { SetFontMeasurer(nullptr); }
  TDocBuilder(const TDocBuilder&) = delete;
  TDocBuilder& operator=(const TDocBuilder&) = delete;

  // The tests' measurer whose sizes keep the fonts' ratios.
  static const TTextMeasurer& ScaledMeasurer() { return ScaledTestMeasurer(); }

  TProperties& Top() { return doc.PropertyStack->Last(); }
  TProperties& Push(const std::u16string& tag, const std::u16string& style = u"", bool inlineBox = false) {
    std::unique_ptr<TProperties> attr;
    if (!style.empty()) {
      attr = std::make_unique<TProperties>(false);
      ParseStyleAttrString(style, *attr);
    }
    styleAttrs.push_back(std::move(attr));
    TProperties& p = doc.PropertyStack->PushProperties(tag, u"", u"", u"", u"", styleAttrs.back().get());
    if (inlineBox) doc.ProcessInline(src, p, true);
    if (section) section->ChangeFont(p);
    return p;
  }
  void Pop(const std::u16string& tag) {
    doc.PropertyStack->SIndex = src;
    doc.PropertyStack->PopElement(tag);
    if (section) section->ChangeFont(Top());
  }
  TSection* Open(bool pre = false, TAttributeList* attributes = nullptr) {
    Close();
    section = pre ? new TPreFormated(&doc, &doc, Top(), nullptr, attributes, true)
                  : new TSection(&doc, &doc, Top(), nullptr, attributes, true);
    return section;
  }
  void Text(const std::u16string& s) {
    if (!section) Open();
    section->AddText(s, src);
    src += static_cast<int>(s.size());
  }
  void Break() {
    if (!section) Open();
    section->AddChar(BrkCh, src++);
  }
  void LinkStart(const std::u16string& url) {
    TProperties& p = Push(u"a");
    p.InLink = true;
    doc.PropertyStack->pop_back();
    styleAttrs.pop_back();
    TProperties& a = doc.PropertyStack->PushProperties(u"a", u"", u"", u"link", u"", static_cast<TProperties*>(nullptr));
    a.InLink = true;
    a.Combine(*doc.StyleList, u"a", u"", u"", u"link", nullptr);
    target.Assign(url, u"", nullptr, src);
    if (!section) Open();
    section->HRef(true, a, &target);
  }
  void LinkEnd() {
    doc.PropertyStack->SIndex = src;
    doc.PropertyStack->PopElement(u"a");
    section->HRef(false, Top(), nullptr);
  }
  // An image element: its own property set while it is added.
  TImageObj* Image(std::initializer_list<std::pair<Symb, std::u16string>> attributes) {
    if (!section) Open();
    TAttributeList list;
    for (const auto& [which, value] : attributes) list.Add(which, value.empty() ? 0 : QString::fromStdU16String(value).toDouble(), u"", value, 0);
    doc.PropertyStack->PushProperties(u"img", u"", u"", u"", u"", static_cast<TProperties*>(nullptr));
    TImageObj* image = section->AddImage(&list, &doc, src++);
    doc.PropertyStack->PopProperties();
    return image;
  }
  void Close() {
    if (!section) return;
    doc.PropertyStack->SIndex = src;
    section->Finish(src);
    doc.AddSection(std::unique_ptr<TSection>(section));
    section = nullptr;
  }
  int Layout(int width) {
    Close();
    height = LayOut(doc, *measurer, width);
    return height;
  }
  std::string Dump(int width) {
    Layout(width);
    return DumpLayout(doc);
  }
  QImage Paint(int width, int h = -1) {
    Layout(width);
    return Painted(doc, *measurer, width, h > 0 ? h : std::max(1, height));
  }
  TSection* Section(int i) { return dynamic_cast<TSection*>(doc[i]); }

  const TTextMeasurer* measurer;
  ThtDocument doc{nullptr, nullptr};
  TSection* section = nullptr;
  TUrlTarget target;
  int src = 0;
  int height = 0;
  std::vector<std::unique_ptr<TProperties>> styleAttrs;
};

}  // namespace htmlview
