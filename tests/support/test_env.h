#pragma once
// Where the test databases and shared test data are.

#include <QString>
#include <optional>

struct TServerParams {
    QString Host;
    int Port = 0;
    QString User;
    QString Password;
    QString Socket;  // MariaDB only
};

/// The PostgreSQL server the test command started, or nothing when it is not running.
std::optional<TServerParams> TestPostgres();
/// The MariaDB server the test command started, or nothing.
std::optional<TServerParams> TestMariaDb();
/// ../shared next to the project (vectors, fixtures).
QString SharedDir();
/// ../shared/fixtures/access, or "" when the folder is absent.
QString AccessFixtureDir();

/// Skips the current test with a clear reason when the PostgreSQL test server is not running.
#define VNH_REQUIRE_POSTGRES()                                                                     \
    if (!TestPostgres())                                                                           \
    GTEST_SKIP() << "no PostgreSQL test server: run the tests through scripts/test"
#define VNH_REQUIRE_MARIADB()                                                                      \
    if (!TestMariaDb())                                                                            \
    GTEST_SKIP() << "no MariaDB test server: run the tests through scripts/test"
