#include "text/text_ops.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace trawler {
namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr unsigned char kIdeographicSpaceByte = 0xA1;  // the ideographic space is 0xA1 0xA1

inline unsigned char Byte(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]);
}

// A byte 0x80-0xFF begins a double-byte character.
inline bool IsLead(unsigned char c) { return c >= 0x80; }

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

// Whether `a` and `b` (of the same length) are equal with ASCII letters folded.
bool EqualFolded(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(Byte(a, i)) != FoldAscii(Byte(b, i))) {
      return false;
    }
  }
  return true;
}

inline int ToPosition(std::size_t index) { return static_cast<int>(index) + 1; }

// Finds a non-empty needle at character boundaries, one match after the other, in a single
// forward pass. Candidates come from memchr-based searches (the whole needle when case
// matters, its first byte in both cases otherwise); each one is then checked against a
// cursor that walks the characters and never goes back, so a long text costs one walk.
//
// The position the search starts or resumes at is taken to be a character boundary: a
// search that starts in the middle of a pair reads the text from there as if a character
// began there, as the callers that resume after a marker expect.
class BoundarySearch {
 public:
  BoundarySearch(std::string_view text, std::string_view needle, bool ignoreCase, std::size_t from)
      : text_(text), needle_(needle), ignoreCase_(ignoreCase) {
    const unsigned char first = FoldAscii(Byte(needle, 0));
    firstLower_ = static_cast<char>(first);
    firstUpper_ = static_cast<char>((first >= 'a' && first <= 'z') ? first - 0x20 : first);
    ResumeAt(from);
  }

  // Restarts the search at `from`, a character boundary.
  void ResumeAt(std::size_t from) {
    cursor_ = from;
    pos_ = from;
    nextLower_ = kStale;
    nextUpper_ = kStale;
  }

  // The index of the next match at or after the current position, or kNone. After a match
  // the search goes on one byte later (matches may overlap) unless ResumeAt moves it.
  std::size_t Next() {
    if (ended_ || needle_.size() > text_.size()) {
      return kNone;
    }
    const std::size_t last = text_.size() - needle_.size();
    while (pos_ <= last) {
      const std::size_t hit = ignoreCase_ ? NextFirstByte() : text_.find(needle_, pos_);
      if (hit == kNone || hit > last) {
        break;
      }
      while (cursor_ < hit) {
        cursor_ += IsLead(Byte(text_, cursor_)) ? 2 : 1;
      }
      if (cursor_ != hit) {
        pos_ = cursor_;  // the hit was a trail byte; go on at the next character
        continue;
      }
      // A lead byte with nothing after it is a cut-off character: the search ends there.
      if (IsLead(Byte(text_, hit)) && hit + 1 == text_.size()) {
        break;
      }
      pos_ = hit + 1;
      if (!ignoreCase_ ||
          EqualFolded(text_.substr(hit + 1, needle_.size() - 1), needle_.substr(1))) {
        return hit;
      }
    }
    ended_ = true;
    return kNone;
  }

 private:
  static constexpr std::size_t kStale = kNone - 1;

  // The next index at or after pos_ holding the needle's first byte in either letter case.
  // Each of the two memchr results is kept until the search passes it.
  std::size_t NextFirstByte() {
    if (nextLower_ == kStale || (nextLower_ != kNone && nextLower_ < pos_)) {
      nextLower_ = text_.find(firstLower_, pos_);
    }
    if (firstUpper_ == firstLower_) {
      return nextLower_;
    }
    if (nextUpper_ == kStale || (nextUpper_ != kNone && nextUpper_ < pos_)) {
      nextUpper_ = text_.find(firstUpper_, pos_);
    }
    return nextLower_ < nextUpper_ ? nextLower_ : nextUpper_;
  }

