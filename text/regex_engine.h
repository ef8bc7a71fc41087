// The regular-expression object that RegexMatcher drives, over the 16-bit PCRE2 library
// with JIT. It offers the members a script reaches on a late-bound regex object: the
// properties IgnoreCase, Multiline, Global and Pattern, Execute (a collection of matches,
// each with its Value, FirstIndex and SubMatches) and Replace. Texts are UTF-16; indexes
// count UTF-16 code units from 0.
//
// The dialect is the one the site patterns are written in, not Perl's:
// - "." matches every character but a line feed (it does match CR);
// - with Multiline, "^" matches at the start and after LF or CR, "$" at the end and before
//   LF or CR; without it, "^" matches at the start only and "$" at the very end only;
// - \w \d \s \b are ASCII classes; IgnoreCase folds case beyond ASCII too;
// - \A \Z \z \G \h \H \R \X \K \Q \E \p \P \N \e \a \g \k \o \C \V stand for the plain
//   letter, \v for U+000B, an unknown escape for its letter, "[]" matches nothing, "[^]"
//   any character, a back-reference to a group that took no part matches the empty text;
// - with Global, after an empty match the next search starts one code unit further (two
//   when that would land between the halves of a surrogate pair), so /|a/ finds two empty
//   matches in "a";
// - Replace reads $$, $&, $` (text before the match), $' (text after it), $1-$9 and
//   $01-$99 (a two-digit number beyond the group count is read as one digit followed by a
//   literal digit; a number that names no group stays literal; a group that took no part
//   gives the empty text).
//
// Bounded work: one Execute or Replace stops at kRegexTimeLimit, or when the engine's own
// limits (backtracking, JIT stack) trip at some position. It then keeps the matches found
// before, in order, and MatchCollection::Complete() is false. A subject of more than
// kMaxSubjectUnits code units is refused.
//
// Failures are silent, as on a late-bound object: writing a property the object lacks
// ("Singleline") or with a value of the wrong kind returns false and changes nothing; a
// pattern that does not compile makes Execute return null and Replace nullopt; an item
// number out of range gives nullopt.
//
// Thread-safety: a RegExpObject belongs to one thread at a time (it caches its compiled
// pattern). Compiled patterns are kept process-wide for the patterns used last, so a search
// does not compile and JIT its site's pattern again; they are read-only once made and shared
// safely between threads. Each thread keeps one JIT stack for its runs, made on its first
// Execute or Replace and released when the thread ends. A MatchCollection and the RegexMatch
// views into it are immutable once made and may be read from any thread.
#ifndef TRAWLER_TEXT_REGEX_ENGINE_H_
#define TRAWLER_TEXT_REGEX_ENGINE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trawler {

// How long one Execute or Replace may run before it stops with the matches found so far.
inline constexpr std::chrono::milliseconds kRegexTimeLimit{2000};
// Largest subject Execute and Replace accept, in UTF-16 code units.
inline constexpr std::size_t kMaxSubjectUnits = 0x7FFFFFFE;

// The value of a property: a bool (IgnoreCase, Multiline, Global) or a text (Pattern).
using PropertyValue = std::variant<bool, std::u16string>;

class MatchCollection;

// One match of a collection: a view that keeps its collection alive.
class RegexMatch {
 public:
  // The matched text.
  [[nodiscard]] std::u16string Value() const;
  // 0-based start of the match in the subject, in UTF-16 code units.
  [[nodiscard]] std::size_t FirstIndex() const;
  // Number of capturing groups of the pattern ("SubMatches.Count").
  [[nodiscard]] int SubMatchCount() const;
  // The text of group `index` (0-based, "SubMatches.Item"): empty for a group that took no
  // part in the match, nullopt for a number outside 0 .. SubMatchCount() - 1.
  [[nodiscard]] std::optional<std::u16string> SubMatch(int index) const;

 private:
  friend class MatchCollection;
  RegexMatch(std::shared_ptr<const MatchCollection> collection, std::size_t index);
  std::shared_ptr<const MatchCollection> collection_;
  std::size_t index_;
};

