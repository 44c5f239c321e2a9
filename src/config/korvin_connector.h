#pragma once

#include "db/provider_type.h"

#include <QString>
#include <memory>

class TConnection;

/// The built-in Access password for a database file: the ".accdb" password when the file's extension
/// (from the last dot on) is ".accdb" in any letter case, otherwise the password of the other files.
QString AccessPasswordFor(const QString& databaseFile);

/// Turns a connection configuration file into a ready connection and opens it. Works on a connection
/// it does not own; hooks the connection's BeforeConnect to complete the connection string.
class TKorvinConnector {
public:
    /// `aconn` must outlive every opening of the connection made through this connector.
    explicit TKorvinConnector(TConnection& aconn);
    ~TKorvinConnector();
    TKorvinConnector(const TKorvinConnector&) = delete;
    TKorvinConnector& operator=(const TKorvinConnector&) = delete;

    QString ConnectionFile() const { return FConnectionFile; }
    /// Reads the file's section Korvinconnection and sets up the connection; does not connect.
    /// Only what the file's format sets is changed; everything else keeps its earlier value.
    void SetConnectionFile(const QString& value);

    /// Format word of the current set-up: the file's ProviderName in upper case, whatever it holds.
    QString DBFormat() const { return FDBFormat; }
    TDBProviderType DBProviderType() const { return FDBProviderType; }
    /// Error text of the last Connect; "" after a successful one.
    QString ErrorMessage() const { return FErrMsg; }

    /// Opens the connection. False with ErrorMessage set when the database refuses; only database
    /// errors are caught.
    bool Connect();

    /// Exact, case-sensitive mapping of a format word; any other text gives dbpUndefined.
    static TDBProviderType DBFormatToProviderType(const QString& word);

private:
    struct THook;

    void SetSpecificOption(const QString& name, const QString& value);
    void ConnBeforeConnect(TConnection& sender);
    QString OpenCaught();
    QString ConnectSQLitePlain();
    QString ConnectSQLiteEncrypted();

    TConnection* FConn;
    QString FConnectionFile;
    QString FDBFormat;
    TDBProviderType FDBProviderType = dbpAccess;
    QString FDatabase;
    QString FServer;
    qint32 FPort = 0;
    QString FUser;
    QString FPassword;
    bool FDirect = false;
    QString FErrMsg;
    // The connection's BeforeConnect holds only a weak reference to this, so an opening after the
    // connector is gone completes nothing instead of touching freed memory.
    std::shared_ptr<THook> FHook;
};
