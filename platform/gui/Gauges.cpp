#include "platform/gui/Gauges.h"

#include <algorithm>
#include <string>

TGauge::TGauge(QWidget* parent) : TGraphicControl(parent) {}

void TGauge::SetProgress(int value) {
  value = std::clamp(value, MinValue(), MaxValue());
  if (value == progress_) return;
  progress_ = value;
  update();
}

void TGauge::SetForeColor(TColor color) {
  foreColor_ = color;
  update();
}

void TGauge::SetBackColor(TColor color) {
  backColor_ = color;
  update();
}

void TGauge::Paint() {
  const int w = width(), h = height();
  const int percent = (progress_ - MinValue()) * 100 / (MaxValue() - MinValue());
  Canvas->Brush.Style = bsSolid;
  Canvas->Brush.Color = backColor_;
  Canvas->FillRect({0, 0, w, h});
  Canvas->Brush.Color = foreColor_;
  Canvas->FillRect({0, 0, w * percent / 100, h});
  const std::string digits = std::to_string(percent) + "%";
  const std::u16string text(digits.begin(), digits.end());
  Canvas->Brush.Style = bsClear;
  const TSize size = Canvas->TextExtent(text);
  Canvas->TextOut((w - size.cx) / 2, (h - size.cy) / 2, text);
}
