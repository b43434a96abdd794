#pragma once
#include "Core/Common/DateTime.h"
#include "Core/Common/Exception.h"

#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Every SQLite failure: "<class name>: <result-code text>[: <SQLite's message>]".
class ESQLiteException : public Exception {
public:
    using Exception::Exception;
};

// One connection to one SQLite file with at most one prepared statement at a time. Abstract: a subclass
// supplies InitDatabase and runs it at the end of its own constructor (a base constructor cannot reach it).
class TSQLiteDB {
public:
    virtual ~TSQLiteDB();
    TSQLiteDB(const TSQLiteDB&) = delete;
    TSQLiteDB& operator=(const TSQLiteDB&) = delete;

    // Recursive: the holder may take it again; every Lock needs its Unlock.
    void Lock();
    void Unlock();

    // Runs the text directly; rows it returns are discarded.
    void Exec(const std::string& sql);
    void BeginTransaction();
    void Commit();
    void Rollback();
    // Rows touched by the most recent completed INSERT, UPDATE or DELETE.
    int Changes() const;
    void SetBusyTimeout(int milliseconds);

    // Compiles the first statement of the text (legacy interface: a failed step reports a generic
    // code, the specific one comes from Finalize).
    void Prepare(const std::string& sql);
    // True while a row is ready; false when done and on every error (Finalize reports the error).
    bool Step();
    // One step and a reset, for statements that finish in one step.
    void ExecPrepared();
    // Releases the current statement (none is harmless) and reports its last failure.
    void Finalize();

    // Position of ":name", 0 when the statement has none. Positions count from 1.
    int ParamIndex(const std::string& name) const;
    void BindText(int index, const std::string& value);
    void BindInt(int index, int value);
    void BindBool(int index, bool value);
    void BindDate(int index, TDateTime value);
    void BindDateTime(int index, TDateTime value);
    void ParamAsString(const std::string& name, const std::string& value);
    void ParamAsInteger(const std::string& name, int value);
    void ParamAsBoolean(const std::string& name, bool value);
    void ParamAsDate(const std::string& name, TDateTime value);
    void ParamAsDateTime(const std::string& name, TDateTime value);

    // Getters read the current row and never raise: an unknown position reads as NULL.
    std::string ColumnText(int index) const;
    int ColumnInt(int index) const;
    bool ColumnBool(int index) const;
    TDateTime ColumnDateTime(int index) const;
    std::string FieldAsString(const std::string& name) const;
    int FieldAsInteger(const std::string& name) const;
    bool FieldAsBoolean(const std::string& name) const;
    TDateTime FieldAsDateTime(const std::string& name) const;
    // First position whose name matches without regard to ASCII case, -1 when none.
    int ColumnIndex(const std::string& name) const;
    const std::vector<std::string>& ColumnNames() const { return columnNames_; }

    static std::string ErrorText(int code);

    // Prepare, body, Finalize under the lock. When the body fails and Finalize has a more specific error,
    // the caller gets only that one; otherwise the body's error passes unchanged.
    template <class Body> auto WithStatement(const std::string& sql, Body&& body);
    // Lock, BEGIN, body, COMMIT; on any error ROLLBACK and re-raise, so nothing of the group remains.
    template <class Body> void InTransaction(Body&& body);

protected:
    // Opens (creating when missing) the file; className starts every error message.
    TSQLiteDB(const std::string& fileName, std::string className);
    virtual void InitDatabase() = 0;
    void CheckResult(int code) const;

private:
    [[noreturn]] void Raise(int code, const char* detail) const;
    void RollbackQuietly();

    sqlite3_stmt* statement_ = nullptr;
    std::vector<std::string> columnNames_;
    sqlite3* connection_ = nullptr;
    std::recursive_mutex lock_;
    std::string className_;
};

// Holds the connection's lock for a scope, released also when an exception passes.
class TSQLiteLock {
public:
    explicit TSQLiteLock(TSQLiteDB& db) : db_(db) { db_.Lock(); }
    ~TSQLiteLock() { db_.Unlock(); }
    TSQLiteLock(const TSQLiteLock&) = delete;
    TSQLiteLock& operator=(const TSQLiteLock&) = delete;

private:
    TSQLiteDB& db_;
};

template <class Body> auto TSQLiteDB::WithStatement(const std::string& sql, Body&& body) {
    TSQLiteLock guard(*this);
    Prepare(sql);
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            Finalize();
        } else {
            auto result = body();
            Finalize();
            return result;
        }
    } catch (...) {
        if (statement_)
            Finalize(); // raises the specific error in place of the one in flight, if there is one
        throw;
    }
}

template <class Body> void TSQLiteDB::InTransaction(Body&& body) {
    TSQLiteLock guard(*this);
    BeginTransaction();
    try {
        body();
        Commit();
    } catch (...) {
        RollbackQuietly();
        throw;
    }
}
