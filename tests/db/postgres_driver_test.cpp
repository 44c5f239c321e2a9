// The PostgreSQL provider against a real server: types, inserts, errors, options, transactions.

#include "postgres_fixture.h"

#include "db/db_error.h"
#include "db/field.h"

#include <QElapsedTimer>
#include <cmath>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using PostgresDriver = TPostgresTest;

// Runs `action` and returns the error it raised.
template <typename F> EDatabaseError ErrorOf(F action)
{
    try {
        action();
    } catch (const EDatabaseError& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return EDatabaseError(QString());
}

TEST_F(PostgresDriver, ColumnTypesAndValues)
{
    FDriver->Execute(QStringLiteral(
        "create table types (vc varchar(40) not null, bc char(5), tx text, i2 smallint default 7, i4 "
        "integer, "
        "i8 bigint, f4 real, f8 double precision, nu numeric(18,6), bo boolean, da date, ti time, "
        "ts timestamp, tz timestamptz, by bytea, uu uuid, js jsonb, id serial)"));
    FDriver->Execute(QStringLiteral(
        "insert into types values ('Grüße', 'ab', 'long', -2, 2147483647, 9007199254740993, 1.5, 0.1, "
        "'123456789012.123456', true, '2024-02-29', '13:05:09.25', '2024-01-01 12:00:00', "
        "'2024-01-01 12:00:00', '\\x00ff', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{\"a\": 1}')"));
    FDriver->Execute(
        QStringLiteral("insert into types (vc, da, ts, nu, f8) values ('x', 'infinity', '-infinity', "
                       "'NaN', 'NaN')"));

    auto cursor = FDriver->OpenCursor(QStringLiteral("select * from types"));
    struct TExpected {
        TFieldType Type;
        int Size;
        int Scale;
    };
    const TExpected types[] = {
        {ftWideString, 40, 0}, {ftFixedWideChar, 5, 0}, {ftWideMemo, 0, 0}, {ftSmallint, 0, 0},
        {ftInteger, 0, 0},     {ftLargeint, 0, 0},      {ftFloat, 0, 0},    {ftFloat, 0, 0},
        {ftFMTBcd, 18, 6},     {ftBoolean, 0, 0},       {ftDate, 0, 0},     {ftTime, 0, 0},
        {ftDateTime, 0, 0},    {ftDateTime, 0, 0},      {ftBlob, 0, 0},     {ftGuid, 38, 0},
        {ftWideMemo, 0, 0},    {ftInteger, 0, 0},
    };
    const auto& fields = cursor->Fields();
    ASSERT_EQ(fields.size(), std::size(types));
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].DataType, types[i].Type) << fields[i].Name.toStdString();
        EXPECT_EQ(fields[i].Size, types[i].Size) << fields[i].Name.toStdString();
        EXPECT_EQ(fields[i].Scale, types[i].Scale) << fields[i].Name.toStdString();
    }
    EXPECT_TRUE(fields[0].Required);
    EXPECT_FALSE(fields[1].Required);
    EXPECT_TRUE(fields[3].HasDefault);
    EXPECT_TRUE(fields[17].HasDefault && fields[17].Required);

    std::vector<QVariant> row;
    ASSERT_TRUE(cursor->Fetch(row));
    EXPECT_EQ(row[0], QVariant(QStringLiteral("Grüße")));
    EXPECT_EQ(row[1], QVariant(QStringLiteral("ab   ")));
    EXPECT_EQ(row[3], QVariant(qlonglong(-2)));
    EXPECT_EQ(row[5], QVariant(qlonglong(9007199254740993LL)));
    EXPECT_EQ(row[6].toDouble(), 1.5);
    EXPECT_EQ(row[7].toDouble(), 0.1);
    EXPECT_EQ(row[8], QVariant(QStringLiteral("123456789012.123456")));
    EXPECT_EQ(row[9], QVariant(true));
    EXPECT_EQ(row[10].toDouble(), EncodeDate(2024, 2, 29));
    EXPECT_NEAR(row[11].toDouble(), EncodeTime(13, 5, 9, 250), 1e-12);
    EXPECT_EQ(row[12].toDouble(), EncodeDate(2024, 1, 1) + 0.5);
    EXPECT_EQ(row[14], QVariant(QByteArray("\x00\xff", 2)));
    EXPECT_EQ(row[15], QVariant(QStringLiteral("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11")));
    EXPECT_EQ(row[16], QVariant(QStringLiteral("{\"a\": 1}")));
    ASSERT_TRUE(cursor->Fetch(row));
    EXPECT_FALSE(row[1].isValid()); // NULL
    EXPECT_EQ(row[10].toDouble(), EncodeDate(9999, 12, 31));
    EXPECT_EQ(row[12].toDouble(), EncodeDate(1, 1, 1));
    EXPECT_EQ(row[8], QVariant(QStringLiteral("NaN")));
    EXPECT_TRUE(std::isnan(row[7].toDouble()));
    EXPECT_FALSE(cursor->Fetch(row));
}

