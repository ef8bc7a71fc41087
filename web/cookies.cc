#include "web/cookies.h"

#include "text/text_ops.h"

namespace trawler {

Text MergeCookies(Text& sent, Text& received) {
  sent = RemoveSpaces(sent);
  received = RemoveSpaces(received);
  const TextList sentEntries = SplitText(sent, ";");
  TextList merged = SplitText(received, ";");
  // The list grows during the walk, so of several sent entries with one name only the
  // first is kept, and only when the response did not set that name.
  for (const Text& entry : sentEntries) {
    if (!CookieListHas(merged, CookieName(entry))) merged.push_back(entry);
  }
  sent.clear();
  for (const Text& entry : merged) {
    if (TextRight(entry, 8) == "=deleted") continue;
    sent += entry;
    sent += "; ";
  }
  sent = TextLeft(sent, static_cast<int>(sent.size()) - 2);
  return sent;
}

Text CookieName(std::string_view entry) {
  const int equals = FindText(entry, "=");
  return TrimSpaces(equals == -1 ? Text(entry) : TextLeft(entry, equals - 1));
}

bool CookieListHas(const TextList& list, std::string_view name) {
  for (const Text& entry : list) {
    if (CookieName(entry) == name) return true;
  }
  return false;
}

}  // namespace trawler
