// The write path against real databases: every SQLite file and, when the test server runs, a
// PostgreSQL database of its own.
#include "db/query.h"
#include "transfer/db_utils.h"
#include "transfer/sql_dialect.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/transaction_handler.h"
#include "transfer/write_test_database.h"

#include <QUuid>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

namespace {

class WritePath : public ::testing::TestWithParam<TTestSystem> {
protected:
    void SetUp() override
    {
        if (QString missing = TestSystemMissing(GetParam()); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        FDatabase = std::make_unique<TTestDatabase>(GetParam());
        FCon = FDatabase->Connect();
    }

    void TearDown() override
    {
        FCon.reset();
        FDatabase.reset();
    }

    bool IsPostgres() const { return GetParam() == tsPostgreSQL; }

    qint64 Count(TConnection& connection, const QString& table)
    {
        TQuery query(connection);
        query.SetSQL(QStringLiteral("select count(*) as n from ") + table);
        query.Open();
        return query.FieldByName(QStringLiteral("n")).AsLargeInt();
    }

    std::unique_ptr<TTestDatabase> FDatabase;
    std::unique_ptr<TConnection> FCon;
};

TField MakeField(const QString& name, TFieldType type, const QVariant& value)
{
    TFieldDef def;
    def.Name = name;
    def.DataType = type;
    TField field(def);
    field.LoadValue(value);
    return field;
}

struct TRoundTripColumn {
    const char* Name;
    const char* Types[3]; // by TTestSystem
    TFieldType Type;
    QVariant Value;
};

QString NormalisedGuid(const QString& text)
{
    return QUuid::fromString(text).toString(QUuid::WithBraces).toUpper();
}

// Equal decimal numbers, whatever trailing zeros either text has.
QString NormalisedDecimal(QString text)
{
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

void ExpectSameValue(const TRoundTripColumn& column, const TField& read)
{
    SCOPED_TRACE(column.Name);
    if (!column.Value.isValid()) {
        EXPECT_TRUE(read.IsNull());
        return;
    }
    ASSERT_FALSE(read.IsNull());
    const TField source = MakeField(column.Name, column.Type, column.Value);
    switch (column.Type) {
    case ftLargeint:
    case ftInteger:
    case ftSmallint:
        EXPECT_EQ(read.AsLargeInt(), source.AsLargeInt());
        break;
    case ftFloat:
        EXPECT_EQ(read.AsFloat(), source.AsFloat());
        break;
    case ftFMTBcd:
        EXPECT_EQ(NormalisedDecimal(read.AsVariant().toString()),
                  NormalisedDecimal(source.AsVariant().toString()));
        break;
    case ftBoolean:
        EXPECT_EQ(read.AsBoolean(), source.AsBoolean());
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
        EXPECT_EQ(read.AsDateTime(), source.AsDateTime());
        break;
    case ftGuid:
        EXPECT_EQ(NormalisedGuid(read.AsString()), NormalisedGuid(source.AsString()));
        break;
    case ftBlob:
        EXPECT_EQ(read.AsBytes(), source.AsBytes());
        break;
    default:
        EXPECT_EQ(read.AsString(), source.AsString());
        break;
    }
}

} // namespace

// Every literal the builder writes is accepted by the target and reads back as the source value.
TEST_P(WritePath, LiteralsReadBackAsTheSourceValues)
{
    const QVariant null;
    const QString text = QStringLiteral("O'Brien's \\ C:\\tmp\\ '' \\' Grüße ÄÖÜß € \U0001F600 \"x\"");
    // SQLite keeps no exact decimal beyond 15 digits in a numeric column.
    const QString exact = GetParam() != tsSQLite
                              ? QStringLiteral("-123456789012345678901234567890.1234567891")
                              : QStringLiteral("-12345.6789012345");
    const std::vector<TRoundTripColumn> columns = {
        {"t_text", {"TEXT", "text", "LONGTEXT"}, ftWideMemo, text},
        {"t_varchar",
         {"VARCHAR(80)", "varchar(80)", "VARCHAR(80)"},
         ftWideString,
         QStringLiteral("it's \\'quoted\\'")},
        {"t_textnull", {"VARCHAR(10)", "varchar(10)", "VARCHAR(10)"}, ftString, null},
        {"t_i32max", {"INTEGER", "integer", "INT"}, ftInteger, qlonglong(std::numeric_limits<qint32>::max())},
        {"t_i32min", {"INTEGER", "integer", "INT"}, ftInteger, qlonglong(std::numeric_limits<qint32>::min())},
        {"t_i64max", {"BIGINT", "bigint", "BIGINT"}, ftLargeint, std::numeric_limits<qlonglong>::max()},
        {"t_i64min", {"BIGINT", "bigint", "BIGINT"}, ftLargeint, std::numeric_limits<qlonglong>::min()},
        {"t_small", {"SMALLINT", "smallint", "SMALLINT"}, ftSmallint, qlonglong(-32768)},
        {"t_zero", {"INTEGER", "integer", "INT"}, ftInteger, qlonglong(0)},
        {"t_intnull", {"INTEGER", "integer", "INT"}, ftInteger, null},
        {"t_dbl17", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, 0.1 + 0.2},
        {"t_third", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, 1.0 / 3.0},
        {"t_dblmax", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, DBL_MAX},
        {"t_dbltiny", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, -1.2345678901234567e-300},
        {"t_dblhard", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, 4.65774905344464e-07},
        {"t_subnormal", {"DOUBLE", "double precision", "DOUBLE"}, ftFloat, 5e-324},
        {"t_exact", {"NUMERIC", "numeric", "DECIMAL(40,10)"}, ftFMTBcd, exact},
        {"t_true", {"BOOLEAN", "boolean", "BOOLEAN"}, ftBoolean, true},
        {"t_false", {"BOOLEAN", "boolean", "BOOLEAN"}, ftBoolean, false},
        {"t_boolnull", {"BOOLEAN", "boolean", "BOOLEAN"}, ftBoolean, null},
        {"t_datelow", {"DATE", "date", "DATE"}, ftDate, EncodeDate(1900, 1, 1)},
        {"t_datehigh", {"DATE", "date", "DATE"}, ftDate, Today() + 3650},
        {"t_time", {"TIME", "time", "TIME"}, ftTime, EncodeTime(13, 5, 9)},
        {"t_timelate", {"TIME", "time", "TIME"}, ftTime, EncodeTime(23, 59, 59)},
        {"t_stamp",
         {"DATETIME", "timestamp", "DATETIME"},
         ftDateTime,
         EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59)},
        {"t_guid",
         {"GUID", "uuid", "CHAR(38)"},
         ftGuid,
         QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
        {"t_bin", {"BLOB", "bytea", "LONGBLOB"}, ftBlob, QByteArray("\x00\x01\x00\xFF'\\x", 7)},
        {"t_binnull", {"BLOB", "bytea", "LONGBLOB"}, ftBlob, null},
    };

    QString ddl = QStringLiteral("create table rt (");
    for (size_t i = 0; i < columns.size(); ++i) {
        ddl += (i ? QStringLiteral(", ") : QString()) + QLatin1String(columns[i].Name) + u' ' +
               QLatin1String(columns[i].Types[GetParam()]);
    }
    FCon->ExecSQL(ddl + u')');

    TSQLUpdIns builder;
    builder.SetConnection(*FCon);
    builder.SetTableName(QStringLiteral("rt"));
    TransactionHandler().SetConnection(*FCon);
    TransactionHandler().SetActive(false);
    for (const TRoundTripColumn& column : columns)
        builder.AddInsField(MakeField(column.Name, column.Type, column.Value));
    ASSERT_TRUE(builder.Execute()) << builder.ErrorMessage().toStdString();

    TQuery query(*FCon);
    query.SetSQL(QStringLiteral("select * from rt"));
    query.Open();
    ASSERT_FALSE(query.Eof());
    for (const TRoundTripColumn& column : columns)
        ExpectSameValue(column, query.FieldByName(column.Name));
}

// Bit patterns from the whole range of doubles, each written as a literal and read back.
TEST_P(WritePath, EveryFiniteDoubleReadsBackExactly)
{
    FCon->ExecSQL(IsPostgres() ? QStringLiteral("create table f (id integer, v double precision)")
                               : QStringLiteral("create table f (id integer, v DOUBLE)"));
    TSQLUpdIns builder;
    builder.SetConnection(*FCon);
    builder.SetTableName(QStringLiteral("f"));
    TransactionHandler().SetConnection(*FCon);
    TransactionHandler().SetActive(false);

    std::mt19937_64 random(20240101);
    std::vector<double> values;
    while (values.size() < 2000) {
        quint64 bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value))
            values.push_back(value);
    }
    FCon->StartTransaction();
    for (size_t i = 0; i < values.size(); ++i) {
        builder.AddInsField(MakeField("id", ftInteger, qlonglong(i)));
        builder.AddInsField(MakeField("v", ftFloat, values[i]));
        ASSERT_TRUE(builder.Execute()) << builder.ErrorMessage().toStdString();
    }
    FCon->Commit();