TEST_F(PostgresDriver, InsertRowRoundTripsEveryTypeAndName)
{
    // Unquoted names as the product creates them, a reserved word and a mixed-case column.
    FDriver->Execute(QStringLiteral(
        "create table VNH_MSStamm (ID serial, KennNr varchar(20), \"order\" integer, \"Größe\" "
        "numeric(10,2), "
        "bo boolean, da date, ts timestamp, ti time, f8 float8, by bytea, uu uuid, memo text)"));
    auto cursor = FDriver->OpenCursor(QStringLiteral("select * from VNH_MSStamm"));
    std::vector<std::unique_ptr<TField>> fields;
    for (const TFieldDef& def : cursor->Fields())
        fields.push_back(std::make_unique<TField>(def));
    cursor.reset();

    const QByteArray bytes("\x00\x01\xfe\xff", 4);
    const double when = EncodeDate(2023, 12, 31) + EncodeTime(23, 59, 58, 123);
    std::vector<QVariant> values = {QVariant(),
                                    QVariant(QStringLiteral("K-'1'\\")),
                                    QVariant(qlonglong(3)),
                                    QVariant(QStringLiteral("-12345678.90")),
                                    QVariant(false),
                                    QVariant(EncodeDate(1900, 1, 1)),
                                    QVariant(when),
                                    QVariant(EncodeTime(6, 30, 0)),
                                    QVariant(1.0 / 3.0),
                                    QVariant(bytes),
                                    QVariant(QStringLiteral("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}")),
                                    QVariant(QString(5000, u'ü'))};
    std::vector<const TField*> assigned;
    for (size_t i = 1; i < fields.size(); ++i) { // the key comes from its sequence
        fields[i]->LoadValue(values[i]);
        assigned.push_back(fields[i].get());
    }
    FDriver->InsertRow(QStringLiteral("VNH_MSStamm"), assigned);
    FDriver->InsertRow(QStringLiteral("VNH_MSStamm"), {}); // all defaults

    auto rows = ReadAll(*FDriver, QStringLiteral("select * from VNH_MSStamm order by id"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], QVariant(qlonglong(1)));
    for (size_t i = 1; i < values.size(); ++i) {
        if (i == 6) {
            EXPECT_NEAR(rows[0][i].toDouble(), when, 1e-8);
        } else if (i == 10) {
            EXPECT_EQ(rows[0][i].toString(), QStringLiteral("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"));
        } else {
            EXPECT_EQ(rows[0][i], values[i]) << "column " << i;
        }
    }
    EXPECT_EQ(rows[1][0], QVariant(qlonglong(2)));
    EXPECT_FALSE(rows[1][1].isValid());
}

