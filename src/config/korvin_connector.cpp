#include "config/korvin_connector.h"

#include "config/credentials.h"
#include "config/helpers.h"
#include "config/ini_file.h"
#include "config/password.h"
#include "db/connection.h"
#include "db/db_error.h"

#include <QDir>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");

#ifdef Q_OS_WIN
const QString kFirebirdClientLibrary = QStringLiteral("fbclient.dll");
#else
const QString kFirebirdClientLibrary = QStringLiteral("libfbclient.so.2");
#endif

QString BoolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

QString AccessPasswordFor(const QString& databaseFile)
{
    int dot = databaseFile.lastIndexOf(QLatin1Char('.'));
    QString extension = dot >= 0 ? databaseFile.mid(dot) : QString();
    if (extension.compare(QLatin1String(".accdb"), Qt::CaseInsensitive) == 0)
        return GetAccdbPassword();
    return GetMdbPassword();
}

struct TKorvinConnector::THook {
    TKorvinConnector* Owner;
};

TKorvinConnector::TKorvinConnector(TConnection& aconn)
    : FConn(&aconn), FHook(std::make_shared<THook>(THook{this}))
{
    std::weak_ptr<THook> hook = FHook;
    FConn->BeforeConnect = [hook](TConnection& sender) {
        if (auto alive = hook.lock())
            alive->Owner->ConnBeforeConnect(sender);
    };
}

TKorvinConnector::~TKorvinConnector()
{
    FConn = nullptr;
}

TDBProviderType TKorvinConnector::DBFormatToProviderType(const QString& word)
{
    static const char* const words[] = {"MSACCESS", "SQLITE", "MSSQL",   "FIREBIRD",
                                        "ORACLE",   "MYSQL",  "NEXUSDB", "POSTGRESQL"};
    for (int i = 0; i < int(std::size(words)); ++i) {
        if (word == QLatin1String(words[i]))
            return TDBProviderType(i);
    }
    return dbpUndefined;
}

void TKorvinConnector::SetSpecificOption(const QString& name, const QString& value)
{
    FConn->SetSpecificOption(name, value);
}

void TKorvinConnector::SetConnectionFile(const QString& value)
{
    FConnectionFile = value;
    // The login prompt goes off even when reading the file raises.
    struct TPromptOff {
        TConnection* Conn;
        ~TPromptOff() { Conn->LoginPrompt = false; }
    } promptOff{FConn};

    TIniFile ini(value);
    FDBFormat = ini.ReadString(kSection, QStringLiteral("ProviderName"), QString()).toUpper();
    FDBProviderType = DBFormatToProviderType(FDBFormat);

    if (FDBProviderType == dbpAccess) {
        FDatabase = ini.ReadString(kSection, QStringLiteral("Database"), QString());
        FUser = AccessUserName();
        FPassword = AccessPasswordFor(FDatabase);
        FConn->ProviderName = QStringLiteral("Access");
        FConn->Database = FDatabase;
        FConn->Port = 0;
        FConn->Username = FUser;
        FConn->Password = FPassword;
        return;
    }

    if (FDBProviderType == dbpSQLite) {
        FDatabase = ini.ReadString(kSection, QStringLiteral("Database"), QString());
        FDirect = ini.ReadBool(kSection, QStringLiteral("Direct"), false);
        FConn->ProviderName = QStringLiteral("SQLite");
        FConn->Database = FDatabase;
        SetSpecificOption(QStringLiteral("SQLite.Direct"), BoolText(FDirect));
        return;
    }

    FServer = ini.ReadString(kSection, QStringLiteral("Server"), QString());
    FPort = ini.ReadInteger(kSection, QStringLiteral("Port"), 0);
    FDatabase = ini.ReadString(kSection, QStringLiteral("Database"), QString());
    FUser = ini.ReadString(kSection, QStringLiteral("Username"), QString());
    FPassword = ini.ReadString(kSection, QStringLiteral("Password"), QString());
    if (!FPassword.isEmpty())
        FPassword = DecryptPassword(FPassword, QString());
    FDirect = ini.ReadBool(kSection, QStringLiteral("Direct"), false);

    FConn->Server = FServer;
    FConn->Database = FDatabase;
    FConn->Port = FPort;
    FConn->Username = FUser;
    FConn->Password = FPassword;

    switch (FDBProviderType) {
    case dbpMSSQL:
        FConn->ProviderName = QStringLiteral("SQL Server");
        SetSpecificOption(QStringLiteral("SQL Server.Provider"),
                          FDirect ? QStringLiteral("prDirect") : QStringLiteral("prAuto"));
        break;
    case dbpFirebird:
        FConn->ProviderName = QStringLiteral("InterBase");
        SetSpecificOption(QStringLiteral("Interbase.ClientLibrary"),
                          GetExeDir() + QDir::separator() + kFirebirdClientLibrary);
        SetSpecificOption(QStringLiteral("Interbase.Charset"), QStringLiteral("WIN1252"));
        SetSpecificOption(QStringLiteral("Interbase.UseUnicode"), QStringLiteral("True"));
        break;
    case dbpOracle:
        FConn->ProviderName = QStringLiteral("Oracle");
        SetSpecificOption(QStringLiteral("Oracle.Direct"), BoolText(FDirect));
        break;
    case dbpMySQL:
        FConn->ProviderName = QStringLiteral("MySQL");
        break;
    case dbpNexusDB:
        FConn->ProviderName = QStringLiteral("NexusDB");
        break;
    case dbpPostgreSQL:
        FConn->ProviderName = QStringLiteral("PostgreSQL");
        break;
    default: // dbpUndefined: the provider name keeps its earlier value
        break;
    }
}

QString TKorvinConnector::OpenCaught()
{
    try {
        FConn->Open();
        return QString();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
}

QString TKorvinConnector::ConnectSQLitePlain()
{
    SetSpecificOption(QStringLiteral("SQLite.EncryptionKey"), QString());
    return OpenCaught();
}

QString TKorvinConnector::ConnectSQLiteEncrypted()
{
    SetSpecificOption(QStringLiteral("SQLite.EncryptionAlgorithm"), QStringLiteral("leBlowfish"));
    SetSpecificOption(QStringLiteral("SQLite.EncryptionKey"), GetDatabaseKey());
    if (OpenCaught().isEmpty())
        return QString();
    return ConnectSQLitePlain();
}

bool TKorvinConnector::Connect()
{
    FConn->LoginPrompt = false;
    FConn->Close();

    if (FDBProviderType == dbpSQLite) {
        FErrMsg = FDirect ? ConnectSQLitePlain() : ConnectSQLiteEncrypted();
        return FErrMsg.isEmpty();
    }

    FErrMsg = OpenCaught();
    return FErrMsg.isEmpty() && FConn->Connected();
}

void TKorvinConnector::ConnBeforeConnect(TConnection& sender)
{
    if (FDBProviderType != dbpAccess && FDBProviderType != dbpSQLite && FDBProviderType != dbpFirebird &&
        FDBProviderType != dbpMySQL)
        return;
    QString connectString = sender.ConnectString();
    if (!connectString.contains(QLatin1String("Use Unicode=True"), Qt::CaseInsensitive))
        connectString += QLatin1String(";Use Unicode=True");
    if (!connectString.contains(QLatin1String("Login Prompt=False"), Qt::CaseInsensitive))
        connectString += QLatin1String(";Login Prompt=False");
    if (connectString != sender.ConnectString())
        sender.SetConnectString(connectString);
}
