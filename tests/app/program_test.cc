// The real `trawler` binary (and the probe, the same program with busy workers) as a user
// meets it: keys and clicks through the X server with xdotool, the exit code, stderr. Also
// writes a screenshot of the window to artifacts/window.png in the build tree.
#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QTest>
#include <iostream>
#include <string>

#include "app_test_support.h"
#include "tests/support/fixture_sites.h"
#include "tests/support/support.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;

// Runs xdotool with `arguments`; returns its output, trimmed. Fails the test when it fails.
QString Xdotool(const QStringList& arguments) {
  const ChildResult result = RunToEnd(u"xdotool"_s, arguments);
  EXPECT_TRUE(result.ended && result.exitCode == 0)
      << "xdotool " << arguments.join(' ').toStdString() << ": " << result.err.toStdString();
  return QString::fromUtf8(result.out).trimmed();
}

// The program's window once it is shown and has the keyboard focus.
QString FocusedWindowOf(const QProcess& program) {
  const QString window = Xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--pid"_s,
                                  QString::number(program.processId())})
                             .section('\n', 0, 0);
  Xdotool({u"windowfocus"_s, u"--sync"_s, window});
  return window;
}

void ExpectCleanEnd(QProcess& program) {
  const ChildResult end = WaitForEnd(program);
  ASSERT_TRUE(end.ended) << "the program did not end";
  EXPECT_EQ(end.status, QProcess::NormalExit) << end.err.toStdString();
  EXPECT_EQ(end.exitCode, 0) << end.err.toStdString();
}

TEST(RealProgramTest, EscapeEndsTheProgramWithExitCodeZero) {
  struct Case {
    const char* focus;
    QStringList clickAt;  // window-relative point to click first; empty: focus as started
  };
  const Case cases[] = {
      {"KeywordEdit", {}},
      {"EngineCombo's edit field", {u"40"_s, u"12"_s}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.focus);
    QProcess program;
    program.start(QString::fromUtf8(kAppBinary), {});
    ASSERT_TRUE(program.waitForStarted());
    const QString window = FocusedWindowOf(program);
    if (!c.clickAt.isEmpty()) {
      Xdotool(QStringList{u"mousemove"_s, u"--sync"_s, u"--window"_s, window} + c.clickAt +
              QStringList{u"click"_s, u"1"_s});
    }
    Xdotool({u"key"_s, u"Escape"_s});
    ExpectCleanEnd(program);
  }
}

// The two ways a user ends the program from the window, as xdotool arguments (%WINDOW% stands
// for the program's window).
struct CloseWay {
  const char* how;
  QStringList xdotool;
};
const CloseWay kCloseWays[] = {
    {"Escape", {u"key"_s, u"Escape"_s}},
    // CloseButton, "叉", at 476,1 (24 x 24).
    {"CloseButton",
     {u"mousemove"_s, u"--sync"_s, u"--window"_s, u"%WINDOW%"_s, u"488"_s, u"13"_s, u"click"_s,
      u"1"_s}},
};

TEST(RealProgramTest, ClosingWhileTenWorkersWaitOnTheGuiThreadExitsWithZero) {
  for (const CloseWay& c : kCloseWays) {
    SCOPED_TRACE(c.how);
    QProcess probe;
    probe.start(QString::fromUtf8(kProbeBinary), {});
    ASSERT_TRUE(probe.waitForStarted());
    const QString window = FocusedWindowOf(probe);
    while (!probe.canReadLine() && probe.state() == QProcess::Running) {
      probe.waitForReadyRead(100);
    }
    ASSERT_EQ(probe.readLine().trimmed(), "ready");
    QStringList arguments = c.xdotool;
    arguments.replaceInStrings(u"%WINDOW%"_s, window);
    Xdotool(arguments);
    ExpectCleanEnd(probe);
  }
}

