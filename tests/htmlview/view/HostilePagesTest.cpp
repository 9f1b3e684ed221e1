// Hostile and ordinary pages through the whole viewer: each is loaded into a real THtmlView on
// the fixed measurer, laid out, painted into pixels and dumped as drawn text. A row names the
// words that must show (in page order, each inside the page) and bounds on the work and the
// memory of the whole run. The work is the CPU time of the test's thread in units of the work of
// a reference page, loaded and painted in the same run, so that a slow or busy machine changes
// both alike; the bounds are generous, so that only a blow-up breaks them. A row may take further
// steps (keys, submission, more pages) on the loaded view, within the same bounds. A page that
// has a size is also loaded at an eighth of it and at it: its work must grow with the size, not
// with its square. Timings are htmlbench's (bench/htmlbench.sh --hostile).
//
// To add a page, add a row to Pages(): a name (letters, digits, "_"), the page, its words and,
// where the defaults do not fit, its bounds.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "htmlview/forms/HtmlForms.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "platform/core/Process.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"
#include "tests/htmlview/ViewerSupport.h"
#include "tests/support/HostilePages.h"
#include "tests/support/LzwCodes.h"
#include "tests/support/WorkGrowth.h"

using namespace htmlview;

namespace {

// The sanitizer build holds freed memory for a while, and slows some work (allocation above all)
// more than the reference page's: its bounds are wider.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kMemorySlack = 6, kWorkSlack = 3;
#else
constexpr double kMemorySlack = 1, kWorkSlack = 1;
#endif

// What a row's further steps see.
struct TPageRun {
  THtmlView& View;
  std::vector<TPiece> Pieces;  // the drawn text, top to bottom
  // The submissions the view reported, each as "name=value" pairs joined by "&".
  std::vector<std::string>& Submitted;
  // The first piece holding text, or nullptr.
  const TPiece* Find(const std::string& text) const {
    for (const TPiece& p : Pieces)
      if (p.text.find(text) != std::string::npos) return &p;
    return nullptr;
  }
};

struct THostilePage {
  THostilePage(std::string name, std::string html, std::vector<std::string> words,
               std::function<void(TPageRun&)> then = {})
      : Name(std::move(name)), Html(std::move(html)), Words(std::move(words)), Then(std::move(then)) {}
  THostilePage& Without(std::vector<std::string> unseen) {
    Unseen = std::move(unseen);
    return *this;
  }
  // The words may come in any order (pages past the largest one pile up at its edge).
  THostilePage& AnyOrder() {
    Ordered = false;
    return *this;
  }
  THostilePage& Bounds(double work, int megabytes) {
    Work = work;
    Megabytes = megabytes;
    return *this;
  }
  // The page at size n (its words those at Size), loaded at Size / 8 and at Size after the row's
  // own steps: the work of loading, laying out and painting it grows with n.
  THostilePage& Grows(std::function<std::string(int)> atSize, int size) {
    AtSize = std::move(atSize);
    Size = size;
    return *this;
  }

