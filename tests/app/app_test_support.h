// Helpers of the window tests: a shown window with recording handlers, child processes run
// while this process keeps serving its windows and clipboard, and control lookup.
#ifndef TRAWLER_TESTS_APP_APP_TEST_SUPPORT_H_
#define TRAWLER_TESTS_APP_APP_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <vector>

#include "app/program.h"
#include "search/dispatch.h"
#include "tests/support/fixture_sites.h"

namespace trawler::test {

inline constexpr const char* kAppBinary = TRAWLER_APP_BINARY;
inline constexpr const char* kProbeBinary = TRAWLER_PROBE_BINARY;
inline constexpr const char* kSearchProbeBinary = TRAWLER_SEARCH_PROBE_BINARY;

// How long a child process may run before a test gives up on it and kills it. A guard
// against hangs, not a measurement: a healthy child ends in a fraction of it.
inline constexpr int kHangGuardMs = 60'000;

struct ChildResult {
  bool ended = false;  // false: still running at the guard, killed
  QProcess::ExitStatus status = QProcess::CrashExit;
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

// Waits for `process` to end while this thread keeps processing events, so that a child
// asking this process for the clipboard gets its answer. Kills it at the hang guard.
ChildResult WaitForEnd(QProcess& process);

// Runs `program` to its end (see WaitForEnd).
ChildResult RunToEnd(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// Processes events until `condition` holds; false if it still does not at the hang guard.
bool ProcessEventsUntil(const std::function<bool()>& condition);

// The control of `window` that `widget` is or lies inside (the combo for its edit field, a
// text box for its viewport); nullptr for the window itself or a foreign widget.
QWidget* ControlOf(QWidget* widget, const QWidget* window);

// A shown, active program window whose handlers record instead of acting: site routines
// note their site, workers run at once on the GUI thread, CloseButton and ForumLink are
// counted (no process end, no browser).
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  MainWindow& Window() const { return *program.window; }
  ControlsPort& Port() const { return *program.port; }

  ProgramWindow program;
  std::vector<int> startedSites;
  int closeClicks = 0;
  std::vector<QUrl> openedUrls;
  bool opensSucceed = true;
};

// A shown program window with the program's own site routines on real, counted worker
// threads, its requests going through http_proxy to the fixture sites. TearDown waits for
// the workers before the window goes away under them.
class RealProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // How each of the program's site routines runs; by default as it is.
  virtual SiteRoutine WrapRoutine(SiteRoutine routine) { return routine; }

  MainWindow& Window() const { return *program_.window; }

  FixtureSites fixture_;
  std::atomic<int> running_{0};
  ProgramWindow program_;
};

}  // namespace trawler::test

#endif  // TRAWLER_TESTS_APP_APP_TEST_SUPPORT_H_
