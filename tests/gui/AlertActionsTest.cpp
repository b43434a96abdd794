// The alerts at the end of a scan: the sound, the external program, the alert window and the e-mail, the
// last one delivered to a loopback SMTP server (python3-aiosmtpd).
#include "GUI/MainView/MainWindow.h"
#include "GUI/NotifyPopup/NotifyPopup.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

using tarrowin::test::TempDatabase;
using tarrowin::test::TempDir;
namespace fs = std::filesystem;

const QStringList twoDevices{
    QStringLiteral("192.168.1.20\t00-1A-2B-3C-4D-5E\t2025-12-09 14:05:00\tprinter"),
    QStringLiteral("192.168.1.31\tAA-BB-CC-00-11-22\t2025-12-09 14:05:00\t"),
};
const QStringList oneDevice{QStringLiteral("10.0.0.7\t02-00-00-00-00-07\t2025-12-09 15:00:00\tphone")};

// Waits for something another process does; the limit only ends a test that would otherwise hang.
template <typename Done> bool WaitFor(Done done) {
    for (int attempt = 0; attempt < 500 && !done(); ++attempt)
        QTest::qWait(20);
    return done();
}

QString Text(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// Receives what the alert window's Help would open in a browser.
class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    explicit TUrlRecorder(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "Open");
    }
    ~TUrlRecorder() override { QDesktopServices::unsetUrlHandler(scheme_); }

    QList<QUrl> Opened;

public slots:
    void Open(const QUrl& url) { Opened.append(url); }

private:
    QString scheme_;
};

class AlertActionsTest : public testing::Test {
protected:
    AlertActionsTest() : window_(WithTray()) {}

    static TMainWindowContext WithTray() {
        TMainWindowContext context;
        context.TrayAvailable = [] { return true; };
        return context;
    }

    void Alert(const QStringList& lines) {
        ASSERT_TRUE(QMetaObject::invokeMethod(&window_, "RunAlertActions", Q_ARG(QStringList, lines)));
    }

    // The alert windows still on screen; closed ones are gone once their deletion has run.
    QList<TfmNotifyPopup*> Popups() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QList<TfmNotifyPopup*> shown;
        for (TfmNotifyPopup* popup : window_.findChildren<TfmNotifyPopup*>())
            if (popup->isVisible())
                shown.append(popup);
        return shown;
    }

    TfmNotifyPopup* OnlyPopup() {
        const QList<TfmNotifyPopup*> shown = Popups();
        EXPECT_EQ(shown.size(), 1);
        return shown.value(0);
    }

    static QStringList Rows(const TfmNotifyPopup& popup) {
        const auto* list = popup.findChild<QTreeWidget*>(QStringLiteral("lvMainView"));
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows.append(list->topLevelItem(i)->text(0) + QLatin1Char(' ') + list->topLevelItem(i)->text(1));
        return rows;
    }

    static QPushButton* Button(const TfmNotifyPopup& popup, const char* name) {
        return popup.findChild<QPushButton*>(QString::fromLatin1(name));
    }

    QAction* ShowApp() { return window_.findChild<QAction*>(QStringLiteral("acShowApp")); }

    TempDatabase database_;
    TfmHWKMain window_;
    TempDir dir_;
};

TEST_F(AlertActionsTest, AlertWindowListsTheDevicesUnderTheMessage) {
    Alert(twoDevices);
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->windowTitle(), QStringLiteral("Tarrowin"));
    EXPECT_TRUE(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const auto* title = popup->findChild<QLabel*>(QStringLiteral("lbTitle"));
    EXPECT_EQ(title->text(), QStringLiteral("Tarrowin has found 2 unrecognised devices!"));
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(Rows(*popup), QStringList({QStringLiteral("192.168.1.20 00-1A-2B-3C-4D-5E"),
                                         QStringLiteral("192.168.1.31 AA-BB-CC-00-11-22")}));
    const auto* list = popup->findChild<QTreeWidget*>(QStringLiteral("lvMainView"));
    EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(Button(*popup, "OKButton")->isVisible());
    EXPECT_TRUE(Button(*popup, "HelpButton")->isVisible());
    EXPECT_FALSE(Button(*popup, "CancelButton")->isVisible());
}

