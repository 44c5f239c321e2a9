#pragma once

#include "db/driver.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TConnection;
class TQuery;
using TBeforeConnectEvent = std::function<void(TConnection& sender)>;

/// A connection to one database through the provider named by ProviderName.
/// Every failure raises EDatabaseError with the database's text. Queries on it must be destroyed before it;
/// closing it closes them.
class TConnection {
public:
    TConnection();
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    QString ProviderName;
    QString Server;
    QString Database;
    int Port = 0;
    QString Username;
    QString Password;
    bool LoginPrompt = false; // never shows a dialog; kept for callers that switch it off
    bool AutoCommit = true;
    TBeforeConnectEvent BeforeConnect;

    /// Provider option by full name ("SQL Server.Provider"); names compare without regard to case.
    void SetSpecificOption(const QString& name, const QString& value);
    QString SpecificOption(const QString& name) const;
    const QMap<QString, QString>& SpecificOptions() const { return FOptions; }

    /// name=value pairs joined by ";" ("Provider Name", "Server", "Port", "Database", "User ID",
    /// "Password", "Login Prompt" and extra parameters); properties with their default value are left out,
    /// and names keep the order of the last SetConnectString. Values holding ";" or '"' are quoted ("...").
    QString ConnectString() const;
    /// Parses name=value pairs: known names (without regard to case) set the properties, which are reset
    /// to their defaults first; other names become the extra parameters. Raises on a pair without "=".
    void SetConnectString(const QString& value);
    /// An extra parameter of the connection string ("" when absent); names compare without regard to case.
    QString ExtraParam(const QString& name) const;

    /// Runs BeforeConnect, then opens the provider's session.
    void Open();
    void Close();
    bool Connected() const;
    void SetConnected(bool value) { value ? Open() : Close(); }

    void StartTransaction(); // raises when a transaction is already open
    void Commit();   // a failed commit raises and leaves no transaction open; no-op without transaction
    void Rollback(); // no-op without transaction
    bool InTransaction() const { return FInTransaction; }
    void SetSavepoint(const QString& name);
    void RollbackToSavepoint(const QString& name);
    void ReleaseSavepoint(const QString& name);
    bool HasFeature(TDbFeature feature) const;

    /// Runs one statement without parameters or result.
    void ExecSQL(const QString& sql);
    /// Runs one statement and gives the number of rows it changed.
    qint64 ExecSQLRows(const QString& sql);
    /// The provider's writer of several rows at a time (see TBulkInsert); nullptr when it has none for
    /// this table. It must not outlive the connection's session.
    std::unique_ptr<TBulkInsert> OpenBulkInsert(const QString& table, const QStringList& columns);

    /// The open session (raises when not connected). For queries and statements of the layer.
    TDriver& Driver();

private:
    friend class TQuery;
    void AttachQuery(TQuery* query);
    void DetachQuery(TQuery* query);
    TConnectParams Params() const;

    std::unique_ptr<TDriver> FDriver;
    QMap<QString, QString> FOptions;
    QList<QPair<QString, QString>> FExtraParams; // in the order they were given
    QStringList FParamOrder;                     // names as the last SetConnectString gave them
    std::vector<TQuery*> FQueries;
    bool FInTransaction = false;
};
