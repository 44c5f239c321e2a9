#pragma once
// A database of its own on the test server for each PostgreSQL test, dropped afterwards.

#include "db/driver.h"
#include "db/postgres/pg_driver.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <memory>

class TPostgresTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VNH_REQUIRE_POSTGRES();
        static int counter = 0;
        FDatabase = QStringLiteral("vnh_pgt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        Admin().Execute(QStringLiteral("CREATE DATABASE ") + FDatabase);
        FDriver = Connect();
    }

    void TearDown() override
    {
        if (FDatabase.isEmpty())
            return;
        FDriver.reset();
        Admin().Execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(FDatabase));
    }

    TConnectParams Params(const QString& database = {}) const
    {
        TServerParams server = *TestPostgres();
        TConnectParams params;
        params.ProviderName = QStringLiteral("PostgreSQL");
        params.Server = server.Host;
        params.Port = server.Port;
        params.Username = server.User;
        params.Password = server.Password;
        params.Database = database.isEmpty() ? FDatabase : database;
        return params;
    }

    std::unique_ptr<TPgDriver> Connect(const TConnectParams& params) const
    {
        auto driver = std::make_unique<TPgDriver>();
        driver->Open(params);
        return driver;
    }
    std::unique_ptr<TPgDriver> Connect() const { return Connect(Params()); }

    /// A session on the server's maintenance database.
    TPgDriver& Admin()
    {
        if (!FAdmin)
            FAdmin = Connect(Params(QStringLiteral("postgres")));
        return *FAdmin;
    }

    /// All rows of a query as lists of values.
    static std::vector<std::vector<QVariant>> ReadAll(TDriver& driver, const QString& sql)
    {
        std::vector<std::vector<QVariant>> rows;
        auto cursor = driver.OpenCursor(sql);
        std::vector<QVariant> row;
        while (cursor->Fetch(row))
            rows.push_back(row);
        return rows;
    }

    static qint64 Count(TDriver& driver, const QString& table)
    {
        return ReadAll(driver, QStringLiteral("select count(*) as Anzahl from ") + table)
            .at(0)
            .at(0)
            .toLongLong();
    }

    QString FDatabase;
    std::unique_ptr<TPgDriver> FDriver;

private:
    std::unique_ptr<TPgDriver> FAdmin;
};
