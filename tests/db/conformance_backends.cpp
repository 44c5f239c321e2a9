#include "conformance_backends.h"

#include "db/driver.h"
#include "db/odbc/odbc_driver.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QUuid>

void TTestDatabase::ApplyTo(TConnection& connection) const
{
    connection.ProviderName = ProviderName;
    connection.Server = Server;
    connection.Database = Database;
    connection.Port = Port;
    connection.Username = Username;
    connection.Password = Password;
    for (auto it = Options.cbegin(); it != Options.cend(); ++it)
        connection.SetSpecificOption(it.key(), it.value());
}

namespace {

QStringList StandardDeferredCheck()
{
    return {QStringLiteral("create table fk_parent (id integer primary key)"),
            QStringLiteral("create table fk_child (pid integer references fk_parent(id) "
                           "deferrable initially deferred)")};
}

// ---- SQLite: a new file in a temporary folder ----------------------------------------------------

std::optional<TTestDatabase> CreateSQLite(QString& skipReason)
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vnh_core_sqlite_XXXXXX"));
    if (!dir.isValid()) {
        skipReason = QStringLiteral("no temporary folder");
        return std::nullopt;
    }
    dir.setAutoRemove(false);
    TTestDatabase db;
    db.ProviderName = QStringLiteral("SQLite");
    db.Database = dir.filePath(QStringLiteral("test.sqlite"));
    db.Options.insert(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
    db.DropToken = dir.path();
    return db;
}

void DropSQLite(const TTestDatabase& db)
{
    QDir(db.DropToken).removeRecursively();
}

// ---- PostgreSQL: a database of its own on the test server -----------------------------------------

TTestDatabase PostgresOn(const QString& database)
{
    TServerParams server = *TestPostgres();
    TTestDatabase db;
    db.ProviderName = QStringLiteral("PostgreSQL");
    db.Server = server.Host;
    db.Port = server.Port;
    db.Username = server.User;
    db.Password = server.Password;
    db.Database = database;
    return db;
}

void RunOnPostgresAdmin(const QString& sql)
{
    TConnection admin;
    PostgresOn(QStringLiteral("postgres")).ApplyTo(admin);
    admin.Open();
    admin.ExecSQL(sql);
}

std::optional<TTestDatabase> CreatePostgres(QString& skipReason)
{
    if (!TestPostgres()) {
        skipReason = QStringLiteral("no PostgreSQL test server: run the tests through scripts/test");
        return std::nullopt;
    }
    if (!CreateDriver(QStringLiteral("PostgreSQL"))) {
        skipReason = QStringLiteral("the PostgreSQL provider is not built in");
        return std::nullopt;
    }
    static int counter = 0;
    QString name = QStringLiteral("vnh_core_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    RunOnPostgresAdmin(QStringLiteral("create database ") + name);
    TTestDatabase db = PostgresOn(name);
    db.DropToken = name;
    return db;
}

void DropPostgres(const TTestDatabase& db)
{
    RunOnPostgresAdmin(QStringLiteral("drop database if exists %1 with (force)").arg(db.DropToken));
}

// ---- MySQL (MariaDB) through ODBC: a database of its own on the test server ----------------------

TTestDatabase MariaDbOn(const QString& database)
{
    TServerParams server = *TestMariaDb();
    TTestDatabase db;
    db.ProviderName = QStringLiteral("MySQL");
    db.Server = server.Host;
    db.Port = server.Port;
    db.Username = server.User;
    db.Password = server.Password;
    db.Database = database;
    return db;
}

void RunOnMariaDb(const QString& sql)
{
    TConnection admin;
    MariaDbOn(QString()).ApplyTo(admin);
    admin.Open();
    admin.ExecSQL(sql);
}

std::optional<TTestDatabase> CreateMariaDb(QString& skipReason)
{
    if (!TestMariaDb()) {
        skipReason = QStringLiteral("no MariaDB test server: run the tests through scripts/test");
        return std::nullopt;
    }
    static int counter = 0;
    QString name = QStringLiteral("vnh_odbc_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    RunOnMariaDb(QStringLiteral("create database ") + name);
    TTestDatabase db = MariaDbOn(name);
    db.DropToken = name;
    return db;
}

void DropMariaDb(const TTestDatabase& db)
{
    RunOnMariaDb(QStringLiteral("drop database if exists ") + db.DropToken);
}

// ---- PostgreSQL through its ODBC driver, under a provider name only the tests register ------------

std::optional<TTestDatabase> CreatePostgresOdbc(QString& skipReason)
{
    if (!InstalledOdbcDrivers().contains(QStringLiteral("PostgreSQL Unicode"))) {
        skipReason = QStringLiteral("the PostgreSQL ODBC driver (odbc-postgresql) is not installed");
        return std::nullopt;
    }
    static const bool registered = [] {
        RegisterDriver(QStringLiteral("PostgreSQL-ODBC"), [] { return CreateOdbcDriver(osGeneric); });
        return true;
    }();
    (void)registered;
    std::optional<TTestDatabase> db = CreatePostgres(skipReason);
    if (db) {
        db->ProviderName = QStringLiteral("PostgreSQL-ODBC");
        db->Options.insert(QStringLiteral("ODBC.Driver"), QStringLiteral("PostgreSQL Unicode"));
    }
    return db;
}
} // namespace

const std::vector<TConformanceBackend>& ConformanceBackends()
{
    static const std::vector<TConformanceBackend> backends = {
        {"SQLite", QStringLiteral("SQLite"), CreateSQLite, DropSQLite,
         TDialectTypes{QStringLiteral("varchar(20)"), QStringLiteral("int"), QStringLiteral("bigint"),
                       QStringLiteral("double"), QStringLiteral("decimal(30,10)"),
                       // numeric affinity keeps 15 significant digits
                       15, QStringLiteral("boolean"), QStringLiteral("date"), QStringLiteral("time"),
                       QStringLiteral("datetime"), QStringLiteral("blob"), QStringLiteral("guid"),
                       QStringLiteral("text"), StandardDeferredCheck()},
         QStringLiteral("no such table: no_such_table_vnh")},
        {"PostgreSQL", QStringLiteral("PostgreSQL"), CreatePostgres, DropPostgres,
         TDialectTypes{QStringLiteral("varchar(20)"), QStringLiteral("integer"), QStringLiteral("bigint"),
                       QStringLiteral("double precision"), QStringLiteral("numeric(30,10)"), 30,
                       QStringLiteral("boolean"), QStringLiteral("date"), QStringLiteral("time"),
                       QStringLiteral("timestamp"), QStringLiteral("bytea"), QStringLiteral("uuid"),
                       QStringLiteral("text"), StandardDeferredCheck()},
         QStringLiteral("relation \"no_such_table_vnh\" does not exist")},
        {"MySQL", QStringLiteral("MySQL"), CreateMariaDb, DropMariaDb,
         TDialectTypes{QStringLiteral("varchar(20)"),
                       QStringLiteral("int"),
                       QStringLiteral("bigint"),
                       QStringLiteral("double"),
                       QStringLiteral("decimal(30,10)"),
                       30,
                       QStringLiteral("bit(1)"),
                       QStringLiteral("date"),
                       QStringLiteral("time"),
                       QStringLiteral("datetime(3)"),
                       QStringLiteral("longblob"),
                       QString(),
                       QStringLiteral("longtext"),
                       {}},
         QStringLiteral("no_such_table_vnh' doesn't exist")},
        {"PostgreSQL_ODBC", QStringLiteral("PostgreSQL-ODBC"), CreatePostgresOdbc, DropPostgres,
         TDialectTypes{QStringLiteral("varchar(20)"), QStringLiteral("integer"), QStringLiteral("bigint"),
                       QStringLiteral("double precision"), QStringLiteral("numeric(30,10)"), 30,
                       QStringLiteral("boolean"), QStringLiteral("date"), QStringLiteral("time"),
                       QStringLiteral("timestamp"), QStringLiteral("bytea"), QStringLiteral("uuid"),
                       QStringLiteral("text"), StandardDeferredCheck()},
         QStringLiteral("relation \"no_such_table_vnh\" does not exist")},
    };
    return backends;
}
