#pragma once
// The window part of the program: a module beside the executable (its file name comes from the
// build as MIRELCON_WINDOW_MODULE), loaded only when a display answers. It holds its own copy of
// the converter's core, and shows nothing of it: its one visible name is the entry below.

// The window's whole run, from the toolkit's set-up to its exit status; argc and argv as main
// got them.
extern "C" int MirelconWindowMain(int argc, char** argv);
using TWindowEntry = int (*)(int argc, char** argv);
inline constexpr char kWindowEntryName[] = "MirelconWindowMain";
