#pragma once
// The interface every provider implements. Only the access layer and the providers include this.

#include "db/field.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

/// What a connection is opened with.
struct TConnectParams {
    QString ProviderName;
    QString Server;
    QString Database;
    int Port = 0;
    QString Username;
    QString Password;
    bool AutoCommit = true;
    /// Provider options by full name ("SQL Server.Provider"); names compare without regard to case.
    QMap<QString, QString> SpecificOptions;
    /// Extra name=value pairs of the connection string that are not one of the properties above.
    QMap<QString, QString> ExtraParams;

    QString Option(const QString& name, const QString& fallback = {}) const;
};

/// Questions a caller may ask a provider instead of testing the system by name.
enum TDbFeature {
    dfAbortsTransactionOnError,  // a failed statement spoils the open transaction (PostgreSQL)
    dfSavepoints,                // SetSavepoint / RollbackToSavepoint / ReleaseSavepoint work
    dfWritable,                  // the driver can write (false for read-only drivers)
};

/// A forward-only stream of rows. Holds at most one fetch block in memory.
class TCursor {
public:
    virtual ~TCursor() = default;
    virtual const std::vector<TFieldDef>& Fields() const = 0;
    /// Loads the next row into `row` (one canonical QVariant per field); false at the end.
    virtual bool Fetch(std::vector<QVariant>& row) = 0;
};

/// Rows of one table written several at a time, with exactly the effect of one INSERT statement per
/// row that carries the same column list and value literals, run one after the other. The columns
/// are fixed when it is opened; each row gives a literal for every column it lists.
class TBulkInsert {
public:
    virtual ~TBulkInsert() = default;
    /// Queues a row: one entry per column of the opening, a null view for a column the row leaves
    /// out (the target fills it as for an omitted column), otherwise the literal as it stands in the
    /// VALUES list ("NULL" for null). False, and nothing queued, when this row cannot be carried with
    /// exactly its statement's effect; the caller then writes it by its statement.
    virtual bool Add(const std::vector<QStringView>& values) = 0;
    /// Rows queued since the last Write or Clear.
    virtual int Count() const = 0;
    /// Writes the queued rows inside the caller's transaction and forgets them. Raises when a row is
    /// refused; the caller must then take back everything since the batch began (savepoint or
    /// transaction), as part of the rows may have been written.
    void Write()
    {
        Send();
        Finish();
    }
    /// The first half of Write: hands the rows to the database, which may still be working on them
    /// when it returns. Nothing else may use the session until Finish, but the next rows may be
    /// queued (Add) meanwhile. May raise as Write does.
    virtual void Send() = 0;
    /// The second half of Write: waits for the outcome of what Send handed over.
    virtual void Finish() = 0;
    /// After a failed Write: the position of the refused row among the batch's rows, if the database
    /// named it, else -1. Only a hint: the caller still proves it by writing that row alone.
    virtual int FailedRow() const { return -1; }
    /// Forgets the queued rows.
    virtual void Clear() = 0;
};

/// One open session with a database. Raises EDatabaseError carrying the database's text on failure.
class TDriver {
public:
    virtual ~TDriver() = default;

    virtual void Open(const TConnectParams& params) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual void SetSavepoint(const QString& name) = 0;
    virtual void RollbackToSavepoint(const QString& name) = 0;
    virtual void ReleaseSavepoint(const QString& name) = 0;
    virtual bool HasFeature(TDbFeature feature) const = 0;

    /// Runs one statement without result; returns the number of rows it changed (0 when unknown).
    virtual qint64 Execute(const QString& sql) = 0;
    /// Opens a result; the connection must stay usable for other statements while it is open.
    virtual std::unique_ptr<TCursor> OpenCursor(const QString& sql) = 0;
    /// Inserts one row into `table`, the values bound as parameters in the fields' canonical forms.
    virtual void InsertRow(const QString& table, const std::vector<const TField*>& fields) = 0;
    /// A writer of several rows at a time into `table` (named as in an INSERT statement) with these
    /// columns (as in its column list); nullptr when the provider has none or cannot promise the
    /// same effect as one statement per row for this table.
    virtual std::unique_ptr<TBulkInsert> OpenBulkInsert(const QString& /*table*/,
                                                        const QStringList& /*columns*/)
    {
        return nullptr;
    }
};

using TDriverFactory = std::function<std::unique_ptr<TDriver>()>;

/// Makes a provider available under a name (compared without regard to case).
void RegisterDriver(const QString& providerName, TDriverFactory factory);
/// The driver for a provider name, or nullptr when none is registered.
std::unique_ptr<TDriver> CreateDriver(const QString& providerName);
