#include "db/sqlite/sqlite_driver.h"

#include "db/db_error.h"
#include "db/sqlite/sqlite_decltype.h"
#include "db/sqlite/sqlite_values.h"
#include "db/values_bulk.h"

#include <QFileInfo>
#include <sqlite3.h>

namespace {

struct TStmtDeleter {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using TStmtPtr = std::unique_ptr<sqlite3_stmt, TStmtDeleter>;

struct TDbDeleter {
    // close_v2 waits for statements still open (a cursor freed later) instead of failing.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDbPtr = std::unique_ptr<sqlite3, TDbDeleter>;

EDatabaseError MakeError(sqlite3* db, int rc)
{
    QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    int code = db ? sqlite3_extended_errcode(db) : rc;
    int primary = code & 0xFF;
    bool broken = primary == SQLITE_IOERR || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ||
                  primary == SQLITE_CANTOPEN;
    return EDatabaseError(message, QString(), code, broken);
}

QString QuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

bool OptionIsTrue(const QString& value)
{
    QString v = value.trimmed().toLower();
    return v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes");
}

bool OptionIsFalse(const QString& value)
{
    QString v = value.trimmed().toLower();
    return v == QLatin1String("false") || v == QLatin1String("0") || v == QLatin1String("no");
}

QVariant ColumnValue(sqlite3_stmt* stmt, int column, TField& scratch)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        if (IsTextType(scratch.DataType()))
            break;
        return SQLiteValueToCanonical(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)), scratch);
    case SQLITE_FLOAT:
        if (IsTextType(scratch.DataType()))
            break;
        return SQLiteValueToCanonical(sqlite3_column_double(stmt, column), scratch);
    case SQLITE_BLOB: {
        const void* data = sqlite3_column_blob(stmt, column);
        int size = sqlite3_column_bytes(stmt, column);
        QByteArray bytes(static_cast<const char*>(data), size);
        return SQLiteValueToCanonical(bytes, scratch);
    }
    default:
        break;
    }
    // Text, and numbers in text columns as the database writes them.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    int size = sqlite3_column_bytes(stmt, column);
    return SQLiteValueToCanonical(QString::fromUtf8(text, size), scratch);
}

TFieldType TypeOfValue(int storageClass)
{
    switch (storageClass) {
    case SQLITE_INTEGER:
        return ftLargeint;
    case SQLITE_FLOAT:
        return ftFloat;
    case SQLITE_BLOB:
        return ftBlob;
    default:
        return ftWideMemo;
    }
}

class TSQLiteCursor : public TCursor {
public:
    TSQLiteCursor(sqlite3* db, TStmtPtr stmt) : FDb(db), FStmt(std::move(stmt))
    {
        // The first step runs the statement, so errors surface on opening, and gives the value types of
        // columns that have no declared type (expressions such as count(*)).
        FPending = Step();
        int count = sqlite3_column_count(FStmt.get());
        for (int i = 0; i < count; ++i) {
            TFieldDef def =
                SQLiteFieldDefFromDeclType(QString::fromUtf8(sqlite3_column_decltype(FStmt.get(), i)));
            def.Name = QString::fromUtf8(sqlite3_column_name(FStmt.get(), i));
            if (def.DataType == ftUnknown)
                def.DataType = FPending ? TypeOfValue(sqlite3_column_type(FStmt.get(), i)) : ftWideMemo;
            FFields.push_back(def);
            FScratch.emplace_back(def);
        }
    }

    const std::vector<TFieldDef>& Fields() const override { return FFields; }

    bool Fetch(std::vector<QVariant>& row) override
    {
        if (!FStmt)
            return false;
        if (!FPending && !Step()) {
            FStmt.reset();
            return false;
        }
        FPending = false;
        row.resize(FFields.size());
        for (size_t i = 0; i < FFields.size(); ++i)
            row[i] = ColumnValue(FStmt.get(), static_cast<int>(i), FScratch[i]);
        return true;
    }

private:
    bool Step()
    {
        int rc = sqlite3_step(FStmt.get());
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw MakeError(FDb, rc);
    }

    sqlite3* FDb;
    TStmtPtr FStmt;
    std::vector<TFieldDef> FFields;
    std::vector<TField> FScratch;
    bool FPending = false;
};

