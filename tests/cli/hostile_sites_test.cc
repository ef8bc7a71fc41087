// trawler-cli against sites that misbehave: the real binary as a child process, its requests
// through http_proxy to the fixture sites in their hostile modes. Every case must end (the
// child is killed at a hang guard, which fails the case), without a crash, with the exit code
// and diagnostic a script can rely on, and with a peak memory (the child's own, from wait4)
// that stays under ten times the bytes the site delivered over the program's footprint on a
// normal search.
//
// Each case prints one line "hostile: ..." with its time to end and peak memory, for the
// record; neither is compared with a time.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fixture_sites.h"
#include "tests/support/support.h"

namespace trawler {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::int64_t kMiB = 1024 * 1024;
// What a child may take beyond its normal footprint whatever it was sent: allocator arenas
// of the request threads, libcurl's buffers and the like.
constexpr std::int64_t kAllocatorSlack = 4 * kMiB;
// Sanitizer builds keep shadow memory (and ASan a quarantine of freed blocks) beside the
// program's own: their resident set says nothing about the program's, so the memory bound is
// checked in plain builds only. The peak is printed either way.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryMeasurable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMemoryMeasurable = false;
#else
constexpr bool kMemoryMeasurable = true;
#endif
#else
constexpr bool kMemoryMeasurable = true;
#endif
// A guard against hangs, not a measurement: the slowest case ends well within it.
constexpr auto kHangGuard = std::chrono::seconds(150);

struct Measured {
  bool ended = false;  // false: killed at the hang guard
  bool signalled = false;
  int code = -1;
  std::string out;
  std::string err;
  std::int64_t peakBytes = 0;  // the child's peak resident set
  double seconds = 0;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Runs trawler-cli with `args`, its requests through `proxy`, and measures it.
Measured RunMeasured(const std::vector<std::string>& args, const std::string& proxy) {
  const std::string stem = ::testing::TempDir() + "/trawler_hostile_" + std::to_string(getpid());
  const std::string outPath = stem + ".out";
  const std::string errPath = stem + ".err";
  const std::string binary = std::string(test::kBinaryDir) + "/bin/trawler-cli";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setenv("http_proxy", proxy.c_str(), 1);
    setenv("no_proxy", "", 1);
    unsetenv("NO_PROXY");
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  Measured result;
  if (child < 0) return result;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child) {
      result.ended = true;
      break;
    }
    if (std::chrono::steady_clock::now() - start > kHangGuard) {
      kill(child, SIGKILL);
      wait4(child, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.signalled = WIFSIGNALED(status);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.peakBytes = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;  // ru_maxrss is KiB
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

std::size_t LineCount(const std::string& text) {
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

// The fixture and the program's own footprint (its peak on a normal search and on a normal
// detail page, the larger), once per test process.
class HostileSitesBase {
 protected:
  static void StartFixture() {
    fixture_ = new test::FixtureSites();
    ASSERT_TRUE(fixture_->ok());
    const std::string link = "http://engine1.example/detail/" + std::string(40, 'A') + ".html";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--site", "all", "x"},
          std::vector<std::string>{"detail", "--site", "1", link}}) {
      const Measured normal = RunMeasured(args, fixture_->ProxyUrl());
      ASSERT_TRUE(normal.ended);
      ASSERT_EQ(normal.code, 0) << normal.err;
      baselineBytes_ = std::max(baselineBytes_, normal.peakBytes);
    }
  }
  static void StopFixture() {
    delete fixture_;
    fixture_ = nullptr;
  }

  static test::FixtureSites* fixture_;
  static std::int64_t baselineBytes_;
};

test::FixtureSites* HostileSitesBase::fixture_ = nullptr;
std::int64_t HostileSitesBase::baselineBytes_ = 0;

struct HostileCase {
  const char* mode;
  int site;
  std::vector<std::string> args;
  int code;
  const char* diagnostic;
  int rows;                // lines on stdout; -1: any number (a cut page may hold some)
  std::int64_t delivered;  // at most this many body bytes reach the program
  int delayMs = -1;        // the fixture's delay, for drip
};

std::ostream& operator<<(std::ostream& out, const HostileCase& c) {
  return out << c.mode << " on site " << c.site;
}

const std::string kDetail1 = "http://engine1.example/detail/" + std::string(40, 'B') + ".html";
const std::string kDetail2 = "detail/" + std::string(40, 'C') + ".html";
constexpr std::int64_t kSmallPage = 64 * 1024;  // any normal page of the fixture is below it

const HostileCase kHostileCases[] = {
    // Never answers: the request gives up at --timeout.
    {"silent", 1, {"--timeout", "2", "--site", "1", "x"}, 3, "timed out", 0, 0},
    // Site 3 makes two requests; each gives up on its own.
    {"silent", 3, {"--timeout", "2", "--site", "3", "x"}, 3, "timed out", 0, 0},
    // A byte every 50 ms: never a stall, so only the overall limit ends it.
    {"drip", 2, {"--timeout", "2", "--site", "2", "x"}, 3, "timed out", 0, kSmallPage, 50},
    // Half the body, then a TCP reset: the rows of the half are printed, and the site counts
    // as failed, so that a script does not take them for the whole list.
    {"reset", 1, {"--site", "1", "x"}, 3, "but the answer was cut short: failed", -1, kSmallPage},
    // 100 MiB sent: reading stops at the 64 MiB cap, which still counts as an answer.
    {"huge", 1, {"--site", "1", "x"}, 1, "no hits: the site answered 67108864 bytes", 0, 64 * kMiB},
    {"badchunk",
     2,
     {"--site", "2", "x"},
     3,
     "but the answer was cut short: failed",
     -1,
     kSmallPage},
    {"redirectloop", 1, {"--site", "1", "x"}, 3, "too many redirects", 0, kSmallPage},
    // A redirect to file:///etc/passwd is refused, not followed.
    {"redirectfile", 2, {"--site", "2", "x"}, 3, "could not search: failed", 0, kSmallPage},
    // Headers over 5000 bytes do not spoil the page.
    {"bigheader", 1, {"--site", "1", "x"}, 0, "site 1: 3 hits", 3, kSmallPage},
    // The page ends at its first zero byte: the row before it is kept.
    {"zeros", 2, {"--site", "2", "x"}, 0, "site 2: 1 hit", 1, kSmallPage},
    // Malformed UTF-8 turns into "?"; the rows are still found.
    {"badutf8", 3, {"--site", "3", "x"}, 0, "site 3: 3 hits", 3, kSmallPage},
    // 1 MiB of openers of every site pattern and no closers: bounded matching, no hits.
    {"backtrack", 1, {"--site", "1", "x"}, 1, "no hits", 0, 2 * kMiB},
    {"backtrack", 2, {"--site", "2", "x"}, 1, "no hits", 0, 2 * kMiB},
    {"backtrack", 3, {"--site", "3", "x"}, 1, "no hits", 0, 2 * kMiB},
    // A 50 MiB detail page without the address markers.
    {"bigdetail", 1, {"detail", "--site", "1", kDetail1}, 1, "no download address", 0, 50 * kMiB},
    {"bigdetail", 2, {"detail", "--site", "2", kDetail2}, 1, "no download address", 0, 50 * kMiB},
};

class HostileSitesTest : public HostileSitesBase, public ::testing::TestWithParam<HostileCase> {
 protected:
  static void SetUpTestSuite() { StartFixture(); }
  static void TearDownTestSuite() { StopFixture(); }
};

TEST_P(HostileSitesTest, EndsWithinBoundsAndSaysWhy) {
  const HostileCase& c = GetParam();
  ASSERT_TRUE(fixture_ != nullptr && fixture_->ok());
  fixture_->Reset();
  fixture_->SetMode(c.site, c.mode, -1, c.delayMs);
  const Measured run = RunMeasured(c.args, fixture_->ProxyUrl());
  std::cout << "hostile: " << c << ": exit " << run.code << " after " << run.seconds << " s, peak "
            << run.peakBytes / kMiB << " MiB (normal search " << baselineBytes_ / kMiB << " MiB)\n";
  ASSERT_TRUE(run.ended) << "still running at the hang guard";
  EXPECT_FALSE(run.signalled) << "crashed";
  EXPECT_EQ(run.code, c.code) << run.err;
  EXPECT_THAT(run.err, HasSubstr(c.diagnostic));
  if (c.rows >= 0) {
    EXPECT_EQ(LineCount(run.out), static_cast<std::size_t>(c.rows)) << run.out;
  }
  EXPECT_THAT(run.out, Not(HasSubstr("root:")));  // nothing of /etc/passwd, ever
  if (kMemoryMeasurable) {
    EXPECT_LE(run.peakBytes, baselineBytes_ + 10 * c.delivered + kAllocatorSlack)
        << "peak " << run.peakBytes << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, HostileSitesTest, ::testing::ValuesIn(kHostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& param) {
                           return std::string(param.param.mode) + "_site" +
                                  std::to_string(param.param.site);
                         });

class AllSitesHostileTest : public HostileSitesBase, public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartFixture(); }
  static void TearDownTestSuite() { StopFixture(); }
};

// The three sites misbehaving at once, each in its own way: the sites run on threads of their
// own, and the slowest bounds the whole run.
TEST_F(AllSitesHostileTest, EachInItsOwnWay) {
  ASSERT_TRUE(fixture_ != nullptr && fixture_->ok());
  fixture_->SetMode(1, "huge");
  fixture_->SetMode(2, "backtrack");
  fixture_->SetMode(3, "silent");
  const Measured run = RunMeasured({"--timeout", "3", "--site", "all", "x"}, fixture_->ProxyUrl());
  std::cout << "hostile: all three sites at once: exit " << run.code << " after " << run.seconds
            << " s, peak " << run.peakBytes / kMiB << " MiB\n";
  ASSERT_TRUE(run.ended);
  EXPECT_FALSE(run.signalled);
  EXPECT_EQ(run.code, 3) << run.err;
  EXPECT_THAT(run.err, HasSubstr("site 3: could not search: timed out"));
  if (kMemoryMeasurable) {
    EXPECT_LE(run.peakBytes, baselineBytes_ + 10 * (64 * kMiB + 2 * kMiB) + kAllocatorSlack);
  }
}

TEST(CliTimeoutOptionTest, RejectsValuesOutOfRange) {
  for (const std::string value : {"0", "3601", "-1", "2s", ""}) {
    SCOPED_TRACE(value);
    const Measured run = RunMeasured({"--timeout", value, "x"}, "http://127.0.0.1:1");
    EXPECT_EQ(run.code, 2);
    EXPECT_THAT(run.err, HasSubstr("--timeout takes a whole number of seconds"));
  }
}

}  // namespace
}  // namespace trawler
