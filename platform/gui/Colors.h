#pragma once
// Colours as the class library gives them: $00BBGGRR, red in the low byte.
#include <QColor>
#include <cstdint>

using TColor = uint32_t;

inline constexpr TColor clLime = 0x0000FF00;

// The colour of a TColor; the high byte (system-colour flags) is not a colour and is ignored.
QColor ToQColor(TColor color);
