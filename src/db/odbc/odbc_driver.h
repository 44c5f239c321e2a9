#pragma once
// The ODBC provider: SQL Server, Oracle, Access and MySQL through the driver manager, each with its
// own driver choice and connection string (odbc_setup.h).

#include "db/driver.h"
#include "db/odbc/odbc_handle.h"
#include "db/odbc/odbc_setup.h"
#include "db/odbc/odbc_types.h"

#include <QStringList>
#include <set>

class TOdbcCursor;

/// One ODBC session. Uses only what every driver offers (SQLDriverConnect, SQLExecDirect,
/// SQLFetch, SQLGetData per column); optional attributes that a driver refuses are left alone.
class TOdbcDriver : public TDriver {
public:
    explicit TOdbcDriver(TOdbcSystem system);
    ~TOdbcDriver() override;

    void Open(const TConnectParams& params) override;
    void Close() override;
    bool IsOpen() const override { return FDbc != nullptr; }

    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void SetSavepoint(const QString& name) override;
    void RollbackToSavepoint(const QString& name) override;
    void ReleaseSavepoint(const QString& name) override;
    bool HasFeature(TDbFeature feature) const override;

    qint64 Execute(const QString& sql) override;
    std::unique_ptr<TCursor> OpenCursor(const QString& sql) override;
    void InsertRow(const QString& table, const std::vector<const TField*>& fields) override;
    /// MySQL only, for InnoDB tables without triggers, keys to themselves or counters left to draw.
    std::unique_ptr<TBulkInsert> OpenBulkInsert(const QString& table, const QStringList& columns) override;

    TOdbcDbms Dbms() const { return FDbms; }
    /// The ODBC driver the open session uses.
    QString DriverName() const { return FSetup.Driver; }
    bool WideAccessFile() const { return FWideAccessFile; }

    // For the cursors of this session.
    void RememberCursor(TOdbcCursor* cursor) { FCursors.insert(cursor); }
    void ForgetCursor(TOdbcCursor* cursor) { FCursors.erase(cursor); }

private:
    void* Dbc() const;
    /// A new statement handle; first moves open results into memory when the driver allows only
    /// one active statement per connection.
    TOdbcHandlePtr NewStatement();
    /// Moves open results into memory before another call when the driver runs one at a time.
    void BufferOpenCursors();
    void SetAutoCommit(bool on);
    void EndTransaction(bool commit);
    void ExecuteSavepointSql(const QString& sqlFormat, const QString& name);

    TOdbcSystem FSystem;
    TOdbcSetup FSetup;
    TOdbcHandlePtr FEnv;
    TOdbcHandlePtr FDbc;
    TOdbcDbms FDbms = odOther;
    bool FTransactions = true;     // the driver supports transactions
    bool FAutoCommitWanted = true; // the connection's mode outside explicit transactions
    bool FAutoCommitOn = true;     // the driver's current mode
    bool FSingleActiveStatement = false;
    bool FWideAccessFile = false;
    QString FQuote; // identifier quote character, "" when the driver has none
    std::set<TOdbcCursor*> FCursors;
};

/// Names of the installed ODBC drivers.
QStringList InstalledOdbcDrivers();
std::unique_ptr<TDriver> CreateOdbcDriver(TOdbcSystem system);
/// Registers "SQL Server", "Oracle", "Access" and "MySQL".
void RegisterOdbcDrivers();
