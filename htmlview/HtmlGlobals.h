#pragma once
// What the viewer knows about the screen, and UTF-16 text drawn clipped to a rectangle. Qt
// screens are true colour: no palette is selected and colours need no palette-relative flag.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Graphics.h"
#include "unicode/gui/UniStdCtrls.h"

namespace htmlview {

// The single-line edit of the form controls: Ctrl+A, with no other shift key, selects all the text.
class ThtEdit : public TUniEdit {
public:
  using TUniEdit::TUniEdit;

protected:
  void keyPressEvent(QKeyEvent* event) override;
};

inline constexpr uint8_t ScreenColorBits = 24;
// No palette is ever made current: the handle stays 0.
inline constexpr uintptr_t ViewerPalette = 0;
inline constexpr uint32_t PaletteRelativeFlag = 0;
inline constexpr bool Win9xFlag = false;
inline constexpr bool OldWin9xFlag = false;

struct TPaletteEntry {
  uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// The viewer's 256 colours, for colour reduction: the stock colours at both ends, a 6x6x6 cube,
// greys and one near-white.
const std::array<TPaletteEntry, 256>& ViewerPaletteEntries();

// Text at (x, y) clipped to rect, on the canvas's brush over the whole rect unless the brush is
// clear; a right-to-left canvas places it by its width as TextOut does.
void WideTextRect(TCanvas& canvas, const TRect& rect, int x, int y, const std::u16string& text);

// An owning list that lives from start-up to the end of the program.
class TMap {
public:
  struct TItem {
    virtual ~TItem() = default;
  };
  std::vector<std::unique_ptr<TItem>> List;
};
TMap& Map();

}  // namespace htmlview
