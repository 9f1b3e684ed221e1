#pragma once
// The class library's plain message box as the converter's core reaches it: the window puts
// the box in place; without one (the terminal) the text goes to standard error, one line.
#include <functional>
#include <string>

namespace platform {

using TShowMessageProc = std::function<void(const std::u16string& text)>;
// Installs proc (an empty one brings standard error back); returns the one it replaces.
TShowMessageProc SetShowMessageProc(TShowMessageProc proc);
void ShowMessage(const std::u16string& text);

}  // namespace platform
