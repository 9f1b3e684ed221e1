#pragma once
// The table builder: a TABLE element and everything up to its end tag become a table section with
// its rows, cells and column specifications, placed by a table block (wrapped with its caption
// when it has one). The builder itself is THtmlBuilder::BuildTable; this header gives what the
// tests and the other builders share with it.
#include <string>

#include "htmlview/parse/HtmlBuild.h"

namespace htmlview {

// Tables nest at most this deep; a deeper TABLE tag is passed over and its rows and cells join
// the table that encloses it.
inline constexpr int kMaxTableDepth = 10;

// The symbols at which the content of a cell or caption ends, and at which misplaced content
// between cells gives the table back its symbols.
const TSymbSet& TableStopSet();

// An alignment word as a code: 1 top, 2 middle, 3 baseline, 4 bottom, 5 left, 6 right, 7 justify;
// 0 for anything else.
int TableAlignCode(const std::u16string& word);

}  // namespace htmlview
