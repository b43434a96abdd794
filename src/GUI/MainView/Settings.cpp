#include "GUI/MainView/MainWindow.h"

// The settings model: CONFIG in and out. Until the database is wired in, the defaults of TSettings stand
// and nothing is stored.

void TfmHWKMain::LoadSettings() {
    SyncMacFormatActions();
}

void TfmHWKMain::SaveSettings() {}

void TfmHWKMain::LoadLayout() {}
