#include "db/odbc/odbc_driver.h"

#include "db/db_error.h"
#include "db/odbc/odbc_cursor.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

namespace {

// ODBC passes integer attribute values in the pointer argument.
SQLPOINTER IntegerAttribute(SQLULEN value)
{
    return reinterpret_cast<SQLPOINTER>(value); // NOLINT(performance-no-int-to-ptr)
}

const SQLWCHAR* Wide(const QString& text)
{
    return reinterpret_cast<const SQLWCHAR*>(text.utf16());
}

// Names and quote characters are plain ASCII. The narrow call with a buffer that ends in a zero the
// driver cannot overwrite: for a driver without wide calls (MDBTools) the driver manager's converted
// copy of the wide answer is read past its end.
QString InfoText(SQLHDBC dbc, SQLUSMALLINT item)
{
    SQLCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, item, buffer, SQLSMALLINT(sizeof(buffer) - 1), &length)))
        return {};
    const int size = qBound(0, int(length), int(sizeof(buffer)) - 1);
    return QString::fromLatin1(reinterpret_cast<const char*>(buffer),
                               qstrnlen(reinterpret_cast<const char*>(buffer), size));
}

bool InfoSmallInt(SQLHDBC dbc, SQLUSMALLINT item, SQLUSMALLINT& value)
{
    SQLSMALLINT length = 0;
    return SQL_SUCCEEDED(SQLGetInfoW(dbc, item, &value, sizeof(value), &length));
}

// Jet 4 and later files (version byte at offset 0x14 not 0) store text as UTF-16.
bool IsWideAccessFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    QByteArray header = file.read(0x15);
    return header.size() < 0x15 || header[0x14] != 0;
}

} // namespace

TOdbcDriver::TOdbcDriver(TOdbcSystem system) : FSystem(system) {}

TOdbcDriver::~TOdbcDriver()
{
    try {
        Close();
    } catch (...) {
    }
}

void* TOdbcDriver::Dbc() const
{
    if (!FDbc)
        throw EDatabaseError(QStringLiteral("Die Verbindung zur Datenbank ist nicht geöffnet."));
    return FDbc.get();
}

void TOdbcDriver::Open(const TConnectParams& params)
{
    Close();
    TOdbcSetup setup = OdbcSetupFor(FSystem, params, InstalledOdbcDrivers());
    QString connectString = setup.ConnectString();

    TOdbcHandlePtr env = AllocOdbcHandle(SQL_HANDLE_ENV, nullptr);
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    TOdbcHandlePtr dbc = AllocOdbcHandle(SQL_HANDLE_DBC, env.get());
    // Optional: a driver that does not know the attribute still connects.
    SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(SQLULEN(setup.LoginTimeout)), 0);

    // No buffer for the completed connection string: it is not needed, and for a driver without wide
    // calls (MDBTools) the driver manager reads the converted copy past its end.
    SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, const_cast<SQLWCHAR*>(Wide(connectString)), SQL_NTS,
                                     nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        // MDBTools reports a missing file on stderr only.
        if (FSystem == osAccess && ReadOdbcDiag(SQL_HANDLE_DBC, dbc.get()).Message.isEmpty() &&
            !QFileInfo(params.Database).isFile())
            throw EDatabaseError(
                QStringLiteral("Die Datenbankdatei \"%1\" wurde nicht gefunden.").arg(params.Database));
        ThrowOdbcError(SQL_HANDLE_DBC, dbc.get(), QStringLiteral("SQLDriverConnect"), rc);
    }

    FSetup = std::move(setup);
    FEnv = std::move(env);
    FDbc = std::move(dbc);
    FDbms = OdbcDbmsFromName(InfoText(FDbc.get(), SQL_DBMS_NAME));
    if (FDbms == odOther && FSystem == osAccess)
        FDbms = odAccess;
    FWideAccessFile = FDbms == odMdbTools && IsWideAccessFile(params.Database);
    QString quote = InfoText(FDbc.get(), SQL_IDENTIFIER_QUOTE_CHAR).trimmed();
    FQuote = quote.size() == 1 ? quote : QString();

    SQLUSMALLINT value = 0;
    FTransactions = InfoSmallInt(FDbc.get(), SQL_TXN_CAPABLE, value) && value != SQL_TC_NONE;
    FSingleActiveStatement =
        (InfoSmallInt(FDbc.get(), SQL_MAX_CONCURRENT_ACTIVITIES, value) && value == 1) ||
        params.Option(OdbcProviderName(FSystem) + QStringLiteral(".SingleActiveStatement"))
                .compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;

    FAutoCommitWanted = params.AutoCommit;
    FAutoCommitOn = true;
    try {
        if (FTransactions && !FAutoCommitWanted)
            SetAutoCommit(false);
    } catch (...) {
        Close();
        throw;
    }
}

void TOdbcDriver::Close()
{
    // Statements go before their connection.
    std::set<TOdbcCursor*> cursors;
    cursors.swap(FCursors);
    for (TOdbcCursor* cursor : cursors)
        cursor->Detach();
    if (FDbc) {
        if (FTransactions && !FAutoCommitOn)
            SQLEndTran(SQL_HANDLE_DBC, FDbc.get(), SQL_ROLLBACK);
        SQLDisconnect(FDbc.get());
    }
    FDbc.reset();
    FEnv.reset();
    FDbms = odOther;
}

TOdbcHandlePtr TOdbcDriver::NewStatement()
{
    void* dbc = Dbc();
    BufferOpenCursors();
    return AllocOdbcHandle(SQL_HANDLE_STMT, dbc);
}

void TOdbcDriver::BufferOpenCursors()
{
    if (!FSingleActiveStatement)
        return;
    std::set<TOdbcCursor*> cursors = FCursors; // each cursor forgets itself as it goes
    for (TOdbcCursor* cursor : cursors)
        cursor->Buffer();
}