  std::string Name;
  std::string Html;
  // Must be drawn in this order down the page (a word may share its piece with the one before).
  std::vector<std::string> Words;
  std::function<void(TPageRun&)> Then;
  // Must not be drawn anywhere (markup or raw content taken for text).
  std::vector<std::string> Unseen;
  bool Ordered = true;
  // Load, layout, paint and the further steps, in reference pages (ReferenceWork).
  double Work = 1000;
  int Megabytes = 200;  // growth of the peak resident memory
  std::function<std::string(int)> AtSize;
  int Size = 0;
};
// Failures name the row, not its bytes.
void PrintTo(const THostilePage& page, std::ostream* os) { *os << page.Name; }

// A picture as a data: URL, PNG-coded.
std::string DataPng(const QImage& image) {
  return "data:image/png;base64," + ImageBytes(image, "PNG").toBase64().toStdString();
}

// GIF pictures written block by block, as data: URLs.
struct TGifWriter {
  std::string b;
  // A logical screen with a global table of two colours, or none.
  TGifWriter(int width, int height, bool globalTable) {
    b = "GIF89a";
    Word(width).Word(height);
    b += globalTable ? std::string("\x80\0\0\0\0\0\xff\xff\xff", 9) : std::string(3, '\0');
  }
  TGifWriter& Word(int v) {
    b += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)};
    return *this;
  }
  // A frame at (0, 0) of code size 2, with its own table of two colours (the first one given) or
  // none; the codes in sub-blocks.
  TGifWriter& Frame(int width, int height, const std::vector<uint8_t>& codes, int tableColour = -1) {
    b += ',';
    Word(0).Word(0).Word(width).Word(height);
    if (tableColour >= 0)
      b += {'\x80', static_cast<char>(tableColour), 0, 0, 0, 0, '\xff'};
    else
      b += '\0';
    b += '\2';
    for (size_t i = 0; i < codes.size(); i += 255) {
      const size_t n = std::min<size_t>(255, codes.size() - i);
      b += static_cast<char>(n);
      b.append(codes.begin() + static_cast<long>(i), codes.begin() + static_cast<long>(i + n));
    }
    b += '\0';
    return *this;
  }
  QByteArray Bytes() const { return QByteArray::fromStdString(b + ';'); }
  std::string DataUrl() const { return "data:image/gif;base64," + Bytes().toBase64().toStdString(); }
};

// n one-pixel frames on a one-pixel screen, each with a colour table of its own when asked (its
// pixel's colour follows the frame).
TGifWriter ManyFrameGif(int n, bool tables) {
  TGifWriter gif(1, 1, !tables);
  gif.b.reserve(gif.b.size() + static_cast<size_t>(n) * 21);
  const std::vector<uint8_t> codes = PackLzwCodes(2, {4, 1, 5});
  for (int i = 0; i < n; ++i) gif.Frame(1, 1, codes, tables ? i & 255 : -1);
  return gif;
}
std::string DataManyFrameGif(int n, bool tables) { return ManyFrameGif(n, tables).DataUrl(); }

// n frames 65535 wide and about 1,500 high on a one-pixel screen, of one colour in the longest
// strings the table makes: a few codes for a hundred million pixels each.
std::string DataWideFramesGif(int n) {
  std::vector<int> codes = {4, 1};
  int64_t pixels = 1;
  for (int code = 6; code < 4096; ++code) codes.push_back(code), pixels += code - 4;
  for (; pixels < int64_t{65535} * 1465; pixels += 4091) codes.push_back(4095);
  codes.push_back(5);
  const std::vector<uint8_t> packed = PackLzwCodes(2, codes);
  TGifWriter gif(1, 1, true);
  for (int i = 0; i < n; ++i) gif.Frame(65535, static_cast<int>(pixels / 65535), packed);
  return gif.DataUrl();
}

