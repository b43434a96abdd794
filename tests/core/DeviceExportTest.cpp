#include "Core/DeviceList/DeviceExport.h"

#include "Core/Common/Exception.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/DeviceList/DeviceRows.h"
#include "support/TempDatabase.h"
#include "support/TestClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using tarrowin::test::TempDatabase;
using tarrowin::test::TestClock;

namespace {

const THWAddr Laptop{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const THWAddr Printer{0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22};
const THWAddr Zero{};

// A record as a comparable value; the time in milliseconds so that float noise cannot matter.
using TState = std::tuple<std::string, bool, std::string, long long>;

TState StateOf(const TDeviceItem& item) {
    return {HWAddrToStr(item.HWAddr, ':'), item.Known, item.Comment,
            static_cast<long long>(std::llround(item.LastSeen * MillisecondsPerDay))};
}

std::vector<TState> StatesOf(const TDeviceList& list) {
    std::vector<TState> states;
    for (const TDeviceItem& item : list)
        states.push_back(StateOf(item));
    return states;
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

class DeviceFileTest : public testing::Test {
protected:
    DeviceFileTest() { ResetDeviceList(); }
    ~DeviceFileTest() override { ResetDeviceList(); }

    TDeviceItem& AddDevice(const THWAddr& address, bool known, const std::string& comment, TDateTime lastSeen) {
        TDeviceItem& item = DeviceList().FindOrAdd(address);
        item.Known = known;
        item.Comment = comment;
        item.LastSeen = lastSeen;
        ConfigStore().SaveDevice(item);
        return item;
    }

    // The DEVICE rows as the next start would load them.
    static std::vector<TState> StoredStates() {
        TDeviceList stored;
        stored.Load();
        return StatesOf(stored);
    }

    static int ActivityRows(const THWAddr& address) {
        TConfigStore& db = ConfigStore();
        return db.WithStatement("SELECT COUNT(*) FROM ACTIVITY WHERE HWADDR = '" + HWAddrToStr(address, ':') + "'",
                                [&] { return db.Step() ? db.ColumnInt(0) : -1; });
    }

    // Makes the database refuse any write of the address, as a full disk or a lock would.
    static void RefuseWritesOf(const THWAddr& address) {
        const std::string key = "'" + HWAddrToStr(address, ':') + "'";
        for (const char* event : {"INSERT", "UPDATE", "DELETE"})
            ConfigStore().Exec(std::string("CREATE TRIGGER refuse_") + event + " BEFORE " + event + " ON DEVICE WHEN " +
                               (std::string(event) == "DELETE" ? "OLD" : "NEW") + ".HWADDR = " + key +
                               " BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }

    size_t Import(const std::string& xml, const TRegionalFormat& format = {}) {
        const std::vector<TDeviceItem> entries = ReadImportEntries(xml, format);
        MergeDevices(entries, DeviceList(), ConfigStore());
        return entries.size();
    }

    TempDatabase db_;
    TestClock clock_{EncodeDateTime(2024, 3, 1, 10, 30, 0)};
};

TEST(DeviceIsoTimeTest, WritesTheFixedFormWithTheRegionalTimeSeparator) {
    const TDateTime seen = EncodeDateTime(2017, 3, 5, 14, 7, 9, 750);
    EXPECT_EQ(DateTimeToISO(seen), "2017-03-05T14:07:09");
    EXPECT_EQ(DateTimeToISO(seen, '.'), "2017-03-05T14.07.09");
    EXPECT_EQ(DateTimeToISO(EncodeDate(2024, 1, 2)), "2024-01-02T00:00:00");
}

TEST(DeviceIsoTimeTest, ReadsFixedPositionsAndRefusesWhatNamesNoTime) {
    const TDateTime expected = EncodeDateTime(2017, 3, 5, 14, 7, 9);
    for (const char* text : {"2017-03-05T14:07:09", "2017/03/05 14.07.09", "2017-03-05T14:07:09.123+01:00"})
        EXPECT_DOUBLE_EQ(ISOToDateTime(text), expected) << text;
    for (const char* text :
         {"", "2017-03-05", "2017-03-05T14:07:0", "2017-13-05T14:07:09", "2017-02-30T14:07:09", "2017-03-05T24:00:00",
          "2017-03-05T14:60:09", "20a7-03-05T14:07:09", "2017-03-05T+4:07:09"})
        EXPECT_THROW(ISOToDateTime(text), Exception) << text;
}

TEST_F(DeviceFileTest, ExportThenImportChangesNothingButTheFractionsOfASecond) {
    AddDevice(Laptop, true, "Kitchen <laptop> & \"friends\" 'n' Küche 台所", EncodeDateTime(2024, 2, 3, 4, 5, 6, 789));
    AddDevice(Printer, false, "line one\r\nline two\ttabbed  two blanks", EncodeDateTime(2023, 12, 31, 23, 59, 59));
    AddDevice(StrToHWAddr("0A0B0C0D0E0F"), false, "", EncodeDate(2020, 2, 29));
    const std::filesystem::path file = db_.Dir().File("devices.xml");
    ExportXML(file, DeviceList(), ':');

    std::vector<TState> expected = StatesOf(DeviceList());
    std::get<3>(expected[0]) -= 789;
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind("<?xml version=", 0), 0u);
    EXPECT_NE(text.find("encoding=\"UTF-8\""), std::string::npos);
    EXPECT_NE(text.find("<Cache Count=\"3\">"), std::string::npos);
    EXPECT_NE(text.find("<Item1 Known=\"False\" HWAddr=\"AABBCC001122\" Comment=\""), std::string::npos);
    EXPECT_NE(text.find("LastSeen=\"2024-02-03T04:05:06\""), std::string::npos);

    // Into a fresh database and list: the file alone must carry everything.
    TempDatabase other("Other.DB");
    ResetDeviceList();
    EXPECT_EQ(ImportXML(file, DeviceList(), ConfigStore(), {}), 3u);
    EXPECT_EQ(StatesOf(DeviceList()), expected);
    EXPECT_EQ(StoredStates(), expected);
}

TEST_F(DeviceFileTest, CharactersXmlCannotCarryAreReplacedSoTheExportReadsBack) {
    using namespace std::string_literals;
    AddDevice(Laptop, false, "bell\x01 nul\0 broken\xff\xfe utf8 \xC0\xAF end"s, 45000);
    const std::string text = ExportXMLText(DeviceList(), "", ':');
    const std::vector<TDeviceItem> entries = ReadImportEntries(text, {});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Comment, "bell\xEF\xBF\xBD nul\xEF\xBF\xBD broken\xEF\xBF\xBD\xEF\xBF\xBD utf8 "
                                  "\xEF\xBF\xBD\xEF\xBF\xBD end");
}

TEST_F(DeviceFileTest, ExportIntoAnExistingFileKeepsWhatItHeldBeyondTheValues) {
    AddDevice(Laptop, true, "new laptop", EncodeDateTime(2024, 2, 3, 4, 5, 6));
    AddDevice(Printer, false, "new printer", EncodeDateTime(2024, 2, 4, 4, 5, 6));
    const std::filesystem::path file = db_.Dir().File("devices.xml");
    WriteFile(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- kept -->\n<CONFIG><General Theme=\"dark\"/>"
                    "<Cache Count=\"3\" Owner=\"me\"><Item0 Note=\"keep\" Comment=\"old\"/><Item1/>"
                    "<Item2 Known=\"True\" HWAddr=\"0A0B0C0D0E0F\" Comment=\"surplus\"/></Cache></CONFIG>");
    ExportXML(file, DeviceList(), ':');

    const std::string text = ReadFile(file);
    for (const char* kept :
         {"<!-- kept -->", "<General Theme=\"dark\" />", "Owner=\"me\"", "Note=\"keep\"", "Comment=\"new laptop\"",
          "Comment=\"new printer\"", "<Item2 Known=\"True\" HWAddr=\"0A0B0C0D0E0F\" Comment=\"surplus\" />"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
    EXPECT_NE(text.find("<Cache Count=\"2\""), std::string::npos) << text;
    EXPECT_EQ(text.find("old"), std::string::npos);
    // The surplus item lies beyond Count, so importing the file brings back the two devices only.
    EXPECT_EQ(ReadImportEntries(text, {}).size(), 2u);
}

TEST_F(DeviceFileTest, ExportOverAFileThatIsNoXmlRaisesAndLeavesTheFile) {
    AddDevice(Laptop, true, "laptop", 45000);
    const std::filesystem::path file = db_.Dir().File("notes.xml");
    WriteFile(file, "my notes, not XML <");
    EXPECT_THROW(ExportXML(file, DeviceList(), ':'), Exception);
    EXPECT_EQ(ReadFile(file), "my notes, not XML <");
}

TEST_F(DeviceFileTest, AFileThatCannotBeWrittenRaisesWithItsName) {
    AddDevice(Laptop, true, "laptop", 45000);
    const std::filesystem::path file = db_.Dir().File("missing-folder/devices.csv");
    try {
        ExportCSV(file, DeviceList(), {});
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_NE(error.Message().find(file.string()), std::string::npos) << error.Message();
    }
}

struct TMergeCase {
    const char* Name;
    const char* Cache; // the Cache element of the imported file
    size_t ListSize;   // after the import, the laptop already listed before it
    THWAddr Address;   // the record to look at
    bool Known;
    const char* Comment;
    TDateTime LastSeen; // 0: the time of the import
};

const TDateTime fileTime = EncodeDateTime(2023, 1, 2, 3, 4, 5);

const TMergeCase mergeCases[] = {
    {"DashFormMergesWithTheListedDevice",
     R"(<Cache Count="1"><Item0 Known="True" HWAddr="00-1A-2B-3C-4D-5E" Comment="merged" LastSeen="2023-01-02T03:04:05"/></Cache>)",
     1, Laptop, true, "merged", fileTime},
    {"ColonFormInLowerCaseMergesToo",
     R"(<Cache Count="1"><Item0 Known="false" HWAddr="00:1a:2b:3c:4d:5e" Comment="" LastSeen="2023-01-02T03:04:05"/></Cache>)",
     1, Laptop, false, "", fileTime},
    {"ThreeLetterAddressIsTheZeroAddress",
     R"(<Cache Count="1"><Item0 Known="True" HWAddr="abc" Comment="short" LastSeen="2023-01-02T03:04:05"/></Cache>)", 2,
     Zero, true, "short", fileTime},
    {"MissingLastSeenIsTheTimeOfTheImport",
     R"(<Cache Count="1"><Item0 Known="True" HWAddr="AABBCC001122" Comment="p"/></Cache>)", 2, Printer, true, "p", 0},
    {"UnreadableLastSeenIsTheTimeOfTheImport",
     R"(<Cache Count="1"><Item0 Known="True" HWAddr="AABBCC001122" LastSeen="last tuesday"/></Cache>)", 2, Printer,
     true, "", 0},
    {"RegionalLastSeenIsRead",
     R"(<Cache Count="1"><Item0 Known="True" HWAddr="AABBCC001122" LastSeen="2023-01-02 3:04:05 AM"/></Cache>)", 2,
     Printer, true, "", fileTime},
    {"CountBeyondTheItemsImportsTheZeroAddress",
     R"(<Cache Count="3"><Item0 Known="True" HWAddr="AABBCC001122" LastSeen="2023-01-02T03:04:05"/></Cache>)", 3, Zero,
     false, "", 0},
    {"KnownYesIsUnknown",
     R"(<Cache Count="1"><Item0 Known="yes" HWAddr="AABBCC001122" LastSeen="2023-01-02T03:04:05"/></Cache>)", 2,
     Printer, false, "", fileTime},
    {"KnownInAnyLetterCaseCounts",
     R"(<Cache Count="1"><Item0 Known="tRUE" HWAddr="AABBCC001122" LastSeen="2023-01-02T03:04:05"/></Cache>)", 2,
     Printer, true, "", fileTime},
    {"LaterEntryForTheSameAddressWins",
     R"(<Cache Count="2"><Item1 Known="False" HWAddr="AABBCC001122" Comment="second" LastSeen="2023-01-02T03:04:05"/>
        <Item0 Known="True" HWAddr="AA-BB-CC-00-11-22" Comment="first"/></Cache>)",
     2, Printer, false, "second", fileTime},
    {"ItemsAtOrBeyondCountAreIgnored",
     R"(<Cache Count="1"><Item0 HWAddr="AABBCC001122" LastSeen="2023-01-02T03:04:05"/><Item1 HWAddr="0A0B0C0D0E0F"/></Cache>)",
     2, Printer, false, "", fileTime},
    {"NoCountImportsNothing", R"(<Cache><Item0 Known="True" HWAddr="AABBCC001122"/></Cache>)", 1, Laptop, false,
     "listed", EncodeDate(2024, 1, 1)},
};

class DeviceMergeTest : public DeviceFileTest, public testing::WithParamInterface<TMergeCase> {};

TEST_P(DeviceMergeTest, MergesIntoTheListAndTheDatabase) {
    const TMergeCase& c = GetParam();
    AddDevice(Laptop, false, "listed", EncodeDate(2024, 1, 1));
    TRegionalFormat regional;
    regional.ShortDate = "yyyy-MM-dd";
    regional.LongTime = "h:mm:ss AP";
    Import(std::string("<?xml version=\"1.0\"?>\n<CONFIG>") + c.Cache + "</CONFIG>", regional);

    ASSERT_EQ(static_cast<size_t>(DeviceList().Count()), c.ListSize);
    const TDeviceItem& record = DeviceList().Items(DeviceList().IndexOf(c.Address));
    EXPECT_EQ(record.Known, c.Known);
    EXPECT_EQ(record.Comment, c.Comment);
    EXPECT_DOUBLE_EQ(record.LastSeen, c.LastSeen != 0 ? c.LastSeen : clock_.Now());
    EXPECT_EQ(StoredStates(), StatesOf(DeviceList()));
}

void PrintTo(const TMergeCase& c, std::ostream* out) {
    *out << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceMergeTest, testing::ValuesIn(mergeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The import's loop over 0 to Count - 1, as plainly as it can be written: the reference for the shortcut.
std::vector<TState> ReferenceImport(const std::map<long long, TDeviceItem>& items, long long count) {
    TDeviceList list;
    for (long long i = 0; i < count; ++i) {
        auto found = items.find(i);
        TDeviceItem entry = found != items.end() ? found->second : TDeviceItem{"", Zero, false, Now()};
        TDeviceItem& record = list.FindOrAdd(entry.HWAddr);
        record = entry;
    }
    return StatesOf(list);
}

std::string CacheText(const std::map<long long, TDeviceItem>& items, const std::string& count) {
    std::string text = "<CONFIG><Cache Count=\"" + count + "\">";
    for (const auto& [index, item] : items)
        text += "<Item" + std::to_string(index) + " Known=\"" + (item.Known ? "True" : "False") + "\" HWAddr=\"" +
                HWAddrToStr(item.HWAddr, '\0') + "\" Comment=\"" + item.Comment + "\" LastSeen=\"" +
                DateTimeToISO(item.LastSeen) + "\"/>";
    // Names the paths never address: a leading zero, a sign, another prefix.
    text += "<Item05 HWAddr=\"0A0B0C0D0E0F\"/><Item-6 HWAddr=\"0A0B0C0D0E0F\"/><Items7 HWAddr=\"0A0B0C0D0E0F\"/>";
    return text + "</Cache></CONFIG>";
}

TEST_F(DeviceFileTest, GapsInTheItemsReachTheStateOfTheFullLoop) {
    const std::map<long long, TDeviceItem> items = {
        {1, {"zero with a comment", Zero, true, fileTime}}, {3, {"laptop", Laptop, true, fileTime}},
        {4, {"printer", Printer, false, fileTime}},         {7, {"zero again", Zero, true, fileTime}},
        {8, {"laptop again", Laptop, false, fileTime}},
    };
    for (long long count : {0, 1, 2, 5, 8, 9, 12}) {
        SCOPED_TRACE(count);
        TDeviceList imported;
        MergeDevices(ReadImportEntries(CacheText(items, std::to_string(count)), {}), imported, ConfigStore());
        EXPECT_EQ(StatesOf(imported), ReferenceImport(items, count));
    }
}

TEST_F(DeviceFileTest, AHugeCountCostsOnlyWhatTheFileHolds) {
    const std::map<long long, TDeviceItem> items = {{0, {"laptop", Laptop, true, fileTime}},
                                                    {5, {"zero", Zero, true, fileTime}}};
    const std::vector<TDeviceItem> entries = ReadImportEntries(CacheText(items, "9223372036854775807"), {});
    // Item0, the first gap (index 1), Item5 and the last gap (the largest index).
    ASSERT_EQ(entries.size(), 4u);
    Import(CacheText(items, "9223372036854775807"));
    EXPECT_EQ(StatesOf(DeviceList()), (std::vector<TState>{StateOf({"laptop", Laptop, true, fileTime}),
                                                           StateOf({"", Zero, false, clock_.Now()})}));
    // Beyond 64 bits Count is no number at all.
    EXPECT_TRUE(ReadImportEntries(CacheText(items, "99999999999999999999"), {}).empty());
}

TEST_F(DeviceFileTest, ImportOfMalformedXmlRaisesAndChangesNothing) {
    AddDevice(Laptop, true, "laptop", EncodeDate(2024, 1, 1));
    const std::vector<TState> before = StatesOf(DeviceList());
    const std::filesystem::path file = db_.Dir().File("broken.xml");
    WriteFile(file, R"(<CONFIG><Cache Count="1"><Item0 HWAddr="AABBCC001122"></CONFIG>)");
    try {
        ImportXML(file, DeviceList(), ConfigStore(), {});
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_NE(error.Message().find("broken.xml"), std::string::npos) << error.Message();
    }
    EXPECT_EQ(StatesOf(DeviceList()), before);
    EXPECT_EQ(StoredStates(), before);
}

TEST_F(DeviceFileTest, ImportThatFailsInTheDatabaseLeavesListAndRowsAsTheyWere) {
    AddDevice(Laptop, false, "laptop", EncodeDate(2024, 1, 1));
    const std::vector<TState> before = StatesOf(DeviceList());
    RefuseWritesOf(Printer);
    EXPECT_THROW(Import(R"(<CONFIG><Cache Count="3"><Item0 Known="True" HWAddr="001A2B3C4D5E" Comment="changed"/>
                           <Item1 HWAddr="0A0B0C0D0E0F"/><Item2 HWAddr="AABBCC001122"/></Cache></CONFIG>)"),
                 ESQLiteException);
    EXPECT_EQ(StatesOf(DeviceList()), before);
    EXPECT_EQ(StoredStates(), before);
}

TEST_F(DeviceFileTest, CsvQuotesOnlyFieldsThatNeedIt) {
    AddDevice(Laptop, true, "desk; by the window", EncodeDateTime(2017, 3, 5, 14, 7, 9));
    AddDevice(Printer, false, "say \"hi\"", EncodeDate(2017, 3, 6));
    AddDevice(StrToHWAddr("0A0B0C0D0E0F"), false, "two\r\nlines", EncodeDateTime(2017, 3, 7, 0, 0, 1));
    AddDevice(StrToHWAddr("0A0B0C0D0E10"), false, "plain, with a comma", EncodeDateTime(2017, 3, 8, 9, 0, 0));
    TRegionalFormat regional;
    regional.ListSeparator = ";";
    regional.ShortDate = "dd.MM.yyyy";
    regional.LongTime = "HH:mm:ss t";
    EXPECT_EQ(ExportCSVText(DeviceList(), regional), "Info;MAC address;Your Comment;Last Seen\r\n"
                                                     "TRUE;001A2B3C4D5E;\"desk; by the window\";05.03.2017 14:07:09\r\n"
                                                     "FALSE;AABBCC001122;\"say \"\"hi\"\"\";06.03.2017\r\n"
                                                     "FALSE;0A0B0C0D0E0F;\"two\r\nlines\";07.03.2017 00:00:01\r\n"
                                                     "FALSE;0A0B0C0D0E10;plain, with a comma;08.03.2017 09:00:00\r\n");
}

TEST_F(DeviceFileTest, ForgetRemovesRecordsRowsAndActivity) {
    AddDevice(Laptop, true, "laptop", EncodeDate(2024, 1, 1));
    AddDevice(Printer, false, "printer", EncodeDate(2024, 1, 1));
    for (const THWAddr& address : {Laptop, Printer})
        ConfigStore().AddActivity(address);
    ForgetDevices(DeviceList(), ConfigStore(), {Laptop});
    EXPECT_EQ(StatesOf(DeviceList()),
              (std::vector<TState>{StateOf({"printer", Printer, false, EncodeDate(2024, 1, 1)})}));
    EXPECT_EQ(StoredStates(), StatesOf(DeviceList()));
    EXPECT_EQ(ActivityRows(Laptop), 0);
    EXPECT_EQ(ActivityRows(Printer), 1);
}

TEST_F(DeviceFileTest, ForgetThatFailsLeavesEverything) {
    AddDevice(Laptop, true, "laptop", EncodeDate(2024, 1, 1));
    AddDevice(Printer, false, "printer", EncodeDate(2024, 1, 1));
    ConfigStore().AddActivity(Laptop);
    RefuseWritesOf(Printer);
    const std::vector<TState> before = StatesOf(DeviceList());
    EXPECT_THROW(ForgetDevices(DeviceList(), ConfigStore(), {Laptop, Printer}), ESQLiteException);
    EXPECT_EQ(StatesOf(DeviceList()), before);
    EXPECT_EQ(StoredStates(), before);
    EXPECT_EQ(ActivityRows(Laptop), 1);
}

} // namespace
