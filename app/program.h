// The program's start and end: ProgramMain, the window's created event and the end routine.
//
// The program ends in one of two ways, both with exit code 0: CloseButton ends it at once
// (EndProgramNow), and Escape or any other close request closes the window, which ends the
// event loop. Either way OnProgramEnd runs once and the process ends with _exit: search
// workers may still be inside a request or waiting on a hand-over to the GUI thread, so
// nothing waits for them and no static destructor runs under their feet. The window and the
// controls port stay alive until then.
//
// With no display to open, the program prints one line on stderr and ends with exit code
// 255 (-1), without a core dump.
//
// Thread-safety: everything here runs on the GUI thread (the main thread), except
// EndProgramNow, which may be called from any thread.
#ifndef TRAWLER_APP_PROGRAM_H_
#define TRAWLER_APP_PROGRAM_H_

#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "app/hyperlink_box.h"
#include "app/main_window.h"
#include "app/qt_controls_port.h"
#include "search/dispatch.h"

namespace trawler {

// The window with everything bound to it.
struct ProgramWindow {
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<QtControlsPort> port;
  std::unique_ptr<SearchDispatch> dispatch;
};

// What the program is built from; tests replace parts of it. Empty members take the
// program's own: DefaultSiteRoutines(), StartWorker, EndProgramNow(0) for CloseButton, the
// desktop's browser for ForumLink.
struct ProgramParts {
  std::optional<SiteRoutines> routines;
  WorkerStarter starter;
  std::function<void()> onCloseClicked;
  HyperlinkBox::Opener opener;
};

// The usage page that ForumLink opens: share/trawler/usage.html beside the program's bin/
// folder, as installed and as laid out in the build tree.
[[nodiscard]] QUrl UsagePageUrl();

// Creates MainWindow hidden with its controls, the controls port and the search dispatch,
// binds the events, and raises the created event (OnWindowCreated). A QApplication must
// exist.
[[nodiscard]] ProgramWindow CreateProgramWindow(ProgramParts parts = {});

// The created event: selects item 0 of EngineCombo while the window is still hidden.
void OnWindowCreated(MainWindow& window);

// Runs once when the program ends, whichever way it ends. Does nothing: nothing is saved.
void OnProgramEnd();

// Runs OnProgramEnd (once over the whole process) and ends the process with `exitCode` at
// once, without static destructors and without waiting for any thread.
[[noreturn]] void EndProgramNow(int exitCode);

// Starts the toolkit, creates and shows the window (then calls `onShown`, if given, on the
// GUI thread), runs the event loop until the window is closed, and ends the process with
// exit code 0. Never returns.
[[noreturn]] void RunProgram(ProgramParts parts = {},
                             const std::function<void(ProgramWindow&)>& onShown = {});

// The program's entry: RunProgram with the program's own parts. Ends the process with 0
// when the window is gone (255 without a display); never returns.
int ProgramMain();

}  // namespace trawler

#endif  // TRAWLER_APP_PROGRAM_H_
