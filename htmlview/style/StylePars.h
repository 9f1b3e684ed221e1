#pragma once
// Reading CSS: style sheets into a style list, style attributes into one element's properties,
// with shorthand properties expanded into the longhand ones the style engine knows.
#include <string>
#include <vector>

#include "htmlview/style/StyleUn.h"
#include "htmlview/text/HtmlBuffer.h"

namespace htmlview {

class EParseError : public Exception {
public:
  using Exception::Exception;
};

class THtmlStyleParser {
public:
  THtmlStyleParser(TBuffer& doc, bool quirksMode) : Doc(doc), QuirksMode(quirksMode) {}
  virtual ~THtmlStyleParser() = default;

  TBuffer& Doc;
  char16_t LCh = u' ';
  std::u16string LinkPath;
  bool QuirksMode = false;

protected:
  virtual void AddProperty(const std::u16string& prop, const std::u16string& value) = 0;
  void GetCh();
  bool GetIdentifier(std::u16string& id);
  // stopAtLess: a "<" ends the string as a failure (a style element ends there).
  bool GetQuotedStr(std::u16string& s, bool stopAtLess);
  void SkipWhiteSpace();
  // A declaration's value up to its ";" (brackets and quotes kept whole), trimmed, lower-cased
  // outside url(...), one pair of enclosing quotes removed.
  std::u16string ReadValue(bool stopAtLess);
  std::u16string AddPath(const std::u16string& value) const;
  bool ProcessShortHand(const std::u16string& prop, const std::u16string& value);
  void ProcessProperty(const std::u16string& prop, const std::u16string& value);

private:
  std::u16string valueBuffer_;
};

class THtmlStyleTagParser : public THtmlStyleParser {
public:
  THtmlStyleTagParser(TBuffer& doc, bool quirksMode, TStyleList& styles) : THtmlStyleParser(doc, quirksMode), Styles(styles) {}
  void Parse(bool isFile);

  std::vector<std::u16string> Selectors;
  TStyleList& Styles;

protected:
  void AddProperty(const std::u16string& prop, const std::u16string& value) override;

private:
  void ReadRules(bool isFile, bool inMedia);
  void DoAtRule(bool isFile);
  void GetSelectors();
  void DoStatement();
  void SkipBlock(bool isFile);
  std::u16string NormalizeSelector(std::u16string s);
  // Media blocks nest no deeper (as the page's elements): past it they are skipped.
  static constexpr int MaxMediaDepth = 200;
  int mediaDepth_ = 0;
  bool isFile_ = false;
};

class THtmlStyleAttrParser : public THtmlStyleParser {
public:
  THtmlStyleAttrParser(TBuffer& doc, bool quirksMode, TProperties& propty) : THtmlStyleParser(doc, quirksMode), Propty(propty) {}
  void Parse();
  TProperties& Propty;

protected:
  void AddProperty(const std::u16string& prop, const std::u16string& value) override;
};

// Reads a style sheet from the buffer's position; lch starts as a blank and comes back as the
// character reading stopped at. A sheet of a style element (not isFile) ends at "<".
void ParseStyleTag(TStyleList& styles, char16_t& lch, TBuffer& doc, bool quirksMode, bool isFile,
                   const std::u16string& linkPath);
void ParseStyleAttr(TBuffer& doc, TProperties& propty);
void ParseStyleAttrString(const std::u16string& text, TProperties& propty);

}  // namespace htmlview
