#include "Core/DeviceList/DeviceList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Core/Common/Clock.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "support/TempDir.h"

using tarrowin::test::TempDir;

namespace {

class TFixedClock : public TClock {
public:
    TDateTime Now() const override { return now; }
    TDateTime now = EncodeDateTime(2024, 3, 1, 10, 30, 0);
};

THWAddr Addr(const char* text) {
    return StrToHWAddr(text);
}

// Every test gets its own database file and an empty device list.
class DeviceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigStorePath(dir_.File("devices.DB"));
        SetClock(&clock_);
        ResetDeviceList();
    }
    void TearDown() override {
        ResetDeviceList();
        SetClock(nullptr);
        SetConfigStorePath({});
    }

    static void InsertRow(const std::string& hwaddr, int known, const std::string& info, const std::string& lastSeen) {
        ConfigStore().Exec("INSERT INTO DEVICE VALUES ('" + hwaddr + "', " + std::to_string(known) + ", '" + info +
                           "', '" + lastSeen + "')");
    }
    static int DeviceRows() {
        TConfigStore& db = ConfigStore();
        return db.WithStatement("SELECT COUNT(*) FROM DEVICE", [&] { return db.Step() ? db.ColumnInt(0) : -1; });
    }
    static std::vector<std::string> Comments() {
        std::vector<std::string> comments;
        for (const TDeviceItem& item : DeviceList())
            comments.push_back(item.Comment);
        return comments;
    }

    TempDir dir_;
    TFixedClock clock_;
};

TEST_F(DeviceListTest, LoadKeepsStorageOrderAndEveryField) {
    InsertRow("CC:00:00:00:00:03", 1, "printer", "2023-05-06 07:08:09");
    InsertRow("00:00:00:00:00:01", 0, "", "2022-01-02 03:04:05");
    InsertRow("AA:00:00:00:00:02", 1, "phone", "bad date");

    DeviceList().Load();

    TDeviceList& list = DeviceList();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(Comments(), (std::vector<std::string>{"printer", "", "phone"}));
    EXPECT_EQ(list.Items(0).HWAddr, Addr("CC:00:00:00:00:03"));
    EXPECT_TRUE(list.Items(0).Known);
    EXPECT_EQ(list.Items(0).LastSeen, EncodeDateTime(2023, 5, 6, 7, 8, 9));
    EXPECT_FALSE(list.Items(1).Known);
    EXPECT_EQ(list.Items(2).LastSeen, 0.0);
    for (int pos = 0; pos < list.Count(); ++pos)
        EXPECT_EQ(list.IndexOf(list.Items(pos).HWAddr), pos);
}

TEST_F(DeviceListTest, SecondLoadAppendsAndLookupsFindTheFirstCopy) {
    InsertRow("00:00:00:00:00:01", 0, "a", "2022-01-02 03:04:05");
    InsertRow("00:00:00:00:00:02", 0, "b", "2022-01-02 03:04:05");
    DeviceList().Load();
    DeviceList().Load();

    TDeviceList& list = DeviceList();
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.IndexOf(Addr("00:00:00:00:00:02")), 1);
    EXPECT_EQ(&list.FindOrAdd(Addr("00:00:00:00:00:02")), &list.Items(1));

    // With the first copy gone, the second one (now at position 2) is the one found.
    list.Remove(Addr("00:00:00:00:00:02"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.IndexOf(Addr("00:00:00:00:00:02")), 2);
    EXPECT_EQ(list.IndexOf(Addr("00:00:00:00:00:01")), 0);
}

TEST_F(DeviceListTest, RowWithUnreadableAddressLoadsAsZeroAddress) {
    InsertRow("not an address", 5, "odd", "2022-01-02 03:04:05");
    DeviceList().Load();
    ASSERT_EQ(DeviceList().Count(), 1);
    EXPECT_TRUE(IsZeroHWAddr(DeviceList().Items(0).HWAddr));
    EXPECT_TRUE(DeviceList().Items(0).Known);
    EXPECT_EQ(DeviceList().Items(0).Comment, "odd");
}

