#include "GUI/MainView/MainWindow.h"

#include "Core/Common/Clock.h"
#include "Core/Common/DateTime.h"
#include "Core/Common/Text.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Net/IPv4Range.h"
#include "Core/Scan/Schedule.h"
#include "Core/ThreadPool/WorkerThread.h"
#include "GUI/App/Icons.h"
#include "GUI/App/QtDispatcher.h"
#include "GUI/App/Translation.h"
#include "GUI/App/UserDialogs.h"
#include "GUI/MainView/ListEntry.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTime>
#include <QTreeWidget>

#include <algorithm>
#include <bit>
#include <climits>
#include <exception>
#include <thread>

namespace {

constexpr int idleImage = 0;
constexpr int stopImage = 4;
constexpr int unknownImage = 1;
constexpr int knownImage = 2;

QTime TimeOf(const std::tm& local) {
    return {local.tm_hour, local.tm_min, local.tm_sec};
}

QString ShortTime(TDateTime value) {
    return QLocale::system().toString(TimeOf(ToLocalTm(value)), QLocale::ShortFormat);
}

// The system's short date followed by its long time.
QString DateAndLongTime(TDateTime value) {
    const std::tm local = ToLocalTm(value);
    const QLocale locale = QLocale::system();
    return locale.toString(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), QLocale::ShortFormat) +
           QLatin1Char(' ') + locale.toString(TimeOf(local), QLocale::LongFormat);
}

// 2^(32 - bits in the mask), and 1 for an empty mask; capped to what a progress bar can count.
int BlockSize(TIPv4 mask) {
    const int hostBits = 32 - std::popcount(mask);
    if (hostBits == 32)
        return 1;
    return hostBits >= 31 ? INT_MAX : 1 << hostBits;
}

} // namespace

TProbeFactory& TfmHWKMain::Probes() const {
    return context_.Probes != nullptr ? *context_.Probes : PlatformProbeFactory();
}

void TfmHWKMain::acScanNowExecute() {
    // The one pass of pending events inside StartScan may bring a second press before any worker runs.
    if (starting_)
        return;
    if (!IsScanning()) {
        StartScan(false);
        return;
    }
    stopRequested_ = true;
    UpdateStatusBar();
    UpdateActions();
}

bool TfmHWKMain::acScanNowUpdate() const {
    return !stopRequested_;
}

void TfmHWKMain::StartScan(bool silent) {
    lvMainView_->clear();
    if (!FindAdapter()) {
        if (!silent)
            ReportMissingAdapter();
        return;
    }
    starting_ = true;
    scanActive_ = true;
    recordErrorShown_ = false;
    SetScanButton(true);
    lvMainView_->setSortingEnabled(false);
    RecordGuarded([this] { MarkOwnComputer(scan_.Adapter); });

    TIPv4 gateway = 0;
    scan_.GatewayFound = Probes().CreateInetConfig()->GetDefaultGateway(gateway);
    scan_.Gateway = scan_.GatewayFound ? gateway : 0;
    pbMain_->setRange(0, BlockSize(SwapIPv4(scan_.Adapter.Mask)));
    pbMain_->setValue(0);
    const std::vector<TIPv4> addresses = EnumerateScanAddresses(settings_.AdvCustRange, scan_.Adapter);
    queue_.assign(addresses.begin(), addresses.end());
    QCoreApplication::processEvents();

    // An edited database may hold any count; the stagger divides by it.
    const int workers = std::clamp(settings_.GenMaxThreads, MinThreads, MaxThreads);
    const std::chrono::milliseconds stagger(1000 / workers);
    for (int i = 0; i < workers; ++i) {
        if (context_.Sleep)
            context_.Sleep(stagger);
        else
            std::this_thread::sleep_for(stagger);
        StartNextWorker();
    }
    starting_ = false;
    UpdateStatusBar();
    UpdateActions();
}

