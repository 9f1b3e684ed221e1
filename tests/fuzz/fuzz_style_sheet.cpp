// The style-sheet parser on any bytes, read as a linked sheet and as a style attribute.
//
// Properties: parsing ends (an unterminated comment is the one error); the rules it adds and
// the declarations it sets go through the cascade and the layout conversions of a small element
// tree without failing.
#include <cstdint>
#include <vector>

#include "htmlview/style/StylePars.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace htmlview;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool init = [] {
    SetPixelsPerInch(96);
    // Fonts are not made here: every family exists, none is measured.
    SetFontCatalogue([](const std::u16string&) { return true; });
    return true;
  }();
  (void)init;
  TStyleList styles;
  styles.Initialize(u"Times New Roman", u"Courier New", 12, clBlack, RGB(0, 0, 255), RGB(128, 0, 128),
                    RGB(255, 0, 0), true, 1, 5, 10);
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    TBuffer sheet(bytes, u"fuzz.css");
    char16_t lch = u' ';
    ParseStyleTag(styles, lch, sheet, (size & 1) != 0, true, u"http://h.org/css/a.css");
  } catch (const EParseError&) {
  }
  TPropStack stack;
  auto root = std::make_unique<TProperties>(&stack, false);
  root->CopyDefault(*styles.DefProp);
  stack.push_back(std::move(root));
  TProperties attr(false);
  try {
    TBuffer text(bytes, u"style");
    ParseStyleAttr(text, attr);
  } catch (const EParseError&) {
  }
  static const char16_t* const tags[][4] = {{u"div", u"a b", u"i", u""},
                                            {u"p", u"x", u"", u""},
                                            {u"a", u"x.y", u"y", u"hover"},
                                            {u"span", u"", u"", u"link"}};
  for (const auto& t : tags) {
    stack.push_back(std::make_unique<TProperties>(&stack, false));
    TProperties& p = *stack.back();
    p.InLink = std::u16string(t[0]) == u"a";
    p.Combine(styles, t[0], t[1], t[2], t[3], &attr);
    TMarginArray m{};
    int autoCount = 0;
    p.ConvMargArray(600, 400, 4, 16, 8, m, autoCount);
    FUZZ_CHECK(autoCount >= 0 && autoCount <= 3);
    ThtFontInfo info;
    p.GetFontInfo(info);
    p.GetBackgroundPos();
    bool percent;
    p.GetTextIndent(percent);
    p.GetLineHeight(16);
  }
  return 0;
}
