// Start-up of the real program: build/bin/trawler is started as a process and watched from
// outside, through the X server, without any change to the program.
//
// - shown: from just before the process is spawned until its window is on screen with its
//   first paint: the window is mapped (MapNotify on the root window, the window's
//   _NET_WM_PID naming the child) and the screen area it covers no longer shows what was
//   there before (the first frame has been drawn);
// - mapped: until the MapNotify alone (a counter);
// - resident memory of the idle window: VmHWM (peak) and VmRSS of the process, read from
//   /proc after it has sat idle for a moment (counters, MB).
// Each repetition is one start; the process is ended with SIGTERM after it. Needs an X
// display (scripts/bench starts Xvfb when DISPLAY is unset).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kGiveUp = std::chrono::seconds(10);
constexpr auto kIdleBeforeMemory = std::chrono::milliseconds(700);

struct ConnectionCloser {
  void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connection = nullptr;
xcb_screen_t* screen = nullptr;

xcb_atom_t Atom(const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The _NET_WM_PID of `window`, 0 when it has none.
std::uint32_t PidOf(xcb_window_t window, xcb_atom_t netWmPid) {
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1),
      nullptr));
  if (!reply || xcb_get_property_value_length(reply.get()) < 4) return 0;
  return *static_cast<std::uint32_t*>(xcb_get_property_value(reply.get()));
}

struct Area {
  std::int16_t x = 0;
  std::int16_t y = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

// Where `window` lies on the screen.
std::optional<Area> AreaOf(xcb_window_t window) {
  Reply<xcb_get_geometry_reply_t> geometry(
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
  if (!geometry) return std::nullopt;
  Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, window, screen->root, 0, 0), nullptr));
  if (!origin) return std::nullopt;
  return Area{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

// The pixels of the screen (the root window) in `area`.
std::string Pixels(const Area& area) {
  Reply<xcb_get_image_reply_t> image(
      xcb_get_image_reply(connection,
                          xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, area.x,
                                        area.y, area.width, area.height, ~0u),
                          nullptr));
  if (!image) return {};
  return std::string(reinterpret_cast<const char*>(xcb_get_image_data(image.get())),
                     static_cast<std::size_t>(xcb_get_image_data_length(image.get())));
}

// Share of 4-byte pixels that differ between two grabs of the same area.
double Changed(const std::string& before, const std::string& after) {
  if (before.size() != after.size() || before.empty()) return 1.0;
  std::size_t differ = 0;
  for (std::size_t i = 0; i + 4 <= before.size(); i += 4) {
    if (std::memcmp(before.data() + i, after.data() + i, 4) != 0) ++differ;
  }
  return static_cast<double>(differ) / static_cast<double>(before.size() / 4);
}

// Reads a "VmXxx:   1234 kB" line of /proc/PID/status, in MB.
double StatusMegabytes(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::atof(line.c_str() + key.size() + 1) / 1024.0;
  }
  return 0;
}

struct StartResult {
  bool ok = false;
  std::string error;
  double mappedSeconds = 0;
  double shownSeconds = 0;
  double peakMb = 0;
  double residentMb = 0;
};

StartResult StartOnce(const xcb_atom_t netWmPid) {
  StartResult result;
  const std::string program = std::string(TRAWLER_BIN_DIR) + "/trawler";
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  // The screen area the window will cover is not known before it is mapped: keep the whole
  // screen as it was and compare the window's part of it later.
  const Area whole{0, 0, screen->width_in_pixels, screen->height_in_pixels};
  const std::string screenBefore = Pixels(whole);

  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
    result.error = "cannot start " + program;
    return result;
  }

  std::optional<Area> area;
  const int fd = xcb_get_file_descriptor(connection);
  while (!area && Clock::now() - start < kGiveUp) {
    std::unique_ptr<xcb_generic_event_t, FreeDeleter> event(xcb_poll_for_event(connection));
    if (!event) {
      pollfd wait{fd, POLLIN, 0};
      poll(&wait, 1, 100);
      continue;
    }
    if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) continue;
    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
    if (PidOf(map->window, netWmPid) != static_cast<std::uint32_t>(pid)) continue;
    result.mappedSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    area = AreaOf(map->window);
  }

  if (area) {
    // The part of the earlier screen grab that the window covers.
    std::string before;
    const std::size_t stride = static_cast<std::size_t>(whole.width) * 4;
    for (int row = 0; row < area->height; ++row) {
      const std::size_t at = (static_cast<std::size_t>(area->y) + row) * stride +
                             static_cast<std::size_t>(area->x) * 4;
      if (at + static_cast<std::size_t>(area->width) * 4 > screenBefore.size()) break;
      before.append(screenBefore, at, static_cast<std::size_t>(area->width) * 4);
    }
    while (Clock::now() - start < kGiveUp) {
      if (Changed(before, Pixels(*area)) > 0.5) {
        result.shownSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        result.ok = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    if (!result.ok) result.error = "the window was mapped but never drawn";
  } else {
    result.error = "no window of the program was mapped";
  }

  if (result.ok) {
    std::this_thread::sleep_for(kIdleBeforeMemory);
    result.peakMb = StatusMegabytes(pid, "VmHWM");
    result.residentMb = StatusMegabytes(pid, "VmRSS");
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return result;
}

void BM_StartupWindowShown(benchmark::State& state) {
  const xcb_atom_t netWmPid = Atom("_NET_WM_PID");
  StartResult last;
  for (auto _ : state) {
    last = StartOnce(netWmPid);
    if (!last.ok) {
      state.SkipWithError(last.error.c_str());
      break;
    }
    state.SetIterationTime(last.shownSeconds);
  }
  state.counters["mapped_ms"] = last.mappedSeconds * 1e3;
  state.counters["idle_peak_rss_mb"] = last.peakMb;
  state.counters["idle_rss_mb"] = last.residentMb;
}
BENCHMARK(BM_StartupWindowShown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(7)
    ->ComputeStatistics("min", [](const std::vector<double>& v) {
      double least = v.empty() ? 0 : v[0];
      for (const double x : v) least = x < least ? x : least;
      return least;
    });

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::unique_ptr<xcb_connection_t, ConnectionCloser> owned(xcb_connect(nullptr, nullptr));
  if (xcb_connection_has_error(owned.get())) {
    std::fprintf(stderr, "window_startup_bench: no X display (DISPLAY; start Xvfb first)\n");
    return 1;
  }
  connection = owned.get();
  screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  // Every window mapped on the screen is reported to us.
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(connection);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
