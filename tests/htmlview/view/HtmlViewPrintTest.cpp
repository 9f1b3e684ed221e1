// Printing seen on the sheets: a page printed over several sheets, with real fonts, read back
// from the recording printer's images as bands of ink rows.
#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "../ViewerSupport.h"
#include "htmlview/forms/HtmlForms.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Printers.h"

using namespace htmlview;

namespace {

// A run of rows with ink, separated from the next by at least one row without: on a sheet of
// text, one line of words.
struct Band {
  int Top = 0, Height = 0;
};

bool Inked(QRgb p) { return qGray(p) < 200; }

// The bands of ink between columns left and right (all of them when right is 0).
std::vector<Band> Bands(const QImage& sheet, int left = 0, int right = 0) {
  if (right <= 0) right = sheet.width();
  std::vector<Band> bands;
  bool in = false;
  for (int y = 0; y < sheet.height(); ++y) {
    bool ink = false;
    for (int x = left; x < right && !ink; ++x) ink = Inked(sheet.pixel(x, y));
    if (ink && !in) bands.push_back({y, 0});
    if (ink) ++bands.back().Height;
    in = ink;
  }
  return bands;
}

std::vector<int> Heights(const std::vector<Band>& bands) {
  std::vector<int> h;
  for (const Band& b : bands) h.push_back(b.Height);
  return h;
}

class Print : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontMeasurer(nullptr);
    view = std::make_unique<THtmlView>();
    view->SetBorderStyle(htNone);
    view->resize(400, 300);
    view->show();
    view->PrintMarginTop = view->PrintMarginBottom = 0.5;
    view->PrintMarginLeft = view->PrintMarginRight = 0.5;
  }
  void TearDown() override {
    view.reset();
    SetPixelsPerInch(0);
  }
  // Prints on sheets of width (4 inches unless given) by height at 96 dots per inch: a dot is a
  // pixel of the layout.
  std::vector<QImage> Sheets(double height, double width = 4) {
    platform::TRecordingPrinter printer(96, width, height, 0);
    view->Print(&printer);
    return printer.Pages;
  }
  // The heights of the bands of every sheet in turn, and the sheets that have none.
  std::vector<int> BandsOver(const std::vector<QImage>& sheets, std::vector<int>* blank, int left = 0,
                             int right = 0) {
    std::vector<int> all;
    for (size_t i = 0; i < sheets.size(); ++i) {
      const std::vector<int> h = Heights(Bands(sheets[i], left, right));
      if (h.empty() && blank) blank->push_back(static_cast<int>(i) + 1);
      all.insert(all.end(), h.begin(), h.end());
    }
    return all;
  }
  std::unique_ptr<THtmlView> view;
};

// A black square of size pixels as a data URL.
std::string Square(int size) {
  return "data:image/png;base64," + PngBytes(size, size, qRgb(0, 0, 0)).toBase64().toStdString();
}

// Lines of words with ascenders and descenders, so that a line cut anywhere loses ink rows, and
// pictures on lines and beside them.
std::u16string LongPage() {
  std::string s = "<p>";
  for (int i = 0; i < 60; ++i) {
    if (i == 20) s += "</p><h3>Heading gjy " + std::to_string(i) + "</h3><p>";
    if (i == 40) s += "</p><p style='font-size:24px'>";
    if (i % 9 == 4) s += "<img vspace=3 src='" + Square(28 + i) + "'> ";
    if (i == 33) s += "<img align=right vspace=3 src='" + Square(70) + "'>";
    s += "Tall gjy words " + std::to_string(i) + "<br>";
  }
  s += "</p><p>The end gjy</p>";
  return QString::fromStdString(s).toStdU16String();
}

// Every line of a long page shows whole on exactly one sheet, at two sheet sizes: the bands of
// the sheets in turn are those of the page printed on one tall sheet.
TEST_F(Print, EveryLineShowsWholeOnOneSheetAndNoSheetIsEmpty) {
  view->LoadFromString(LongPage());
  const std::vector<QImage> one = Sheets(30);
  ASSERT_EQ(one.size(), 1u);
  const std::vector<int> whole = BandsOver(one, nullptr);
  ASSERT_GE(whole.size(), 55u);  // a picture beside lines makes one band of them
  for (const double height : {3.4, 4.6}) {
    const std::vector<QImage> sheets = Sheets(height);
    EXPECT_GE(sheets.size(), 3u) << height;
    std::vector<int> blank;
    EXPECT_EQ(BandsOver(sheets, &blank), whole) << height;
    EXPECT_TRUE(blank.empty()) << height;
  }
}

