// Cookie merging: received cookies first, sent ones the response did not set after them,
// deleted entries dropped, spaces removed, names compared with case.
#include "web/cookies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trawler {
namespace {

TEST(MergeCookiesTest, MergesReceivedIntoSent) {
  struct Case {
    Text sent;
    Text received;
    Text merged;
    Text receivedAfter;
  };
  const std::vector<Case> cases = {
      {"a=1; b=2", "b=3; c=deleted", "b=3; a=1", "b=3;c=deleted"},
      {"", "", "", ""},
      {"a=1", "", "a=1", ""},
      {"", "a=1", "a=1", "a=1"},
      // Of two sent entries with one name only the first is kept.
      {"a=1; a=2", "x=9", "x=9; a=1", "x=9"},
      // Names compare with case: SID and sid are two cookies.
      {"SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
      // Deleted entries are dropped from the sent side too; only the exact lower-case
      // "=deleted" ending counts.
      {"x=deleted; y=1", "", "y=1", ""},
      {"a=DELETED", "", "a=DELETED", ""},
      {"deleted", "", "deleted", ""},  // no "=": a name, not a deleted entry
      // A response that deletes a sent cookie removes it.
      {"sid=1; k=2", "sid=deleted", "k=2", "sid=deleted"},
      // An entry without "=" is matched by its whole text.
      {"flag; a=1", "flag=2", "flag=2; a=1", "flag=2"},
      // An empty item inside a list survives as an empty item; a final one does not.
      {"a=1;;b=2", "", "a=1; ; b=2", ""},
      {"a = 1", "b = 2 ; c=3;", "b=2; c=3; a=1", "b=2;c=3;"},
      // The value may hold "=": only the first one ends the name.
      {"t=a=b", "t=c=d", "t=c=d", "t=c=d"},
      // The ideographic space (GBK A1 A1) is a space too.
      {"a=\xA1\xA1"
       "1",
       "", "a=1", ""},
  };
  for (const Case& c : cases) {
    Text sent = c.sent;
    Text received = c.received;
    const Text result = MergeCookies(sent, received);
    EXPECT_EQ(sent, c.merged) << "sent '" << c.sent << "' received '" << c.received << "'";
    EXPECT_EQ(result, c.merged) << "sent '" << c.sent << "' received '" << c.received << "'";
    EXPECT_EQ(received, c.receivedAfter)
        << "sent '" << c.sent << "' received '" << c.received << "'";
  }
}

TEST(MergeCookiesTest, CarriesCookiesFromOneRequestToTheNext) {
  Text cookies;
  Text first = "sid=1; theme=dark";
  MergeCookies(cookies, first);
  Text second = "sid=2";
  MergeCookies(cookies, second);
  Text third = "theme=deleted";
  MergeCookies(cookies, third);
  EXPECT_EQ(cookies, "sid=2");
}

TEST(CookieNameTest, NameBeforeTheFirstEquals) {
  struct Case {
    Text entry;
    Text name;
  };
  const std::vector<Case> cases = {
      {"a=1", "a"}, {" a =1", "a"}, {"flag", "flag"}, {" flag ", "flag"},
      {"=1", ""},   {"", ""},       {"a=b=c", "a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CookieName(c.entry), c.name) << "entry '" << c.entry << "'";
  }
  EXPECT_TRUE(CookieListHas({"x=1", "flag", "a=2"}, "flag"));
  EXPECT_FALSE(CookieListHas({"x=1", "A=2"}, "a"));
  EXPECT_FALSE(CookieListHas({}, ""));
  EXPECT_TRUE(CookieListHas({"x=1", ""}, ""));  // an empty item has the empty name
}

}  // namespace
}  // namespace trawler
