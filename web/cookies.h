// Cookie merging: folds the cookies a response set into the list a request sent.
//
// A cookie list is entries separated by ";" ("a=1; b=2"); spaces anywhere are removed by
// merging. A cookie's name is the text before its first "=", trimmed; an entry without "="
// is a name in full. An entry ending in exactly "=deleted" is dropped. Names compare with
// case. None of these fails; pure functions, safe from any thread.
#ifndef TRAWLER_WEB_COOKIES_H_
#define TRAWLER_WEB_COOKIES_H_

#include <string_view>

#include "text/text.h"

namespace trawler {

// Merges `received` and `sent` into `sent`: the received entries first, in their order,
// then the sent entries whose names were not received (of several with one name only the
// first), joined by "; ", deleted entries left out. `received` loses its spaces. Returns a
// copy of the merged list.
// Example: sent "a=1; b=2", received "b=3; c=deleted" -> sent "b=3; a=1",
// received "b=3;c=deleted".
Text MergeCookies(Text& sent, Text& received);

// The cookie name of one entry.
[[nodiscard]] Text CookieName(std::string_view entry);

// True when some item of `list` has exactly the cookie name `name`.
[[nodiscard]] bool CookieListHas(const TextList& list, std::string_view name);

}  // namespace trawler

#endif  // TRAWLER_WEB_COOKIES_H_
