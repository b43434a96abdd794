#include "SQLiteDB/SQLiteDB.h"

#include "Core/Common/Text.h"

#include <sqlite3.h>

TSQLiteDB::TSQLiteDB(const std::string& fileName, std::string className) : className_(std::move(className)) {
    const int code = sqlite3_open(fileName.c_str(), &connection_);
    if (code != SQLITE_OK) {
        // Even a failed open leaves a handle that carries the message and must be closed.
        const std::string detail = connection_ ? sqlite3_errmsg(connection_) : sqlite3_errstr(code);
        sqlite3_close(connection_);
        connection_ = nullptr;
        Raise(code, detail.c_str());
    }
}

TSQLiteDB::~TSQLiteDB() {
    // A destructor cannot report; a statement someone forgot would keep the file open, so release it.
    sqlite3_finalize(statement_);
    if (connection_)
        sqlite3_close(connection_);
}

void TSQLiteDB::Lock() {
    lock_.lock();
}

void TSQLiteDB::Unlock() {
    lock_.unlock();
}

void TSQLiteDB::Exec(const std::string& sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(connection_, sql.c_str(), nullptr, nullptr, &message);
    if (code == SQLITE_OK)
        return;
    const bool hasDetail = message != nullptr;
    const std::string detail = hasDetail ? message : "";
    sqlite3_free(message);
    Raise(code, hasDetail ? detail.c_str() : nullptr);
}

void TSQLiteDB::BeginTransaction() {
    Exec("BEGIN");
}

void TSQLiteDB::Commit() {
    Exec("COMMIT");
}

void TSQLiteDB::Rollback() {
    Exec("ROLLBACK");
}

void TSQLiteDB::RollbackQuietly() {
    // A failed COMMIT may already have ended the transaction; the first error is the one to report.
    if (!sqlite3_get_autocommit(connection_))
        sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
}

int TSQLiteDB::Changes() const {
    return sqlite3_changes(connection_);
}

void TSQLiteDB::SetBusyTimeout(int milliseconds) {
    CheckResult(sqlite3_busy_timeout(connection_, milliseconds));
}

void TSQLiteDB::Prepare(const std::string& sql) {
    // A statement whose Finalize was skipped is dropped rather than leaked.
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    columnNames_.clear();
    // The legacy interface on purpose: its failed steps leave the specific error to Finalize.
    CheckResult(sqlite3_prepare(connection_, sql.c_str(), static_cast<int>(sql.size()), &statement_, nullptr));
    const int count = sqlite3_column_count(statement_);
    for (int i = 0; i < count; ++i)
        columnNames_.emplace_back(sqlite3_column_name(statement_, i));
}

bool TSQLiteDB::Step() {
    return sqlite3_step(statement_) == SQLITE_ROW;
}

void TSQLiteDB::ExecPrepared() {
    CheckResult(sqlite3_step(statement_));
    CheckResult(sqlite3_reset(statement_));
}

void TSQLiteDB::Finalize() {
    const int code = sqlite3_finalize(statement_);
    statement_ = nullptr;
    columnNames_.clear();
    CheckResult(code);
}

int TSQLiteDB::ParamIndex(const std::string& name) const {
    return sqlite3_bind_parameter_index(statement_, (":" + name).c_str());
}

void TSQLiteDB::BindText(int index, const std::string& value) {
    // A non-null pointer even for the empty string, so it is stored as empty TEXT and not as NULL.
    CheckResult(sqlite3_bind_text(statement_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
}

void TSQLiteDB::BindInt(int index, int value) {
    CheckResult(sqlite3_bind_int(statement_, index, value));
}

void TSQLiteDB::BindBool(int index, bool value) {
    BindInt(index, value ? 1 : 0);
}

void TSQLiteDB::BindDate(int index, TDateTime value) {
    BindText(index, FormatDBDateTime(value, false));
}

void TSQLiteDB::BindDateTime(int index, TDateTime value) {
    BindText(index, FormatDBDateTime(value, true));
}

void TSQLiteDB::ParamAsString(const std::string& name, const std::string& value) {
    BindText(ParamIndex(name), value);
}

void TSQLiteDB::ParamAsInteger(const std::string& name, int value) {
    BindInt(ParamIndex(name), value);
}

void TSQLiteDB::ParamAsBoolean(const std::string& name, bool value) {
    BindBool(ParamIndex(name), value);
}

void TSQLiteDB::ParamAsDate(const std::string& name, TDateTime value) {
    BindDate(ParamIndex(name), value);
}

void TSQLiteDB::ParamAsDateTime(const std::string& name, TDateTime value) {
    BindDateTime(ParamIndex(name), value);
}

std::string TSQLiteDB::ColumnText(int index) const {
    if (!statement_ || index < 0)
        return {};
    const auto* text = sqlite3_column_text(statement_, index);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement_, index)) : "";
}

int TSQLiteDB::ColumnInt(int index) const {
    return statement_ && index >= 0 ? sqlite3_column_int(statement_, index) : 0;
}

bool TSQLiteDB::ColumnBool(int index) const {
    return ColumnInt(index) != 0;
}

TDateTime TSQLiteDB::ColumnDateTime(int index) const {
    return ParseDBDateTime(ColumnText(index));
}

int TSQLiteDB::ColumnIndex(const std::string& name) const {
    for (size_t i = 0; i < columnNames_.size(); ++i)
        if (SameTextAscii(columnNames_[i], name))
            return static_cast<int>(i);
    return -1;
}

std::string TSQLiteDB::FieldAsString(const std::string& name) const {
    return ColumnText(ColumnIndex(name));
}

int TSQLiteDB::FieldAsInteger(const std::string& name) const {
    return ColumnInt(ColumnIndex(name));
}

bool TSQLiteDB::FieldAsBoolean(const std::string& name) const {
    return ColumnBool(ColumnIndex(name));
}

TDateTime TSQLiteDB::FieldAsDateTime(const std::string& name) const {
    return ColumnDateTime(ColumnIndex(name));
}

void TSQLiteDB::CheckResult(int code) const {
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE)
        Raise(code, sqlite3_errmsg(connection_));
}

void TSQLiteDB::Raise(int code, const char* detail) const {
    std::string message = className_ + ": " + ErrorText(code);
    if (detail)
        message += std::string(": ") + detail;
    throw ESQLiteException(message);
}

std::string TSQLiteDB::ErrorText(int code) {
    static const char* const texts[] = {
        "Successful result",
        "SQL error or missing database",
        "An internal logic error in SQLite",
        "Access permission denied",
        "Callback routine requested an abort",
        "The database file is locked",
        "A table in the database is locked",
        "A malloc() failed",
        "Attempt to write a readonly database",
        "Operation terminated by sqlite_interrupt()",
        "Disk I/O error occurred",
        "The database disk image is malformed",
        "(Internal Only) Table or record not found",
        "Insertion failed because database is full",
        "Unable to open the database file",
        "Database lock protocol error",
        "(Internal Only) Database table is empty",
        "The database schema changed",
        "Too much data for one row of a table",
        "Abort due to constraint violation",
        "Data type mismatch",
        "Library used incorrectly",
        "Used OS features not supported on host",
        "Authorization denied",
    };
    if (code >= 0 && code < static_cast<int>(std::size(texts)))
        return texts[code];
    if (code == SQLITE_ROW)
        return "sqlite_step() has another row ready";
    if (code == SQLITE_DONE)
        return "sqlite_step() has finished executing";
    return FormatText("Unknown DB error (%d)", {std::to_string(code)});
}