  std::string_view text_;
  std::string_view needle_;
  bool ignoreCase_;
  char firstLower_;
  char firstUpper_;
  std::size_t cursor_ = 0;  // a character boundary, never beyond a candidate not yet judged
  std::size_t pos_ = 0;     // where the next candidate may begin
  std::size_t nextLower_ = kStale;
  std::size_t nextUpper_ = kStale;
  bool ended_ = false;
};

// Length of the space at `at` (1 for 0x20, 2 for the ideographic space), or 0; `at` must be
// a character boundary.
inline std::size_t SpaceLength(std::string_view text, std::size_t at) {
  const unsigned char c = Byte(text, at);
  if (c == ' ') {
    return 1;
  }
  if (c == kIdeographicSpaceByte && at + 1 < text.size() &&
      Byte(text, at + 1) == kIdeographicSpaceByte) {
    return 2;
  }
  return 0;
}

// Length of the character at `at`, a character boundary: 2 for a pair, 1 for an ASCII byte
// and for a lead byte that ends the text.
inline std::size_t CharLength(std::string_view text, std::size_t at) {
  return (IsLead(Byte(text, at)) && at + 1 < text.size()) ? 2 : 1;
}

// Reads a text character by character as ASCII for TextToInt: the full-width forms 0xA3
// 0xA1-0xFE and the ideographic space read as the ASCII characters they stand for, any other
// double-byte character as kOther, the end of the text as kEnd. No copy of the text is made.
class AsciiReader {
 public:
  static constexpr unsigned kOther = 0x100;
  static constexpr unsigned kEnd = 0x101;

  explicit AsciiReader(std::string_view text) : text_(text) {}

