#pragma once
// Which ODBC driver a provider uses and what goes into its connection string. Plain functions of
// the connection parameters and the installed drivers, so they can be checked without a server.

#include "db/odbc/odbc_connect_string.h"

#include <QStringList>

struct TConnectParams;

/// The database systems the ODBC provider reaches; osGeneric is driven by the option "ODBC.Driver"
/// (tests use it to run PostgreSQL through ODBC).
enum TOdbcSystem { osSqlServer, osOracle, osAccess, osMySql, osGeneric };

/// Provider name of a system ("SQL Server", "Oracle", "Access", "MySQL", "ODBC").
QString OdbcProviderName(TOdbcSystem system);

struct TOdbcSetup {
    QString Driver;        // name of the ODBC driver as installed
    TOdbcParams Params;    // "Driver" first, then the driver's own keywords
    int LoginTimeout = 15; // seconds

    QString ConnectString() const { return BuildOdbcConnectString(Params); }
};

/// Chooses the driver and builds the parameters. Raises EDatabaseError with a text that names the
/// missing driver when none fits. `installedDrivers` empty means "unknown": the chosen name is used.
TOdbcSetup OdbcSetupFor(TOdbcSystem system, const TConnectParams& params,
                        const QStringList& installedDrivers);
