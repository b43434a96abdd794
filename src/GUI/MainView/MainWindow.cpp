#include "GUI/MainView/MainWindow.h"

#include "GUI/About/About.h"
#include "GUI/Activity/Activity.h"
#include "GUI/App/Icons.h"
#include "GUI/App/Product.h"
#include "GUI/App/QtDispatcher.h"
#include "GUI/App/Translation.h"
#include "GUI/DevMan/DevMan.h"
#include "GUI/MainView/ListEntry.h"
#include "GUI/Properties/Properties.h"
#include "GUI/Settings/Settings.h"
#include "GUI/Update/Update.h"
#include "Core/ThreadPool/WorkerThread.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSessionManager>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int designedWidth = 800;
constexpr int designedHeight = 500;
constexpr int clientMargin = 10;
constexpr int timerIntervalMs = 500;
constexpr int addressPadding = 12;

struct TColumnSpec {
    const char* Caption;
    int Width;
};

constexpr std::array<TColumnSpec, ResultColumnCount> resultColumns{{
    {"IP address", 100},
    {"MAC address", 130},
    {"RTT", 70},
    {"Name", 130},
    {"Info", 160},
    {"Vendor", 150},
}};

// The designed texts stand until the first status update.
constexpr std::array<TColumnSpec, 3> statusPanels{{
    {"Idle", 200},
    {"Next scan at %s", 200},
    {"Adapter name", 50},
}};

// Automatic scans wait while a window that edits settings or devices is open: a scan falling due meanwhile
// is moved on, not started. They resume as they were before.
auto HoldAutomaticScans(TfmHWKMain* window) {
    const bool allowed = window->AutomaticScansAllowed();
    window->AllowAutomaticScans(false);
    return qScopeGuard([window, allowed] { window->AllowAutomaticScans(allowed); });
}

} // namespace

TfmHWKMain::TfmHWKMain(TMainWindowContext context)
    : context_(std::move(context)), ifNames_(Probes().CreateIfNameMap()),
      dispatcher_(std::make_unique<TQtDispatcher>(this)),
      updater_(std::make_unique<TUpdater>(
          *dispatcher_, [this](const std::string& version) { ShowUpdateWindow(version); }, context_.UpdateServer)) {
    if (!context_.TrayAvailable)
        context_.TrayAvailable = &QSystemTrayIcon::isSystemTrayAvailable;
    setObjectName(QStringLiteral("fmHWKMain"));
    resize(designedWidth, designedHeight);
    // No menu for hiding the toolbar.
    setContextMenuPolicy(Qt::NoContextMenu);

    CreateActions();
    CreateClientArea();
    CreateStatusBar();
    CreateToolBar();
    CreateMenus();
    CreateTrayIcon();
    tmMain_ = new QTimer(this);
    tmMain_->setObjectName(QStringLiteral("tmMain"));
    tmMain_->setInterval(timerIntervalMs);
    connect(tmMain_, &QTimer::timeout, this, &TfmHWKMain::tmMainTimer);

    // The start-up work: the settings first, since the language decides the texts that follow.
    setWindowTitle(QString::fromUtf8(MainWindowCaption));
    vendors_.LoadVendorTable();
    LoadSettings();
    UpdateTrayIcon();
    BuildLanguageMenu();
    scanNowCaption_ = acScanNow_->text();
    scanNowHint_ = acScanNow_->toolTip();
    TranslateWindowsOnActivation(this);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SaveSettings(); });
    tiMain_->setIcon(ProgramIcon());
    tiMain_->setToolTip(QString::fromUtf8(ProductTitle));
    FormatProductCaptions();
    setWindowTitle(windowTitle() + QStringLiteral(" (") + Tr("portable") + QLatin1Char(')'));
    BuildCopyMenu();
    if (context_.StartupScan)
        QMetaObject::invokeMethod(this, &TfmHWKMain::StartupScan, Qt::QueuedConnection);

    automaticScansAllowed_ = true;
    tmMain_->start();
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TfmHWKMain::UpdateActions);
    UpdateActions();
}

