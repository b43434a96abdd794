#include "GUI/Activity/Activity.h"

#include "Core/DeviceList/DeviceRows.h"
#include "DeviceWindowsSupport.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

#include <set>
#include <vector>

namespace {

using tarrowin::test::DeviceWindowFixture;
using tarrowin::test::WhenModal;

constexpr const char* Laptop = "00:1A:2B:3C:4D:5E";
constexpr const char* Phone = "0A:0B:0C:0D:0E:0F";

std::vector<int> SetHours(const std::array<bool, 24>& hours) {
    std::vector<int> set;
    for (int hour = 0; hour < 24; ++hour)
        if (hours[static_cast<size_t>(hour)])
            set.push_back(hour);
    return set;
}

// The clock stands at 20 March 2024 10:30.
class ActivityWindowTest : public DeviceWindowFixture {
protected:
    ActivityWindowTest() {
        AddDevice(Laptop, true, "laptop", clock_.Now());
        AddDevice(Phone, false, "phone", clock_.Now());
        AddActivity(Laptop, EncodeDateTime(2024, 3, 20, 9, 5, 0));
        AddActivity(Laptop, EncodeDateTime(2024, 3, 20, 14, 59, 0));
        AddActivity(Laptop, EncodeDateTime(2024, 3, 12, 23, 0, 0));
        AddActivity(Laptop, EncodeDateTime(2024, 2, 29, 8, 0, 0));
        AddActivity(Phone, EncodeDateTime(2024, 3, 18, 7, 0, 0));
    }

    static TfmActivity* Open(const char* address) {
        TfmActivity* window = TfmActivity::ShowActivity(StrToHWAddr(address), QString::fromLatin1(address),
                                                        QStringLiteral("Acme Networks"));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }
};

TEST_F(ActivityWindowTest, OpensAtTodayWithItsHoursAndTheOtherDaysHighlighted) {
    TfmActivity* window = Open(Laptop);
    TActivityCalendar* calendar = window->Calendar();
    EXPECT_EQ(calendar->selectedDate(), QDate(2024, 3, 20));
    EXPECT_EQ(SetHours(window->Hours()), (std::vector<int>{9, 14}));
    EXPECT_FALSE(calendar->IsHighlighted(QDate(2024, 3, 20))); // today keeps its own look
    EXPECT_TRUE(calendar->IsHighlighted(QDate(2024, 3, 12)));
    EXPECT_FALSE(calendar->IsHighlighted(QDate(2024, 3, 13)));
    EXPECT_FALSE(calendar->IsHighlighted(QDate(2024, 2, 29))); // a day of the month before, shown at the edge
    EXPECT_EQ(window->findChild<QLabel*>("lbMacAddressValue")->text(), Laptop);
    EXPECT_EQ(window->findChild<QLabel*>("lbVendorValue")->text(), "Acme Networks");
    EXPECT_EQ(window->findChild<QTableWidget*>("dgHours")->rowCount(), 24);
}

TEST_F(ActivityWindowTest, PickingADayReloadsTheHoursAndTheSelectedDayIsNotHighlighted) {
    TfmActivity* window = Open(Laptop);
    TActivityCalendar* calendar = window->Calendar();
    calendar->setSelectedDate(QDate(2024, 3, 12));
    EXPECT_EQ(SetHours(window->Hours()), std::vector<int>{23});
    EXPECT_FALSE(calendar->IsHighlighted(QDate(2024, 3, 12)));
    calendar->setSelectedDate(QDate(2024, 3, 13));
    EXPECT_TRUE(SetHours(window->Hours()).empty());
    EXPECT_TRUE(calendar->IsHighlighted(QDate(2024, 3, 12)));
    // The month before: now its own days count, the 29th among them.
    calendar->setSelectedDate(QDate(2024, 2, 1));
    EXPECT_TRUE(calendar->IsHighlighted(QDate(2024, 2, 29)));
    EXPECT_FALSE(calendar->IsHighlighted(QDate(2024, 3, 12)));
}

TEST_F(ActivityWindowTest, HighlightsFollowTheDatabaseAtEveryPaint) {
    TfmActivity* window = Open(Phone);
    EXPECT_FALSE(window->Calendar()->IsHighlighted(QDate(2024, 3, 5)));
    AddActivity(Phone, EncodeDateTime(2024, 3, 5, 12, 0, 0));
    EXPECT_TRUE(window->Calendar()->IsHighlighted(QDate(2024, 3, 5)));
}

TEST_F(ActivityWindowTest, HighlightedDayIsPaintedInTheHighlightColour) {
    TfmActivity* window = Open(Laptop);
    const QImage image = window->Calendar()->grab().toImage();
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y) & 0xFFFFFF);
    EXPECT_TRUE(colours.count(qRgb(166, 202, 240) & 0xFFFFFF));
}

