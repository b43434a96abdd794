#include "SQLiteDB/SQLiteDB.h"
#include "Core/Common/DateTime.h"
#include "Core/ConfigStore/ConfigStore.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

using tarrowin::test::TempDir;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

class SQLiteDBTest : public testing::Test {
protected:
    SQLiteDBTest() : db_(dir_.File("access.DB")) { db_.Exec("CREATE TABLE V (X)"); }

    std::string QueryText(const std::string& sql) {
        return db_.WithStatement(sql, [&] { return db_.Step() ? db_.ColumnText(0) : "<no row>"; });
    }

    // Runs one prepared insert into V with the value bound by bind, then answers "typeof|value".
    template <class Bind> std::string StoreInV(Bind bind) {
        db_.Exec("DELETE FROM V");
        db_.WithStatement("INSERT INTO V VALUES (:X)", [&] {
            bind();
            db_.ExecPrepared();
        });
        return QueryText("SELECT typeof(X) || '|' || X FROM V");
    }

    // The message of the one ESQLiteException that body raises; fails the test if it raises another number.
    template <class Body> std::string OnlyError(Body body) {
        int raised = 0;
        std::string message;
        try {
            body();
        } catch (const ESQLiteException& e) {
            ++raised;
            message = e.what();
        }
        EXPECT_EQ(raised, 1);
        return message;
    }

    void InsertRule(const std::string& prefix) {
        db_.WithStatement("INSERT INTO PARTIAL VALUES (:HWADDR, :INFO)", [&] {
            db_.ParamAsString("HWADDR", prefix);
            db_.ParamAsString("INFO", "rule");
            db_.ExecPrepared();
        });
    }

    TempDir dir_;
    TConfigStore db_;
};

TEST(SQLiteErrorText, FixedTextsForPrimaryCodes) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "Successful result"},
        {1, "SQL error or missing database"},
        {5, "The database file is locked"},
        {14, "Unable to open the database file"},
        {19, "Abort due to constraint violation"},
        {23, "Authorization denied"},
        {24, "Unknown DB error (24)"},
        {25, "Unknown DB error (25)"},
        {28, "Unknown DB error (28)"},
        {100, "sqlite_step() has another row ready"},
        {101, "sqlite_step() has finished executing"},
        {-3, "Unknown DB error (-3)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TSQLiteDB::ErrorText(c.code), c.text) << c.code;
}

TEST_F(SQLiteDBTest, NameMissingFromStatementRaisesRangeError) {
    db_.Prepare("SELECT :A");
    EXPECT_EQ(db_.ParamIndex("A"), 1);
    EXPECT_EQ(db_.ParamIndex("B"), 0);
    const std::string message = OnlyError([&] { db_.ParamAsString("B", "x"); });
    EXPECT_THAT(message, StartsWith("TConfigStore: Unknown DB error (25): "));
    EXPECT_GT(message.size(), std::string("TConfigStore: Unknown DB error (25): ").size());
    EXPECT_NO_THROW(db_.Finalize()); // a refused bind leaves nothing for Finalize to report
}

TEST_F(SQLiteDBTest, FailedStepIsReportedGenericallyThenSpecificallyByFinalize) {
    InsertRule("00:1A:2B");
    db_.Prepare("INSERT INTO PARTIAL VALUES ('00:1A:2B', 'again')");
    const std::string generic = OnlyError([&] { db_.ExecPrepared(); });
    EXPECT_THAT(generic, StartsWith("TConfigStore: SQL error or missing database"));
    const std::string specific = OnlyError([&] { db_.Finalize(); });
    EXPECT_EQ(specific, "TConfigStore: Abort due to constraint violation: UNIQUE constraint failed: PARTIAL.HWADDR");
    EXPECT_TRUE(db_.ColumnNames().empty());
}

TEST_F(SQLiteDBTest, StatementCycleDeliversOnlyTheSpecificError) {
    InsertRule("00:1A:2B");
    const std::string message = OnlyError([&] { InsertRule("00:1A:2B"); });
    EXPECT_EQ(message, "TConfigStore: Abort due to constraint violation: UNIQUE constraint failed: PARTIAL.HWADDR");
    // The connection stays usable and the stored row is intact.
    EXPECT_EQ(QueryText("SELECT COUNT(*) FROM PARTIAL"), "1");
}

TEST_F(SQLiteDBTest, StatementCycleKeepsABodyErrorWhenFinalizeHasNone) {
    const std::string message =
        OnlyError([&] { db_.WithStatement("SELECT :A", [&] { db_.ParamAsInteger("Missing", 1); }); });
    EXPECT_THAT(message, StartsWith("TConfigStore: Unknown DB error (25)"));
}

TEST_F(SQLiteDBTest, QueryFailingAtFirstRowEndsLoopAndFinalizeRaises) {
    db_.Prepare("INSERT INTO PARTIAL VALUES ('00:1A:2B', NULL) RETURNING HWADDR");
    EXPECT_FALSE(db_.Step());
    EXPECT_EQ(OnlyError([&] { db_.Finalize(); }),
              "TConfigStore: Abort due to constraint violation: NOT NULL constraint failed: PARTIAL.INFO");
}

TEST_F(SQLiteDBTest, ExecReportsSQLiteMessage) {
    EXPECT_THAT(OnlyError([&] { db_.Exec("SELEC 1"); }), StartsWith("TConfigStore: SQL error or missing database: "));
    db_.BeginTransaction();
    EXPECT_EQ(OnlyError([&] { db_.BeginTransaction(); }),
              "TConfigStore: SQL error or missing database: cannot start a transaction within a transaction");
    db_.Rollback();
}

