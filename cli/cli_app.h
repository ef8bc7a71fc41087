// trawler-cli: the search core for the terminal.
//
//   trawler-cli [--site N|all] [--page P] [--json] [--timeout S] KEYWORD
//   trawler-cli detail --site N [--timeout S] LINK
//   trawler-cli --help | --version
//
// A search runs the site routine of site N (default 1) with the page counter set to P
// (default 1) and the keyword (a UTF-8 argument, turned into GBK as the window's text
// would be) against an in-memory table of controls, then prints the rows in UTF-8: one line
// per row, `number name size date link` separated by tabs (with --site all, the site number
// first), or JSON Lines with --json. `detail` prints the download address that a click on a
// row holding LINK would show. --timeout S bounds each request to S seconds (the window
// has no such limit: its requests end by the request routine's own time-outs). The same
// routines as the window's run underneath; nothing is scraped twice.
//
// Diagnostics go to stderr, one line per site. Exit codes: 0 hits found (or an address);
// 1 every site answered, without hits (or without an address); 2 usage error; 3 a site could
// not be reached or failed, even after some hits (its answer broke off), and this wins over
// hits from another site, so scripts notice.
//
// Thread-safety: RunCli sets the process-wide page counter; call it from one thread at a
// time.
#ifndef TRAWLER_CLI_CLI_APP_H_
#define TRAWLER_CLI_CLI_APP_H_

#include <ostream>
#include <span>
#include <string>

namespace trawler {

inline constexpr int kExitHits = 0;
inline constexpr int kExitNoHits = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailed = 3;

// Runs the tool on `args` (without the program name); rows to `out`, diagnostics to `err`.
// Returns the exit code.
int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace trawler

#endif  // TRAWLER_CLI_CLI_APP_H_