// Empty space at the end of a page (a paragraph's bottom margin, the body's, the empty rows
// below a line's words) starts no sheet of its own, and a spacer no sheet of its own either: a
// spacer and one paragraph print on one sheet or, when the words would cross its break, the words
// print whole on a second sheet in place of a blank one.
TEST_F(Print, EmptySpaceStartsNoSheet) {
  view->LoadFromString(u"<p>Tall gjy words</p>");
  const std::vector<int> whole = BandsOver(Sheets(4), nullptr);
  ASSERT_EQ(whole.size(), 1u);
  for (int spacer = 280; spacer <= 360; ++spacer) {
    view->LoadFromString(u"<div style='height:" + QString::number(spacer).toStdU16String() +
                         u"px'></div><p>Tall gjy words</p>");
    const std::vector<QImage> sheets = Sheets(4);
    std::vector<int> blank;
    EXPECT_EQ(BandsOver(sheets, &blank), whole) << spacer;
    EXPECT_TRUE(blank.empty()) << spacer;
    EXPECT_EQ(sheets.size(), 1u) << spacer;
  }
}

// Two cells side by side, of lines of two heights, in a row taller than a sheet: the row is cut
// between lines of both cells, also where the break is moved up by the second cell after the
// first one was drawn.
TEST_F(Print, ACellBesideATallerOneIsCutBetweenItsLines) {
  std::string left, right;
  for (int i = 0; i < 50; ++i) left += "Tgjy " + std::to_string(i) + "<br>";
  for (int i = 0; i < 32; ++i) right += "Tgjy " + std::to_string(i) + "<br>";
  view->LoadFromString(QString::fromStdString("<table width=100% cellspacing=0 cellpadding=0><tr>"
                                              "<td width=50% valign=top>" + left +
                                              "</td><td width=50% valign=top style='font-size:25px'>" +
                                              right + "</td></tr></table>")
                           .toStdU16String());
  const std::vector<QImage> one = Sheets(30);
  ASSERT_EQ(one.size(), 1u);
  const int middle = one[0].width() / 2;
  const std::vector<int> wholeLeft = BandsOver(one, nullptr, 0, middle);
  const std::vector<int> wholeRight = BandsOver(one, nullptr, middle, 0);
  ASSERT_EQ(wholeLeft.size(), 50u);
  ASSERT_EQ(wholeRight.size(), 32u);
  for (const double height : {3.4, 4.6}) {
    const std::vector<QImage> sheets = Sheets(height);
    EXPECT_GE(sheets.size(), 3u) << height;
    EXPECT_EQ(BandsOver(sheets, nullptr, 0, middle), wholeLeft) << height;
    EXPECT_EQ(BandsOver(sheets, nullptr, middle, 0), wholeRight) << height;
  }
}

// A form whose lines wrap otherwise on the sheet than in the window: words before it, a control
// centred, one in a table cell, one as wide as half its line, and one of each kind.
std::u16string FormPage() {
  std::string s = "<p>";
  for (int i = 0; i < 40; ++i) s += "Tgjy words " + std::to_string(i) + " ";
  s += "</p><form><p align=center>Centred <input type=text value='Tgjy'>"
       "<p>Half <input type=text style='width:50%' value='Tgjy'><p>Secret <input type=password value='abc'>"
       "<p><input type=checkbox checked> Check<p><input type=radio checked> Radio"
       "<p><textarea rows=3>Tgjy one\nTgjy two\nTgjy three</textarea>"
       "<table><tr><td>Cell gjy words words words</td><td><select size=4><option>Tgjy a<option>Tgjy b"
       "<option>Tgjy c<option>Tgjy d</select></td></tr></table>"
       "<p><select><option>Tgjy drop</select> <input type=submit> <input type=reset> <input type=button value=Go>"
       "<p><input type=file size=8> <input type=image src='" + Square(20) + "'>"
       "</form><p>The end gjy</p>";
  return QString::fromStdString(s).toStdU16String();
}

