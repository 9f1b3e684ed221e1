#include "htmlview/parse/HtmlTreeDump.h"

#include <cxxabi.h>

#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <typeinfo>
#include <vector>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDocument.h"
#include "htmlview/layout/HtmlFonts.h"
#include "htmlview/layout/HtmlPanels.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/style/StyleValues.h"

namespace htmlview {

namespace {

std::string U8(const std::u16string& s) { return QString::fromStdU16String(s).toStdString(); }

std::string Quoted(const std::u16string& s) {
  std::string out(1, '"');
  out += U8(s);
  out += '"';
  return out;
}

// The class name without its namespace: the kind of an object this dump has no case for.
std::string TypeName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : type.name();
  std::free(demangled);
  if (const size_t colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
  return name;
}

std::string Colour(TColor c) {
  if (c == clNone) return "none";
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<unsigned>(c & 0xFF), static_cast<unsigned>((c >> 8) & 0xFF),
                static_cast<unsigned>((c >> 16) & 0xFF));
  return buf;
}

// The text with the characters that do not print made visible.
std::string Visible(const std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case BrkCh: out += u"{br}"; break;
      case ImgPan: out += u"{obj}"; break;
      case FmCtl: out += u"{ctl}"; break;
      case 0xA0: out += u"{nbsp}"; break;
      case 0xAD: out += u"{shy}"; break;
      case u'{': out += u"{{"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "{x%02X}", static_cast<unsigned>(c));
          out += QString::fromLatin1(buf).toStdU16String();
        } else {
          out += c;
        }
    }
  }
  return Quoted(out);
}

// A property value as the style gave it; "-" when not given.
std::string PropText(const TPropValue& v) {
  if (std::holds_alternative<int>(v)) {
    const int i = std::get<int>(v);
    if (i == IntNull) return "-";
    if (i == Auto) return "auto";
    if (i == AutoParagraph) return "auto-p";
    return std::to_string(i);
  }
  if (std::holds_alternative<double>(v)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%gpt", std::get<double>(v));
    return buf;
  }
  if (std::holds_alternative<std::u16string>(v)) return U8(std::get<std::u16string>(v));
  return "-";
}

bool PropSet(const TPropValue& v) {
  return !std::holds_alternative<std::monostate>(v) && !(std::holds_alternative<int>(v) && std::get<int>(v) == IntNull);
}

// name=(top,right,bottom,left) when any of the four is set.
std::string BoxGroup(const char* name, const TVMarArray& m, int top, int right, int bottom, int left) {
  if (!PropSet(m[top]) && !PropSet(m[right]) && !PropSet(m[bottom]) && !PropSet(m[left])) return {};
  return std::string(" ") + name + "=(" + PropText(m[top]) + "," + PropText(m[right]) + "," + PropText(m[bottom]) +
         "," + PropText(m[left]) + ")";
}

const char* AlignName(AlignmentType a) {
  switch (a) {
    case ANone: return "none";
    case ATop: return "top";
    case AMiddle: return "middle";
    case ABottom: return "bottom";
    case ABaseline: return "baseline";
    case ALeft: return "left";
    case ARight: return "right";
  }
  return "?";
}

const char* ListStyleName(TListStyle s) {
  switch (s) {
    case lbBlank: return "blank";
    case lbCircle: return "circle";
    case lbDecimal: return "decimal";
    case lbDisc: return "disc";
    case lbLowerAlpha: return "lower-alpha";
    case lbLowerRoman: return "lower-roman";
    case lbNone: return "none";
    case lbSquare: return "square";
    case lbUpperAlpha: return "upper-alpha";
    case lbUpperRoman: return "upper-roman";
  }
  return "?";
}

std::string SizeText(int spec, bool percent) { return spec < 0 ? "-" : std::to_string(spec) + (percent ? "%" : ""); }

class TTreeWriter {
public:
  std::string out;

  // Link IDs are unique in the run, not in the page: the dump numbers them from 1 as they appear.
  std::map<int, int> linkIds;

  void Cell(const TCellBasic& cell, int indent) {
    for (const auto& s : cell) Section(*s, indent);
  }

private:
  void Line(int indent, const std::string& text) {
    out.append(static_cast<size_t>(indent) * 2, ' ');
    out += text;
    out += '\n';
  }

