// Driver choice and connection strings of the ODBC provider, for every system, without a server.

#include "db/db_error.h"
#include "db/driver.h"
#include "db/odbc/odbc_setup.h"

#include <gtest/gtest.h>

namespace {

const QString kMs18 = "ODBC Driver 18 for SQL Server";
const QString kMs17 = "ODBC Driver 17 for SQL Server";
const QString kAccess = "Microsoft Access Driver (*.mdb, *.accdb)";
const QStringList kDebian = {"FreeTDS", "MariaDB Unicode", "MDBTools", "PostgreSQL Unicode"};

TConnectParams Server(const QString& provider, const QMap<QString, QString>& options = {})
{
    TConnectParams params;
    params.ProviderName = provider;
    params.Server = "db.example";
    params.Port = 1433;
    params.Database = "VNH";
    params.Username = "sa";
    params.Password = "p;w}d";
    params.SpecificOptions = options;
    return params;
}

TConnectParams AccessFile(const QString& path)
{
    TConnectParams params;
    params.ProviderName = "Access";
    params.Database = path;
    params.Username = "Administrator";
    params.Password = "x;y";
    return params;
}

} // namespace

TEST(OdbcSetup, ConnectionStringPerSystemAndInstalledDrivers)
{
    struct Case {
        const char* what;
        TOdbcSystem system;
        TConnectParams params;
        QStringList installed;
        QString expected;
    };
    TConnectParams oracleService = Server("Oracle", {{"Oracle.Direct", "True"}});
    oracleService.Port = 1521;
    TConnectParams oracleTns = oracleService;
    oracleTns.Server.clear();
    TConnectParams mysql = Server("MySQL");
    mysql.Port = 3306;
    TConnectParams noPort = Server("SQL Server", {{"SQL Server.Provider", "prDirect"}});
    noPort.Port = 0;
    const Case cases[] = {
        {"direct: FreeTDS with TDS 7.4", osSqlServer,
         Server("SQL Server", {{"SQL Server.Provider", "prDirect"}}), kDebian + QStringList{kMs18},
         "Driver=FreeTDS;Server=db.example;Port=1433;Database=VNH;UID=sa;PWD={p;w}}d};TDS_Version=7.4;"
         "ClientCharset=UTF-8;"},
        {"direct without port", osSqlServer, noPort, kDebian,
         "Driver=FreeTDS;Server=db.example;Database=VNH;UID=sa;PWD={p;w}}d};TDS_Version=7.4;ClientCharset="
         "UTF-8;"},
        {"auto: Microsoft's driver 18 first", osSqlServer,
         Server("SQL Server", {{"SQL Server.Provider", "prAuto"}}), kDebian + QStringList{kMs17, kMs18},
         "Driver=ODBC Driver 18 for SQL Server;Server=db.example,1433;Database=VNH;UID=sa;PWD={p;w}}d};"
         "TrustServerCertificate=yes;"},
        {"auto: driver 17", osSqlServer, Server("SQL Server"), kDebian + QStringList{kMs17},
         "Driver=ODBC Driver 17 for SQL Server;Server=db.example,1433;Database=VNH;UID=sa;PWD={p;w}}d};"
         "TrustServerCertificate=yes;"},
        {"auto falls back to FreeTDS", osSqlServer, Server("SQL Server", {{"SQL Server.Provider", "prAuto"}}),
         kDebian,
         "Driver=FreeTDS;Server=db.example;Port=1433;Database=VNH;UID=sa;PWD={p;w}}d};TDS_Version=7.4;"
         "ClientCharset=UTF-8;"},
        {"installation names its own drivers", osSqlServer,
         Server("SQL Server", {{"SQL Server.Provider", "prDirect"},
                               {"SQL Server.DirectDriver", "TDS (local)"},
                               {"SQL Server.TDSVersion", "8.0"}}),
         kDebian + QStringList{"TDS (local)"},
         "Driver=TDS (local);Server=db.example;Port=1433;Database=VNH;UID=sa;PWD={p;w}}d};TDS_Version=8.0;"
         "ClientCharset=UTF-8;"},
        {"Oracle: easy-connect address", osOracle, oracleService,
         kDebian + QStringList{"Oracle in instantclient_21_12"},
         "Driver=Oracle in instantclient_21_12;DBQ=//db.example:1521/VNH;UID=sa;PWD={p;w}}d};"},
        {"Oracle: net service name without server", osOracle, oracleTns,
         kDebian + QStringList{"Oracle in OraClient19Home1"},
         "Driver=Oracle in OraClient19Home1;DBQ=VNH;UID=sa;PWD={p;w}}d};"},
        {"Access: Microsoft's driver where installed", osAccess, AccessFile("/data/VNH.accdb"),
         kDebian + QStringList{kAccess},
         "Driver=Microsoft Access Driver (*.mdb, *.accdb);DBQ=/data/VNH.accdb;UID=Administrator;PWD={x;y};"
         "Exclusive=0;"},
        {"Access: MDBTools otherwise", osAccess, AccessFile("/data/a;b.mdb"), kDebian,
         "Driver=MDBTools;DBQ={/data/a;b.mdb};UID=Administrator;PWD={x;y};"},
        {"MySQL: MariaDB Connector/ODBC", osMySql, mysql, kDebian,
         "Driver=MariaDB "
         "Unicode;Server=db.example;Port=3306;Database=VNH;UID=sa;PWD={p;w}}d};CHARSET=utf8mb4;"},
        {"generic: PostgreSQL through ODBC", osGeneric,
         Server("ODBC", {{"ODBC.Driver", "PostgreSQL Unicode"}}), kDebian,
         "Driver=PostgreSQL "
         "Unicode;Server=db.example;Port=1433;Database=VNH;UID=sa;PWD={p;w}}d};BoolsAsChar=0;"},
    };
    for (const Case& c : cases) {
        TOdbcSetup setup = OdbcSetupFor(c.system, c.params, c.installed);
        EXPECT_EQ(setup.ConnectString(), c.expected) << c.what;
        EXPECT_EQ(setup.Driver, setup.Params.front().second) << c.what;
    }
}

