#pragma once
// The parse mode of htmlbench: bytes to built document (no layout) on generated pages of 1 MB and
// 10 MB, one with a 1-MB unbroken run, against QTextDocument::setHtml on the same pages.
#include <string>

namespace htmlbench {

// A page of about bytes bytes of mixed markup: headings, paragraphs with bold, italic and links,
// lists, nested blocks, preformatted text. With runBytes > 0 a paragraph holding one word of that
// many bytes (no space, no markup) stands in the middle.
std::string GeneratedPage(size_t bytes, size_t runBytes = 0);

// Times each page: the median of runs (after one warm-up) for ours and for QTextDocument (one
// run only on the pages over 2 MB, which it takes minutes over), MB/s, the peak resident memory
// each build added, and our time per MB at 10 MB against that at 1 MB. Prints a markdown table;
// returns 0, or 1 when the 10-MB time per MB exceeds 1.5 times the 1-MB one. Needs a
// QApplication; ours or peer false leaves that engine out.
int RunParseBench(int runs, bool ours, bool peer);

// Our engine alone, bytes to built document: the median seconds of runs (after one warm-up) and the
// largest peak resident memory a run added, in KB.
struct TBuildFigures {
  double Seconds = 0;
  size_t PeakKb = 0;
};
TBuildFigures TimeOurBuild(const std::string& html, int runs);

}  // namespace htmlbench
