#include "app/core/TerminalHost.h"

#include "platform/core/Utf8.h"

WideString HtmlToText(const WideString& html) {
  WideString text;
  text.reserve(html.size());
  bool inTag = false;
  for (size_t i = 0; i < html.size(); ++i) {
    const char16_t c = html[i];
    if (inTag) {
      inTag = c != u'>';
      continue;
    }
    if (c == u'<') {
      inTag = true;
      continue;
    }
    if (c == u'&') {
      static const struct {
        const char16_t* name;
        char16_t ch;
      } entities[] = {{u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&nbsp;", u' '}};
      bool done = false;
      for (const auto& e : entities) {
        const std::u16string_view name(e.name);
        if (html.compare(i, name.size(), name) == 0) {
          text += e.ch;
          i += name.size() - 1;
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    text += c;
  }
  return text;
}

void TTerminalHost::Line(std::FILE* f, const WideString& text) {
  // Message texts separate their lines with CR, which a terminal would overprint.
  WideString t = text;
  for (char16_t& c : t)
    if (c == u'\r') c = u'\n';
  const std::string bytes = platform::Utf16ToUtf8(t);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

void TTerminalHost::ShowHtmlMessage(const WideString& html, const WideString& caption) {
  Line(err_, caption + u": " + output_ + (output_.empty() ? u"" : u": ") + HtmlToText(html));
}

void TTerminalHost::ShowResult(const WideString& line) { Line(out_, output_ + u": " + line); }

void TTerminalHost::ShowMessage(const WideString& text) {
  // The usage text goes to standard output; the run's other messages are errors.
  if (text.rfind(u"Usage:", 0) == 0)
    Line(out_, text);
  else
    Line(err_, text);
}

void TTerminalHost::ShowError(const WideString& text) { Line(err_, text); }

void TTerminalHost::BeginFile(const WideString& /*input*/, const WideString& output) { output_ = output; }
