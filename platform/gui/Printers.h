#pragma once
// The printer a host hands to whatever prints: the page's geometry in device pixels, a canvas per
// page, and the document's begin, new page, end and abort. Two kinds: a PDF file, and a recording
// printer that keeps every call and every page as an image (the only recording kind, which can
// therefore preview and count pages).
#include <QImage>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"

class QPainter;
class QPdfWriter;

namespace platform {

class TPrinter {
public:
  virtual ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // The printer's class, for messages.
  virtual std::string ClassName() const = 0;
  // Whether pages are recorded (so that they can be previewed and counted).
  virtual bool IsRecording() const { return false; }

  // Device pixels: the unprintable offsets, the paper, the printable page; and the resolution.
  int OffsetX = 0, OffsetY = 0;
  int PaperWidth = 0, PaperHeight = 0;
  int PageWidth = 0, PageHeight = 0;
  int PixelsPerInchX = 0, PixelsPerInchY = 0;
  // One plane of one bit a pixel: what is grey on screen comes out dithered unless drawn black.
  bool Monochrome = false;
  // A document is open.
  bool Printing() const { return printing_; }

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();

  // The current page's painter and a canvas over it; both change with each page. Valid while
  // Printing. The painter's window and viewport map logical units to the device.
  QPainter& Painter();
  TCanvas& Canvas();

protected:
  TPrinter() = default;
  // The device painter of a new document or page; nullptr when it cannot be had.
  virtual std::unique_ptr<QPainter> DoBeginDoc() = 0;
  virtual void DoNewPage(std::unique_ptr<QPainter>& painter) = 0;
  virtual void DoEndDoc() = 0;
  virtual void DoAbort() = 0;

  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<TCanvas> canvas_;

private:
  // Ends the document through done, which sees neither the canvas nor the printing state.
  void Finish(void (TPrinter::*done)());

  bool printing_ = false;
};

// Pages into a PDF file (A4 portrait, 300 dots per inch). An aborted document leaves no file.
class TPdfPrinter final : public TPrinter {
public:
  explicit TPdfPrinter(const QString& fileName, int resolution = 300);
  ~TPdfPrinter() override;
  std::string ClassName() const override { return "TPdfPrinter"; }
  const QString& FileName() const { return fileName_; }

protected:
  std::unique_ptr<QPainter> DoBeginDoc() override;
  void DoNewPage(std::unique_ptr<QPainter>& painter) override;
  void DoEndDoc() override;
  void DoAbort() override;

private:
  QString fileName_;
  std::unique_ptr<QPdfWriter> writer_;
};

// Records every call ("BeginDoc", "NewPage", "EndDoc", "Abort") and every page as an image of the
// page's size.
class TRecordingPrinter final : public TPrinter {
public:
  // A small page by default, so that tests stay quick: 4 x 5 inches at 72 dots per inch with an
  // unprintable border of 4 dots.
  TRecordingPrinter(int ppi = 72, double widthInches = 4, double heightInches = 5, int offset = 4);
  std::string ClassName() const override { return "TRecordingPrinter"; }
  bool IsRecording() const override { return true; }

  std::vector<std::string> Calls;
  std::vector<QImage> Pages;

protected:
  std::unique_ptr<QPainter> DoBeginDoc() override;
  void DoNewPage(std::unique_ptr<QPainter>& painter) override;
  void DoEndDoc() override;
  void DoAbort() override;

private:
  std::unique_ptr<QPainter> StartPage();
};

}  // namespace platform