class TSQLiteDriver : public TDriver {
public:
    void Open(const TConnectParams& params) override
    {
        Close();
        QString database = params.Database;
        if (!params.Option(QStringLiteral("SQLite.EncryptionKey")).isEmpty())
            throw EDatabaseError(QStringLiteral("Die SQLite-Datenbank \"%1\" kann nicht mit einem Schlüssel "
                                                "geöffnet werden: verschlüsselte SQLite-Datenbanken werden "
                                                "nicht unterstützt")
                                     .arg(database));
        if (database.trimmed().isEmpty())
            throw EDatabaseError(QStringLiteral("Es ist keine SQLite-Datenbankdatei angegeben"));
        bool create = OptionIsTrue(params.Option(QStringLiteral("SQLite.CreateDatabase")));
        bool memory = database == QLatin1String(":memory:");
        if (!create && !memory && !QFileInfo::exists(database))
            throw EDatabaseError(
                QStringLiteral("Die SQLite-Datenbankdatei \"%1\" existiert nicht").arg(database));

        int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(database.toUtf8().constData(), &raw, flags, nullptr);
        TDbPtr db(raw);
        if (rc != SQLITE_OK)
            throw MakeError(db.get(), rc);
        sqlite3_extended_result_codes(db.get(), 1);
        bool okTimeout = false;
        int timeout = params.Option(QStringLiteral("SQLite.BusyTimeout")).toInt(&okTimeout);
        sqlite3_busy_timeout(db.get(), okTimeout ? timeout : 5000);
        FDb = std::move(db);
        try {
            if (!OptionIsFalse(params.Option(QStringLiteral("SQLite.ForeignKeys"))))
                Execute(QStringLiteral("PRAGMA foreign_keys = ON"));
            // Reading the schema tells at once whether the file is a database at all.
            Execute(QStringLiteral("select count(*) from sqlite_master"));
        } catch (...) {
            FDb.reset();
            throw;
        }
    }

    void Close() override
    {
        FInsertStmt.reset();
        FInsertSql.clear();
        FDb.reset();
    }

    bool IsOpen() const override { return FDb != nullptr; }

    void StartTransaction() override { Execute(QStringLiteral("BEGIN")); }

    void Commit() override
    {
        try {
            Execute(QStringLiteral("COMMIT"));
        } catch (...) {
            // A commit refused (deferred constraint, lock) leaves the transaction open: end it.
            if (FDb && !sqlite3_get_autocommit(FDb.get()))
                sqlite3_exec(FDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    void Rollback() override
    {
        // The database may already have rolled back by itself after an I/O or memory error.
        if (Db() && !sqlite3_get_autocommit(FDb.get()))
            Execute(QStringLiteral("ROLLBACK"));
    }

    void SetSavepoint(const QString& name) override
    {
        Execute(QStringLiteral("SAVEPOINT ") + QuoteIdentifier(name));
    }
    void RollbackToSavepoint(const QString& name) override
    {
        Execute(QStringLiteral("ROLLBACK TO SAVEPOINT ") + QuoteIdentifier(name));
    }
    void ReleaseSavepoint(const QString& name) override
    {
        Execute(QStringLiteral("RELEASE SAVEPOINT ") + QuoteIdentifier(name));
    }

    bool HasFeature(TDbFeature feature) const override
    {
        switch (feature) {
        case dfAbortsTransactionOnError:
            return false;
        case dfSavepoints:
            return true;
        case dfWritable:
            return true;
        }
        return false;
    }

    qint64 Execute(const QString& sql) override
    {
        sqlite3* db = Db();
        QByteArray text = sql.toUtf8();
        const char* rest = text.constData();
        const char* end = rest + text.size();
        qint64 rows = 0;
        // Runs every statement of the text; the count is that of the last one.
        while (rest < end) {
            sqlite3_stmt* raw = nullptr;
            const char* tail = nullptr;
            int rc = sqlite3_prepare_v2(db, rest, static_cast<int>(end - rest), &raw, &tail);
            TStmtPtr stmt(raw);
            if (rc != SQLITE_OK)
                throw MakeError(db, rc);
            rest = tail;
            if (!stmt)
                continue; // only blanks or comments
            sqlite3_int64 before = sqlite3_total_changes64(db);
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
            }
            if (rc != SQLITE_DONE)
                throw MakeError(db, rc);
            // changes() keeps the count of an earlier statement after DDL; only trust it if rows changed.
            rows = sqlite3_total_changes64(db) != before ? sqlite3_changes64(db) : 0;
        }
        return rows;
    }

    std::unique_ptr<TCursor> OpenCursor(const QString& sql) override
    {
        sqlite3* db = Db();
        QByteArray text = sql.toUtf8();
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &raw, nullptr);
        TStmtPtr stmt(raw);
        if (rc != SQLITE_OK)
            throw MakeError(db, rc);
        if (!stmt)
            throw EDatabaseError(QStringLiteral("Die Abfrage enthält keine SQL-Anweisung"));
        return std::make_unique<TSQLiteCursor>(db, std::move(stmt));
    }

    void InsertRow(const QString& table, const std::vector<const TField*>& fields) override
    {
        sqlite3* db = Db();
        QString sql;
        if (fields.empty()) {
            sql = QStringLiteral("insert into %1 default values").arg(table);
        } else {
            QStringList names, marks;
            for (const TField* field : fields) {
                names.append(QuoteIdentifier(field->FieldName()));
                marks.append(QStringLiteral("?"));
            }
            sql = QStringLiteral("insert into %1 (%2) values (%3)")
                      .arg(table, names.join(u','), marks.join(u','));
        }
        // Rows are appended one by one into the same table: keep the last statement prepared.
        if (sql != FInsertSql || !FInsertStmt) {
            FInsertStmt.reset();
            FInsertSql.clear();
            QByteArray text = sql.toUtf8();
            sqlite3_stmt* raw = nullptr;
            int rc = sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &raw, nullptr);
            TStmtPtr stmt(raw);
            if (rc != SQLITE_OK)
                throw MakeError(db, rc);
            FInsertStmt = std::move(stmt);
            FInsertSql = sql;
        }
        sqlite3_stmt* stmt = FInsertStmt.get();
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        for (size_t i = 0; i < fields.size(); ++i)
            Bind(stmt, static_cast<int>(i) + 1, SQLiteBindValue(*fields[i]));
        int rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE) {
            EDatabaseError error = MakeError(db, rc);
            sqlite3_reset(stmt);
            throw error;
        }
        sqlite3_reset(stmt);
    }

    std::unique_ptr<TBulkInsert> OpenBulkInsert(const QString& table, const QStringList& columns) override
    {
        // Immediate foreign keys are checked at the end of a statement: with a key to the table
        // itself, a row could refer to a later row of the same statement, which its own INSERT
        // would not see yet.
        if (MayReferToItself(table))
            return nullptr;
        return MakeValuesBulkInsert(table, columns, [this](const QString& sql) { Execute(sql); });
    }

