#include "GUI/PartialEdit/PartialEdit.h"
#include "GUI/Properties/Properties.h"

#include "DeviceWindowsSupport.h"
#include "GUI/App/UserDialogs.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

using tarrowin::test::DeviceWindowFixture;
using tarrowin::test::WhenModal;

constexpr const char* Laptop = "00:1A:2B:3C:4D:5E";

class PropertiesTest : public DeviceWindowFixture {
protected:
    PropertiesTest() {
        TUserDialogs::Reset();
        AddDevice(Laptop, false, "old comment", EncodeDate(2024, 3, 1));
    }

    static bool Execute() {
        return TfmProperties::Execute(nullptr, StrToHWAddr(Laptop),
                                      {"192.168.1.20", "00-1A-2B-3C-4D-5E", "laptop.lan", "Acme Networks"});
    }
    static TDeviceItem Stored() {
        TDeviceList stored;
        stored.Load();
        return stored.Items(0);
    }
    static const TDeviceItem& Record() { return DeviceList().Items(DeviceList().IndexOf(StrToHWAddr(Laptop))); }
};

TEST_F(PropertiesTest, ShowsTheRowAndTheRecordAndStoresTheAnswerAfterOK) {
    WhenModal<TfmProperties>([](TfmProperties* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Properties");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbIPTitle")->text(), "IP address");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbIPValue")->text(), "192.168.1.20");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbMACValue")->text(), "00-1A-2B-3C-4D-5E");
        EXPECT_EQ(dialog->findChild<QLabel*>("lbHostNameValue")->text(), "laptop.lan");
        EXPECT_FALSE(dialog->Known());
        EXPECT_EQ(dialog->Comment(), "old comment");
        dialog->findChild<QCheckBox*>("cbKnownDevice")->setChecked(true);
        dialog->SetComment("new comment");
        dialog->findChild<QPushButton*>("btOK")->click();
    });
    EXPECT_TRUE(Execute());
    EXPECT_TRUE(Record().Known);
    EXPECT_EQ(Record().Comment, "new comment");
    EXPECT_TRUE(Stored().Known);
    EXPECT_EQ(Stored().Comment, "new comment");
    EXPECT_DOUBLE_EQ(Stored().LastSeen, EncodeDate(2024, 3, 1));
}

TEST_F(PropertiesTest, ClosingWithoutOKChangesNeitherRecordNorRow) {
    WhenModal<TfmProperties>([](TfmProperties* dialog) {
        dialog->SetKnown(true);
        dialog->SetComment("edited");
        dialog->close();
    });
    EXPECT_FALSE(Execute());
    EXPECT_FALSE(Record().Known);
    EXPECT_EQ(Stored().Comment, "old comment");
}

TEST_F(PropertiesTest, EnterStartsNoLineButPastedLineBreaksStay) {
    TfmProperties dialog(nullptr);
    auto* comment = dialog.findChild<QPlainTextEdit*>("mmComment");
    dialog.show();
    comment->setFocus();
    QTest::keyClicks(comment, "one");
    QTest::keyClick(comment, Qt::Key_Return);
    QTest::keyClick(comment, Qt::Key_Enter);
    QTest::keyClicks(comment, "two");
    EXPECT_EQ(dialog.Comment(), "onetwo");
    EXPECT_TRUE(dialog.isVisible());
    QApplication::clipboard()->setText("three\nfour");
    comment->paste();
    EXPECT_EQ(dialog.Comment(), "onetwothree\nfour");
}

TEST_F(PropertiesTest, ActivityButtonWorksWhileTheDialogIsOpenAndItsWindowStays) {
    WhenModal<TfmProperties>([this](TfmProperties* dialog) {
        dialog->findChild<QPushButton*>("btActivity")->click();
        EXPECT_EQ(ActivityWindows().size(), 1u);
        dialog->reject();
    });
    Execute();
    ASSERT_EQ(ActivityWindows().size(), 1u);
    EXPECT_TRUE(SameHWAddr(ActivityWindows()[0]->HWAddr(), StrToHWAddr(Laptop)));
}

struct TPrefixCase {
    const char* Prefix;
    const char* Comment;
    bool Accepted;
};

const TPrefixCase prefixCases[] = {
    {"AA:BB:CC", "Printer", true},  {"AABBCC", "Printer", true},   {"aa-bb-cc", "x", true},
    {"AABB:CC", " Printer ", true}, {"", "Printer", false},        {"AA:BB:CC", "", false},
    {"AA:BB:CC", "   ", false},     {"AA:BB:CC", "\t\r\n", false}, {"AA BB CC", "Printer", false},
    {"AA:BB", "Printer", false},    {"AABBCCD", "Printer", false}, {"AA:BB:CG", "Printer", false},
    {"::::::::", "Printer", false}, {"AABB-C:C", "Printer", true},
};

class PartialInputTest : public testing::TestWithParam<TPrefixCase> {
protected:
    PartialInputTest() { TUserDialogs::Reset(); }
};

TEST_P(PartialInputTest, OKChecksThePrefixAndTheComment) {
    TfmPartialInput dialog(nullptr);
    dialog.findChild<QLineEdit*>("leHWPart")->setText(QString::fromUtf8(GetParam().Prefix));
    dialog.findChild<QLineEdit*>("leComment")->setText(QString::fromUtf8(GetParam().Comment));
    dialog.findChild<QPushButton*>("btOK")->click();
    EXPECT_EQ(dialog.result() == QDialog::Accepted, GetParam().Accepted);
    const QStringList expected =
        GetParam().Accepted ? QStringList{} : QStringList{"Three octets of a MAC address and a comment are required"};
    EXPECT_EQ(TUserDialogs::Messages(), expected);
    // Handed back exactly as typed, the comment untrimmed.
    EXPECT_EQ(dialog.PrefixText(), QString::fromUtf8(GetParam().Prefix));
    EXPECT_EQ(dialog.CommentText(), QString::fromUtf8(GetParam().Comment));
}

void PrintTo(const TPrefixCase& c, std::ostream* out) {
    *out << '"' << c.Prefix << "\" \"" << c.Comment << '"';
}

INSTANTIATE_TEST_SUITE_P(Prefixes, PartialInputTest, testing::ValuesIn(prefixCases));

TEST(PartialInputDialogTest, TakesAtMostEightCharactersAndCancelChecksNothing) {
    TUserDialogs::Reset();
    TfmPartialInput dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), "Partial Match");
    auto* prefix = dialog.findChild<QLineEdit*>("leHWPart");
    dialog.show();
    QTest::keyClicks(prefix, "AA:BB:CC:D");
    EXPECT_EQ(prefix->text(), "AA:BB:CC");
    dialog.findChild<QPushButton*>("btCancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(TUserDialogs::Messages().isEmpty());
}

} // namespace

namespace {

TEST_F(PropertiesTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TARROWIN_SCREENSHOTS names no folder";
    TfmProperties properties(nullptr);
    properties.SetValues({"192.168.1.20", "00-1A-2B-3C-4D-5E", "laptop.lan"});
    properties.SetComment("Kitchen laptop");
    properties.SetKnown(true);
    properties.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&properties));
    EXPECT_TRUE(properties.grab().save(QDir(folder).filePath("properties.png")));
    TfmPartialInput partial(nullptr);
    partial.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&partial));
    EXPECT_TRUE(partial.grab().save(QDir(folder).filePath("partial-match.png")));
}

} // namespace
