#pragma once
// Validation of written TMX files against the TMX 1.4 DTD of the shared data folder, with
// xmllint. A test that cannot validate (no DTD, no xmllint) is skipped with the reason.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

// "" when the file is valid; "unavailable: ..." when it cannot be checked; else xmllint's
// complaint.
inline std::string LintTmx(const std::string& file) {
  const std::string dtd = MIRELCON_SHARED_DATA "/tmx14.dtd";
  if (!std::filesystem::exists(dtd)) return "unavailable: no DTD at " + dtd;
  if (std::system("command -v xmllint >/dev/null 2>&1") != 0) return "unavailable: xmllint is not installed";
  const std::string errors = file + ".lint";
  const std::string cmd = "xmllint --noout --dtdvalid '" + dtd + "' '" + file + "' 2>'" + errors + "'";
  if (std::system(cmd.c_str()) == 0) return "";
  const std::string text = TempDir::Read(errors);
  return text.empty() ? "xmllint failed" : text;
}

// Put last in a test: skipping ends the test.
#define EXPECT_VALID_TMX(file)                                                              \
  do {                                                                                      \
    const std::string lint_ = LintTmx(file);                                                \
    if (lint_.rfind("unavailable", 0) == 0) GTEST_SKIP() << "TMX not validated, " << lint_; \
    EXPECT_EQ(lint_, "") << (file);                                                         \
  } while (0)
