// RegexMatcher: runs one regular expression over one GBK subject and hands out the matches
// and their groups by 1-based number.
//
// It drives the regex object of text/regex_engine.h (PCRE2 underneath) the way a script
// drives a late-bound regex object: every call on the object may fail, and a failed call
// yields an empty text, 0 or an empty holder; nothing is thrown or reported. Texts cross to
// the engine as UTF-16 and come back as GBK; "FirstIndex" counts UTF-16 code units, the
// positions handed out here count bytes of `subject`.
//
// Thread-safety: a matcher belongs to the thread that made it, and so does a clone of it
// (a clone shares the regex object, which caches its compiled pattern). Matchers made
// independently share nothing, so several threads may each run their own at once.
#ifndef TRAWLER_TEXT_REGEX_MATCHER_H_
#define TRAWLER_TEXT_REGEX_MATCHER_H_

#include <memory>
#include <optional>

#include "text/regex_engine.h"
#include "text/text.h"

namespace trawler {

class RegexMatcher {
 public:
  // Both holders and `subject` empty.
  RegexMatcher();
  // Runs Destroy.
  virtual ~RegexMatcher();
  RegexMatcher(const RegexMatcher&) = delete;
  RegexMatcher& operator=(const RegexMatcher&) = delete;

  // A new matcher sharing this one's regex object and match collection, with its own copy
  // of `subject`.
  [[nodiscard]] virtual std::unique_ptr<RegexMatcher> Clone() const;

  // Makes a new regex object, writes IgnoreCase, Multiline, Singleline (which the object
  // lacks: the write fails and changes nothing), Global and Pattern in this order, then
  // runs Execute over `subject`. An omitted option is true. Returns true when Execute gave
  // a match collection (also one with no match), false when it failed (an invalid pattern).
  // A run that hits the time limit or the engine's backtracking limit keeps the matches
  // found before (matches->Complete() is then false) and still returns true.
  virtual bool Create(const Text& pattern, const Text& subject,
                      std::optional<bool> ignoreCase = std::nullopt,
                      std::optional<bool> multiline = std::nullopt,
                      std::optional<bool> global = std::nullopt);
  // As Create above, but the matcher takes `subject` over instead of copying it: a search
  // hands its page in once, and a page is too big to copy for nothing.
  bool Create(const Text& pattern, Text&& subject, std::optional<bool> ignoreCase = std::nullopt,
              std::optional<bool> multiline = std::nullopt,
              std::optional<bool> global = std::nullopt);
  // Does nothing.
  virtual void Init();
  // The object's current pattern; empty without a regex object.
  [[nodiscard]] virtual Text GetPattern();
  // `subject` with every match (the first only without Global) replaced by `replacement`,
  // in the engine's replacement syntax ($1, $&, ...); empty without a regex object.
  [[nodiscard]] virtual Text Replace(const Text& replacement);
  // Number of matches of the last Create; 0 without a collection.
  [[nodiscard]] virtual int MatchCount();
  // The text of match `index` (1-based); empty when out of range. When `position` is given
  // it receives the 0-based byte offset of the first occurrence of that text in `subject`
  // at or after the byte offset equal to the match's FirstIndex (ASCII case folded when the
  // expression ignores case), or -2 when there is none or no such match.
  [[nodiscard]] virtual Text MatchText(int index, int* position = nullptr);
  // The text of group `group` of match `index` (both 1-based); empty for a group that took
  // no part or a number out of range. `position` as for MatchText, searched from the start
  // of the whole match.
  [[nodiscard]] virtual Text SubMatchText(int index, int group, int* position = nullptr);
  // Number of groups in the first match; 0 when there is no match.
  [[nodiscard]] virtual int SubMatchCount();

  // Releases both objects and empties `subject`. Safe to call more than once.
  void Destroy();

  // The fields, public as the object holders of a script would be.
  std::shared_ptr<RegExpObject> regExp;
  std::shared_ptr<const MatchCollection> matches;
  Text subject;

 private:
  // The work of Create but keeping the subject: makes the regex object and runs it over
  // `subjectText`. Returns true when it gave a match collection.
  bool Execute(const Text& pattern, const Text& subjectText, std::optional<bool> ignoreCase,
               std::optional<bool> multiline, std::optional<bool> global);
};

}  // namespace trawler

#endif  // TRAWLER_TEXT_REGEX_MATCHER_H_
