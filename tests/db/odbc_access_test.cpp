// Access files through the ODBC provider, read-only where only MDBTools is installed: field types,
// sizes and values of the shared fixtures, as the connection test and a transfer source see them.

#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>

namespace {

struct TExpectedField {
    QString Name;
    TFieldType Type;
    int Size;
};

QString Fixture(const QString& name)
{
    return AccessFixtureDir() + u'/' + name;
}

#define VNH_REQUIRE_ACCESS_FIXTURES()                                                                        \
    if (AccessFixtureDir().isEmpty())                                                                        \
    GTEST_SKIP() << "the Access fixtures (shared/fixtures/access next to the project) are absent"

void OpenAccess(TConnection& connection, const QString& path)
{
    connection.ProviderName = "Access";
    connection.Database = path;
    connection.Username = "Administrator";
    connection.Password = "unused by read-only drivers";
    connection.Open();
}

// The fields and all rows (sorted: the driver's row order is not fixed) of one query.
std::vector<QVariantList> ReadAll(TConnection& connection, const QString& sql, std::vector<TFieldDef>& fields)
{
    TQuery query(connection);
    query.SetSQL(sql);
    query.Open();
    fields.clear();
    for (int i = 0; i < query.FieldCount(); ++i)
        fields.push_back(query.Fields(i).Def());
    std::vector<QVariantList> rows;
    for (; !query.Eof(); query.Next()) {
        QVariantList row;
        for (int i = 0; i < query.FieldCount(); ++i)
            row << query.Fields(i).AsVariant();
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end(), [](const QVariantList& a, const QVariantList& b) {
        return a.first().toString() < b.first().toString();
    });
    return rows;
}

void ExpectFields(const std::vector<TFieldDef>& actual, const std::vector<TExpectedField>& expected,
                  const QString& where)
{
    ASSERT_EQ(actual.size(), expected.size()) << where.toStdString();
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE((where + ": " + expected[i].Name).toStdString());
        EXPECT_EQ(actual[i].Name, expected[i].Name);
        EXPECT_EQ(FieldTypeName(actual[i].DataType), FieldTypeName(expected[i].Type));
        EXPECT_EQ(actual[i].Size, expected[i].Size);
    }
}

} // namespace

TEST(OdbcAccess, TypesAndValuesOfTheTestTables)
{
    VNH_REQUIRE_ACCESS_FIXTURES();
    const std::vector<TExpectedField> table1 = {
        {"A", ftString, 50},  {"B", ftString, 100},  {"C", ftByte, 0},
        {"D", ftSmallint, 0}, {"E", ftInteger, 0},   {"F", ftFloat, 0},
        {"G", ftDateTime, 0}, {"H", ftCurrency, 19}, {"I", ftBoolean, 0},
    };
    const std::vector<QVariantList> rows = {
        {"a", "b", 0LL, 0LL, 0LL, 0.0, EncodeDate(1981, 12, 12), "0.0000", false},
        {"abcdefg", "hijklmnop", 2LL, 222LL, 333333333LL, 444.555, EncodeDate(1974, 9, 21), "3.5000", true},
    };
    // Jet 3 stores 8-bit text, ACE UTF-16: the declared sizes must come out the same.
    for (const QString file : {"jet3-test.mdb", "ace-test.accdb"}) {
        TConnection connection;
        OpenAccess(connection, Fixture(file));
        std::vector<TFieldDef> fields;
        auto actual = ReadAll(connection, "select * from Table1", fields);
        ExpectFields(fields, table1, file);
        EXPECT_EQ(fields[7].Scale, 4);
        ASSERT_EQ(actual.size(), rows.size()) << file.toStdString();
        for (size_t r = 0; r < rows.size(); ++r) {
            for (int c = 0; c < rows[r].size(); ++c)
                EXPECT_EQ(actual[r][c], rows[r][c]) << file.toStdString() << " row " << r << " column " << c;
        }

        EXPECT_TRUE(ReadAll(connection, "select * from Table4", fields).empty());
        ExpectFields(fields, {{"name", ftString, 50}, {"data", ftGuid, 38}}, file + " Table4");

        EXPECT_TRUE(ReadAll(connection, "select * from Table2", fields).empty());
        ASSERT_EQ(fields.size(), 89u);
        EXPECT_EQ(fields[88].Name, "column89");
        EXPECT_EQ(fields[88].Size, 50);
    }
}

TEST(OdbcAccess, MemoNumericCurrencyAndPasswordFiles)
{
    VNH_REQUIRE_ACCESS_FIXTURES();
    std::vector<TFieldDef> fields;
    {
        TConnection connection;
        OpenAccess(connection, Fixture("jet4-numeric.mdb"));
        auto rows = ReadAll(connection, "select * from test", fields);
        ExpectFields(fields,
                     {{"col1", ftMemo, 0},
                      {"col2", ftFMTBcd, 0},
                      {"col3", ftFMTBcd, 0},
                      {"col4", ftFMTBcd, 0},
                      {"col5", ftFMTBcd, 0},
                      {"col6", ftFMTBcd, 0},
                      {"col7", ftFMTBcd, 0}},
                     "jet4-numeric");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], (QVariantList{"some data", "1", "0", "0", "4", "-1", "1"}));
    }
    {
        TConnection connection;
        OpenAccess(connection, Fixture("ace-currency.accdb"));
        auto rows = ReadAll(connection, "select * from [Table]", fields);
        ExpectFields(fields, {{"ID", ftInteger, 0}, {"Money", ftCurrency, 19}}, "ace-currency");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], (QVariantList{1LL, "42.0000"}));
    }
    {
        TConnection connection;
        OpenAccess(connection, Fixture("jet4-password.mdb"));
        auto rows = ReadAll(connection, "select * from Table1", fields);
        ExpectFields(fields, {{"ID", ftInteger, 0}, {"Data", ftString, 255}}, "jet4-password");
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[2], (QVariantList{3LL, "Three"}));
    }
}

TEST(OdbcAccess, ReadOnlyDriverRefusesWritesWithItsOwnText)
{
    VNH_REQUIRE_ACCESS_FIXTURES();
    TConnection connection;
    OpenAccess(connection, Fixture("jet3-test.mdb"));
    if (connection.HasFeature(dfWritable))
        GTEST_SKIP() << "a writable Access driver is installed";
    try {
        connection.ExecSQL("insert into Table3 (a, b) values (1, 'x')");
        FAIL() << "the read-only driver accepted a write";
    } catch (const EDatabaseError& e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_FALSE(e.Message().contains("ohne Text")) << e.Message().toStdString();
    }
    // The session stays usable after the refusal.
    std::vector<TFieldDef> fields;
    EXPECT_EQ(ReadAll(connection, "select * from Table1", fields).size(), 2u);
}

TEST(OdbcAccess, MissingFileNamesThePath)
{
    TConnection connection;
    const QString path = QStringLiteral("/nonexistent/vnh-%1.mdb").arg(QCoreApplication::applicationPid());
    try {
        OpenAccess(connection, path);
        FAIL() << "opened a missing file";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.Message().toStdString();
    }
    EXPECT_FALSE(connection.Connected());
}
