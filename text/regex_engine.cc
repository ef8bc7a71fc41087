#include "text/regex_engine.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>
#include <time.h>

#include <algorithm>
#include <mutex>
#include <utility>

namespace trawler {
namespace {

static_assert(sizeof(char16_t) == sizeof(PCRE2_UCHAR16));

struct CodeDeleter {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct JitStackDeleter {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeDeleter>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextDeleter>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextDeleter>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataDeleter>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, JitStackDeleter>;

// A long lazy run such as ".*?" over a big page needs more than the JIT's default 32 KiB
// machine stack; without a stack of its own the match fails at once.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 8 * 1024 * 1024;

// Start positions tried per pcre2_match call. The time limit is checked between calls, so
// a call must stay short even on a page that makes every start position expensive. But a
// call has a cost of its own on a hostile page (the first start of a call may run a lazy
// ".*?" to the end of a long line; later starts of the same call profit from that work), so
// small chunks are slow there. The chunk therefore grows while calls are quick and shrinks
// only when a single call takes long.
constexpr std::size_t kChunkStart = 64 * 1024;
constexpr std::size_t kChunkMax = std::size_t{1} << 26;
constexpr auto kQuickCall = std::chrono::milliseconds(20);
constexpr auto kSlowCall = std::chrono::milliseconds(200);

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Moves `pos` off the second half of a surrogate pair.
std::size_t CharBoundary(std::u16string_view s, std::size_t pos) {
  if (pos > 0 && pos < s.size() && IsLowSurrogate(s[pos]) && IsHighSurrogate(s[pos - 1])) {
    return pos + 1;
  }
  return pos;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Escapes that PCRE2 gives a meaning of its own but that this dialect reads as the letter.
bool IsPlainLetterEscape(char16_t c) {
  return c < 0x80 &&
         std::u16string_view(u"AZzGhHRXKQEpPNegakoCV").find(c) != std::u16string_view::npos;
}

// Rewrites a pattern of this dialect into PCRE2 syntax: the escapes above, \v, a "[" inside
// a class (which PCRE2 could read as the start of "[:alpha:]"), and with `multiline` the
// anchors "^" and "$" outside classes, since PCRE2's multi-line mode knows only LF as a line
// end when newlines are LF.
std::u16string TranslatePattern(std::u16string_view pattern, bool multiline) {
  std::u16string out;
  out.reserve(pattern.size() + 16);
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\') {
      if (i + 1 == pattern.size()) {
        out += c;  // a trailing backslash: PCRE2 rejects it, as the dialect does
        break;
      }
      const char16_t e = pattern[++i];
      if (IsPlainLetterEscape(e)) {
        out += e;
      } else if (e == u'v') {
        out += u"\\x0B";
      } else {
        out += c;
        out += e;
        // \cX takes the next character as it stands, whatever it is ("\c[" is ESC).
        if (e == u'c' && i + 1 < pattern.size()) out += pattern[++i];
      }
      continue;
    }
    if (inClass) {
      if (c == u']') {
        inClass = false;
        out += c;
      } else if (c == u'[') {
        out += u"\\[";
      } else {
        out += c;
      }
      continue;
    }
    if (c == u'[') {
      inClass = true;
      out += c;
      // "[^" keeps its caret; "[]" and "[^]" are the empty and the full class.
      if (i + 1 < pattern.size() && pattern[i + 1] == u'^') out += pattern[++i];
    } else if (multiline && c == u'^') {
      out += u"(?<![^\\r\\n])";
    } else if (multiline && c == u'$') {
      out += u"(?![^\\r\\n])";
    } else {
      out += c;
    }
  }
  return out;
}

// Appends the expansion of `replacement` for one match. `ov` holds the match's offsets,
// (groupCount + 1) start/end pairs.
void ExpandReplacement(std::u16string& out, std::u16string_view replacement,
                       std::u16string_view subject, const std::uint32_t* ov, int groupCount) {
  auto group = [&](int g) {
    const std::uint32_t start = ov[2 * g];
    const std::uint32_t end = ov[2 * g + 1];
    if (start != MatchCollection::kUnset && end >= start) {
      out.append(subject.substr(start, end - start));
    }
  };
  auto digit = [](char16_t c) { return c >= u'0' && c <= u'9' ? c - u'0' : -1; };
  const std::size_t n = replacement.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = replacement[i];
    if (c != u'$' || i + 1 == n) {
      out += c;
      continue;
    }
    const char16_t next = replacement[i + 1];
    if (next == u'$') {
      out += u'$';
      ++i;
    } else if (next == u'&') {
      group(0);
      ++i;
    } else if (next == u'`') {
      out.append(subject.substr(0, ov[0]));
      ++i;
    } else if (next == u'\'') {
      out.append(subject.substr(ov[1]));
      ++i;
    } else if (const int d1 = digit(next); d1 >= 0) {
      const int d2 = i + 2 < n ? digit(replacement[i + 2]) : -1;
      if (d2 >= 0 && d1 * 10 + d2 >= 1 && d1 * 10 + d2 <= groupCount) {
        group(d1 * 10 + d2);
        i += 2;
      } else if (d1 >= 1 && d1 <= groupCount) {
        group(d1);  // a following digit, if any, stays literal
        i += 1;
      } else {
        out += c;  // "$0", "$7" without a seventh group: literal
      }
    } else {
      out += c;
    }
  }
}

// Appends the offsets of the match in `ov` (as pcre2_match left them, `rc` its result):
// `pairs` start/end pairs, kUnset for a group that took no part.
void AppendMatch(const PCRE2_SIZE* ov, int rc, std::size_t pairs,
                 std::vector<std::uint32_t>& offsets) {
  // rc == 0 cannot happen (the ovector fits every group); groups from rc on are unset.
  const std::size_t set = rc > 0 ? static_cast<std::size_t>(rc) : pairs;
  for (std::size_t g = 0; g < pairs; ++g) {
    const bool isSet = g < set && ov[2 * g] != PCRE2_UNSET;
    offsets.push_back(isSet ? static_cast<std::uint32_t>(ov[2 * g]) : MatchCollection::kUnset);
    offsets.push_back(isSet ? static_cast<std::uint32_t>(ov[2 * g + 1]) : MatchCollection::kUnset);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------
// RegexMatch and MatchCollection

RegexMatch::RegexMatch(std::shared_ptr<const MatchCollection> collection, std::size_t index)
    : collection_(std::move(collection)), index_(index) {}

std::u16string RegexMatch::Value() const {
  const auto [start, end] = collection_->Span(index_, 0);
  return collection_->subject_.substr(start, end - start);
}

std::size_t RegexMatch::FirstIndex() const { return collection_->Span(index_, 0).first; }

int RegexMatch::SubMatchCount() const { return collection_->groupCount_; }

std::optional<std::u16string> RegexMatch::SubMatch(int index) const {
  if (index < 0 || index >= collection_->groupCount_) return std::nullopt;
  const auto [start, end] = collection_->Span(index_, index + 1);
  if (start == MatchCollection::kUnset || end < start) return std::u16string();
  return collection_->subject_.substr(start, end - start);
}

MatchCollection::MatchCollection(std::u16string subject, int groupCount,
                                 std::vector<std::uint32_t> offsets, bool complete)
    : subject_(std::move(subject)),
      groupCount_(groupCount),
      offsets_(std::move(offsets)),
      complete_(complete) {}

int MatchCollection::Count() const {
  return static_cast<int>(offsets_.size() / (2 * (static_cast<std::size_t>(groupCount_) + 1)));
}

std::optional<RegexMatch> MatchCollection::Item(int index) const {
  if (index < 0 || index >= Count()) return std::nullopt;
  return RegexMatch(shared_from_this(), static_cast<std::size_t>(index));
}

std::optional<std::u16string_view> MatchCollection::SubMatchView(int match, int group) const {
  if (match < 0 || match >= Count() || group < 0 || group >= groupCount_) return std::nullopt;
  const auto [start, end] = Span(static_cast<std::size_t>(match), group + 1);
  if (start == kUnset || end < start) return std::u16string_view();
  return std::u16string_view(subject_).substr(start, end - start);
}

std::pair<std::uint32_t, std::uint32_t> MatchCollection::Span(std::size_t match, int group) const {
  const std::size_t at = (match * (static_cast<std::size_t>(groupCount_) + 1) + group) * 2;
  return {offsets_[at], offsets_[at + 1]};
}

// ---------------------------------------------------------------------------------------
// RegExpObject

struct RegExpObject::Compiled {
  CodePtr code;
  int groupCount = 0;
  bool jit = false;
};

RegExpObject::RegExpObject() = default;
RegExpObject::~RegExpObject() = default;

bool RegExpObject::PutProperty(std::string_view name, const PropertyValue& value) {
  const bool* flag = std::get_if<bool>(&value);
  bool changed = false;
  if (EqualsIgnoringAsciiCase(name, "IgnoreCase") && flag) {
    changed = ignoreCase_ != *flag;
    ignoreCase_ = *flag;
  } else if (EqualsIgnoringAsciiCase(name, "Multiline") && flag) {
    changed = multiline_ != *flag;
    multiline_ = *flag;
  } else if (EqualsIgnoringAsciiCase(name, "Global") && flag) {
    global_ = *flag;  // not part of the compiled pattern
  } else if (const auto* text = std::get_if<std::u16string>(&value);
             EqualsIgnoringAsciiCase(name, "Pattern") && text) {
    changed = pattern_ != *text;
    pattern_ = *text;
  } else {
    return false;
  }
  if (changed) {
    compiled_.reset();
    compileTried_ = false;
  }
  return true;
}

namespace {

// The compiled patterns used last, process-wide: every search compiles one of three site
// patterns, and compiling with JIT costs a good part of matching a whole page. The key is the
// translated pattern with its options. A compiled pattern (JIT code included) is never
// changed once made, and PCRE2 lets any number of threads match with it at once, each with
// match data of its own. Few entries, dropped oldest first: arbitrary patterns (a fuzzer's)
// must not pile up.
constexpr std::size_t kCachedPatterns = 8;

struct CacheEntry {
  std::u16string pattern;
  std::uint32_t options;
  std::shared_ptr<const RegExpObject::Compiled> compiled;
};

std::mutex cacheMutex;
std::vector<CacheEntry>& Cache() {
  static auto* const cache = new std::vector<CacheEntry>();  // never destroyed: workers may
                                                             // still match at exit
  return *cache;
}

}  // namespace

const RegExpObject::Compiled* RegExpObject::Compile() {
  if (compileTried_) return compiled_.get();
  compileTried_ = true;

  // No PCRE2_MULTILINE (the anchors are rewritten instead) and no PCRE2_UCP (the classes
  // stay ASCII). PCRE2_USE_OFFSET_LIMIT lets Scan bound each call to a chunk of starts.
  std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                          PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS |
                          PCRE2_USE_OFFSET_LIMIT;
  if (ignoreCase_) options |= PCRE2_CASELESS;
  if (!multiline_) options |= PCRE2_DOLLAR_ENDONLY;
  std::u16string translated = TranslatePattern(pattern_, multiline_);

  {
    const std::lock_guard<std::mutex> lock(cacheMutex);
    for (const CacheEntry& entry : Cache()) {
      if (entry.options == options && entry.pattern == translated) {
        compiled_ = entry.compiled;
        return compiled_.get();
      }
    }
  }

  CompileContextPtr context(pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  pcre2_set_compile_extra_options(context.get(), PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);

  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()), translated.size(),
                             options, &error, &errorOffset, context.get()));
  if (!code) return nullptr;

  auto compiled = std::make_shared<Compiled>();
  std::uint32_t captures = 0;
  pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  compiled->groupCount = static_cast<int>(captures);
  // Without JIT (not available, or out of executable memory) the interpreter still gives
  // the same results, only slower.
  compiled->jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;
  compiled->code = std::move(code);
  compiled_ = compiled;

  const std::lock_guard<std::mutex> lock(cacheMutex);
  std::vector<CacheEntry>& cache = Cache();
  if (cache.size() == kCachedPatterns) cache.erase(cache.begin());
  cache.push_back({std::move(translated), options, std::move(compiled)});
  return compiled_.get();
}

namespace {

// The clock read between pcre2_match calls. A page with many matches makes one call per
// match, and the precise clock costs more than a short call; the coarse one is read from
// memory, and its resolution of a few milliseconds is ample for limits of 20 ms and more.
struct CoarseClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<CoarseClock, duration>;
  static time_point now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + duration(now.tv_nsec));
  }
};

