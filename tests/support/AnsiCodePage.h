#pragma once
// A test fixture that runs with a fixed ANSI code page and gives the process's back afterwards.
#include <gtest/gtest.h>

#include "platform/core/CodePages.h"

template <unsigned CodePage>
class WithAnsiCodePage : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = platform::AnsiCodePage();
    platform::SetAnsiCodePage(CodePage);
  }
  void TearDown() override { platform::SetAnsiCodePage(saved_); }

private:
  unsigned saved_ = 0;
};
