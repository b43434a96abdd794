#include "GUI/MainView/MainWindow.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Lang/Language.h"
#include "Core/Settings/OldSettings.h"
#include "GUI/App/Translation.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QTreeWidget>

#include <algorithm>

void TfmHWKMain::LoadSettings() {
    TWindowLayout layout = CurrentLayout();
    // A layout taken over from the old file was saved to CONFIG with it, so the next show reads it there.
    ::LoadSettings(settings_, layout, OldSettingsPath(ProgramFile()));
    ApplyLanguageDirection();
    updater_->LastCheck = settings_.AutoUpdateChecked;
    SyncMacFormatActions();
    ApplySortSettings();
}

void TfmHWKMain::ApplySortSettings() {
    const int column = std::clamp(settings_.GenSortColumn, 0, ResultColumnCount - 1);
    lvMainView_->sortByColumn(column, settings_.GenSortDesc != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TfmHWKMain::StoreSortSettings(int column, Qt::SortOrder order) {
    settings_.GenSortColumn = column;
    settings_.GenSortDesc = order == Qt::DescendingOrder ? 1 : 0;
}

void TfmHWKMain::SaveSettings() {
    TWindowLayout layout = CurrentLayout();
    layout.Left = x();
    layout.Top = y();
    layout.Maximized = isMaximized();
    layout.NormalState = !isMaximized() && !isMinimized();
    settings_.Language = LanguageTable().CurrentLanguage();
    settings_.ViewMACDelim = CurrentMacFormat();
    settings_.AutoUpdateChecked = updater_->LastCheck;
    WriteSettings(ConfigStore(), settings_, layout);
}

void TfmHWKMain::LoadLayout() {
    const TWindowLayout defaults = CurrentLayout();
    const TWindowLayout layout = ReadLayout(ConfigStore(), defaults);
    for (int column = 0; column < ResultColumnCount; ++column)
        lvMainView_->setColumnWidth(column, layout.ColumnWidths[column]);
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    move(WithinVirtualDesktop(layout.Left, desktop.left(), desktop.width()) ? layout.Left : defaults.Left,
         WithinVirtualDesktop(layout.Top, desktop.top(), desktop.height()) ? layout.Top : defaults.Top);
    resize(layout.Width, layout.Height);
    // Asked for once the show has been handled, so that the normal geometry above stays the one restored.
    if (layout.Maximized)
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() | Qt::WindowMaximized); }, Qt::QueuedConnection);
}

TWindowLayout TfmHWKMain::CurrentLayout() const {
    TWindowLayout layout;
    for (int column = 0; column < ResultColumnCount; ++column)
        layout.ColumnWidths[column] = lvMainView_->columnWidth(column);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    layout.Width = width();
    layout.Height = height();
    layout.Left = screen.width() / 2 - layout.Width / 2;
    layout.Top = screen.height() / 2 - layout.Height / 2;
    layout.Maximized = false;
    return layout;
}
