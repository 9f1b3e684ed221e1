#pragma once
// What the viewer knows about the screen, and UTF-16 text drawn clipped to a rectangle. Qt
// screens are true colour: no palette is selected and colours need no palette-relative flag. The
// screen's depth and the viewer's palette belong to colour reduction (dither/Dither.h).
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

// No palette is ever made current: the handle stays 0.
inline constexpr uintptr_t ViewerPalette = 0;
inline constexpr uint32_t PaletteRelativeFlag = 0;
inline constexpr bool Win9xFlag = false;
inline constexpr bool OldWin9xFlag = false;

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