bool TfmHWKMain::FindAdapter() {
    TIfList adapters;
    Probes().CreateInetConfig()->GetInterfaces(adapters);
    const auto found = std::find_if(adapters.begin(), adapters.end(), [this](const TIfItem& adapter) {
        return SameTextAscii(adapter.Name, settings_.GenIfName);
    });
    if (settings_.GenIfName.empty() || found == adapters.end())
        return false;
    scan_.Adapter = *found;
    return true;
}

void TfmHWKMain::ReportMissingAdapter() {
    const QString text = settings_.GenIfName.empty() ? Tr("No network adapter is chosen")
                                                     : TrFormat("Selected network adapter is unavailable: %s",
                                                                {ifNames_->DisplayName(settings_.GenIfName)});
    TUserDialogs::ShowMessage(this, TMessageKind::Error, text);
}

void TfmHWKMain::SetScanButton(bool scanning) {
    acScanNow_->setIcon(ToolbarImage(scanning ? stopImage : idleImage));
    acScanNow_->setText(scanning ? Tr("Stop Now") : Tr(scanNowCaption_.toStdString()));
    acScanNow_->setToolTip(scanning ? Tr("Stop scanning network") : Tr(scanNowHint_.toStdString()));
}

void TfmHWKMain::StartNextWorker() {
    if (closing_)
        return;
    if (queue_.empty() || stopRequested_) {
        if (running_.empty() && scanActive_)
            EndScan();
        return;
    }
    const TIPv4 address = queue_.front();
    queue_.pop_front();
    auto worker = std::make_unique<TWorkerThread>(address, settings_.AdvGetPageTitle, Probes());
    worker->Ping->IfName = settings_.GenIfName;
    running_.push_back(TWorkerThread::Start(std::move(worker), *dispatcher_,
                                            [this](TWorkerThread& finished) { WorkerFinished(finished); }));
}

void TfmHWKMain::WorkerFinished(TWorkerThread& worker) {
    pbMain_->setValue(pbMain_->value() + 1);
    if (worker.Ping->EchoAccess() == TEchoAccess::Denied)
        ShowEchoDeniedHint();
    const TProbeResult result = TProbeResult::From(worker);
    RecordGuarded([this, &result] {
        if (const std::optional<TResultRow> row = HandleProbeResult(result, scan_, vendors_))
            AddResultRow(*row);
    });
    running_.erase(std::remove(running_.begin(), running_.end(), &worker), running_.end());
    StartNextWorker();
}

void TfmHWKMain::AddResultRow(const TResultRow& row) {
    auto* entry = new TListEntry(row.HWAddr);
    for (int column = 0; column < rcColumnCount; ++column)
        entry->setText(column, QString::fromStdString(row.Cells[column]));
    entry->setIcon(rcAddress, DeviceImage(row.Known ? knownImage : unknownImage));
    lvMainView_->addTopLevelItem(entry);
}

void TfmHWKMain::EndScan() {
    scanActive_ = false;
    stopRequested_ = false;
    pbMain_->setValue(0);
    SetScanButton(false);
    lvMainView_->setSortingEnabled(true);
    FinishScan();
    ScheduleNextScan();
    UpdateStatusBar();
    UpdateActions();
    emit ScanEnded();
}

void TfmHWKMain::FinishScan() {
    const QStringList lines = CollectUnrecognised();
    if (!lines.isEmpty())
        RunAlertActions(lines);
}

void TfmHWKMain::ScheduleNextScan() {
    settings_.GenNextRescan = NextScanTime(Now(), settings_.GenRescanFreq);
}

QStringList TfmHWKMain::CollectUnrecognised() const {
    const QString seen = DateAndLongTime(Now());
    QStringList lines;
    for (int i = 0; i < lvMainView_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvMainView_->topLevelItem(i);
        const TListEntry* entry = TListEntry::Of(const_cast<QTreeWidgetItem*>(row));
        if (entry == nullptr || DeviceList().IsKnown(entry->HWAddr))
            continue;
        lines.append(
            QStringList{row->text(rcAddress), row->text(rcHWAddr), seen, row->text(rcName)}.join(QLatin1Char('\t')));
    }
    return lines;
}

