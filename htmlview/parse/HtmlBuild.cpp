#include "htmlview/parse/HtmlBuild.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "htmlview/forms/HtmlFormSelect.h"
#include "htmlview/forms/HtmlForms.h"
#include "htmlview/images/HtmlImages.h"
#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/parse/HtmlTableBuild.h"
#include "htmlview/style/StyleFonts.h"
#include "htmlview/style/StylePars.h"
#include "htmlview/style/StyleValues.h"
#include "htmlview/text/HtmlBuffer.h"
#include "htmlview/text/HtmlGlobals.h"

namespace htmlview {

TSymbSet SymbSet(std::initializer_list<Symb> symbols) {
  TSymbSet s;
  for (Symb y : symbols) s.set(y);
  return s;
}

const TSymbSet& PhraseSymbols() {
  static const TSymbSet set = SymbSet({BSy, ISy, EmSy, StrongSy, USy, CiteSy, VarSy, SSy, StrikeSy, MarkSy, TtSy,
                                       CodeSy, KbdSy, SampSy, SpanSy, LabelSy});
  return set;
}

const TSymbSet& PhraseEndSymbols() {
  static const TSymbSet set =
      SymbSet({BEndSy, IEndSy, EmEndSy, StrongEndSy, UEndSy, CiteEndSy, VarEndSy, SEndSy, StrikeEndSy, MarkEndSy,
               TtEndSy, CodeEndSy, KbdEndSy, SampEndSy, SpanEndSy, LabelEndSy});
  return set;
}

const TSymbSet& SizeSymbols() {
  static const TSymbSet set = SymbSet({SubSy, SupSy, BigSy, SmallSy});
  return set;
}

const TSymbSet& SizeEndSymbols() {
  static const TSymbSet set = SymbSet({SubEndSy, SupEndSy, BigEndSy, SmallEndSy});
  return set;
}

const TSymbSet& InlineSymbols() {
  static const TSymbSet set = PhraseSymbols() | PhraseEndSymbols() | SizeSymbols() | SizeEndSymbols() |
                              SymbSet({TextSymbol, FontSy, FontEndSy, ASy, AEndSy, NobrSy, NobrEndSy, ObjectSy,
                                       ObjectEndSy, TextareaSy, TextareaEndSy, BrSy, ImgSy, InputSy, SelectSy,
                                       BasefontSy, PanelSy, WbrSy, ScriptSy});
  return set;
}

const TSymbSet& TextLevelSymbols() {
  static const TSymbSet set = InlineSymbols() | SymbSet({HSy, HEndSy, HrSy, PreSy, TableSy, MapSy, PageSy});
  return set;
}

const TSymbSet& ListSymbols() {
  static const TSymbSet set = SymbSet({OlSy, UlSy, DirSy, MenuSy, DlSy});
  return set;
}

const TSymbSet& SectioningSymbols() {
  static const TSymbSet set = SymbSet({DivSy, HeaderSy, NavSy, ArticleSy, AsideSy, FooterSy, HgroupSy});
  return set;
}

const TSymbSet& BlockSymbols() {
  static const TSymbSet set = SectioningSymbols() | SymbSet({AddressSy, BlockquoteSy, CenterSy, FieldsetSy, FormSy});
  return set;
}

namespace {

std::u16string AsciiUpper(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

std::u16string AsciiLower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  return s;
}

std::u16string Name(Symb sy) { return std::u16string(SymbolNames[sy]); }

// The sets only these builders use, made of the shared ones.
const TSymbSet kParagraphContent = InlineSymbols() | SymbSet({ScriptEndSy, MapSy, PageSy, UnknownTagSymbol});
// A stray </MARK> is no heading content: it ends the heading.
const TSymbSet kHeadingTextLevel = (InlineSymbols() | SymbSet({HrSy, ScriptEndSy})).reset(MarkEndSy);
const TSymbSet kListEndSyms = SymbSet({OlEndSy, UlEndSy, DirEndSy, MenuEndSy, DlEndSy, BlockquoteEndSy});
const TSymbSet kItemTextLevel = InlineSymbols() | SymbSet({ScriptEndSy, HSy, MapSy, PageSy});
const TSymbSet kListItemStops =
    SymbSet({OlEndSy, LiSy, UlEndSy, DirEndSy, MenuEndSy, DlEndSy, DdSy, DtSy, EofSymbol});
// Where the select reader stops: the table's symbols as well, so that a select left open in a
// cell ends with it.
const TSymbSet kSelectStops = TableStopSet() | SymbSet({EofSymbol, SelectEndSy, PSy, InputSy});

// The INPUT tag's control, made while the element's properties are on top.
TFormControlObj* MakeInput(TSection& section, THtmlParser& p, TCellBasic* cell, TProperties& props) {
  InstallFormControls();
  std::u16string type = u"text";
  if (TAttribute* t = p.Attributes.Find(TypeSy)) type = WideLowerCase(WideTrim(t->Name));
  TFormControlObj* c = section.AddFormControl(type, &p.Attributes, cell, p.TagPos, props);
  if (c) FinishFormControl(c, props);
  // A file input is its edit and, after it, the browse button that fills the edit.
  if (c && type == u"file")
    if (TFormControlObj* browse = section.AddFormControl(FileBrowseType, &p.Attributes, cell, p.TagPos, props))
      FinishFormControl(browse, props);
  return c;
}

// Item numbers stop at the largest number rather than wrap.
int NextNumber(int n) { return n == INT32_MAX ? n : n + 1; }

Symb EndSymbolOf(Symb sy) {
  const int k = SymbolWordIndex[sy];
  if (k < 0) return UnknownTagSymbol;
  return ResWordList()[static_cast<size_t>(k)].EndSym;
}

}  // namespace

// ---- the tokenizer's host ----

void TBuildParserHost::SetSourcePos(int pos) {
  if (Document && Document->PropertyStack) Document->PropertyStack->SIndex = pos;
}

int TBuildParserHost::SourcePos() const {
  return Document && Document->PropertyStack ? Document->PropertyStack->SIndex : -1;
}

int* TBuildParserHost::SourcePosField() {
  return Document && Document->PropertyStack ? &Document->PropertyStack->SIndex : nullptr;
}

int TBuildParserHost::CodePage() const {
  return Document && Document->PropertyStack ? Document->PropertyStack->Last().CodePage : 0;
}

void TBuildParserHost::AddChPosObject(const std::u16string& id, int pos) {
  if (Document) Document->IdentifierList.AddObject(id, new TChPosObj(Document, pos));
}

// ---- the builder ----

THtmlBuilder::THtmlBuilder(ThtDocument& document, TBuffer& buffer, THtmlBuildHost* host)
    : adapter_(&document, host),
      P(buffer, &adapter_),
      Doc(&document),
      PropStack(*document.PropertyStack),
      Host(host),
      CurrentUrlTarget(std::make_unique<TUrlTarget>()) {
  P.QuirksMode = document.QuirksMode;
  if (host) P.CallingObject = host->Sender();
  // Where a builder passes the element over, its content is still read by the element's reader.
  P.OnRawContent = [this](Symb sy) {
    if (sy == StyleSy)
      ReadStyleSheet();
    else
      DoScript();
  };
}

THtmlBuilder::~THtmlBuilder() = default;

const TUrlTarget* THtmlBuilder::LinkTarget() const { return LinkOpen ? CurrentUrlTarget.get() : nullptr; }

std::unique_ptr<TSection> THtmlBuilder::NewSection(TAttributeList* attributes, bool takeTextIndent,
                                                   TCellBasic* cell) {
  ++sectionSerial_;
  return std::make_unique<TSection>(Doc, cell, PropStack.Last(), LinkTarget(), attributes, takeTextIndent);
}

void THtmlBuilder::OpenSection() { Section = NewSection(nullptr, true, SectionList); }

void THtmlBuilder::CloseSection() {
  if (!Section) return;
  Section->Finish(P.TagPos);
  SectionList->AddSection(std::move(Section));
}

void THtmlBuilder::AddToCell(std::unique_ptr<TSectionBase> section) { SectionList->AddSection(std::move(section)); }

bool THtmlBuilder::PushElement(const std::u16string& tag, const std::u16string& pseudo) {
  if (static_cast<int>(PropStack.size()) >= MaxPropSets) {
    ++skippedPushes_[tag];
    return false;
  }
  PropStack.PushProperties(tag, P.Attributes.TheClass(), P.Attributes.TheID(), pseudo, P.Attributes.TheTitle(),
                           &P.Attributes);
  return true;
}

void THtmlBuilder::PopElement(const std::u16string& tag) {
  if (auto it = skippedPushes_.find(tag); it != skippedPushes_.end() && it->second > 0) {
    --it->second;
    return;
  }
  PropStack.PopElement(tag);
}

void THtmlBuilder::StartInlineBox() {
  if (PropStack.Last().HasBorderStyle()) Doc->ProcessInline(PropStack.SIndex, PropStack.Last(), true);
}

void THtmlBuilder::OpenInline(const std::u16string& tag) {
  if (!PushElement(tag)) return;
  PropStack.Last().UpdateFontBG();
  StartInlineBox();
}

void THtmlBuilder::RefreshFont() {
  if (Section) Section->ChangeFont(PropStack.Last());
}

TBlock* THtmlBuilder::OpenBlock(TAttributeList* attributes) {
  auto block = std::make_unique<TBlock>(Doc, SectionList, PropStack.Last(), attributes);
  TBlock* b = block.get();
  AddToCell(std::move(block));
  SectionList = b->MyCell.get();
  return b;
}

void THtmlBuilder::MoveBottomMarginOut(TBlock* block) {
  if (block->MyCell->CheckLastBottomMargin()) {
    block->MargArrayO.Set(MarginBottom, AutoParagraph);
    block->BottomAuto = true;
  }
}

void THtmlBuilder::AddPageBreak() { AddToCell(std::make_unique<TPage>(Doc, SectionList)); }

// ---- the text-level builder ----

void THtmlBuilder::BuildTextLevel() {
  const Symb sy = P.Sy;
  if (sy == TextSymbol) {
    if (Section) {
      Section->AddToken(P.TextToken);
    } else if (P.TextToken.Leng > 0 && !(P.TextToken.Leng == 1 && P.TextToken.C[0] == u' ')) {
      // A lone space between blocks makes no section of its own.
      OpenSection();
      Section->AddToken(P.TextToken);
    }
    P.Next();
    return;
  }
  if (PhraseSymbols()[sy] || SizeSymbols()[sy]) {
    if (SizeSymbols()[sy]) EnsureSection();
    OpenInline(Name(sy));
    RefreshFont();
    P.Next();
    return;
  }
  if (PhraseEndSymbols()[sy] || SizeEndSymbols()[sy]) {
    PopElement(Name(sy));
    RefreshFont();
    P.Next();
    return;
  }
  switch (sy) {
    case FontSy:
    case BasefontSy:
      BuildFont(sy, false);
      RefreshFont();
      P.Next();
      break;
    case FontEndSy:
      PopElement(u"font");
      RefreshFont();
      P.Next();
      break;
    case ASy:
      Anchor(true);
      break;
    case AEndSy:
      CloseOpenLink();
      P.Next();
      break;
    case ImgSy:
    case PanelSy:
      ImageOrPanel();
      break;
    case InputSy:
      EnsureSection();
      PushElement(u"input");
      MakeInput(*Section, P, SectionList, PropStack.Last());
      PopElement(u"input");
      P.Next();
      break;
    case SelectSy:
      DoSelect();
      // Only the select's own end tag belongs to it: a cell boundary or an input that ended the
      // list is left for the caller.
      if (P.Sy == SelectEndSy) P.Next();
      break;
    case TextareaSy:
      DoTextArea();
      P.Next();
      break;
    case ObjectSy: {
      TSourceState unused;
      BuildObject(unused);
      break;
    }
    case MapSy:
      DoMap(true);
      break;
    case ScriptSy:
      DoScript();
      P.Next();
      break;
    case TableSy:
      BuildTable();
      break;
    case BrSy:
      BuildBreak(TSymbSet());
      break;
    case HrSy:
      Rule();
      break;
    case PageSy:
      CloseSection();
      AddPageBreak();
      P.Next();
      break;
    case NobrSy:
    case NobrEndSy:
      Doc->NoBreak = sy == NobrSy;
      P.Next();
      break;
    case WbrSy:
      if (Section) Section->AllowBreakHere();
      P.Next();
      break;
    case HSy:
      BuildHeading();
      break;
    case PreSy:
      if (P.Attributes.Find(WrapSy)) {
        CloseSection();
        PushElement(u"pre");
        P.Next();
      } else {
        BuildPreformatted();
      }
      break;
    case PreEndSy:
      PopElement(u"pre");
      P.Next();
      break;
    default:
      P.Next();
      break;
  }
}

void THtmlBuilder::BuildFont(Symb element, bool inPre) {
  int size = 3;
  TColor color = 0;
  std::u16string face;
  int charSet = 0;
  bool sizeSet = false, colorSet = false, faceSet = false, charSetSet = false;
  for (const auto& a : P.Attributes) {
    switch (a->Which) {
      case SizeSy: {
        int64_t v = a->Value;
        if (a->Name.size() >= 2 && (a->Name[0] == u'+' || a->Name[0] == u'-')) v += BaseFontSize;
        size = static_cast<int>(std::clamp<int64_t>(v, 1, 7));
        if (element == BasefontSy) BaseFontSize = size;
        sizeSet = true;
        break;
      }
      case ColorSy: {
        int alpha = 0;
        TColor c = 0;
        if (ColorFromString(a->Name, false, c, alpha)) {
          color = c;
          colorSet = true;
        }
        break;
      }
      case FaceSy:
        if (element == FontSy && !a->Name.empty()) {
          face = a->Name;
          faceSet = true;
        }
        break;
      case CharsetSy:
        if (DoCharSet(a->Name)) {
          charSet = PropStack.Last().CharSet;
          charSetSet = true;
        }
        break;
      default:
        break;
    }
  }
  if (!PushElement(u"font")) return;
  TProperties& p = PropStack.Last();
  p.UpdateFontBG();
  StartInlineBox();
  if (colorSet) p.AssignProp(Color, static_cast<int>(color | PaletteRelativeFlag));
  if (sizeSet) p.AssignProp(FontSize, inPre ? Doc->PreFontConvBase[size] : Doc->FontConvBase[size]);
  if (faceSet) p.AssignProp(FontFamily, FirstExistingFamily(face, u""));
  if (charSetSet) p.AssignCharSetAndCodePage(charSet, CharSetToCodePage(charSet));
}

void THtmlBuilder::BuildObject(TSourceState& state) {
  auto remember = [&] {
    state = {P.Ch, P.CurrentBuffer().Position(), PropStack.SIndex, P.LineEndState};
  };
  THtmlViewBase* viewer = Doc->Viewer;
  if (!viewer || !viewer->HasObjectTag()) {
    // The element's content is its fallback, read as content.
    remember();
    P.Next();
    return;
  }
  std::vector<std::u16string> attributes;
  if (auto list = P.Attributes.CreateStringList())
    for (int i = 0; i < list->Count(); ++i) attributes.push_back(list->Get(i));
  EnsureSection();
  PushElement(u"object");
  const int tagPos = P.TagPos;
  auto object = std::make_unique<TPanelObj>(Doc, Section->Length(), &P.Attributes, false);
  object->ProcessProperties(PropStack.Last());
  std::vector<std::u16string> params;
  do {
    remember();
    P.SkipWhiteSpace();
    P.Next();
    if (P.Sy != ParamSy) break;
    if (TAttribute* name = P.Attributes.Find(NameSy)) {
      const TAttribute* value = P.Attributes.Find(ValueSy);
      params.push_back(value ? name->Name + u"=" + value->Name : name->Name);
    }
  } while (true);
  bool wantPanel = false;
  viewer->ObjectTag(object->Panel.get(), attributes, params, wantPanel);
  if (!wantPanel) {
    // Freed, the host hears of it; what follows is the element's fallback content.
    PopElement(u"object");
    object.reset();
    return;
  }
  StartInlineBox();
  Section->AddPanelObject(std::move(object), tagPos);
  PopElement(u"object");
  // The panel stands for the element: its fallback content is not shown.
  while (P.Sy != EofSymbol && P.Sy != ObjectEndSy) {
    remember();
    P.Next();
  }
}

bool THtmlBuilder::DoCharSet(const std::u16string& text) {
  const TBuffCharSetCodePageInfo* info = FindCharSetInfo(text);
  // A set without a code page of its own cannot be read: the page stays as it is.
  if (!info || info->CodePage == 0) return false;
  TProperties& p = PropStack.Last();
  const int cp = info->CodePage;
  if (cp == CP_UTF16BE || cp == CP_UTF16LE || cp == CP_UTF8)
    p.AssignCodePage(cp);
  else
    p.AssignCharSetAndCodePage(info->CharSet, cp);
  TBuffer& buffer = P.CurrentBuffer();
  buffer.SetCharSet(p.CharSet);
  buffer.SetCodePage(p.CodePage);
  if (Host) Host->CharSetChanged(p.CharSet, p.CodePage);
  return true;
}

void THtmlBuilder::Anchor(bool next) {
  bool link = false;
  std::u16string pseudo;
  if (TAttribute* href = P.Attributes.Find(HrefSy)) {
    link = true;
    if (LinkOpen) CloseOpenLink();
    LinkOpen = true;
    TAttribute* target = P.Attributes.Find(TargetSy);
    CurrentUrlTarget->Assign(href->Name, target ? target->Name : std::u16string(), &P.Attributes, PropStack.SIndex);
    if (TAttribute* tab = P.Attributes.Find(TabindexSy)) CurrentUrlTarget->TabIndex = tab->Value;
    pseudo = u"link";
  }
  if (PushElement(u"a", pseudo)) {
    TProperties& a = PropStack.Last();
    if (link) {
      // A link's set carries the looks of its states: it is combined again as a link.
      const std::u16string title = a.PropTitle;
      a.InLink = true;
      a.Combine(*Doc->StyleList, u"a", P.Attributes.TheClass(), P.Attributes.TheID(), pseudo,
                P.Attributes.TheStyle());
      if (!title.empty()) a.PropTitle = title;
    }
    a.UpdateFontBG();
    StartInlineBox();
  }
  if (!Section)
    OpenSection();
  else
    Section->ChangeFont(PropStack.Last());
  if (TAttribute* name = P.Attributes.Find(NameSy)) {
    // Only ASCII letters change case, so that names in other scripts stay distinct.
    std::u16string id = AsciiUpper(name->Name);
    if (!id.empty() && id[0] == u'#') id.erase(0, 1);
    Doc->IdentifierList.AddObject(id, new TChPosObj(Doc, PropStack.SIndex));
    Section->HasAnchor = true;
  }
  if (link) Section->HRef(true, PropStack.Last(), CurrentUrlTarget.get());
  if (next) P.Next();
}

void THtmlBuilder::CloseOpenLink() {
  if (LinkOpen) {
    // Only the runs at the end of the link list belong to this link: no copy of the list.
    const auto& fonts = Doc->LinkFonts;
    CurrentUrlTarget->SetLast(
        static_cast<int>(fonts.size()),
        [&](int i) { return fonts[static_cast<size_t>(i)]->UrlTarget.get(); }, PropStack.SIndex);
    CurrentUrlTarget->Clear();
    LinkOpen = false;
  }
  PopElement(u"a");
  if (Section) Section->HRef(false, PropStack.Last(), CurrentUrlTarget.get());
}

void THtmlBuilder::ImageOrPanel() {
  const Symb sy = P.Sy;
  const std::u16string tag = Name(sy);
  EnsureSection();
  const bool pushed = PushElement(tag);
  if (pushed) StartInlineBox();
  TFloatingObj* obj = sy == ImgSy ? static_cast<TFloatingObj*>(Section->AddImage(&P.Attributes, SectionList, P.TagPos))
                                  : static_cast<TFloatingObj*>(Section->AddPanel(&P.Attributes, SectionList, P.TagPos));
  if (obj) obj->ProcessProperties(PropStack.Last());
  PopElement(tag);
  P.Next();
}

void THtmlBuilder::Rule() {
  CloseSection();
  PushElement(u"hr");
  auto line = std::make_unique<THorzLine>(Doc, nullptr, &P.Attributes, PropStack.Last());
  auto block = std::make_unique<THRBlock>(Doc, SectionList, PropStack.Last(), &P.Attributes);
  block->Align = line->Align == 1 ? jLeft : line->Align == 3 ? jRight : jCentre;
  THRBlock* b = block.get();
  AddToCell(std::move(block));
  b->MyCell->AddSection(std::move(line));
  PopElement(u"hr");
  P.Next();
}

void THtmlBuilder::BuildBreak(const TSymbSet& stop) {
  if (stop[BrSy]) return;
  const bool clear = P.Attributes.Find(ClearSy) != nullptr;
  if (clear) {
    CloseSection();
    Section = NewSection(&P.Attributes, false, SectionList);
  } else {
    if (!Section) Section = NewSection(&P.Attributes, false, SectionList);
    Section->AddChar(BrkCh, P.TagPos);
    CloseSection();
  }
  const bool pageBreak = BreakAsksForPage();
  if (pageBreak) {
    if (clear) CloseSection();
    AddPageBreak();
  }
  if (!clear || pageBreak) Section = NewSection(&P.Attributes, false, SectionList);
  P.Next();
}

bool THtmlBuilder::BreakAsksForPage() {
  bool before = false, after = false, inside = false;
  if (static_cast<int>(PropStack.size()) < MaxPropSets) {
    PropStack.PushProperties(u"br", P.Attributes.TheClass(), u"", u"", u"", &P.Attributes);
    PropStack.Last().GetPageBreaks(before, after, inside);
    PropStack.PopElement(u"br");
  }
  return before || after;
}

// ---- content readers ----

void THtmlBuilder::DoScript() {
  // The tokenizer stops at the '>' of a script tag: the content starts after it.
  const bool handled = static_cast<bool>(Events.OnScript);
  std::u16string contentType, name, src, script;
  if (handled) {
    if (TAttribute* a = P.Attributes.Find(TypeSy))
      contentType = a->Name;
    else if (TAttribute* l = P.Attributes.Find(LanguageSy))
      contentType = l->Name;
    if (TAttribute* a = P.Attributes.Find(NameSy)) name = a->Name;
    if (TAttribute* a = P.Attributes.Find(SrcSy)) src = a->Name;
  }
  P.ReadRawContent(u"</script", handled ? &script : nullptr);
  if (handled) Events.OnScript(P.CallingObject, name, contentType, src, script);
}

void THtmlBuilder::ReadStyleSheet() {
  // The sheet is read from the characters after the tag; the reader stops at the '<' of the end
  // tag, which the tokenizer then reads on from.
  P.TakeRawContent();
  char16_t lch = u' ';
  ParseStyleTag(*Doc->StyleList, lch, P.CurrentBuffer(), P.QuirksMode, false, u"");
  // At the end of an included text the tokenizer goes back to the text that included it.
  if (lch == 0)
    P.NextCh();
  else
    P.Ch = lch;
}

TFormControlObj* THtmlBuilder::StartFormControl(const char16_t* tag) {
  EnsureSection();
  PushElement(tag);
  InstallFormControls();
  return Section->AddFormControl(tag, &P.Attributes, SectionList, P.TagPos, PropStack.Last());
}

void THtmlBuilder::DoSelect() {
  auto* select = dynamic_cast<TOptionsFormControlObj*>(StartFormControl(u"select"));
  Doc->NoBreak = true;
  P.Next();
  bool open = false, selected = false;
  std::u16string text;
  std::vector<std::u16string> attributes;
  auto finishOption = [&] {
    if (open && select) select->AddOption(WideTrim(text), selected, &attributes);
    open = false;
    text.clear();
  };
  while (!kSelectStops[P.Sy]) {
    if (P.Sy == TextSymbol && open) {
      text += P.TextToken.S();
    } else if (P.Sy == OptionSy || P.Sy == OptionEndSy) {
      finishOption();
      if (P.Sy == OptionSy) {
        open = true;
        selected = P.Attributes.Find(SelectedSy) != nullptr;
        attributes.clear();
        if (auto list = P.Attributes.CreateStringList())
          for (int i = 0; i < list->Count(); ++i) attributes.push_back(list->Get(i));
      }
    }
    P.Next();
  }
  finishOption();
  if (select) {
    select->ResetToValue();
    FinishFormControl(select, PropStack.Last());
  }
  Doc->NoBreak = false;
  PopElement(u"select");
}

void THtmlBuilder::DoTextArea() {
  auto* area = dynamic_cast<TTextAreaFormControlObj*>(StartFormControl(u"textarea"));
  const int codePage = PropStack.Last().CodePage;
  P.NoMarkup = true;
  // The whole content goes to the area at once: adding it line by line copied the text so far
  // for every line.
  std::u16string word, line;
  while (P.Ch != 0) {
    if (P.Ch == u'\r') {
      line += u"\r\n";
      P.NextCh();
      continue;
    }
    if (P.Ch == u'&') {
      line += P.GetEntity(codePage);
      continue;
    }
    if (P.Ch != u'<') {
      line.push_back(P.Ch);
      P.NextCh();
      continue;
    }
    word.clear();
    while (P.Ch != 0 && P.Ch != u'\t' && P.Ch != u'\r' && P.Ch != u' ' && P.Ch != u'>' && word.size() < 16) {
      word.push_back(P.Ch);
      P.NextCh();
    }
    if (AsciiLower(word) == u"</textarea") break;
    line += word;
  }
  while (P.Ch != 0 && P.Ch != u'>') P.NextCh();
  P.NoMarkup = false;
  if (P.Ch == u'>') P.NextCh();
  if (area) {
    if (!line.empty()) area->AddText(line);
    area->ResetToValue();
    FinishFormControl(area, PropStack.Last());
  }
  PopElement(u"textarea");
}

void THtmlBuilder::DoMap(bool closingNext) {
  auto map = std::make_unique<TMapItem>();
  if (TAttribute* name = P.Attributes.Find(NameSy)) map->MapName = AsciiUpper(name->Name);
  P.Next();
  int others = 0;
  while (P.Sy != MapEndSy && P.Sy != EofSymbol) {
    if (P.Sy == AreaSy) {
      map->AddArea(P.Attributes);
    } else if (P.Sy != TextSymbol && ++others >= 3) {
      // A map left open: what stopped it is content again.
      break;
    }
    P.Next();
  }
  if (P.Sy == MapEndSy) {
    // The document keeps the maps: its images look them up long after the build is gone.
    Doc->MapList.push_back(std::move(map));
    if (closingNext) P.Next();
  }
}

// ---- blocks, as far as the flow needs them ----

void THtmlBuilder::BuildBlock(Symb sy0, const TSymbSet& stop) {
  if (Depth >= MaxBuildDepth) {
    // Too deep: the tag opens nothing and its content joins the enclosing block.
    P.Next();
    return;
  }
  ++Depth;
  // A block inside an inline element flows with it.
  const bool inlineParent = PropStack.Last().GetDisplay() == pdInline;
  TCellBasic* owner = SectionList;
  switch (sy0) {
    case DivSy:
    case HeaderSy:
    case SectionSy:
    case NavSy:
    case ArticleSy:
    case AsideSy:
    case FooterSy:
    case HgroupSy: {
      CloseSection();
      const std::u16string tag = Name(sy0);
      if (PushElement(tag)) ApplyAlignAttribute();
      TBlock* block = inlineParent ? nullptr : OpenBlock(&P.Attributes);
      Section = NewSection(nullptr, !inlineParent, SectionList);
      const Symb end = EndSymbolOf(sy0);
      TSymbSet content = stop;
      content.set(end);
      P.Next();
      DoTopLevel(content);
      CloseSection();
      PopElement(tag);
      if (block) {
        MoveBottomMarginOut(block);
        SectionList = owner;
      }
      if (P.Sy == end) P.Next();
      break;
    }
    case FieldsetSy: {
      CloseSection();
      if (PushElement(u"fieldset")) ApplyAlignAttribute();
      auto made = std::make_unique<TFieldsetBlock>(Doc, SectionList, PropStack.Last(), &P.Attributes);
      TFieldsetBlock* fieldset = made.get();
      AddToCell(std::move(made));
      SectionList = fieldset->MyCell.get();
      OpenSection();
      P.Next();
      DoTopLevel(stop | SymbSet({FieldsetEndSy}));
      CloseSection();
      PopElement(u"fieldset");
      MoveBottomMarginOut(fieldset);
      SectionList = owner;
      OpenSection();
      if (P.Sy == FieldsetEndSy) P.Next();
      break;
    }
    case LegendSy: {
      CloseSection();
      if (PushElement(u"legend")) ApplyAlignAttribute();
      TFieldsetBlock* fieldset = nullptr;
      if (auto* cell = dynamic_cast<TBlockCell*>(SectionList)) fieldset = dynamic_cast<TFieldsetBlock*>(cell->OwnerBlock);
      if (fieldset) SectionList = fieldset->Legend.get();
      OpenSection();
      P.Next();
      DoTopLevel(stop | SymbSet({LegendEndSy}));
      CloseSection();
      PopElement(u"legend");
      if (fieldset) SectionList = fieldset->MyCell.get();
      OpenSection();
      if (P.Sy == LegendEndSy) P.Next();
      break;
    }
    case CenterSy:
      CloseSection();
      // The tag's attributes are not read: the centring is the element's style.
      if (static_cast<int>(PropStack.size()) < MaxPropSets)
        PropStack.PushProperties(u"center", u"", u"", u"", u"", static_cast<TProperties*>(nullptr));
      else
        ++skippedPushes_[u"center"];
      P.Next();
      DoTopLevel(stop | SymbSet({CenterEndSy}));
      CloseSection();
      PopElement(u"center");
      if (P.Sy == CenterEndSy) P.Next();
      break;
    case FormSy:
      // Forms do not nest: a FORM inside a form closes it and starts the next.
      do {
        CloseSection();
        PushElement(u"form");
        StartForm(Doc, &P.Attributes);
        TBlock* block = OpenBlock(&P.Attributes);
        P.Next();
        DoTopLevel(stop | SymbSet({FormSy, FormEndSy}));
        CloseSection();
        PopElement(u"form");
        MoveBottomMarginOut(block);
        SectionList = owner;
        // A form cut short by the caller's stop (a table row, say) keeps the controls that
        // follow until the top-level loop meets its end tag.
        if (P.Sy == FormEndSy) {
          EndForm(Doc);
          P.Next();
        }
      } while (P.Sy == FormSy);
      break;
    case AddressSy:
    case BlockquoteSy:
      CloseSection();
      BuildList(sy0, stop | SymbSet({AddressEndSy, BlockquoteEndSy}));
      if (P.Sy == AddressEndSy || P.Sy == BlockquoteEndSy) P.Next();
      break;
    default:
      P.Next();
      break;
  }
  --Depth;
}

// ---- preformatted text ----

void THtmlBuilder::BuildPreformatted() {
  TokenObj t;
  CloseSection();
  const bool pushed = PushElement(u"pre");
  // Every set from here up is the element's, popped at its end.
  const size_t preDepth = pushed ? PropStack.size() - 1 : PropStack.size();
  TCellBasic* const preOwner = SectionList;
  OpenBlock(&P.Attributes);
  bool inP = false, inForm = false, done = false;
  TCellBasic* pOwner = nullptr;
  TCellBasic* formOwner = nullptr;
  auto newLine = [&](bool indent) {
    ++sectionSerial_;
    Section = std::make_unique<TPreFormated>(Doc, SectionList, PropStack.Last(), LinkTarget(), nullptr, indent);
  };
  auto flush = [&] {
    if (t.Leng == 0) return;
    if (!Section) newLine(false);
    Section->AddToken(t);
    t.Clear();
  };
  auto closeOrDrop = [&] {
    flush();
    if (Section && Section->Length() == 0) {
      Section->Unlink();
      Section.reset();
    } else {
      CloseSection();
    }
  };
  auto endParagraph = [&] {
    closeOrDrop();
    PopElement(u"p");
    SectionList = pOwner;
    inP = false;
  };
  auto endForm = [&] {
    if (Section) {
      flush();
      CloseSection();
    }
    t.Clear();
    Section.reset();
    EndForm(Doc);
    PopElement(u"form");
    SectionList = formOwner;
    inForm = false;
  };
  // Whether a font set was opened inside the element (above the "pre" set).
  auto fontInside = [&] {
    for (size_t i = pushed ? preDepth + 1 : preDepth; i < PropStack.size(); ++i)
      if (PropStack[i]->PropTag == u"font") return true;
    return false;
  };
  newLine(true);

  // One tag read by the tokenizer. A reader that stops at a symbol not its own sets again, and
  // that symbol is dispatched in turn.
  bool again = false;
  auto dispatch = [&] {
    const Symb sy = P.Sy;
    if (PhraseSymbols()[sy] && sy != TtSy && sy != CodeSy && sy != KbdSy && sy != SampSy) {
      flush();
      OpenInline(Name(sy));
      RefreshFont();
      return;
    }
    if (SizeSymbols()[sy]) {
      flush();
      OpenInline(Name(sy));
      RefreshFont();
      return;
    }
    if ((PhraseEndSymbols()[sy] && sy != TtEndSy && sy != CodeEndSy && sy != KbdEndSy && sy != SampEndSy) ||
        SizeEndSymbols()[sy]) {
      flush();
      PopElement(Name(sy));
      RefreshFont();
      return;
    }
    switch (sy) {
      case PreEndSy:
      case TableSy:
      case TdEndSy:
      case ThEndSy:
        done = true;
        break;
      case PSy:
        if (inP) {
          endParagraph();
        } else {
          closeOrDrop();
        }
        if (P.Ch == u'\r') P.NextCh();
        PushElement(u"p");
        pOwner = SectionList;
        OpenBlock(&P.Attributes);
        newLine(true);
        inP = true;
        break;
      case PEndSy:
        if (inP) {
          endParagraph();
          newLine(true);
        }
        break;
      case BrSy: {
        flush();
        CloseSection();
        if (BreakAsksForPage()) AddPageBreak();
        newLine(false);
        // The line end right after the tag is the break's own.
        if (P.Ch == u'\r') P.NextCh();
        break;
      }
      case FontSy:
      case BasefontSy:
        flush();
        BuildFont(sy, true);
        RefreshFont();
        break;
      case FontEndSy:
        // A font opened outside the element stays.
        if (fontInside()) {
          PopElement(u"font");
          flush();
          RefreshFont();
        }
        break;
      case ASy:
        flush();
        if (!Section) newLine(false);
        Anchor(false);
        break;
      case AEndSy:
        flush();
        CloseOpenLink();
        break;
      case ImgSy:
      case PanelSy: {
        if (!Section) newLine(false);
        Section->AddToken(t);
        const std::u16string tag = Name(sy);
        PushElement(tag);
        TFloatingObj* obj = sy == ImgSy
                                ? static_cast<TFloatingObj*>(Section->AddImage(&P.Attributes, SectionList, P.TagPos))
                                : static_cast<TFloatingObj*>(Section->AddPanel(&P.Attributes, SectionList, P.TagPos));
        if (obj) obj->ProcessProperties(PropStack.Last());
        PopElement(tag);
        t.Clear();
        break;
      }
      case InputSy:
        flush();
        EnsureSection();
        PushElement(u"input");
        MakeInput(*Section, P, SectionList, PropStack.Last());
        PopElement(u"input");
        break;
      case SelectSy:
        flush();
        DoSelect();
        // What ended the list, other than its own end tag, is read as a tag of the element.
        again = P.Sy != SelectEndSy && P.Sy != EofSymbol;
        break;
      case TextareaSy:
        flush();
        DoTextArea();
        break;
      case FormSy:
        if (inP) endParagraph();
        if (inForm) {
          endForm();
        } else if (Section) {
          flush();
          CloseSection();
        }
        PushElement(u"form");
        StartForm(Doc, &P.Attributes);
        formOwner = SectionList;
        OpenBlock(&P.Attributes);
        newLine(true);
        inForm = true;
        break;
      case FormEndSy:
        if (inP) endParagraph();
        if (inForm) endForm();
        if (!Section) newLine(true);
        break;
      case PageSy:
        flush();
        CloseSection();
        AddPageBreak();
        newLine(false);
        break;
      case MapSy:
        flush();
        DoMap(false);
        again = P.Sy != MapEndSy && P.Sy != EofSymbol;
        break;
      case ScriptSy:
        flush();
        DoScript();
        break;
      case ObjectSy: {
        flush();
        TSourceState state{P.Ch, P.CurrentBuffer().Position(), PropStack.SIndex, P.LineEndState};
        BuildObject(state);
        // The symbol the object stopped at is read again, as the element's characters.
        P.Ch = state.Ch;
        P.CurrentBuffer().SetPosition(state.Position);
        PropStack.SIndex = state.SourcePos;
        P.LineEndState = state.LineEndState;
        if (P.Ch == u'\r') P.NextCh();
        break;
      }
      case StyleSy:
      case TitleSy:
        // Neither a style sheet nor a title inside the element is its text.
        flush();
        P.ReadRawContent(sy == StyleSy ? u"</style" : u"</title", nullptr);
        break;
      default:
        break;
    }
  };

  while (!done) {
    const char16_t ch = P.Ch;
    if (ch == 0) {
      P.Sy = EofSymbol;
      done = true;
    } else if (ch == u'\r') {
      flush();
      CloseSection();
      newLine(false);
      P.NextCh();
    } else if (ch == u'<') {
      // Only a '<' that starts a tag goes to the tokenizer, which would otherwise read the text
      // after it as a run with its spaces and line ends folded.
      const char16_t next = P.CurrentBuffer().PeekChar();
      if (next == u'/' || next == u'?' || (next < 128 && (next | 0x20) >= u'a' && (next | 0x20) <= u'z')) {
        P.Next();
        do {
          again = false;
          dispatch();
        } while (again && !done);
      } else {
        t.AddUnicodeChar(u'<', PropStack.SIndex);
        P.NextCh();
      }
    } else if (ch < 9) {
      P.NextCh();
    } else {
      while (P.Ch >= 9 && P.Ch != u'\r' && P.Ch != u'<') {
        if (P.Ch == u'&') {
          const int pos = PropStack.SIndex;
          t.AddString(P.GetEntity(PropStack.Last().CodePage), pos);
        } else {
          t.AddUnicodeChar(P.Ch, PropStack.SIndex);
          P.NextCh();
        }
      }
    }
  }

  if (inForm) {
    endForm();
  } else {
    flush();
    CloseSection();
  }
  // The line after the start tag and the one before the end tag are empty: they go.
  auto emptyLine = [](TSectionBase* s) {
    auto* pre = dynamic_cast<TPreFormated*>(s);
    // A finished line ends with the space that closes it.
    return pre && (pre->Text.empty() || pre->Text == u" ");
  };
  if (SectionList->Count() > 0 && emptyLine(SectionList->First())) {
    SectionList->First()->Unlink();
    SectionList->Delete(0);
  }
  if (SectionList->Count() > 0 && emptyLine(SectionList->Last())) {
    SectionList->Last()->Unlink();
    SectionList->Delete(SectionList->Count() - 1);
  }
  Section.reset();
  while (PropStack.size() > preDepth && PropStack.size() > 1) PropStack.PopProperties();
  // Sets whose push was refused inside the element are forgotten with it.
  if (!pushed) PopElement(u"pre");
  SectionList = preOwner;
  if (P.Sy == PreEndSy) P.Next();
}

// ---- paragraphs, headings and lists ----

std::u16string THtmlBuilder::GetAlignAttribute() const {
  TAttribute* a = P.Attributes.Find(AlignSy);
  if (!a) return {};
  const std::u16string v = AsciiLower(a->Name);
  if (v == u"left" || v == u"center" || v == u"right" || v == u"justify") return v;
  if (v == u"middle") return u"center";
  return {};
}

void THtmlBuilder::ApplyAlignAttribute() {
  const std::u16string v = GetAlignAttribute();
  if (!v.empty()) PropStack.Last().AssignProp(TextAlign, v);
}

void THtmlBuilder::BuildParagraph(const TSymbSet& stop) {
  if (stop[PSy]) return;
  CloseSection();
  P.SkipWhiteSpace();
  std::u16string align = GetAlignAttribute();
  // The block keeps the paragraph tag's own attributes, whatever follows the tag.
  auto attributes = std::make_unique<TAttributeList>();
  auto copyAttributes = [&] {
    attributes->Clear();
    for (const auto& a : P.Attributes) attributes->Add(a->Which, a->DblValue, a->WhichName, a->Name, a->CodePage);
  };
  copyAttributes();
  P.Next();
  while (P.Sy == PSy || P.Sy == PEndSy) {
    if (P.Sy == PSy) {
      align = GetAlignAttribute();
      copyAttributes();
    }
    P.SkipWhiteSpace();
    P.Next();
  }
  const bool pushed = static_cast<int>(PropStack.size()) < MaxPropSets;
  if (pushed) {
    PropStack.PushProperties(u"p", attributes->TheClass(), attributes->TheID(), u"", attributes->TheTitle(),
                             attributes.get());
    if (!align.empty()) PropStack.Last().AssignProp(TextAlign, align);
  } else {
    ++skippedPushes_[u"p"];
  }
  TCellBasic* owner = SectionList;
  TBlock* block = OpenBlock(attributes.get());
  while (!stop[P.Sy] && kParagraphContent[P.Sy]) {
    if (P.Sy == UnknownTagSymbol)
      P.Next();
    else
      BuildTextLevel();
  }
  if (P.Sy == TableSy) block->MargArrayO.Set(MarginBottom, 0);
  CloseSection();
  PopElement(u"p");
  SectionList = owner;
  if (P.Sy == PEndSy) P.Next();
}

void THtmlBuilder::BuildHeading() {
  if (P.TagValue < 1 || P.TagValue > 6 || Depth >= MaxBuildDepth) {
    P.Next();
    return;
  }
  ++Depth;
  CloseSection();
  const std::u16string tag = u"h" + std::u16string(1, static_cast<char16_t>(u'0' + P.TagValue));
  const bool pushed = PushElement(tag);
  if (pushed) ApplyAlignAttribute();
  auto attributes = std::make_unique<TAttributeList>();
  for (const auto& a : P.Attributes) attributes->Add(a->Which, a->DblValue, a->WhichName, a->Name, a->CodePage);
  P.SkipWhiteSpace();
  P.Next();
  if (P.Sy == CenterSy) {
    if (pushed) PropStack.Last().AssignProp(TextAlign, std::u16string(u"center"));
    P.Next();
  }
  TCellBasic* owner = SectionList;
  OpenBlock(attributes.get());
  Section = NewSection(attributes.get(), true, SectionList);
  const TSymbSet blockStop = SymbSet({HEndSy});
  for (;;) {
    const Symb sy = P.Sy;
    if (sy == UnknownTagSymbol)
      P.Next();
    else if (sy == PSy)
      BuildParagraph(TSymbSet());
    else if (SectioningSymbols()[sy])
      BuildBlock(sy, blockStop);
    else if (kHeadingTextLevel[sy])
      BuildTextLevel();
    else
      break;
  }
  CloseSection();
  PopElement(tag);
  SectionList = owner;
  if (P.Sy == HEndSy) P.Next();
  --Depth;
}

void THtmlBuilder::BuildList(Symb sym, const TSymbSet& stop) {
  if (Depth >= MaxBuildDepth) {
    // Too deep: the tag opens nothing and its items join the enclosing content. A list tag is
    // left for the caller, which passes it over as it passes over a list's end tag.
    if (!ListSymbols()[sym]) P.Next();
    return;
  }
  ++Depth;
  int listNumb = 1;
  char16_t indexType = u'1';
  bool plain = false;
  const Symb endSym = EndSymbolOf(sym);
  if (sym == OlSy) {
    if (TAttribute* start = P.Attributes.Find(StartSy); start && start->Value >= 0) listNumb = start->Value;
    if (TAttribute* type = P.Attributes.Find(TypeSy); type && !type->Name.empty()) indexType = type->Name[0];
  } else if (sym == UlSy) {
    if (P.Attributes.Find(PlainSy)) {
      plain = true;
    } else if (TAttribute* type = P.Attributes.Find(TypeSy)) {
      const std::u16string t = AsciiLower(type->Name);
      plain = t == u"none" || t == u"plain";
    }
  }
  CloseSection();
  const std::u16string tag = Name(sym);
  PushElement(tag);
  TCellBasic* owner = SectionList;
  TBlock* block = OpenBlock(&P.Attributes);
  P.Next();
  if (kListEndSyms[P.Sy]) {
    PopElement(tag);
    SectionList = owner;
    --Depth;
    return;
  }
  const bool isList = ListSymbols()[sym];
  if (isList) ++ListLevel;
  TListItemState li;
  const TSymbSet blockStop = stop | kListItemStops;
  for (;;) {
    const Symb sy = P.Sy;
    if (sy == LiSy) {
      if (TAttribute* v = P.Attributes.Find(ValueSy); v && v->Value != 0) listNumb = v->Value;
      BuildListItem(li, sym, LiSy, listNumb, indexType, plain, stop);
      listNumb = NextNumber(listNumb);
    } else if (sy == DdSy || sy == DtSy) {
      BuildListItem(li, sym, sy, listNumb, indexType, plain, stop);
      listNumb = NextNumber(listNumb);
    } else if (ListSymbols()[sy]) {
      BuildList(sy, stop);
      if (!stop[P.Sy]) P.Next();
    } else if (sy == PSy) {
      BuildParagraph(stop);
    } else if (sy == AddressSy || sy == BlockquoteSy) {
      BuildBlock(sy, stop);
    } else if (sy == CenterSy || sy == FormSy || SectioningSymbols()[sy]) {
      BuildBlock(sy, blockStop);
    } else if (TextLevelSymbols()[sy]) {
      BuildTextLevel();
    } else if (!stop[sy]) {
      P.Next();
    }
    if (P.Sy == EofSymbol || P.Sy == endSym || stop[P.Sy]) break;
  }
  if (isList) --ListLevel;
  CloseSection();
  MoveBottomMarginOut(block);
  PopElement(tag);
  SectionList = owner;
  --Depth;
}

void THtmlBuilder::BuildListItem(TListItemState& li, Symb listSym, Symb itemSym, int listNumb, char16_t indexType,
                                 bool plain, const TSymbSet& stop) {
  if (Depth >= MaxBuildDepth) {
    P.Next();
    return;
  }
  ++Depth;
  CloseSection();
  const std::u16string tag = Name(itemSym);
  const bool pushed = PushElement(tag);
  const bool isInline = pushed && PropStack.Last().GetDisplay() == pdInline;
  TCellBasic* owner = SectionList;
  if (isInline && li.Block && li.Inline) {
    Section = NewSection(nullptr, true, li.Block->MyCell.get());
  } else {
    auto block = std::make_unique<TBlockLI>(Doc, SectionList, PropStack.Last(), &P.Attributes, listSym, ListLevel,
                                            plain, listNumb);
    // An item without a type of its own numbers as its list says.
    if (listSym == OlSy && !P.Attributes.Find(TypeSy)) {
      switch (indexType) {
        case u'A': block->ListStyleType = lbUpperAlpha; break;
        case u'a': block->ListStyleType = lbLowerAlpha; break;
        case u'I': block->ListStyleType = lbUpperRoman; break;
        case u'i': block->ListStyleType = lbLowerRoman; break;
        default: break;
      }
    }
    li.Block = block.get();
    AddToCell(std::move(block));
    Section = NewSection(nullptr, true, li.Block->MyCell.get());
    li.SectionSerial = sectionSerial_;
    li.Inline = isInline;
  }
  SectionList = li.Block->MyCell.get();
  owner = li.Block->OwnerCell ? li.Block->OwnerCell : owner;
  P.SkipWhiteSpace();
  P.Next();
  const bool inList = ListSymbols()[listSym];
  for (bool done = false; !done;) {
    const Symb sy = P.Sy;
    if (sy == PSy) {
      if (inList)
        BuildParagraph(TSymbSet());
      else
        done = true;
    } else if (sy == PEndSy || sy == UnknownTagSymbol) {
      P.Next();
    } else if (ListSymbols()[sy]) {
      BuildList(sy, stop);
      SectionList->CheckLastBottomMargin();
      // Like the list loop: a symbol the caller stops at stays for the caller.
      if (!stop[P.Sy]) P.Next();
    } else if (BlockSymbols()[sy]) {
      BuildBlock(sy, stop);
    } else if (sy == TableSy) {
      BuildTable();
    } else if (kItemTextLevel[sy]) {
      BuildTextLevel();
    } else {
      done = true;
    }
  }
  if (Section && sectionSerial_ == li.SectionSerial && Section->Length() == 0) Section->AddChar(0xA0, P.TagPos);
  CloseSection();
  SectionList->CheckLastBottomMargin();
  PopElement(tag);
  SectionList = owner;
  if (!isInline) li = TListItemState();
  --Depth;
}

}  // namespace htmlview
