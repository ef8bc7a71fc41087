// Fuzz target for the regex engine and RegexMatcher over (pattern, subject) pairs. Besides
// "no crash, no sanitizer report, every run ends" it checks what callers rely on: matches in
// order and without overlap, each match's text standing in the subject at its FirstIndex,
// at most one match without Global, and Replace with "$&" giving the subject back.
//
// Input: one byte of flags (IgnoreCase, Multiline, Global, and whether to run the engine on
// raw UTF-16, lone surrogates included, or RegexMatcher on GBK text), then the pattern and
// the subject as FuzzedDataProvider hands them out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "text/regex_engine.h"
#include "text/regex_matcher.h"

namespace {

using trawler::fuzz::Check;

std::u16string Units(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return units;
}

void RunEngine(const std::u16string& pattern, const std::u16string& subject, bool ignoreCase,
               bool multiline, bool global) {
  trawler::RegExpObject object;
  object.PutProperty("IgnoreCase", ignoreCase);
  object.PutProperty("Multiline", multiline);
  object.PutProperty("Global", global);
  object.PutProperty("Pattern", pattern);
  const auto collection = object.Execute(subject);
  if (!collection) return;
  Check(global || collection->Count() <= 1, "one match at most without Global");
  std::size_t previousEnd = 0;
  std::size_t previousStart = 0;
  for (int i = 0; i < collection->Count(); ++i) {
    const auto match = collection->Item(i);
    Check(match.has_value(), "every item up to Count exists");
    const std::size_t start = match->FirstIndex();
    const std::u16string value = match->Value();
    Check(start + value.size() <= subject.size(), "match inside the subject");
    Check(subject.compare(start, value.size(), value) == 0, "match text at FirstIndex");
    Check(i == 0 || start >= previousEnd, "matches do not overlap");
    Check(i == 0 || start > previousStart, "matches move forward");
    previousStart = start;
    previousEnd = start + value.size();
    for (int g = 0; g < match->SubMatchCount(); ++g) {
      Check(match->SubMatch(g).has_value(), "every group up to SubMatchCount exists");
    }
    Check(!match->SubMatch(match->SubMatchCount()), "no group beyond SubMatchCount");
  }
  Check(!collection->Item(collection->Count()), "no item beyond Count");
  if (collection->Complete()) {
    const auto same = object.Replace(subject, u"$&");
    Check(same.has_value(), "Replace runs where Execute ran");
    Check(*same == subject, "Replace with $& gives the subject back");
  }
}

void RunMatcher(const std::string& pattern, const std::string& subject,
                const std::string& replacement, bool ignoreCase, bool multiline, bool global) {
  trawler::RegexMatcher matcher;
  const bool ran = matcher.Create(trawler::MakeText(pattern), trawler::MakeText(subject),
                                  ignoreCase, multiline, global);
  const int count = matcher.MatchCount();
  Check(ran || count == 0, "no matches from a failed run");
  const int groups = matcher.SubMatchCount();
  for (int i = 1; i <= count + 1 && i <= 64; ++i) {
    int position = 0;
    const trawler::Text text = matcher.MatchText(i, &position);
    Check(position >= -2 && position <= static_cast<int>(matcher.subject.size()),
          "position inside the subject or not found");
    for (int g = 0; g <= groups + 1; ++g) (void)matcher.SubMatchText(i, g, &position);
  }
  (void)matcher.Replace(trawler::MakeText(replacement));
  (void)matcher.GetPattern();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const std::uint8_t flags = provider.ConsumeIntegral<std::uint8_t>();
  const bool ignoreCase = flags & 1;
  const bool multiline = flags & 2;
  const bool global = flags & 4;
  const std::string pattern = provider.ConsumeRandomLengthString(256);
  if (flags & 8) {
    RunEngine(Units(pattern), Units(provider.ConsumeRemainingBytesAsString()), ignoreCase,
              multiline, global);
  } else {
    const std::string replacement = provider.ConsumeRandomLengthString(64);
    RunMatcher(pattern, provider.ConsumeRemainingBytesAsString(), replacement, ignoreCase,
               multiline, global);
  }
  return 0;
}
