#include <gtest/gtest.h>

#include "htmlview/text/URLSubs.h"

using namespace htmlview;

namespace {

TEST(URLs, CombineAndBase) {
  struct Case {
    std::u16string base, rel, want;
  } cases[] = {
      {u"http://h.com/docs/", u"../img/a.gif", u"http://h.com/img/a.gif"},
      {u"http://h.com/a/b/", u"./c/./d.gif", u"http://h.com/a/b/c/d.gif"},
      {u"http://h.com/a/b/", u"/x.gif", u"http://h.com/x.gif"},
      {u"https://h.com/a/", u"//cdn.org/x.js", u"https://cdn.org/x.js"},
      {u"http://h.com", u"x.gif", u"http://h.com/x.gif"},
      {u"http://h.com/", u"../../x.gif", u"http://h.com/x.gif"},
      {u"file:///home/u/", u"/x.gif", u"file:///x.gif"},
      {u"file:///home/u/", u"../v/x.gif", u"file:///home/v/x.gif"},
      {u"file:///c|/dir/", u"/x.gif", u"file:///c|/x.gif"},
      {u" docs/sub ", u" a.gif ", u"docs/sub/a.gif"},
  };
  for (const Case& c : cases) EXPECT_EQ(CombineURL(c.base, c.rel), c.want);

  EXPECT_EQ(GetURLBase(u" http://h.com/a/b.html?x=/y "), u"http://h.com/a/");
  EXPECT_EQ(GetURLBase(u"http://h.com"), u"http://h.com/");
  EXPECT_EQ(CombineDos(u"/a/", u"/b"), u"/a/b");
  EXPECT_EQ(CombineDos(u"/a", u"b"), u"/a/b");
}

TEST(URLs, ParseAndClassify) {
  struct Case {
    std::u16string url, protocol, user, password, host, port, path;
  } cases[] = {
      {u"ftp://me:pw@h.org:21/p/q", u"ftp", u"me", u"pw", u"h.org", u"21", u"/p/q"},
      {u"http://a:b@c@h.org/p", u"http", u"a", u"b@c", u"h.org", u"", u"/p"},
      {u"/local/p", u"http", u"", u"", u"", u"", u"/local/p"},
      {u"http:rel", u"http", u"", u"", u"", u"", u"rel"},
      {u"mailto:me@h.org", u"mailto", u"me", u"", u"h.org", u"", u""},
      {u"h.org:8080/x", u"", u"", u"", u"h.org", u"8080", u"/x"},
  };
  for (const Case& c : cases) {
    std::u16string protocol, user, password, host, port, path;
    ParseURL(c.url, protocol, user, password, host, port, path);
    EXPECT_EQ(protocol, c.protocol);
    EXPECT_EQ(user, c.user);
    EXPECT_EQ(password, c.password);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(path, c.path);
  }
  EXPECT_EQ(GetProtocol(u"HTTP://x/y?q=a://b"), u"http");
  for (const char16_t* s : {u"MAILTO:x@y", u"Data:image/gif;base64,R0", u"http://x"}) EXPECT_TRUE(IsFullURL(s));
  for (const char16_t* s : {u"a/b.gif", u"x?y=http://z"}) EXPECT_FALSE(IsFullURL(s));

  EXPECT_EQ(PosNth(u'/', u"a/b/c/d", 2), 4);
  EXPECT_EQ(PosNth(u'/', u"a/b/c/d", -1), 6);
  EXPECT_EQ(PosNth(u'/', u"a/b", 2), 0);
  std::u16string dest, fragment;
  SplitFragment(u"p.html#top", dest, fragment);
  EXPECT_EQ(dest, u"p.html");
  EXPECT_EQ(fragment, u"#top");
  SplitFragment(u"p.html", dest, fragment);
  EXPECT_EQ(fragment, u"");
}

TEST(URLs, EscapesAndErrors) {
  EXPECT_EQ(DecodeURLEscapes(u"a%20b%C3%A9%E2%82%AC%F0%9F%98%80"), u"a b\u00E9\u20AC\U0001F600");
  EXPECT_EQ(DecodeURLEscapes(u"x%4"), u"x%4");
  EXPECT_EQ(DecodeURLEscapes(u"100%"), u"100%");
  struct Bad {
    std::u16string text;
    const char* message;
  } bad[] = {
      {u"%G1x", "Invalid escape character: 'G'"},
      {u"%C3%A", "Invalid escape sequence: 3 digits expected, but 2 found"},
      {u"%C3xA9", "Invalid escape sequence: \"%\" expected but \"x\" (#120) found"},
      {u"%E2%41%AC", "Invalid 3 octet UTF sequence."},
      {u"%C3%41", "Invalid UTF sequence."},
      {u"%C0%AF", "Invalid UTF sequence."},
      {u"%ED%A0%80", "Invalid 3 octet UTF sequence."},
  };
  for (const Bad& b : bad) {
    try {
      DecodeURLEscapes(b.text);
      ADD_FAILURE() << b.message;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), b.message);
    }
  }
}

TEST(URLs, LocalPaths) {
  struct Case {
    std::u16string url, path;
  } cases[] = {
      {u"file:///home/u/a%20b.gif", u"/home/u/a b.gif"},
      {u"file://home/x", u"/home/x"},
      {u"FILE:/x|y\\z", u"/x|y\\z"},
      {u"img/a.gif", u"img/a.gif"},
      {u"plain", u"plain"},
  };
  for (const Case& c : cases) EXPECT_EQ(URLToDosPath(c.url), c.path);
  EXPECT_EQ(DosPathWithBase(u" /abs/p.gif ", u"/base"), u"/base/abs/p.gif");
  // Only a name rooted at one "/" goes under the base; a file: URL is a whole path.
  struct Based {
    std::u16string url, base, path;
  } based[] = {
      {u"/b.html", u"/srv/site", u"/srv/site/b.html"},
      {u"/b.html", u"/srv/site/", u"/srv/site/b.html"},
      {u"/b%20c.html", u"/srv", u"/srv/b c.html"},
      {u"/b.html", u"", u"/b.html"},
      {u"b.html", u"/srv", u"b.html"},
      {u"//host/b.html", u"/srv", u"//host/b.html"},
      {u"file:///srv/b.html", u"/srv", u"/srv/b.html"},
      {u"FILE:/x.html", u"/srv", u"/x.html"},
  };
  for (size_t i = 0; i < std::size(based); ++i)
    EXPECT_EQ(DosPathWithBase(based[i].url, based[i].base), based[i].path) << "case " << i;
}

}  // namespace
