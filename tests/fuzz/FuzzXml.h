#pragma once
// An XML parser independent of ours (libxml2, where the build has it) says whether text is
// well-formed XML. This header also initialises that parser for the target, so a target includes
// it from its one source.
#include <cstdio>
#include <string_view>

#ifdef MIRELCON_FUZZ_LIBXML2
#include <libxml/parser.h>
#endif

namespace fuzz {

// Whether xml, in encoding (nullptr: as the document declares itself), is well-formed; prints why
// not. Always true without libxml2.
inline bool WellFormedXml(std::string_view xml, const char* name, const char* encoding) {
#ifdef MIRELCON_FUZZ_LIBXML2
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), name, encoding,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  if (!doc) {
    const xmlError* e = xmlGetLastError();
    std::fprintf(stderr, "not well-formed: %s", e && e->message ? e->message : "?\n");
    return false;
  }
  xmlFreeDoc(doc);
#else
  (void)xml, (void)name, (void)encoding;
#endif
  return true;
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
#ifdef MIRELCON_FUZZ_LIBXML2
  xmlInitParser();
#endif
  return 0;
}
