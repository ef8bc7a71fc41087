// trawler-cli as a user meets it: the real binary, run as a child process against the
// fixture sites.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/fixture_sites.h"
#include "tests/support/support.h"

namespace trawler {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (const char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliTest : public ::testing::Test {
 protected:
  // Runs trawler-cli with `args`, its requests going through `proxy` (the fixture's unless
  // given).
  Result Run(const std::vector<std::string>& args, std::string proxy = "") {
    if (proxy.empty()) proxy = fixture_.ProxyUrl();
    // Tests run in parallel processes: each needs files of its own.
    const std::string stem = ::testing::TempDir() + "/trawler_cli_" + std::to_string(getpid());
    const std::string out = stem + ".out";
    const std::string err = stem + ".err";
    std::string command = "http_proxy=" + Quote(proxy) +
                          " no_proxy= " + Quote(std::string(test::kBinaryDir) + "/bin/trawler-cli");
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
    const int status = std::system(command.c_str());
    Result result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  test::FixtureSites fixture_;
};

TEST_F(CliTest, PrintsRowsInEachFormat) {
  struct Case {
    std::vector<std::string> args;
    std::size_t lines;
    const char* lineShape;  // every line of stdout matches this
  } const cases[] = {
      {{"示例"}, 3, "[123]\t示例 第1页 第[123]条\t1\\.[123] GB\t2026-12-0[123]\thttp://.*"},
      {{"--site", "3", "--page", "4", "x"}, 3, "[123]\tx 第4页 .*\tmagnet:.*"},
      // All three sites, the site number first, in site order.
      {{"--site", "all", "x"}, 9, "[123]\t[123]\tx 第1页 .*"},
      {{"--json", "--site", "2", "a\"b"},
       3,
       R"(\{"site":2,"number":"[123]","name":"a&quot;b 第1页 第[123]条","size":"1\.[123] GB",)"
       R"("date":"2026-12-0[123]","link":"detail/.*\.html"\})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Result result = Run(c.args);
    EXPECT_EQ(result.code, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), c.lines) << result.out;
    for (const std::string& line : lines) EXPECT_THAT(line, MatchesRegex(c.lineShape));
  }
}

TEST_F(CliTest, ExitCodesAndDiagnostics) {
  fixture_.SetMode(2, "foreign");
  struct Case {
    std::vector<std::string> args;
    std::string proxy;
    int code;
    const char* diagnostic;
  } const cases[] = {
      {{"--site", "1", "x"}, "", 0, "site 1: 3 hits"},
      {{"--site", "2", "x"}, "", 1, "site 2: no hits: the site answered"},
      // Nothing listens on port 1: the site cannot be reached.
      {{"x"}, "http://127.0.0.1:1", 3, "site 1: could not search: could not connect"},
      // A failure on one site wins over hits on another.
      {{"--site", "all", "x"}, "http://127.0.0.1:1", 3, "site 3: could not search"},
      {{}, "", 2, "no KEYWORD given"},
      {{"--site", "4", "x"}, "", 2, "--site takes 1, 2, 3 or all"},
      {{"--page", "0", "x"}, "", 2, "--page takes a whole number"},
      {{"--page", "2x", "x"}, "", 2, "--page takes a whole number"},
      {{"--bogus", "x"}, "", 2, "unknown option '--bogus'"},
      {{"a", "b"}, "", 2, "more than one keyword"},
      {{"detail", "http://x/"}, "", 2, "detail needs --site"},
  };
  for (const Case& c : cases) {
    const std::string name = c.args.empty() ? "(none)" : c.args.back();
    SCOPED_TRACE(name);
    const Result result = Run(c.args, c.proxy);
    EXPECT_EQ(result.code, c.code) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.diagnostic));
    if (c.code == 2) {
      EXPECT_THAT(result.err, HasSubstr("usage: trawler-cli"));
    }
  }
}

TEST_F(CliTest, DetailPrintsTheDownloadAddress) {
  for (const std::string site : {"1", "2", "3"}) {
    SCOPED_TRACE("site " + site);
    const auto rows = Lines(Run({"--site", site, "x"}).out);
    ASSERT_FALSE(rows.empty());
    const std::string link = rows[0].substr(rows[0].rfind('\t') + 1);
    const Result result = Run({"detail", "--site", site, link});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_THAT(result.out, MatchesRegex("magnet:\\?xt=urn:btih:[0-9A-F]{40}\n"));
  }
  fixture_.SetMode(1, "foreign");
  const Result missing = Run({"detail", "--site", "1", "http://engine1.example/detail/x.html"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.err, HasSubstr("no download address"));
}

TEST_F(CliTest, HelpAndVersion) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_THAT(help.out, HasSubstr("usage: trawler-cli"));
  const Result version = Run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_THAT(version.out, MatchesRegex("trawler-cli [0-9]+\\.[0-9]+\\.[0-9]+\n"));
}

}  // namespace
}  // namespace trawler
