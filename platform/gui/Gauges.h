#pragma once
// The class library's gauge as a horizontal bar: the done part in the fore colour over the back
// colour, and the percentage centred on it.
#include "platform/gui/Controls.h"

class TGauge : public TGraphicControl {
public:
  explicit TGauge(QWidget* parent = nullptr);

  int Progress() const { return progress_; }
  // Held within MinValue..MaxValue.
  void SetProgress(int value);
  int MinValue() const { return 0; }
  int MaxValue() const { return 100; }
  TColor ForeColor() const { return foreColor_; }
  void SetForeColor(TColor color);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor color);

protected:
  void Paint() override;

private:
  int progress_ = 0;
  TColor foreColor_ = clBlack;
  TColor backColor_ = clWhite;
};
