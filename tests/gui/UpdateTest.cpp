#include "GUI/Update/Update.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Lang/Language.h"
#include "GUI/App/Product.h"
#include "GUI/MainView/MainWindow.h"
#include "support/TempDatabase.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <string>

namespace {

// Takes the place of the web browser.
class TUrlCatcher final : public QObject {
    Q_OBJECT

public:
    TUrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "Open"); }
    ~TUrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }

    Q_INVOKABLE void Open(const QUrl& url) { Opened.append(url); }

    QList<QUrl> Opened;
};

class TLanguageGuard {
public:
    explicit TLanguageGuard(const char* language) { LanguageTable().SetLanguage(language); }
    ~TLanguageGuard() { LanguageTable().SetLanguage("English"); }
};

QString Text(const QWidget& window, const char* name) {
    if (const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name)))
        return label->text();
    if (const auto* button = window.findChild<QPushButton*>(QString::fromLatin1(name)))
        return button->text();
    return QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

TEST(UpdateWindowTest, ShowsBothVersionsAndOpensTheDownloadPageWithoutClosing) {
    TUrlCatcher browser;
    TfmUpdate window(nullptr, "1.9.9", "http://127.0.0.1:9/products/hallwick/?from=nver");
    window.show();

    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarrowin"));
    EXPECT_EQ(Text(window, "lbInfo"), QStringLiteral("New version of Tarrowin is found!"));
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("lbInfo"))->font().bold());
    const auto* group = window.findChild<QGroupBox*>(QStringLiteral("gbVerInfo"));
    ASSERT_NE(group, nullptr);
    ASSERT_NE(group->findChild<QLabel*>(QStringLiteral("lbCurVer")), nullptr);
    EXPECT_EQ(Text(window, "lbCurVer"), QStringLiteral("Your version: ") + QString::fromUtf8(ProductVersion));
    EXPECT_EQ(Text(window, "lbNewVer"), QStringLiteral("New version: 1.9.9"));
    EXPECT_FALSE(window.findChild<QLabel*>(QStringLiteral("imLogo"))->pixmap().isNull());

    auto* download = window.findChild<QPushButton*>(QStringLiteral("btDownloadNow"));
    ASSERT_NE(download, nullptr);
    EXPECT_EQ(download->text(), QStringLiteral("Download Now"));
    QTest::mouseClick(download, Qt::LeftButton);
    EXPECT_EQ(browser.Opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9/products/hallwick/?from=nver"))});
    EXPECT_TRUE(window.isVisible());
}

TEST(UpdateWindowTest, TranslatesEachTextBeforeFillingItIn) {
    const TLanguageGuard dutch("Dutch");
    const TfmUpdate window(nullptr, "%s", "http://127.0.0.1:9/");

    EXPECT_EQ(Text(window, "lbCurVer"), QStringLiteral("Uw versie: ") + QString::fromUtf8(ProductVersion));
    // A placeholder in the server's answer stays text.
    EXPECT_TRUE(Text(window, "lbNewVer").endsWith(QStringLiteral(": %s")));
    EXPECT_EQ(Text(window, "btDownloadNow"), QString::fromStdString(LanguageTable().Translate("Download Now")));
    EXPECT_NE(Text(window, "lbInfo"), QStringLiteral("New version of Tarrowin is found!"));
}

// Answers every request with status 200 and the same version file, and counts the requests.
class TVersionServer {
public:
    explicit TVersionServer(QByteArray file) : file_(std::move(file)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection())
                Serve(client);
        });
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()); }
    int Requests() const { return requests_; }

private:
    void Serve(QTcpSocket* client) {
        QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] {
            request_ += client->readAll();
            if (!request_.contains("\r\n\r\n"))
                return;
            request_.clear();
            ++requests_;
            client->write("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(file_.size()) + "\r\n\r\n" + file_);
            client->disconnectFromHost();
        });
    }

    QTcpServer server_;
    const QByteArray file_;
    QByteArray request_;
    int requests_ = 0;
};

class MainWindowUpdateTest : public testing::Test {
protected:
    static TMainWindowContext LocalUpdates(const std::string& server) {
        TMainWindowContext context;
        context.TrayAvailable = [] { return false; };
        context.UpdateServer = server;
        return context;
    }

    void Activate(QWidget& window) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Every update window that comes up is noted and closed, as a user would.
    void AnswerUpdateWindows() {
        connect_ = QObject::connect(&poll_, &QTimer::timeout, [this] {
            if (auto* update = dynamic_cast<TfmUpdate*>(QApplication::activeModalWidget())) {
                shown_.append(Text(*update, "lbNewVer"));
                update->reject();
            }
        });
        poll_.start(10);
    }

    tarrowin::test::TempDatabase database_;
    TVersionServer server_{"1.9.9\r\n"};
    TfmHWKMain window_{LocalUpdates(server_.Url())};
    QTimer poll_;
    QMetaObject::Connection connect_;
    QStringList shown_;
};

TEST_F(MainWindowUpdateTest, FirstActivationShowsTheUpdateOnceAndTheCheckTimeIsSaved) {
    window_.Settings().GenIfName = "eth0"; // no adapter choice on activation
    AnswerUpdateWindows();
    Activate(window_);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !shown_.isEmpty(); }));
    EXPECT_EQ(shown_, QStringList{QStringLiteral("New version: 1.9.9")});

    // The check just succeeded, so activating the window again asks nobody.
    QWidget other;
    Activate(other);
    Activate(window_);
    QApplication::processEvents();
    EXPECT_EQ(server_.Requests(), 1);
    EXPECT_EQ(shown_.size(), 1);

    window_.Quit();
    TConfigStore& store = ConfigStore();
    EXPECT_GT(store.ReadConfig("AutoUpdateChecked", TDateTime{0}), 0);
}

} // namespace

#include "UpdateTest.moc"
