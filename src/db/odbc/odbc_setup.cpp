#include "db/odbc/odbc_setup.h"

#include "db/db_error.h"
#include "db/driver.h"

namespace {

const QString kAccessDriver = QStringLiteral("Microsoft Access Driver (*.mdb, *.accdb)");
const QString kMdbToolsDriver = QStringLiteral("MDBTools");
const QString kFreeTdsDriver = QStringLiteral("FreeTDS");
const QString kMariaDbDriver = QStringLiteral("MariaDB Unicode");
const QStringList kSqlServerDrivers = {QStringLiteral("ODBC Driver 18 for SQL Server"),
                                       QStringLiteral("ODBC Driver 17 for SQL Server")};

bool IsInstalled(const QStringList& installed, const QString& driver)
{
    return installed.isEmpty() || installed.contains(driver, Qt::CaseInsensitive);
}

QString FirstInstalled(const QStringList& installed, const QStringList& candidates)
{
    for (const QString& candidate : candidates) {
        if (installed.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
    return {};
}

QString FirstStartingWith(const QStringList& installed, const QStringList& prefixes)
{
    for (const QString& prefix : prefixes) {
        for (const QString& driver : installed) {
            if (driver.startsWith(prefix, Qt::CaseInsensitive))
                return driver;
        }
    }
    return {};
}

[[noreturn]] void ThrowMissingDriver(const QString& system, const QString& wanted, const QString& option)
{
    throw EDatabaseError(QStringLiteral("Für %1 ist kein ODBC-Treiber installiert: benötigt wird %2 "
                                        "(ein anderer Treibername lässt sich mit der Option \"%3\" angeben).")
                             .arg(system, wanted, option));
}

/// The driver named by `option` when set; raises when it is set but not installed.
QString DriverFromOption(const TConnectParams& params, const QString& option, const QStringList& installed)
{
    QString named = params.Option(option).trimmed();
    if (!named.isEmpty() && !IsInstalled(installed, named))
        throw EDatabaseError(QStringLiteral("Der ODBC-Treiber \"%1\" (Option \"%2\") ist nicht installiert.")
                                 .arg(named, option));
    return named;
}

int LoginTimeout(const TConnectParams& params, const QString& provider)
{
    bool ok = false;
    int seconds = params.Option(provider + QStringLiteral(".ConnectionTimeout")).toInt(&ok);
    return ok && seconds >= 0 ? seconds : 15;
}

bool IsTrue(const QString& value)
{
    return value.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0 || value == QStringLiteral("1");
}

void AddIfSet(TOdbcParams& params, const QString& key, const QString& value)
{
    if (!value.isEmpty())
        params.append({key, value});
}

void AddLogin(TOdbcParams& params, const TConnectParams& connect)
{
    params.append({QStringLiteral("UID"), connect.Username});
    params.append({QStringLiteral("PWD"), connect.Password});
}

void SetUpSqlServer(TOdbcSetup& setup, const TConnectParams& params, const QStringList& installed)
{
    const QString provider = OdbcProviderName(osSqlServer);
    bool direct = params.Option(provider + QStringLiteral(".Provider"))
                      .compare(QStringLiteral("prDirect"), Qt::CaseInsensitive) == 0;
    QString freeTds = DriverFromOption(params, provider + QStringLiteral(".DirectDriver"), installed);
    if (freeTds.isEmpty())
        freeTds = kFreeTdsDriver;
    QString native;
    if (!direct) {
        native = DriverFromOption(params, provider + QStringLiteral(".OdbcDriver"), installed);
        if (native.isEmpty())
            native = FirstInstalled(installed, kSqlServerDrivers);
    }
    if (native.isEmpty() && !IsInstalled(installed, freeTds)) {
        ThrowMissingDriver(provider,
                           direct ? QStringLiteral("\"%1\"").arg(freeTds)
                                  : QStringLiteral("\"%1\", \"%2\" oder \"%3\"")
                                        .arg(kSqlServerDrivers[0], kSqlServerDrivers[1], freeTds),
                           provider +
                               (direct ? QStringLiteral(".DirectDriver") : QStringLiteral(".OdbcDriver")));
    }

    if (!native.isEmpty()) {
        setup.Driver = native;
        setup.Params.append({QStringLiteral("Driver"), native});
        // The native driver takes the port after a comma; a named instance ("host\inst") has none.
        QString server = params.Server;
        if (params.Port > 0)
            server += QStringLiteral(",%1").arg(params.Port);
        setup.Params.append({QStringLiteral("Server"), server});
        AddIfSet(setup.Params, QStringLiteral("Database"), params.Database);
        AddLogin(setup.Params, params);
        // Encryption stays at the driver's default; servers commonly carry self-signed certificates.
        setup.Params.append({QStringLiteral("TrustServerCertificate"), QStringLiteral("yes")});
        return;
    }
    setup.Driver = freeTds;
    setup.Params.append({QStringLiteral("Driver"), freeTds});
    setup.Params.append({QStringLiteral("Server"), params.Server});
    if (params.Port > 0)
        setup.Params.append({QStringLiteral("Port"), QString::number(params.Port)});
    AddIfSet(setup.Params, QStringLiteral("Database"), params.Database);
    AddLogin(setup.Params, params);
    QString tdsVersion = params.Option(provider + QStringLiteral(".TDSVersion"), QStringLiteral("7.4"));
    setup.Params.append({QStringLiteral("TDS_Version"), tdsVersion});
    setup.Params.append({QStringLiteral("ClientCharset"), QStringLiteral("UTF-8")});
}

void SetUpOracle(TOdbcSetup& setup, const TConnectParams& params, const QStringList& installed)
{
    const QString provider = OdbcProviderName(osOracle);
    const QString option = provider + QStringLiteral(".OdbcDriver");
    QString driver = DriverFromOption(params, option, installed);
    if (driver.isEmpty())
        driver = FirstStartingWith(installed, {QStringLiteral("Oracle in "), QStringLiteral("Oracle")});
    if (driver.isEmpty())
        ThrowMissingDriver(provider, QStringLiteral("der ODBC-Treiber von Oracle (\"Oracle in …\")"), option);
    setup.Driver = driver;
    setup.Params.append({QStringLiteral("Driver"), driver});
    // Without a server the database is a net service name; otherwise an easy-connect address.
    QString dbq = params.Database;
    if (!params.Server.isEmpty()) {
        dbq = QStringLiteral("//") + params.Server;
        if (params.Port > 0)
            dbq += QStringLiteral(":%1").arg(params.Port);
        if (!params.Database.isEmpty())
            dbq += u'/' + params.Database;
    }
    setup.Params.append({QStringLiteral("DBQ"), dbq});
    AddLogin(setup.Params, params);
}

void SetUpAccess(TOdbcSetup& setup, const TConnectParams& params, const QStringList& installed)
{
    const QString provider = OdbcProviderName(osAccess);
    const QString option = provider + QStringLiteral(".OdbcDriver");
    QString driver = DriverFromOption(params, option, installed);
    if (driver.isEmpty())
        driver = FirstInstalled(installed, {kAccessDriver, kMdbToolsDriver});
    if (driver.isEmpty() && installed.isEmpty())
        driver = kAccessDriver;
    if (driver.isEmpty())
        ThrowMissingDriver(provider, QStringLiteral("\"%1\" oder \"%2\"").arg(kAccessDriver, kMdbToolsDriver),
                           option);
    setup.Driver = driver;
    setup.Params.append({QStringLiteral("Driver"), driver});
    setup.Params.append({QStringLiteral("DBQ"), params.Database});
    AddLogin(setup.Params, params);
    if (driver.compare(kAccessDriver, Qt::CaseInsensitive) == 0)
        setup.Params.append(
            {QStringLiteral("Exclusive"), IsTrue(params.Option(provider + QStringLiteral(".ExclusiveLock")))
                                              ? QStringLiteral("1")
                                              : QStringLiteral("0")});
}

void SetUpMySql(TOdbcSetup& setup, const TConnectParams& params, const QStringList& installed)
{
    const QString provider = OdbcProviderName(osMySql);
    const QString option = provider + QStringLiteral(".OdbcDriver");
    QString driver = DriverFromOption(params, option, installed);
    if (driver.isEmpty())
        driver = FirstInstalled(installed, {kMariaDbDriver});
    if (driver.isEmpty())
        driver = FirstStartingWith(installed, {QStringLiteral("MariaDB"), QStringLiteral("MySQL ODBC")});
    if (driver.isEmpty() && installed.isEmpty())
        driver = kMariaDbDriver;
    if (driver.isEmpty())
        ThrowMissingDriver(provider, QStringLiteral("\"%1\" (MariaDB Connector/ODBC)").arg(kMariaDbDriver),
                           option);
    setup.Driver = driver;
    setup.Params.append({QStringLiteral("Driver"), driver});
    setup.Params.append(
        {QStringLiteral("Server"), params.Server.isEmpty() ? QStringLiteral("localhost") : params.Server});
    if (params.Port > 0)
        setup.Params.append({QStringLiteral("Port"), QString::number(params.Port)});
    AddIfSet(setup.Params, QStringLiteral("Database"), params.Database);
    AddLogin(setup.Params, params);
    setup.Params.append({QStringLiteral("CHARSET"), QStringLiteral("utf8mb4")});
}

void SetUpGeneric(TOdbcSetup& setup, const TConnectParams& params, const QStringList& installed)
{
    const QString option = OdbcProviderName(osGeneric) + QStringLiteral(".Driver");
    QString driver = DriverFromOption(params, option, installed);
    if (driver.isEmpty())
        throw EDatabaseError(QStringLiteral("Kein ODBC-Treiber angegeben (Option \"%1\").").arg(option));
    setup.Driver = driver;
    setup.Params.append({QStringLiteral("Driver"), driver});
    AddIfSet(setup.Params, QStringLiteral("Server"), params.Server);
    if (params.Port > 0)
        setup.Params.append({QStringLiteral("Port"), QString::number(params.Port)});
    AddIfSet(setup.Params, QStringLiteral("Database"), params.Database);
    AddLogin(setup.Params, params);
    // The PostgreSQL driver would otherwise report booleans as text.
    if (driver.startsWith(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive))
        setup.Params.append({QStringLiteral("BoolsAsChar"), QStringLiteral("0")});
}

} // namespace

QString OdbcProviderName(TOdbcSystem system)
{
    switch (system) {
    case osSqlServer:
        return QStringLiteral("SQL Server");
    case osOracle:
        return QStringLiteral("Oracle");
    case osAccess:
        return QStringLiteral("Access");
    case osMySql:
        return QStringLiteral("MySQL");
    case osGeneric:
        break;
    }
    return QStringLiteral("ODBC");
}

TOdbcSetup OdbcSetupFor(TOdbcSystem system, const TConnectParams& params, const QStringList& installedDrivers)
{
    TOdbcSetup setup;
    setup.LoginTimeout = LoginTimeout(params, OdbcProviderName(system));
    switch (system) {
    case osSqlServer:
        SetUpSqlServer(setup, params, installedDrivers);
        break;
    case osOracle:
        SetUpOracle(setup, params, installedDrivers);
        break;
    case osAccess:
        SetUpAccess(setup, params, installedDrivers);
        break;
    case osMySql:
        SetUpMySql(setup, params, installedDrivers);
        break;
    case osGeneric:
        SetUpGeneric(setup, params, installedDrivers);
        break;
    }
    return setup;
}
