#pragma once
// Colours as the class library gives them: $00BBGGRR, red in the low byte; $FF000000 + n is the
// system colour n, resolved through the application's palette.
#include <QColor>
#include <cstdint>

using TColor = uint32_t;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clLime = 0x0000FF00;

inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clHighlight = clSystemColor + 13;
inline constexpr TColor clHighlightText = clSystemColor + 14;
inline constexpr TColor clBtnFace = clSystemColor + 15;
inline constexpr TColor clBtnShadow = clSystemColor + 16;
inline constexpr TColor clGrayText = clSystemColor + 17;
inline constexpr TColor clBtnText = clSystemColor + 18;
inline constexpr TColor clBtnHighlight = clSystemColor + 20;
inline constexpr TColor clWindow = clSystemColor + 5;
inline constexpr TColor clWindowText = clSystemColor + 8;
inline constexpr TColor clInfoText = clSystemColor + 23;
inline constexpr TColor clInfoBk = clSystemColor + 24;

constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// The $00BBGGRR value of color: system colours read from the application's palette now (0 for
// a number the system does not have), other colours as they are without their high byte.
TColor ColorToRGB(TColor color);

// The colour of a TColor (opaque; system colours resolved).
QColor ToQColor(TColor color);
// A Qt colour as $00BBGGRR, its alpha left out.
TColor FromQColor(const QColor& c);
