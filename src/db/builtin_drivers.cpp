#include "db/builtin_drivers.h"

#include "db/sqlite/sqlite_driver.h"

// The server providers are built in whenever their folder is part of the build.
#if __has_include("db/postgres/pg_driver.h")
#include "db/postgres/pg_driver.h"
#define VNH_HAVE_POSTGRES_PROVIDER 1
#endif
#if __has_include("db/odbc/odbc_driver.h")
#include "db/odbc/odbc_driver.h"
#define VNH_HAVE_ODBC_PROVIDER 1
#endif

void RegisterBuiltInDrivers()
{
    RegisterSQLiteDriver();
#ifdef VNH_HAVE_POSTGRES_PROVIDER
    RegisterPostgresDriver();
#endif
#ifdef VNH_HAVE_ODBC_PROVIDER
    RegisterOdbcDrivers();
#endif
}
