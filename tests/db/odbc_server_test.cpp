// The ODBC provider against servers: failed opens carry the driver's own text, a password that needs
// quoting logs in, and open results survive other statements on drivers that run one at a time.

#include "db/connection.h"
#include "db/db_error.h"
#include "db/odbc/odbc_driver.h"
#include "db/query.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

void SetUpMySql(TConnection& connection, const TServerParams& server)
{
    connection.ProviderName = "MySQL";
    connection.Server = server.Host;
    connection.Port = server.Port;
    connection.Username = server.User;
    connection.Password = server.Password;
}

QString OpenErrorText(TConnection& connection)
{
    try {
        connection.Open();
    } catch (const EDatabaseError& e) {
        EXPECT_FALSE(connection.Connected());
        return e.Message();
    }
    ADD_FAILURE() << "the connection opened";
    return {};
}

/// A database of its own on the MariaDB test server, dropped at the end.
class TMySqlScratch {
public:
    explicit TMySqlScratch(TConnection& connection) : FConnection(connection)
    {
        static int counter = 0;
        Name = QStringLiteral("vnh_odbc_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        FConnection.ExecSQL("create database " + Name);
    }
    ~TMySqlScratch()
    {
        try {
            FConnection.ExecSQL("drop database " + Name);
        } catch (const EDatabaseError&) {
        }
    }
    QString Name;

private:
    TConnection& FConnection;
};

} // namespace

TEST(OdbcServer, FailedOpenCarriesTheDriversText)
{
    if (!InstalledOdbcDrivers().contains("FreeTDS"))
        GTEST_SKIP() << "FreeTDS is not installed";
    TConnection connection;
    connection.ProviderName = "SQL Server";
    connection.Server = "127.0.0.1";
    connection.Port = 1; // nothing listens there
    connection.Username = "sa";
    connection.Password = "x";
    connection.SetSpecificOption("SQL Server.Provider", "prDirect");
    try {
        connection.Open();
        FAIL() << "opened a connection to a closed port";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith("[FreeTDS]")) << e.Message().toStdString();
        EXPECT_TRUE(e.SqlState().startsWith("08")) << e.SqlState().toStdString();
        EXPECT_TRUE(e.ConnectionBroken());
    }
}

TEST(OdbcServer, OracleWithoutItsDriverSaysWhichIsMissing)
{
    for (const QString& driver : InstalledOdbcDrivers()) {
        if (driver.startsWith("Oracle", Qt::CaseInsensitive))
            GTEST_SKIP() << "an Oracle driver is installed";
    }
    TConnection connection;
    connection.ProviderName = "Oracle";
    connection.Server = "127.0.0.1";
    connection.Database = "XE";
    connection.SetSpecificOption("Oracle.Direct", "False");
    QString text = OpenErrorText(connection);
    EXPECT_TRUE(text.contains("Oracle in")) << text.toStdString();
    EXPECT_TRUE(text.contains("Oracle.OdbcDriver")) << text.toStdString();
}

TEST(OdbcServer, MySqlPasswordThatNeedsQuotingLogsIn)
{
    VNH_REQUIRE_MARIADB();
    TServerParams server = *TestMariaDb();
    ASSERT_TRUE(server.Password.contains(';') && server.Password.contains('}'))
        << "the test user's password should need quoting";
    TConnection connection;
    SetUpMySql(connection, server);
    connection.Open();
    TQuery query(connection);
    query.SetSQL("select current_user()");
    query.Open();
    EXPECT_TRUE(query.Fields(0).AsString().startsWith(server.User + "@"));
    connection.Close();

    // A password that tries to add parameters is only a wrong password: the server's own text.
    connection.Password = server.Password + ";Server=elsewhere;PWD={x}";
    QString text = OpenErrorText(connection);
    EXPECT_TRUE(text.contains("Access denied")) << text.toStdString();
}

TEST(OdbcServer, OpenResultSurvivesOtherStatementsOnOneStatementDrivers)
{
    VNH_REQUIRE_MARIADB();
    // FreeTDS and Microsoft's driver run one statement at a time; the option makes MariaDB's driver
    // be treated the same way, so the buffering is proven on a real server.
    for (bool singleActive : {false, true}) {
        SCOPED_TRACE(singleActive ? "one statement at a time" : "concurrent statements");
        TConnection connection;
        SetUpMySql(connection, *TestMariaDb());
        connection.SetSpecificOption("MySQL.SingleActiveStatement", singleActive ? "True" : "False");
        connection.Open();
        TMySqlScratch scratch(connection);
        const QString table = scratch.Name + ".t";
        connection.ExecSQL("create table " + table + " (id int primary key)");
        connection.ExecSQL("insert into " + table + " values (1), (2), (3)");

        TQuery query(connection);
        query.SetSQL("select * from " + table + " order by id");
        query.Open();
        EXPECT_EQ(query.Fields(0).AsInteger(), 1);
        connection.StartTransaction();
        EXPECT_EQ(connection.ExecSQLRows("insert into " + table + " values (4)"), 1);
        connection.Commit();
        QList<int> rest;
        for (query.Next(); !query.Eof(); query.Next())
            rest << query.Fields(0).AsInteger();
        EXPECT_EQ(rest, (QList<int>{2, 3}));
    }
}