// A viewer as a user has it: its window exposed and painted once.
void WaitUntilExposed(THtmlView& view) {
  QElapsedTimer waited;
  waited.start();
  while ((!view.windowHandle() || !view.windowHandle()->isExposed()) && waited.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  view.PaintPanelWidget()->repaint();
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

template <class T>
T* Control(TPageRun& run, const std::u16string& name) {
  for (const auto& c : run.View.Document().FormControls)
    if (auto* t = dynamic_cast<T*>(c.get()); t && t->Name == name) return t;
  ADD_FAILURE() << "no control named " << QString::fromStdU16String(name).toStdString();
  return nullptr;
}

// The form's queued call, then the view's own message that reaches its handler.
void Deliver() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Return in the named edit, then the event loop that delivers the submission.
void ReturnIn(TPageRun& run, const std::u16string& name) {
  if (auto* edit = Control<TEditFormControlObj>(run, name)) {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(edit->Edit(), &enter);
    Deliver();
  }
}

// A click on the named button, then the event loop.
void Press(TPageRun& run, const std::u16string& name) {
  if (auto* button = Control<TButtonFormControlObj>(run, name)) {
    button->Button()->click();
    Deliver();
  }
}

using Submissions = std::vector<std::string>;

std::vector<THostilePage> Pages() {
  std::vector<THostilePage> pages;
  pages.emplace_back("Ordinary",
                     "<h1>Title</h1><p>first <b>bold</b> <a href=x>link</a><ul><li>one<li>two</ul>"
                     "<table border=1><tr><td>cell</td><td>next</td></tr></table>",
                     std::vector<std::string>{"Title", "first", "bold", "link", "one", "two", "cell", "next"});
  pages.emplace_back("DeepNesting", Repeat("<div><span><table><tr><td>", 2000) + "deep<p>after",
                     std::vector<std::string>{"deep", "after"})
      .Grows([](int n) { return Repeat("<div><span><table><tr><td>", n) + "deep<p>after"; }, 2000);

  // Controls read before BODY belong to their forms to the end.
  pages.emplace_back("HiddenInputBeforeBody",
                     "<input type=hidden name=h value=1><body><input name=e value=2>"
                     "<input type=submit name=s value=go><input type=reset name=r value=again> words",
                     std::vector<std::string>{"words"}, [](TPageRun& run) {
                       ReturnIn(run, u"e");
                       Press(run, u"r");
                       Press(run, u"s");
                       EXPECT_EQ(run.Submitted, (Submissions{"h=1&e=2", "h=1&e=2&s=go"}));
                     });
  // The page's names are its own: none reaches the forms.
  for (const char* name : {"<p id=\"\x01" "forms\">x</p>", "<a name=\"\x01" "FORMS\">x</a>"}) {
    pages.emplace_back(std::string("FormsOutOfReachOfName") + (name[1] == 'p' ? "Id" : "Anchor"),
                       std::string("<form action=go><input name=a value=1></form>") + name + "<input name=b> end",
                       std::vector<std::string>{"x", "end"}, [](TPageRun& run) {
                         ReturnIn(run, u"a");
                         ReturnIn(run, u"b");
                         EXPECT_EQ(run.Submitted, (Submissions{"a=1", "b="}));
                       });
  }

  // Items outside lists share a block only within the cell or block that holds them.
  const std::string inlineItem = "<li style='display:inline'>";
  pages.emplace_back("LooseItemAfterHiddenRow",
                     "<table><tr style='display:none'><td>" + inlineItem + "a</td></tr></table>" + inlineItem + "b",
                     std::vector<std::string>{"b"});
  // The second item in the second cell, beside the first; in the second block, indented with it.
  auto beside = [](TPageRun& run) {
    const TPiece *a = run.Find("a"), *b = run.Find("b");
    ASSERT_TRUE(a && b);
    EXPECT_GT(b->x, a->x + 100);
  };
  pages.emplace_back("LooseItemsInTwoCells",
                     "<table><tr><td width=200>" + inlineItem + "a<td>" + inlineItem + "b</table>",
                     std::vector<std::string>{"a", "b"}, beside);
  pages.emplace_back("LooseItemsInTwoBlocks",
                     "<div>" + inlineItem + "a</div><div style='padding-left:200px'>" + inlineItem + "b</div>",
                     std::vector<std::string>{"a", "b"}, beside);

  // Style sheets: nothing left open in one takes the page after it; nesting and long selectors
  // and values cost no more than their length.
  const std::vector<std::string> helloMore{"hello", "world", "more"};
  for (const auto& [name, sheet] : std::vector<std::pair<std::string, std::string>>{
           {"EscapedQuote", "p{font-family:\"a\\\"b\"}"},
           {"UnclosedQuote", "p{font-family:\"Arial}"},
           {"UnclosedBracket", "p{background:url(x}"},
           {"QuoteOpenAtTheEnd", "p{font-family:\"x"},
           {"ImportOpenQuote", "@import \"a"},
           {"ImportOpenURL", "@import url(x "},
           {"Empty", ""},
       })
    pages.emplace_back("Sheet" + name, "<style>" + sheet + "</style>hello world<p>more", helloMore);
  using TSheetAtSize = std::function<std::string(int)>;
  for (const auto& [name, sheet, size] : std::vector<std::tuple<std::string, TSheetAtSize, int>>{
           {"DeepMedia", [](int n) { return Repeat("@media screen{", n) + "p{color:red}"; }, 30000},
           {"LongChildSelectors",
            [](int n) { return "p," + Repeat("> ", n) + "p{color:red} p" + Repeat(">", n) + "{}"; }, 600000},
           {"ManyColourParts",
            [](int n) {
              return "p{background:" + Repeat("rgb(1,2,3) ", n) + "} q{border:" + Repeat("rgb(1,2,3)", n) + "}";
            },
            300000},
       }) {
    auto page = [sheet](int n) { return "<style>" + sheet(n) + "</style>hello world<p>more"; };
    pages.emplace_back("Sheet" + name, page(size), helloMore).Grows(page, size);
  }

  // Raw content is read by its own reader, in the first pass and wherever a builder passes the
  // element over.
  pages.emplace_back("CommentOpenerInStyle", "<style>/* <!-- */ p{color:red}</style><p>text here",
                     std::vector<std::string>{"text", "here"});
  pages.emplace_back("CommentOpenerInTextArea", "<textarea>a <!-- b</textarea><p>text here",
                     std::vector<std::string>{"text", "here"});
  pages.emplace_back("CommentOpenerInTitle", "<title>a <!-- b</title><p>text after</p>",
                     std::vector<std::string>{"text", "after"}, [](TPageRun& run) {
                       EXPECT_EQ(run.View.DocumentTitle(), u"a <!-- b");
                     });
  // A title is text up to its end tag wherever it stands, also where a builder passes it over.
  const std::string title = "<title>tt <!-- yy</title>";
  for (const auto& [name, body] : std::vector<std::pair<std::string, std::string>>{
           {"ListItem", "<ul><li>x" + title + "z</ul>"},
           {"ListBetweenItems", "<ul><li>x" + title + "<li>z</ul>"},
           {"DefinitionList", "<dl><dt>x" + title + "<dd>z</dl>"},
           {"Pre", "<pre>x" + title + "z</pre>"},
           {"PreParagraph", "<pre><p>x" + title + "z</pre>"},
           {"TableCell", "<table><tr><td>x" + title + "z</table>"},
           {"BetweenTableRows", "<table><tr><td>x</td></tr>" + title + "<tr><td>z</table>"},
           {"Heading", "<h2>x" + title + "z</h2>"},
       })
    pages.emplace_back("CommentOpenerInTitleIn" + name, body + "<p>after</p>", std::vector<std::string>{"x", "z", "after"})
        .Without({"tt", "yy", "<!--"});
  pages.emplace_back("CommentOpenerInTitleBetweenOptions",
                     "<select name=s><option>a" + title + "<option selected>b</select><input name=e> text<p>after",
                     std::vector<std::string>{"text", "after"}, [](TPageRun& run) {
                       ReturnIn(run, u"e");
                       EXPECT_EQ(run.Submitted, (Submissions{"s=b&e="}));
                     })
      .Without({"tt", "yy", "<!--"});
  pages.emplace_back("CommentOpenerInTitleBetweenOptionsInPre",
                     "<pre><select name=s><option>a" + title + "<option selected>b</select><input name=e> text</pre>"
                     "<p>after",
                     std::vector<std::string>{"text", "after"}, [](TPageRun& run) {
                       ReturnIn(run, u"e");
                       EXPECT_EQ(run.Submitted, (Submissions{"s=b&e="}));
                     })
      .Without({"tt", "yy", "<!--"});
  pages.emplace_back("StyleInBlockquote", "<blockquote><style>p { color: red }</style><p>quoted</blockquote>",
                     std::vector<std::string>{"quoted"})
      .Without({"color", ">"});
  pages.emplace_back("StyleAndScriptBetweenItems",
                     "<ul><li>a<style>p{color:red}</style><li>b</ul><ol><li>c<script>x()</script><li>d</ol>"
                     "<dl><dt>e<script>y()</script><dd>f</dl>",
                     std::vector<std::string>{"a", "b", "c", "d", "e", "f"})
      .Without({"color", "x()", "y()", ">"});
  pages.emplace_back("ScriptInSelect",
                     "<select name=s><option>a<script>document.write(1)</script></select><input name=e> text",
                     std::vector<std::string>{"text"}, [](TPageRun& run) {
                       ReturnIn(run, u"e");
                       EXPECT_EQ(run.Submitted, (Submissions{"s=a&e="}));
                     });

  // Lengths past any page: no sum of them overflows, and every word stays on the page.
  const std::string huge = "99999999999px";
  const std::vector<std::pair<std::string, std::string>> lengths = {
      {"Width", "<div style='width:2147483647px'>alpha beta</div>"},
      {"PaddingsInAPercentHeight", "<div style='height:50%'><div style='padding-top:" + huge + ";padding-bottom:" +
                                       huge + "'>alpha</div><div style='padding-top:" + huge + "'>beta</div></div>"},
      {"LineHeight", "<p style='line-height:2147483647px'>alpha beta</p><p style='line-height:99999999999'>x</p>"},
      {"TextIndent", "<p style='text-indent:2147483647px'>alpha</p><p style='text-indent:-2147483647px'>beta</p>"},
      {"Border", "<div style='border:2147483647px solid'>alpha beta</div>"},
      {"NegativeMarginTop", "<div style='margin-top:-2147483648px'>alpha beta</div>"},
      {"LetterSpacing", "<p style='letter-spacing:" + huge + "'>alpha beta</p>"},
      {"ZIndex", "<div style='position:relative;z-index:1000000000'>alpha</div>"
                 "<div style='position:relative;z-index:-1000000000'>beta</div>"},
      {"ImageWidthAndSpace", "<p>alpha <img width=2147483647 hspace=40> beta"},
      {"ImageNegativeSpace", "<p>alpha <img vspace=-2147483648 hspace=-2147483648> beta"},
      {"TwoWideCells", "<table><tr><td width=2147483647>alpha</td><td width=2147483647>beta</td></tr></table>"},
      {"TableWidth", "<table width=2147483647><tr><td>alpha</td><td>beta</td></tr></table>"},
      {"HugeColspan", "<table><tr><td colspan=2147483647>alpha</td><td>beta</td></tr></table>"},
      {"ColspansFillingTheGrid", "<table><tr>" + Repeat("<td colspan=1000>alpha</td>", 3) + "<td>beta</td></tr></table>"},
      {"TableHeight", "<table height=2147483647><tr><td>alpha</td><td>beta</td></tr></table>"},
      {"TableNegativeSpace", "<table hspace=-2147483648 align=left><tr><td>alpha</td><td>beta</td></tr></table>"},
      {"BackgroundPosition", "<div style='background:url(x.png) -2147483648px 0'>alpha beta</div>"},
      {"WideFloat", "<div style='float:left;width:2147483647px'>alpha beta</div>"},
      {"NegativePaddingAndBorder", "<div style='padding:-" + huge + ";border:-" + huge + " solid'>alpha beta</div>"},
      // Sums: many siblings, deep nesting, many columns, rows, objects and floats.
      {"ManyTallBlocks", Repeat("<div style='padding-top:" + huge + ";margin-bottom:" + huge + "'>alpha</div>", 200) +
                             "<p>beta"},
      {"DeepWideMargins", Repeat("<div style='margin-left:" + huge + ";padding-left:" + huge + ";border-left:" + huge +
                                     " solid;margin-top:" + huge + ";padding-top:" + huge + "'>",
                                 150) +
                              "alpha" + Repeat("</div>", 150) + "<p>beta"},
      {"ManyWideCells", "<table><tr>" + Repeat("<td width=2147483647>alpha</td>", 200) + "</tr></table><p>beta"},
      {"ManyTallRows", "<table>" + Repeat("<tr><td height=2147483647>alpha</td></tr>", 200) + "</table><p>beta"},
      {"ManyWideImagesInALine",
       "<p>alpha" + Repeat("<img width=2147483647 height=2147483647 hspace=40 vspace=40>", 200) + " beta"},
      {"ManyTallImagesInAParagraph", "<p>alpha" + Repeat(" <img height=2147483647 width=500 vspace=40> w", 200) +
                                         " beta"},
      {"ManyWideFloats", Repeat("<div style='float:left;width:" + huge + ";height:" + huge + ";margin:" + huge +
                                    "'>alpha</div>",
                                200) +
                             "<p>beta"},
      {"ManyBigTables", Repeat("<table height=2147483647 width=2147483647 cellpadding=2147483647 "
                               "cellspacing=2147483647 border=2147483647><tr><td>alpha</td></tr></table>",
                               200) +
                            "<p>beta"},
  };
  for (const auto& [name, body] : lengths)
    pages.emplace_back("Length" + name, body + "<br clear=all>after", std::vector<std::string>{"alpha", "beta", "after"})
        .AnyOrder();
  // Spans stay within the cap on columns; a cell that finds no column within it still shows.
  pages.emplace_back("CellUnderAWideRowSpan", "<table><tr><td colspan=1000 rowspan=2>alpha</td><tr><td>beta</table>after",
                     std::vector<std::string>{"alpha", "beta", "after"})
      .AnyOrder();
  std::string cells;
  for (int i = 0; i < 1002; ++i) cells += "<td>c" + std::to_string(i);
  pages.emplace_back("RowOf1002Cells", "<table><tr>" + cells + "</table>after",
                     std::vector<std::string>{"c0", "c999", "c1000", "c1001", "after"});

  // Many of one thing: work and memory must grow with the page, no faster.
  // Each float looked through every float before it for its row, each of those through all again.
  pages.emplace_back("Floats4000", FloatsPage(4000), std::vector<std::string>{"f0", "f3999", "after"})
      .AnyOrder()
      .Bounds(400, 200)
      .Grows(FloatsPage, 4000);
  // Each span's box searched the sections from the first for its characters at the first paint.
  pages.emplace_back("BorderedSpans20000", BorderedSpansPage(20000), std::vector<std::string>{"s0", "s19999", "after"})
      .Bounds(500, 300)
      .Grows(BorderedSpansPage, 20000);
  // Each control shown on a shown panel looked through all the others for the one under the mouse,
  // and the first paint compared each with all its siblings: on a viewer on screen, so loaded
  // again once the window is exposed.
  pages.emplace_back("TextInputs20000", "<p>first", std::vector<std::string>{"first"}, [](TPageRun& run) {
         WaitUntilExposed(run.View);
         run.View.LoadFromString(QString::fromStdString(TextInputsPage(20000)).toStdU16String());
         for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
         run.View.PaintPanelWidget()->repaint();
         EXPECT_EQ(run.View.Document().FormControls.size(), 20000u);
       })
      .Bounds(500, 400)
      .Grows(TextInputsPage, 20000);
  // A copy of the stretched size was made to draw it: 1.6 GB.
  pages.emplace_back("HugeStretchedPicture",
                     "<p>before<img src=\"" + DataPng(NumberedPicture(1, 20, 20)) +
                         "\" width=20000 height=20000><p>after",
                     std::vector<std::string>{"before", "after"})
      .Bounds(1000, 150);
  // Every picture stayed in the image cache, and in the document that had shown it, for good: a run
  // of pages with a 1000 x 1000 picture each grew by 8 MB a page.
  pages.emplace_back("HundredPagesOfAPictureEach", "<p>first", std::vector<std::string>{"first"}, [](TPageRun& run) {
         for (int k = 0; k < 100; ++k) {
           run.View.LoadFromString(QString::fromStdString("<p>page<img src=\"" + DataPng(NumberedPicture(k, 1000, 1000)) +
                                                          "\">")
                                       .toStdU16String());
           QImage image(run.View.PaintPanelWidget()->size(), QImage::Format_RGB32);
           run.View.PaintDocument(image);
         }
       }).Bounds(4000, 250);
  // The picture was read, not refused: it moves.
  const auto animates = [](TPageRun& run) { EXPECT_EQ(run.View.Document().AnimatedGifs.size(), 1u); };
  // Frames far wider than the screen were spelt out pixel by pixel.
  pages.emplace_back("FiftyWideFramesOnAOnePixelScreen", "<p>before<img src=\"" + DataWideFramesGif(50) + "\"><p>after",
                     std::vector<std::string>{"before", "after"}, animates)
      .Bounds(400, 100);
  // Each frame read asked every frame before it whether it had a transparent colour: 200,000
  // frames took 350 times as long as 20,000.
  pages.emplace_back("AnimationOf200000Frames", "<p>before<img src=\"" + DataManyFrameGif(200000, false) + "\"><p>after",
                     std::vector<std::string>{"before", "after"}, animates)
      .Bounds(1000, 150)
      .Grows([](int n) { return "<p>before<img src=\"" + DataManyFrameGif(n, false) + "\"><p>after"; }, 200000);
  // A colour table of two entries took a kilobyte for each frame: 300 MB.
  pages.emplace_back("AnimationOf200000FramesEachWithItsColours",
                     "<p>before<img src=\"" + DataManyFrameGif(200000, true) + "\"><p>after",
                     std::vector<std::string>{"before", "after"}, animates)
      .Bounds(1000, 150);
  // Each place that shows the picture kept a list of its frames of its own: 1.4 GB for 300.
  pages.emplace_back("AnimationOf200000FramesShown300Times", "<p>first", std::vector<std::string>{"first"},
                     [](TPageRun& run) {
                       QTemporaryDir dir;
                       QFile gif(dir.filePath(QStringLiteral("frames.gif")));
                       ASSERT_TRUE(gif.open(QIODevice::WriteOnly));
                       gif.write(ManyFrameGif(200000, false).Bytes());
                       gif.close();
                       QFile page(dir.filePath(QStringLiteral("page.html")));
                       ASSERT_TRUE(page.open(QIODevice::WriteOnly));
                       page.write(QByteArray::fromStdString("<p>before" + Repeat("<img src=frames.gif>", 300) + "<p>after"));
                       page.close();
                       run.View.LoadFromFile(page.fileName().toStdU16String());
                       QImage image(run.View.PaintPanelWidget()->size(), QImage::Format_RGB32);
                       run.View.PaintDocument(image);
                       EXPECT_EQ(run.View.Document().AnimatedGifs.size(), 300u);
                     })
      .Bounds(1000, 150);
  return pages;
}

// Loading a page into the view, the events that follow, and the paint of its first screen.
void LoadAndPaint(THtmlView& view, const std::string& html) {
  view.LoadFromString(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())).toStdU16String());
  for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
  QImage image(view.PaintPanelWidget()->size(), QImage::Format_RGB32);
  view.PaintDocument(image);
}

