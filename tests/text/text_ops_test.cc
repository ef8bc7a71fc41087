// Tests of the GBK text operations. Byte strings are written with \x escapes; a literal
// is split ("\xB0" "a") where a hex escape would otherwise swallow the next letter.
#include "text/text_ops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace trawler {
namespace {

using ::testing::ElementsAreArray;

// Printable form of GBK bytes for failure messages.
std::string Show(std::string_view bytes) {
  std::string out = "'";
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += ch;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out + "'";
}

// GBK characters used below. Their trail bytes are chosen to look like ASCII or like the
// lead byte of another character.
constexpr std::string_view kA = "\xB0\xA1";          // 啊: trail 0xA1
constexpr std::string_view kBackslash = "\x95\x5C";  // a pair whose trail byte is '\'
constexpr std::string_view kBar = "\x81\x7C";        // a pair whose trail byte is '|'
constexpr std::string_view kTrailA = "\x81\x41";     // a pair whose trail byte is 'A'
constexpr std::string_view kIdeoSpace = "\xA1\xA1";  // the ideographic space

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (const auto part : parts) out += part;
  return out;
}

struct FindCase {
  std::string text;
  std::string needle;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindTextTest, StepsOverDoubleByteCharacters) {
  const FindCase cases[] = {
      {"abc", "c", 1, false, 3},
      {"abc", "bc", 1, false, 2},
      {"abc", "x", 1, false, -1},
      {"abcabc", "abc", 2, false, 4},  // starts at the given position
      {"abc", "a", 0, false, 1},       // a start below 1 counts as 1
      {"abc", "a", -7, false, 1},
      {"abc", "c", 3, false, 3},
      {"abc", "c", 4, false, -1},  // start just past the end: empty stretch
      {"abc", "c", 5, false, -1},
      {"abc", "", 1, false, 1},   // empty needle in a non-empty stretch
      {"abc", "", 3, false, 1},   // ... is found at 1, wherever the stretch begins
      {"abc", "", 4, false, -1},  // empty needle, empty stretch
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      {"ab", "abc", 1, false, -1},  // needle longer than the text
      {"xAbC", "abc", 1, true, 2},
      {"xAbC", "abc", 1, false, -1},
      {"xabc", "ABC", 1, true, 2},
      {"a[b", "[B", 1, true, 2},  // '[' (0x5B) is not folded with '{' (0x7B)
      {"a{b", "[b", 1, true, -1},
      // The trail byte 0xA1 of 啊 is not a character of its own.
      {std::string(kA), "\xA1", 1, false, -1},
      {Cat({"\xA1", kA}), "\xA1", 1, false, 1},  // here 0xA1 is the lead byte of 0xA1 0xB0
      {Cat({kA,
            "\xA1"
            "x"}),
       "\xA1", 1, false, 3},
      {Cat({kA, kA}), "\xA1\xB0", 1, false, -1},  // straddles two characters
      {Cat({kA, kA}), std::string(kA), 3, false, 3},
      // The walk begins at the start position as at a character boundary: from inside the
      // first pair it reads 0xA1 0xB0 as one character and misses the second 0xB0 0xA1.
      {Cat({kA, kA}), std::string(kA), 2, false, -1},
      // Trail bytes that equal ASCII characters are not found as ASCII.
      {Cat({"x", kBackslash, "\\"}), "\\", 1, false, 4},
      {Cat({"x", kBar, "y"}), "|", 1, false, -1},
      {Cat({kTrailA, "a"}), "a", 1, true, 3},  // not the folded trail byte 'A'
      {Cat({kTrailA, "a"}), "A", 1, false, -1},
      // A lead byte followed by the end of the text ends the search, even for itself.
      {"a\xB0", "\xB0", 1, false, -1},
      {"\xB0", "\xB0", 1, false, -1},
      {"\xB0"
       "a",
       "\xB0", 1, false, 1},
      {"ab\xB0", "b\xB0", 1, false, 2},  // a needle may end in a lead byte
      {Cat({kA, "X"}), "x", 1, true, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.needle, c.start, c.ignoreCase), c.expected)
        << Show(c.text) << " needle " << Show(c.needle) << " start " << c.start << " ignoreCase "
        << c.ignoreCase;
  }
}

TEST(FindTextTest, LongTextsWithManyFalseCandidates) {
  // A page-sized text full of pairs whose trail byte is the needle; the only real match is
  // at the very end. Then the same with case folding, where every 'a' and 'A' is a
  // candidate first byte.
  std::string text;
  for (int i = 0; i < 200000; ++i) text += kBackslash;
  text += "\\";
  EXPECT_EQ(FindText(text, "\\"), static_cast<int>(text.size()));
  EXPECT_EQ(FindLastText(text, "\\"), static_cast<int>(text.size()));

  std::string letters(500000, 'a');
  letters += "AaB";
  EXPECT_EQ(FindText(letters, "aab", 1, true), 500001);
  EXPECT_EQ(FindText(letters, "aab", 1, false), -1);
  EXPECT_EQ(FindText(letters, "AAB", 400000, true), 500001);
}

