#include "htmlview/parse/HtmlParse.h"

#include <algorithm>

#include "htmlview/forms/HtmlForms.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "htmlview/text/URLSubs.h"
#include "platform/core/Files.h"
#include "platform/core/Streams.h"

namespace htmlview {

namespace {

bool EqualsNoCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::u16string AttrText(const TAttributeList& list, Symb which) {
  const TAttribute* a = list.Find(which);
  return a ? a->Name : std::u16string();
}

const TSymbSet kBlocks = BlockSymbols() | SymbSet({LegendSy, SectionSy});

}  // namespace

void THtmlDocParser::SetupParse() {
  P.QuirksMode = Doc->QuirksMode;
  PropStack.Reset();
  PropStack.SIndex = -1;
  auto body = std::make_unique<TBodyBlock>(Doc, Doc, PropStack.Last(), nullptr);
  Body = body.get();
  Doc->AddSection(std::move(body));
  SectionList = Body->MyCell.get();
  CurrentUrlTarget = std::make_unique<TUrlTarget>();
  P.Base.clear();
  P.BaseTarget.clear();
  OpenSection();
  P.Attributes.Clear();
  P.NoMarkup = P.InComment = P.PreScan = false;
  Doc->NoBreak = false;
  TableDepth = 0;
  bodyApplied_ = false;
  BaseFontSize = 3;
  ListLevel = 0;
  LinkOpen = false;
  Depth = 0;
}

void THtmlDocParser::FinishParse() {
  // The last section ends at the end of the page.
  P.TagPos = std::max(P.TagPos, PropStack.SIndex);
  CloseSection();
  // A link that never showed any text has no place in the tab order.
  Doc->ParkTabControl(0, nullptr);
  // A page that styles its links under the pointer has them follow the pointer.
  if (Doc->StyleList && Doc->StyleList->UseHover) Doc->LinksActive = true;
  if (Doc->InlineBoxes) Doc->InlineBoxes->EndOpenRecords(PropStack.SIndex);
  PropStack.Reset();
  CurrentUrlTarget = std::make_unique<TUrlTarget>();
  LinkOpen = false;
  Doc->NoBreak = false;
}

void THtmlDocParser::CountLinks() {
  int links = 0;
  P.NextCh();
  P.Next();
  while (P.Sy != EofSymbol) {
    if (P.Sy == ASy && P.Attributes.Find(HrefSy) && links <= ManyLinksCount) ++links;
    // Raw content opens no comment: the tokenizer skips that of scripts, style sheets and titles
    // itself.
    if (P.Sy == TextareaSy) P.ReadRawContent(u"</textarea", nullptr);
    P.Next();
  }
  Doc->ManyLinks = links > ManyLinksCount;
}

void THtmlDocParser::HtmlParseString(const THtmlParseEvents& events) {
  SetupParse();
  TBuffer& buffer = P.CurrentBuffer();
  // The first pass counts links and follows include commands, and meets an open comment before
  // anything is built. A page that surely opens no link ("<a"), comment or include ("<!") and no
  // server block ("<%", which may hide what comes between '<' and a name) has no use for it.
  if (buffer.MayHaveAfterLessThan("aA!%")) {
    const int savedSource = PropStack.SIndex;
    const int savedPos = buffer.Position();
    // The first pass follows include commands only.
    Events = THtmlParseEvents();
    Events.OnInclude = events.OnInclude;
    P.OnInclude = events.OnInclude;
    P.PreScan = true;
    CountLinks();
    P.CurrentBuffer().SetPosition(savedPos);
    PropStack.SIndex = savedSource;
    P.PreScan = false;
    P.InComment = false;
    P.NoMarkup = false;
    P.LineEndState = 0;
  } else {
    Doc->ManyLinks = false;
    P.OnInclude = events.OnInclude;
  }
  Events = events;
  P.NextCh();
  P.Next();
  DoTopLevel(TSymbSet());
  FinishParse();
}

void THtmlDocParser::HtmlParseTextString() {
  SetupParse();
  P.NoMarkup = true;
  P.NextCh();
  PropStack.PushProperties(u"pre", u"", u"", u"", u"", static_cast<TProperties*>(nullptr));
  CloseSection();
  TCellBasic* owner = SectionList;
  OpenBlock(nullptr);
  auto newLine = [&] {
    ++sectionSerial_;
    Section = std::make_unique<TPreFormated>(Doc, SectionList, PropStack.Last(), nullptr, nullptr, true);
  };
  newLine();
  // A long line goes to its section in pieces, so that the token stays small.
  constexpr int MaxToken = 200;
  TokenObj token;
  while (P.Ch != 0) {
    if (P.Ch == u'\r') {
      Section->AddToken(token);
      token.Clear();
      P.TagPos = PropStack.SIndex;
      CloseSection();
      newLine();
    } else {
      token.AddUnicodeChar(P.Ch, PropStack.SIndex);
      if (token.Leng > MaxToken) {
        Section->AddToken(token);
        token.Clear();
      }
    }
    P.NextCh();
  }
  Section->AddToken(token);
  P.TagPos = PropStack.SIndex;
  CloseSection();
  PropStack.PopElement(u"pre");
  SectionList = owner;
  FinishParse();
}

void THtmlDocParser::DoTopLevel(const TSymbSet& stop) {
  // Items outside lists share a block only within one run of the loop: a cell or a block that
  // ends takes its items with it.
  TListItemState looseItems;
  while (P.Sy != EofSymbol && !stop[P.Sy]) {
    const Symb sy = P.Sy;
    switch (sy) {
      case TitleSy:
        DoTitle();
        continue;
      case BodySy:
        DoBody();
        P.Next();
        continue;
      case BaseSy:
        DoBase();
        continue;
      case MetaSy:
        DoMeta();
        continue;
      case LinkSy:
        DoLink();
        continue;
      case StyleSy:
        DoStyle();
        continue;
      case BgsoundSy:
        DoSound();
        continue;
      case FormEndSy:
        EndForm(Doc);
        P.Next();
        continue;
      case PSy:
        BuildParagraph(stop);
        continue;
      case LiSy:
        BuildListItem(looseItems, StandaloneItemSymbol, LiSy, 1, u'1', false, stop);
        continue;
      case DdSy:
      case DtSy:
        BuildListItem(looseItems, DlSy, sy, 1, u'1', false, stop);
        continue;
      default:
        break;
    }
    if (ListSymbols()[sy]) {
      BuildList(sy, stop);
      if (!stop[P.Sy]) P.Next();
    } else if (kBlocks[sy]) {
      BuildBlock(sy, stop);
    } else if (TextLevelSymbols()[sy]) {
      BuildTextLevel();
    } else {
      P.Next();
    }
  }
}

void THtmlDocParser::DoTitle() {
  // The title is text as written, like a text area's: a "<!--" in it opens nothing.
  std::u16string text;
  P.ReadRawContent(u"</title", &text, &P.TitleStart, &P.TitleEnd, true);
  // A caption is one line: the line breaks and indents of the source are no part of it.
  P.Title.clear();
  for (char16_t c : text) {
    const bool blank = c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
    if (!blank)
      P.Title.push_back(c);
    else if (!P.Title.empty() && P.Title.back() != u' ')
      P.Title.push_back(u' ');
  }
  if (!P.Title.empty() && P.Title.back() == u' ') P.Title.pop_back();
  P.Next();
}

void THtmlDocParser::DoBase() {
  if (const TAttribute* href = P.Attributes.Find(HrefSy)) P.Base = href->Name;
  if (const TAttribute* target = P.Attributes.Find(TargetSy)) P.BaseTarget = target->Name;
  P.Next();
}

void THtmlDocParser::DoBody() {
  if (!Body || TableDepth != 0) return;
  const bool pendingEmpty = !Section || (Section->Length() == 0 && !Section->HasAnchor);
  const bool nothingRead = pendingEmpty && Body->MyCell->Count() == 0;
  // The first BODY shapes the page whatever came before it: most pages have a line end, a head
  // or a stray word first. What was read stays, in the new body. A later BODY after content
  // changes nothing.
  if (bodyApplied_ && !nothingRead) return;
  if (!PushElement(u"body")) return;
  bodyApplied_ = true;
  if (nothingRead && Section) {
    Section->Unlink();
    Section.reset();
  }
  // The controls read so far stay: the forms list them (a hidden input is submitted with the
  // rest), and no section that is dropped here holds one.
  if (nothingRead) Doc->Panels.clear();
  TProperties& body = PropStack.Last();
  const TProperties* def = Doc->StyleList ? Doc->StyleList->DefProp : nullptr;
  auto defMargin = [&](int index) {
    if (!def) return 0;
    const TPropValue& v = def->Props[index];
    if (const int* i = std::get_if<int>(&v)) return *i;
    if (const double* d = std::get_if<double>(&v)) return static_cast<int>(*d);
    return 0;
  };
  int marginHeight = defMargin(MarginTop), marginWidth = defMargin(MarginLeft);
  for (const auto& a : P.Attributes) {
    TColor c = 0;
    int alpha = 0;
    switch (a->Which) {
      case BgcolorSy:
        if (ColorFromString(a->Name, false, c, alpha)) body.AssignProp(BackgroundColor, static_cast<int>(c));
        break;
      case TextSy:
        if (ColorFromString(a->Name, false, c, alpha)) body.AssignProp(Color, static_cast<int>(c));
        break;
      case LinkSy:
        Doc->StyleList->AddModifyProp(u"::link", u"color", a->Name);
        break;
      case BackgroundSy:
        body.AssignProp(BackgroundImage, u"url(" + a->Name + u")");
        break;
      case MarginwidthSy:
      case LeftmarginSy:
        marginWidth = std::clamp(a->Value, 0, 200);
        break;
      case MarginheightSy:
      case TopmarginSy:
        marginHeight = std::clamp(a->Value, 0, 200);
        break;
      case BgpropertiesSy:
        if (EqualsNoCase(a->Name, u"fixed")) body.AssignProp(BackgroundAttachment, std::u16string(u"fixed"));
        break;
      case VlinkSy:
        Doc->StyleList->AddModifyProp(u"::visited", u"color", a->Name);
        break;
      case OlinkSy:
        Doc->StyleList->AddModifyProp(u"::hover", u"color", a->Name);
        Doc->StyleList->UseHover = true;
        break;
      default:
        break;
    }
  }
  body.AssignProp(MarginLeft, marginWidth);
  body.AssignProp(MarginRight, marginWidth);
  body.AssignProp(MarginTop, marginHeight);
  body.AssignProp(MarginBottom, marginHeight);
  // The old body leaves the page before the new one is made: the new one's margins collapse with
  // nothing before it.
  std::unique_ptr<TSectionBase> old;
  if (const int index = Doc->IndexOf(Body); index >= 0) old = Doc->Extract(index);
  auto block = std::make_unique<TBodyBlock>(Doc, Doc, body, &P.Attributes);
  if (!nothingRead) {
    // The content read so far moves over with its cell, which the sections and the builder
    // refer to; the pending section goes on in the body's font.
    const std::u16string tag = block->MyCell->OwnersTag;
    std::swap(block->MyCell, Body->MyCell);
    block->MyCell->OwnerBlock = block.get();
    block->MyCell->OwnersTag = tag;
    RefreshFont();
  }
  Body = block.get();
  Doc->AddSection(std::move(block));
  if (nothingRead) {
    SectionList = Body->MyCell.get();
    OpenSection();
  }
}

void THtmlDocParser::DoMeta() {
  std::u16string httpEq = AttrText(P.Attributes, HttpequivSy);
  const std::u16string name = AttrText(P.Attributes, NameSy);
  std::u16string content = AttrText(P.Attributes, ContentSy);
  if (!P.Attributes.Find(ContentSy)) {
    if (const TAttribute* cs = P.Attributes.Find(CharsetSy)) {
      httpEq = u"content-type";
      content = cs->Name;
    }
  }
  if (EqualsNoCase(httpEq, u"content-type")) DoCharSet(content);
  if (Events.OnMeta) Events.OnMeta(P.CallingObject, httpEq, name, content);
  P.Next();
}

void THtmlDocParser::DoLink() {
  const std::u16string href = AttrText(P.Attributes, HrefSy);
  const std::u16string rel = AttrText(P.Attributes, RelSy);
  const std::u16string rev = AttrText(P.Attributes, RevSy);
  bool sheet = EqualsNoCase(rel, u"stylesheet");
  if (const TAttribute* media = P.Attributes.Find(MediaSy))
    if (media->Name.find(u"screen") == std::u16string::npos && media->Name.find(u"all") == std::u16string::npos)
      sheet = false;
  if (sheet && !href.empty()) {
    std::unique_ptr<TStream> stream;
    std::u16string name = href;
    platform::FileHandle file = platform::InvalidFileHandle;
    if (!Host || !Host->StreamRequest(href, stream)) {
      // A name that cannot be expanded (a bad %-escape) names no sheet: the page goes on without it.
      try {
        name = Host ? Host->ExpandFilename(href) : href;
      } catch (const EConvertError&) {
        name.clear();
      }
      if (!name.empty() && platform::IsRegularFile(name)) {
        file = platform::OpenFile(name, platform::AccessRead, platform::ShareRead, platform::Disposition::OpenExisting);
        if (file != platform::InvalidFileHandle) stream = std::make_unique<THandleStream>(file);
      }
    }
    struct TCloser {
      platform::FileHandle h;
      ~TCloser() {
        if (h != platform::InvalidFileHandle) platform::CloseFile(h);
      }
    } closer{file};
    if (stream) {
      stream->SetPosition(0);
      TBuffer sheetBuffer(*stream, name);
      char16_t lch = u' ';
      ParseStyleTag(*Doc->StyleList, lch, sheetBuffer, P.QuirksMode, true, name);
    }
  }
  if (Events.OnLink) Events.OnLink(P.CallingObject, rel, rev, href);
  P.Next();
}

void THtmlDocParser::DoStyle() {
  ReadStyleSheet();
  P.Next();
}

void THtmlDocParser::DoSound() {
  if (Events.OnSoundRequest) {
    if (const TAttribute* src = P.Attributes.Find(SrcSy)) {
      const TAttribute* loop = P.Attributes.Find(LoopSy);
      Events.OnSoundRequest(P.CallingObject, src->Name, loop ? loop->Value : 1, false);
    }
  }
  P.Next();
}

std::unique_ptr<THtmlDocParser> HtmlParseString(ThtDocument& document, TBuffer& buffer,
                                                const THtmlParseEvents& events, THtmlBuildHost* host) {
  auto parser = std::make_unique<THtmlDocParser>(document, buffer, host);
  parser->HtmlParseString(events);
  return parser;
}

std::unique_ptr<THtmlDocParser> HtmlParseTextString(ThtDocument& document, TBuffer& buffer, THtmlBuildHost* host) {
  auto parser = std::make_unique<THtmlDocParser>(document, buffer, host);
  parser->HtmlParseTextString();
  return parser;
}

}  // namespace htmlview
