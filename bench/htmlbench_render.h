#pragma once
// The render benchmark of htmlbench: htmlrender's path from a page's bytes to a painted image
// (load, layout at 600 pixels, paint of the whole document; no PNG written) against QTextDocument
// on the same page (setHtml, setTextWidth(600), drawContents into an image of the same size).
#include <cstddef>
#include <cstdint>
#include <string>

namespace htmlbench {

// A page of about bytes of UTF-8 HTML: paragraphs with bold and italic runs, lists and bordered
// tables; the same for a seed.
std::string GenerateRenderPage(std::uint32_t seed, std::size_t bytes);

// The render mode of htmlbench, with its own arguments:
//
//   htmlbench --render [--runs K]
//
// runs the program again once per engine and page size, so that each has its own peak memory and
// whole-run time, and prints the table with the ratios ours / Qt. The runs it starts are
// "--render --engine ours|qt --bytes N [--height H] --runs K": they time that engine alone (Qt
// painting into an image H high, ours by default) and print one line of figures. Creates the
// QApplication when there is none. Returns the exit code.
int RenderMain(int argc, char** argv);

}  // namespace htmlbench