    TQuery query(*FCon);
    query.SetSQL(QStringLiteral("select id, v from f order by id"));
    query.Open();
    int mismatches = 0;
    for (; !query.Eof(); query.Next()) {
        double expected = values[static_cast<size_t>(query.FieldByName("id").AsLargeInt())];
        double read = query.FieldByName("v").AsFloat();
        if (read != expected && ++mismatches <= 3)
            ADD_FAILURE() << FloatLiteral(expected).toStdString() << " read back as "
                          << FloatLiteral(read).toStdString();
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_P(WritePath, FailingStatementEmptiesTheListsAndKeepsTheMessage)
{
    FCon->ExecSQL(QStringLiteral("create table t (id integer primary key, name varchar(20))"));
    TSQLUpdIns builder;
    builder.SetConnection(*FCon);
    builder.SetTableName(QStringLiteral("t"));
    TransactionHandler().SetConnection(*FCon);
    TransactionHandler().SetActive(false);

    builder.AddInsField(MakeField("id", ftInteger, qlonglong(1)));
    builder.AddInsField(MakeField("name", ftString, QStringLiteral("a")));
    ASSERT_TRUE(builder.Execute());

    builder.AddInsField(MakeField("id", ftInteger, qlonglong(1)));
    EXPECT_FALSE(builder.Execute());
    EXPECT_FALSE(builder.ErrorMessage().isEmpty());
    EXPECT_EQ(builder.ErrorMessage(), TransactionHandler().MessageText());
    EXPECT_TRUE(builder.FieldList().isEmpty());
    EXPECT_TRUE(builder.ValueList().isEmpty());
    EXPECT_EQ(builder.TableName(), "t");

    // The next row starts clean and succeeds; its success clears the builder's message.
    builder.AddInsField(MakeField("id", ftInteger, qlonglong(2)));
    EXPECT_TRUE(builder.Execute());
    EXPECT_TRUE(builder.ErrorMessage().isEmpty());
    EXPECT_EQ(Count(*FCon, "t"), 2);
}

TEST_P(WritePath, InactiveHandlerLeavesTheCallersTransactionOpen)
{
    FCon->ExecSQL(QStringLiteral("create table t (id integer primary key)"));
    TTransactionHandler handler;
    handler.SetConnection(*FCon);
    FCon->StartTransaction();
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    EXPECT_TRUE(FCon->InTransaction());
    EXPECT_FALSE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    EXPECT_FALSE(handler.MessageText().isEmpty());
    EXPECT_TRUE(FCon->InTransaction());
    FCon->Rollback();
    EXPECT_EQ(Count(*FCon, "t"), 0);
}

TEST_P(WritePath, ActiveHandlerCommitsEachStatement)
{
    FCon->ExecSQL(QStringLiteral("create table t (id integer primary key)"));
    auto observer = FDatabase->Connect();
    TTransactionHandler handler;
    handler.SetConnection(*FCon);
    handler.SetActive(true);

    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    EXPECT_FALSE(FCon->InTransaction());
    EXPECT_EQ(Count(*observer, "t"), 1);

    // A failing statement is rolled back and leaves no transaction behind.
    EXPECT_FALSE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    EXPECT_FALSE(FCon->InTransaction());
    QString failure = handler.MessageText();
    EXPECT_FALSE(failure.isEmpty());

    // An outer transaction is joined and committed with the statement; the old message stays.
    FCon->StartTransaction();
    FCon->ExecSQL(QStringLiteral("insert into t values (2)"));
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (3)")));
    EXPECT_FALSE(FCon->InTransaction());
    EXPECT_EQ(Count(*observer, "t"), 3);
    EXPECT_EQ(handler.MessageText(), failure);
}

TEST_P(WritePath, RowCountOfTheTwoArgumentForm)
{
    FCon->ExecSQL(QStringLiteral("create table t (id integer, v integer)"));
    FCon->ExecSQL(QStringLiteral("insert into t values (1, 0)"));
    FCon->ExecSQL(QStringLiteral("insert into t values (2, 0)"));
    FCon->ExecSQL(QStringLiteral("insert into t values (3, 0)"));
    TTransactionHandler handler;
    handler.SetConnection(*FCon);

    qint64 rows = -1;
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("update t set v = 1 where id >= 2"), rows));
    EXPECT_EQ(rows, 2);
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("update t set v = 1 where id > 99"), rows));
    EXPECT_EQ(rows, 0);
    rows = 42;
    EXPECT_FALSE(handler.DoExecute(QStringLiteral("update missing set v = 1"), rows));
    EXPECT_EQ(rows, 42);
}