private:
    bool MayReferToItself(const QString& table)
    {
        try {
            auto enabled = OpenCursor(QStringLiteral("pragma foreign_keys"));
            std::vector<QVariant> row;
            if (!enabled->Fetch(row) || row.empty() || row[0].toLongLong() == 0)
                return false;
            QString bare = table.section(u'.', -1);
            if (bare.size() >= 2 && QStringLiteral("\"[`").contains(bare.front()))
                bare = bare.mid(1, bare.size() - 2);
            auto keys = OpenCursor(QStringLiteral("pragma foreign_key_list(%1)").arg(table));
            int target = -1;
            for (size_t i = 0; i < keys->Fields().size(); ++i) {
                if (keys->Fields()[i].Name == QLatin1String("table"))
                    target = static_cast<int>(i);
            }
            if (target < 0)
                return true;
            while (keys->Fetch(row)) {
                if (row[static_cast<size_t>(target)].toString().compare(bare, Qt::CaseInsensitive) == 0)
                    return true;
            }
            return false;
        } catch (const EDatabaseError&) {
            return true;
        }
    }

    sqlite3* Db() const
    {
        if (!FDb)
            throw EDatabaseError(QStringLiteral("Die Verbindung ist nicht geöffnet"));
        return FDb.get();
    }

    void Bind(sqlite3_stmt* stmt, int index, const QVariant& value)
    {
        int rc = SQLITE_OK;
        switch (value.typeId()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(stmt, index);
            break;
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(stmt, index, bytes.constData(),
                                     static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text64(stmt, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
        if (rc != SQLITE_OK)
            throw MakeError(FDb.get(), rc);
    }

    TDbPtr FDb;
    TStmtPtr FInsertStmt;
    QString FInsertSql;
};

} // namespace

std::unique_ptr<TDriver> CreateSQLiteDriver()
{
    return std::make_unique<TSQLiteDriver>();
}

void RegisterSQLiteDriver()
{
    RegisterDriver(QStringLiteral("SQLite"), CreateSQLiteDriver);
}