TEST_F(AlertActionsTest, HeaderClicksSortAndReverse) {
    Alert({QStringLiteral("10.0.0.2\tB"), QStringLiteral("10.0.0.1\tC"), QStringLiteral("10.0.0.3\tA")});
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    QHeaderView* header = popup->findChild<QTreeWidget*>(QStringLiteral("lvMainView"))->header();
    emit header->sectionClicked(1);
    EXPECT_EQ(Rows(*popup), QStringList({"10.0.0.3 A", "10.0.0.2 B", "10.0.0.1 C"}));
    emit header->sectionClicked(1);
    EXPECT_EQ(Rows(*popup), QStringList({"10.0.0.1 C", "10.0.0.2 B", "10.0.0.3 A"}));
    emit header->sectionClicked(0);
    EXPECT_EQ(Rows(*popup), QStringList({"10.0.0.1 C", "10.0.0.2 B", "10.0.0.3 A"}));
}

TEST_F(AlertActionsTest, NextAlertReplacesTheWindowWithoutRaisingTheMainWindow) {
    QSignalSpy raised(ShowApp(), &QAction::triggered);
    Alert(twoDevices);
    Alert(oneDevice);
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(Rows(*popup), QStringList({QStringLiteral("10.0.0.7 02-00-00-00-00-07")}));
    EXPECT_EQ(raised.count(), 0);
    EXPECT_FALSE(window_.isVisible());
}

TEST_F(AlertActionsTest, ClosingByTheUserBringsTheMainWindowUp) {
    struct TCase {
        const char* Name;
        bool Minimised; // otherwise hidden in the notification area
        bool ByOK;      // otherwise the close box
    };
    const TCase cases[] = {{"HiddenCloseBox", false, false},
                           {"HiddenOK", false, true},
                           {"MinimisedCloseBox", true, false},
                           {"MinimisedOK", true, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        window_.hide();
        if (c.Minimised)
            window_.showMinimized();
        Alert(twoDevices);
        TfmNotifyPopup* popup = OnlyPopup();
        ASSERT_NE(popup, nullptr);
        QSignalSpy raised(ShowApp(), &QAction::triggered);
        if (c.ByOK)
            Button(*popup, "OKButton")->click();
        else
            popup->close();
        EXPECT_TRUE(Popups().isEmpty());
        EXPECT_EQ(raised.count(), 1);
        EXPECT_TRUE(window_.isVisible());
        EXPECT_FALSE(window_.isMinimized());
    }
}

TEST_F(AlertActionsTest, HelpOpensTheWebPageAndLeavesTheAlertOpen) {
    const TUrlRecorder browser(QStringLiteral("https"));
    Alert(twoDevices);
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    Button(*popup, "HelpButton")->click();
    ASSERT_EQ(browser.Opened.size(), 1);
    EXPECT_EQ(browser.Opened[0].host(), QStringLiteral("tarrowin.pembrid.example"));
    EXPECT_EQ(Popups().size(), 1);
}

TEST_F(AlertActionsTest, AlertOverAVisibleMainWindowIsCentredOnIt) {
    window_.setGeometry(100, 120, 900, 600);
    window_.show();
    Alert(twoDevices);
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_LE((popup->frameGeometry().center() - window_.frameGeometry().center()).manhattanLength(), 2);
}

// With TARROWIN_SCREENSHOTS naming a folder, the alert window holding three rows is saved there.
TEST_F(AlertActionsTest, AlertWindowDrawsItsRows) {
    Alert({QStringLiteral("192.168.1.20\t00-1A-2B-3C-4D-5E"), QStringLiteral("192.168.1.31\tAA-BB-CC-00-11-22"),
           QStringLiteral("192.168.1.107\t3C-22-FB-9A-01-7E")});
    TfmNotifyPopup* popup = OnlyPopup();
    ASSERT_NE(popup, nullptr);
    const QImage image = popup->grab().toImage();
    EXPECT_GE(image.width(), 479);
    EXPECT_GE(image.height(), 241);
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(image.save(QDir(folder).filePath(QStringLiteral("alert-window.png"))));
    }
}

// ---- the external program ----

// A program that leaves a file beside itself when it starts.
fs::path WriteProgram(const fs::path& folder, const std::string& marker) {
    fs::create_directories(folder);
    const fs::path program = folder / ("alert " + marker + ".sh");
    QFile file(Text(program));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(Text(folder / marker)).toUtf8());
    file.close();
    fs::permissions(program, fs::perms::owner_all);
    return program;
}