bool SameSheets(const std::vector<QImage>& a, const std::vector<QImage>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// The form prints as the paper's layout has it, whatever the window's width: the sheets are those
// printed from a window exactly as wide as the sheet's room, where screen and paper agree, on one
// tall sheet and on short ones (every band whole on one sheet, controls on later sheets too); and
// the window's controls keep their widths.
TEST_F(Print, FormControlsPrintWhereThePapersLayoutPutsThem) {
  view->LoadFromString(FormPage());
  // Half a centimetre of margin is 19 dots: 328 and 672 pixels of room.
  for (const double width : {366 / 96.0, 710 / 96.0}) {
    const int room = static_cast<int>(std::lround(width * 96)) - 38;
    // The reference: a window without scroll bars as wide as the room.
    view->SetScrollBars(TScrollStyle::ssNone);
    view->resize(room, 300);
    const std::vector<QImage> tall = Sheets(30, width);
    ASSERT_EQ(tall.size(), 1u);
    const std::vector<int> whole = BandsOver(tall, nullptr);
    ASSERT_GE(whole.size(), 12u) << width;
    std::vector<std::vector<QImage>> shortSheets;
    for (const double height : {3.4, 4.6}) {
      shortSheets.push_back(Sheets(height, width));
      ASSERT_GE(shortSheets.back().size(), 2u) << width << " " << height;
      EXPECT_EQ(BandsOver(shortSheets.back(), nullptr), whole) << width << " " << height;
    }
    view->SetScrollBars(TScrollStyle::ssBoth);
    view->resize(600, 300);
    std::vector<int> screenWidths;
    for (const auto& c : view->Document().FormControls) screenWidths.push_back(c->Width());
    EXPECT_TRUE(SameSheets(Sheets(30, width), tall)) << width;
    for (size_t k = 0; k < shortSheets.size(); ++k) {
      const std::vector<QImage> sheets = Sheets(k == 0 ? 3.4 : 4.6, width);
      EXPECT_TRUE(SameSheets(sheets, shortSheets[k])) << width << " " << k;
    }
    std::vector<int> after;
    for (const auto& c : view->Document().FormControls) after.push_back(c->Width());
    EXPECT_EQ(after, screenWidths) << width;
  }
}

// The ink rows of column x.
int ColumnInk(const QImage& sheet, int x) {
  int n = 0;
  for (int y = 0; y < sheet.height(); ++y) n += Inked(sheet.pixel(x, y));
  return n;
}

// The column in [from, to) with the most ink rows: a frame's side.
int FrameColumn(const QImage& sheet, int from, int to) {
  int best = from, most = -1;
  for (int x = from; x < std::min(to, sheet.width()); ++x)
    if (const int n = ColumnInk(sheet, x); n > most) {
      most = n;
      best = x;
    }
  return best;
}

struct TallCell {
  const char* Name;
  const char* Attributes;  // of the cell in the left column
  std::string Content;     // its content
  int Span;                // the rows it spans; the right column has as many short ones
};

std::string Lines(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "Tgjy " + std::to_string(i) + "<br>";
  return s;
}

std::vector<TallCell> TallCells() {
  std::string nested = "<table cellspacing=0 cellpadding=1>";
  for (int i = 0; i < 26; ++i) nested += "<tr><td>Nested gjy " + std::to_string(i) + "</td></tr>";
  nested += "</table>";
  std::string pictures;
  for (int i = 0; i < 12; ++i)
    pictures += "Tgjy " + std::to_string(i) + (i % 3 == 1 ? "<br><img vspace=3 src='" + Square(40) + "'><br>" : "<br>");
  return {{"top", "valign=top", Lines(26), 26},
          {"bottom", "valign=bottom", "Bottom gjy", 26},
          {"middle", "valign=middle", Lines(8), 26},
          {"baseline", "valign=baseline", Lines(8), 26},
          {"nested", "valign=top", nested, 26},
          {"pictures", "valign=middle", pictures, 26},
          {"tallrow", "valign=top", nested + nested, 1}};
}

std::u16string TallCellPage(const TallCell& c) {
  std::string s = "<p>Before gjy</p><div style='height:8px'></div><table cellspacing=0 cellpadding=4><tr>"
                  "<td rowspan=" + std::to_string(c.Span) + " width=160 style='border:2px solid black' " +
                  c.Attributes + ">" + c.Content + "</td>";
  for (int i = 0; i < c.Span; ++i)
    s += (i ? "<tr>" : "") + std::string("<td>Tgjy r ") + std::to_string(i) + "</td></tr>";
  s += "</table><p>After gjy</p>";
  return QString::fromStdString(s).toStdU16String();
}

// Content taller than the row it starts in (a cell spanning rows, whatever its vertical
// alignment, holding lines, a table or pictures; a cell beside shorter ones): every band of it
// prints whole on exactly one sheet, and its frame goes on over the sheets that it crosses.
TEST_F(Print, ContentTallerThanItsRowPrintsWholeOnTheSheetsItCrosses) {
  for (const TallCell& c : TallCells()) {
    view->LoadFromString(TallCellPage(c));
    for (const double width : {4.0, 8.0}) {
      const std::vector<QImage> one = Sheets(30, width);
      ASSERT_EQ(one.size(), 1u);
      const int left = FrameColumn(one[0], 0, one[0].width() / 2);
      const int right = FrameColumn(one[0], left + 20, left + 240);
      const std::vector<int> wholeLeft = BandsOver(one, nullptr, left + 3, right - 2);
      const std::vector<int> wholeRight = BandsOver(one, nullptr, right + 3, 0);
      const int frame = ColumnInk(one[0], left);
      for (const double height : {3.4, 4.6}) {
        const std::vector<QImage> sheets = Sheets(height, width);
        const std::string where = std::string(c.Name) + " " + std::to_string(width) + " " + std::to_string(height);
        EXPECT_GE(sheets.size(), 2u) << where;
        std::vector<int> blank;
        BandsOver(sheets, &blank);
        EXPECT_TRUE(blank.empty()) << where;
        EXPECT_EQ(BandsOver(sheets, nullptr, left + 3, right - 2), wholeLeft) << where;
        EXPECT_EQ(BandsOver(sheets, nullptr, right + 3, 0), wholeRight) << where;
        int frames = 0;
        for (const QImage& sheet : sheets) frames += ColumnInk(sheet, left);
        EXPECT_EQ(frames, frame) << where;
      }
    }
  }
}

}  // namespace
