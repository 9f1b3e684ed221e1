#pragma once
// What the fuzz targets share: a scratch folder of their own for the files the readers need,
// and a check that aborts (so that libFuzzer keeps the input) when a property does not hold.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "unicode/UniTypes.h"

#define FUZZ_CHECK(cond)                                                                \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);     \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace fuzz {

// One folder per process, in memory where the system has it, removed at exit. The name lives as
// long as the process, so that the exit handler can still use it.
inline const std::string& ScratchDir() {
  static const std::string* dir = [] {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    if (const char* t = std::getenv("MIRELCON_FUZZ_TMP")) base = t;
    auto* pattern = new std::string(base + "/mirelcon-fuzz-XXXXXX");
    if (!mkdtemp(pattern->data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return pattern;
  }();
  return *dir;
}

inline std::string Path(const std::string& name) { return ScratchDir() + "/" + name; }

// File names here are ASCII.
inline WideString WPath(const std::string& name) {
  const std::string p = Path(name);
  return WideString(p.begin(), p.end());
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Bytes as UTF-16 units, little-endian; an odd last byte is dropped.
inline WideString Utf16Of(const uint8_t* data, size_t size) {
  WideString s(size / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return s;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool IsValidUtf8(const uint8_t* p, size_t n) {
  size_t i = 0;
  while (i < n) {
    const uint8_t c = p[i];
    size_t len;
    uint32_t min, cp;
    if (c < 0x80) { ++i; continue; }
    if ((c & 0xE0) == 0xC0) { len = 2; min = 0x80; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { len = 3; min = 0x800; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { len = 4; min = 0x10000; cp = c & 0x07; }
    else return false;
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// Prints a text's UTF-16 units, for the report of a failed check.
inline void Dump(const char* what, const WideString& s) {
  std::fprintf(stderr, "%s (%zu):", what, s.size());
  for (char16_t c : s) std::fprintf(stderr, c >= 0x20 && c < 0x7F ? " %c" : " %04X", c >= 0x20 && c < 0x7F ? c : static_cast<unsigned>(c));
  std::fprintf(stderr, "\n");
}

// Lines separated by LF (or another separator), each byte one character except 0xFF, which takes
// the next two bytes as one UTF-16 unit: any UTF-16 text can be reached from a few bytes.
inline std::vector<WideString> Lines(const uint8_t* data, size_t size, uint8_t separator = '\n') {
  std::vector<WideString> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == separator) {
      lines.emplace_back();
    } else if (data[i] == 0xFF && i + 2 < size) {
      lines.back() += static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
      i += 2;
    } else {
      lines.back() += static_cast<char16_t>(data[i]);
    }
  }
  return lines;
}

}  // namespace fuzz
