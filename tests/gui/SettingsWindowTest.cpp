#include "GUI/Settings/Settings.h"

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/Install/Autostart.h"
#include "Core/Net/IPv4.h"
#include "Core/PartialMatch/PartialMatch.h"
#include "Core/Settings/Settings.h"
#include "GUI/App/UserDialogs.h"
#include "support/ScriptedProbes.h"
#include "support/TempDatabase.h"
#include "support/TempDir.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

using tarrowin::test::EnvGuard;
using tarrowin::test::TempDatabase;
using tarrowin::test::TempDir;
using tarrowin::test::TScriptedProbeFactory;

TIfItem Adapter(const std::string& name, const char* address, const char* mask) {
    return {name, SwapIPv4(StrToIPv4(address)), SwapIPv4(StrToIPv4(mask)), {}};
}

struct TSentMail {
    int Calls = 0;
    std::vector<std::string> Body;
    std::string Subject, Recipients, Server, UserName, Password;
    int Connection = -1;
};

class SettingsWindowTest : public testing::Test {
protected:
    SettingsWindowTest() : xdgHome_("XDG_CONFIG_HOME", configHome_.Path().c_str()) {
        TUserDialogs::Reset();
        ResetPartialList();
        probes_.SetInterfaces({Adapter("eth0", "192.168.1.10", "255.255.255.0")});
        settings_.GenIfName = "eth0";
    }
    ~SettingsWindowTest() override {
        window_.reset();
        ResetPartialList();
        ReleaseConfigStore();
    }

    TfmSettings& Open() {
        TSettingsContext context;
        context.Probes = &probes_;
        context.SecureMailAvailable = [this] { return secureMail_; };
        context.SendEmail = [this](const std::vector<std::string>& body, std::string_view subject,
                                   std::string_view recipients, std::string_view server, std::string_view userName,
                                   std::string_view password, int connection) {
            mail_ = {mail_.Calls + 1,       body,
                     std::string(subject),  std::string(recipients),
                     std::string(server),   std::string(userName),
                     std::string(password), connection};
            return mailAccepted_;
        };
        context.AskPartialRule = [this](QWidget*, QString& prefix, QString& comment) {
            prefix = QString::fromStdString(rulePrefix_);
            comment = QStringLiteral("Printer");
            return true;
        };
        window_ = std::make_unique<TfmSettings>(nullptr, std::move(context));
        window_->LoadFrom(settings_);
        window_->show();
        return *window_;
    }