  void Section(const TSectionBase& s, int indent) {
    if (auto* b = dynamic_cast<const TBlock*>(&s)) return Block(*b, indent);
    if (auto* t = dynamic_cast<const TSection*>(&s)) return Text(*t, indent);
    if (auto* hr = dynamic_cast<const THorzLine*>(&s)) {
      std::string line = "hr";
      if (hr->VSize != 2) line += " size=" + std::to_string(hr->VSize);
      if (hr->Align != 2) line += hr->Align == 1 ? " align=left" : " align=right";
      if (hr->Color != clNone) line += " color=" + Colour(hr->Color);
      if (hr->NoShade) line += " noshade";
      if (hr->Width.VType == wtAbsolute) line += " width=" + std::to_string(hr->Width.Value);
      if (hr->Width.VType == wtPercent) line += " width=" + std::to_string(hr->Width.Value) + "%";
      return Line(indent, line);
    }
    if (dynamic_cast<const TPage*>(&s)) return Line(indent, "page");
    Line(indent, TypeName(typeid(s)));
  }

  void Block(const TBlock& b, int indent) {
    std::string line;
    if (auto* li = dynamic_cast<const TBlockLI*>(&b)) {
      line = "li " + std::to_string(li->ListNumb);
      const std::u16string marker = ListMarkerText(li->ListStyleType, li->ListNumb);
      line += " marker=" + (marker.empty() ? std::string(ListStyleName(li->ListStyleType)) : Quoted(marker));
      if (li->ListImage) line += " image=" + Quoted(li->ListImage->Name);
    } else if (dynamic_cast<const THRBlock*>(&b)) {
      line = "hrblock";
    } else if (dynamic_cast<const TBodyBlock*>(&b)) {
      line = "body";
    } else if (dynamic_cast<const TTableBlock*>(&b)) {
      line = "table";
    } else if (dynamic_cast<const TTableAndCaptionBlock*>(&b)) {
      line = "table-and-caption";
    } else {
      line = b.MyCell && !b.MyCell->OwnersTag.empty() ? U8(b.MyCell->OwnersTag) : std::string("block");
    }
    const TVMarArray& m = b.MargArrayO;
    line += BoxGroup("margin", m, MarginTop, MarginRight, MarginBottom, MarginLeft);
    line += BoxGroup("padding", m, PaddingTop, PaddingRight, PaddingBottom, PaddingLeft);
    line += BoxGroup("border", m, BorderTopWidth, BorderRightWidth, BorderBottomWidth, BorderLeftWidth);
    if (std::holds_alternative<int>(m[BackgroundColor]) && std::get<int>(m[BackgroundColor]) != IntNull)
      line += " bg=" + Colour(static_cast<TColor>(std::get<int>(m[BackgroundColor])));
    // The paragraph margins a block takes over from the paragraph it ends with.
    if (b.TopAuto) line += " top-auto";
    if (b.BottomAuto) line += " bottom-auto";
    if (b.Floating != flNone) line += b.Floating == flLeft ? " float=left" : " float=right";
    static const char* const clears[] = {"", " clear=left", " clear=right", " clear=both"};
    line += clears[b.Clear & 3];
    static const char* const positions[] = {"", " position=relative", " position=absolute", " position=fixed"};
    line += positions[b.Positioning & 3];
    if (b.Hidden()) line += " display=none";
    Line(indent, line);
    if (auto* f = dynamic_cast<const TFieldsetBlock*>(&b); f && f->Legend && !f->Legend->Empty()) {
      Line(indent + 1, "legend");
      Cell(*f->Legend, indent + 2);
    }
    if (b.MyCell) Cell(*b.MyCell, indent + 1);
  }

  void Text(const TSection& t, int indent) {
    std::string line = std::string(t.Preformatted() ? "pre " : "text ") + Visible(t.Text);
    static const char* const aligns[] = {"", "", " align=center", " align=right", " align=justify"};
    if (t.TextAlign < 5) line += aligns[t.TextAlign];
    static const char* const clears[] = {"", " clear=left", " clear=right", " clear=both"};
    line += clears[t.ClearMode & 3];
    if (t.TextIndent) line += " indent=" + std::to_string(t.TextIndent);
    if (t.TextIndentPercent) line += " indent=" + std::to_string(t.TextIndentPercent) + "%";
    Line(indent, line);

    // Runs, objects and controls in character order; at one position the run comes first.
    struct TItem {
      int pos, order;
      std::string text;
    };
    std::vector<TItem> items;
    for (const auto& f : t.Fonts) items.push_back({f->Pos, 0, Font(*f)});
    for (const auto& o : t.Images) items.push_back({o->Pos, 1, Object(*o)});
    for (const TFormControlObj* c : t.FormControls)
      if (c) items.push_back({c->Pos, 2, Control(*c)});
    std::stable_sort(items.begin(), items.end(),
                     [](const TItem& a, const TItem& b) { return a.pos != b.pos ? a.pos < b.pos : a.order < b.order; });
    for (const TItem& i : items) Line(indent + 1, i.text);
  }

