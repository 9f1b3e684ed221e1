#pragma once
// The command line without a window: results on standard output, messages on standard error.
#include <cstdio>

#include "app/core/Conversion.h"

class TTerminalHost : public TCommandLineHost {
public:
  TTerminalHost(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void AttachProgress(TObjectControled& /*job*/) override {}
  void ShowHtmlMessage(const WideString& html, const WideString& caption) override;
  void ShowResult(const WideString& line) override;
  void ShowUsage(const WideString& text) override;
  void ShowMessage(const WideString& text) override;
  void ShowError(const WideString& text) override;
  void BeginFile(const WideString& input, const WideString& output) override;

private:
  void Line(std::FILE* f, const WideString& text, bool oneLine);

  std::FILE* out_;
  std::FILE* err_;
  WideString input_;   // the file being converted, named by its messages
  WideString output_;  // named by its result line
};

// The text of an HTML message: tags dropped, the common entities decoded.
WideString HtmlToText(const WideString& html);
