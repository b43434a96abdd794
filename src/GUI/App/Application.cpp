#include "GUI/App/Application.h"

#include "GUI/App/CommandLine.h"
#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/SingleInstance.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/MainWindow.h"

#include <QApplication>

#include <exception>
#include <memory>
#include <string>
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

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

} // namespace

int RunApplication(int argc, char** argv) {
    // Read before Qt takes its own options out of the command line.
    const TStartOptions options = ParseCommandLine(ArgumentsOf(argc, argv));
    QCoreApplication::setApplicationName(QString::fromUtf8(ProductTitle));
    TApplication application(argc, argv);

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
        window = std::make_unique<TfmHWKMain>(TMainWindowContext{options.Scan, {}});
    } catch (const std::exception& error) {
        ShowGeneralError(error);
        return 1;
    }
    QObject::connect(window.get(), &TfmHWKMain::Closed, &application, &QCoreApplication::quit);
    if (!options.Hide)
        window->show();
    return TApplication::exec();
}
