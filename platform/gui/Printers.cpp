#include "platform/gui/Printers.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>
#include <stdexcept>

namespace platform {

TPrinter::~TPrinter() = default;

void TPrinter::BeginDoc() {
  if (printing_) return;
  painter_ = DoBeginDoc();
  if (!painter_ || !painter_->isActive()) {
    painter_.reset();
    throw std::runtime_error("The printer " + ClassName() + " cannot begin a document.");
  }
  canvas_ = std::make_unique<TCanvas>(*painter_);
  printing_ = true;
}

void TPrinter::NewPage() {
  if (!printing_) return;
  canvas_.reset();
  DoNewPage(painter_);
  canvas_ = std::make_unique<TCanvas>(*painter_);
}

void TPrinter::EndDoc() { Finish(&TPrinter::DoEndDoc); }

void TPrinter::Abort() { Finish(&TPrinter::DoAbort); }

void TPrinter::Finish(void (TPrinter::*done)()) {
  if (!printing_) return;
  canvas_.reset();
  printing_ = false;
  (this->*done)();
  painter_.reset();
}

QPainter& TPrinter::Painter() {
  if (!painter_) throw std::logic_error("No document is being printed.");
  return *painter_;
}

TCanvas& TPrinter::Canvas() {
  if (!canvas_) throw std::logic_error("No document is being printed.");
  return *canvas_;
}

// ---- PDF ----

TPdfPrinter::TPdfPrinter(const QString& fileName, int resolution) : fileName_(fileName) {
  PixelsPerInchX = PixelsPerInchY = resolution;
  const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
  const QRect paper = layout.fullRectPixels(resolution);
  PaperWidth = PageWidth = paper.width();
  PaperHeight = PageHeight = paper.height();
}

TPdfPrinter::~TPdfPrinter() {
  if (Printing()) Abort();
}

std::unique_ptr<QPainter> TPdfPrinter::DoBeginDoc() {
  writer_ = std::make_unique<QPdfWriter>(fileName_);
  writer_->setResolution(PixelsPerInchX);
  writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
  return std::make_unique<QPainter>(writer_.get());
}

void TPdfPrinter::DoNewPage(std::unique_ptr<QPainter>& painter) {
  painter->resetTransform();
  painter->setViewTransformEnabled(false);
  writer_->newPage();
}

void TPdfPrinter::DoEndDoc() {
  if (painter_) painter_->end();
  writer_.reset();
}

void TPdfPrinter::DoAbort() {
  if (painter_) painter_->end();
  writer_.reset();
  // A document that did not finish is not left as a file that looks complete.
  QFile::remove(fileName_);
}

// ---- recording ----

TRecordingPrinter::TRecordingPrinter(int ppi, double widthInches, double heightInches, int offset) {
  PixelsPerInchX = PixelsPerInchY = ppi;
  PaperWidth = static_cast<int>(std::lround(widthInches * ppi));
  PaperHeight = static_cast<int>(std::lround(heightInches * ppi));
  OffsetX = OffsetY = offset;
  PageWidth = PaperWidth - 2 * offset;
  PageHeight = PaperHeight - 2 * offset;
}

std::unique_ptr<QPainter> TRecordingPrinter::StartPage() {
  Pages.emplace_back(PageWidth, PageHeight, QImage::Format_RGB32);
  Pages.back().fill(Qt::white);
  return std::make_unique<QPainter>(&Pages.back());
}

std::unique_ptr<QPainter> TRecordingPrinter::DoBeginDoc() {
  Calls.push_back("BeginDoc");
  Pages.clear();
  Pages.reserve(64);
  return StartPage();
}

void TRecordingPrinter::DoNewPage(std::unique_ptr<QPainter>& painter) {
  Calls.push_back("NewPage");
  painter->end();
  painter.reset();
  // The images move when the list grows: a painter is only ever open on the last one.
  painter = StartPage();
}

void TRecordingPrinter::DoEndDoc() {
  Calls.push_back("EndDoc");
  if (painter_) painter_->end();
}

void TRecordingPrinter::DoAbort() {
  Calls.push_back("Abort");
  if (painter_) painter_->end();
}

}  // namespace platform
