#pragma once
// The text dump of a laid-out document, for tests and the render tool: every piece of text as
// drawn, one line each.
#include <string>

namespace htmlview {

class ThtDocument;

// Draws the whole document (as laid out) at scroll offset 0 and lists each text output as
// "x y width height text": integers in document coordinates, the text in UTF-8 as drawn,
// sorted by y, then x; one line each, every line ending in "\n". Text right of width (the
// layout's width when 0) is left out.
std::string DumpLayout(ThtDocument& document, int width = 0);

}  // namespace htmlview
