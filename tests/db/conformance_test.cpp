// One body of tests for the access layer, run against every database system in ConformanceBackends().

#include "conformance_backends.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"

#include <QUuid>
#include <gtest/gtest.h>

namespace {

class Conformance : public ::testing::TestWithParam<TConformanceBackend> {
protected:
    void SetUp() override
    {
        QString reason;
        FDb = GetParam().Create(reason);
        if (!FDb)
            GTEST_SKIP() << reason.toStdString();
        FDb->ApplyTo(FConn);
        FConn.Open();
    }

    void TearDown() override
    {
        FConn.Close();
        if (FDb)
            GetParam().Drop(*FDb);
    }

    const TDialectTypes& Types() const { return GetParam().Types; }

    void Exec(const QString& sql) { FConn.ExecSQL(sql); }

    qint64 Count(TConnection& connection, const QString& table)
    {
        TQuery query(connection);
        query.SetSQL(QStringLiteral("select count(*) as anzahl from ") + table);
        query.Open();
        return query.Fields(0).AsLargeInt();
    }
    qint64 Count(const QString& table) { return Count(FConn, table); }

    void CreateTextTable()
    {
        Exec(QStringLiteral("create table vnh_rows (id %1, txt %2)").arg(Types().Int32, Types().Memo));
    }

    void AppendRow(TQuery& target, int id, const QString& text)
    {
        target.Append();
        target.FieldByName(QStringLiteral("id")).SetAsInteger(id);
        target.FieldByName(QStringLiteral("txt")).SetAsString(text);
        target.Post();
    }

    std::optional<TTestDatabase> FDb;
    TConnection FConn;
};

struct TTypedRow {
    int Id;
    QString Text;
    qint64 Int32;
    qint64 Int64;
    double Float;
    QString Exact;
    bool Flag;
    TDateTime Date;
    TDateTime Time;
    TDateTime Timestamp;
    QByteArray Binary;
    QString Guid;
    QString Memo;
};

QString LongMemo()
{
    QString memo;
    while (memo.size() < 10000)
        memo += QStringLiteral("Zeile mit Umlauten äöü ÄÖÜ ß und einem \"Zitat\"\n");
    return memo;
}

} // namespace