TEST_F(SQLiteDBTest, StoredForms) {
    const TDateTime moment = EncodeDateTime(2017, 8, 24, 16, 21, 36, 900);
    EXPECT_EQ(StoreInV([&] { db_.ParamAsBoolean("X", true); }), "integer|1");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsBoolean("X", false); }), "integer|0");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsString("X", ""); }), "text|");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsString("X", "Küche"); }), "text|Küche");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsInteger("X", -2147483647 - 1); }), "integer|-2147483648");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsDateTime("X", moment); }), "text|2017-08-24 16:21:36");
    EXPECT_EQ(StoreInV([&] { db_.ParamAsDate("X", moment); }), "text|2017-08-24");
    EXPECT_EQ(StoreInV([&] { db_.BindDateTime(1, 0); }), "text|1899-12-30 00:00:00");
}

TEST_F(SQLiteDBTest, ColumnsByNameIgnoreCaseAndUnknownOnesReadAsNull) {
    db_.Exec("INSERT INTO V VALUES (5), (-1), (NULL), (2.5), ('2017-08-24 16:21:36')");
    db_.WithStatement("SELECT X AS Value, typeof(X) AS Kind FROM V", [&] {
        EXPECT_EQ(db_.ColumnNames(), (std::vector<std::string>{"Value", "Kind"}));
        std::vector<std::string> texts;
        std::vector<bool> flags;
        while (db_.Step()) {
            texts.push_back(db_.FieldAsString("VALUE"));
            flags.push_back(db_.FieldAsBoolean("value"));
            EXPECT_EQ(db_.FieldAsString("Nothing"), "");
            EXPECT_EQ(db_.FieldAsInteger("Nothing"), 0);
            EXPECT_FALSE(db_.FieldAsBoolean("Nothing"));
            EXPECT_EQ(db_.FieldAsDateTime("Nothing"), 0);
            EXPECT_EQ(db_.ColumnText(7), "");
        }
        EXPECT_EQ(texts, (std::vector<std::string>{"5", "-1", "", "2.5", "2017-08-24 16:21:36"}));
        EXPECT_EQ(flags, (std::vector<bool>{true, true, false, true, true})); // the text's leading 2017 counts
    });
    EXPECT_TRUE(db_.ColumnNames().empty());
}

TEST_F(SQLiteDBTest, FieldAsDateTimeReadsOnlyTheTwoStoredForms) {
    const struct {
        const char* text;
        TDateTime expected;
    } cases[] = {
        {"2017-08-24 16:21:36", EncodeDateTime(2017, 8, 24, 16, 21, 36)},
        {"2017-08-24", EncodeDate(2017, 8, 24)},
        {"2017/08/24T16.21.36", EncodeDateTime(2017, 8, 24, 16, 21, 36)}, // separators are not examined
        {"", 0},
        {"24/08/2017 16:21", 0},
        {"2017-02-30", 0},
        {"2017-13-01", 0},
        {"2017-08-24 25:00:00", 0},
        {"2017-08-24 16:60:00", 0},
        {"20x7-08-24", 0},
        {"2017-08-24 -1:00:00", 0},
    };
    for (const auto& c : cases) {
        db_.WithStatement("SELECT :T AS T", [&] {
            db_.ParamAsString("T", c.text);
            ASSERT_TRUE(db_.Step());
            EXPECT_EQ(db_.FieldAsDateTime("T"), c.expected) << c.text;
        });
    }
}

TEST_F(SQLiteDBTest, FailedTransactionKeepsNothingOfTheGroupAndRaisesOnce) {
    InsertRule("00:00:01");
    const std::string message = OnlyError([&] {
        db_.InTransaction([&] {
            InsertRule("00:00:02");
            InsertRule("00:00:01");
        });
    });
    EXPECT_THAT(message, HasSubstr("Abort due to constraint violation"));
    EXPECT_EQ(QueryText("SELECT group_concat(HWADDR) FROM PARTIAL"), "00:00:01");
    db_.InTransaction([&] { InsertRule("00:00:03"); }); // no transaction was left open
    EXPECT_EQ(QueryText("SELECT COUNT(*) FROM PARTIAL"), "2");
}

TEST(SQLiteOpen, UnwritableFolderRaisesOpenErrorAndLeavesNoObject) {
    TempDir dir;
    std::ofstream(dir.File("plain-file")) << "x";
    std::unique_ptr<TConfigStore> store;
    try {
        store = std::make_unique<TConfigStore>(dir.File("plain-file") / "sub" / "Tarrowin.DB");
        ADD_FAILURE() << "opened a file below a plain file";
    } catch (const ESQLiteException& e) {
        EXPECT_THAT(e.what(), StartsWith("TConfigStore: Unable to open the database file: "));
    }
    EXPECT_EQ(store, nullptr);
}

class FailingInitDB : public TSQLiteDB {
public:
    explicit FailingInitDB(const std::string& file) : TSQLiteDB(file, "TConfigStore") { InitDatabase(); }

protected:
    void InitDatabase() override { Exec("CREATE TABLE broken ("); }
};

TEST(SQLiteOpen, FailingInitDatabaseRaisesOutOfTheConstructor) {
    TempDir dir;
    EXPECT_THROW(FailingInitDB(dir.File("broken.DB").string()), ESQLiteException);
    // The half-built object closed its connection: the file can be removed and opened afresh.
    std::filesystem::remove(dir.File("broken.DB"));
    EXPECT_NO_THROW(TConfigStore(dir.File("broken.DB")));
}

} // namespace
