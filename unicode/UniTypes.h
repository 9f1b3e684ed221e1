#pragma once
// The program's text types: UTF-16 everywhere, bytes only at the edges.
#include <string>

using WideChar = char16_t;
using PWideChar = char16_t*;
using PCWideChar = const char16_t*;
using WideString = std::u16string;
using AnsiString = std::string;
