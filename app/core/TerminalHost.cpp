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

void TTerminalHost::Line(std::FILE* f, const WideString& text, bool oneLine) {
  // Message texts separate their lines with CR, which a terminal would overprint: the usage text
  // gets LF instead, and an error stays on one line so that each failed file takes one.
  WideString t = text;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != u'\r' && t[i] != u'\n') continue;
    if (!oneLine) {
      t[i] = u'\n';
    } else if (i + 1 < t.size() && t[i] == u'\r' && t[i + 1] == u'\n') {
      t.erase(i, 1);
      t[i] = u' ';
    } else {
      t[i] = u' ';
    }
  }
  const std::string bytes = platform::Utf16ToUtf8(t);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fputc('\n', f);
  std::fflush(f);
}

void TTerminalHost::ShowHtmlMessage(const WideString& html, const WideString& caption) {
  // A message names the file it is about: the input, since the output was never written.
  Line(err_, caption + u": " + input_ + (input_.empty() ? u"" : u": ") + HtmlToText(html), true);
}

void TTerminalHost::ShowResult(const WideString& line) { Line(out_, output_ + u": " + line, true); }

// The usage text is what the run was asked for: standard output. The run's other messages are errors.
void TTerminalHost::ShowUsage(const WideString& text) { Line(out_, text, false); }

// A message of the run's own ("Bad FileName", a bad parameter and the usage line) keeps its lines.
void TTerminalHost::ShowMessage(const WideString& text) { Line(err_, text, false); }

void TTerminalHost::ShowError(const WideString& text) { Line(err_, text, true); }

void TTerminalHost::BeginFile(const WideString& input, const WideString& output) {
  input_ = input;
  output_ = output;
}