TEST(FindLastTextTest, LastMatchOnACharacterBoundary) {
  const FindCase cases[] = {
      {"a:b:c", ":", 1, false, 4},
      {"abc", "x", 1, false, -1},
      {"aaa", "aa", 1, false, 2},  // overlapping matches count
      {"aBc", "b", 1, false, -1},  // case matters
      {Cat({":", kBackslash}), "\\", 1, false, -1},
      {Cat({"\\", kBackslash}), "\\", 1, false, 1},
      {"", ":", 1, false, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindLastText(c.text, c.needle), c.expected)
        << Show(c.text) << " needle " << Show(c.needle);
  }
}

TEST(CutByCountTest, CountsBytes) {
  struct Case {
    Text got;
    Text expected;
  };
  const std::string a2 = Cat({kA, kA});
  const Case cases[] = {
      {TextLeft("abc", 2), "ab"},        {TextLeft("abc", 9), "abc"},
      {TextLeft("abc", 0), ""},          {TextLeft("abc", -1), ""},
      {TextLeft(a2, 3), "\xB0\xA1\xB0"},  // may cut a pair in two
      {TextRight("abc", 2), "bc"},       {TextRight("abc", 3), "abc"},
      {TextRight("abc", 9), "abc"},      {TextRight("abc", 0), ""},
      {TextRight(a2, 1), "\xA1"},        {TextMid("abcde", 2, 3), "bcd"},
      {TextMid("abcde", 4, 9), "de"},    {TextMid("abcde", 5, 1), "e"},
      {TextMid("abcde", 6, 1), ""},  // start beyond the last byte
      {TextMid("abcde", 0, 2), ""},  // start below 1
      {TextMid("abcde", 2, 0), ""},      {TextMid("", 1, 1), ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
  }
}

TEST(SpacesTest, TrimAndRemoveWalkCharacters) {
  struct Case {
    std::string text;
    std::string trimmed;
    std::string removed;
  };
  const std::string ideo(kIdeoSpace);
  const Case cases[] = {
      {" \tx ", "\tx", "\tx"},  // tab is not a space
      {"  a b  ", "a b", "ab"},
      {"\r\nx\r\n", "\r\nx\r\n", "\r\nx\r\n"},
      {ideo + "x" + ideo + " ", "x", "x"},
      {ideo + ideo, "", ""},
      {"", "", ""},
      {"   ", "", ""},
      // 0xB0 0x20 is one character: its 0x20 is no space.
      {"x\xB0 ", "x\xB0 ", "x\xB0 "},
      // 0xB0 0xA1 0xA1 0x41: the pair 0xA1 0xA1 does not begin on a character boundary.
      {Cat({kA, "\xA1\x41"}), Cat({kA, "\xA1\x41"}), Cat({kA, "\xA1\x41"})},
      {Cat({" ", kA, " ", ideo, kA, ideo}), Cat({kA, " ", ideo, kA}), Cat({kA, kA})},
      {"a\xB0", "a\xB0", "a\xB0"},  // a lead byte at the end is kept
      {ideo.substr(0, 1), "\xA1", "\xA1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimSpaces(c.text), c.trimmed) << Show(c.text);
    EXPECT_EQ(RemoveSpaces(c.text), c.removed) << Show(c.text);
  }
}

TEST(ReplaceTextTest, LeftToRightWithoutOverlap) {
  struct Case {
    std::string text, oldText, newText, expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", "a+b+c"},
      {"aaaa", "aa", "b", "bb"},
      {"aaa", "aa", "b", "ba"},
      {"abc", "", "x", "abc"},  // empty old: unchanged
      {"", "a", "x", ""},
      {"abc", "b", "", "ac"},
      {"aBc", "b", "x", "aBc"},  // case matters
      {"ab", "a", "aa", "aab"},  // the new text is not searched again
      {Cat({kBackslash, "\\"}), "\\", "/", Cat({kBackslash, "/"})},
      {Cat({"x", kA}), "\xA1", "?", Cat({"x", kA})},
      // The walk resumes right after the old text, as at a character boundary, even when
      // the old text ends in a lead byte.
      {"x\xB0x\xB0", "x\xB0", "-", "--"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.text, c.oldText, c.newText), c.expected)
        << Show(c.text) << " " << Show(c.oldText) << " -> " << Show(c.newText);
  }
}

TEST(SplitTextTest, KeepsEmptyItemsButNotAFinalOne) {
  struct Case {
    std::string text, separator;
    TextList expected;
  };
  const Case cases[] = {
      {"a;;b;", ";", {"a", "", "b"}},
      {";a", ";", {"", "a"}},
      {";", ";", {""}},
      {";;", ";", {"", ""}},
      {"a", ";", {"a"}},
      {"", ";", {}},
      {"a;b", "", {"a;b"}},  // empty separator: the whole text
      {"a::b::", "::", {"a", "b"}},
      {":::", "::", {"", ":"}},
      {"k=v\r\nx=y\r\n", "\r\n", {"k=v", "x=y"}},
      {Cat({"a", kBar, "b|c"}), "|", {Cat({"a", kBar, "b"}), "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(SplitText(c.text, c.separator), ElementsAreArray(c.expected))
        << Show(c.text) << " at " << Show(c.separator);
  }
}

TEST(ToLowerAsciiTest, LeavesTrailBytesAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {"AbC-Z@[", "abc-z@["},
      {"", ""},
      {Cat({kTrailA, "A"}), Cat({kTrailA, "a"})},
      {"\x81\x5A\x5A", "\x81\x5A\x7A"},
      {"x\xB0", "x\xB0"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ToLowerAscii(text), expected) << Show(text);
  }
}

TEST(TextToIntTest, ReadsDigitsAfterWhiteSpaceAndSign) {
  const std::pair<std::string, std::int32_t> cases[] = {
      {"8080/", 8080},
      {"", 0},
      {"x1", 0},
      {"  \t\r\n+42x", 42},
      {"-17", -17},
      {"-", 0},
      {"+", 0},
      {"- 1", 0},  // no white space between sign and digits
      {"007", 7},
      {"1 2", 1},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},  // beyond 32 bits: saturates
      {"99999999999999999999999", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-2147483649", INT32_MIN},
      {"-99999999999999999999999", INT32_MIN},
      // Full-width digits and signs, and the ideographic space, read as ASCII.
      {"\xA3\xB8\xA3\xB0\xA3\xB8\xA3\xB0", 8080},
      {Cat({kIdeoSpace,
            "\xA3\xAD"
            "12\xA3\xB3"}),
       -123},
      {"\xA3\xAB\xA3\xB5", 5},
      {Cat({kA, "5"}), 0},  // another double-byte character is not white space
      {"\xA3", 0},          // a lone lead byte
      {"12\xA3", 12},
      {"\xA3\xB1\xA3", 1},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(TextToInt(text), expected) << Show(text);
  }
}

TEST(TextBetweenTest, CutsBetweenMarkers) {
  struct Case {
    std::string text, left, right;
    int start;
    bool matchCase;
    std::string expected;
  };
  const std::string q(QuotePlaceholder);
  const Case cases[] = {
      {"<td>x</td>", "<td>", "</td>", 0, false, "x"},
      {"a=1;b=2", "b=", ";", 0, false, ""},  // no ';' after the left marker
      {"k=v; k=w;", "k=", ";", 0, false, "v"},
      {"k=v; k=w;", "k=", ";", 3, false, "w"},
      {"k=v; k=w;", "k=", ";", -5, false, "v"},
      {"<a href=\"/t/1\">", "href=" + q, q, 0, false, "/t/1"},
      {"<a href=\"/t/1\">", "href=" + q + "/t/", q + ">", 0, false, "1"},
      {"USER-AGENT: x\r\n", "User-Agent:", "\r\n", 0, false, " x"},
      {"USER-AGENT: x\r\n", "User-Agent:", "\r\n", 0, true, ""},
      {"User-Agent: x\r\n", "User-Agent:", "\r\n", 0, true, " x"},
      {"<b>x</b>", "<b>", "", 0, false, ""},      // empty right marker
      {"<b></b>", "<b>", "</b>", 0, false, ""},   // right marker directly after the left
      {"<b>x", "<b>", "<", 0, false, ""},         // no right marker after the left one
      {"x<b>", "<b>", "<", 0, false, ""},         // the left marker ends the text
      {"<b>x</b>", "<i>", "</b>", 0, false, ""},  // no left marker
      {"", "<b>", "</b>", 0, false, ""},
      // The right marker is searched after the left one, not from the beginning.
      {"</b><b>y</b>", "<b>", "</b>", 0, false, "y"},
      // Markers are matched on character boundaries only.
      {Cat({"x", kBackslash, "n\\y|"}), "\\", "|", 0, false, "y"},
      {Cat({"<", kA, "x>"}), "\xA1", ">", 0, false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, c.start, c.matchCase), c.expected)
        << Show(c.text) << " left " << Show(c.left) << " right " << Show(c.right) << " start "
        << c.start << " matchCase " << c.matchCase;
  }
}

TEST(TextBetweenTest, DefaultsSearchFromTheBeginningIgnoringCase) {
  EXPECT_EQ(TextBetween("<TD>x</Td>", "<td>", "</td>"), "x");
}

TEST(HeaderValueTest, TextAfterTheFirstColonTrimmed) {
  const std::pair<std::string, std::string> cases[] = {
      {"Location: /next", "/next"},
      {"Host:a:80", "a:80"},
      {"no colon here", ""},
      {"X-Empty:", ""},
      {"X:  \t v \xA1\xA1", "\t v"},
      {":v", "v"},
      {"", ""},
      {Cat({"K", "\x81:", ": v"}), "v"},  // 0x81 0x3A is one character
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(HeaderValue(line), expected) << Show(line);
  }
}

}  // namespace
}  // namespace trawler
