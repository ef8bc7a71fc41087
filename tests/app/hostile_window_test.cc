// The real window against sites that misbehave: real site routines on real worker threads,
// the real request path through http_proxy to the fixture sites in their hostile modes. The
// routines run with short time-outs (2 s) so that silent and dripping sites end quickly.
//
// What must hold: every search ends, nothing crashes, the list shows what the page held, and
// the GUI thread keeps handling events while a search runs. A click on a row runs its detail
// request on the GUI thread, as the program does: the window is blocked while that request
// lasts and is back at once after it.
//
// Each case prints one line "window hostile: ..." with how long it took and the longest
// pause of the GUI thread, for the record; neither is compared with a time.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "app_test_support.h"
#include "search/dispatch.h"
#include "search/site_search.h"
#include "tests/support/fixture_sites.h"
#include "web/transport.h"

namespace trawler::test {
namespace {

using namespace Qt::StringLiterals;

TransportSettings ShortTimeouts() {
  TransportSettings settings;
  settings.connectTimeoutMs = 2000;
  settings.lowSpeedTimeSeconds = 2;
  settings.totalTimeoutMs = 2000;
  return settings;
}

// Counts the GUI thread's timer ticks and the longest pause between two of them.
class GuiPulse {
 public:
  GuiPulse() {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longestPauseMs_ = std::max(longestPauseMs_, clock_.restart());
      ++ticks_;
    });
    timer_.start(10);
  }
  [[nodiscard]] int Ticks() const { return ticks_; }
  [[nodiscard]] qint64 LongestPauseMs() const { return longestPauseMs_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  int ticks_ = 0;
  qint64 longestPauseMs_ = 0;
};

class HostileWindowTest : public RealProgramTest {
 protected:
  // The program's routines, each with short time-outs.
  SiteRoutine WrapRoutine(SiteRoutine routine) override {
    return [routine = std::move(routine)](ControlsPort& port) {
      const ScopedTransportSettings settings(ShortTimeouts());
      routine(port);
    };
  }
};

TEST_F(HostileWindowTest, SearchesEndAndTheWindowKeepsAnswering) {
  struct Case {
    const char* mode;
    int site;
    int rows;            // rows when the search has ended; -1: any (a cut page may hold some)
    bool lasts = false;  // the search surely outlives a round of the event loop
    int delayMs = -1;
  } const cases[] = {
      {"silent", 1, 0, true},
      {"silent", 3, 0, true},  // two requests, each given up on
      {"drip", 2, 0, true, 50},
      {"reset", 1, -1},
      {"huge", 1, 0},  // cut at the 64 MiB cap, no rows of that shape
      {"badchunk", 2, -1},
      {"redirectloop", 3, 0},
      {"redirectfile", 1, 0},
      {"bigheader", 2, 3},
      {"zeros", 1, 1},  // the page ends at its zero byte, after the first row
      {"badutf8", 3, 3},
      {"backtrack", 1, 0, true},
      {"backtrack", 2, 0, true},
      {"backtrack", 3, 0, true},
  };
  for (const Case& c : cases) {
    const std::string name = std::string(c.mode) + " on site " + std::to_string(c.site);
    SCOPED_TRACE(name);
    fixture_.Reset();
    fixture_.SetMode(c.site, c.mode, -1, c.delayMs);
    Window().EngineCombo()->setCurrentIndex(c.site - 1);
    Window().KeywordEdit()->setText(u"abc"_s);

    GuiPulse pulse;
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(Window().SearchButton(), Qt::LeftButton);
    // The click returned with the search running; the GUI thread keeps handling events.
    bool handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });
    EXPECT_TRUE(ProcessEventsUntil([&handled] { return handled; }));
    if (c.lasts) {
      EXPECT_GT(running_, 0) << "the search ended before the window handled an event";
    }
    ASSERT_TRUE(ProcessEventsUntil([this] { return running_ == 0; })) << "the search hangs";
    std::cout << "window hostile: " << name << ": search ended after " << clock.elapsed() << " ms, "
              << pulse.Ticks() << " GUI ticks, longest GUI pause " << pulse.LongestPauseMs()
              << " ms\n";
    if (c.rows >= 0) {
      EXPECT_EQ(Window().ResultList()->rowCount(), c.rows);
    }
    for (int row = 0; row < Window().ResultList()->rowCount(); ++row) {
      // Malformed UTF-8 shows as "?" before the name.
      EXPECT_TRUE(Window().ResultList()->Cell(row, 1).contains(u"abc 第1页"_s))
          << Window().ResultList()->Cell(row, 1).toStdString();
    }
  }
}

// A click on a row fetches the detail page on the GUI thread: the window waits for that
// request (bounded by its time-outs) and for nothing else.
TEST_F(HostileWindowTest, DetailClickBlocksOnlyForItsRequest) {
  struct Case {
    const char* mode;
    int site;
    const char* link;
  } const cases[] = {
      // 50 MiB without the address markers.
      {"bigdetail", 1,
       "http://engine1.example/detail/0000000000000000000000000000000000000001.html"},
      {"bigdetail", 2, "detail/0000000000000000000000000000000000000002.html"},
      // Never answers: the request gives up at the time-out.
      {"silent", 2, "detail/0000000000000000000000000000000000000003.html"},
      {"drip", 1, "http://engine1.example/detail/0000000000000000000000000000000000000004.html"},
  };
  const ScopedTransportSettings settings(ShortTimeouts());
  for (const Case& c : cases) {
    const std::string name = std::string(c.mode) + " on site " + std::to_string(c.site);
    SCOPED_TRACE(name);
    fixture_.Reset();
    fixture_.SetMode(c.site, c.mode, -1, 50);
    Window().EngineCombo()->setCurrentIndex(c.site - 1);
    ResultTable* list = Window().ResultList();
    list->setRowCount(0);
    const int row = program_.port->AppendRow();
    program_.port->SetCellText(row, 1, "hit");
    program_.port->SetCellText(row, 4, c.link);
    program_.port->SetAddressText("old address");

    QElapsedTimer clock;
    qint64 requestEndedMs = -1;
    int requests = 0;
    const ScopedExchangeObserver observer([&](const TransportReport&) {
      ++requests;
      requestEndedMs = clock.elapsed();
    });
    clock.start();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 1)).center());
    const qint64 clickMs = clock.elapsed();
    std::cout << "window hostile: detail " << name << ": click blocked the window " << clickMs
              << " ms, its request " << requestEndedMs << " ms of it\n";
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(Window().TitleEdit()->ExactText(), u"hit"_s);
    EXPECT_EQ(Window().AddressEdit()->ExactText(), QString()) << "no markers, no address";
    bool handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });
    EXPECT_TRUE(ProcessEventsUntil([&handled] { return handled; }));
  }
}

}  // namespace
}  // namespace trawler::test
