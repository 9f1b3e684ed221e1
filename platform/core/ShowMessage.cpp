#include "platform/core/ShowMessage.h"

#include <cstdio>
#include <mutex>

#include "platform/core/Utf8.h"

namespace platform {
namespace {

std::mutex g_lock;
TShowMessageProc& Proc() {
  static TShowMessageProc proc;
  return proc;
}

}  // namespace

TShowMessageProc SetShowMessageProc(TShowMessageProc proc) {
  std::lock_guard<std::mutex> hold(g_lock);
  std::swap(Proc(), proc);
  return proc;
}

void ShowMessage(const std::u16string& text) {
  TShowMessageProc proc;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    proc = Proc();
  }
  if (proc) {
    proc(text);
    return;
  }
  // One line on the terminal: line breaks of the text would split it.
  std::string line = Utf16ToUtf8(text);
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace platform