TEST_P(Conformance, TypedValuesRoundTripThroughAppendAndPost)
{
    const bool hasGuid = !Types().Guid.isEmpty();
    Exec(QStringLiteral("create table vnh_types (id %1 primary key, txt %2, i32 %3, i64 %4, dbl %5, num %6, "
                        "flag %7, d %8, t %9, ts %10, bin %11, memo %12%13)")
             .arg(Types().Int32, Types().Text20, Types().Int32, Types().Int64, Types().Float, Types().Exact,
                  Types().Boolean, Types().Date, Types().Time)
             .arg(Types().Timestamp, Types().Binary, Types().Memo,
                  hasGuid ? QStringLiteral(", guid ") + Types().Guid : QString()));

    const bool longExact = Types().ExactDigits >= 30;
    const std::vector<TTypedRow> rows = {
        {1, QStringLiteral("Zwanzig Zeichen ÄÖÜ!"), 2147483647, 9223372036854775807LL, 0.1,
         longExact ? QStringLiteral("12345678901234567890.1234567891") : QStringLiteral("12345.6789012345"),
         true, EncodeDate(2024, 2, 29), EncodeTime(13, 5, 9),
         EncodeDate(2024, 1, 1) + EncodeTime(13, 5, 9, 123), QByteArray("\x00\x01\xff\x00zero", 8),
         QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), LongMemo()},
        {2, QStringLiteral("x"), -2147483647LL - 1, -9223372036854775807LL - 1, -1.5e-300,
         longExact ? QStringLiteral("-99999999999999999999.9999999999") : QStringLiteral("-0.0000000001"),
         false, EncodeDate(1900, 1, 1), 0.0, EncodeDate(1850, 5, 5) + EncodeTime(23, 59, 59), QByteArray(""),
         QStringLiteral("{00000000-0000-0000-0000-000000000000}"), QStringLiteral("kurz")},
    };

    TQuery target(FConn);
    target.SetSQL(QStringLiteral("select * from vnh_types where id=-1"));
    target.Open();
    EXPECT_TRUE(target.Eof());
    for (const TTypedRow& row : rows) {
        target.Append();
        ASSERT_EQ(target.State(), dsInsert);
        target.FieldByName(QStringLiteral("ID")).SetAsInteger(row.Id);
        target.FieldByName(QStringLiteral("txt")).SetAsString(row.Text);
        target.FieldByName(QStringLiteral("i32")).SetAsLargeInt(row.Int32);
        target.FieldByName(QStringLiteral("i64")).SetAsLargeInt(row.Int64);
        target.FieldByName(QStringLiteral("dbl")).SetAsFloat(row.Float);
        target.FieldByName(QStringLiteral("num")).SetAsString(row.Exact);
        target.FieldByName(QStringLiteral("flag")).SetAsBoolean(row.Flag);
        target.FieldByName(QStringLiteral("d")).SetAsDateTime(row.Date);
        target.FieldByName(QStringLiteral("t")).SetAsDateTime(row.Time);
        target.FieldByName(QStringLiteral("ts")).SetAsDateTime(row.Timestamp);
        target.FieldByName(QStringLiteral("bin")).SetAsBytes(row.Binary);
        target.FieldByName(QStringLiteral("memo")).SetAsString(row.Memo);
        if (hasGuid)
            target.FieldByName(QStringLiteral("guid")).SetAsString(row.Guid);
        target.Post();
        EXPECT_EQ(target.State(), dsBrowse);
    }
    // A row of NULLs: some fields cleared, the others never written.
    target.Append();
    target.FieldByName(QStringLiteral("id")).SetAsInteger(3);
    target.FieldByName(QStringLiteral("txt")).Clear();
    target.FieldByName(QStringLiteral("num")).Clear();
    target.FieldByName(QStringLiteral("bin")).Clear();
    target.Post();
    target.Close();

    TQuery source(FConn);
    source.SetSQL(QStringLiteral("select * from vnh_types order by id"));
    source.Open();
    EXPECT_TRUE(IsTextType(source.FieldByName(QStringLiteral("txt")).DataType()));
    EXPECT_EQ(source.FieldByName(QStringLiteral("txt")).Size(), 20);
    EXPECT_TRUE(IsIntegerType(source.FieldByName(QStringLiteral("i32")).DataType()));
    EXPECT_EQ(source.FieldByName(QStringLiteral("i64")).DataType(), ftLargeint);
    EXPECT_EQ(source.FieldByName(QStringLiteral("dbl")).DataType(), ftFloat);
    EXPECT_TRUE(IsExactNumericType(source.FieldByName(QStringLiteral("num")).DataType()));
    EXPECT_EQ(source.FieldByName(QStringLiteral("flag")).DataType(), ftBoolean);
    EXPECT_EQ(source.FieldByName(QStringLiteral("d")).DataType(), ftDate);
    EXPECT_EQ(source.FieldByName(QStringLiteral("t")).DataType(), ftTime);
    EXPECT_TRUE(source.FieldByName(QStringLiteral("ts")).DataType() == ftDateTime ||
                source.FieldByName(QStringLiteral("ts")).DataType() == ftTimeStamp);
    EXPECT_TRUE(IsBinaryType(source.FieldByName(QStringLiteral("bin")).DataType()));
    EXPECT_TRUE(IsTextType(source.FieldByName(QStringLiteral("memo")).DataType()));
    if (hasGuid) {
        EXPECT_EQ(source.FieldByName(QStringLiteral("guid")).DataType(), ftGuid);
    }

    for (const TTypedRow& row : rows) {
        SCOPED_TRACE(row.Id);
        ASSERT_FALSE(source.Eof());
        EXPECT_EQ(source.FieldByName(QStringLiteral("id")).AsInteger(), row.Id);
        EXPECT_EQ(source.FieldByName(QStringLiteral("txt")).AsString(), row.Text);
        EXPECT_EQ(source.FieldByName(QStringLiteral("i32")).AsInteger(), row.Int32);
        EXPECT_EQ(source.FieldByName(QStringLiteral("i64")).AsLargeInt(), row.Int64);
        EXPECT_EQ(source.FieldByName(QStringLiteral("dbl")).AsFloat(), row.Float);
        EXPECT_EQ(source.FieldByName(QStringLiteral("num")).AsString(), row.Exact);
        EXPECT_EQ(source.FieldByName(QStringLiteral("flag")).AsBoolean(), row.Flag);
        EXPECT_EQ(source.FieldByName(QStringLiteral("d")).AsDateTime(), row.Date);
        EXPECT_NEAR(source.FieldByName(QStringLiteral("t")).AsDateTime(), row.Time, 1e-9);
        EXPECT_EQ(DateTimeToQDateTime(source.FieldByName(QStringLiteral("ts")).AsDateTime()),
                  DateTimeToQDateTime(row.Timestamp));
        EXPECT_FALSE(source.FieldByName(QStringLiteral("bin")).IsNull());
        EXPECT_EQ(source.FieldByName(QStringLiteral("bin")).AsBytes(), row.Binary);
        EXPECT_EQ(source.FieldByName(QStringLiteral("memo")).AsString(), row.Memo);
        if (hasGuid) {
            EXPECT_EQ(QUuid::fromString(source.FieldByName(QStringLiteral("guid")).AsString()),
                      QUuid::fromString(row.Guid));
        }
        source.Next();
    }
    ASSERT_FALSE(source.Eof());
    for (int i = 1; i < source.FieldCount(); ++i) {
        TField& field = source.Fields(i);
        EXPECT_TRUE(field.IsNull()) << field.FieldName().toStdString();
        EXPECT_EQ(field.AsString(), QString());
        EXPECT_EQ(field.AsDateTime(), 0.0);
    }
    source.Next();
    EXPECT_TRUE(source.Eof());
}

