#include "htmlview/text/URLSubs.h"

#include "platform/core/Utf8.h"

namespace htmlview {
namespace {

constexpr auto npos = std::u16string::npos;

char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsNoCase(const std::u16string& s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(s[i]) != prefix[i]) return false;
  return true;
}

std::u16string WithoutQuery(const std::u16string& s) { return s.substr(0, s.find(u'?')); }

// Index of the "/" that ends the host part; s.size() when there is none.
size_t HostEnd(const std::u16string& s) {
  if (StartsNoCase(s, u"file:///")) {
    // Without a drive letter the path starts at the third "/".
    const bool drive = s.size() > 9 && (s[9] == u':' || s[9] == u'|');
    if (!drive) return 7;
    size_t p = s.find(u'/', 8);
    return p == npos ? s.size() : p;
  }
  size_t p = s.find(u"://");
  p = p == npos ? s.find(u'/') : s.find(u'/', p + 3);
  return p == npos ? s.size() : p;
}

int Hex(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Narrow(char16_t c) { return platform::Utf16ToUtf8(std::u16string(1, c)); }

}  // namespace

std::u16string TrimW(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

std::u16string GetURLBase(const std::u16string& url) {
  std::u16string head = WithoutQuery(TrimW(url));
  const size_t dd = head.find(u"//");
  const size_t limit = dd == npos ? 0 : dd + 2;
  const size_t p = head.rfind(u'/');
  if (p != npos && p >= limit) return head.substr(0, p + 1);
  return head + u"/";
}

std::u16string CombineDos(const std::u16string& path, const std::u16string& name) {
  const bool pathSlash = !path.empty() && path.back() == u'/';
  const bool nameSlash = !name.empty() && name.front() == u'/';
  if (pathSlash && nameSlash) return path + name.substr(1);
  if (pathSlash || nameSlash) return path + name;
  return path + u"/" + name;
}

std::u16string CombineURL(const std::u16string& baseIn, const std::u16string& relIn) {
  std::u16string base = TrimW(baseIn);
  const std::u16string protocol = GetProtocol(base);
  if (base.empty() || base.back() != u'/') base += u'/';
  const std::u16string rel = TrimW(relIn);
  std::u16string s;
  if (rel.empty() || rel[0] != u'/') {
    s = base + rel;
  } else if (rel.size() > 1 && rel[1] == u'/') {
    if (protocol == u"file")
      s = u"file:///" + rel;
    else
      s = protocol.empty() ? rel : protocol + u":" + rel;
  } else {
    s = base.substr(0, HostEnd(base) + 1) + rel.substr(1);
  }
  const size_t host = HostEnd(s);
  // Each step shortens the text, so both loops end.
  for (size_t i = s.find(u"/../"); i != npos; i = s.find(u"/../")) {
    if (i <= host) {
      s.erase(i + 1, 3);
    } else {
      const size_t j = s.rfind(u'/', i - 1);
      s.erase(j + 1, i + 4 - (j + 1));
    }
  }
  for (size_t i = s.find(u"/./"); i != npos; i = s.find(u"/./")) s.erase(i + 1, 2);
  return s;
}

bool IsFullURL(const std::u16string& s) {
  const std::u16string t = WithoutQuery(s);
  return t.find(u"://") != npos || StartsNoCase(t, u"mailto:") || StartsNoCase(t, u"data:");
}

std::u16string GetProtocol(const std::u16string& url) {
  std::u16string protocol, user, password, host, port, path;
  ParseURL(WithoutQuery(url), protocol, user, password, host, port, path);
  for (char16_t& c : protocol) c = Lower(c);
  return protocol;
}

void ParseURL(const std::u16string& url, std::u16string& protocol, std::u16string& user, std::u16string& password,
              std::u16string& host, std::u16string& port, std::u16string& path) {
  protocol.clear(), user.clear(), password.clear(), host.clear(), port.clear(), path.clear();
  std::u16string rest;
  const size_t sep = url.find(u"://");
  if (sep != npos) {
    protocol = url.substr(0, sep);
    rest = url.substr(sep + 3);
  } else if (!url.empty() && url[0] == u'/') {
    protocol = u"http";
    if (url.size() < 2 || url[1] != u'/') {
      path = url;
      return;
    }
    rest = url.substr(2);
  } else if (StartsNoCase(url, u"http:")) {
    protocol = u"http";
    if (url.size() < 7 || url[6] != u'/') {
      path = url.substr(5);
      return;
    }
    rest = url.substr(7);
  } else if (StartsNoCase(url, u"mailto:") || StartsNoCase(url, u"data:")) {
    protocol = StartsNoCase(url, u"data:") ? u"data" : u"mailto";
    rest = url.substr(url.find(u':') + 1);
  } else {
    rest = url;
  }
  const size_t slash = rest.find(u'/');
  std::u16string authority = rest.substr(0, slash);
  if (slash != npos) path = rest.substr(slash);
  const size_t colon = authority.rfind(u':'), at = authority.rfind(u'@');
  if (colon == npos && at == npos) {
    host = authority;
    return;
  }
  if (at == npos || (colon != npos && colon > at)) {
    port = authority.substr(colon + 1);
    host = at == npos ? authority.substr(0, colon) : authority.substr(at + 1, colon - at - 1);
  } else {
    host = authority.substr(at + 1);
  }
  if (at != npos) {
    const std::u16string info = authority.substr(0, at);
    const size_t c = info.find(u':');
    user = info.substr(0, c);
    if (c != npos) password = info.substr(c + 1);
  }
}

int PosNth(char16_t delimiter, const std::u16string& s, int n) {
  if (n > 0) {
    for (size_t i = 0; i < s.size(); ++i)
      if (s[i] == delimiter && --n == 0) return static_cast<int>(i) + 1;
  } else if (n < 0) {
    for (size_t i = s.size(); i-- > 0;)
      if (s[i] == delimiter && ++n == 0) return static_cast<int>(i) + 1;
  }
  return 0;
}

void SplitAtChar(std::u16string& s, char16_t ch, std::u16string& rest) {
  const size_t p = s.find(ch);
  if (p == npos) {
    rest.clear();
    return;
  }
  rest = s.substr(p);
  s.resize(p);
}

void SplitFragment(const std::u16string& url, std::u16string& dest, std::u16string& fragment) {
  dest = url;
  SplitAtChar(dest, u'#', fragment);
}

std::u16string DecodeURLEscapes(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  // One escaped byte at i (a "%" known to be there).
  auto byteAt = [&](size_t at) {
    const int h = Hex(s[at + 1]), l = Hex(s[at + 2]);
    if (h < 0 || l < 0) throw EConvertError("Invalid escape character: '" + Narrow(h < 0 ? s[at + 1] : s[at + 2]) + "'");
    return h * 16 + l;
  };
  while (i < s.size()) {
    if (s[i] != u'%' || i + 2 >= s.size()) {
      out += s[i++];
      continue;
    }
    const int lead = byteAt(i);
    i += 3;
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      continue;
    }
    int more;
    uint32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3, value = lead & 0x07;
    } else {
      throw EConvertError("Invalid UTF sequence.");
    }
    for (int k = 0; k < more; ++k) {
      if (s.size() - i < 3)
        throw EConvertError("Invalid escape sequence: 3 digits expected, but " + std::to_string(s.size() - i) +
                            " found");
      if (s[i] != u'%')
        throw EConvertError("Invalid escape sequence: \"%\" expected but \"" + Narrow(s[i]) + "\" (#" +
                            std::to_string(static_cast<int>(s[i])) + ") found");
      const int c = byteAt(i);
      i += 3;
      if ((c & 0xC0) != 0x80) throw EConvertError(more == 2 ? "Invalid 3 octet UTF sequence." : "Invalid UTF sequence.");
      value = value << 6 | (c & 0x3F);
    }
    // Overlong forms, surrogates and values above U+10FFFF are no characters.
    if (more == 2 && (value < 0x800 || (value >= 0xD800 && value < 0xE000)))
      throw EConvertError("Invalid 3 octet UTF sequence.");
    if (more == 3 && (value < 0x10000 || value > 0x10FFFF)) throw EConvertError("Invalid UTF sequence.");
    platform::AppendUtf16(out, value);
  }
  return out;
}

void ReplaceChar(std::u16string& s, char16_t from, char16_t to) {
  for (char16_t& c : s)
    if (c == from) c = to;
}

std::u16string URLToDosPath(const std::u16string& url) {
  std::u16string s = DecodeURLEscapes(url);
  if (s.find(u'/') != npos && StartsNoCase(s, u"file:/")) {
    size_t p = 5;
    while (p < s.size() && p < 8 && s[p] == u'/') ++p;
    s = u"/" + s.substr(p);
  }
  return s;
}

std::u16string DosPathWithBase(const std::u16string& s, const std::u16string& base) {
  std::u16string path = TrimW(URLToDosPath(s));
  // A name rooted at "/" is rooted at the base (a site's document root). A "//" name and a
  // file: URL already name the whole path.
  if (base.empty() || path.empty() || path[0] != u'/' || (path.size() > 1 && path[1] == u'/') ||
      StartsNoCase(TrimW(s), u"file:"))
    return path;
  return CombineDos(base, path);
}

}  // namespace htmlview
