#pragma once
#include "Core/Net/Platform.h"
#include "Core/Scan/Detection.h"
#include "Core/Settings/Settings.h"
#include "Core/Update/Updater.h"
#include "Core/Vendor/VendorTable.h"
#include "GUI/App/BoundActions.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMediaPlayer;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TQtDispatcher;
class TWorkerThread;
struct TResultRow;

// What the main window takes from its surroundings.
struct TMainWindowContext {
    bool StartupScan = false; // the "scan" switch
    // Whether the desktop has a notification area; left empty, the desktop is asked.
    std::function<bool()> TrayAvailable;
    // Where scans probe; left null, the real network of this platform. It must outlive the window's workers.
    TProbeFactory* Probes = nullptr;
    // The pause between the first worker starts of a scan; left empty, the thread really sleeps.
    std::function<void(std::chrono::milliseconds)> Sleep;
    // Where the update check asks for the current version; a test program points all its windows at itself.
    std::string UpdateServer = DefaultUpdateServer;
    static inline std::string DefaultUpdateServer = TUpdater::DefaultServer();
};

// The program's only permanent window. One file per role: MainWindow.cpp the shell and its window events,
// MainActions.cpp the actions with their enable rules, menus, toolbar and tray menu, ListCommands.cpp
// copying, saving and the MAC format of the list, ScanController.cpp the scans and the status bar,
// Settings.cpp the settings model.
class TfmHWKMain final : public QMainWindow {
    Q_OBJECT

public:
    explicit TfmHWKMain(TMainWindowContext context = {});
    ~TfmHWKMain() override;

    TSettings& Settings() { return settings_; }
    // What the tray icon and a later start of the program do: acShowApp.
    void ShowApp();
    // What acQuitApp does: saves the settings and really closes, also with the notification area in use.
    void Quit();
    // The tray icon is visible exactly when GenMinToTray is on.
    void UpdateTrayIcon();
    // Re-evaluates every action's enable rule: after each change of state and whenever the interface is idle.
    void UpdateActions();
    // After the All Devices window: each row's icon and "Info" from its device's current record.
    void RefreshKnownMarks();
    // The rows whose device is not marked known, in list order: address, MAC text, now, name, tab-separated.
    QStringList CollectUnrecognised() const;
    // Cleared while a modal window opened from here is open: the timer and the start-up scan then wait.
    void AllowAutomaticScans(bool allowed) { automaticScansAllowed_ = allowed; }
    bool AutomaticScansAllowed() const { return automaticScansAllowed_; }

signals:
    // The window has really closed, so the program ends.
    void Closed();
    // The end-of-scan steps of a scan have run.
    void ScanEnded();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    using TEnableRule = bool (TfmHWKMain::*)() const;
    struct TActionSpec;

    // MainWindow.cpp
    void CreateClientArea();
    void CreateStatusBar();
    void FormActivate();
    // Modal over this window; the timer's scans wait meanwhile.
    void ShowUpdateWindow(const std::string& version);
    void FormWindowStateChange();
    // Minimising and closing hide the window only where the tray icon can bring it back.
    bool HidesInTray() const;
    void HideInTray();
    void acShowAppExecute();
    void acQuitAppExecute();
    void acAboutExecute();
    void acHelpExecute();
    void acSettingsExecute();
    void acPropertiesExecute();
    void acDeviceManagerExecute();
    void acActivityExecute();

    // MainActions.cpp
    void CreateActions();
    QAction* CreateAction(const TActionSpec& spec);
    // An action that is not enabled does nothing, also when triggered by a shortcut or from code.
    void Bind(QAction* action, TEnableRule rule, std::function<void()> execute);
    void CreateMenus();
    void CreateToolBar();
    void CreateTrayIcon();
    void BuildLanguageMenu();
    void BuildCopyMenu();
    void FormatProductCaptions();
    // Runs a command; an error it raises reaches the user as a message.
    void RunGuarded(const std::function<void()>& command);
    bool ActionEnabledAnyTime() const;
    bool ActionEnabledWhenNotScanning() const;
    bool ActionEnabledWhenSelected() const;
    bool ActionEnabledWhenNotEmpty() const;

