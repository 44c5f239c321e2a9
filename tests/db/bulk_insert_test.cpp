// Writers of several rows at a time: the COPY field of every literal form, the same stored values
// and the same refusals as one INSERT per row on PostgreSQL, the tables they stay away from, the
// refused row named in the failure; SQLite's multi-row statements.

#include "db/db_error.h"
#include "db/postgres/pg_bulk.h"
#include "db/sqlite/sqlite_driver.h"
#include "postgres_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray CopyField(const QString& literal, TPgNumberUse use, bool* accepted)
{
    QByteArray out;
    *accepted = PgLiteralToCopyField(literal, use, out);
    return out;
}

TEST(PgCopyField, LiteralFormsBecomeTheFieldTheInputFunctionReadsAlike)
{
    const struct {
        QString Literal;
        TPgNumberUse Use;
        const char* Field; // nullptr: not carried by COPY
    } cases[] = {
        {QStringLiteral("NULL"), pnNone, "\\N"},
        {QStringLiteral("'abc'"), pnNone, "abc"},
        {QStringLiteral("''"), pnNone, ""},
        {QStringLiteral("'O''Brien'''"), pnNone, "O'Brien'"},
        {QStringLiteral("'a\\b'"), pnNone, "a\\\\b"},
        {QStringLiteral("'\\x0a0b'"), pnNone, "\\\\x0a0b"},
        {QStringLiteral("'a\tb\nc\rd'"), pnNone, "a\\tb\\nc\\rd"},
        {QStringLiteral("'\\N'"), pnNone, "\\\\N"},
        {QStringLiteral("'\\.'"), pnNone, "\\\\."},
        {QString::fromUtf8("'Müller € 😀'"), pnNone, "M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {QStringLiteral("'a'b'"), pnNone, nullptr},
        {QStringLiteral("'a") + QChar(0) + QStringLiteral("'"), pnNone, nullptr},
        {QStringLiteral("'") + QChar(0xD800) + QStringLiteral("'"), pnNone, nullptr},
        {QStringLiteral("42"), pnInteger, "42"},
        {QStringLiteral("42"), pnAny, "42"},
        {QStringLiteral("42"), pnNone, nullptr},
        {QStringLiteral("-42"), pnCanonicalInteger, "-42"},
        {QStringLiteral("007"), pnInteger, "007"},
        {QStringLiteral("007"), pnCanonicalInteger, nullptr},
        {QStringLiteral("-0"), pnCanonicalInteger, nullptr},
        {QStringLiteral("-0.0e+5"), pnAny, nullptr},
        {QStringLiteral("-0.5"), pnAny, "-0.5"},
        {QStringLiteral("2.5"), pnInteger, nullptr},
        {QStringLiteral("2.5"), pnAny, "2.5"},
        {QStringLiteral("-1.5e-07"), pnAny, "-1.5e-07"},
        {QStringLiteral("1e+300"), pnCanonicalInteger, nullptr},
        {QStringLiteral(".5"), pnAny, nullptr},
        {QStringLiteral("5."), pnAny, nullptr},
        {QStringLiteral("1e"), pnAny, nullptr},
        {QStringLiteral("N'x'"), pnAny, nullptr},
        {QStringLiteral("E'x'"), pnAny, nullptr},
        {QStringLiteral("X'0A'"), pnAny, nullptr},
        {QStringLiteral("(CAST(3 AS REAL)/4)"), pnAny, nullptr},
        {QStringLiteral("null"), pnAny, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Literal.toStdString());
        bool accepted = false;
        QByteArray field = CopyField(c.Literal, c.Use, &accepted);
        EXPECT_EQ(accepted, c.Field != nullptr);
        if (accepted && c.Field) {
            EXPECT_EQ(field, QByteArray(c.Field));
        }
    }
}

class PgBulkInsert : public TPostgresTest {
protected:
    /// The rows as text, one per line, in key order.
    static std::string TableText(TDriver& driver, const QString& table)
    {
        QStringList rows;
        for (const auto& row :
             ReadAll(driver, QStringLiteral("select t::text from %1 t order by id").arg(table)))
            rows << row.at(0).toString();
        return rows.join(u'\n').toStdString();
    }
};

TEST_F(PgBulkInsert, RowsStoreWhatTheirInsertStatementsStore)
{
    const QString columns = QStringLiteral(
        "id integer primary key, i2 smallint, i4 integer, i8 bigint, num numeric(18,6), f4 real, f8 double "
        "precision, txt text, vc varchar(5), ch char(3), b boolean, d date, ts timestamp, tm time, by bytea, "
        "js json, dflt text default 'vorgabe'");
    FDriver->Execute(QStringLiteral("create table by_insert (%1); create table by_copy (%1)").arg(columns));
    const QStringList names = {"id", "i2", "i4", "i8", "num", "f4", "f8", "txt", "vc",
                               "ch", "b",  "d",  "ts", "tm",  "by", "js", "dflt"};
    // One column and literal per row, in the forms the statement builder writes; some fail.
    const QList<QPair<QString, QString>> cases = {
        {"i2", "1"},
        {"i2", "-32768"},
        {"i2", "40000"},
        {"i2", "'12'"},
        {"i2", "2.5"},
        {"i4", "2147483647"},
        {"i4", "-2147483648"},
        {"i4", "2147483648"},
        {"i4", "007"},
        {"i8", "9223372036854775807"},
        {"i8", "-9223372036854775808"},
        {"num", "123.4567891"},
        {"num", "1e+3"},
        {"num", "-0"},
        {"num", "99999999999999999999"},
        {"f4", "16777217"},
        {"f4", "0.1"},
        {"f4", "1e+39"},
        {"f8", "1e+300"},
        {"f8", "5e-324"},
        {"f8", "-0"},
        {"f8", "0.30000000000000004"},
        {"f8", "-0.0"},
        {"f4", "-0"},
        {"f8", "9007199254740993"},
        {"txt", "'plain'"},
        {"txt", "'tab\there'"},
        {"txt", "'back\\slash\\N'"},
        {"txt", "'quote''s'"},
        {"txt", "'\\x41'"},
        {"txt", QString::fromUtf8("'Ünïcödé 😀'")},
        {"txt", "''"},
        {"txt", "42"},
        {"txt", "-7"},
        {"txt", "007"},
        {"txt", "1e+3"},
        {"txt", "'line\r\nend'"},
        {"vc", "'abcdef'"},
        {"vc", "'abc     '"},
        {"vc", "123456"},
        {"vc", "12345"},
        {"ch", "'a'"},
        {"ch", "7"},
        {"b", "'1'"},
        {"b", "'0'"},
        {"b", "'t'"},
        {"b", "1"},
        {"d", "'2024-01-01'"},
        {"d", "'2024-02-30'"},
        {"ts", "'2024-01-01 13:05:09'"},
        {"tm", "'13:05:09'"},
        {"by", "'\\x0a0b'"},
        {"by", "'\\x'"},
        {"by", "'abc'"},
        {"js", "'{\"a\": 1}'"},
        {"js", "5"},
        {"txt", "NULL"},
        {"dflt", "NULL"},
        {"dflt", "'own'"},
    };

    auto writer = FDriver->OpenBulkInsert(QStringLiteral("by_copy"), names);
    ASSERT_NE(writer, nullptr);
    int carried = 0;
    for (int k = 0; k < cases.size(); ++k) {
        const QString id = QString::number(k + 1);
        const QString& column = cases[k].first;
        const QString& literal = cases[k].second;
        try {
            FDriver->Execute(
                QStringLiteral("insert into by_insert (id,%1) values (%2,%3)").arg(column, id, literal));
        } catch (const EDatabaseError&) {
        }
        // The writer as the transfer uses it: a row it cannot carry goes by its statement.
        std::vector<QString> texts(names.size());
        std::vector<QStringView> values(names.size());
        texts[0] = id;
        texts[names.indexOf(column)] = literal;
        for (size_t c = 0; c < texts.size(); ++c)
            values[c] = texts[c].isNull() ? QStringView() : QStringView(texts[c]);
        FDriver->StartTransaction();
        try {
            if (writer->Add(values)) {
                ++carried;
                writer->Write();
            } else {
                FDriver->Execute(
                    QStringLiteral("insert into by_copy (id,%1) values (%2,%3)").arg(column, id, literal));
            }
            FDriver->Commit();
        } catch (const EDatabaseError&) {
            writer->Clear();
            FDriver->Rollback();
        }
    }
    EXPECT_GT(carried, cases.size() * 3 / 4);
    std::string expected = TableText(*FDriver, QStringLiteral("by_insert"));
    EXPECT_LT(std::count(expected.begin(), expected.end(), '\n') + 1, cases.size())
        << "some literals must fail";
    EXPECT_EQ(TableText(*FDriver, QStringLiteral("by_copy")), expected);
}

TEST_F(PgBulkInsert, RowsLeavingOutColumnsWithDefaultsGetTheirDefaults)
{
    FDriver->Execute(
        QStringLiteral("create domain note as text default 'aus Domäne'; "
                       "create table t (id serial primary key, a text default 'a', b text, n note)"));
    const QStringList names = {"id", "a", "b", "n"};
    auto writer = FDriver->OpenBulkInsert(QStringLiteral("T"), names);
    ASSERT_NE(writer, nullptr);
    const QList<QStringList> rows = {
        {"1", "'x'", "'y'", "'z'"},    {"2", {}, {}, {}},       {"3", {}, "'y'", {}},
        {"4", "NULL", "NULL", "NULL"}, {"5", "'x'", {}, "'z'"}, {"6", {}, {}, {}},
    };
    auto add = [&](const QStringList& row) {
        std::vector<QStringView> values;
        for (const QString& value : row)
            values.push_back(value.isNull() ? QStringView() : QStringView(value));
        return writer->Add(values);
    };
    FDriver->StartTransaction();
    for (const QStringList& row : rows)
        ASSERT_TRUE(add(row));
    // A taken-back batch would not give back what it drew from the sequence.
    EXPECT_FALSE(add({{}, "'x'", {}, {}}));
    writer->Write();
    FDriver->Commit();
    QStringList stored;
    for (const auto& row : ReadAll(*FDriver, QStringLiteral("select t::text from t order by id")))
        stored << row.at(0).toString();
    EXPECT_EQ(stored.join(u'\n').toStdString(),
              QStringLiteral("(1,x,y,z)\n(2,a,,\"aus Domäne\")\n(3,a,y,\"aus Domäne\")\n(4,,,)\n(5,x,,z)\n"
                             "(6,a,,\"aus Domäne\")")
                  .toStdString());
}

TEST_F(PgBulkInsert, TablesWhereCopyActsOtherwiseGetNoWriter)
{
    FDriver->Execute(QStringLiteral(
        "create table plain (id integer primary key, parent integer); "
        "create table tree (id integer primary key, parent integer references tree (id)); "
        "create table logged (id integer primary key); "
        "create function noop() returns trigger language plpgsql as $$ begin return null; end $$; "
        "create trigger after_row after insert on logged for each row execute function noop(); "
        "create table ruled (id integer primary key); "
        "create rule keep as on insert to ruled do also notify ruled; "
        "create table secured (id integer primary key); alter table secured enable row level security; "
        "create view seen as select * from plain; "
        "create table counted (id integer, n serial)"));
    const QStringList columns = {"id", "parent"};
    EXPECT_NE(FDriver->OpenBulkInsert(QStringLiteral("Plain"), columns), nullptr);
    EXPECT_NE(FDriver->OpenBulkInsert(QStringLiteral("public.plain"), {"ID"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("tree"), columns), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("logged"), {"id"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("ruled"), {"id"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("secured"), {"id"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("seen"), columns), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("counted"), {"id"}), nullptr);
    EXPECT_NE(FDriver->OpenBulkInsert(QStringLiteral("counted"), {"id", "n"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("missing"), columns), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("plain"), {"id", "other"}), nullptr);
    EXPECT_EQ(FDriver->OpenBulkInsert(QStringLiteral("plain"), {"\"id\""}), nullptr);
}

TEST_F(PgBulkInsert, AFailedBatchNamesTheRefusedRowWhenTheServerDoes)
{
    FDriver->Execute(QStringLiteral("create table ref (id integer primary key); insert into ref values (1); "
                                    "create table t (id integer primary key, v integer check (v > 0), "
                                    "r integer references ref (id))"));
    auto writer = FDriver->OpenBulkInsert(QStringLiteral("t"), {"id", "v", "r"});
    ASSERT_NE(writer, nullptr);
    auto write = [&](int badCheck, int badReference) {
        FDriver->StartTransaction();
        for (int id = 1; id <= 10; ++id) {
            QString texts[] = {QString::number(id),
                               id == badCheck ? QStringLiteral("-1") : QStringLiteral("1"),
                               id == badReference ? QStringLiteral("2") : QStringLiteral("1")};
            EXPECT_TRUE(writer->Add({texts[0], texts[1], texts[2]}));
        }
        bool failed = false;
        try {
            writer->Write();
        } catch (const EDatabaseError&) {
            failed = true;
        }
        FDriver->Rollback();
        EXPECT_TRUE(failed);
        return writer->FailedRow();
    };
    EXPECT_EQ(write(6, 0), 5);
    EXPECT_EQ(write(1, 0), 0);
    EXPECT_EQ(write(0, 4), -1) << "a foreign key is checked when the COPY ends";
    // The session stays usable after the failures.
    FDriver->StartTransaction();
    EXPECT_TRUE(writer->Add({QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1")}));
    writer->Write();
    FDriver->Commit();
    EXPECT_EQ(Count(*FDriver, QStringLiteral("t")), 1);
}

TEST(SQLiteBulkInsert, MultiRowStatementsGroupRowsByTheirColumnsAndStayAwayFromSelfReferences)
{
    QTemporaryDir dir;
    TConnectParams params;
    params.ProviderName = QStringLiteral("SQLite");
    params.Database = dir.filePath(QStringLiteral("bulk.db"));
    params.SpecificOptions[QStringLiteral("SQLite.CreateDatabase")] = QStringLiteral("True");
    auto driver = CreateSQLiteDriver();
    driver->Open(params);
    driver->Execute(
        QStringLiteral("create table t (id integer primary key, a text default 'a', b integer); "
                       "create table tree (id integer primary key, parent integer references tree (id))"));
    EXPECT_EQ(driver->OpenBulkInsert(QStringLiteral("tree"), {"id", "parent"}), nullptr);
    auto writer = driver->OpenBulkInsert(QStringLiteral("t"), {"id", "a", "b"});
    ASSERT_NE(writer, nullptr);
    const QList<QStringList> rows = {
        {"1", "'x'", "1"}, {"2", {}, "2"}, {"3", {}, "NULL"}, {"4", "'y''s'", {}}};
    driver->StartTransaction();
    for (const QStringList& row : rows) {
        std::vector<QStringView> values;
        for (const QString& value : row)
            values.push_back(value.isNull() ? QStringView() : QStringView(value));
        ASSERT_TRUE(writer->Add(values));
    }
    EXPECT_EQ(writer->Count(), 4);
    writer->Write();
    driver->Commit();
    auto cursor = driver->OpenCursor(QStringLiteral("select id, a, coalesce(b, -1) from t order by id"));
    std::vector<QVariant> row;
    QStringList stored;
    while (cursor->Fetch(row))
        stored << QStringLiteral("%1|%2|%3").arg(row[0].toString(), row[1].toString(), row[2].toString());
    EXPECT_EQ(stored, (QStringList{"1|x|1", "2|a|2", "3|a|-1", "4|y's|-1"}));
}

} // namespace
