// RegexMatcher over GBK texts: Create and its defaults, failures, positions, Replace, the
// object holders, and the three site patterns on small fixture pages.
#include "text/regex_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/code_page.h"

namespace trawler {
namespace {

// GBK from UTF-8 source text.
Text G(std::string_view utf8) { return Utf8ToGbk(utf8); }

TEST(RegexMatcherTest, CreateResultAndFailures) {
  RegexMatcher matcher;
  EXPECT_EQ(matcher.MatchCount(), 0);  // nothing created yet
  EXPECT_EQ(matcher.GetPattern(), "");
  EXPECT_EQ(matcher.Replace("x"), "");
  EXPECT_EQ(matcher.SubMatchCount(), 0);

  // No match still means the expression ran.
  EXPECT_TRUE(matcher.Create("z", "abc"));
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.SubMatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1), "");

  // An invalid pattern: the object exists and keeps its pattern, but Execute failed.
  EXPECT_FALSE(matcher.Create("a(b", "ab(b"));
  EXPECT_EQ(matcher.matches, nullptr);
  EXPECT_EQ(matcher.MatchCount(), 0);
  EXPECT_EQ(matcher.MatchText(1), "");
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");
  EXPECT_EQ(matcher.SubMatchCount(), 0);
  EXPECT_EQ(matcher.GetPattern(), "a(b");
  EXPECT_EQ(matcher.Replace("x"), "");
  EXPECT_EQ(matcher.subject, "ab(b");
}

TEST(RegexMatcherTest, OmittedOptionsAreAllTrue) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Create("^<td>(b)", "<TD>a\r<TD>B\n<td>b"));
  EXPECT_EQ(matcher.MatchCount(), 2);  // upper-case tag, after CR and after LF
  EXPECT_EQ(matcher.SubMatchText(1, 1), "B");
  EXPECT_EQ(matcher.SubMatchText(2, 1), "b");
  EXPECT_TRUE(matcher.regExp->IgnoreCase());
  EXPECT_TRUE(matcher.regExp->Multiline());
  EXPECT_TRUE(matcher.regExp->Global());

  ASSERT_TRUE(matcher.Create("^<td>(b)", "<TD>a\r<TD>B\n<td>b", false, true, true));
  EXPECT_EQ(matcher.MatchCount(), 1);
  ASSERT_TRUE(matcher.Create("^<td>(b)", "<td>b\n<td>b", true, false, true));
  EXPECT_EQ(matcher.MatchCount(), 1);
  ASSERT_TRUE(matcher.Create("b", "bbb", true, true, false));
  EXPECT_EQ(matcher.MatchCount(), 1);
}

TEST(RegexMatcherTest, GroupsAndNumbersOutOfRange) {
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Create("(a)|(b)", "b"));
  EXPECT_EQ(matcher.SubMatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchText(1, 1), "");  // took no part
  EXPECT_EQ(matcher.SubMatchText(1, 2), "b");
  const int outOfRange[][2] = {{0, 1}, {2, 1}, {1, 0}, {1, 3}, {INT32_MIN, 1}, {1, INT32_MIN}};
  for (const auto& [index, group] : outOfRange) {
    int position = 7;
    EXPECT_EQ(matcher.SubMatchText(index, group, &position), "") << index << "," << group;
    EXPECT_EQ(position, -2) << index << "," << group;
  }
  int position = 7;
  EXPECT_EQ(matcher.MatchText(INT32_MIN, &position), "");
  EXPECT_EQ(position, -2);
}

struct PositionCase {
  Text pattern;
  Text subject;
  bool ignoreCase;
  int index;
  Text text;
  int position;
};

