#pragma once
// The interface every provider implements. Only the access layer and the providers include this.

#include "db/field.h"

#include <QMap>
#include <QString>
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
};

using TDriverFactory = std::function<std::unique_ptr<TDriver>()>;

/// Makes a provider available under a name (compared without regard to case).
void RegisterDriver(const QString& providerName, TDriverFactory factory);
/// The driver for a provider name, or nullptr when none is registered.
std::unique_ptr<TDriver> CreateDriver(const QString& providerName);
