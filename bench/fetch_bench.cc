// Fetching a 1 MiB page from the fixture sites on loopback: the request routine side by side
// with the curl command-line tool fetching the same page in the same run. The tool's time
// includes starting a process; BM_CurlToolTinyPage measures that part alone.
//
// Runs interleaved in random order (the fixture server is the same for all of them and the
// machine may be busy); compare the medians.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "web/http_exchange.h"
#include "web/transport.h"

extern char** environ;

namespace {

std::string pageUrl;
std::string tinyUrl;

// The fixture sites as a child process; stdin is a pipe whose end makes it stop.
class FixtureProcess {
 public:
  bool Start() {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    const std::string script = std::string(TRAWLER_SOURCE_DIR) + "/tools/fixture_sites.py";
    std::vector<char*> argv = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                               nullptr};
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    stdin_ = toChild[1];
    if (rc != 0) return false;
    FILE* out = fdopen(fromChild[0], "r");
    char line[128] = {};
    const bool read = out != nullptr && std::fgets(line, sizeof line, out) != nullptr;
    if (out != nullptr) std::fclose(out);
    return read && std::sscanf(line, "PORT %d", &port_) == 1;
  }
  ~FixtureProcess() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int port_ = 0;
};

bool RunCurlTool(const std::string& url) {
  std::vector<char*> argv = {const_cast<char*>("curl"),      const_cast<char*>("-s"),
                             const_cast<char*>("-o"),        const_cast<char*>("/dev/null"),
                             const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_HttpExchange(benchmark::State& state) {
  for (auto _ : state) {
    const trawler::Bytes body = trawler::HttpExchange(pageUrl);
    if (body.size() != (1u << 20)) state.SkipWithError("short page");
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) << 20);
}
BENCHMARK(BM_HttpExchange)->Unit(benchmark::kMillisecond)->UseRealTime();

// With the conversion of the page from UTF-8 to GBK, as the site routines fetch it.
void BM_FetchPageText(benchmark::State& state) {
  for (auto _ : state) {
    const trawler::Text page = trawler::FetchPageText(pageUrl);
    if (page.empty()) state.SkipWithError("empty page");
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) << 20);
}
BENCHMARK(BM_FetchPageText)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlTool(benchmark::State& state) {
  for (auto _ : state) {
    if (!RunCurlTool(pageUrl)) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) << 20);
}
BENCHMARK(BM_CurlTool)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlToolTinyPage(benchmark::State& state) {
  for (auto _ : state) {
    if (!RunCurlTool(tinyUrl)) state.SkipWithError("curl failed");
  }
}
BENCHMARK(BM_CurlToolTinyPage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  // Loopback only, never through a proxy of the machine.
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY"}) {
    unsetenv(name);
  }
  trawler::InitTransport();
  FixtureProcess fixture;
  if (!fixture.Start()) {
    std::fprintf(stderr, "fetch_bench: the fixture sites did not start\n");
    return 1;
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(fixture.port());
  pageUrl = base + "/hostile/page1mib";
  tinyUrl = base + "/echo";

  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string repetitions = "--benchmark_repetitions=5";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  args.insert(args.begin() + 1, {interleave.data(), repetitions.data(), aggregates.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