// Destroyed without a real close (a test, an error at start-up): the workers must not report to it.
TfmHWKMain::~TfmHWKMain() {
    AbandonWorkers();
}

void TfmHWKMain::CreateClientArea() {
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(clientMargin, clientMargin, clientMargin, clientMargin);
    layout->setSpacing(clientMargin);

    lvMainView_ = new QTreeWidget(client);
    lvMainView_->setObjectName(QStringLiteral("lvMainView"));
    lvMainView_->setColumnCount(ResultColumnCount);
    QTreeWidgetItem* header = lvMainView_->headerItem();
    for (int i = 0; i < ResultColumnCount; ++i) {
        header->setText(i, QString::fromUtf8(resultColumns[i].Caption));
        lvMainView_->setColumnWidth(i, resultColumns[i].Width);
    }
    // The designed widths suit a narrow font; the longest address must still fit beside the row's image.
    const int addressWidth = lvMainView_->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) +
                             lvMainView_->style()->pixelMetric(QStyle::PM_SmallIconSize) + addressPadding;
    lvMainView_->setColumnWidth(rcAddress, std::max(lvMainView_->columnWidth(rcAddress), addressWidth));
    lvMainView_->setRootIsDecorated(false);
    lvMainView_->setUniformRowHeights(true);
    lvMainView_->setAllColumnsShowFocus(true);
    lvMainView_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMainView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvMainView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvMainView_->setContextMenuPolicy(Qt::CustomContextMenu);
    lvMainView_->setSortingEnabled(true);
    connect(lvMainView_->header(), &QHeaderView::sortIndicatorChanged, this, &TfmHWKMain::StoreSortSettings);
    connect(lvMainView_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmOperations_->popup(lvMainView_->viewport()->mapToGlobal(at)); });
    connect(lvMainView_, &QTreeWidget::itemDoubleClicked, acProperties_, &QAction::trigger);
    connect(lvMainView_, &QTreeWidget::itemSelectionChanged, this, &TfmHWKMain::UpdateActions);
    const QAbstractItemModel* rows = lvMainView_->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &TfmHWKMain::UpdateActions);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &TfmHWKMain::UpdateActions);

    pbMain_ = new QProgressBar(client);
    pbMain_->setObjectName(QStringLiteral("pbMain"));
    pbMain_->setRange(0, 100);
    pbMain_->setValue(0);
    pbMain_->setTextVisible(false);

    layout->addWidget(lvMainView_);
    layout->addWidget(pbMain_);
    setCentralWidget(client);
}

void TfmHWKMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("sbMain"));
    for (std::size_t i = 0; i < statusPanels.size(); ++i) {
        auto* panel = new QLabel(QString::fromUtf8(statusPanels[i].Caption), bar);
        panel->setObjectName(QStringLiteral("sbMainPanel%1").arg(i));
        panel->setMinimumWidth(statusPanels[i].Width);
        // The last panel takes the rest of the bar.
        bar->addWidget(panel, i + 1 == statusPanels.size() ? 1 : 0);
        sbPanels_[i] = panel;
    }
}

void TfmHWKMain::ShowApp() {
    acShowApp_->trigger();
}

void TfmHWKMain::Quit() {
    acQuitApp_->trigger();
}

void TfmHWKMain::UpdateTrayIcon() {
    tiMain_->setVisible(settings_.GenMinToTray);
}

bool TfmHWKMain::HidesInTray() const {
    return settings_.GenMinToTray && context_.TrayAvailable();
}

void TfmHWKMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    else if (event->type() == QEvent::WindowStateChange)
        FormWindowStateChange();
}

void TfmHWKMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window system's own show events (restoring from the task bar) are no new showing.
    if (!event->spontaneous())
        LoadLayout();
}