// What Execute returns: every match, in order of position (at most one without Global).
// It holds one copy of the subject and the group offsets of each match; texts are cut out
// only when asked for.
class MatchCollection : public std::enable_shared_from_this<MatchCollection> {
 public:
  // Offsets of a group that took no part.
  static constexpr std::uint32_t kUnset = UINT32_MAX;

  MatchCollection(std::u16string subject, int groupCount, std::vector<std::uint32_t> offsets,
                  bool complete);

  // Number of matches ("Count").
  [[nodiscard]] int Count() const;
  // Match `index` (0-based, "Item"), or nullopt when out of range.
  [[nodiscard]] std::optional<RegexMatch> Item(int index) const;
  // The text of group `group` (0-based, as RegexMatch::SubMatch) of match `match` (0-based)
  // as a view into the collection, valid while the collection lives: what SubMatch gives,
  // without a copy. nullopt when either number is out of range.
  [[nodiscard]] std::optional<std::u16string_view> SubMatchView(int match, int group) const;
  // False when the run stopped early (time limit or engine limit): the collection then
  // holds the matches found before the stop.
  [[nodiscard]] bool Complete() const { return complete_; }

 private:
  friend class RegexMatch;
  // Start and end of group `group` (0 = whole match) of match `match`.
  [[nodiscard]] std::pair<std::uint32_t, std::uint32_t> Span(std::size_t match, int group) const;

  std::u16string subject_;
  int groupCount_;
  // Per match, (groupCount_ + 1) pairs of start and end offsets; kUnset for an unset group.
  std::vector<std::uint32_t> offsets_;
  bool complete_;
};

// The regular-expression object. A new one has IgnoreCase, Multiline and Global false and
// an empty pattern.
class RegExpObject {
 public:
  RegExpObject();
  ~RegExpObject();
  RegExpObject(const RegExpObject&) = delete;
  RegExpObject& operator=(const RegExpObject&) = delete;

  // Writes the property `name` ("IgnoreCase", "Multiline", "Global" take a bool, "Pattern"
  // a text; names compared regardless of ASCII case, as a late-bound call does). Returns
  // false and changes nothing for any other name or a value of the wrong kind.
  bool PutProperty(std::string_view name, const PropertyValue& value);

  [[nodiscard]] bool IgnoreCase() const { return ignoreCase_; }
  [[nodiscard]] bool Multiline() const { return multiline_; }
  [[nodiscard]] bool Global() const { return global_; }
  [[nodiscard]] const std::u16string& Pattern() const { return pattern_; }

  // How long one Execute or Replace may run; kRegexTimeLimit unless set. Not a property of
  // the late-bound object: tests and tools use it to reach the time limit quickly. The first
  // pcre2_match call of a run always happens; the limit is checked after each call.
  void SetTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; }

  // Runs the pattern over `subject`. Returns the collection (possibly with no match), or
  // null when the pattern does not compile or the subject is too long.
  [[nodiscard]] std::shared_ptr<const MatchCollection> Execute(std::u16string subject);

  // `subject` with every match (only the first without Global) replaced by the expansion
  // of `replacement`; nullopt when the pattern does not compile or the subject is too long.
  [[nodiscard]] std::optional<std::u16string> Replace(std::u16string_view subject,
                                                      std::u16string_view replacement);

  // A compiled pattern; opaque outside the engine.
  struct Compiled;

 private:
  // The compiled pattern for the current properties, compiled on first use; null when the
  // pattern does not compile.
  const Compiled* Compile();
  // Fills `offsets` with the matches of `subject`; returns false when the run stopped
  // early.
  bool Scan(const Compiled& compiled, std::u16string_view subject,
            std::vector<std::uint32_t>& offsets) const;

  bool ignoreCase_ = false;
  bool multiline_ = false;
  bool global_ = false;
  std::u16string pattern_;
  std::chrono::milliseconds timeLimit_ = kRegexTimeLimit;
  // Shared with other objects of the same pattern and options, on any thread: a compiled
  // pattern is only read once made (see Compile).
  std::shared_ptr<const Compiled> compiled_;
  bool compileTried_ = false;
};

}  // namespace trawler

#endif  // TRAWLER_TEXT_REGEX_ENGINE_H_
