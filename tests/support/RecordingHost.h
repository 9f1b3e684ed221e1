#pragma once
// A conversion host that records what a conversion tells it, for running conversions the way
// the program does without a window or a terminal.
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/core/Conversion.h"
#include "platform/core/Utf8.h"

class TRecordingHost : public TConversionHost {
public:
  void AttachProgress(TObjectControled& job) override {
    job.SetProgressEvent([this](int value) { Progress.push_back(value); });
    if (OnAttach) OnAttach(job);
  }
  void ShowHtmlMessage(const WideString& html, const WideString& caption) override {
    Html = html;
    Caption = caption;
  }
  void ShowResult(const WideString& line) override { Result = platform::Utf16ToUtf8(line); }
  const TUniStringList* PropTypes() override { return &Types; }

  // Converts input into output; "" when it went well, else the message of what was raised.
  std::string Convert(const std::string& input, const std::string& output) {
    try {
      RunConversion(*this, platform::Utf8ToUtf16(input), platform::Utf8ToUtf16(output));
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  std::function<void(TObjectControled&)> OnAttach;  // e.g. to stop the job
  std::vector<int> Progress;
  WideString Html, Caption;
  std::string Result;
  TUniStringList Types;
};