TEST_P(Conformance, DateLiteralsWrittenByStatementsReadBackAsDates)
{
    Exec(QStringLiteral("create table vnh_dates (id %1, d %2, ts %3)")
             .arg(Types().Int32, Types().Date, Types().Timestamp));
    Exec(QStringLiteral("insert into vnh_dates (id, d, ts) values (1, '2024-01-01', '2024-01-01 13:05:09')"));
    TQuery query(FConn);
    query.SetSQL(QStringLiteral("select * from vnh_dates"));
    query.Open();
    EXPECT_EQ(query.FieldByName(QStringLiteral("d")).AsString(), QStringLiteral("2024-01-01"));
    EXPECT_EQ(query.FieldByName(QStringLiteral("ts")).AsString(), QStringLiteral("2024-01-01 13:05:09"));
    EXPECT_EQ(query.FieldByName(QStringLiteral("ts")).AsDateTime(),
              EncodeDate(2024, 1, 1) + EncodeTime(13, 5, 9));
}

TEST_P(Conformance, ManyRowsStreamForwardOnly)
{
    CreateTextTable();
    const int rowCount = 5000;
    TQuery target(FConn);
    target.SetSQL(QStringLiteral("select * from vnh_rows where id=-1"));
    target.Open();
    FConn.StartTransaction();
    for (int id = 1; id <= rowCount; ++id)
        AppendRow(target, id, QStringLiteral("Zeile %1").arg(id));
    FConn.Commit();

    TQuery source(FConn);
    source.SetSQL(QStringLiteral("select * from vnh_rows order by id"));
    source.Open();
    int expected = 1;
    while (!source.Eof()) {
        ASSERT_EQ(source.Fields(0).AsInteger(), expected);
        ASSERT_EQ(source.Fields(1).AsString(), QStringLiteral("Zeile %1").arg(expected));
        ++expected;
        source.Next();
    }
    EXPECT_EQ(expected, rowCount + 1);
    source.Next(); // past the end: stays there
    EXPECT_TRUE(source.Eof());
    EXPECT_EQ(source.Fields(0).AsInteger(), rowCount);
}

