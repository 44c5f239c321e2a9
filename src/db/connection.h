#pragma once

#include "db/driver.h"

#include <QMap>
#include <QString>
#include <functional>
#include <memory>

class TConnection;
using TBeforeConnectEvent = std::function<void(TConnection& sender)>;

/// A connection to one database through the provider named by ProviderName.
/// Every failure raises EDatabaseError with the database's text.
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
    bool LoginPrompt = false;  // never shows a dialog; kept for callers that switch it off
    bool AutoCommit = true;
    TBeforeConnectEvent BeforeConnect;

    /// Provider option by full name ("SQL Server.Provider"); names compare without regard to case.
    void SetSpecificOption(const QString& name, const QString& value);
    QString SpecificOption(const QString& name) const;
    const QMap<QString, QString>& SpecificOptions() const { return FOptions; }

    /// name=value pairs joined by ";": the properties above followed by any extra parameters.
    QString ConnectString() const;
    /// Parses name=value pairs; known names set the properties, others are kept as extra parameters.
    void SetConnectString(const QString& value);

    /// Runs BeforeConnect, then opens the provider's session.
    void Open();
    void Close();
    bool Connected() const;
    void SetConnected(bool value) { value ? Open() : Close(); }

    void StartTransaction();
    void Commit();     // a failed commit raises and leaves no transaction open
    void Rollback();
    bool InTransaction() const { return FInTransaction; }
    void SetSavepoint(const QString& name);
    void RollbackToSavepoint(const QString& name);
    void ReleaseSavepoint(const QString& name);
    bool HasFeature(TDbFeature feature) const;

    /// Runs one statement without parameters or result.
    void ExecSQL(const QString& sql);
    /// Runs one statement and gives the number of rows it changed.
    qint64 ExecSQLRows(const QString& sql);

    /// The open session (raises when not connected). For queries and statements of the layer.
    TDriver& Driver();

private:
    std::unique_ptr<TDriver> FDriver;
    QMap<QString, QString> FOptions;
    QMap<QString, QString> FExtraParams;
    bool FInTransaction = false;
};