TEST(RegexMatcherTest, MatchPositionsAreByteOffsets) {
  const Text zhong = G("中");  // two GBK bytes, one UTF-16 unit
  const PositionCase cases[] = {
      {"b", "ab", true, 1, "b", 1},
      {"b", "bb", true, 2, "b", 1},
      // After two-byte characters the byte offset exceeds FirstIndex (2 here).
      {"b", zhong + zhong + "b", true, 1, "b", 4},
      // The search from FirstIndex (byte 2, a "b") follows the expression's case rule: a
      // case-sensitive expression finds its "B" at byte 3, not the "b" before it.
      {"B", zhong + "bB", false, 1, "B", 3},
  };
  for (const auto& c : cases) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Create(c.pattern, c.subject, c.ignoreCase));
    int position = 7;
    EXPECT_EQ(matcher.MatchText(c.index, &position), c.text) << c.pattern << " " << c.subject;
    EXPECT_EQ(position, c.position) << c.pattern << " " << c.subject;
  }

  // A group is searched from the start of its whole match.
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Create("a(b)", zhong + "ab ab"));
  int position = 0;
  EXPECT_EQ(matcher.SubMatchText(2, 1, &position), "b");
  EXPECT_EQ(position, 6);
}

TEST(RegexMatcherTest, GbkTextsCrossBothWays) {
  RegexMatcher matcher;
  const Text pattern = G("(\\d+)(个|只)");
  ASSERT_TRUE(matcher.Create(pattern, G("中1个文22只")));
  EXPECT_EQ(matcher.GetPattern(), pattern);
  ASSERT_EQ(matcher.MatchCount(), 2);
  EXPECT_EQ(matcher.MatchText(2), G("22只"));
  EXPECT_EQ(matcher.SubMatchText(2, 2), G("只"));
  EXPECT_EQ(matcher.Replace("[$2$1]"), G("中[个1]文[只22]"));
  EXPECT_EQ(matcher.subject, G("中1个文22只"));  // Replace leaves the subject alone
}

TEST(RegexMatcherTest, CloneSharesObjectsAndDestroyReleasesThem) {
  auto matcher = std::make_unique<RegexMatcher>();
  ASSERT_TRUE(matcher->Create("(b)", "abcb"));
  auto clone = matcher->Clone();
  EXPECT_EQ(clone->regExp, matcher->regExp);
  EXPECT_EQ(clone->matches, matcher->matches);
  EXPECT_EQ(clone->subject, "abcb");

  // A new Create on the original makes new objects; the clone keeps the old ones.
  ASSERT_TRUE(matcher->Create("c", "cc"));
  EXPECT_NE(clone->regExp, matcher->regExp);
  EXPECT_EQ(clone->MatchCount(), 2);
  EXPECT_EQ(clone->SubMatchText(2, 1), "b");

  // Create with the matcher's own subject as the argument.
  ASSERT_TRUE(matcher->Create("c", matcher->subject));
  EXPECT_EQ(matcher->MatchCount(), 2);
  // Handed over rather than copied, its own subject included: the matcher keeps the text
  // and positions are still found in it.
  ASSERT_TRUE(matcher->Create("c", std::move(matcher->subject)));
  EXPECT_EQ(matcher->subject, "cc");
  Text page = G("中文ac");
  ASSERT_TRUE(matcher->Create("c", std::move(page)));
  EXPECT_EQ(matcher->subject, G("中文ac"));
  int position = 0;
  EXPECT_EQ(matcher->MatchText(1, &position), "c");
  EXPECT_EQ(position, 5);

  matcher->Destroy();
  EXPECT_EQ(matcher->regExp, nullptr);
  EXPECT_EQ(matcher->matches, nullptr);
  EXPECT_EQ(matcher->subject, "");
  EXPECT_EQ(matcher->MatchCount(), 0);
  matcher.reset();  // Destroy again from the destructor
  EXPECT_EQ(clone->MatchText(1), "b");
}

// The site patterns, as the site table holds them.
const Text kSite1Pattern =
    R"re( title="(.*?)" target=".*?<td class="files-size">(.*?)</td> <td class="convert-date">(.*?)</td> <td class="action"><a href="(.*?)" class="btn" title=".*?")re";