TEST_P(Conformance, TwoQueriesAndStatementsShareOneConnection)
{
    CreateTextTable();
    Exec(QStringLiteral("create table vnh_other (id %1)").arg(Types().Int32));
    TQuery target(FConn);
    target.SetSQL(QStringLiteral("select * from vnh_rows"));
    target.Open();
    for (int id = 1; id <= 3; ++id)
        AppendRow(target, id, QStringLiteral("r%1").arg(id));

    TQuery first(FConn);
    first.SetSQL(QStringLiteral("select * from vnh_rows order by id"));
    first.Open();
    EXPECT_EQ(first.Fields(0).AsInteger(), 1);

    TQuery second(FConn);
    second.SetSQL(QStringLiteral("select * from vnh_rows order by id desc"));
    second.Open();
    EXPECT_EQ(second.Fields(0).AsInteger(), 3);
    first.Next();
    Exec(QStringLiteral("insert into vnh_other (id) values (7)"));
    second.Next();
    EXPECT_EQ(first.Fields(0).AsInteger(), 2);
    EXPECT_EQ(second.Fields(0).AsInteger(), 2);
    first.Next();
    first.Next();
    EXPECT_TRUE(first.Eof());
    EXPECT_EQ(Count(QStringLiteral("vnh_other")), 1);
}

TEST_P(Conformance, AwkwardTextsSurviveAppendAndPost)
{
    CreateTextTable();
    const QStringList texts = {
        QStringLiteral("O'Brien"),
        QStringLiteral("C:\\temp\\neu\\"),
        QStringLiteral("Grüße äöü ÄÖÜ ß €"),
        QStringLiteral("semi;colon"),
        QStringLiteral("\"quoted\" and ''doubled''"),
        QStringLiteral("tab\tnew\nline"),
        QStringLiteral("'); drop table vnh_rows; --"),
        QStringLiteral("100%_like ?  $1 :name"),
    };
    TQuery target(FConn);
    target.SetSQL(QStringLiteral("select * from vnh_rows where id=-1"));
    target.Open();
    for (int i = 0; i < texts.size(); ++i)
        AppendRow(target, i, texts[i]);

    TQuery source(FConn);
    source.SetSQL(QStringLiteral("select * from vnh_rows order by id"));
    source.Open();
    for (const QString& text : texts) {
        ASSERT_FALSE(source.Eof());
        EXPECT_EQ(source.FieldByName(QStringLiteral("TXT")).AsString(), text);
        source.Next();
    }
    EXPECT_TRUE(source.Eof());
}

TEST_P(Conformance, FailedPostKeepsTheRowForCancel)
{
    Exec(QStringLiteral("create table vnh_keys (id %1 primary key, txt %2)")
             .arg(Types().Int32, Types().Text20));
    TQuery target(FConn);
    target.SetSQL(QStringLiteral("select * from vnh_keys"));
    target.Open();
    target.Append();
    target.FieldByName(QStringLiteral("id")).SetAsInteger(1);
    target.Post();
    target.Append();
    target.FieldByName(QStringLiteral("id")).SetAsInteger(1);
    EXPECT_THROW(target.Post(), EDatabaseError);
    EXPECT_EQ(target.State(), dsInsert);
    target.Cancel();
    EXPECT_EQ(target.State(), dsBrowse);
    EXPECT_EQ(Count(QStringLiteral("vnh_keys")), 1);
}

TEST_P(Conformance, CommitKeepsAndRollbackDropsTheWork)
{
    CreateTextTable();
    EXPECT_FALSE(FConn.InTransaction());
    FConn.StartTransaction();
    EXPECT_TRUE(FConn.InTransaction());
    EXPECT_THROW(FConn.StartTransaction(), EDatabaseError);
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (1, 'weg')"));
    FConn.Rollback();
    EXPECT_FALSE(FConn.InTransaction());
    EXPECT_EQ(Count(QStringLiteral("vnh_rows")), 0);

    FConn.StartTransaction();
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (2, 'bleibt')"));
    FConn.Commit();
    EXPECT_FALSE(FConn.InTransaction());

    TConnection other;
    FDb->ApplyTo(other);
    other.Open();
    EXPECT_EQ(Count(other, QStringLiteral("vnh_rows")), 1);
}