// The calling thread's JIT stack, made on first use and kept: making one maps its whole
// reserve and the first use of each page of it faults, which a search would otherwise pay
// on every Execute. Null when it cannot be made.
pcre2_jit_stack* ThreadJitStack() {
  thread_local const JitStackPtr stack(
      pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
  return stack.get();
}

}  // namespace

bool RegExpObject::Scan(const Compiled& compiled, std::u16string_view subject,
                        std::vector<std::uint32_t>& offsets) const {
  using Clock = CoarseClock;
  const auto deadline = Clock::now() + timeLimit_;

  MatchDataPtr matchData(pcre2_match_data_create_from_pattern(compiled.code.get(), nullptr));
  MatchContextPtr context(pcre2_match_context_create(nullptr));
  if (!matchData || !context) return false;
  if (compiled.jit) {
    pcre2_jit_stack* jitStack = ThreadJitStack();
    if (jitStack == nullptr) return false;
    pcre2_jit_stack_assign(context.get(), nullptr, jitStack);
  }

  const auto* data = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const std::size_t length = subject.size();
  const std::size_t pairs = static_cast<std::size_t>(compiled.groupCount) + 1;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(matchData.get());
  std::size_t start = 0;
  std::size_t chunk = kChunkStart;
  // Without JIT, pcre2_match checks the subject for valid UTF-16 on the first call only:
  // checking it again on every call of the loop makes a page with many matches quadratic.
  // (The JIT's entry takes no such option and makes no such check.)
  std::uint32_t matchOptions = 0;
  auto before = Clock::now();
  while (start <= length) {
    const std::size_t limit = std::min(length, start + chunk);
    pcre2_set_offset_limit(context.get(), limit);
    // A JIT-compiled pattern is run through the JIT's own entry, which skips the checks
    // pcre2_match makes on every call (a page makes a call per match).
    const int rc = compiled.jit ? pcre2_jit_match(compiled.code.get(), data, length, start,
                                                  matchOptions, matchData.get(), context.get())
                                : pcre2_match(compiled.code.get(), data, length, start,
                                              matchOptions, matchData.get(), context.get());
    matchOptions = PCRE2_NO_UTF_CHECK;
    const auto after = Clock::now();
    if (after - before > kSlowCall) {
      chunk = std::max<std::size_t>(1, chunk / 4);
    } else if (after - before < kQuickCall && chunk < kChunkMax) {
      chunk *= 2;
    }
    before = after;

    if (rc == PCRE2_ERROR_NOMATCH) {
      // No match starts in [start, limit].
      start = CharBoundary(subject, limit + 1);
    } else if (rc < 0) {
      return false;  // backtracking or stack limit: stop with what was found
    } else {
      AppendMatch(ov, rc, pairs, offsets);
      if (!global_) return true;
      // After an empty match the next search starts one character further on.
      const std::size_t matchStart = ov[0];
      const std::size_t matchEnd = std::max<std::size_t>(ov[0], ov[1]);
      start = matchEnd > matchStart ? matchEnd : CharBoundary(subject, matchEnd + 1);
    }
    if (after >= deadline && start <= length) return false;
  }
  return true;
}