    // ListCommands.cpp
    QTreeWidgetItem* SelectedRow() const;
    void acCopyLineExecute();
    void CopyColumn(int column);
    void acSaveToFileExecute();
    void SaveList(const QString& fileName) const;
    void MACDelimExecute(char delimiter);
    // Checks the MAC format action that matches the current display format.
    void SyncMacFormatActions();

    // ScanController.cpp
    void acScanNowExecute();
    bool acScanNowUpdate() const;
    void StartScan(bool silent);
    bool FindAdapter();
    void ReportMissingAdapter();
    void SetScanButton(bool scanning);
    void StartNextWorker();
    void WorkerFinished(TWorkerThread& worker);
    void AddResultRow(const TResultRow& row);
    void EndScan();
    void FinishScan();
    void ScheduleNextScan();
    // Runs a write of the scan's records; a failure is shown once per scan and the scan goes on.
    void RecordGuarded(const std::function<void()>& record);
    void ShowEchoDeniedHint();
    // The running workers will report to nobody: what a closing window leaves behind.
    void AbandonWorkers();
    void StartupScan();
    bool IsScanning() const;
    bool IsScheduled() const;
    bool ScanIsDue() const;
    void UpdateStatusBar();
    void tmMainTimer();
    TProbeFactory& Probes() const;

    // Settings.cpp
    void LoadSettings();
    void SaveSettings();
    void LoadLayout();
    // The layout as the window has it now; Left and Top centred on the primary screen.
    TWindowLayout CurrentLayout() const;
    void ApplySortSettings();
    void StoreSortSettings(int column, Qt::SortOrder order);

    // AlertActions.cpp
    // The end of a scan that leaves unrecognised devices: sound, program, alert window, e-mail. Invokable so
    // that a test can raise an alert without a scan.
    Q_INVOKABLE void RunAlertActions(const QStringList& lines);
    void PlayAlertSound();
    void StartAlertProgram() const;
    void ShowAlertWindow(const QString& message, const QStringList& lines);
    void SendAlertMail(const QString& message, const QStringList& lines) const;
    // The user closed the alert window.
    void NotifyPopupClose();

    TMainWindowContext context_;
    TSettings settings_;
    std::unique_ptr<TPlatformIfNameMap> ifNames_; // friendly adapter names for display
    QMediaPlayer* alertSound_ = nullptr; // created for the first alert sound
    bool closing_ = false;
    bool quitRequested_ = false;
    bool stopRequested_ = false;
    bool automaticScansAllowed_ = false;
    bool starting_ = false;    // StartScan has not yet started its first workers
    bool scanActive_ = false;  // from the adapter found to the end-of-scan steps
    bool recordErrorShown_ = false;
    bool echoHintShown_ = false;

    TVendorTable vendors_;
    TScanContext scan_;
    std::deque<TIPv4> queue_;
    std::vector<TWorkerThread*> running_;
    std::unique_ptr<TQtDispatcher> dispatcher_;
    std::unique_ptr<TUpdater> updater_; // after the dispatcher, which must outlive it
    QString scanNowCaption_; // the designed idle texts of acScanNow
    QString scanNowHint_;

    QAction* acScanNow_ = nullptr;
    QAction* acSettings_ = nullptr;
    QAction* acProperties_ = nullptr;
    QAction* acHelp_ = nullptr;
    QAction* acShowApp_ = nullptr;
    QAction* acQuitApp_ = nullptr;
    QAction* acCopyLine_ = nullptr;
    QAction* acSaveToFile_ = nullptr;
    QAction* acAbout_ = nullptr;
    QAction* acMACDelimNone_ = nullptr;
    QAction* acMACDelimDash_ = nullptr;
    QAction* acMACDelimColon_ = nullptr;
    QAction* acDeviceManager_ = nullptr;
    QAction* acActivity_ = nullptr;
    TBoundActions actions_{this};

    QToolBar* tbMain_ = nullptr;
    QTreeWidget* lvMainView_ = nullptr;
    QProgressBar* pbMain_ = nullptr;
    std::array<QLabel*, 3> sbPanels_{};
    QTimer* tmMain_ = nullptr;
    QMenu* pmOperations_ = nullptr;
    QMenu* pmiCopy_ = nullptr;
    QMenu* mmiLanguage_ = nullptr;
    QMenu* pmTrayIcon_ = nullptr;
    QSystemTrayIcon* tiMain_ = nullptr;
};
