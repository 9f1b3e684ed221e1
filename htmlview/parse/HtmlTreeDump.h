#pragma once
// The text dump of a built document, for tests: what the builders made, before any layout.
#include <string>

namespace htmlview {

class ThtDocument;
class TCellBasic;

// One line per built object, indented two spaces a level, every line ending in "\n":
//   blocks:   the tag ("li" with its number and marker, "hrblock", "fieldset" with a "legend"
//             line over the legend's content), then the box values that are set:
//             margin=(top,right,bottom,left), padding=(...), border=(...), bg=#rrggbb,
//             top-auto, bottom-auto, float, clear, position, display=none;
//   sections: "text" or "pre", the text in quotes (line break {br}, image or panel {obj},
//             form control {ctl}, no-break space {nbsp}, soft hyphen {shy}, other control
//             characters {xHH}, a literal "{" doubled), then align, clear and indent when set;
//   below a section, in character order: "font @pos" (face, pixel size, b/i/u/s, sub/sup,
//             #rrggbb colour, and for a link: link "url", target, id numbered from 1 in the
//             order of the dump), "img @pos" (src, size,
//             align, float, usemap), "panel @pos" and "control @pos" (its kind, name, value);
//   rules "hr", page breaks "page";
//   last, the document's names: "anchor NAME @pos" for text anchors (pos: the source position),
//   "id NAME kind" for names of other objects, sorted by name.
// Sections of kinds this dump does not know show their type name.
std::string DumpTree(const ThtDocument& document);
// The sections of one cell, with no name list.
std::string DumpCell(const TCellBasic& cell, int indent = 0);

}  // namespace htmlview
