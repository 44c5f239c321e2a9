#pragma once
// A database that lives as long as a test: an SQLite file, or a PostgreSQL database of its own.

#include "db/connection.h"
#include "db/db_error.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

enum TTestSystem { tsSQLite, tsPostgreSQL };

/// A database that lives as long as the test: a file in a temporary folder, or a PostgreSQL database
/// with a name of its own that is dropped at the end.
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
        Setup(admin, QStringLiteral("postgres"));
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists ") + FName);
        admin.ExecSQL(QStringLiteral("create database ") + FName);
    }

    ~TTestDatabase()
    {
        if (FSystem != tsPostgreSQL)
            return;
        try {
            TConnection admin;
            Setup(admin, QStringLiteral("postgres"));
            admin.Open();
            admin.ExecSQL(QStringLiteral("drop database if exists ") + FName +
                          QStringLiteral(" with (force)"));
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
    static void Setup(TConnection& connection, const QString& database)
    {
        TServerParams server = *TestPostgres();
        connection.ProviderName = QStringLiteral("PostgreSQL");
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
