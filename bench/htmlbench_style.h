#pragma once
// The style-sheet mode of htmlbench (--sheets): pages whose one style element holds a selector of 600,000
// ">" or a value of 300,000 rgb() parts, bytes to built document, each also at half its size so
// that the growth shows.

namespace htmlbench {

// Prints a markdown table: per page the bytes, our time and peak memory at half and at full size,
// and full / half (2 for linear work). Returns 0, or 1 when a ratio exceeds 3. Needs a
// QApplication.
int RunStyleBench(int runs);

}  // namespace htmlbench