TEST_F(DeviceListTest, LoadRaisesDatabaseErrorAndReleasesTheLock) {
    ConfigStore().Exec("DROP TABLE ACTIVITY");
    ConfigStore().Exec("DROP TABLE DEVICE");
    EXPECT_THROW(DeviceList().Load(), ESQLiteException);
    EXPECT_EQ(DeviceList().Count(), 0);
    // The statement slot is free again: the connection still answers.
    EXPECT_NO_THROW(ConfigStore().WriteConfig("Probe", 1));
}

TEST_F(DeviceListTest, QueriesAboutUnseenAddressCreateRecordInMemoryOnly) {
    InsertRow("00:00:00:00:00:01", 1, "a", "2022-01-02 03:04:05");
    DeviceList().Load();
    TDeviceList& list = DeviceList();
    const THWAddr fresh = Addr("00-1A-2B-3C-4D-5E");

    EXPECT_FALSE(list.IsKnown(fresh));
    ASSERT_EQ(list.Count(), 2);
    const TDeviceItem& created = list.Items(1);
    EXPECT_EQ(created.HWAddr, fresh);
    EXPECT_FALSE(created.Known);
    EXPECT_EQ(created.Comment, "");
    EXPECT_EQ(created.LastSeen, clock_.now);
    EXPECT_EQ(list.LastSeenOf(fresh), clock_.now);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(DeviceRows(), 1);
}

TEST_F(DeviceListTest, FindOrAddReturnsTheSameRecordForEveryTextForm) {
    TDeviceList& list = DeviceList();
    TDeviceItem& record = list.FindOrAdd(Addr("00:1A:2B:3C:4D:5E"));
    record.Comment = "laptop";
    for (const char* text : {"00:1A:2B:3C:4D:5E", "00-1A-2B-3C-4D-5E", "001A2B3C4D5E", "00:1a:2b:3c:4d:5e"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(&list.FindOrAdd(Addr(text)), &record);
        EXPECT_TRUE(list.Contains(Addr(text)));
    }
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(DeviceListTest, RecordsStayPutWhileTheListGrows) {
    TDeviceList& list = DeviceList();
    TDeviceItem* first = &list.FindOrAdd(Addr("00:00:00:00:00:01"));
    for (int i = 0; i < 5000; ++i)
        list.FindOrAdd(THWAddr{0x02, 0, 0, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)});
    EXPECT_EQ(&list.FindOrAdd(Addr("00:00:00:00:00:01")), first);
    EXPECT_EQ(list.Count(), 5001);
}

TEST_F(DeviceListTest, RemoveKeepsTheOrderOfTheOthers) {
    TDeviceList& list = DeviceList();
    for (const char* comment : {"a", "b", "c", "d"})
        list.FindOrAdd(THWAddr{0, 0, 0, 0, 0, static_cast<std::uint8_t>(comment[0])}).Comment = comment;

    list.Remove(THWAddr{0, 0, 0, 0, 0, 'b'});
    list.Remove(THWAddr{0, 0, 0, 0, 0, 'x'});

    EXPECT_EQ(Comments(), (std::vector<std::string>{"a", "c", "d"}));
    EXPECT_FALSE(list.Contains(THWAddr{0, 0, 0, 0, 0, 'b'}));
    EXPECT_EQ(list.IndexOf(THWAddr{0, 0, 0, 0, 0, 'd'}), 2);

    // Seen again after being forgotten: a new record at the end.
    list.FindOrAdd(THWAddr{0, 0, 0, 0, 0, 'b'}).Comment = "b again";
    EXPECT_EQ(Comments(), (std::vector<std::string>{"a", "c", "d", "b again"}));
}

TEST_F(DeviceListTest, ClearEmptiesListAndIndex) {
    TDeviceList& list = DeviceList();
    list.FindOrAdd(Addr("00:00:00:00:00:01"));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Contains(Addr("00:00:00:00:00:01")));
    auto record = std::make_unique<TDeviceItem>();
    record->HWAddr = Addr("00:00:00:00:00:01");
    EXPECT_EQ(list.Add(std::move(record)), 0);
    EXPECT_EQ(list.IndexOf(Addr("00:00:00:00:00:01")), 0);
}

