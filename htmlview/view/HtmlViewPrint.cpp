// Printing: a copy of the document laid out for the page's printable width in screen units and
// drawn page by page through the printer painter's window and viewport, with host-drawn headers
// and footers.
#include <QApplication>
#include <QPainter>
#include <cmath>

#include "htmlview/forms/HtmlForms.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlTable.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/view/HtmlView.h"
#include "platform/gui/Printers.h"

namespace htmlview {

namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }

std::string Named(const char* text, const std::string& name) {
  std::string s = text;
  const size_t at = s.find("%s");
  if (at != std::string::npos) s.replace(at, 2, name);
  return s;
}

}  // namespace

int THtmlView::Print(platform::TPrinter* printer, int firstPage, int lastPage) {
  return PrintRequest(printer, pmPrint, firstPage, lastPage);
}

int THtmlView::PrintPreviewOrCount(platform::TPrinter* printer, bool count) {
  return PrintRequest(printer, count ? pmCount : pmPreview, 1, 9999);
}

int THtmlView::PrintRequest(platform::TPrinter* printer, int mode, int firstPage, int lastPage) {
  if (!printer) throw EIllegalArgument("No printer to print or preview to.");
  if (mode == pmPrint) {
    mode = printer->IsRecording() ? pmPreview : 4;
  } else if (!printer->IsRecording()) {
    if (mode == pmPreview)
      throw EIllegalArgument(
          Named("Previewing a print requires a printer based on TMetaFilePrinter but not a %s", printer->ClassName()));
    if (mode == pmCount)
      throw EIllegalArgument(Named(
          "Getting the total number of pages to print requires a printer based on TMetaFilePrinter but not a %s",
          printer->ClassName()));
  }
  printPage_ = 0;
  doc_->SplitTable = nullptr;
  bool stop = false;
  if (OnPageEvent) OnPageEvent(this, printPage_, stop);
  if (processing_ || doc_->Count() == 0) return 0;

  const bool counting = mode == pmCount;
  ThtDocument copy(*doc_, panel_);
  copy.Printing = true;
  copy.PrintCopy = true;
  copy.Background = clWhite;
  copy.YOffset = 0;
  copy.MonochromePrinter = printer->Monochrome;
  // The form controls ask their hooks whether the paper is one bit.
  TFormEvents& formEvents = FormEvents(panel_);
  struct TMonoScope {
    bool& flag;
    bool old;
    ~TMonoScope() { flag = old; }
  } monoScope{formEvents.MonochromePrinter, formEvents.MonochromePrinter};
  formEvents.MonochromePrinter = copy.MonochromeBlack();
  // The copy shares the window's controls, and its layout gives those as wide as a share of their
  // line the paper's widths: the window's come back when the run ends.
  struct TWidthsScope {
    ThtDocument& doc;
    std::vector<std::pair<TFormControlObj*, int>> saved;
    ~TWidthsScope() {
      // Only those still on the page, which keeps them in order.
      size_t next = 0;
      for (const auto& c : doc.FormControls)
        if (next < saved.size() && c.get() == saved[next].first) c->SetWidth(saved[next++].second);
    }
  } widthsScope{*doc_, {}};
  for (const auto& c : doc_->FormControls)
    if (c->PercentWidth) widthsScope.saved.emplace_back(c.get(), c->Width());
  printPage_ = 1;
  bool pageReached = false;
  printJob_ = printer;
  struct TJobScope {
    platform::TPrinter*& job;
    ~TJobScope() { job = nullptr; }
  } jobScope{printJob_};
  // The host hears of a run that puts pages out, however it ends.
  if (!counting && OnPrinting) OnPrinting(this);
  struct TPrintedScope {
    THtmlView& v;
    bool fire;
    ~TPrintedScope() {
      if (fire && v.OnPrinted) RunGuarded(&v, [this] { v.OnPrinted(&v); });
    }
  } printedScope{*this, !counting};
  try {
    if (!printer->Printing())
      printer->BeginDoc();
    else
      printer->NewPage();

    const int ppiX = std::max(1, printer->PixelsPerInchX), ppiY = std::max(1, printer->PixelsPerInchY);
    int scale = PixelsPerInch();
    int left = 0, top = 0, pwD = 0, phD = 0, pw = 1, ph = 1, topL = 0, bottomL = 0;
    auto margins = [&] {
      // The layout measures in the screen's pixels (its fonts and lengths use the screen's pixels
      // per inch): one of them is 1/S inch on paper, so that an inch on screen is an inch printed.
      scale = std::max(1, static_cast<int>(PixelsPerInch() * printScale_));
      const int rightOffset = std::max(0, printer->PaperWidth - printer->PageWidth - printer->OffsetX);
      const int bottomOffset = std::max(0, printer->PaperHeight - printer->PageHeight - printer->OffsetY);
      left = Round(PrintMarginLeft / 2.54 * ppiX) - printer->OffsetX;
      const int right = Round(PrintMarginRight / 2.54 * ppiX) - rightOffset;
      top = Round(PrintMarginTop / 2.54 * ppiY) - printer->OffsetY;
      const int bottom = Round(PrintMarginBottom / 2.54 * ppiY) - bottomOffset;
      pwD = std::max(1, printer->PageWidth - left - right);
      phD = std::max(1, printer->PageHeight - top - bottom);
      pw = std::max(1, Round(static_cast<double>(pwD) * scale / ppiX));
      ph = std::max(1, Round(static_cast<double>(phD) * scale / ppiY));
      topL = Round(static_cast<double>(top) * scale / ppiY);
      bottomL = Round(static_cast<double>(bottom) * scale / ppiY);
    };
    margins();
    const double printScaleAtStart = printScale_;

    // Layout for the printable width in logical units.
    int docW = 0, docH = 0;
    {
      QImage sink(1, 1, QImage::Format_RGB32);
      TCanvas canvas(&sink);
      canvas.Measurer = Measurer;
      docH = copy.DoLayout(canvas, 0, pw, ph, docW);
    }
    // Below this only empty space is left: margins, the empty rows of a last line.
    const int inkBottom = copy.InkBottom();
    auto endsAt = [&](int breakLine) { return breakLine >= docH - MarginHeight || breakLine >= inkBottom; };
    if (mode == pmCount || mode == pmPreview) {
      printPageWidth_ = pw;
      printDocHeight_ = docH;
      printWidthRatio_ = static_cast<double>(docW) / pw;
      if (printWidthRatio_ > 1) printWidthRatio_ = std::trunc(scale * printWidthRatio_ + 0.5) / scale;
    }
    const int hPages = std::max(1, std::min(PrintMaxHPages, (docW + pw - 1) / pw));

    auto mapContent = [&](QPainter& painter, int h) {
      painter.setWindow(h * pw, 0, scale, scale);
      painter.setViewport(left, top, ppiX, ppiY);
      painter.setViewTransformEnabled(true);
    };
    auto mapAt = [&](QPainter& painter, int deviceY) {
      painter.setWindow(0, 0, scale, scale);
      painter.setViewport(0, deviceY, ppiX, ppiY);
      painter.setViewTransformEnabled(true);
    };

    // The viewers of the HTML header and footer: hidden, with the printing viewer's defaults.
    auto makeHF = [&](bool wanted) -> std::unique_ptr<THtmlView> {
      if (!wanted) return nullptr;
      auto v = std::make_unique<THtmlView>(parentWidget());
      v->hide();
      v->Measurer = Measurer;
      v->SetDefBackground(defBackground_);
      v->DefFontName = DefFontName;
      v->DefFontSize = DefFontSize;
      v->DefFontColor = DefFontColor;
      v->CharSet = CharSet;
      v->MarginHeight = 0;
      return v;
    };
    const std::unique_ptr<THtmlView> headerView = makeHF(static_cast<bool>(OnPrintHTMLHeader));
    const std::unique_ptr<THtmlView> footerView = makeHF(static_cast<bool>(OnPrintHTMLFooter));
    // Draws an HTML header (above the content) or footer (below it) of the page.
    auto printHF = [&](THtmlView& hf, bool header, bool lastOne) {
      int xl = Round(static_cast<double>(left) * scale / ppiX), xr = xl + pw;
      (header ? OnPrintHTMLHeader : OnPrintHTMLFooter)(this, &hf, printPage_, lastOne, xl, xr, stop);
      if (hf.Document().Count() == 0 || xr <= xl) return;
      ThtDocument hfCopy(hf.Document(), panel_);
      hfCopy.Printing = true;
      hfCopy.YOffset = 0;
      QPainter& painter = printer->Painter();
      TCanvas& canvas = printer->Canvas();
      canvas.Measurer = Measurer;
      int w = 0;
      const int hh = hfCopy.DoLayout(canvas, 0, xr - xl, 300, w);
      const int y = header ? std::max(0, topL - hh) : 0;
      painter.setWindow(-xl, -y, scale, scale);
      painter.setViewport(0, header ? 0 : top + phD, ppiX, ppiY);
      painter.setViewTransformEnabled(true);
      const TRect area{0, 0, xr - xl, hh};
      canvas.ClearClip();
      canvas.IntersectClipRect(area);
      if (options_ & htPrintBackground) FillRectColor(canvas, area, ColorToRGB(hf.Document().Background));
      hfCopy.Draw(canvas, area, xr - xl, 0, 0, 0);
      canvas.ClearClip();
    };

    // A table split over pages keeps its state in its part record; the page's draw reads it
    // before (the header rows repeated at the top, or the body going on after a footer) and after
    // (the footer rows below the body's break).
    auto splitTable = [&]() -> THtmlTable* { return dynamic_cast<THtmlTable*>(copy.SplitTable); };
    // Draws only the table's next part with document line docY at page line pageY, clipped to
    // the band [pageY, pageY + height) of the page.
    auto drawTablePart = [&](TCanvas& canvas, THtmlTable& table, int h, int docY, int pageY, int height) {
      const TRect band{h * pw, pageY, h * pw + pw, std::min(ph, pageY + height)};
      copy.YOffset = docY - pageY;
      copy.PageBottom = copy.YOffset + ph;
      copy.PageTop = docY;
      copy.PageInked = false;
      canvas.ClearClip();
      canvas.IntersectClipRect(band);
      table.Draw(canvas, band, docW + pw, table.DrawX(), 0, 0);
    };
    // The page's background, colour and image, within rect: only when backgrounds print.
    auto printBackground = [&](TCanvas& canvas, const TRect& rect) {
      FillRectColor(canvas, rect, ColorToRGB(doc_->Background));
      if (!copy.ShowImages || copy.BackgroundImageName.empty()) return;
      const int y = -copy.YOffset;
      DrawBackgroundImage(canvas, copy, {0, y, std::max(docW, pw * hPages), y + std::max(docH, ph)}, rect);
    };
    // Draws horizontal page h of the vertical page whose content begins at document line
    // pageTop; returns the document line where the next page begins. A page on which nothing
    // paints (empty space, or a line that would cross its break after nothing) is no sheet of
    // its own: pageTop moves on to its break and the next page is drawn in its place.
    auto drawPage = [&](TCanvas& canvas, int h, int& pageTop, bool paper) {
      for (;;) {
        const bool split = splitTable() != nullptr;
        int contentTop = 0, contentBottom = ph;
        if (THtmlTable* table = splitTable()) {
          TTablePartRec& rec = table->PartRecord;
          if (rec.Kind == tpHeader) {
            const int height = std::min(rec.Height, ph / 2);
            drawTablePart(canvas, *table, h, rec.Start, 0, height);
            contentTop = height;
          } else if (rec.Kind == tpAfterFooter) {
            rec.Kind = tpNextBody;
            contentBottom = std::max(ph / 2, ph - rec.Reserve);
          }
        }
        // The body goes on from the break line itself: the record's start lies a pixel above it,
        // which would repeat a line of the row above and never cut a row taller than the page.
        const TRect rect{h * pw, contentTop, h * pw + pw, contentBottom};
        copy.SetYOffset(pageTop - contentTop);
        canvas.ClearClip();
        canvas.IntersectClipRect(rect);
        if (paper && (options_ & htPrintBackground)) printBackground(canvas, rect);
        copy.Draw(canvas, rect, docW + pw, 0, 0, 0);
        const int room = contentBottom - contentTop;
        const int breakLine = std::min(std::max(copy.PrintBreak(), pageTop + 1), pageTop + room);
        const int breakY = breakLine - pageTop + contentTop;
        if (!copy.PageInked && !split && !splitTable() && hPages == 1 && !endsAt(breakLine)) {
          if (paper) {
            canvas.ClearClip();
            FillRectColor(canvas, rect, clWhite);
          }
          pageTop = breakLine;
          continue;
        }
        // What lies below the break line shows on the next page.
        if (paper && breakY < ph) {
          canvas.ClearClip();
          const TRect below{rect.Left, breakY, rect.Right, ph};
          FillRectColor(canvas, below, clWhite);
          if (options_ & htPrintBackground) printBackground(canvas, below);
        }
        if (THtmlTable* table = splitTable(); table && table->PartRecord.Kind == tpFooter)
          drawTablePart(canvas, *table, h, table->PartRecord.Start, breakY, table->PartRecord.Height);
        canvas.ClearClip();
        return breakLine;
      }
    };
    // Every horizontal page of a vertical page draws the same part of a split table.
    struct TSplitState {
      THtmlTable* Table = nullptr;
      TTablePartRec Rec;
      int BodyBreak = 0;
    };
    auto saveSplit = [&] {
      TSplitState s;
      s.Table = splitTable();
      if (s.Table) {
        s.Rec = s.Table->PartRecord;
        s.BodyBreak = s.Table->BodyBreak;
      }
      return s;
    };
    auto restoreSplit = [&](const TSplitState& s) {
      if (THtmlTable* now = splitTable(); now && now != s.Table) now->PartRecord = TTablePartRec{};
      copy.SplitTable = s.Table;
      if (s.Table) {
        s.Table->PartRecord = s.Rec;
        s.Table->BodyBreak = s.BodyBreak;
      }
    };

    int pageTop = 0;
    while (printPage_ <= lastPage && !stop) {
      const bool printed = printPage_ >= firstPage && !counting;
      int breakLine = pageTop + ph;
      const TSplitState split = saveSplit();
      for (int h = 0; h < hPages; ++h) {
        if (h > 0) restoreSplit(split);
        if (printed) {
          QPainter& painter = printer->Painter();
          TCanvas& canvas = printer->Canvas();
          canvas.Measurer = Measurer;
          mapContent(painter, h);
          printingPaper_ = true;
          struct TPaperScope {
            bool& flag;
            ~TPaperScope() { flag = false; }
          } paperScope{printingPaper_};
          breakLine = drawPage(canvas, h, pageTop, true);
          if (OnPrintHeader) {
            mapAt(painter, 0);
            OnPrintHeader(this, canvas, printPage_, Round(static_cast<double>(printer->PageWidth) * scale / ppiX),
                          topL, stop);
          }
          if (OnPrintFooter) {
            mapAt(painter, top + phD);
            OnPrintFooter(this, canvas, printPage_, Round(static_cast<double>(printer->PageWidth) * scale / ppiX),
                          bottomL, stop);
          }
          const bool lastOne = endsAt(breakLine);
          if (headerView) printHF(*headerView, true, lastOne);
          if (footerView) printHF(*footerView, false, lastOne);
          painter.setViewTransformEnabled(false);
          pageReached = true;
          if (printScale_ != printScaleAtStart) margins();
        } else {
          // Pages that are not printed are still drawn, off the paper, for their page breaks.
          QImage sink(1, 1, QImage::Format_RGB32);
          TCanvas canvas(&sink);
          canvas.Measurer = Measurer;
          breakLine = drawPage(canvas, h, pageTop, false);
        }
        if (h + 1 < hPages) {
          if (printed) printer->NewPage();
          ++printPage_;
        }
      }
      QCoreApplication::processEvents();
      if (OnPageEvent) OnPageEvent(this, printPage_, stop);
      const bool advanced = breakLine > pageTop;
      pageTop = breakLine;
      const bool done = endsAt(pageTop) || !advanced;
      if (!done && !stop && printPage_ >= firstPage && printPage_ < lastPage && !counting) printer->NewPage();
      ++printPage_;
      if (done) break;
    }
    switch (mode) {
      case pmCount:
      case pmPreview:
      case 4:
        printer->EndDoc();
        break;
      case pmPrintOrAbort:
        if (pageReached)
          printer->EndDoc();
        else
          printer->Abort();
        break;
      default:
        break;
    }
  } catch (...) {
    // A failed run leaves no document that looks finished.
    printer->Abort();
    throw;
  }
  --printPage_;
  return printPage_;
}

}  // namespace htmlview