  std::string Font(const TFontObj& f) {
    std::string line = "font @" + std::to_string(f.Pos) + " " + Quoted(f.TheFont.Name) + " " +
                       std::to_string(f.TheFont.Font.pixelSize()) + "px";
    const unsigned style = f.TheFont.Style;
    if (style & fsBold) line += " b";
    if (style & fsItalic) line += " i";
    if (style & fsUnderline) line += " u";
    if (style & fsStrikeOut) line += " s";
    if (f.SScript == ssSub) line += " sub";
    if (f.SScript == ssSuper) line += " sup";
    line += ' ';
    line += Colour(f.TheFont.Color & 0xFFFFFF);
    if (f.UrlTarget && (f.IsLink() || !f.UrlTarget->Target.empty())) {
      line += " link " + Quoted(f.UrlTarget->URL);
      if (!f.UrlTarget->Target.empty()) line += " target=" + Quoted(f.UrlTarget->Target);
      const int id = linkIds.emplace(f.UrlTarget->ID, static_cast<int>(linkIds.size()) + 1).first->second;
      line += " id=" + std::to_string(id);
    }
    return line;
  }

  static std::string Object(const TFloatingObj& o) {
    std::string line;
    if (auto* img = dynamic_cast<const TImageObj*>(&o)) {
      line = "img @" + std::to_string(o.Pos) + " src=" + Quoted(img->Source);
      if (img->UseMap) line += " usemap=" + Quoted(img->MapName);
      if (img->IsMap) line += " ismap";
    } else if (auto* p = dynamic_cast<const TPanelObj*>(&o)) {
      line = "panel @" + std::to_string(o.Pos) + " name=" + Quoted(p->Name);
      if (!p->Type.empty()) line += " type=" + Quoted(p->Type);
      if (!p->Src.empty()) line += " src=" + Quoted(p->Src);
    } else {
      line = TypeName(typeid(o)) + " @" + std::to_string(o.Pos);
    }
    line += " size=" + SizeText(o.SpecWidth, o.PercentWidth) + "x" + SizeText(o.SpecHeight, o.PercentHeight);
    if (o.IsFloat())
      line += std::string(" float=") + AlignName(o.Floating);
    else
      line += std::string(" align=") + AlignName(o.VertAlign);
    if (!o.Alt.empty()) line += " alt=" + Quoted(o.Alt);
    return line;
  }

  static std::string Control(const TFormControlObj& c) {
    // The kind is the control class: TEditFormControlObj is "Edit"; the stand-in box is "box".
    std::string kind = TypeName(typeid(c));
    if (kind == "TFormControlObj") {
      kind = "box";
    } else {
      if (kind.size() > 1 && kind[0] == 'T') kind.erase(0, 1);
      if (const size_t at = kind.rfind("FormControlObj"); at != std::string::npos && at > 0) kind.erase(at);
    }
    std::string line = "control @" + std::to_string(c.Pos) + " " + kind;
    if (!c.Name.empty()) line += " name=" + Quoted(c.Name);
    if (!c.Value.empty()) line += " value=" + Quoted(c.Value);
    if (c.Disabled) line += " disabled";
    return line;
  }
};

std::string NameKind(const TIDObject* object) {
  if (!object) return "none";
  if (auto* b = dynamic_cast<const TBlock*>(object))
    return b->MyCell && !b->MyCell->OwnersTag.empty() ? U8(b->MyCell->OwnersTag) : std::string("block");
  if (dynamic_cast<const TSection*>(object)) return "text";
  if (dynamic_cast<const TImageObj*>(object)) return "img";
  if (dynamic_cast<const TPanelObj*>(object)) return "panel";
  if (dynamic_cast<const TFormControlObj*>(object)) return "control";
  return TypeName(typeid(*object));
}

}  // namespace

std::string DumpCell(const TCellBasic& cell, int indent) {
  TTreeWriter writer;
  writer.Cell(cell, indent);
  return writer.out;
}

std::string DumpTree(const ThtDocument& document) {
  std::string out = DumpCell(document, 0);
  for (const std::u16string& name : document.IdentifierList.Names()) {
    const TIDObject* object = document.IdentifierList.Find(name);
    if (auto* anchor = dynamic_cast<const TChPosObj*>(object))
      out += "anchor " + Visible(name) + " @" + std::to_string(anchor->ChPos) + "\n";
    else
      out += "id " + Visible(name) + " " + NameKind(object) + "\n";
  }
  return out;
}

}  // namespace htmlview