TEST(OdbcSetup, MissingDriverIsNamedInTheError)
{
    struct Case {
        TOdbcSystem system;
        TConnectParams params;
        QStringList mustMention;
    };
    const Case cases[] = {
        {osOracle, Server("Oracle"), {"Oracle", "Oracle.OdbcDriver"}},
        {osOracle,
         Server("Oracle", {{"Oracle.OdbcDriver", "Oracle in XE"}}),
         {"\"Oracle in XE\"", "nicht installiert"}},
        {osSqlServer,
         Server("SQL Server", {{"SQL Server.Provider", "prDirect"}, {"SQL Server.DirectDriver", "TDS"}}),
         {"\"TDS\""}},
        {osAccess, AccessFile("/x.mdb"), {kAccess, "MDBTools"}},
        {osMySql, Server("MySQL"), {"MariaDB Unicode"}},
        {osGeneric, Server("ODBC"), {"ODBC.Driver"}},
    };
    for (const Case& c : cases) {
        try {
            OdbcSetupFor(c.system, c.params, {"SQLite3"});
            ADD_FAILURE() << "no error for " << OdbcProviderName(c.system).toStdString();
        } catch (const EDatabaseError& e) {
            for (const QString& part : c.mustMention)
                EXPECT_TRUE(e.Message().contains(part)) << e.Message().toStdString();
        }
    }
}

TEST(OdbcSetup, ConnectionTimeoutOption)
{
    TConnectParams params = AccessFile("/x.mdb");
    EXPECT_EQ(OdbcSetupFor(osAccess, params, kDebian).LoginTimeout, 15);
    params.SpecificOptions["Access.ConnectionTimeout"] = "3";
    EXPECT_EQ(OdbcSetupFor(osAccess, params, kDebian).LoginTimeout, 3);
}