const Text kSite2Pattern =
    R"re(<tr><td class="name">(.*?)</td><td class="size">(.*?)</td><td class="date">(.*?)</td><td class="action"><a href="(.*?)" title=".*?")re";
Text Site3Pattern() {
  return G(
      R"re(target="_blank">(.*?)</a></dd></dt><dd><span><a href="(.*?)".*?创建时间&nbsp;:&nbsp;<b>(.*?)</b>.*?文件大小&nbsp;:&nbsp;<b>(.*?)</b>)re");
}

struct SiteCase {
  const char* name;
  Text pattern;
  Text page;
  std::vector<std::vector<Text>> rows;  // groups 1 to 4 of each match
};

TEST(RegexMatcherTest, SitePatternsOnFixturePages) {
  const SiteCase cases[] = {
      {"site 1",
       kSite1Pattern,
       "<table>\n"
       "<tr><td><a href=\"/t/1\" title=\"One\" target=\"_blank\">One</a></td> "
       "<td class=\"files-size\">1.2 GB</td> <td class=\"convert-date\">2024-01-02</td> "
       "<td class=\"action\"><a href=\"/d/1\" class=\"btn\" title=\"get\">go</a></td></tr>\n"
       // Upper-case tags and attribute names.
       "<TR><TD><A HREF=\"/t/2\" TITLE=\"Two\" TARGET=\"_blank\">Two</A></TD> "
       "<TD CLASS=\"files-size\">3 MB</TD> <TD CLASS=\"convert-date\">2024-02-03</TD> "
       "<TD CLASS=\"action\"><A HREF=\"/d/2\" CLASS=\"btn\" TITLE=\"get\">go</A></TD></TR>\n"
       // A row broken by a line feed does not match.
       "<tr><td><a href=\"/t/3\" title=\"Three\" target=\"_blank\">Three</a></td>\n "
       "<td class=\"files-size\">5 KB</td> <td class=\"convert-date\">2024-03-04</td> "
       "<td class=\"action\"><a href=\"/d/3\" class=\"btn\" title=\"get\">go</a></td></tr>\n"
       "<tr><td><a href=\"/t/4\" title=\"" +
           G("第四") +
           "\" target=\"_blank\">x</a></td> "
           "<td class=\"files-size\">7 GB</td> <td class=\"convert-date\">2024-04-05</td> "
           "<td class=\"action\"><a href=\"/d/4\" class=\"btn\" title=\"get\">go</a></td></tr>\n",
       {{"One", "1.2 GB", "2024-01-02", "/d/1"},
        {"Two", "3 MB", "2024-02-03", "/d/2"},
        {G("第四"), "7 GB", "2024-04-05", "/d/4"}}},
      {"site 2",
       kSite2Pattern,
       "<tr><td class=\"name\">One</td><td class=\"size\">1 GB</td><td class=\"date\">d1</td>"
       "<td class=\"action\"><a href=\"/d/1\" title=\"x\">go</a></td></tr>\n"
       "<TR><TD CLASS=\"NAME\">Two</TD><TD CLASS=\"SIZE\">2 GB</TD><TD CLASS=\"DATE\">d2</TD>"
       "<TD CLASS=\"ACTION\"><A HREF=\"/d/2\" TITLE=\"x\">go</A></TD></TR>\n"
       "<tr><td class=\"name\">Three</td><td class=\"size\">3 GB</td>\n<td class=\"date\">d3"
       "</td><td class=\"action\"><a href=\"/d/3\" title=\"x\">go</a></td></tr>\n"
       // A cell that is empty gives an empty group.
       "<tr><td class=\"name\"></td><td class=\"size\">4 GB</td><td class=\"date\">d4</td>"
       "<td class=\"action\"><a href=\"/d/4\" title=\"x\">go</a></td></tr>\n",
       {{"One", "1 GB", "d1", "/d/1"}, {"Two", "2 GB", "d2", "/d/2"}, {"", "4 GB", "d4", "/d/4"}}},
      {"site 3",
       Site3Pattern(),
       G("<dl><dt><a href=\"/h/1\" target=\"_blank\">名字一</a></dd></dt><dd><span>"
         "<a href=\"magnet:?xt=urn:btih:AAA\">磁力</a></span><span>创建时间&nbsp;:&nbsp;"
         "<b>2024-01-02</b></span><span>文件大小&nbsp;:&nbsp;<b>1.5 GB</b></span></dd>\n"
         "<DL><DT><A HREF=\"/h/2\" TARGET=\"_BLANK\">名字二</A></DD></DT><DD><SPAN>"
         "<A HREF=\"magnet:?xt=urn:btih:BBB\">磁力</A></SPAN><SPAN>创建时间&NBSP;:&NBSP;"
         "<B>2024-02-03</B></SPAN><SPAN>文件大小&NBSP;:&NBSP;<B>700 MB</B></SPAN></DD>\n"
         "<dl><dt><a href=\"/h/3\" target=\"_blank\">名字三</a></dd></dt><dd><span>"
         "<a href=\"magnet:?xt=urn:btih:CCC\">磁力</a></span>\n<span>创建时间&nbsp;:&nbsp;"
         "<b>2024-03-04</b></span><span>文件大小&nbsp;:&nbsp;<b>2 GB</b></span></dd>\n"),
       {{G("名字一"), "magnet:?xt=urn:btih:AAA", "2024-01-02", "1.5 GB"},
        {G("名字二"), "magnet:?xt=urn:btih:BBB", "2024-02-03", "700 MB"}}},
  };
  for (const auto& c : cases) {
    RegexMatcher matcher;
    ASSERT_TRUE(matcher.Create(c.pattern, c.page)) << c.name;
    ASSERT_EQ(matcher.MatchCount(), static_cast<int>(c.rows.size())) << c.name;
    EXPECT_EQ(matcher.SubMatchCount(), 4) << c.name;
    for (int i = 1; i <= matcher.MatchCount(); ++i) {
      for (int g = 1; g <= 4; ++g) {
        EXPECT_EQ(matcher.SubMatchText(i, g), c.rows[i - 1][g - 1])
            << c.name << " match " << i << " group " << g;
      }
    }
  }
}