// Fifty overlapping searches on all three sites, clicks on rows while they run (the search
// probe makes them through the window's controls), then the window closed while searches are
// still running: the program ends at once with exit code 0, whatever its workers were doing.
TEST(RealProgramTest, ClosingDuringFiftyOverlappingSearchesExitsWithZero) {
  FixtureSites fixture;
  ASSERT_TRUE(fixture.ok());
  for (const CloseWay& c : kCloseWays) {
    SCOPED_TRACE(c.how);
    fixture.Reset();
    // Slow sites, so that searches are still waiting for their pages when the window closes.
    for (int site = 1; site <= 3; ++site) fixture.SetMode(site, "slow", 3, 400);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"http_proxy"_s, QString::fromStdString(fixture.ProxyUrl()));
    environment.remove(u"no_proxy"_s);
    environment.remove(u"NO_PROXY"_s);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QString::fromUtf8(kSearchProbeBinary), {});
    ASSERT_TRUE(probe.waitForStarted());
    const QString window = FocusedWindowOf(probe);
    while (!probe.canReadLine() && probe.state() == QProcess::Running) {
      probe.waitForReadyRead(100);
    }
    const QByteArray ready = probe.readLine().trimmed();
    ASSERT_TRUE(ready.startsWith("ready "))
        << ready.toStdString() << probe.readAllStandardError().toStdString();
    EXPECT_GT(ready.mid(6).toInt(), 0) << "no search was running any more";
    QStringList arguments = c.xdotool;
    arguments.replaceInStrings(u"%WINDOW%"_s, window);
    Xdotool(arguments);
    ExpectCleanEnd(probe);
    const auto requests = fixture.Requests();
    std::cout << "closing mid-search (" << c.how << "): " << ready.toStdString()
              << " searches running at ready, " << requests.size()
              << " requests reached the sites\n";
  }
}

TEST(RealProgramTest, NoDisplayGivesOneLineAndExitCode255) {
  struct Case {
    const char* name;
    const char* display;  // nullptr: DISPLAY not set
  };
  const Case cases[] = {{"DISPLAY unset", nullptr}, {"no server at the display", ":9876"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      environment.remove(QString::fromLatin1(name));
    }
    if (c.display != nullptr) environment.insert(u"DISPLAY"_s, QString::fromLatin1(c.display));
    const ChildResult result = RunToEnd(QString::fromUtf8(kAppBinary), {}, environment);
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.status, QProcess::NormalExit) << "no crash, no core dump";
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.endsWith('\n'));
    EXPECT_TRUE(result.err.contains("display")) << result.err.toStdString();
    if (c.display != nullptr) {
      EXPECT_TRUE(result.err.contains(c.display));
    }
    EXPECT_TRUE(result.out.isEmpty());
  }
}

using ScreenshotTest = WindowTest;

TEST_F(ScreenshotTest, WritesTheWindowToArtifacts) {
  // A window as a user sees it after a search and a click on a hit.
  Window().KeywordEdit()->setText(u"ubuntu"_s);
  const char* rows[][5] = {
      {"1", "ubuntu-24.04-desktop-amd64.iso", "5.7 GB", "2024-04-25", "/detail/1"},
      {"2", "ubuntu-22.04.4-live-server", "2.0 GB", "2024-02-22", "/detail/2"},
      {"3", "Ubuntu \xB7\xFE\xCE\xF1\xC6\xF7 \xD6\xB8\xC4\xCF", "37.1 MB", "2023-11-02",
       "/detail/3"},  // "服务器 指南" in GBK
  };
  for (const auto& row : rows) {
    const int index = Port().AppendRow();
    for (int column = 0; column < 5; ++column) Port().SetCellText(index, column, row[column]);
  }
  Window().ResultList()->selectRow(0);
  Port().SetTitleText("ubuntu-24.04-desktop-amd64.iso");
  Port().SetAddressText("magnet:?xt=urn:btih:2aa4f5a7e209e54b32803d43670971c4c8caaa05");
  QTest::qWait(50);

  const QDir artifacts(QString::fromUtf8(kBinaryDir) + u"/artifacts"_s);
  ASSERT_TRUE(artifacts.mkpath(u"."_s));
  const QString file = artifacts.filePath(u"window.png"_s);
  const QPixmap shot = Window().grab();
  EXPECT_EQ(shot.size(), QSize(503, 390));
  ASSERT_TRUE(shot.save(file, "PNG")) << file.toStdString();
}

}  // namespace
}  // namespace trawler::test
