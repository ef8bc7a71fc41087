#include "cli/cli_app.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "cli/table_port.h"
#include "search/dispatch.h"
#include "search/result_details.h"
#include "search/site_search.h"
#include "text/code_page.h"
#include "web/transport.h"

namespace trawler {
namespace {

constexpr const char* kUsage =
    "usage: trawler-cli [--site N|all] [--page P] [--json] [--timeout S] KEYWORD\n"
    "       trawler-cli detail --site N [--timeout S] LINK\n"
    "       trawler-cli --help | --version\n"
    "\n"
    "Searches torrent index site N (1, 2 or 3; default 1) for KEYWORD and prints the hits of\n"
    "page P (default 1), one per line: number, name, size, date and link, separated by tabs.\n"
    "  --site all   search the three sites at the same time; each line starts with the site\n"
    "  --json       print JSON Lines: {\"site\":N,\"number\":1,\"name\":...,\"size\":...,\n"
    "               \"date\":...,\"link\":...}\n"
    "  --timeout S  give up on a request after S seconds (1 to 3600); without it a request\n"
    "               ends when the site sends nothing for 30 s (60 s to connect)\n"
    "  detail       print the download address behind LINK (the last field of a hit of site N)\n"
    "\n"
    "Requests honour http_proxy and no_proxy. Diagnostics go to stderr.\n"
    "Exit codes: 0 hits found, 1 no hits, 2 usage error, 3 a site could not be reached or\n"
    "failed (also after some hits).\n";

struct Options {
  bool help = false;
  bool version = false;
  bool detail = false;
  bool json = false;
  std::vector<int> sites{1};
  bool allSites = false;
  std::int32_t page = 1;
  std::optional<std::int32_t> timeoutSeconds;  // --timeout: each request's overall limit
  std::string argument;                        // the keyword, or the link of `detail`
};

std::optional<std::int32_t> ParseNumber(const std::string& text, std::int32_t low,
                                        std::int32_t high) {
  std::int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

// Parses `args`; on a usage error returns nullopt and writes the reason to `error`.
std::optional<Options> ParseOptions(std::span<const std::string> args, std::string& error) {
  Options options;
  bool haveArgument = false;
  bool siteGiven = false;
  bool endOfOptions = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](const char* name) -> const std::string* {
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    if (!endOfOptions && arg == "--") {
      endOfOptions = true;
    } else if (!endOfOptions && (arg == "--help" || arg == "-h")) {
      options.help = true;
    } else if (!endOfOptions && arg == "--version") {
      options.version = true;
    } else if (!endOfOptions && arg == "--json") {
      options.json = true;
    } else if (!endOfOptions && arg == "--site") {
      const std::string* v = value("--site");
      if (v == nullptr) return std::nullopt;
      siteGiven = true;
      if (*v == "all") {
        options.allSites = true;
        options.sites = {1, 2, 3};
      } else if (const auto n = ParseNumber(*v, 1, 3)) {
        options.allSites = false;
        options.sites = {*n};
      } else {
        error = "--site takes 1, 2, 3 or all, not '" + *v + "'";
        return std::nullopt;
      }
    } else if (!endOfOptions && arg == "--page") {
      const std::string* v = value("--page");
      if (v == nullptr) return std::nullopt;
      const auto n = ParseNumber(*v, 1, INT32_MAX);
      if (!n) {
        error = "--page takes a whole number from 1 to 2147483647, not '" + *v + "'";
        return std::nullopt;
      }
      options.page = *n;
    } else if (!endOfOptions && arg == "--timeout") {
      const std::string* v = value("--timeout");
      if (v == nullptr) return std::nullopt;
      const auto n = ParseNumber(*v, 1, 3600);
      if (!n) {
        error = "--timeout takes a whole number of seconds from 1 to 3600, not '" + *v + "'";
        return std::nullopt;
      }
      options.timeoutSeconds = *n;
    } else if (!endOfOptions && arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return std::nullopt;
    } else if (!endOfOptions && !options.detail && !haveArgument && arg == "detail") {
      options.detail = true;
    } else if (!haveArgument) {
      options.argument = arg;
      haveArgument = true;
    } else {
      error = "more than one keyword: put a keyword with spaces in quotes";
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (!haveArgument) {
    error = options.detail ? "detail needs a LINK" : "no KEYWORD given";
    return std::nullopt;
  }
  if (options.detail && (!siteGiven || options.allSites)) {
    error = "detail needs --site 1, 2 or 3";
    return std::nullopt;
  }
  if (options.detail && (options.json || options.page != 1)) {
    error = "detail takes neither --json nor --page";
    return std::nullopt;
  }
  return options;
}

// GBK text of a cell as UTF-8 for the terminal.
std::string ToTerminal(const Text& text) { return GbkToUtf8(text); }

// A field in a tab-separated line: tabs and line breaks would break the line apart.
std::string PlainField(const Text& text) {
  std::string s = ToTerminal(text);
  for (char& c : s) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

std::string JsonString(const Text& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : ToTerminal(text)) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

using Reports = std::vector<TransportReport>;

// Runs `action` on the calling thread and returns what its requests reported.
Reports ReportsOf(const std::function<void()>& action) {
  Reports reports;
  const ScopedExchangeObserver observer(
      [&reports](const TransportReport& report) { reports.push_back(report); });
  action();
  return reports;
}

// What went wrong with one request, as a line for the terminal.
std::string Describe(const TransportReport& report) {
  std::string why(OutcomeName(report.outcome));
  if (!report.errorText.empty()) why += " (" + report.errorText + ")";
  if (!report.url.empty()) why += " for " + report.url;
  return why;
}

// Why a run failed: a request that could not be completed or that the server refused (a
// body cut at the size cap still counts as an answer); nullopt when every request was
// answered.
std::optional<std::string> Failure(const Reports& reports) {
  for (const TransportReport& report : reports) {
    if (report.outcome != TransportOutcome::kCompleted &&
        report.outcome != TransportOutcome::kBodyLimit) {
      return Describe(report);
    }
    if (report.httpStatus >= 400) {
      return "the server answered HTTP " + std::to_string(report.httpStatus);
    }
  }
  return std::nullopt;
}

// Says on `err` why a run of site `site` that found nothing came out empty, and returns its
// exit code: kExitFailed when a request failed, else kExitNoHits. The answer's size goes
// between `emptyBefore` and `emptyAfter`.
int DiagnoseEmpty(int site, const Reports& reports, std::string_view failedWhat,
                  std::string_view emptyBefore, std::string_view emptyAfter, std::ostream& err) {
  err << "site " << site << ": ";
  if (const auto why = Failure(reports)) {
    err << failedWhat << ": " << *why << "\n";
    return kExitFailed;
  }
  err << emptyBefore << (reports.empty() ? 0 : reports.back().bytesRead) << emptyAfter << "\n";
  return kExitNoHits;
}

struct SiteRun {
  int site = 0;
  std::vector<TableControlsPort::Row> rows;
  Reports reports;
};

int Diagnose(const SiteRun& run, std::ostream& err) {
  if (!run.rows.empty()) {
    err << "site " << run.site << ": " << run.rows.size()
        << (run.rows.size() == 1 ? " hit" : " hits");
    // Rows of an answer that broke off (a reset, broken chunking, a time-out) are real rows
    // but maybe not all of them: the site counts as failed, so a script does not take a
    // partial list for the whole one.
    if (const auto why = Failure(run.reports)) {
      err << ", but the answer was cut short: " << *why << "\n";
      return kExitFailed;
    }
    err << "\n";
    return kExitHits;
  }
  return DiagnoseEmpty(run.site, run.reports, "could not search", "no hits: the site answered ",
                       " bytes without hits of the expected shape", err);
}

// The transport settings of a run: the program's own, or with --timeout each request ends
// after that many seconds at most, and so do connecting and a stall, which are never
// allowed longer than the whole request.
TransportSettings SettingsFor(const Options& options) {
  TransportSettings settings;
  if (options.timeoutSeconds) {
    const long seconds = *options.timeoutSeconds;
    settings.totalTimeoutMs = seconds * 1000;
    settings.connectTimeoutMs = std::min(settings.connectTimeoutMs, seconds * 1000);
    settings.lowSpeedTimeSeconds = std::min(settings.lowSpeedTimeSeconds, seconds);
  }
  return settings;
}

// Runs one site's routine on the calling thread with a table of its own.
SiteRun RunSite(int site, const Text& keyword, const TransportSettings& settings) {
  const ScopedTransportSettings scopedSettings(settings);
  SiteRun run;
  run.site = site;
  TableControlsPort port;
  port.SelectEngineIndex(site - 1);
  port.SetKeyword(keyword);
  run.reports =
      ReportsOf([&port, site] { DefaultSiteRoutines()[static_cast<std::size_t>(site - 1)](port); });
  run.rows = port.Rows();
  return run;
}

int Search(const Options& options, std::ostream& out, std::ostream& err) {
  const Text keyword = Utf8ToGbk(options.argument);
  CurrentPage.store(options.page);
  std::vector<SiteRun> runs(options.sites.size());
  {
    // The sites run at the same time, each on a thread of its own with its own table.
    std::vector<std::jthread> workers;
    for (std::size_t i = 0; i < options.sites.size(); ++i) {
      workers.emplace_back([&runs, &options, &keyword, i] {
        runs[i] = RunSite(options.sites[i], keyword, SettingsFor(options));
      });
    }
  }
  int code = kExitNoHits;
  bool anyHits = false;
  bool anyFailed = false;
  for (const SiteRun& run : runs) {
    for (const auto& row : run.rows) {
      if (options.json) {
        out << "{\"site\":" << run.site << ",\"number\":" << JsonString(row[0])
            << ",\"name\":" << JsonString(row[1]) << ",\"size\":" << JsonString(row[2])
            << ",\"date\":" << JsonString(row[3]) << ",\"link\":" << JsonString(row[4]) << "}\n";
      } else {
        if (options.allSites) out << run.site << '\t';
        out << PlainField(row[0]) << '\t' << PlainField(row[1]) << '\t' << PlainField(row[2])
            << '\t' << PlainField(row[3]) << '\t' << PlainField(row[4]) << '\n';
      }
    }
    const int siteCode = Diagnose(run, err);
    anyHits = anyHits || siteCode == kExitHits;
    anyFailed = anyFailed || siteCode == kExitFailed;
  }
  if (anyFailed) {
    code = kExitFailed;
  } else if (anyHits) {
    code = kExitHits;
  }
  return code;
}

int Detail(const Options& options, std::ostream& out, std::ostream& err) {
  const ScopedTransportSettings settings(SettingsFor(options));
  const int site = options.sites.front();
  TableControlsPort port;
  port.SelectEngineIndex(site - 1);
  port.AppendRow();
  port.SetCellText(0, 4, Utf8ToGbk(options.argument));
  port.SelectRow(0);
  const Reports reports = ReportsOf([&port] { OnResultListClicked(port); });
  const Text address = port.AddressText();
  if (!address.empty()) {
    out << PlainField(address) << '\n';
    return kExitHits;
  }
  if (reports.empty()) {
    err << "site " << site << ": no download address: the link is empty\n";
    return kExitNoHits;
  }
  return DiagnoseEmpty(site, reports, "could not fetch the detail page",
                       "no download address: the detail page (", " bytes) holds none", err);
}

}  // namespace

int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<Options> options = ParseOptions(args, error);
  if (!options) {
    err << "trawler-cli: " << error << "\n" << kUsage;
    return kExitUsage;
  }
  if (options->help) {
    out << kUsage;
    return kExitHits;
  }
  if (options->version) {
    out << "trawler-cli " << TRAWLER_VERSION << "\n";
    return kExitHits;
  }
  return options->detail ? Detail(*options, out, err) : Search(*options, out, err);
}

}  // namespace trawler
