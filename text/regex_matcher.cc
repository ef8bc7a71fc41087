#include "text/regex_matcher.h"

#include <cstdint>
#include <utility>

#include "text/code_page.h"
#include "text/text_ops.h"

namespace trawler {

RegexMatcher::RegexMatcher() = default;

RegexMatcher::~RegexMatcher() { Destroy(); }

std::unique_ptr<RegexMatcher> RegexMatcher::Clone() const {
  auto copy = std::make_unique<RegexMatcher>();
  copy->regExp = regExp;
  copy->matches = matches;
  copy->subject = subject;
  return copy;
}

bool RegexMatcher::Create(const Text& pattern, const Text& subjectText,
                          std::optional<bool> ignoreCase, std::optional<bool> multiline,
                          std::optional<bool> global) {
  const bool ran = Execute(pattern, subjectText, ignoreCase, multiline, global);
  // `subjectText` may be this matcher's own `subject`; it was read above before being
  // replaced here.
  subject = subjectText;
  return ran;
}

bool RegexMatcher::Create(const Text& pattern, Text&& subjectText, std::optional<bool> ignoreCase,
                          std::optional<bool> multiline, std::optional<bool> global) {
  const bool ran = Execute(pattern, subjectText, ignoreCase, multiline, global);
  if (&subjectText != &subject) subject = std::move(subjectText);
  return ran;
}

bool RegexMatcher::Execute(const Text& pattern, const Text& subjectText,
                           std::optional<bool> ignoreCase, std::optional<bool> multiline,
                           std::optional<bool> global) {
  // Each call starts from a new object. The "Singleline" write fails (the object has no
  // such property), so "." keeps its meaning of "anything but a line feed".
  regExp = std::make_shared<RegExpObject>();
  regExp->PutProperty("IgnoreCase", ignoreCase.value_or(true));
  regExp->PutProperty("Multiline", multiline.value_or(true));
  regExp->PutProperty("Singleline", true);
  regExp->PutProperty("Global", global.value_or(true));
  regExp->PutProperty("Pattern", GbkToUtf16(pattern));

  matches.reset();
  matches = regExp->Execute(GbkToUtf16(subjectText));
  return matches != nullptr;
}

void RegexMatcher::Init() {}

Text RegexMatcher::GetPattern() { return regExp ? Utf16ToGbk(regExp->Pattern()) : Text(); }

Text RegexMatcher::Replace(const Text& replacement) {
  if (!regExp) return Text();
  const auto replaced = regExp->Replace(GbkToUtf16(subject), GbkToUtf16(replacement));
  return replaced ? Utf16ToGbk(*replaced) : Text();
}

int RegexMatcher::MatchCount() { return matches ? matches->Count() : 0; }

namespace {

// Match `index` (1-based) of `matches`, or nullopt when there is none.
std::optional<RegexMatch> ItemOf(const std::shared_ptr<const MatchCollection>& matches, int index) {
  if (!matches || index < 1) return std::nullopt;
  return matches->Item(index - 1);
}

// The 0-based byte offset in `subject` of `text`, searched from the byte offset equal to the
// match's FirstIndex: a UTF-16 unit stands for one or two GBK bytes, so that offset is never
// after the match's first byte. -2 when the text is not found there.
int PositionIn(const Text& subject, const Text& text, std::size_t firstIndex, bool ignoreCase) {
  const auto from = static_cast<std::int64_t>(firstIndex) + 1;
  if (from > static_cast<std::int64_t>(subject.size()) + 1) return -2;
  return FindText(subject, text, static_cast<int>(from), ignoreCase) - 1;
}

}  // namespace

Text RegexMatcher::MatchText(int index, int* position) {
  const auto match = ItemOf(matches, index);
  if (!match) {
    // No such match: report "not found" rather than an offset for a text that does not
    // exist.
    if (position) *position = -2;
    return Text();
  }
  Text text = Utf16ToGbk(match->Value());
  if (position) {
    *position = PositionIn(subject, text, match->FirstIndex(), regExp && regExp->IgnoreCase());
  }
  return text;
}

Text RegexMatcher::SubMatchText(int index, int group, int* position) {
  // A search reads four groups of every match: the group is converted straight from the
  // collection's subject, without a copy of its UTF-16 text.
  // Numbers below 1 name nothing; ruling them out first also keeps "index - 1" from
  // overflowing for INT32_MIN.
  const bool inRange = index >= 1 && group >= 1;
  const auto value =
      matches && inRange ? matches->SubMatchView(index - 1, group - 1) : std::nullopt;
  if (!value) {
    if (position) *position = -2;
    return Text();
  }
  Text text = Utf16ToGbk(*value);
  if (position) {
    *position = PositionIn(subject, text, ItemOf(matches, index)->FirstIndex(),
                           regExp && regExp->IgnoreCase());
  }
  return text;
}

int RegexMatcher::SubMatchCount() {
  const auto match = ItemOf(matches, 1);
  return match ? match->SubMatchCount() : 0;
}

void RegexMatcher::Destroy() {
  regExp.reset();
  matches.reset();
  subject.clear();
}

}  // namespace trawler