  unsigned Next() {
    if (at_ >= text_.size()) {
      return kEnd;
    }
    const unsigned char c = Byte(text_, at_);
    if (!IsLead(c)) {
      ++at_;
      return c;
    }
    if (at_ + 1 == text_.size()) {
      ++at_;
      return kOther;
    }
    const unsigned char trail = Byte(text_, at_ + 1);
    at_ += 2;
    if (c == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      return trail - 0x80U;
    }
    if (c == kIdeographicSpaceByte && trail == kIdeographicSpaceByte) {
      return ' ';
    }
    return kOther;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// White space as the C library reads it before a number.
inline bool IsWhiteSpace(unsigned c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int FindText(std::string_view text, std::string_view needle, int start, bool ignoreCase) {
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= text.size()) {
    return -1;
  }
  if (needle.empty()) {
    return 1;
  }
  BoundarySearch search(text, needle, ignoreCase, from);
  const std::size_t hit = search.Next();
  return hit == kNone ? -1 : ToPosition(hit);
}

int FindLastText(std::string_view text, std::string_view needle) {
  if (text.empty()) {
    return -1;
  }
  if (needle.empty()) {
    return 1;  // as FindText: the empty needle is found at the start
  }
  BoundarySearch search(text, needle, /*ignoreCase=*/false, 0);
  std::size_t found = kNone;
  for (std::size_t hit = search.Next(); hit != kNone; hit = search.Next()) {
    found = hit;
  }
  return found == kNone ? -1 : ToPosition(found);
}

Text TextLeft(std::string_view text, int count) {
  if (count <= 0) {
    return {};
  }
  return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text TextRight(std::string_view text, int count) {
  if (count <= 0) {
    return {};
  }
  const auto n = static_cast<std::size_t>(count);
  return n >= text.size() ? Text(text) : Text(text.substr(text.size() - n));
}

Text TextMid(std::string_view text, int start, int count) {
  if (start < 1 || count <= 0 || static_cast<std::size_t>(start) > text.size()) {
    return {};
  }
  return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
}

Text TrimSpaces(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = SpaceLength(text, at);
    if (space == 0) {
      break;
    }
    at += space;
  }
  const std::size_t begin = at;
  // Only a forward walk knows where characters begin (a 0x20 byte may be a trail byte), so
  // the end of the last character that is not a space is tracked on the way.
  std::size_t end = begin;
  while (at < text.size()) {
    const std::size_t space = SpaceLength(text, at);
    if (space != 0) {
      at += space;
    } else {
      at += CharLength(text, at);
      end = at;
    }
  }
  return Text(text.substr(begin, end - begin));
}

Text RemoveSpaces(std::string_view text) {
  Text out;
  out.reserve(text.size());
  std::size_t runStart = 0;  // start of the run of non-space characters not yet copied
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = SpaceLength(text, at);
    if (space != 0) {
      out.append(text.substr(runStart, at - runStart));
      at += space;
      runStart = at;
    } else {
      at += CharLength(text, at);
    }
  }
  out.append(text.substr(runStart));
  return out;
}

Text ReplaceText(std::string_view text, std::string_view oldText, std::string_view newText) {
  if (text.empty() || oldText.empty()) {
    return Text(text);
  }
  Text out;
  out.reserve(text.size());
  BoundarySearch search(text, oldText, /*ignoreCase=*/false, 0);
  std::size_t copied = 0;
  for (std::size_t hit = search.Next(); hit != kNone; hit = search.Next()) {
    out.append(text.substr(copied, hit - copied));
    out.append(newText);
    copied = hit + oldText.size();
    search.ResumeAt(copied);
  }
  out.append(text.substr(copied));
  return out;
}

TextList SplitText(std::string_view text, std::string_view separator) {
  TextList items;
  if (text.empty()) {
    return items;
  }
  if (separator.empty()) {
    items.emplace_back(text);
    return items;
  }
  BoundarySearch search(text, separator, /*ignoreCase=*/false, 0);
  std::size_t itemStart = 0;
  for (std::size_t hit = search.Next(); hit != kNone; hit = search.Next()) {
    items.emplace_back(text.substr(itemStart, hit - itemStart));
    itemStart = hit + separator.size();
    search.ResumeAt(itemStart);
  }
  if (itemStart < text.size()) {
    items.emplace_back(text.substr(itemStart));
  }
  return items;
}

Text ToLowerAscii(std::string_view text) {
  Text out(text);
  for (std::size_t at = 0; at < out.size();) {
    const auto c = static_cast<unsigned char>(out[at]);
    if (IsLead(c)) {
      at += 2;  // the trail byte stays as it is
    } else {
      out[at] = static_cast<char>(FoldAscii(c));
      ++at;
    }
  }
  return out;
}

std::int32_t TextToInt(std::string_view text) {
  AsciiReader reader(text);
  unsigned c = reader.Next();
  while (IsWhiteSpace(c)) {
    c = reader.Next();
  }
  const bool negative = c == '-';
  if (c == '+' || c == '-') {
    c = reader.Next();
  }
  // Accumulate as a negative number for '-' so INT32_MIN itself is reachable, and clamp at
  // every step, so an overlong run saturates instead of overflowing.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t value = 0;
  while (c >= '0' && c <= '9') {
    const auto digit = static_cast<std::int64_t>(c - '0');
    value = negative ? std::max(kMin, value * 10 - digit) : std::min(kMax, value * 10 + digit);
    c = reader.Next();
  }
  return static_cast<std::int32_t>(value);
}

Text TextBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool matchCase) {
  const Text leftMarker = ReplaceText(left, QuotePlaceholder, "\"");
  const Text rightMarker = ReplaceText(right, QuotePlaceholder, "\"");
  int p = FindText(text, leftMarker, start, !matchCase);
  if (p == -1) {
    return {};
  }
  p += static_cast<int>(leftMarker.size());
  const int q = FindText(text, rightMarker, p, !matchCase);
  if (q == -1) {
    return {};
  }
  return TextMid(text, p, q - p);
}

Text HeaderValue(std::string_view line) {
  const int p = FindText(line, ":");
  if (p == -1) {
    return {};
  }
  return TrimSpaces(TextRight(line, static_cast<int>(line.size()) - p));
}

}  // namespace trawler