// The unit of work of the rows: the CPU time of loading, laying out and painting a page of
// ordinary markup (headings, paragraphs, links, lists, tables) in a viewer of its own, the least
// of three.
double ReferenceWork(TFixedMeasurer& measurer) {
  const std::string page = Repeat(
      "<h2>Title</h2><p>first <b>bold</b> <a href=x>link</a> and some words of text that wrap<ul><li>one<li>two"
      "</ul><table border=1><tr><td>cell</td><td>next</td></tr><tr><td colspan=2>wide</td></tr></table>",
      80);
  const std::unique_ptr<THtmlView> view = MakeTestViewer(measurer);
  view->resize(600, 400);
  double least = 1e9;
  for (int round = 0; round < 3; ++round)
    least = std::min(least, workgrowth::CpuSecondsOf([&] { LoadAndPaint(*view, page); }));
  return std::max(least, 1e-6);
}

class HostilePages : public ::testing::TestWithParam<THostilePage> {
protected:
  void TearDown() override {
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  TFixedMeasurer fixed_{8, 16};
};

TEST_P(HostilePages, LoadLayOutAndPaintKeepingEveryWord) {
  const THostilePage& page = GetParam();
  const double reference = ReferenceWork(fixed_);
  const int64_t peakBefore = platform::CurrentProcessUsage().PeakResidentKB;
  const double cpu0 = workgrowth::ThreadCpuSeconds();

  const std::unique_ptr<THtmlView> shown = MakeTestViewer(fixed_);
  THtmlView& view = *shown;
  view.resize(600, 400);
  std::vector<std::string> submitted;
  view.OnFormSubmit = [&](QObject*, const std::u16string&, const std::u16string&, const std::u16string&,
                          const std::u16string&, const std::vector<std::u16string>& results) {
    std::u16string s;
    for (const auto& r : results) s += (s.empty() ? u"" : u"&") + r;
    submitted.push_back(QString::fromStdU16String(s).toStdString());
  };
  view.LoadFromString(QString::fromUtf8(page.Html.data(), static_cast<qsizetype>(page.Html.size())).toStdU16String());
  // Real pixels: the top of the page as the view paints it.
  QImage image(view.Document().LayoutWidth() > 0 ? view.Document().LayoutWidth() : 1,
               std::clamp(view.DocumentHeight(), 1, 4096), QImage::Format_RGB32);
  view.PaintDocument(image);
  // All the drawn text, however far right it lies.
  TPageRun run{view, Pieces(view.Document(), MaxCoord + 1), submitted};

  size_t piece = 0, from = 0;
  for (const std::string& word : page.Words) {
    if (!page.Ordered) piece = from = 0;
    bool found = false;
    for (; piece < run.Pieces.size() && !found; ++piece, from = 0) {
      const TPiece& p = run.Pieces[piece];
      const size_t at = p.text.find(word, from);
      if (at == std::string::npos) continue;
      found = true;
      // On the page: where layout places things (past the largest page, words pile up at its
      // far edge, a line and its objects below it at most).
      constexpr long long edge = MaxCoord + 4LL * MaxLength;
      EXPECT_TRUE(p.x >= 0 && p.x <= edge && p.y >= 0 && p.y <= edge) << word << " off the page at " << p.x << ","
                                                                       << p.y;
      from = at + word.size();
      break;
    }
    if (!found) {
      std::string drawn;
      for (size_t i = run.Pieces.size() > 12 ? run.Pieces.size() - 12 : 0; i < run.Pieces.size(); ++i)
        drawn += "\n  " + std::to_string(run.Pieces[i].x) + "," + std::to_string(run.Pieces[i].y) + " " +
                 run.Pieces[i].text;
      ADD_FAILURE() << "\"" << word << "\" not drawn, or not after the words before it; drawn last:" << drawn;
      break;
    }
  }
  for (const std::string& text : page.Unseen) EXPECT_EQ(run.Find(text), nullptr) << "\"" << text << "\" drawn";
  if (page.Then) page.Then(run);

  // The further steps are part of the run.
  const double work = (workgrowth::ThreadCpuSeconds() - cpu0) / reference;
  const int64_t grownKB = platform::CurrentProcessUsage().PeakResidentKB - peakBefore;
  EXPECT_LT(work, page.Work * kWorkSlack) << "work, in reference pages";
  EXPECT_LT(grownKB, static_cast<int64_t>(page.Megabytes * kMemorySlack) * 1024) << "memory";

  if (page.AtSize) {
    // Two rounds of each size: the largest pages take long in the sanitizer build.
    const std::string small = page.AtSize(page.Size / 8), large = page.AtSize(page.Size);
    EXPECT_TRUE(workgrowth::GrowsLinearly([&](int n) { LoadAndPaint(view, n == page.Size ? large : small); },
                                          page.Size / 8, page.Size, 2, [&] { LoadAndPaint(view, "<p>x"); }));
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, HostilePages, ::testing::ValuesIn(Pages()),
                         [](const ::testing::TestParamInfo<THostilePage>& info) { return info.param.Name; });

}  // namespace