TEST_P(WritePath, NewConnectionTakesTheFollowingStatements)
{
    TTestDatabase other(GetParam());
    auto second = other.Connect();
    FCon->ExecSQL(QStringLiteral("create table t (id integer)"));
    second->ExecSQL(QStringLiteral("create table t (id integer)"));
    TTransactionHandler handler;
    handler.SetConnection(*FCon);
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    handler.SetConnection(*second);
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (2)")));
    EXPECT_TRUE(handler.DoExecute(QStringLiteral("insert into t values (3)")));
    EXPECT_EQ(Count(*FCon, "t"), 1);
    EXPECT_EQ(Count(*second, "t"), 2);
}

TEST(TransactionHandler, WithoutConnectionReportsFailure)
{
    TTransactionHandler handler;
    EXPECT_FALSE(handler.DoExecute(QStringLiteral("select 1")));
    EXPECT_FALSE(handler.MessageText().isEmpty());
}

// A commit that the database refuses is a failed statement, not a success.
TEST(TransactionHandler, RefusedCommitIsAFailure)
{
    VNH_REQUIRE_POSTGRES();
    TTestDatabase database(tsPostgreSQL);
    auto con = database.Connect();
    con->ExecSQL(QStringLiteral(
        "create table t (id integer, constraint u unique (id) deferrable initially deferred)"));
    con->ExecSQL(QStringLiteral("insert into t values (1)"));
    TTransactionHandler handler;
    handler.SetConnection(*con);
    handler.SetActive(true);
    EXPECT_FALSE(handler.DoExecute(QStringLiteral("insert into t values (1)")));
    EXPECT_FALSE(handler.MessageText().isEmpty());
    EXPECT_FALSE(con->InTransaction());
    TQuery query(*con);
    query.SetSQL(QStringLiteral("select count(*) as n from t"));
    query.Open();
    EXPECT_EQ(query.FieldByName(QStringLiteral("n")).AsLargeInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Systems, WritePath, ::testing::Values(tsSQLite, tsPostgreSQL, tsMySQL),
                         TestSystemName);