void TfmHWKMain::RefreshKnownMarks() {
    lvMainView_->setUpdatesEnabled(false);
    for (int i = 0; i < lvMainView_->topLevelItemCount(); ++i) {
        TListEntry* entry = TListEntry::Of(lvMainView_->topLevelItem(i));
        if (entry == nullptr)
            continue;
        const int index = DeviceList().IndexOf(entry->HWAddr);
        const TDeviceItem* device = index >= 0 ? &DeviceList().Items(index) : nullptr;
        entry->setIcon(rcAddress, DeviceImage(device != nullptr && device->Known ? knownImage : unknownImage));
        entry->setText(rcInfo, device != nullptr ? QString::fromStdString(device->Comment) : QString());
    }
    lvMainView_->setUpdatesEnabled(true);
}

void TfmHWKMain::RecordGuarded(const std::function<void()>& record) {
    try {
        record();
    } catch (const std::exception& error) {
        if (recordErrorShown_)
            return;
        recordErrorShown_ = true;
        // Shown on the next turn of the event loop: the scan's own bookkeeping must not wait for the user.
        QMetaObject::invokeMethod(
            this,
            [this, text = QString::fromUtf8(error.what())] {
                TUserDialogs::ShowMessage(this, TMessageKind::Error, text);
            },
            Qt::QueuedConnection);
    }
}

void TfmHWKMain::ShowEchoDeniedHint() {
    if (echoHintShown_)
        return;
    echoHintShown_ = true;
    const QString text =
        TrFormat("Echo requests (ping) cannot be sent, so only devices already in the neighbour table are "
                 "found. To allow them, grant the program the right with\n  sudo setcap cap_net_raw+ep %s\n"
                 "or let your group use echo sockets through the system's ping group range "
                 "(sysctl net.ipv4.ping_group_range).",
                 {ProgramFile().string()});
    QMetaObject::invokeMethod(
        this, [this, text] { TUserDialogs::ShowMessage(this, TMessageKind::Information, text); }, Qt::QueuedConnection);
}

void TfmHWKMain::AbandonWorkers() {
    for (TWorkerThread* worker : running_)
        worker->Abandon();
    running_.clear();
}

void TfmHWKMain::StartupScan() {
    if (ScanIsDue())
        return; // the timer starts the overdue scan
    if (automaticScansAllowed_ && !IsScanning() && !starting_)
        StartScan(false);
}

bool TfmHWKMain::IsScanning() const {
    return !running_.empty();
}

bool TfmHWKMain::IsScheduled() const {
    return ::IsScheduled(settings_.GenRescanFreq, settings_.GenNextRescan);
}

bool TfmHWKMain::ScanIsDue() const {
    return IsScheduled() && settings_.GenNextRescan < Now();
}

void TfmHWKMain::UpdateStatusBar() {
    if (IsScanning()) {
        sbPanels_[0]->setText(Tr(stopRequested_ ? "Stopping..." : "Scanning network..."));
        sbPanels_[1]->clear();
    } else {
        sbPanels_[0]->setText(Tr("Idle"));
        sbPanels_[1]->setText(IsScheduled()
                                  ? TrFormat("Next scan at %s", {ShortTime(settings_.GenNextRescan).toStdString()})
                                  : Tr("Not scheduled"));
    }
    sbPanels_[2]->setText(QString::fromStdString(ifNames_->DisplayName(settings_.GenIfName)));
}

void TfmHWKMain::tmMainTimer() {
    UpdateStatusBar();
    if (!ScanIsDue())
        return;
    // A due scan that cannot run now is not made up later but moved one interval on.
    if (automaticScansAllowed_ && !IsScanning() && !starting_)
        StartScan(true);
    else
        ScheduleNextScan();
}
