#include "db/format_settings.h"
#include "transfer/db_utils.h"
#include "transfer/get_db_format.h"

#include <gtest/gtest.h>

namespace {

struct TLiteralCase {
    TDBProviderType Type;
    const char* DateOnly;
    const char* WithTime;
};

// 2024-01-01 and 2024-01-01 13:05:09.
const TLiteralCase kLiteralCases[] = {
    {dbpAccess, "45292", "45292.5452430556"},
    {dbpSQLite, "'2024-01-01'", "'2024-01-01 13:05:09'"},
    {dbpMSSQL, "'20240101'", "'20240101 13:05:09'"},
    {dbpFirebird, "'2024-01-01'", "'2024-01-01'"},
    {dbpOracle, "'2024-01-01'", "'2024-01-01 13:05:09'"},
    {dbpMySQL, "'2024-01-01'", "'2024-01-01 13:05:09'"},
    {dbpNexusDB, "'2024-01-01 00:00:00'", "'2024-01-01 13:05:09'"},
    {dbpPostgreSQL, "'2024-01-01'", "'2024-01-01 13:05:09'"},
};

class DateTimeLiteral : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSaved = FormatSettings();
        SetFormatSettings({u',', u':'});
    }
    void TearDown() override { SetFormatSettings(FSaved); }
    TFormatSettings FSaved;
};

} // namespace

TEST_F(DateTimeLiteral, FollowsEachSystemsPattern)
{
    TDateTime date = EncodeDate(2024, 1, 1);
    TDateTime dateTime = date + EncodeTime(13, 5, 9);
    for (const TLiteralCase& c : kLiteralCases) {
        EXPECT_EQ(DateTimeToSQLLiteral(c.Type, date), QLatin1String(c.DateOnly)) << c.Type;
        EXPECT_EQ(DateTimeToSQLLiteral(c.Type, dateTime), QLatin1String(c.WithTime)) << c.Type;
    }
}

TEST_F(DateTimeLiteral, AccessWritesSerialNumbersWithAPoint)
{
    EXPECT_EQ(DateTimeToSQLLiteral(dbpAccess, EncodeDate(2024, 1, 1) + EncodeTime(12, 0, 0)), "45292.5");
    EXPECT_EQ(DateTimeToSQLLiteral(dbpAccess, EncodeDate(1899, 12, 30)), "0");
    EXPECT_EQ(DateTimeToSQLLiteral(dbpAccess, EncodeDate(1850, 5, 5)), "-18136");
}

TEST(DBFormat, ProviderNamesGiveFormatAndType)
{
    struct {
        const char* Provider;
        const char* Format;
        TDBProviderType Type;
    } const cases[] = {
        {"Access", "MSACCESS", dbpAccess},  {"SQLite", "SQLITE", dbpSQLite},
        {"sql server", "MSSQL", dbpMSSQL},  {"InterBase", "FIREBIRD", dbpFirebird},
        {"ORACLE", "ORACLE", dbpOracle},    {"MySQL", "MYSQL", dbpMySQL},
        {"NexusDB", "NEXUSDB", dbpNexusDB}, {"PostgreSQL", "POSTGRESQL", dbpPostgreSQL},
        {"Firebird", "", dbpUndefined},     {"", "", dbpUndefined},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DBFormatOfProvider(QLatin1String(c.Provider)), QLatin1String(c.Format)) << c.Provider;
        EXPECT_EQ(DBProviderTypeOfFormat(DBFormatOfProvider(QLatin1String(c.Provider))), c.Type)
            << c.Provider;
    }
    // Format words compare exactly.
    EXPECT_EQ(DBProviderTypeOfFormat("mssql"), dbpUndefined);
}
