#include "app/program.h"

#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "search/result_details.h"
#include "search/site_search.h"
#include "web/transport.h"

namespace trawler {
namespace {

std::once_flag programEndOnce;

void RunProgramEndOnce() { std::call_once(programEndOnce, OnProgramEnd); }

// Messages the toolkit gives while QApplication starts are held back: when it cannot reach
// a display it warns two or three times and then gives a fatal message that would abort the
// process with a core dump. Held back, they become one clear line and exit code 255; when
// the start succeeds they are passed on as they came.
struct HeldMessage {
  QtMsgType type;
  QByteArray file;
  int line;
  QByteArray function;
  QByteArray category;
  QString text;
};

std::mutex heldMutex;
std::vector<HeldMessage> heldMessages;
QtMessageHandler passOnHandler = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (type == QtFatalMsg) {
    // The one fatal message of QApplication's start: no window system could be reached.
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && display[0] != '\0') {
      std::fprintf(stderr,
                   "trawler: cannot connect to display \"%s\": the window cannot be shown\n",
                   display);
    } else {
      std::fprintf(stderr,
                   "trawler: no display to connect to (DISPLAY is not set): the window "
                   "cannot be shown\n");
    }
    std::fflush(stderr);
    _exit(255);
  }
  const std::lock_guard<std::mutex> lock(heldMutex);
  heldMessages.push_back({type, QByteArray(context.file), context.line,
                          QByteArray(context.function), QByteArray(context.category), message});
}

void PassOnHeldMessages() {
  qInstallMessageHandler(passOnHandler);
  std::vector<HeldMessage> held;
  {
    const std::lock_guard<std::mutex> lock(heldMutex);
    held.swap(heldMessages);
  }
  if (passOnHandler == nullptr) return;
  for (const HeldMessage& message : held) {
    const QMessageLogContext context(
        message.file.isNull() ? nullptr : message.file.constData(), message.line,
        message.function.isNull() ? nullptr : message.function.constData(),
        message.category.constData());
    passOnHandler(message.type, context, message.text);
  }
}

}  // namespace

QUrl UsagePageUrl() {
  const QDir programDir(QCoreApplication::applicationDirPath());
  return QUrl::fromLocalFile(
      QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral("../share/trawler/usage.html"))));
}

void OnWindowCreated(MainWindow& window) { SetComboSelection(*window.EngineCombo(), 0); }

void OnProgramEnd() {}

void EndProgramNow(int exitCode) {
  RunProgramEndOnce();
  std::fflush(nullptr);
  _exit(exitCode);
}

ProgramWindow CreateProgramWindow(ProgramParts parts) {
  ProgramWindow program;
  program.window = std::make_unique<MainWindow>(UsagePageUrl(), std::move(parts.opener));
  program.port = std::make_unique<QtControlsPort>(*program.window);
  program.dispatch = std::make_unique<SearchDispatch>(
      *program.port, parts.routines ? std::move(*parts.routines) : DefaultSiteRoutines(),
      parts.starter ? std::move(parts.starter) : WorkerStarter(StartWorker));

  SearchDispatch* dispatch = program.dispatch.get();
  ControlsPort* port = program.port.get();
  WindowHandlers handlers;
  handlers.onSearchClicked = [dispatch] { dispatch->OnSearchClicked(); };
  handlers.onNextPageClicked = [dispatch] { dispatch->OnNextPageClicked(); };
  handlers.onResultListClicked = [port] { OnResultListClicked(*port); };
  handlers.onCloseClicked = parts.onCloseClicked ? std::move(parts.onCloseClicked)
                                                 : std::function<void()>([] { EndProgramNow(0); });
  program.window->SetHandlers(std::move(handlers));

  OnWindowCreated(*program.window);
  return program;
}

void RunProgram(ProgramParts parts, const std::function<void(ProgramWindow&)>& onShown) {
  // libcurl's global set-up before any thread exists.
  InitTransport();
  // A library that calls exit() still ends the program through the end routine.
  std::atexit(RunProgramEndOnce);

  passOnHandler = qInstallMessageHandler(StartupMessageHandler);
  // The program reads no command line: the toolkit gets only the program's name.
  static int argc = 1;
  static char programName[] = "trawler";
  static char* argv[] = {programName, nullptr};
  QApplication application(argc, argv);
  PassOnHeldMessages();

  ProgramWindow program = CreateProgramWindow(std::move(parts));
  program.window->show();
  program.window->activateWindow();
  if (onShown) onShown(program);
  QApplication::exec();

  // The window is closed but kept, and so is the port: workers may still be waiting on a
  // hand-over to this thread. They end with the process.
  EndProgramNow(0);
}

int ProgramMain() { RunProgram(); }

}  // namespace trawler
