#include "GUI/App/Application.h"

#include "Core/ThreadPool/WorkerThread.h"
#include "GUI/App/CommandLine.h"
#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/SingleInstance.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/MainWindow.h"

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

void ShowGeneralError(const std::exception& error) {
    TUserDialogs::ShowMessage(QApplication::activeWindow(), TMessageKind::Error, QString::fromUtf8(error.what()));
}

// An error that no handler caught ends its event, not the program: the user sees its message.
class TApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowGeneralError(error);
            return false;
        }
    }
};

// Probes still running at the end get this long to free themselves before the process goes.
constexpr std::chrono::seconds abandonedWorkersGrace{3};

int termSignalPipe[2] = {-1, -1};

void ForwardTermSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(termSignalPipe[1], &byte, 1);
}

// SIGTERM (a session manager, a service stop, kill) quits as the Quit command does, so the settings are
// saved and running probes are left behind cleanly. The handler only writes a byte; the event loop does
// the rest.
void QuitOnTermSignal(TfmHWKMain& window) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, termSignalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(termSignalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(termSignalPipe[0], &byte, 1);
        window.Quit();
    });
    struct sigaction action {};
    action.sa_handler = &ForwardTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
}

// For the documentation's screenshots: with TARROWIN_GRAB_AFTER_SCAN naming a PNG file, the window grabs
// itself when the first scan has ended and the program quits.
void GrabAfterFirstScan(TfmHWKMain& window) {
    const QString file = qEnvironmentVariable("TARROWIN_GRAB_AFTER_SCAN");
    if (file.isEmpty())
        return;
    QObject::connect(&window, &TfmHWKMain::ScanEnded, &window, [&window, file] {
        window.grab().save(file, "PNG");
        window.Quit();
    });
}

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

} // namespace

int RunApplication(int argc, char** argv) {
    // Read before Qt takes its own options out of the command line.
    const TStartOptions options = ParseCommandLine(ArgumentsOf(argc, argv));
    QCoreApplication::setApplicationName(QString::fromUtf8(ProductTitle));
    TApplication application(argc, argv);
    // Runs without anyone at the screen (tests, headless checks): messages go to stderr, not to boxes.
    if (qEnvironmentVariableIsSet("TARROWIN_UNATTENDED"))
        TUserDialogs::SetUnattended(true);

    TSingleInstance instance;
    if (instance.FindRunningInstance())
        return 0;
    // The window's own close ends the program: a hidden main window must survive a closing dialog.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("tarrowin"));

    // Taken before the window exists, so that a start during the window's creation finds this copy.
    std::unique_ptr<TfmHWKMain> window;
    instance.Listen([&window] {
        if (window)
            window->ShowApp();
    });
    try {
        TMainWindowContext context;
        context.StartupScan = options.Scan;
        window = std::make_unique<TfmHWKMain>(std::move(context));
    } catch (const std::exception& error) {
        ShowGeneralError(error);
        return 1;
    }
    QObject::connect(window.get(), &TfmHWKMain::Closed, &application, &QCoreApplication::quit);
    QuitOnTermSignal(*window);
    GrabAfterFirstScan(*window);
    if (!options.Hide)
        window->show();
    const int exitCode = TApplication::exec();
    window.reset();
    TWorkerThread::WaitForAbandoned(abandonedWorkersGrace);
    return exitCode;
}