TEST_P(Conformance, SavepointUndoesOnlyTheLaterWork)
{
    if (!FConn.HasFeature(dfSavepoints))
        GTEST_SKIP() << "no savepoints";
    CreateTextTable();
    FConn.StartTransaction();
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (1, 'a')"));
    FConn.SetSavepoint(QStringLiteral("vor_zwei"));
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (2, 'b')"));
    FConn.RollbackToSavepoint(QStringLiteral("vor_zwei"));
    FConn.ReleaseSavepoint(QStringLiteral("vor_zwei"));
    FConn.Commit();
    EXPECT_EQ(Count(QStringLiteral("vnh_rows")), 1);
}

TEST_P(Conformance, FailedCommitRaisesAndEndsTheTransaction)
{
    if (Types().DeferredCheckDDL.isEmpty())
        GTEST_SKIP() << "no check deferred to the commit";
    for (const QString& ddl : Types().DeferredCheckDDL)
        Exec(ddl);
    FConn.StartTransaction();
    Exec(QStringLiteral("insert into fk_child (pid) values (42)"));
    EXPECT_THROW(FConn.Commit(), EDatabaseError);
    EXPECT_FALSE(FConn.InTransaction());
    EXPECT_EQ(Count(QStringLiteral("fk_child")), 0);
    // The connection goes on.
    FConn.StartTransaction();
    Exec(QStringLiteral("insert into fk_parent (id) values (42)"));
    Exec(QStringLiteral("insert into fk_child (pid) values (42)"));
    FConn.Commit();
    EXPECT_EQ(Count(QStringLiteral("fk_child")), 1);
}

TEST_P(Conformance, DatabaseErrorsArePassedOnWithTheirOwnText)
{
    try {
        Exec(QStringLiteral("select * from no_such_table_vnh"));
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(GetParam().MissingTableText)) << e.Message().toStdString();
    }
    TQuery query(FConn);
    query.SetSQL(QStringLiteral("select * from no_such_table_vnh"));
    try {
        query.Open();
        ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(GetParam().MissingTableText)) << e.Message().toStdString();
    }
    EXPECT_FALSE(query.Active());
    EXPECT_THROW(Exec(QStringLiteral("this is no statement")), EDatabaseError);
}

TEST_P(Conformance, StatementsReportTheRowsTheyChanged)
{
    CreateTextTable();
    TSQLStatement statement(FConn);
    statement.SetSQL(QStringLiteral("insert into vnh_rows (id, txt) values (1, 'a')"));
    statement.Execute();
    EXPECT_EQ(statement.RowsAffected(), 1);
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (2, 'b')"));
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (3, 'c')"));
    statement.SetSQL(QStringLiteral("update vnh_rows set txt = 'x'"));
    statement.Execute();
    EXPECT_EQ(statement.RowsAffected(), 3);
    statement.SetSQL(QStringLiteral("delete from vnh_rows where id = 99"));
    statement.Execute();
    EXPECT_EQ(statement.RowsAffected(), 0);
    statement.SetSQL(QStringLiteral("create table vnh_more (id %1)").arg(Types().Int32));
    statement.Execute();
    EXPECT_EQ(statement.RowsAffected(), 0);
}

TEST_P(Conformance, ClosingTheConnectionClosesItsQueries)
{
    CreateTextTable();
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (1, 'a')"));
    Exec(QStringLiteral("insert into vnh_rows (id, txt) values (2, 'b')"));
    TQuery query(FConn);
    query.SetSQL(QStringLiteral("select * from vnh_rows"));
    query.Open();
    FConn.Close();
    EXPECT_FALSE(query.Active());
    EXPECT_THROW(query.Open(), EDatabaseError);
    FConn.Open();
    query.Open();
    EXPECT_EQ(query.FieldCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, Conformance, ::testing::ValuesIn(ConformanceBackends()),
                         [](const ::testing::TestParamInfo<TConformanceBackend>& info) {
                             return std::string(info.param.Name);
                         });