TEST_F(AlertActionsTest, ProgramWithBlanksInItsPathStarts) {
    const fs::path folder = dir_.File("my programs");
    window_.Settings().GenExecCommand = WriteProgram(folder, "started").string();
    Alert(twoDevices);
    EXPECT_TRUE(WaitFor([&] { return fs::exists(folder / "started"); }));
}

TEST_F(AlertActionsTest, PathThatIsNoExistingFileIsSkipped) {
    const fs::path folder = dir_.File("bin");
    const fs::path skipped = WriteProgram(folder, "wrongly-started");
    for (const std::string& path :
         {skipped.string() + " --quiet", (folder / "deleted.sh").string(), folder.string(), std::string()}) {
        window_.Settings().GenExecCommand = path;
        Alert(twoDevices);
    }
    // A program that does start tells when the skipped ones would have had their chance.
    window_.Settings().GenExecCommand = WriteProgram(folder, "started").string();
    Alert(twoDevices);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(folder / "started"); }));
    EXPECT_FALSE(fs::exists(folder / "wrongly-started"));
    EXPECT_EQ(Popups().size(), 1);
}

// ---- the sound ----

// Half a second of silence, 8 kHz mono 8 bit.
void WriteWave(const fs::path& path) {
    constexpr quint32 samples = 4000;
    QByteArray wave("RIFF");
    auto put32 = [&](quint32 v) { wave.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](quint16 v) { wave.append(reinterpret_cast<const char*>(&v), 2); };
    put32(36 + samples);
    wave.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(8000);
    put16(1);
    put16(8);
    wave.append("data");
    put32(samples);
    wave.append(QByteArray(samples, '\x80'));
    QFile file(Text(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(wave);
}

TEST_F(AlertActionsTest, SoundThatCannotPlayIsSkippedSilently) {
    const fs::path wave = dir_.File("alert.wav");
    WriteWave(wave);
    const bool audio = !QMediaDevices::audioOutputs().isEmpty();
    for (const fs::path& path : {dir_.File("gone.wav"), dir_.Path(), fs::path(), audio ? fs::path() : wave}) {
        window_.Settings().GenSoundAlert = path.string();
        Alert(twoDevices);
    }
    EXPECT_EQ(window_.findChild<QMediaPlayer*>(), nullptr);
    EXPECT_EQ(Popups().size(), 1);
}

TEST_F(AlertActionsTest, SoundFilePlaysWithoutHoldingTheAlertBack) {
    if (QMediaDevices::audioOutputs().isEmpty())
        GTEST_SKIP() << "no audio output device here";
    const fs::path wave = dir_.File("alert sound.wav");
    WriteWave(wave);
    window_.Settings().GenSoundAlert = wave.string();
    Alert(twoDevices);
    Alert(twoDevices);
    const QList<QMediaPlayer*> players = window_.findChildren<QMediaPlayer*>();
    ASSERT_EQ(players.size(), 1) << "one player serves every alert";
    EXPECT_EQ(players[0]->source(), QUrl::fromLocalFile(Text(wave)));
    EXPECT_EQ(Popups().size(), 1);
}

// ---- the e-mail ----

// The mail tests' server, with the certificates its TLS profiles need; only its plain profile is used here.
class TSmtpServer {
public:
    // An empty text on success, otherwise what went wrong.
    QString Start(const fs::path& dir) {
        recordDir_ = dir / "records";
        fs::create_directories(recordDir_);
        if (!MakeCertificates(dir))
            return QStringLiteral("openssl could not make the test certificates");
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.setStandardErrorFile(Text(dir / "server.log"));
        // Debian's python3-aiosmtpd belongs to the system interpreter, which a PATH may shadow.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
        process_.start(python, {QStringLiteral(TARROWIN_FIXTURES "/mail/smtp_server.py"), Text(dir), Text(recordDir_)});
        while (!process_.canReadLine() && process_.waitForReadyRead(30000)) {
        }
        const QJsonDocument ports = QJsonDocument::fromJson(process_.readLine());
        port_ = ports.object().value(QStringLiteral("plain")).toInt();
        if (port_ == 0) {
            QFile log(Text(dir / "server.log"));
            log.open(QIODevice::ReadOnly);
            return QStringLiteral("the SMTP server did not start (python3-aiosmtpd missing?): ") +
                   QString::fromUtf8(log.readAll());
        }
        return {};
    }

    ~TSmtpServer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(10000))
            process_.kill();
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // The records of the connections that have ended, oldest first.
    std::vector<QJsonObject> Records() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(recordDir_))
            if (entry.path().extension() == ".json")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::vector<QJsonObject> records;
        for (const fs::path& path : files) {
            QFile file(Text(path));
            file.open(QIODevice::ReadOnly);
            records.push_back(QJsonDocument::fromJson(file.readAll()).object());
        }
        return records;
    }

