#pragma once
// The import of a two-column text file (source TAB target, one pair a line) into a new text
// translation memory.
#include "base/MyObjects.h"
#include "unicode/UniTypes.h"

// Writes outputName (replaced when it exists) as a UTF-8 text TM: the first input line becomes
// the header, every further line a unit of the pair EN>JA. The input's encoding comes from its
// byte-order mark; without one it is UTF-8 when its bytes are valid UTF-8, else ANSI. The
// header's count is set to the units written once they are all written. onProgress receives
// the percentage of the input read.
// Returns the number of units that the text-TM reader takes (lines with a source). A surrogate
// without its partner is written as U+FFFD; the lines that held one are counted in *repaired.
// Raises EWideFOpenError when the input cannot be opened, EWideFCreateError when the output
// cannot be created, and EWideFileStreamError when the output could not take all it was
// given; each message names the file. What was written before a failure stays.
int ConvertCsvToTxt(const WideString& inputName, const WideString& outputName, const TProgressEvent& onProgress = {},
                    int* repaired = nullptr);
