#include "GUI/MainView/MainWindow.h"

#include "Core/Common/DateTime.h"
#include "Core/Scan/Schedule.h"
#include "GUI/App/Translation.h"

#include <QLabel>
#include <QLocale>
#include <QTime>

namespace {

QString ShortTime(TDateTime value) {
    const std::tm local = ToLocalTm(value);
    return QLocale::system().toString(QTime(local.tm_hour, local.tm_min, local.tm_sec), QLocale::ShortFormat);
}

} // namespace

void TfmHWKMain::acScanNowExecute() {
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

// The probe workers arrive with the scan controller; until then a scan finds nothing to start.
void TfmHWKMain::StartScan(bool /*silent*/) {}

void TfmHWKMain::StartupScan() {}

bool TfmHWKMain::IsScanning() const {
    return false;
}

bool TfmHWKMain::IsScheduled() const {
    return ::IsScheduled(settings_.GenRescanFreq, settings_.GenNextRescan);
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
}