std::shared_ptr<const MatchCollection> RegExpObject::Execute(std::u16string subject) {
  if (subject.size() > kMaxSubjectUnits) return nullptr;
  const Compiled* compiled = Compile();
  if (!compiled) return nullptr;
  std::vector<std::uint32_t> offsets;
  const bool complete = Scan(*compiled, subject, offsets);
  return std::make_shared<const MatchCollection>(std::move(subject), compiled->groupCount,
                                                 std::move(offsets), complete);
}

std::optional<std::u16string> RegExpObject::Replace(std::u16string_view subject,
                                                    std::u16string_view replacement) {
  if (subject.size() > kMaxSubjectUnits) return std::nullopt;
  const Compiled* compiled = Compile();
  if (!compiled) return std::nullopt;
  std::vector<std::uint32_t> offsets;
  Scan(*compiled, subject, offsets);

  const std::size_t stride = 2 * (static_cast<std::size_t>(compiled->groupCount) + 1);
  std::u16string out;
  out.reserve(subject.size());
  std::size_t copied = 0;
  for (std::size_t at = 0; at < offsets.size(); at += stride) {
    const std::uint32_t* ov = offsets.data() + at;
    if (ov[0] >= copied) out.append(subject.substr(copied, ov[0] - copied));
    ExpandReplacement(out, replacement, subject, ov, compiled->groupCount);
    copied = std::max<std::size_t>({copied, ov[0], ov[1]});
  }
  out.append(subject.substr(copied));
  return out;
}

}  // namespace trawler
