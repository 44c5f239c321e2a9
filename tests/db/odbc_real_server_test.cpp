// SQL Server and Oracle through the ODBC provider. No such server runs here; the tests run when the
// environment names one (see README: VNH_TEST_MSSQL_* and VNH_TEST_ORACLE_*), and skip otherwise.

#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

struct TRealServer {
    const char* Prefix; // environment variables VNH_TEST_<prefix>_HOST, _PORT, _USER, _PASSWORD, _DATABASE
    const char* Provider;
    const char* TextType;
    const char* MemoType;
    const char* NumericType;
    const char* FloatType;
    const char* DateTimeType;
    const char* IntType;
};

const TRealServer kServers[] = {
    {"MSSQL", "SQL Server", "nvarchar(50)", "nvarchar(max)", "decimal(19,4)", "float", "datetime2(3)", "int"},
    {"ORACLE", "Oracle", "nvarchar2(50)", "nclob", "number(19,4)", "binary_double", "timestamp(3)",
     "number(9)"},
};

QString Env(const TRealServer& server, const char* name)
{
    return qEnvironmentVariable(qPrintable(QStringLiteral("VNH_TEST_%1_%2").arg(server.Prefix, name)));
}

class OdbcRealServer : public testing::TestWithParam<TRealServer> {
protected:
    void SetUp() override
    {
        const TRealServer& server = GetParam();
        if (Env(server, "HOST").isEmpty())
            GTEST_SKIP() << "set VNH_TEST_" << server.Prefix
                         << "_HOST (and _PORT, _USER, _PASSWORD, _DATABASE) "
                         << "to run against a real " << server.Provider << " server";
        FConnection.ProviderName = server.Provider;
        FConnection.Server = Env(server, "HOST");
        FConnection.Port = Env(server, "PORT").toInt();
        FConnection.Database = Env(server, "DATABASE");
        FConnection.Username = Env(server, "USER");
        FConnection.Password = Env(server, "PASSWORD");
        // prAuto or prDirect for SQL Server; an installation's driver name for Oracle.
        if (!Env(server, "PROVIDER").isEmpty())
            FConnection.SetSpecificOption("SQL Server.Provider", Env(server, "PROVIDER"));
        if (!Env(server, "DRIVER").isEmpty())
            FConnection.SetSpecificOption(QString(server.Provider) + ".OdbcDriver", Env(server, "DRIVER"));
        FConnection.Open();
        FTable = QStringLiteral("vnh_odbc_%1").arg(QCoreApplication::applicationPid());
        FConnection.ExecSQL(
            QStringLiteral("create table %1 (id %2 not null, txt %3, memo %4, num %5, flt %6, dt %7)")
                .arg(FTable, server.IntType, server.TextType, server.MemoType, server.NumericType,
                     server.FloatType, server.DateTimeType));
    }
    void TearDown() override
    {
        if (!FTable.isEmpty() && FConnection.Connected())
            FConnection.ExecSQL("drop table " + FTable);
    }

    int Count()
    {
        TQuery query(FConnection);
        query.SetSQL("select count(*) from " + FTable);
        query.Open();
        return int(query.Fields(0).AsLargeInt());
    }

    TConnection FConnection;
    QString FTable;
};

} // namespace

TEST_P(OdbcRealServer, WritesAndReadsBackEveryKindOfValue)
{
    const QString text = QStringLiteral("äöü€;{x}='y'");
    const QString memo = QString(10000, u'ß');
    const TDateTime when = EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 678);
    {
        TQuery query(FConnection);
        query.SetSQL("select * from " + FTable);
        query.Open();
        query.Append();
        query.FieldByName("id").SetAsInteger(1);
        query.FieldByName("txt").SetAsString(text);
        query.FieldByName("memo").SetAsString(memo);
        query.FieldByName("num").SetAsString("-12345.6789");
        query.FieldByName("flt").SetAsFloat(0.1);
        query.FieldByName("dt").SetAsDateTime(when);
        query.Post();
    }
    TQuery query(FConnection);
    query.SetSQL("select * from " + FTable);
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldByName("id").AsInteger(), 1);
    EXPECT_EQ(query.FieldByName("txt").AsString(), text);
    EXPECT_EQ(query.FieldByName("txt").Size(), 50);
    EXPECT_EQ(query.FieldByName("memo").AsString(), memo);
    EXPECT_TRUE(IsExactNumericType(query.FieldByName("num").DataType()));
    EXPECT_EQ(query.FieldByName("num").AsVariant().toString(), "-12345.6789");
    EXPECT_DOUBLE_EQ(query.FieldByName("flt").AsFloat(), 0.1);
    EXPECT_NEAR(query.FieldByName("dt").AsDateTime(), when, 1.0 / 86400000);
}

TEST_P(OdbcRealServer, RollbackDropsTheTransactionsRows)
{
    FConnection.StartTransaction();
    FConnection.ExecSQL("insert into " + FTable + " (id) values (1)");
    EXPECT_EQ(Count(), 1);
    FConnection.Rollback();
    EXPECT_EQ(Count(), 0);
    FConnection.StartTransaction();
    FConnection.ExecSQL("insert into " + FTable + " (id) values (2)");
    FConnection.Commit();
    EXPECT_EQ(Count(), 1);
}

TEST_P(OdbcRealServer, ServerErrorsCarryTheServersText)
{
    try {
        FConnection.ExecSQL("insert into " + FTable + " (id) values (null)");
        FAIL() << "a NULL went into a NOT NULL column";
    } catch (const EDatabaseError& e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_FALSE(e.ConnectionBroken());
    }
    EXPECT_EQ(Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, OdbcRealServer, testing::ValuesIn(kServers),
                         [](const testing::TestParamInfo<TRealServer>& info) { return info.param.Prefix; });