    template <typename T> T* Find(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QCheckBox* Item(const char* name) { return Find<QCheckBox>(name); }
    QComboBox* Adapters() { return Find<QComboBox>("cmbIfList"); }

    // The messages the press showed; the window is still open exactly when it did not accept.
    QStringList PressOK() {
        TUserDialogs::Reset();
        Find<QPushButton>("btOK")->click();
        return TUserDialogs::Messages();
    }
    bool Accepted() const { return window_->result() == QDialog::Accepted && !window_->isVisible(); }

    void PickConnection(int index) {
        QComboBox* combo = Find<QComboBox>("cmbConnType");
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    std::filesystem::path AutostartEntry() const {
        return TXdgAutostart(QCoreApplication::applicationFilePath().toStdString()).EntryFile();
    }

    TempDatabase database_;
    TempDir configHome_;
    EnvGuard xdgHome_;
    TScriptedProbeFactory probes_;
    TSettings settings_;
    bool secureMail_ = true;
    bool mailAccepted_ = true;
    TSentMail mail_;
    std::string rulePrefix_ = "AA:BB:CC";
    std::unique_ptr<TfmSettings> window_;
};

// Each row breaks one more check than the next, so the message shows which check runs first.
TEST_F(SettingsWindowTest, OkChecksRunInOrderAndKeepTheWindowOpen) {
    struct TCase {
        bool noAdapter;
        bool badMail;
        const char* range;
        const char* message;
    };
    const TCase cases[] = {
        {true, true, "nonsense", "You must choose a network adapter"},
        {false, true, "nonsense", "Please specify your SMTP server and a recipient"},
        {false, false, "nonsense", "nonsense is not a valid range"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.message);
        probes_.SetInterfaces(c.noAdapter ? TIfList{} : TIfList{Adapter("eth0", "192.168.1.10", "255.255.255.0")});
        settings_.GenIfName = c.noAdapter ? "" : "eth0";
        settings_.AdvEnableMail = true;
        settings_.AdvMailServer = c.badMail ? "" : "mail.example.test";
        settings_.AdvRecipients = "me@example.test";
        Open();
        Edit("edCustomRange")->setText(QString::fromLatin1(c.range));
        EXPECT_EQ(PressOK(), QStringList{QString::fromLatin1(c.message)});
        EXPECT_TRUE(window_->isVisible());
        EXPECT_NE(window_->result(), QDialog::Accepted);
    }
}

TEST_F(SettingsWindowTest, CustomRangeOfMoreThan65535AddressesIsRefused) {
    Open();
    Edit("edCustomRange")->setText(QStringLiteral("192.168.0.0-192.168.255.255"));
    EXPECT_EQ(PressOK(),
              QStringList{QStringLiteral("Too large IP address range entered: 192.168.0.0-192.168.255.255")});
    EXPECT_FALSE(Accepted());

    Edit("edCustomRange")->setText(QStringLiteral("192.168.0.1-192.168.255.255"));
    EXPECT_TRUE(PressOK().isEmpty());
    ASSERT_TRUE(Accepted());
    window_->SaveTo(settings_);
    ASSERT_EQ(settings_.AdvCustRange.Size(), 1u);
    EXPECT_EQ(settings_.AdvCustRange.Items()[0].Count(), 65535u);
}

TEST_F(SettingsWindowTest, EmptyCustomRangeEmptiesTheRangeList) {
    settings_.AdvCustRange.Parse("10.0.0.1-10.0.0.9");
    Open();
    EXPECT_EQ(Edit("edCustomRange")->text().toStdString(), settings_.AdvCustRange.ToDisplayText());
    Edit("edCustomRange")->clear();
    ASSERT_TRUE(PressOK().isEmpty());
    window_->SaveTo(settings_);
    EXPECT_TRUE(settings_.AdvCustRange.Empty());
}

TEST_F(SettingsWindowTest, AdapterEntriesShowNameAddressAndMaskAndSelectCaseBlind) {
    probes_.SetInterfaces(
        {Adapter("eth0", "192.168.1.10", "255.255.255.0"), Adapter("WLAN0", "10.1.2.3", "255.0.0.0")});
    settings_.GenIfName = "wlan0";
    Open();
    ASSERT_EQ(Adapters()->count(), 2);
    EXPECT_EQ(Adapters()->itemText(0), QStringLiteral("eth0 (192.168.1.10/255.255.255.0)"));
    EXPECT_EQ(Adapters()->currentIndex(), 1);
    Adapters()->setCurrentIndex(0);
    ASSERT_TRUE(PressOK().isEmpty());
    window_->SaveTo(settings_);
    EXPECT_EQ(settings_.GenIfName, "eth0");
}

TEST_F(SettingsWindowTest, ConfiguredAdapterThatIsGoneKeepsItsName) {
    settings_.GenIfName = "eth9";
    Open();
    EXPECT_EQ(Adapters()->currentIndex(), -1);
    ASSERT_TRUE(PressOK().isEmpty());
    window_->SaveTo(settings_);
    EXPECT_EQ(settings_.GenIfName, "eth9");
}

TEST_F(SettingsWindowTest, TrackBarsShowOutOfRangeValuesAtTheNearerEnd) {
    settings_.GenMaxThreads = 50;
    settings_.GenRescanFreq = -3;
    Open();
    EXPECT_EQ(Find<QSlider>("tbMaxThreads")->value(), 32);
    EXPECT_EQ(Find<QLabel>("lbMaxThreads")->text(), QStringLiteral("Scan this many devices simultaneously: 32"));
    EXPECT_EQ(Find<QLabel>("lbRescanFreq")->text(), QStringLiteral("Rescan the network every (minutes): 0"));
    Find<QSlider>("tbRescanFreq")->setValue(15);
    EXPECT_EQ(Find<QLabel>("lbRescanFreq")->text(), QStringLiteral("Rescan the network every (minutes): 15"));
    window_->SaveTo(settings_);
    EXPECT_EQ(settings_.GenMaxThreads, 32);
    EXPECT_EQ(settings_.GenRescanFreq, 15);
}

TEST_F(SettingsWindowTest, PickingAConnectionTypeRewritesThePort) {
    struct TCase {
        const char* before;
        int pick;
        const char* after;
    };
    const TCase cases[] = {
        {"host", 2, "host:465"}, {"host:465", 0, "host:25"}, {"host", 1, "host:25"}, {"host:587", 2, "host:465"},
        {"", 0, ":25"},          {"a:b:c", 2, "a:465"},
    };
    Open();
    for (const TCase& c : cases) {
        Edit("leMailServer")->setText(QString::fromLatin1(c.before));
        PickConnection(c.pick);
        EXPECT_EQ(Edit("leMailServer")->text(), QString::fromLatin1(c.after)) << c.before << " " << c.pick;
    }
}

TEST_F(SettingsWindowTest, FillingTheConnectionTypeLeavesTheServerAlone) {
    settings_.AdvMailServer = "host";
    settings_.AdvMailConnection = 2;
    Open();
    EXPECT_EQ(Edit("leMailServer")->text(), QStringLiteral("host"));
    EXPECT_EQ(Find<QComboBox>("cmbConnType")->currentIndex(), 2);
}

TEST_F(SettingsWindowTest, UnknownConnectionValueSelectsNothingAndStaysUnchanged) {
    settings_.AdvMailConnection = 7;
    Open();
    EXPECT_EQ(Find<QComboBox>("cmbConnType")->currentIndex(), -1);
    window_->SaveTo(settings_);
    EXPECT_EQ(settings_.AdvMailConnection, 7);
}

TEST_F(SettingsWindowTest, TestIsEnabledOnlyWithServerAndAnAtSign) {
    struct TCase {
        bool enabled;
        const char* server;
        const char* recipients;
        bool expected;
    };
    const TCase cases[] = {
        {true, "mail.example.test", "me@example.test", true},
        {true, "mail.example.test", "me.example.test", false},
        {true, "", "me@example.test", false},
        {false, "mail.example.test", "me@example.test", false},
    };
    Open();
    for (const TCase& c : cases) {
        Item("cbEnableEmail")->setChecked(c.enabled);
        Edit("leMailServer")->setText(QString::fromLatin1(c.server));
        Edit("leRecipients")->setText(QString::fromLatin1(c.recipients));
        EXPECT_EQ(Find<QAction>("acTestEmail")->isEnabled(), c.expected) << c.server << " " << c.recipients;
        EXPECT_EQ(Find<QPushButton>("btTest")->isEnabled(), c.expected);
    }
}

TEST_F(SettingsWindowTest, TestMailUsesWhatTheWindowShows) {
    Open();
    Item("cbEnableEmail")->setChecked(true);
    Edit("leMailServer")->setText(QStringLiteral("mail.example.test:2525"));
    Edit("leRecipients")->setText(QStringLiteral("me@example.test"));
    Edit("leUserName")->setText(QStringLiteral("me"));
    Edit("lePassword")->setText(QStringLiteral("secret"));
    PickConnection(1);
    Edit("leMailServer")->setText(QStringLiteral("mail.example.test:2525"));

    Find<QPushButton>("btTest")->click();
    EXPECT_EQ(TUserDialogs::Messages(), QStringList{QStringLiteral("E-mail sent successfully")});
    EXPECT_EQ(mail_.Body, std::vector<std::string>{"Test message from Hallwick"});
    EXPECT_EQ(mail_.Subject, "Tarrowin");
    EXPECT_EQ(mail_.Recipients, "me@example.test");
    EXPECT_EQ(mail_.Server, "mail.example.test:2525");
    EXPECT_EQ(mail_.UserName, "me");
    EXPECT_EQ(mail_.Password, "secret");
    EXPECT_EQ(mail_.Connection, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    mailAccepted_ = false;
    TUserDialogs::Reset();
    Find<QPushButton>("btTest")->click();
    EXPECT_EQ(TUserDialogs::Messages(), QStringList{QStringLiteral("E-mail sending failed")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SettingsWindowTest, EmailControlsFollowTheCheckBoxAndTheTlsLibrary) {
    Open();
    EXPECT_FALSE(Edit("leMailServer")->isEnabled());
    Item("cbEnableEmail")->click();
    EXPECT_TRUE(Edit("leMailServer")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>("cmbConnType")->isEnabled());
    EXPECT_EQ(window_->findChild<QLabel*>(QStringLiteral("lbTlsHint")), nullptr);

    secureMail_ = false;
    Open();
    Item("cbEnableEmail")->click();
    EXPECT_TRUE(Edit("lePassword")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>("cmbConnType")->isEnabled());
    EXPECT_EQ(Find<QLabel>("lbTlsHint")->text(),
              QStringLiteral("OpenSSL libraries are required for a secure connection"));
}

TEST_F(SettingsWindowTest, CheckingAutostartCreatesTheEntryAndTheTrayOptionEvenWhenAChecksFails) {
    Open();
    EXPECT_FALSE(Item("cgBehaviourItem1")->isChecked());
    EXPECT_EQ(Item("cgBehaviourItem0")->text(), QStringLiteral("When minimised show in the notification area"));
    Item("cgBehaviourItem1")->click();
    Edit("edCustomRange")->setText(QStringLiteral("nonsense"));
    EXPECT_EQ(PressOK(), QStringList{QStringLiteral("nonsense is not a valid range")});
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(std::filesystem::exists(AutostartEntry()));
    EXPECT_TRUE(Item("cgBehaviourItem0")->isChecked());

    // A cancel after that press does not undo it, and the next window shows it.
    window_->reject();
    Open();
    EXPECT_TRUE(Item("cgBehaviourItem1")->isChecked());
}

TEST_F(SettingsWindowTest, AutostartEntryWrittenByHandIsKeptWhenOnAndDeletedWhenOff) {
    std::filesystem::create_directories(AutostartEntry().parent_path());
    std::ofstream(AutostartEntry()) << "[Desktop Entry]\nExec=/somewhere/else\n";
    Open();
    ASSERT_TRUE(Item("cgBehaviourItem1")->isChecked());
    ASSERT_TRUE(PressOK().isEmpty());
    std::stringstream kept;
    kept << std::ifstream(AutostartEntry()).rdbuf();
    EXPECT_EQ(kept.str(), "[Desktop Entry]\nExec=/somewhere/else\n");

    Open();
    Item("cgBehaviourItem1")->click();
    ASSERT_TRUE(PressOK().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(AutostartEntry()));
}

// The entry cannot be written when the configuration folder is a file: the error is shown and the window stays
// open, so the user can see that autostart did not take.
TEST_F(SettingsWindowTest, AutostartThatCannotBeWrittenIsReportedAndKeepsTheWindowOpen) {
    const std::filesystem::path blocked = configHome_.File("blocked");
    std::ofstream(blocked) << "not a folder";
    EnvGuard xdgHome("XDG_CONFIG_HOME", blocked.c_str());
    Open();
    Item("cgBehaviourItem1")->click();
    const QStringList messages = PressOK();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_FALSE(messages[0].isEmpty());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_NE(window_->result(), QDialog::Accepted);
}

TEST_F(SettingsWindowTest, AddingAStoredPrefixAgainShowsDuplicatesAndKeepsOneLine) {
    Open();
    Find<QPushButton>("btAdd")->click();
    auto* lines = Find<QListWidget>("lbPartialMatch");
    ASSERT_EQ(lines->count(), 1);
    EXPECT_EQ(lines->item(0)->text(), QStringLiteral("AA-BB-CC Printer"));

    rulePrefix_ = "aabbcc";
    TUserDialogs::Reset();
    Find<QPushButton>("btAdd")->click();
    EXPECT_EQ(TUserDialogs::Messages(), QStringList{QStringLiteral("Duplicates are not allowed")});
    EXPECT_EQ(lines->count(), 1);
    EXPECT_EQ(PartialList().Count(), 1);
}

TEST_F(SettingsWindowTest, DeletedRulesStayDeletedAfterCancel) {
    for (const char* prefix : {"00:11:22", "33:44:55", "66:77:88"}) {
        auto rule = std::make_unique<THWPartItem>(prefix);
        rule->Comment = prefix;
        PartialList().Add(std::move(rule));
    }
    Open();
    auto* lines = Find<QListWidget>("lbPartialMatch");
    ASSERT_EQ(lines->count(), 3);
    EXPECT_FALSE(Find<QAction>("acDelPartial")->isEnabled());
    lines->item(0)->setSelected(true);
    lines->item(2)->setSelected(true);
    ASSERT_TRUE(Find<QAction>("acDelPartial")->isEnabled());
    Find<QPushButton>("btDelete")->click();
    window_->reject();

    ASSERT_EQ(lines->count(), 1);
    EXPECT_EQ(lines->item(0)->text(), QStringLiteral("33-44-55 33:44:55"));
    ResetPartialList();
    PartialList().Load();
    ASSERT_EQ(PartialList().Count(), 1);
    EXPECT_EQ(PartialList().Items(0).Comment, "33:44:55");
}

TEST_F(SettingsWindowTest, OkCopiesEveryControlBack) {
    Open();
    Item("cgBehaviourItem0")->setChecked(true);
    Item("cgBehaviourItem2")->setChecked(false);
    Item("cgScanningOptionsItem0")->setChecked(true);
    Edit("fePlaySoundEdit")->setText(QStringLiteral("/sounds/alert.wav"));
    Edit("feExecCommandEdit")->setText(QStringLiteral("/bin/true"));
    Item("cbEnableEmail")->setChecked(true);
    Edit("leMailServer")->setText(QStringLiteral("mail.example.test"));
    Edit("leRecipients")->setText(QStringLiteral("me@example.test"));
    Edit("leUserName")->setText(QStringLiteral("me"));
    Edit("lePassword")->setText(QStringLiteral("secret"));
    Find<QComboBox>("cmbConnType")->setCurrentIndex(2);
    ASSERT_TRUE(PressOK().isEmpty());
    ASSERT_TRUE(Accepted());
    window_->SaveTo(settings_);
    EXPECT_TRUE(settings_.GenMinToTray);
    EXPECT_FALSE(settings_.AutoUpdateEnabled);
    EXPECT_TRUE(settings_.AdvGetPageTitle);
    EXPECT_EQ(settings_.GenSoundAlert, "/sounds/alert.wav");
    EXPECT_EQ(settings_.GenExecCommand, "/bin/true");
    EXPECT_TRUE(settings_.AdvEnableMail);
    EXPECT_EQ(settings_.AdvMailServer, "mail.example.test");
    EXPECT_EQ(settings_.AdvRecipients, "me@example.test");
    EXPECT_EQ(settings_.AdvMailUserName, "me");
    EXPECT_EQ(settings_.AdvMailPassword, "secret");
    EXPECT_EQ(settings_.AdvMailConnection, 2);
}

} // namespace

// Every page fits the designed client area. With TARROWIN_SCREENSHOTS naming a folder, the pages are saved
// there as settings-<page>.png for the documentation.
TEST_F(SettingsWindowTest, PagesFitTheDesignedClientArea) {
    probes_.SetInterfaces(
        {Adapter("eth0", "192.168.1.10", "255.255.255.0"), Adapter("wlan0", "10.1.2.3", "255.0.0.0")});
    settings_.AdvCustRange.Parse("10.0.0.1-10.0.0.100");
    settings_.AdvMailServer = "mail.example.test:465";
    settings_.AdvRecipients = "me@example.test";
    settings_.AdvEnableMail = true;
    settings_.AdvMailConnection = 2;
    for (const char* prefix : {"00:1A:2B", "AA:BB:CC"}) {
        auto rule = std::make_unique<THWPartItem>(prefix);
        rule->Comment = "Printers of the office";
        PartialList().Add(std::move(rule));
    }
    Open();
    QCoreApplication::processEvents();
    EXPECT_EQ(window_->size(), QSize(500, 571));
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    auto* pages = Find<QTabWidget>("pcSettings");
    const char* names[] = {"basic", "advanced", "email"};
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        if (!folder.isEmpty()) {
            const QString file = QDir(folder).filePath(QStringLiteral("settings-%1.png").arg(names[i]));
            EXPECT_TRUE(window_->grab().save(file)) << file.toStdString();
        }
    }
}
