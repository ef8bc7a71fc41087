#include "app_test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include "search/dispatch.h"
#include "search/site_search.h"

namespace trawler::test {

ChildResult WaitForEnd(QProcess& process) {
  const QDeadlineTimer guard(kHangGuardMs);
  while (process.state() != QProcess::NotRunning && !guard.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    process.waitForFinished(20);
  }
  ChildResult result;
  result.ended = process.state() == QProcess::NotRunning;
  if (!result.ended) {
    process.kill();
    process.waitForFinished(5'000);
  }
  result.status = process.exitStatus();
  result.exitCode = process.exitCode();
  result.out = process.readAllStandardOutput();
  result.err = process.readAllStandardError();
  return result;
}

ChildResult RunToEnd(const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& environment) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForStarted(kHangGuardMs)) return {};
  return WaitForEnd(process);
}

bool ProcessEventsUntil(const std::function<bool()>& condition) {
  const QDeadlineTimer guard(kHangGuardMs);
  while (!condition()) {
    if (guard.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

QWidget* ControlOf(QWidget* widget, const QWidget* window) {
  while (widget != nullptr && widget->parentWidget() != window) widget = widget->parentWidget();
  return widget;
}

void WindowTest::SetUp() {
  CurrentPage.store(0);
  ProgramParts parts;
  SiteRoutines routines;
  for (int site = 1; site <= 3; ++site) {
    routines[static_cast<std::size_t>(site - 1)] = [this, site](ControlsPort&) {
      startedSites.push_back(site);
    };
  }
  parts.routines = routines;
  parts.starter = [](std::function<void()> worker) {
    worker();
    return true;
  };
  parts.onCloseClicked = [this] { ++closeClicks; };
  parts.opener = [this](const QUrl& url) {
    openedUrls.push_back(url);
    return opensSucceed;
  };
  program = CreateProgramWindow(std::move(parts));
  program.window->show();
  program.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(program.window.get()));
}

void WindowTest::TearDown() {
  program.dispatch.reset();
  program.port.reset();
  program.window.reset();
}

void RealProgramTest::SetUp() {
  ASSERT_TRUE(fixture_.ok());
  fixture_.UseAsHttpProxy();
  CurrentPage.store(0);
  ProgramParts parts;
  SiteRoutines routines = DefaultSiteRoutines();
  for (SiteRoutine& routine : routines) routine = WrapRoutine(std::move(routine));
  parts.routines = std::move(routines);
  parts.starter = [this](std::function<void()> worker) {
    ++running_;
    const bool started = StartWorker([this, worker = std::move(worker)] {
      worker();
      --running_;
    });
    if (!started) --running_;
    return started;
  };
  parts.onCloseClicked = [] {};
  parts.opener = [](const QUrl&) { return true; };
  program_ = CreateProgramWindow(std::move(parts));
  program_.window->show();
  program_.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(program_.window.get()));
}

void RealProgramTest::TearDown() {
  EXPECT_TRUE(ProcessEventsUntil([this] { return running_ == 0; }));
  program_.dispatch.reset();
  program_.port.reset();
  program_.window.reset();
}

}  // namespace trawler::test