TEST_F(ActivityWindowTest, TwoWindowsForTwoDevicesKeepTheirOwnHours) {
    TfmActivity* laptop = Open(Laptop);
    TfmActivity* phone = Open(Phone);
    EXPECT_EQ(ActivityWindows().size(), 2u);
    phone->Calendar()->setSelectedDate(QDate(2024, 3, 18));
    EXPECT_EQ(SetHours(phone->Hours()), std::vector<int>{7});
    EXPECT_EQ(SetHours(laptop->Hours()), (std::vector<int>{9, 14}));
    EXPECT_EQ(laptop->Calendar()->selectedDate(), QDate(2024, 3, 20));
}

TEST_F(ActivityWindowTest, SizeIsSharedThroughTheSettingsAndTheWindowIsCentred) {
    TfmActivity* first = Open(Laptop);
    EXPECT_EQ(first->size(), QSize(TfmActivity::DesignWidth, TfmActivity::DesignHeight));
    first->resize(600, 700);
    first->close();
    EXPECT_EQ(ConfigStore().ReadConfig("ActivityWindowWidth", 0), 600);
    EXPECT_EQ(ConfigStore().ReadConfig("ActivityWindowHeight", 0), 700);

    TfmActivity* second = Open(Phone);
    EXPECT_EQ(second->size(), QSize(600, 700));
    const QRect screen = second->screen()->geometry();
    EXPECT_EQ(second->x(), screen.width() / 2 - 600 / 2);
    EXPECT_EQ(second->y(), screen.height() / 2 - 700 / 2);
}

TEST_F(ActivityWindowTest, RefusesToShrinkBelowHalfItsDesignSize) {
    TfmActivity* window = Open(Laptop);
    EXPECT_EQ(window->minimumSize(), QSize(TfmActivity::DesignWidth / 2, TfmActivity::DesignHeight / 2));
    window->resize(100, 100);
    EXPECT_EQ(window->size(), window->minimumSize());
}

TEST_F(ActivityWindowTest, AForgottenDeviceShowsNothing) {
    ForgetDevices(DeviceList(), ConfigStore(), {StrToHWAddr(Laptop)});
    TfmActivity* window = Open(Laptop);
    EXPECT_TRUE(SetHours(window->Hours()).empty());
    EXPECT_FALSE(window->Calendar()->IsHighlighted(QDate(2024, 3, 12)));
}

// Records the windows that a modal dialog blocks.
class TBlockedSpy final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowBlocked)
            blocked.insert(watched);
        return false;
    }
    std::set<QObject*> blocked;
};

TEST_F(ActivityWindowTest, OpensUsableBesideAModalDialogAndOutlivesIt) {
    TBlockedSpy spy;
    qApp->installEventFilter(&spy);
    QWidget control; // an ordinary window, which the dialog does block: the spy sees blocking
    control.show();
    TfmActivity* activity = nullptr;
    auto* dialog = new QDialog;
    WhenModal<QDialog>([&](QDialog* modal) {
        activity = Open(Laptop);
        QApplication::processEvents();
        EXPECT_TRUE(spy.blocked.count(&control));
        EXPECT_FALSE(spy.blocked.count(activity));
        modal->accept();
    });
    dialog->exec();
    delete dialog;
    qApp->removeEventFilter(&spy);
    ASSERT_EQ(ActivityWindows().size(), 1u);
    EXPECT_EQ(ActivityWindows()[0], activity);
    EXPECT_TRUE(activity->isVisible());
}

TEST_F(ActivityWindowTest, Screenshot) {
    const QString folder = qEnvironmentVariable("TARROWIN_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TARROWIN_SCREENSHOTS names no folder";
    for (int hour : {7, 8, 12, 13, 19})
        AddActivity(Laptop, EncodeDateTime(2024, 3, 20, hour, 0, 0));
    for (int day : {1, 4, 5, 8, 15, 18})
        AddActivity(Laptop, EncodeDateTime(2024, 3, day, 10, 0, 0));
    TfmActivity* window = Open(Laptop);
    EXPECT_TRUE(window->grab().save(QDir(folder).filePath("activity.png")));
}

} // namespace
