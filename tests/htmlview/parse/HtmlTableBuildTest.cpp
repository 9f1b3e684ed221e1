// The table builder, through the page builders: pages parsed into documents and checked through a
// tree of the built tables, rows and cells, and through layout on the fixed measurer.
#include <gtest/gtest.h>

#include <QImage>
#include <stdexcept>

#include "htmlview/layout/HtmlBlocks.h"
#include "htmlview/layout/HtmlDump.h"
#include "htmlview/layout/HtmlPropStack.h"
#include "htmlview/layout/HtmlSection.h"
#include "htmlview/layout/HtmlTable.h"
#include "htmlview/parse/HtmlParse.h"
#include "htmlview/parse/HtmlTableBuild.h"
#include "htmlview/style/StyleValues.h"
#include "tests/htmlview/GuiApp.h"
#include "tests/htmlview/LayoutPieces.h"
#include "tests/htmlview/TestPage.h"

using namespace htmlview;

namespace {

std::string U8(const std::u16string& s) { return QString::fromStdU16String(s).toStdString(); }

const char* KindName(TRowKind k) { return k == rkHead ? "head" : k == rkFoot ? "foot" : "body"; }

// One line per built object, indented by nesting. Tables show as "table", their rows with their
// kind, their cells with their spans when not 1; a table with a caption is wrapped in "captioned".
void TreeOf(const TCellBasic& cell, int indent, std::string& out) {
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  for (const auto& s : cell) {
    if (auto* w = dynamic_cast<TTableAndCaptionBlock*>(s.get())) {
      out += pad + "captioned " + (w->TopCaption ? "top" : "bottom") + "\n";
      TreeOf(*w->MyCell, indent + 1, out);
    } else if (auto* tb = dynamic_cast<TTableBlock*>(s.get())) {
      TreeOf(*tb->MyCell, indent, out);
    } else if (auto* t = dynamic_cast<THtmlTable*>(s.get())) {
      out += pad + "table\n";
      for (const auto& row : t->Rows) {
        out += pad + "  row " + KindName(row->RowType) + "\n";
        for (const auto& c : *row) {
          if (!c) continue;
          out += pad + "    cell";
          if (c->ColSpan != 1) out += " cs" + std::to_string(c->ColSpan);
          if (c->RowSpan != 1) out += " rs" + std::to_string(c->RowSpan);
          out += "\n";
          TreeOf(*c->Cell, indent + 3, out);
        }
      }
    } else if (auto* li = dynamic_cast<TBlockLI*>(s.get())) {
      out += pad + "li\n";
      TreeOf(*li->MyCell, indent + 1, out);
    } else if (auto* b = dynamic_cast<TBlock*>(s.get())) {
      out += pad + U8(b->MyCell->OwnersTag) + "\n";
      TreeOf(*b->MyCell, indent + 1, out);
    } else if (auto* text = dynamic_cast<TSection*>(s.get())) {
      std::u16string t = text->Text;
      for (char16_t& c : t) {
        if (c == BrkCh) c = u'|';
        if (c == ImgPan || c == FmCtl) c = u'#';
        if (c == 0xA0) c = u'~';
      }
      out += pad + "\"" + U8(t) + "\"\n";
    } else {
      out += pad + "?\n";
    }
  }
}

class TableBuild : public ::testing::Test, protected TTestPage {
protected:
  void SetUp() override {
    EnsureGuiApp();
    SetPixelsPerInch(96);
    SetFontMeasurer(&ScaledTestMeasurer());
  }
  void TearDown() override {
    ClearPage();
    SetFontMeasurer(nullptr);
    SetPixelsPerInch(0);
  }
  void Parse(const std::u16string& html, bool quirks = false, const THtmlParseEvents& events = {}) {
    NewDocument(nullptr, quirks);
    ParseInto(html, events);
  }
  std::string Tree(const std::u16string& html, bool quirks = false) {
    Parse(html, quirks);
    std::string out;
    if (auto* body = dynamic_cast<TBodyBlock*>(doc->First())) TreeOf(*body->MyCell, 0, out);
    return out;
  }
  // The tables in document order, nested ones after the one that holds them.
  std::vector<THtmlTable*> Tables() {
    std::vector<THtmlTable*> out;
    std::function<void(const TCellBasic&)> walk = [&](const TCellBasic& cell) {
      for (const auto& s : cell) {
        if (auto* b = dynamic_cast<TBlock*>(s.get())) walk(*b->MyCell);
        if (auto* t = dynamic_cast<THtmlTable*>(s.get())) {
          out.push_back(t);
          for (const auto& row : t->Rows)
            for (const auto& c : *row)
              if (c) walk(*c->Cell);
        }
      }
    };
    walk(*doc);
    return out;
  }
  std::vector<TTableBlock*> TableBlocks() {
    std::vector<TTableBlock*> out;
    std::function<void(const TCellBasic&)> walk = [&](const TCellBasic& cell) {
      for (const auto& s : cell)
        if (auto* b = dynamic_cast<TBlock*>(s.get())) {
          if (auto* tb = dynamic_cast<TTableBlock*>(b)) out.push_back(tb);
          walk(*b->MyCell);
        }
    };
    walk(*doc);
    return out;
  }
  TCellObj& CellAt(int table, int row, int col) {
    return *(*Tables().at(static_cast<size_t>(table))->Rows[row])[col];
  }
  // The first text section of a cell.
  TSection* TextOf(TCellObj& cell) {
    std::function<TSection*(const TCellBasic&)> find = [&](const TCellBasic& c) -> TSection* {
      for (const auto& s : c) {
        if (auto* t = dynamic_cast<TSection*>(s.get())) return t;
        if (auto* b = dynamic_cast<TBlock*>(s.get()))
          if (TSection* t = find(*b->MyCell)) return t;
      }
      return nullptr;
    };
    return find(*cell.Cell);
  }
  int Layout(int width) { return LayOut(*doc, ScaledTestMeasurer(), width); }
};

TEST_F(TableBuild, StructureFromMarkup) {
  struct Case {
    const char* name;
    std::u16string html;
    std::string tree;
  };
  const Case cases[] = {
      {"implied row", u"<table><td>a<td>b</table>",
       "table\n  row body\n    cell\n      \"a \"\n    cell\n      \"b \"\n"},
      {"space between rows", u"<table><tr><td>a</td> <tr><td>b</table>",
       "table\n  row body\n    cell\n      \"a \"\n  row body\n    cell\n      \"b \"\n"},
      {"misplaced text goes before", u"<table><tr>x<td>a</table>",
       "\"x \"\ntable\n  row body\n    cell\n      \"a \"\n"},
      {"footer after body", u"<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b</table>",
       "table\n  row body\n    cell\n      \"b \"\n  row foot\n    cell\n      \"f \"\n"},
      {"late head is body", u"<table><tr><td>a</td></tr><thead><tr><td>h</table>",
       "table\n  row body\n    cell\n      \"a \"\n  row body\n    cell\n      \"h \"\n"},
      {"head first", u"<table><thead><tr><td>h</thead><tr><td>a</table>",
       "table\n  row head\n    cell\n      \"h \"\n  row body\n    cell\n      \"a \"\n"},
      {"caption below", u"<table><caption align=bottom>c</caption><tr><td>a</table>",
       "captioned bottom\n  table\n    row body\n      cell\n        \"a \"\n  caption\n    \"c \"\n"},
      {"caption above", u"<table><caption>c</caption><tr><td>a</table>",
       "captioned top\n  caption\n    \"c \"\n  table\n    row body\n      cell\n        \"a \"\n"},
      {"two captions share a block", u"<table><caption>c</caption><tr><td>a<caption>d</table>",
       "captioned top\n  caption\n    \"c \"\n    \"d \"\n  table\n    row body\n      cell\n        \"a \"\n"},
      {"text after the table", u"<table><td>a</table>b",
       "table\n  row body\n    cell\n      \"a \"\n\"b \"\n"},
      {"stray caption end ends the table", u"<table><td>a</caption>b",
       "table\n  row body\n    cell\n      \"a \"\n\"b \"\n"},
      {"unclosed at end of input", u"<table><tr><td>a<td>b",
       "table\n  row body\n    cell\n      \"a \"\n    cell\n      \"b \"\n"},
      {"spans", u"<table><tr><td colspan=2 rowspan=3>a</table>",
       "table\n  row body\n    cell cs2 rs3\n      \"a \"\n"},
      {"hidden row dropped", u"<table><tr style='display:none'><td>a<tr><td>b</table>",
       "table\n  row body\n    cell\n      \"b \"\n"},
      {"nested", u"<table><td><table><td>n</table>m</table>",
       "table\n  row body\n    cell\n      table\n        row body\n          cell\n            \"n \"\n      \"m \"\n"},
      {"table in a list item", u"<ul><li>a<table><td>b</table></ul>",
       "ul\n  li\n    \"a \"\n    table\n      row body\n        cell\n          \"b \"\n"},
      {"empty table", u"<table></table>x", "table\n\"x \"\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tree(c.html), c.tree) << c.name;
}

TEST_F(TableBuild, ColumnSpecifications) {
  struct Spec {
    int value;
    TWidthType type;
    std::u16string align;
    int vAlign;
  };
  struct Case {
    const char* name;
    std::u16string html;
    std::vector<Spec> specs;
  };
  const Case cases[] = {
      {"group span", u"<table><colgroup span=3 width=20></colgroup><tr><td>a</table>",
       {{20, wtAbsolute, u"", 0}, {20, wtAbsolute, u"", 0}, {20, wtAbsolute, u"", 0}}},
      {"percentage", u"<table><col width=30%><tr><td>a</table>", {{300, wtPercent, u"", 0}}},
      {"percentage over 100", u"<table><col width=130%><tr><td>a</table>", {{1000, wtPercent, u"", 0}}},
      {"relative", u"<table><col width=2*><tr><td>a</table>", {{2, wtRelative, u"", 0}}},
      {"bare star", u"<table><col width=*><tr><td>a</table>", {{1, wtRelative, u"", 0}}},
      {"group values reach columns; group span unused",
       u"<table><colgroup span=5 align=RIGHT valign=top><col><col span=2 width=7 align=bogus></colgroup>"
       u"<tr><td>a</table>",
       {{0, wtNone, u"right", 1}, {7, wtAbsolute, u"right", 1}, {7, wtAbsolute, u"right", 1}}},
      {"columns after a cell are read and ignored", u"<table><tr><td>a<col width=5><col span=4><td>b</table>", {}},
      {"valign words", u"<table><col valign=middle><col valign=baseline><col valign=left><tr><td>a</table>",
       {{0, wtNone, u"", 2}, {0, wtNone, u"", 3}, {0, wtNone, u"", 0}}},
  };
  for (const Case& c : cases) {
    Parse(c.html);
    const auto tables = Tables();
    ASSERT_EQ(tables.size(), 1u) << c.name;
    const TColSpecList* specs = tables[0]->ColSpecs.get();
    const int count = specs ? specs->Count() : 0;
    ASSERT_EQ(count, static_cast<int>(c.specs.size())) << c.name;
    for (int i = 0; i < count; ++i) {
      const TColSpec& s = *(*specs)[i];
      const Spec& e = c.specs[static_cast<size_t>(i)];
      EXPECT_EQ(s.Width.Value, e.value) << c.name << " " << i;
      EXPECT_EQ(s.Width.VType, e.type) << c.name << " " << i;
      EXPECT_EQ(s.Align, e.align) << c.name << " " << i;
      EXPECT_EQ(s.VAlign, e.vAlign) << c.name << " " << i;
    }
    // The cells after the columns are all built.
    EXPECT_GE(tables[0]->Rows.Count(), 1) << c.name;
  }
  // The table's column specifications are capped as a whole, not per element.
  Parse(u"<table><col span=9000><col span=9000><colgroup span=9000></colgroup><tr><td>a</table>");
  EXPECT_EQ(Tables()[0]->ColSpecs->Count(), kMaxColSpecs);
}

TEST_F(TableBuild, CellAlignment) {
  struct Case {
    const char* name;
    std::u16string html;
    bool quirks;
    std::vector<int> aligns;  // per cell of the first row: 1 left, 2 center, 3 right
  };
  const Case cases[] = {
      // The column's alignment comes before the cell's own ALIGN.
      {"column before cell", u"<table><col align=right><tr><td align=left>a</table>", false, {3}},
      {"cell align", u"<table><tr><td align=right>a</table>", false, {3}},
      {"standards defaults", u"<div align=right><table><tr><th>h<td>d</table></div>", false, {2, 1}},
      {"quirks inherit", u"<div align=right><table><tr><th>h<td>d</table></div>", true, {3, 3}},
      {"row align reaches cells", u"<table><tr align=center><td>a<td align=right>b</table>", false, {2, 3}},
      {"cell style beats column", u"<table><col align=right><tr><td style='text-align:center'>a</table>", false, {2}},
      {"justify column", u"<table><col align=justify><tr><td>a</table>", false, {4}},
  };
  for (const Case& c : cases) {
    Parse(c.html, c.quirks);
    for (size_t i = 0; i < c.aligns.size(); ++i) {
      TSection* s = TextOf(CellAt(0, 0, static_cast<int>(i)));
      ASSERT_NE(s, nullptr) << c.name;
      EXPECT_EQ(s->TextAlign, c.aligns[i]) << c.name << " cell " << i;
    }
  }
}

TEST_F(TableBuild, CellVerticalAlignment) {
  struct Case {
    const char* name;
    std::u16string html;
    std::vector<TCellVAlign> vAligns;
  };
  const Case cases[] = {
      {"default middle", u"<table><tr><td>a</table>", {cvMiddle}},
      {"row valign", u"<table><tr valign=bottom><td>a<td valign=top>b<td valign=baseline>c</table>",
       {cvBottom, cvTop, cvTop}},
      {"column valign", u"<table><col valign=bottom><col><tr><td>a<td>b</table>", {cvBottom, cvMiddle}},
      {"column beats cell attribute", u"<table><col valign=top><tr><td valign=bottom>a</table>", {cvTop}},
  };
  for (const Case& c : cases) {
    Parse(c.html);
    for (size_t i = 0; i < c.vAligns.size(); ++i)
      EXPECT_EQ(CellAt(0, 0, static_cast<int>(i)).VAlign, c.vAligns[i]) << c.name << " cell " << i;
  }
}

TEST_F(TableBuild, NoWrapUnlessFixedWidth) {
  struct Case {
    std::u16string html;
    bool noBreak;
  };
  const Case cases[] = {
      {u"<table><tr><td nowrap>a b c</table>", true},
      {u"<table><tr><td nowrap width=100>a b c</table>", false},
      {u"<table><tr><td nowrap width=50%>a b c</table>", true},
      {u"<table><tr><td>a b c</table>", false},
  };
  for (const Case& c : cases) {
    Parse(u"<nobr>x</nobr>" + c.html + u"y z");
    TSection* s = TextOf(CellAt(0, 0, 0));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->BreakCodes[1] == 'n', c.noBreak) << U8(c.html) << " " << s->BreakCodes;
    // The state before the table comes back after it.
    auto sections = std::vector<TSection*>();
    for (const auto& x : *dynamic_cast<TBodyBlock*>(doc->First())->MyCell)
      if (auto* t = dynamic_cast<TSection*>(x.get())) sections.push_back(t);
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.back()->BreakCodes[0], 'y');
  }
}

TEST_F(TableBuild, BorderDefaultsFromTheTable) {
  struct Case {
    const char* name;
    std::u16string html;
    int width;
    int style;
    TColor color;
  };
  const Case cases[] = {
      // An inset table has outset cells, one pixel wide.
      {"inset table", u"<table border=1 style='border-style:inset'><tr><td>a</table>", 1, bssOutset, 0xC0C0C0},
      {"outset table", u"<table border=2 style='border-style:outset'><tr><td>a</table>", 1, bssInset, 0xC0C0C0},
      // A border of the style leaves the cells' widths to their own (medium) default.
      {"solid table", u"<table style='border:2px solid'><tr><td>a</table>", 4, bssSolid, 0xC0C0C0},
      // No border at all: three pixels of no style, which draw nothing.
      {"no border", u"<table><tr><td>a</table>", 0, bssNone, 0xC0C0C0},
      {"border colour", u"<table border=1 bordercolor=red style='border-style:solid'><tr><td>a</table>", 1,
       bssSolid, RGB(255, 0, 0)},
      {"cell's own style", u"<table border=1 style='border-style:inset'><tr><td style='border:4px dashed'>a</table>",
       4, bssDashed, 0xC0C0C0},
  };
  for (const Case& c : cases) {
    Parse(c.html);
    TCellObj& cell = CellAt(0, 0, 0);
    for (size_t k = 0; k < 4; ++k) {
      EXPECT_EQ(cell.BorderStyles[k], c.style) << c.name << " side " << k;
      EXPECT_EQ(cell.BorderWidths[k], c.width) << c.name << " side " << k;
      if (c.style != bssNone && c.width > 0) {
        EXPECT_EQ(cell.BorderColors[k], c.color) << c.name << " side " << k;
      }
    }
  }
}

TEST_F(TableBuild, BlockBordersForPrinting) {
  // The page arithmetic of a table printed in parts takes the block's border when the BORDER
  // attribute did not make it.
  struct Case {
    std::u16string html;
    int top, bottom;
  };
  const Case cases[] = {
      {u"<table style='border:3px solid'><td>a</table>", 3, 3},
      {u"<table style='border-top:5px solid; border-bottom:2px dashed'><td>a</table>", 5, 2},
      {u"<table style='border-width:4px'><td>a</table>", 0, 0},
      {u"<table border=2><td>a</table>", 0, 0},
  };
  for (const Case& c : cases) {
    Parse(c.html);
    EXPECT_EQ(Tables()[0]->BlockBorderTop, c.top) << U8(c.html);
    EXPECT_EQ(Tables()[0]->BlockBorderBottom, c.bottom) << U8(c.html);
  }
}

TEST_F(TableBuild, TableBackgroundFromBgcolor) {
  Parse(u"<table bgcolor=#00ff00><tr><td>a<td bgcolor=red>b</table>");
  THtmlTable& t = *Tables()[0];
  EXPECT_TRUE(t.HasBackground);
  EXPECT_EQ(t.Background, RGB(0, 255, 0));
  Layout(600);
  EXPECT_EQ(CellAt(0, 0, 0).BkColor, RGB(0, 255, 0));
  EXPECT_EQ(CellAt(0, 0, 1).BkColor, RGB(255, 0, 0));
  Parse(u"<table><tr><td>a</table>");
  EXPECT_FALSE(Tables()[0]->HasBackground);
}

TEST_F(TableBuild, HorizontalPlacement) {
  struct Case {
    const char* name;
    std::u16string html;
    TJustify justify;
    TFloatStyle floating;
  };
  const Case cases[] = {
      {"centred text", u"<center><table><td>a</table></center>", jCentre, flNone},
      {"right text", u"<div align=right><table><td>a</table></div>", jRight, flNone},
      {"float left in centred text", u"<center><table align=left><td>a</table></center>", jLeft, flLeft},
      {"plain", u"<table><td>a</table>", jLeft, flNone},
  };
  for (const Case& c : cases) {
    Parse(c.html);
    const auto blocks = TableBlocks();
    ASSERT_EQ(blocks.size(), 1u) << c.name;
    EXPECT_EQ(blocks[0]->Justification, c.justify) << c.name;
    EXPECT_EQ(blocks[0]->Floating, c.floating) << c.name;
  }
}

TEST_F(TableBuild, IdNamesTheTableBlockWithoutCaption) {
  Parse(u"<table id=t1><td>a</table><table id=t2><caption>c</caption><td>b</table>");
  const auto blocks = TableBlocks();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(doc->IdentifierList.Find(u"t1"), blocks[0]);
  TIDObject* t2 = doc->IdentifierList.Find(u"t2");
  ASSERT_NE(t2, nullptr);
  EXPECT_NE(dynamic_cast<TTableAndCaptionBlock*>(t2), nullptr);
}

TEST_F(TableBuild, CellManagerThroughTheBuilder) {
  // A first-row cell spanning two rows in column 0: the second row's cell is in column 1 and takes
  // that column's alignment.
  Parse(u"<table><col><col align=right><col><tr><td rowspan=2>a<td>b<tr><td>c</table>");
  EXPECT_EQ(TextOf(CellAt(0, 1, 0))->TextAlign, 3);
  // COLSPAN 3 from column 2 of three columns shrinks to 1.
  Parse(u"<table><col span=3><tr><td colspan=2>a<td colspan=3>b</table>");
  EXPECT_EQ(CellAt(0, 0, 1).ColSpan, 1);
  // A full row records nothing and leaves the span alone.
  Parse(u"<table><col span=2><tr><td colspan=2>a<td colspan=4>b</table>");
  EXPECT_EQ(CellAt(0, 0, 1).ColSpan, 4);
  // An empty row gave the manager no cells; the next row still finds its column.
  Parse(u"<table><col align=right><tr></tr><tr><td>a</table>");
  ASSERT_EQ(Tables()[0]->Rows.Count(), 2);
  EXPECT_EQ(TextOf(CellAt(0, 1, 0))->TextAlign, 3);
  Layout(300);
  // A footer read first counts as the first row read: the body row below it starts free.
  Parse(u"<table><col align=right><tfoot><tr><td rowspan=2>f</tfoot><tbody><tr><td>b</table>");
  EXPECT_EQ(CellAt(0, 0, 0).Cell->Count(), 1);
  EXPECT_EQ(TextOf(CellAt(0, 0, 0))->TextAlign, 1);
  EXPECT_EQ(TextOf(CellAt(0, 1, 0))->TextAlign, 3);
}

TEST_F(TableBuild, ElevenNestedTables) {
  std::u16string html;
  for (int i = 0; i < 11; ++i) html += u"<table><tr><td>L" + std::u16string(1, static_cast<char16_t>(u'a' + i));
  for (int i = 0; i < 11; ++i) html += u"</table>";
  html += u"<table><td>after</table>";
  Parse(html);
  const auto tables = Tables();
  // Ten nested, the eleventh joined the tenth, and the later table is built.
  ASSERT_EQ(tables.size(), 11u);
  THtmlTable& tenth = *tables[9];
  ASSERT_EQ(tenth.Rows.Count(), 2);
  EXPECT_EQ(TextOf(*(*tenth.Rows[0])[0])->Text, u"Lj ");
  EXPECT_EQ(TextOf(*(*tenth.Rows[1])[0])->Text, u"Lk ");
  EXPECT_EQ(TextOf(*(*tables[10]->Rows[0])[0])->Text, u"after ");
  // The eleventh's end tag ended the tenth; the rest end their own tables, one too many at the end.
  Layout(600);
  EXPECT_EQ(doc->PropertyStack->size(), 1u);
}

TEST_F(TableBuild, ReaderMendsInsideACell) {
  // A SELECT ended by a cell boundary or the end of the table leaves it for the table.
  EXPECT_EQ(Tree(u"<table><tr><td><select><option>x<td>b</table>"),
            "table\n  row body\n    cell\n      \"# \"\n    cell\n      \"b \"\n");
  EXPECT_EQ(Tree(u"<table><tr><td><select><option>x</table>after"),
            "table\n  row body\n    cell\n      \"# \"\n\"after \"\n");
  // A nested list inside a cell leaves the cell boundary and the end of the table alone.
  EXPECT_EQ(Tree(u"<table><tr><td><ul><li>a<ul><li>b</ul><td>c</table>z"),
            "table\n  row body\n    cell\n      ul\n        li\n          \"a \"\n          ul\n            li\n"
            "              \"b \"\n    cell\n      \"c \"\n\"z \"\n");
  EXPECT_EQ(Tree(u"<table><tr><td><ul><li>a<ul><li>b</table>z"),
            "table\n  row body\n    cell\n      ul\n        li\n          \"a \"\n          ul\n            li\n"
            "              \"b \"\n\"z \"\n");
}

TEST_F(TableBuild, ExceptionPlacesTheFooterRows) {
  THtmlParseEvents events;
  events.OnMeta = [](QObject*, const std::u16string&, const std::u16string&, const std::u16string&) {
    throw std::runtime_error("handler");
  };
  EXPECT_THROW(Parse(u"x<table><tfoot><tr><td>f</tfoot><tbody><tr><td>b<meta name=a content=b>c</table>", false,
                     events),
               std::runtime_error);
  // The table was placed with what was built: the footer row is in it, nothing is held back.
  const auto tables = Tables();
  ASSERT_EQ(tables.size(), 1u);
  ASSERT_GE(tables[0]->Rows.Count(), 1);
  EXPECT_EQ(tables[0]->Rows[tables[0]->Rows.Count() - 1]->RowType, rkFoot);
  // Nested: both tables are placed and the property stack is back to where it was.
  EXPECT_THROW(Parse(u"<table><tr><td><table><tfoot><tr><td>f<tr><td><meta name=a content=b></table></table>",
                     false, events),
               std::runtime_error);
  EXPECT_EQ(Tables().size(), 2u);
  EXPECT_EQ(doc->PropertyStack->size(), 1u);
}

TEST_F(TableBuild, HugeSpansLoadInBoundedMemory) {
  Parse(u"<table><tr><td colspan=2000000000 rowspan=2000000000>a<td>b<tr><td>c</table>");
  EXPECT_EQ(CellAt(0, 0, 0).ColSpan, kMaxColSpan);
  EXPECT_EQ(CellAt(0, 0, 0).RowSpan, kMaxRowSpan);
  EXPECT_GT(Layout(600), 0);
  // With column specifications the cell manager marks the span too.
  Parse(u"<table><col span=5><tr><td colspan=2000000000 rowspan=2000000000>a<td>b</table>");
  EXPECT_EQ(CellAt(0, 0, 0).ColSpan, 5);
  EXPECT_GT(Layout(600), 0);

  std::u16string html = u"<table><tr>";
  for (int i = 0; i < 1000; ++i) html += u"<td colspan=1000>";
  for (int i = 0; i < 10000; ++i) html += u"<tr><td>r";
  html += u"</table>";
  Parse(html);
  EXPECT_EQ(Tables()[0]->Rows.Count(), 10001);
  EXPECT_GT(Layout(600), 0);
  EXPECT_LE(Tables()[0]->NumCols, kMaxGridCols);
}

// Spans stay within the cap on columns, but every cell is placed: one that finds no column within
// it, under a span from above or in a row of more cells, takes a column past it, and its words
// are drawn, each right of the cell before it in its row.
TEST_F(TableBuild, EveryCellIsPlacedPastTheColumnCap) {
  auto cells = [](int from, int to) {
    std::u16string s;
    for (int i = from; i < to; ++i) s += u"<td>c" + QString::number(i).toStdU16String();
    return s;
  };
  struct Case {
    const char* name;
    std::u16string html;
    std::vector<std::vector<std::string>> rows;  // words of each row, left to right
    int cellCount;
  };
  const std::vector<Case> cases = {
      {"UnderARowSpan", u"<table><tr><td colspan=1000 rowspan=2>A</td><tr><td>B</table>", {{"A"}, {"B"}}, 2},
      {"UnderARowSpanBesideOthers",
       u"<table><tr><td>a<td colspan=1000 rowspan=3>A<td>b<tr><td>B<td>C<td>E<tr><td>D</table>",
       {{"a", "A", "b"}, {"B", "C", "E"}, {"D"}},
       8},
      {"ARowOf1002Cells", u"<table><tr>" + cells(0, 1002) + u"</table>", {{"c0", "c999", "c1000", "c1001"}}, 1002},
      {"ARowOf1002CellsUnderWideSpans",
       u"<table><tr><td colspan=1000 rowspan=2>A<tr>" + cells(0, 1002) + u"</table>",
       {{"A"}, {"c0", "c999", "c1000", "c1001"}},
       1003},
      {"WideSpanInARowOf1002Cells",
       u"<table><tr><td colspan=1000>W" + cells(1, 1002) + u"<tr><td>x</table>",
       {{"W", "c1", "c1000", "c1001"}, {"x"}},
       1003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parse(c.html);
    EXPECT_GT(Layout(600), 0);
    const THtmlTable& table = *Tables().at(0);
    // Past the cap, a column for each cell at most.
    EXPECT_LE(table.NumCols, kMaxGridCols + c.cellCount);
    const std::vector<TPiece> pieces = Pieces(*doc, MaxCoord + 1);
    auto find = [&](const std::string& word) -> const TPiece* {
      for (const TPiece& p : pieces)
        if (p.text == word) return &p;
      return nullptr;
    };
    for (const auto& row : c.rows) {
      const TPiece* before = nullptr;
      for (const std::string& word : row) {
        const TPiece* p = find(word);
        if (!p) {
          ADD_FAILURE() << word << " not drawn";
          continue;
        }
        if (before) {
          EXPECT_GT(p->x, before->x) << word;
        }
        before = p;
      }
    }
  }
}

TEST_F(TableBuild, LaysOutOnTheFixedMeasurer) {
  // Two cells of 16-pixel text: "ab" is 16 wide; border 1, padding 1, spacing 2.
  Parse(u"<table border=1 cellpadding=1 cellspacing=2><tr><td>ab<td>cde</table>");
  Layout(600);
  const std::string dump = DumpLayout(*doc);
  EXPECT_NE(dump.find(" ab\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find(" cde\n"), std::string::npos) << dump;
  const auto& lefts = Tables()[0]->ColumnLefts();
  ASSERT_EQ(lefts.size(), 3u);
  // Each column is the text plus padding and cell border on both sides, apart by the spacing.
  EXPECT_EQ(lefts[1] - lefts[0], 16 + 4 + 2);
  EXPECT_EQ(lefts[2] - lefts[1], 24 + 4 + 2);
}

}  // namespace
