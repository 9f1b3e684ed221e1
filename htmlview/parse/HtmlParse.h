#pragma once
// Loading a page into a document: the HTML entry (a first pass that counts links, then the
// top-level loop that dispatches each symbol to the builders and reads the document head) and
// the plain-text entry (the text as preformatted lines).
#include <memory>
#include <string>

#include "htmlview/parse/HtmlBuild.h"

namespace htmlview {

class THtmlDocParser : public THtmlBuilder {
public:
  // A page with more links than this is flagged, so that the viewer may skip costly link work.
  static constexpr int ManyLinksCount = 400;

  // The document is filled, the buffer read; neither is owned. The document's property stack and
  // style list are used as they stand (the viewer has set the fonts and colours).
  THtmlDocParser(ThtDocument& document, TBuffer& buffer, THtmlBuildHost* host = nullptr)
      : THtmlBuilder(document, buffer, host) {}

  // Decided before an entry: true unless the page declares a standard document type.
  bool ShouldUseQuirksMode() { return P.ShouldUseQuirksMode(); }

  // Parses the whole buffer as HTML into the document.
  void HtmlParseString(const THtmlParseEvents& events);
  // Shows the whole buffer as preformatted text.
  void HtmlParseTextString();

  // Read by the viewer after an entry.
  int TitleStart() const { return P.TitleStart; }
  int TitleEnd() const { return P.TitleEnd; }
  // The title's text: its character references expanded, its white space folded to single blanks
  // and trimmed.
  const std::u16string& Title() const { return P.Title; }
  const std::u16string& Base() const { return P.Base; }
  const std::u16string& BaseTarget() const { return P.BaseTarget; }

protected:
  void DoTopLevel(const TSymbSet& stop) override;

private:
  void SetupParse();
  void FinishParse();
  void DoTitle();
  void DoBody();
  void DoBase();
  void DoMeta();
  void DoLink();
  void DoStyle();
  void DoSound();
  void CountLinks();

  bool bodyApplied_ = false;  // a BODY tag has shaped the page
};

// A load in one call: a parser over the buffer in the document's quirks mode, the entry run. The
// parser is returned for its title, base and maps.
std::unique_ptr<THtmlDocParser> HtmlParseString(ThtDocument& document, TBuffer& buffer,
                                                const THtmlParseEvents& events = {}, THtmlBuildHost* host = nullptr);
std::unique_ptr<THtmlDocParser> HtmlParseTextString(ThtDocument& document, TBuffer& buffer,
                                                    THtmlBuildHost* host = nullptr);

}  // namespace htmlview