TEST(OdbcServer, ResultOfAClosedConnectionRaisesInsteadOfCrashing)
{
    VNH_REQUIRE_MARIADB();
    TConnection connection;
    SetUpMySql(connection, *TestMariaDb());
    connection.Open();
    std::unique_ptr<TCursor> cursor = connection.Driver().OpenCursor("select 1 union all select 2");
    std::vector<QVariant> row;
    ASSERT_TRUE(cursor->Fetch(row));
    connection.Close();
    EXPECT_THROW(cursor->Fetch(row), EDatabaseError);
}

// The engine relies on this answer to decide whether a failed row needs a savepoint of its own.
TEST(OdbcServer, FailedStatementLeavesTheTransactionUsable)
{
    RegisterDriver("PostgreSQL-ODBC", [] { return CreateOdbcDriver(osGeneric); });
    const QString scratch = QStringLiteral("vnh_odbc_tx_%1").arg(QCoreApplication::applicationPid());
    struct Case {
        const char* name;
        std::optional<TServerParams> server;
        QString create; // a database (MySQL) or schema (PostgreSQL) of its own
        QString drop;
    };
    const Case cases[] = {
        {"MySQL", TestMariaDb(), "create database " + scratch, "drop database " + scratch},
        {"PostgreSQL-ODBC", TestPostgres(), "create schema " + scratch,
         "drop schema " + scratch + " cascade"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.server)
            continue;
        TConnection connection;
        SetUpMySql(connection, *c.server);
        if (c.name != QStringLiteral("MySQL")) {
            connection.ProviderName = c.name;
            connection.SetSpecificOption("ODBC.Driver", "PostgreSQL Unicode");
            connection.Database = "postgres";
        }
        connection.Open();
        EXPECT_FALSE(connection.HasFeature(dfAbortsTransactionOnError));
        connection.ExecSQL(c.create);
        const QString table = scratch + ".t";
        connection.ExecSQL("create table " + table + " (id int primary key)");
        connection.StartTransaction();
        connection.ExecSQL("insert into " + table + " values (1)");
        EXPECT_THROW(connection.ExecSQL("insert into " + table + " values (1)"), EDatabaseError);
        connection.ExecSQL("insert into " + table + " values (2)");
        connection.Commit();
        TQuery query(connection);
        query.SetSQL("select count(*) from " + table);
        query.Open();
        EXPECT_EQ(query.Fields(0).AsLargeInt(), 2);
        query.Close();
        connection.ExecSQL(c.drop);
    }
}

TEST(OdbcServer, MySqlWritesSeveralRowsOnlyWhereThatEqualsOneStatementPerRow)
{
    VNH_REQUIRE_MARIADB();
    TConnection connection;
    SetUpMySql(connection, *TestMariaDb());
    connection.Open();
    TMySqlScratch scratch(connection);
    connection.ExecSQL("use " + scratch.Name);
    const struct {
        const char* Name;
        QStringList Statements;
        QStringList Columns;
        bool Batched;
    } cases[] = {
        {"InnoDB table", {"create table t (id int primary key, s varchar(10))"}, {"id", "s"}, true},
        {"counter listed", {"create table t (id int auto_increment primary key, s text)"}, {"ID", "s"}, true},
        {"counter left to draw", {"create table t (id int auto_increment primary key, s text)"}, {"s"}, false},
        {"no transactions", {"create table t (id int primary key) engine=MyISAM"}, {"id"}, false},
        {"trigger",
         {"create table t (id int primary key)", "create trigger tr before insert on t for each row set @x = 1"},
         {"id"},
         false},
        {"key to itself",
         {"create table t (id int primary key, parent int, foreign key (parent) references t (id))"},
         {"id", "parent"},
         false},
        {"quoted name", {}, {"id"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        connection.ExecSQL("drop table if exists t");
        for (const QString& statement : c.Statements)
            connection.ExecSQL(statement);
        const QString table = c.Statements.isEmpty() ? QStringLiteral("`t`") : QStringLiteral("t");
        EXPECT_EQ(connection.OpenBulkInsert(table, c.Columns) != nullptr, c.Batched);
    }

    // Rows of one statement, rolled back whole when one of them is refused.
    connection.ExecSQL("drop table if exists t");
    connection.ExecSQL("create table t (id int primary key, s varchar(10))");
    connection.StartTransaction();
    auto bulk = connection.OpenBulkInsert("t", {"id", "s"});
    ASSERT_TRUE(bulk);
    for (const auto& row : {std::vector<QStringView>{u"1", u"'a\\\\b'"}, {u"2", u"NULL"}})
        ASSERT_TRUE(bulk->Add(row));
    bulk->Write();
    for (const auto& row : {std::vector<QStringView>{u"3", u"'x'"}, {u"1", u"'again'"}})
        ASSERT_TRUE(bulk->Add(row));
    EXPECT_THROW(bulk->Write(), EDatabaseError);
    connection.Commit();
    TQuery query(connection);
    query.SetSQL("select id, s from t order by id");
    query.Open();
    QStringList rows;
    for (; !query.Eof(); query.Next())
        rows << query.Fields(0).AsString() + "=" + (query.Fields(1).IsNull() ? "NULL" : query.Fields(1).AsString());
    EXPECT_EQ(rows, (QStringList{"1=a\\b", "2=NULL"}));
}
