// Regex engine layer over the 16-bit PCRE2 library with JIT.
// (Placeholder: the engine is being written; see regex_matcher.h for its user.)
#ifndef TRAWLER_TEXT_REGEX_ENGINE_H_
#define TRAWLER_TEXT_REGEX_ENGINE_H_

namespace trawler {

class RegExpObject {};
class MatchCollection {};

}  // namespace trawler

#endif  // TRAWLER_TEXT_REGEX_ENGINE_H_