private:
    static bool Run(const QStringList& arguments) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
               openssl.exitCode() == 0;
    }

    static bool MakeCertificate(const fs::path& dir, const QString& name, const QString& issuer) {
        QStringList arguments{"req",
                              "-x509",
                              "-newkey",
                              "ec",
                              "-pkeyopt",
                              "ec_paramgen_curve:prime256v1",
                              "-nodes",
                              "-days",
                              "2",
                              "-keyout",
                              Text(dir / (name + ".key").toStdString()),
                              "-out",
                              Text(dir / (name + ".pem").toStdString()),
                              "-subj",
                              "/CN=" + name};
        if (!issuer.isEmpty())
            arguments << "-CA" << Text(dir / (issuer + ".pem").toStdString()) << "-CAkey"
                      << Text(dir / (issuer + ".key").toStdString()) << "-addext"
                      << "subjectAltName=IP:127.0.0.1";
        return Run(arguments);
    }

    static bool MakeCertificates(const fs::path& dir) {
        return MakeCertificate(dir, "ca", {}) && MakeCertificate(dir, "otherca", {}) &&
               MakeCertificate(dir, "server", "ca") && MakeCertificate(dir, "untrusted", "otherca") &&
               MakeCertificate(dir, "wronghost", "ca");
    }

    QProcess process_;
    fs::path recordDir_;
    int port_ = 0;
};

class AlertMailTest : public AlertActionsTest {
protected:
    void SetUp() override {
        const QString error = server_.Start(dir_.File("smtp"));
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        TSettings& settings = window_.Settings();
        settings.AdvEnableMail = true;
        settings.AdvMailServer = server_.Address();
        settings.AdvRecipients = "ops@tarrowin.test";
    }

    // Waits for the server to record that many connections.
    std::vector<QJsonObject> Records(std::size_t count) {
        WaitFor([&] { return server_.Records().size() >= count; });
        return server_.Records();
    }

    TSmtpServer server_;
};

TEST_F(AlertMailTest, MailCarriesTheLinesUnderTheMessage) {
    Alert(twoDevices);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const std::vector<QJsonObject> records = Records(1);
    ASSERT_EQ(records.size(), 1u);
    const QJsonArray messages = records[0].value("messages").toArray();
    ASSERT_EQ(messages.size(), 1);
    const QJsonObject message = messages[0].toObject();
    EXPECT_EQ(message.value("subject").toString(), QStringLiteral("Tarrowin has found 2 unrecognised devices!"));
    const QString body = message.value("body").toString();
    EXPECT_TRUE(body.contains(twoDevices[0])) << body.toStdString();
    EXPECT_TRUE(body.contains(twoDevices[1])) << body.toStdString();
    EXPECT_EQ(Popups().size(), 1);
}

TEST_F(AlertMailTest, NoMailUnlessEnabledWithServerAndRecipients) {
    TSettings& settings = window_.Settings();
    settings.AdvEnableMail = false;
    Alert(twoDevices);
    settings.AdvEnableMail = true;
    settings.AdvRecipients.clear();
    Alert(twoDevices);
    settings.AdvRecipients = "ops@tarrowin.test";
    settings.AdvMailServer.clear();
    Alert(twoDevices);
    // The one mail that is due shows that none went before it.
    settings.AdvMailServer = server_.Address();
    Alert(oneDevice);
    const std::vector<QJsonObject> records = Records(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].value("messages")[0].toObject().value("subject").toString(),
              QStringLiteral("Tarrowin has found 1 unrecognised devices!"));
}

TEST_F(AlertMailTest, FailedDeliveryIsSilent) {
    // A loopback port nobody listens on, then a refused login.
    TSettings& settings = window_.Settings();
    settings.AdvMailServer = "127.0.0.1:1";
    Alert(twoDevices);
    settings.AdvMailServer = server_.Address();
    settings.AdvMailUserName = "alice";
    settings.AdvMailPassword = "wrong";
    Alert(oneDevice);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Popups().size(), 1);
    const std::vector<QJsonObject> records = Records(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].value("messages").toArray().isEmpty());
}

} // namespace

#include "AlertActionsTest.moc"
