#pragma once
// The large-page benchmark of htmlbench: a generated page of text (paragraphs with bold, italic,
// font-size and link runs, nested lists, headings, some Greek and Cyrillic), about 1 MB and the
// same for a seed, loaded and laid out by our viewer and by QTextDocument.
#include <cstddef>
#include <cstdint>
#include <string>

namespace htmlbench {

// The page as UTF-8 HTML, at least bytes long (it stops after the block that passes it).
std::string GeneratePage(std::uint32_t seed, std::size_t bytes = 1 << 20);

// The page mode of htmlbench: with engine "ours" or "qt" it times that engine alone and prints one
// line of results (for a parent to read); with an empty engine it runs itself once per engine, so
// that each has its own peak memory, and prints the table of both with the ratios ours / Qt.
// program is the path of the running program. Returns the exit code.
int RunPageBench(const char* program, const std::string& engine, int runs, std::uint32_t seed);

}  // namespace htmlbench