TEST(RegexMatcherTest, HostilePageEndsAndKeepsEarlierMatches) {
  // Two good rows, then 1 MiB on one line of rows that lack their file size: every opener
  // tries every later one as the end of its first group, and every such try runs a lazy
  // ".*?" to the end of the line. The run stops at the engine's backtracking limit; the rows
  // before stay.
  Text page =
      G("<a target=\"_blank\">甲</a></dd></dt><dd><span><a href=\"m1\">"
        "创建时间&nbsp;:&nbsp;<b>t1</b>文件大小&nbsp;:&nbsp;<b>s1</b>\n"
        "<a target=\"_blank\">乙</a></dd></dt><dd><span><a href=\"m2\">"
        "创建时间&nbsp;:&nbsp;<b>t2</b>文件大小&nbsp;:&nbsp;<b>s2</b>\n");
  const Text opener =
      G("target=\"_blank\">x</a></dd></dt><dd><span><a href=\"y\" 创建时间&nbsp;:&nbsp;<b>t</b> ");
  while (page.size() < (1u << 20)) page += opener;
  RegexMatcher matcher;
  ASSERT_TRUE(matcher.Create(Site3Pattern(), page));
  ASSERT_EQ(matcher.MatchCount(), 2);
  EXPECT_EQ(matcher.SubMatchText(1, 1), G("甲"));
  EXPECT_EQ(matcher.SubMatchText(2, 4), "s2");
  EXPECT_FALSE(matcher.matches->Complete());
}

}  // namespace
}  // namespace trawler