// The index against a plain first-match linear search, over a random mix of every operation that changes
// positions (duplicates from Add included).
TEST_F(DeviceListTest, IndexAgreesWithLinearSearchAfterRandomOperations) {
    std::mt19937 random(12345);
    std::vector<THWAddr> pool;
    for (std::uint8_t i = 0; i < 40; ++i)
        pool.push_back(THWAddr{0x00, 0x1A, 0x2B, 0, 0, i});
    auto pick = [&] { return pool[random() % pool.size()]; };

    TDeviceList& list = DeviceList();
    std::vector<THWAddr> model;
    auto modelIndexOf = [&](const THWAddr& addr) {
        auto it = std::find(model.begin(), model.end(), addr);
        return it == model.end() ? -1 : static_cast<int>(it - model.begin());
    };

    for (int step = 0; step < 3000; ++step) {
        THWAddr addr = pick();
        switch (random() % 10) {
        case 0: {
            auto record = std::make_unique<TDeviceItem>();
            record->HWAddr = addr;
            list.Add(std::move(record));
            model.push_back(addr);
            break;
        }
        case 1:
        case 2:
        case 3:
            list.Remove(addr);
            if (int pos = modelIndexOf(addr); pos >= 0)
                model.erase(model.begin() + pos);
            break;
        case 4:
            if (random() % 20 == 0) {
                list.Clear();
                model.clear();
            }
            break;
        default:
            list.FindOrAdd(addr);
            if (modelIndexOf(addr) < 0)
                model.push_back(addr);
        }
        ASSERT_EQ(list.Count(), static_cast<int>(model.size())) << "step " << step;
        if (step % 7 != 0)
            continue;
        for (const THWAddr& probe : pool)
            ASSERT_EQ(list.IndexOf(probe), modelIndexOf(probe)) << "step " << step;
    }
}

// Through a real file: what scans saved, edited and forgot comes back in the order first seen.
TEST_F(DeviceListTest, ReloadAfterSavesAndForgetsKeepsFirstSeenOrder) {
    TDeviceList& list = DeviceList();
    for (const char* comment : {"first", "second", "third"}) {
        TDeviceItem& record = list.FindOrAdd(THWAddr{0x10, 0, 0, 0, 0, static_cast<std::uint8_t>(comment[0])});
        record.Comment = comment;
        ConfigStore().SaveDevice(record);
    }
    TDeviceItem& first = list.FindOrAdd(THWAddr{0x10, 0, 0, 0, 0, 'f'});
    first.Comment = "first, edited";
    first.Known = true;
    ConfigStore().SaveDevice(first);
    list.Remove(THWAddr{0x10, 0, 0, 0, 0, 's'});
    ConfigStore().DeleteDevice(THWAddr{0x10, 0, 0, 0, 0, 's'});

    ReleaseConfigStore();
    ResetDeviceList();
    DeviceList().Load();

    EXPECT_EQ(Comments(), (std::vector<std::string>{"first, edited", "third"}));
    EXPECT_TRUE(DeviceList().IsKnown(THWAddr{0x10, 0, 0, 0, 0, 'f'}));
    EXPECT_EQ(DeviceList().LastSeenOf(THWAddr{0x10, 0, 0, 0, 0, 't'}), clock_.now);
    EXPECT_EQ(DeviceList().Count(), 2);
}

TEST_F(DeviceListTest, AccessorKeepsOneListUntilReset) {
    DeviceList().FindOrAdd(Addr("00:00:00:00:00:01"));
    EXPECT_EQ(&DeviceList(), &DeviceList());
    EXPECT_EQ(DeviceList().Count(), 1);
    ResetDeviceList();
    EXPECT_EQ(DeviceList().Count(), 0);
}

} // namespace
