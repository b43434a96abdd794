#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/MainWindow.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Test discovery runs the program outside ctest's environment, so offscreen is the default here too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TUserDialogs::SetUnattended(true);
    // The main windows under test ask no server beyond this machine for updates: nothing listens on port 9.
    TMainWindowContext::DefaultUpdateServer = "http://127.0.0.1:9";
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