void TOdbcDriver::SetAutoCommit(bool on)
{
    SQLUINTEGER value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    SQLRETURN rc = SQLSetConnectAttrW(Dbc(), SQL_ATTR_AUTOCOMMIT, IntegerAttribute(value), 0);
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_DBC, FDbc.get(), QStringLiteral("SQLSetConnectAttr"), rc);
    FAutoCommitOn = on;
}

void TOdbcDriver::StartTransaction()
{
    Dbc();
    if (!FTransactions || !FAutoCommitOn)
        return;
    BufferOpenCursors();
    SetAutoCommit(false);
}

void TOdbcDriver::EndTransaction(bool commit)
{
    void* dbc = Dbc();
    if (!FTransactions)
        return;
    BufferOpenCursors();
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc, commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(rc)) {
        try {
            ThrowOdbcError(SQL_HANDLE_DBC, dbc,
                           commit ? QStringLiteral("Commit") : QStringLiteral("Rollback"), rc);
        } catch (const EDatabaseError&) {
            // A failed commit leaves nothing open: what is left is rolled back.
            if (commit)
                SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
            if (FAutoCommitWanted && !FAutoCommitOn) {
                try {
                    SetAutoCommit(true);
                } catch (const EDatabaseError&) {
                }
            }
            throw;
        }
    }
    if (FAutoCommitWanted && !FAutoCommitOn)
        SetAutoCommit(true);
}

void TOdbcDriver::Commit()
{
    EndTransaction(true);
}

void TOdbcDriver::Rollback()
{
    EndTransaction(false);
}

void TOdbcDriver::ExecuteSavepointSql(const QString& sqlFormat, const QString& name)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,29}$"));
    if (!identifier.match(name).hasMatch())
        throw EDatabaseError(QStringLiteral("Ungültiger Name eines Sicherungspunkts: \"%1\"").arg(name));
    if (!HasFeature(dfSavepoints))
        throw EDatabaseError(
            QStringLiteral("Der ODBC-Treiber \"%1\" unterstützt keine Sicherungspunkte.").arg(FSetup.Driver));
    if (!sqlFormat.isEmpty())
        Execute(sqlFormat.arg(name));
}

void TOdbcDriver::SetSavepoint(const QString& name)
{
    ExecuteSavepointSql(
        FDbms == odSqlServer ? QStringLiteral("SAVE TRANSACTION %1") : QStringLiteral("SAVEPOINT %1"), name);
}

void TOdbcDriver::RollbackToSavepoint(const QString& name)
{
    ExecuteSavepointSql(FDbms == odSqlServer ? QStringLiteral("ROLLBACK TRANSACTION %1")
                                             : QStringLiteral("ROLLBACK TO SAVEPOINT %1"),
                        name);
}

void TOdbcDriver::ReleaseSavepoint(const QString& name)
{
    // SQL Server and Oracle keep a savepoint until the transaction ends; there is nothing to release.
    bool hasRelease = FDbms == odMySql || FDbms == odPostgres;
    ExecuteSavepointSql(hasRelease ? QStringLiteral("RELEASE SAVEPOINT %1") : QString(), name);
}

bool TOdbcDriver::HasFeature(TDbFeature feature) const
{
    switch (feature) {
    case dfAbortsTransactionOnError:
        // PostgreSQL's driver rolls back only the failed statement (its default), the others never
        // give up the transaction for one failed statement.
        return false;
    case dfSavepoints:
        return FTransactions &&
               (FDbms == odSqlServer || FDbms == odOracle || FDbms == odMySql || FDbms == odPostgres);
    case dfWritable:
        return FDbms != odMdbTools;
    }
    return false;
}

qint64 TOdbcDriver::Execute(const QString& sql)
{
    TOdbcHandlePtr statement = NewStatement();
    SQLRETURN rc = SQLExecDirectW(statement.get(), const_cast<SQLWCHAR*>(Wide(sql)), SQL_NTS);
    if (rc == SQL_NO_DATA)
        return 0;
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_STMT, statement.get(), QStringLiteral("SQLExecDirect"), rc);
    SQLLEN rows = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(statement.get(), &rows)) || rows < 0)
        rows = 0;
    return rows;
}

std::unique_ptr<TCursor> TOdbcDriver::OpenCursor(const QString& sql)
{
    TOdbcHandlePtr statement = NewStatement();
    SQLRETURN rc = SQLExecDirectW(statement.get(), const_cast<SQLWCHAR*>(Wide(sql)), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        ThrowOdbcError(SQL_HANDLE_STMT, statement.get(), QStringLiteral("SQLExecDirect"), rc);
    return std::make_unique<TOdbcCursor>(*this, std::move(statement));
}

QStringList InstalledOdbcDrivers()
{
    QStringList drivers;
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return drivers;
    TOdbcHandlePtr owner(env, TOdbcHandleDeleter{SQL_HANDLE_ENV});
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR name[512];
        SQLWCHAR attributes[2048];
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        SQLRETURN rc = SQLDriversW(env, direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                   attributes, SQLSMALLINT(std::size(attributes)), &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        int chars = qBound(0, int(nameLength), int(std::size(name)) - 1);
        drivers.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(name), chars));
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

std::unique_ptr<TDriver> CreateOdbcDriver(TOdbcSystem system)
{
    return std::make_unique<TOdbcDriver>(system);
}

void RegisterOdbcDrivers()
{
    for (TOdbcSystem system : {osSqlServer, osOracle, osAccess, osMySql})
        RegisterDriver(OdbcProviderName(system), [system] { return CreateOdbcDriver(system); });
}
