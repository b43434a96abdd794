// The alert actions at the end of a scan that leaves unrecognised devices, in their fixed order.
#include "GUI/MainView/MainWindow.h"

#include "Core/Mail/MailSender.h"
#include "GUI/App/Product.h"
#include "GUI/App/Translation.h"
#include "GUI/NotifyPopup/NotifyPopup.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaFormat>
#include <QMediaPlayer>
#include <QProcess>
#include <QUrl>

#include <string>
#include <vector>

namespace {

// A path from the settings that names an existing file; anything else (empty, deleted, a path followed by
// arguments) skips its action.
bool NamesExistingFile(const std::string& path) {
    return !path.empty() && QFileInfo(QString::fromStdString(path)).isFile();
}

// The hourglass for the length of a blocking step.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The media backends of some Qt releases crash where no sound can play (no audio device, no decoders), so
// the player is not even created there.
bool CanPlaySounds() {
    return !QMediaDevices::audioOutputs().isEmpty() &&
           !QMediaFormat().supportedFileFormats(QMediaFormat::Decode).isEmpty();
}

} // namespace

void TfmHWKMain::RunAlertActions(const QStringList& lines) {
    PlayAlertSound();
    StartAlertProgram();
    const QString message =
        TrFormat("%s has found %d unrecognised devices!", {ProductTitle, std::to_string(lines.size())});
    ShowAlertWindow(message, lines);
    SendAlertMail(message, lines);
}

void TfmHWKMain::PlayAlertSound() {
    if (!NamesExistingFile(settings_.GenSoundAlert) || !CanPlaySounds())
        return;
    if (alertSound_ == nullptr) {
        // Playback reports its failures as signals nobody listens to: a sound that cannot play stays silent.
        alertSound_ = new QMediaPlayer(this);
        alertSound_->setObjectName(QStringLiteral("alertSound"));
        alertSound_->setAudioOutput(new QAudioOutput(alertSound_));
    }
    alertSound_->stop();
    alertSound_->setSource(QUrl::fromLocalFile(QString::fromStdString(settings_.GenSoundAlert)));
    alertSound_->play();
}

void TfmHWKMain::StartAlertProgram() const {
    if (NamesExistingFile(settings_.GenExecCommand))
        QProcess::startDetached(QString::fromStdString(settings_.GenExecCommand), {});
}

void TfmHWKMain::ShowAlertWindow(const QString& message, const QStringList& lines) {
    // Closing the previous alert is no closing by the user, so it must not bring this window up.
    for (TfmNotifyPopup* previous : findChildren<TfmNotifyPopup*>(Qt::FindDirectChildrenOnly)) {
        disconnect(previous, &TfmNotifyPopup::Closed, this, nullptr);
        previous->close();
    }
    auto* popup = new TfmNotifyPopup(this);
    connect(popup, &TfmNotifyPopup::Closed, this, &TfmHWKMain::NotifyPopupClose);
    if (isVisible() && !isMinimized())
        popup->CentreOver(frameGeometry());
    popup->SetTitle(message);
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        popup->AddDevice(fields.value(0), fields.value(1));
    }
    popup->show();
}

void TfmHWKMain::SendAlertMail(const QString& message, const QStringList& lines) const {
    if (!settings_.AdvEnableMail || settings_.AdvMailServer.empty() || settings_.AdvRecipients.empty())
        return;
    std::vector<std::string> body;
    body.reserve(lines.size());
    for (const QString& line : lines)
        body.push_back(line.toStdString());
    const TBusyCursor busy;
    // Delivery is best effort: a failure of any kind is silent and the end of the scan goes on.
    try {
        SendEmailAlert(body, message.toStdString(), settings_.AdvRecipients, settings_.AdvMailServer,
                       settings_.AdvMailUserName, settings_.AdvMailPassword, settings_.AdvMailConnection);
    } catch (...) {
    }
}

void TfmHWKMain::NotifyPopupClose() {
    // acShowApp restores a minimised window as well as showing a hidden one.
    ShowApp();
}