TEST_F(PostgresDriver, ErrorsCarryTheServerText)
{
    FDriver->Execute(QStringLiteral("create table u (id integer primary key)"));
    FDriver->Execute(QStringLiteral("insert into u values (1)"));
    struct TCase {
        const char* Sql;
        const char* Message;
        const char* SqlState;
    };
    const TCase cases[] = {
        {"select * from VNH_Version", "relation \"vnh_version\" does not exist", "42P01"},
        {"insert into u values (1)", "duplicate key value violates unique constraint \"u_pkey\"", "23505"},
        {"selec 1", "syntax error at or near \"selec\"", "42601"},
        {"select 1/0", "division by zero", "22012"},
    };
    for (const TCase& c : cases) {
        for (bool cursor : {false, true}) {
            EDatabaseError error = ErrorOf([&] {
                if (cursor)
                    FDriver->OpenCursor(QString::fromLatin1(c.Sql));
                else
                    FDriver->Execute(QString::fromLatin1(c.Sql));
            });
            EXPECT_EQ(error.Message(), QString::fromLatin1(c.Message)) << c.Sql;
            EXPECT_EQ(error.SqlState(), QString::fromLatin1(c.SqlState)) << c.Sql;
            EXPECT_FALSE(error.ConnectionBroken()) << c.Sql;
        }
    }
    TConnectParams params = Params();
    params.Password = QStringLiteral("wrong");
    EDatabaseError login = ErrorOf([&] { Connect(params); });
    EXPECT_TRUE(login.Message().contains(QStringLiteral("password authentication failed"))) << login.what();
    EXPECT_FALSE(login.Message().endsWith(u'\n'));
}

TEST_F(PostgresDriver, ExecuteCountsRowsAndCommitOfFailedTransactionRaises)
{
    FDriver->Execute(QStringLiteral("create table t (id integer primary key)"));
    EXPECT_EQ(FDriver->Execute(QStringLiteral("insert into t select generate_series(1, 5)")), 5);
    EXPECT_EQ(FDriver->Execute(QStringLiteral("delete from t where id > 3")), 2);
    EXPECT_EQ(FDriver->Execute(QStringLiteral("update t set id = id where id > 100")), 0);

    FDriver->StartTransaction();
    FDriver->Execute(QStringLiteral("insert into t values (10)"));
    EXPECT_THROW(FDriver->Execute(QStringLiteral("insert into t values (1)")), EDatabaseError);
    EDatabaseError commit = ErrorOf([&] { FDriver->Commit(); });
    EXPECT_TRUE(commit.Message().contains(QStringLiteral("duplicate key"))) << commit.what();
    EXPECT_EQ(Count(*FDriver, QStringLiteral("t")), 3);

    // With a savepoint the rows before the failure stay.
    FDriver->StartTransaction();
    FDriver->Execute(QStringLiteral("insert into t values (10)"));
    FDriver->SetSavepoint(QStringLiteral("Row"));
    EXPECT_THROW(FDriver->Execute(QStringLiteral("insert into t values (1)")), EDatabaseError);
    FDriver->RollbackToSavepoint(QStringLiteral("Row"));
    FDriver->SetSavepoint(QStringLiteral("Row"));
    FDriver->Execute(QStringLiteral("insert into t values (11)"));
    FDriver->ReleaseSavepoint(QStringLiteral("Row"));
    FDriver->Commit();
    EXPECT_EQ(Count(*FDriver, QStringLiteral("t")), 5);
}

