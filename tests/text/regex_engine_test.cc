// The regex object on UTF-16 directly: the dialect, properties, collections, Replace and
// bounded work.
#include "text/regex_engine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace trawler {
namespace {

std::string Show(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::shared_ptr<RegExpObject> MakeObject(std::u16string pattern, bool ignoreCase, bool multiline,
                                         bool global) {
  auto object = std::make_shared<RegExpObject>();
  EXPECT_TRUE(object->PutProperty("IgnoreCase", ignoreCase));
  EXPECT_TRUE(object->PutProperty("Multiline", multiline));
  EXPECT_TRUE(object->PutProperty("Global", global));
  EXPECT_TRUE(object->PutProperty("Pattern", std::move(pattern)));
  return object;
}

// Every match as "FirstIndex:Value", joined by spaces.
std::string Matches(const MatchCollection& collection) {
  std::string out;
  for (int i = 0; i < collection.Count(); ++i) {
    const auto match = collection.Item(i);
    if (!out.empty()) out += ' ';
    out += std::to_string(match->FirstIndex()) + ":" + Show(match->Value());
  }
  return out;
}

struct DialectCase {
  std::u16string pattern;
  std::u16string subject;
  bool ignoreCase;
  bool multiline;
  bool global;
  std::string expected;  // Matches() of the result
};

TEST(RegexEngineTest, Dialect) {
  const DialectCase cases[] = {
      // "." stops at a line feed but crosses a carriage return.
      {u"a.b", u"a\nb a\rb", false, true, true, "4:a\\u000Db"},
      // Multi-line anchors work at CR as well as at LF.
      {u"^x$", u"x\rx\nx\r\nx", false, true, true, "0:x 2:x 4:x 7:x"},
      {u"^x", u"yx\rx", false, true, true, "3:x"},
      // Without Multiline "^" is the start only and "$" the very end only (not before a
      // final line feed).
      {u"^x", u"x\nx", false, false, true, "0:x"},
      {u"x$", u"x\n", false, false, true, ""},
      {u"x$", u"x\nx", false, false, true, "2:x"},
      // An empty match moves the next search one code unit on, not Perl's retry: two
      // matches here, where Perl finds three.
      {u"|a", u"a", false, true, true, "0: 1:"},
      {u"a*", u"baa", false, true, true, "0: 1:aa 3:"},
      // ... and steps over a whole surrogate pair.
      {u"", u"\U0001F600", false, true, true, "0: 2:"},
      // \w \d \s are ASCII only; case folding goes beyond ASCII.
      {u"\\w+", u"a\u00E9\u4E2Db", false, true, true, "0:a 3:b"},
      {u"\\d",
       u"\uFF11"
       u"1",
       false, true, true, "1:1"},
      {u"\u00C9", u"\u00E9", true, true, true, "0:\\u00E9"},
      {u"abc", u"ABC", false, true, true, ""},
      {u"abc", u"xABC", true, true, true, "1:ABC"},
      // Escapes that PCRE2 knows but this dialect reads as the letter.
      {u"\\A\\Z\\z\\G\\h\\R\\K\\Q\\E\\p\\N", u"AZzGhRKQEpN", false, true, true, "0:AZzGhRKQEpN"},
      {u"\\v", u"v\u000B", false, true, true, "1:\\u000B"},
      {u"\\x41\\u0042\\c[", u"AB\u001B", false, true, true, "0:AB\\u001B"},
      // "[:alpha:]" is no POSIX class here: "[[:alph]" then a literal "]".
      {u"[[:alpha:]]", u"a] b", false, true, true, "0:a]"},
      // "[]" matches nothing, "[^]" anything, line feed included.
      {u"a[]", u"a", false, true, true, ""},
      {u"a[^]b", u"a\nb", false, true, true, "0:a\\u000Ab"},
      // A back-reference to a group that took no part matches the empty text.
      {u"(a)?b\\1", u"b", false, true, true, "0:b"},
      // Lazy runs, and without Global only the first match.
      {u"<b>(.*?)</b>", u"<b>1</b><b>2</b>", false, true, true, "0:<b>1</b> 8:<b>2</b>"},
      {u"<b>(.*?)</b>", u"<b>1</b><b>2</b>", false, true, false, "0:<b>1</b>"},
  };
  for (const auto& c : cases) {
    const auto object = MakeObject(c.pattern, c.ignoreCase, c.multiline, c.global);
    const auto collection = object->Execute(c.subject);
    ASSERT_NE(collection, nullptr) << Show(c.pattern);
    EXPECT_EQ(Matches(*collection), c.expected)
        << "pattern " << Show(c.pattern) << " subject " << Show(c.subject);
    EXPECT_TRUE(collection->Complete());
  }
}

TEST(RegexEngineTest, PropertiesFailSilentlyForUnknownNamesAndKinds) {
  RegExpObject object;
  EXPECT_FALSE(object.PutProperty("Singleline", true));  // the object has no such member
  EXPECT_FALSE(object.PutProperty("Pattern", true));     // a bool where a text belongs
  EXPECT_FALSE(object.PutProperty("Global", u"yes"));    // a text where a bool belongs
  EXPECT_FALSE(object.Global());
  EXPECT_TRUE(object.PutProperty("ignorecase", true));  // late-bound names ignore case
  EXPECT_TRUE(object.IgnoreCase());
  EXPECT_TRUE(object.PutProperty("Pattern", u"a(b"));
  EXPECT_EQ(object.Pattern(), u"a(b");
  // A pattern that does not compile: Execute and Replace fail, the object stays usable.
  EXPECT_EQ(object.Execute(u"ab"), nullptr);
  EXPECT_EQ(object.Replace(u"ab", u"x"), std::nullopt);
  EXPECT_TRUE(object.PutProperty("Pattern", u"B"));
  const auto collection = object.Execute(u"ab");
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(Matches(*collection), "1:b");
}

TEST(RegexEngineTest, GroupsAndItemsOutOfRange) {
  const auto object = MakeObject(u"(a)|(b)", false, true, true);
  const auto collection = object->Execute(u"ab");
  ASSERT_NE(collection, nullptr);
  ASSERT_EQ(collection->Count(), 2);
  EXPECT_EQ(collection->Item(2), std::nullopt);
  EXPECT_EQ(collection->Item(-1), std::nullopt);
  const auto second = collection->Item(1);
  EXPECT_EQ(second->SubMatchCount(), 2);
  EXPECT_EQ(second->SubMatch(0), u"");  // took no part
  EXPECT_EQ(second->SubMatch(1), u"b");
  EXPECT_EQ(second->SubMatch(2), std::nullopt);
  EXPECT_EQ(second->SubMatch(-1), std::nullopt);
}

TEST(RegexEngineTest, MatchesOutliveTheObjectAndTheCallersSubject) {
  std::optional<RegexMatch> match;
  {
    std::u16string subject = u"xyz";
    const auto object = MakeObject(u"y(z)", false, true, true);
    match = object->Execute(subject)->Item(0);
    subject.assign(u"---");
  }
  ASSERT_TRUE(match);
  EXPECT_EQ(match->Value(), u"yz");
  EXPECT_EQ(match->SubMatch(0), u"z");
}

struct ReplaceCase {
  std::u16string pattern;
  bool global;
  std::u16string subject;
  std::u16string replacement;
  std::u16string expected;
};

TEST(RegexEngineTest, ReplacementSyntax) {
  const std::u16string ten = u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)";
  const ReplaceCase cases[] = {
      {u"b", true, u"abc", u"[$&]", u"a[b]c"},
      {u"b", true, u"abc", u"$`", u"aac"},
      {u"b", true, u"abc", u"$'", u"acc"},
      {u"b", true, u"abc", u"$$", u"a$c"},
      {u"(b)", true, u"abc", u"$1$1", u"abbc"},
      {u"(b)", true, u"abc", u"$01", u"abc"},
      // Two digits beyond the group count: one digit and a literal digit.
      {u"(b)", true, u"abc", u"$12", u"ab2c"},
      // Numbers that name no group stay literal, as do a lone "$" and "$0".
      {u"(b)", true, u"abc", u"$2", u"a$2c"},
      {u"(b)", true, u"abc", u"$0", u"a$0c"},
      {u"(b)", true, u"abc", u"x$", u"ax$c"},
      {u"(b)", true, u"abc", u"$x", u"a$xc"},
      // A group that took no part gives the empty text.
      {u"(x)?b", true, u"abc", u"[$1]", u"a[]c"},
      {ten, true, u"abcdefghij", u"$10", u"j"},
      {ten, true, u"abcdefghij", u"$11", u"a1"},
      // Without Global only the first match; empty matches everywhere with it.
      {u"a", false, u"aaa", u"b", u"baa"},
      {u"", true, u"ab", u"-", u"-a-b-"},
      {u"z", true, u"abc", u"-", u"abc"},
  };
  for (const auto& c : cases) {
    const auto object = MakeObject(c.pattern, false, true, c.global);
    const auto result = object->Replace(c.subject, c.replacement);
    ASSERT_TRUE(result) << Show(c.pattern);
    EXPECT_EQ(*result, c.expected) << "pattern " << Show(c.pattern) << " replacement "
                                   << Show(c.replacement) << " got " << Show(*result);
  }
}

TEST(RegexEngineTest, CompiledPatternsAreSharedOnlyWhereTheyAgree) {
  // The same pattern text with other options is another compiled pattern.
  const std::u16string subject = u"A\rb";
  EXPECT_EQ(Matches(*MakeObject(u"a|^b", true, true, true)->Execute(subject)), "0:A 2:b");
  EXPECT_EQ(Matches(*MakeObject(u"a|^b", false, true, true)->Execute(subject)), "2:b");
  EXPECT_EQ(Matches(*MakeObject(u"a|^b", true, false, true)->Execute(subject)), "0:A");
  EXPECT_EQ(Matches(*MakeObject(u"a|^b", false, false, true)->Execute(subject)), "");

  // More patterns than are kept: the first one, compiled again, still matches.
  for (int i = 0; i < 20; ++i) {
    const std::u16string pattern = u"x" + std::u16string(static_cast<std::size_t>(i), u'y');
    EXPECT_EQ(MakeObject(pattern, false, false, true)->Execute(u"xyyy")->Count(), i <= 3 ? 1 : 0);
  }
  EXPECT_EQ(Matches(*MakeObject(u"a|^b", true, true, true)->Execute(subject)), "0:A 2:b");

  // Several threads matching with one compiled pattern at once (each with its own object).
  std::u16string page;
  for (int row = 0; row < 200; ++row)
    page += u"<td>" + std::u16string(1, u'a' + row % 26) + u"</td>\n";
  std::vector<std::thread> threads;
  std::vector<int> counts(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int run = 0; run < 20; ++run) {
        counts[t] += MakeObject(u"<td>(.*?)</td>", true, true, true)->Execute(page)->Count();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const int count : counts) EXPECT_EQ(count, 20 * 200);
}

TEST(RegexEngineTest, RunawayBacktrackingKeepsTheMatchesFoundBefore) {
  // Nested quantifiers over a long run of "a" without the "b" exhaust the engine's
  // backtracking limit at the first "a": the run stops there, keeping the two "x" before.
  const auto object = MakeObject(u"x|(a+)+b", false, true, true);
  const auto collection = object->Execute(u"x x " + std::u16string(40, u'a') + u" x");
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(Matches(*collection), "0:x 2:x");
  EXPECT_FALSE(collection->Complete());
}

TEST(RegexEngineTest, TimeLimitKeepsTheMatchesFoundBefore) {
  // With no time at all the run stops after its first call, keeping that call's match.
  const auto object = MakeObject(u"a", false, true, true);
  object->SetTimeLimit(std::chrono::milliseconds(0));
  const auto collection = object->Execute(u"xaaa");
  ASSERT_NE(collection, nullptr);
  EXPECT_EQ(Matches(*collection), "1:a");
  EXPECT_FALSE(collection->Complete());
  // Replace stops the same way and leaves the rest of the subject as it was.
  EXPECT_EQ(object->Replace(u"xaaa", u"b"), u"xbaa");
  // A run that has nothing left to do when the time is up is complete.
  object->PutProperty("Global", false);
  EXPECT_TRUE(object->Execute(u"xaaa")->Complete());
}

}  // namespace
}  // namespace trawler
