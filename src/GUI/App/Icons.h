#pragma once
#include <QIcon>

// The program's icon: window, tray and desktop entry.
QIcon ProgramIcon();
// The main window's toolbar images by their index: 0 scan, 1 help, 2 settings, 3 properties, 4 stop,
// 5 all devices. A null icon for any other index.
QIcon ToolbarImage(int index);
// The result list's row images: 1 a device not marked known, 2 a known one. A null icon otherwise.
QIcon DeviceImage(int index);
