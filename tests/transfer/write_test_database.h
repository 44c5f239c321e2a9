#pragma once
// A database that lives as long as a test: an SQLite file, or a database of its own on the PostgreSQL
// or MariaDB test server, dropped at the end.

#include "db/connection.h"
#include "db/db_error.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

enum TTestSystem { tsSQLite, tsPostgreSQL, tsMySQL };

inline std::string TestSystemName(const ::testing::TestParamInfo<TTestSystem>& info)
{
    const char* names[] = {"SQLite", "PostgreSQL", "MySQL"};
    return names[info.param];
}

/// Why the system cannot be tested here, or "" when it can.
inline QString TestSystemMissing(TTestSystem system)
{
    if (system == tsPostgreSQL && !TestPostgres())
        return QStringLiteral("no PostgreSQL test server: run the tests through scripts/test");
    if (system == tsMySQL && !TestMariaDb())
        return QStringLiteral("no MariaDB test server: run the tests through scripts/test");
    return {};
}

class TTestDatabase {
public:
    explicit TTestDatabase(TTestSystem system) : FSystem(system)
    {
        if (system == tsSQLite) {
            FFile = FDir.filePath(QStringLiteral("write.db"));
            return;
        }
        static int counter = 0;
        FName = QStringLiteral("vnh_write_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        TConnection admin;
        Setup(admin, AdminDatabase());
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists ") + FName);
        admin.ExecSQL(QStringLiteral("create database ") + FName);
    }

    ~TTestDatabase()
    {
        if (FSystem == tsSQLite)
            return;
        try {
            TConnection admin;
            Setup(admin, AdminDatabase());
            admin.Open();
            admin.ExecSQL(QStringLiteral("drop database if exists ") + FName +
                          (FSystem == tsPostgreSQL ? QStringLiteral(" with (force)") : QString()));
        } catch (const EDatabaseError&) {
        }
    }

    /// A new, open connection to the database.
    std::unique_ptr<TConnection> Connect() const
    {
        auto connection = std::make_unique<TConnection>();
        if (FSystem == tsSQLite) {
            connection->ProviderName = QStringLiteral("SQLite");
            connection->Database = FFile;
            connection->SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        } else {
            Setup(*connection, FName);
        }
        connection->Open();
        return connection;
    }

    TTestSystem System() const { return FSystem; }

private:
    QString AdminDatabase() const { return FSystem == tsPostgreSQL ? QStringLiteral("postgres") : QString(); }

    void Setup(TConnection& connection, const QString& database) const
    {
        TServerParams server = FSystem == tsPostgreSQL ? *TestPostgres() : *TestMariaDb();
        connection.ProviderName =
            FSystem == tsPostgreSQL ? QStringLiteral("PostgreSQL") : QStringLiteral("MySQL");
        connection.Server = server.Host;
        connection.Port = server.Port;
        connection.Username = server.User;
        connection.Password = server.Password;
        connection.Database = database;
    }

    TTestSystem FSystem;
    QTemporaryDir FDir;
    QString FFile;
    QString FName;
};