TEST_F(PostgresDriver, SchemaOptionAndSessionSettings)
{
    FDriver->Execute(QStringLiteral("create schema Firma; create table firma.VNH_Version (v integer); "
                                    "insert into firma.vnh_version values (42)"));
    TConnectParams params = Params();
    params.SpecificOptions[QStringLiteral("PostgreSQL.Schema")] = QStringLiteral("Firma");
    auto inSchema = Connect(params);
    EXPECT_EQ(ReadAll(*inSchema, QStringLiteral("select * from VNH_Version")).at(0).at(0).toInt(), 42);

    params.SpecificOptions[QStringLiteral("PostgreSQL.Schema")] = QStringLiteral("public");
    auto elsewhere = Connect(params);
    EDatabaseError error = ErrorOf([&] { elsewhere->Execute(QStringLiteral("select * from VNH_Version")); });
    EXPECT_EQ(error.SqlState(), QStringLiteral("42P01"));

    // A SET on the connection reaches the sessions of later queries as well.
    elsewhere->Execute(QStringLiteral("SET search_path TO firma"));
    EXPECT_EQ(ReadAll(*elsewhere, QStringLiteral("select * from VNH_Version")).at(0).at(0).toInt(), 42);
    // A temporary table exists only on the connection's own session.
    elsewhere->Execute(QStringLiteral("create temp table scratch as select 7 as x"));
    EXPECT_EQ(ReadAll(*elsewhere, QStringLiteral("select x from scratch")).at(0).at(0).toInt(), 7);
    // Statements that are not queries still give their result.
    EXPECT_EQ(ReadAll(*elsewhere, QStringLiteral("show search_path")).at(0).at(0).toString(),
              QStringLiteral("firma"));
}

TEST_F(PostgresDriver, ConnectOptionsOfTheConfigurationTool)
{
    TConnectParams params = Params();
    params.Server = QStringLiteral("localhost");
    params.SpecificOptions[QStringLiteral("PostgreSQL.IPVersion")] = QStringLiteral("ivIPv4");
    params.SpecificOptions[QStringLiteral("PostgreSQL.SSLMode")] = QStringLiteral("smDisable");
    params.SpecificOptions[QStringLiteral("PostgreSQL.ConnectionTimeout")] = QStringLiteral("15");
    params.SpecificOptions[QStringLiteral("PostgreSQL.UseUnicode")] = QStringLiteral("True");
    params.SpecificOptions[QStringLiteral("PostgreSQL.UuidWithBraces")] = QStringLiteral("True");
    auto driver = Connect(params);
    auto rows = ReadAll(*driver, QStringLiteral("select host(inet_client_addr()), "
                                                "(select ssl from pg_stat_ssl where pid = pg_backend_pid()), "
                                                "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid"));
    EXPECT_EQ(rows.at(0).at(0).toString(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rows.at(0).at(1), QVariant(false));
    EXPECT_EQ(rows.at(0).at(2).toString(), QStringLiteral("{a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11}"));
}

#ifndef _WIN32
TEST_F(PostgresDriver, ConnectionTimeoutBoundsTheWait)
{
    // A listener that never answers the start-up message.
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    TConnectParams params = Params();
    params.Server = QStringLiteral("127.0.0.1");
    params.Port = ntohs(address.sin_port);
    params.SpecificOptions[QStringLiteral("PostgreSQL.ConnectionTimeout")] = QStringLiteral("2");
    QElapsedTimer timer;
    timer.start();
    EDatabaseError error = ErrorOf([&] { Connect(params); });
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(error.ConnectionBroken());
    EXPECT_FALSE(error.Message().isEmpty());
    close(listener);
}
#endif

TEST_F(PostgresDriver, LostConnectionIsReportedAsBroken)
{
    // Inside a transaction the query runs on the connection's own session.
    FDriver->StartTransaction();
    auto pid = ReadAll(*FDriver, QStringLiteral("select pg_backend_pid()")).at(0).at(0).toLongLong();
    FDriver->Rollback();
    Admin().Execute(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
    EDatabaseError error = ErrorOf([&] { FDriver->Execute(QStringLiteral("select 1")); });
    EXPECT_TRUE(error.ConnectionBroken());
    EXPECT_FALSE(error.Message().isEmpty());
    EXPECT_FALSE(FDriver->IsOpen());
}

} // namespace