void TfmHWKMain::closeEvent(QCloseEvent* event) {
    // A failed save is shown, but the window still closes or hides as asked.
    RunGuarded([this] { SaveSettings(); });
    if (HidesInTray() && !quitRequested_) {
        event->ignore();
        hide();
        return;
    }
    closing_ = true;
    AbandonWorkers();
    event->accept();
    emit Closed();
}

void TfmHWKMain::FormActivate() {
    tmMainTimer();
    if (settings_.GenIfName.empty()) {
        TIfList adapters;
        Probes().CreateInetConfig()->GetInterfaces(adapters);
        if (adapters.size() == 1) {
            settings_.GenIfName = adapters.front().Name; // stored by the next save
            UpdateStatusBar();
        } else {
            acSettings_->trigger(); // the user picks one
        }
    }
    // The settings window may have switched the check on or off since the last activation.
    updater_->Enabled = settings_.AutoUpdateEnabled;
    updater_->Check();
}

void TfmHWKMain::ShowUpdateWindow(const std::string& version) {
    const bool scansAllowed = automaticScansAllowed_;
    AllowAutomaticScans(false);
    const QPointer<TfmHWKMain> alive(this);
    ShowUpdate(this, version, updater_->DownloadUrl());
    if (alive)
        AllowAutomaticScans(scansAllowed);
}

void TfmHWKMain::FormWindowStateChange() {
    // Hiding inside the state change would fight the window manager, so it waits for the next turn.
    if (isMinimized() && HidesInTray())
        QMetaObject::invokeMethod(this, &TfmHWKMain::HideInTray, Qt::QueuedConnection);
}

void TfmHWKMain::HideInTray() {
    if (!isMinimized())
        return;
    hide();
    setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TfmHWKMain::acShowAppExecute() {
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void TfmHWKMain::acQuitAppExecute() {
    quitRequested_ = true;
    close();
}

void TfmHWKMain::acAboutExecute() {
    TfmAbout about(this);
    about.exec();
}

void TfmHWKMain::acHelpExecute() {
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(ProductWebPage)));
}

// The windows these open come with their own folders (Settings, DevMan, Properties, Activity).
void TfmHWKMain::acSettingsExecute() {
    const auto scansHeld = HoldAutomaticScans(this);
    const auto updateStatus = qScopeGuard([this] { UpdateStatusBar(); });
    TSettingsContext context;
    context.Probes = &Probes();
    TfmSettings window(this, std::move(context));
    window.LoadFrom(settings_);
    if (window.ShowModal() != QDialog::Accepted)
        return;
    window.SaveTo(settings_);
    updater_->Enabled = settings_.AutoUpdateEnabled;
    ScheduleNextScan();
    UpdateTrayIcon();
    SaveSettings();
}

void TfmHWKMain::acPropertiesExecute() {
    QTreeWidgetItem* row = SelectedRow();
    TListEntry* entry = TListEntry::Of(row);
    if (entry == nullptr)
        return;
    const auto scansHeld = HoldAutomaticScans(this);
    const TPropertiesRow shown{row->text(rcAddress), row->text(rcHWAddr), row->text(rcName), row->text(rcVendor)};
    // Every row of the device follows its record, also a second address of the same device.
    if (TfmProperties::Execute(this, entry->HWAddr, shown))
        RefreshKnownMarks();
}

void TfmHWKMain::acDeviceManagerExecute() {
    const auto scansHeld = HoldAutomaticScans(this);
    TfmDevMan::Execute(this, vendors_, settings_.DevManSortColumn, settings_.DevManSortDesc);
    RefreshKnownMarks();
}

void TfmHWKMain::acActivityExecute() {
    QTreeWidgetItem* row = SelectedRow();
    if (TListEntry* entry = TListEntry::Of(row))
        TfmActivity::ShowActivity(entry->HWAddr, row->text(rcHWAddr), row->text(rcVendor));
}
