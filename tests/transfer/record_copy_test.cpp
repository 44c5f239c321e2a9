#include "db/query.h"
#include "transfer/db_utils.h"
#include "transfer/write_test_database.h"

#include <gtest/gtest.h>

namespace {

class RecordCopy : public ::testing::TestWithParam<TTestSystem> {
protected:
    void SetUp() override
    {
        if (QString missing = TestSystemMissing(GetParam()); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        FDatabase = std::make_unique<TTestDatabase>(GetParam());
        FCon = FDatabase->Connect();
        bool pg = GetParam() == tsPostgreSQL;
        QString columns =
            QStringLiteral(
                "a varchar(%4), b varchar(10), blank varchar(10), txtnull varchar(10), memo %1, "
                "d_old date, d_ok date, d_future %2, t %3, big bigint, small smallint, intnull integer, "
                "flag boolean, f double precision")
                .arg(pg ? "text" : "TEXT", pg ? "timestamp" : "DATETIME", pg ? "time" : "TIME", "%1");
        FCon->ExecSQL(QStringLiteral("create table src (") + columns.arg(10) +
                      QStringLiteral(", toobig integer)"));
        FCon->ExecSQL(QStringLiteral("create table dst (") + columns.arg(2) +
                      QStringLiteral(", toobig smallint)"));
        FCon->ExecSQL(
            QStringLiteral(
                "insert into src values ('  abc  ', 'x', '   ', NULL, '%1', '1915-03-01', "
                "'1925-03-01', '%2', '13:05:09', 1099511627776, NULL, NULL, %3, 0.30000000000000004, 70000)")
                .arg(kMemo, DateTimeToQDate(Today() + 3651).toString("yyyy-MM-dd"), pg ? "true" : "1"));

        FSrc = std::make_unique<TQuery>(*FCon);
        FSrc->SetSQL(QStringLiteral("select * from src"));
        FSrc->Open();
        FDst = std::make_unique<TQuery>(*FCon);
        FDst->SetSQL(QStringLiteral("select * from dst"));
        FDst->Open();
        FDst->Append();
    }

    void TearDown() override
    {
        FSrc.reset();
        FDst.reset();
        FCon.reset();
        FDatabase.reset();
    }

    TField& Dst(const char* name) { return FDst->FieldByName(QLatin1String(name)); }

    static constexpr const char16_t* kMemo = u"Grüße € Ω 😀 ǅ";
    std::unique_ptr<TTestDatabase> FDatabase;
    std::unique_ptr<TConnection> FCon;
    std::unique_ptr<TQuery> FSrc;
    std::unique_ptr<TQuery> FDst;
};

} // namespace

TEST_P(RecordCopy, CopiesTheRowByTheTargetTypes)
{
    // In insert state the exclusion list has no effect.
    CopyDataSetRecord(*FSrc, *FDst, QStringLiteral("a;b"));

    EXPECT_EQ(Dst("a").AsString(), "ab"); // trimmed, then cut to the field's size
    EXPECT_EQ(Dst("b").AsString(), "x");
    EXPECT_TRUE(Dst("blank").IsNull());
    EXPECT_TRUE(Dst("blank").Assigned());
    EXPECT_TRUE(Dst("txtnull").IsNull());
    EXPECT_EQ(Dst("memo").AsString(), QString::fromUtf16(kMemo));
    EXPECT_TRUE(Dst("d_old").IsNull());
    EXPECT_EQ(Dst("d_ok").AsDateTime(), EncodeDate(1925, 3, 1));
    EXPECT_TRUE(Dst("d_future").IsNull());
    EXPECT_EQ(Dst("t").AsDateTime(), EncodeTime(13, 5, 9));
    EXPECT_EQ(Dst("big").AsLargeInt(), 1099511627776LL);
    EXPECT_FALSE(Dst("small").Assigned()); // a NULL source leaves non-text fields untouched
    EXPECT_FALSE(Dst("intnull").Assigned());
    EXPECT_FALSE(Dst("toobig").Assigned()); // beyond the target's range: not written
    EXPECT_TRUE(Dst("flag").AsBoolean());
    EXPECT_EQ(Dst("f").AsFloat(), 0.1 + 0.2);

    FDst->Post();
    TQuery check(*FCon);
    check.SetSQL(QStringLiteral("select * from dst"));
    check.Open();
    EXPECT_EQ(check.FieldByName("a").AsString(), "ab");
    EXPECT_EQ(check.FieldByName("memo").AsString(), QString::fromUtf16(kMemo));
    EXPECT_EQ(check.FieldByName("big").AsLargeInt(), 1099511627776LL);
    EXPECT_EQ(check.FieldByName("t").AsDateTime(), EncodeTime(13, 5, 9));
    EXPECT_TRUE(check.FieldByName("d_old").IsNull());
}

TEST_P(RecordCopy, SingleFieldRules)
{
    // Wide memo text is taken unchanged, also where no 8-bit code page holds it.
    CopyFieldValue(*FSrc, *FDst, QStringLiteral("memo"), ftWideMemo);
    EXPECT_EQ(Dst("memo").AsString(), QString::fromUtf16(kMemo));
    // The target generates auto-increment values.
    CopyFieldValue(*FSrc, *FDst, QStringLiteral("big"), ftAutoInc);
    EXPECT_FALSE(Dst("big").Assigned());
    // A field the target lacks is skipped without failing.
    CopyFieldValue(*FSrc, *FDst, QStringLiteral("missing"), ftString);
}

TEST(RecordCopyLimits, FixedAtStart)
{
    EXPECT_EQ(RecordCopyMinDate(), EncodeDate(1920, 1, 1));
    EXPECT_EQ(RecordCopyMaxDate(), Today() + 3650);
}

TEST(RecordCopyLimits, ExclusionListMatchesWholeNamesWithoutCase)
{
    EXPECT_TRUE(IsExcludedField("a;B", "b"));
    EXPECT_TRUE(IsExcludedField("A", "a"));
    EXPECT_FALSE(IsExcludedField("ab;c", "b"));
    EXPECT_FALSE(IsExcludedField("", "a"));
}

INSTANTIATE_TEST_SUITE_P(Systems, RecordCopy, ::testing::Values(tsSQLite, tsPostgreSQL),
                         TestSystemName);
