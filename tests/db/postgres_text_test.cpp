// The provider's text work that needs no server: names, connection strings, value forms.

#include "db/db_error.h"
#include "db/postgres/pg_conninfo.h"
#include "db/postgres/pg_sql.h"
#include "db/postgres/pg_values.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(PostgresNames, QuotedOnlyWhereNeeded)
{
    struct TCase {
        const char* Name;
        const char* Exact; // a name as the server reports it
        const char* Table; // a table name as the product's SQL writes it
    };
    const TCase cases[] = {
        {"vnh_msstamm", "vnh_msstamm", "vnh_msstamm"},
        {"VNH_MSStamm", "\"VNH_MSStamm\"", "VNH_MSStamm"},
        {"order", "\"order\"", "\"order\""},
        {"User", "\"User\"", "\"user\""},
        {"my col", "\"my col\"", "\"my col\""},
        {"a\"b", "\"a\"\"b\"", "\"a\"\"b\""},
        {"1st", "\"1st\"", "\"1st\""},
        {"größe", "größe", "größe"},
        {"sales.VNH_Tab", "\"sales.VNH_Tab\"", "sales.VNH_Tab"},
        {"\"Mixed\".t", "\"\"\"Mixed\"\".t\"", "\"Mixed\".t"},
    };
    for (const TCase& c : cases) {
        QString name = QString::fromUtf8(c.Name);
        EXPECT_EQ(PgExactName(name), QString::fromUtf8(c.Exact)) << c.Name;
        EXPECT_EQ(PgTableName(name), QString::fromUtf8(c.Table)) << c.Name;
    }
}

TEST(PostgresStatements, KeywordsAndSettings)
{
    EXPECT_EQ(PgLeadingKeyword(QStringLiteral("  -- note\n /* x */ (SELECT 1)")), QStringLiteral("select"));
    EXPECT_EQ(PgLeadingKeyword(QStringLiteral("With a as (select 1) select * from a")),
              QStringLiteral("with"));
    EXPECT_EQ(PgLeadingKeyword(QStringLiteral("show search_path")), QStringLiteral("show"));
    EXPECT_TRUE(IsPgSessionSetting(QStringLiteral("SET search_path TO x")));
    EXPECT_TRUE(IsPgSessionSetting(QStringLiteral("set session datestyle = 'ISO'")));
    EXPECT_FALSE(IsPgSessionSetting(QStringLiteral("SET LOCAL search_path TO x")));
    EXPECT_FALSE(IsPgSessionSetting(QStringLiteral("set transaction isolation level serializable")));
    EXPECT_FALSE(IsPgSessionSetting(QStringLiteral("SET CONSTRAINTS ALL DEFERRED")));
    EXPECT_FALSE(IsPgSessionSetting(QStringLiteral("select 'SET x'")));
    EXPECT_EQ(PgStripTrailingSemicolons(QStringLiteral("select 1 ; \n;")), QStringLiteral("select 1"));
}

TConnectParams Params()
{
    TConnectParams params;
    params.Server = QStringLiteral("db.example");
    params.Database = QStringLiteral("my db");
    params.Username = QStringLiteral("o'brien");
    params.Password = QStringLiteral("p\\w 'x'");
    return params;
}

TEST(PostgresConnInfo, QuotesValuesAndAppliesDefaults)
{
    std::string info = BuildPgConnInfo(Params());
    EXPECT_EQ(info, "host='db.example' port='5432' dbname='my db' user='o\\'brien' password='p\\\\w \\'x\\'' "
                    "connect_timeout='15' client_encoding='UTF8' fallback_application_name='VNH'");
}

TEST(PostgresConnInfo, Options)
{
    auto resolver = [](const QString& host, bool ipv6) {
        EXPECT_EQ(host, QStringLiteral("db.example"));
        return ipv6 ? QStringList{QStringLiteral("::1")}
                    : QStringList{QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.2")};
    };
    struct TCase {
        const char* Option;
        const char* Value;
        const char* Expected; // a part the connection string must hold
    };
    const TCase cases[] = {
        {"PostgreSQL.IPVersion", "ivIPv4", "host='db.example,db.example' hostaddr='10.0.0.1,10.0.0.2'"},
        {"postgresql.ipversion", "ivIPv6", "hostaddr='::1'"},
        {"PostgreSQL.SSLMode", "smDisable", "sslmode='disable'"},
        {"PostgreSQL.SSLMode", "smVerifyFull", "sslmode='verify-full'"},
        {"PostgreSQL.UseSSL", "False", "sslmode='disable'"},
        {"PostgreSQL.UseSSL", "True", "sslmode='require'"},
        {"PostgreSQL.ConnectionTimeout", "15", "connect_timeout='15'"},
        {"PostgreSQL.ConnectionTimeout", "3", "connect_timeout='3'"},
    };
    for (const TCase& c : cases) {
        TConnectParams params = Params();
        params.SpecificOptions[QString::fromLatin1(c.Option)] = QString::fromLatin1(c.Value);
        std::string info = BuildPgConnInfo(params, resolver);
        EXPECT_NE(info.find(c.Expected), std::string::npos) << c.Option << "=" << c.Value << ": " << info;
    }

    TConnectParams params = Params();
    params.Port = 6543;
    params.SpecificOptions[QStringLiteral("PostgreSQL.ConnectionTimeout")] = QStringLiteral("0");
    std::string info = BuildPgConnInfo(params);
    EXPECT_NE(info.find("port='6543'"), std::string::npos);
    EXPECT_EQ(info.find("connect_timeout"), std::string::npos);
    EXPECT_EQ(info.find("hostaddr"), std::string::npos);
}

TEST(PostgresConnInfo, UnknownHostFailsWithItsName)
{
    TConnectParams params = Params();
    params.Server = QStringLiteral("no-such-host.invalid");
    params.SpecificOptions[QStringLiteral("PostgreSQL.IPVersion")] = QStringLiteral("ivIPv4");
    try {
        BuildPgConnInfo(params);
        FAIL() << "no error";
    } catch (const EDatabaseError& error) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("no-such-host.invalid"))) << error.what();
        EXPECT_TRUE(error.ConnectionBroken());
    }
}

QVariant Value(TPgValueKind kind, const char* text, bool braces = false)
{
    return PgTextToValue(kind, text, static_cast<int>(std::strlen(text)), braces);
}

TEST(PostgresValues, TextFormsBecomeCanonicalValues)
{
    const double jan2024 = EncodeDate(2024, 1, 1);
    struct TCase {
        TPgValueKind Kind;
        const char* Text;
        QVariant Expected;
    };
    const TCase cases[] = {
        {pkInteger, "-9223372036854775808", QVariant(qlonglong(-9223372036854775807LL - 1))},
        {pkFloat, "1.5e-7", QVariant(1.5e-7)},
        {pkFloat, "-Infinity", QVariant(-INFINITY)},
        {pkNumeric, "12345678901234567890.123456", QVariant(QStringLiteral("12345678901234567890.123456"))},
        {pkNumeric, "NaN", QVariant(QStringLiteral("NaN"))},
        {pkBoolean, "t", QVariant(true)},
        {pkBoolean, "f", QVariant(false)},
        {pkDate, "2024-01-01", QVariant(jan2024)},
        {pkDate, "1899-12-29", QVariant(-1.0)},
        {pkDate, "infinity", QVariant(EncodeDate(9999, 12, 31))},
        {pkDate, "-infinity", QVariant(EncodeDate(1, 1, 1))},
        {pkDate, "0044-03-15 BC", QVariant(QDateToDateTime(QDate(-44, 3, 15)))},
        {pkDateTime, "2024-01-01 12:00:00", QVariant(jan2024 + 0.5)},
        {pkDateTime, "2024-01-01 06:00:00+05:30", QVariant(jan2024 + 0.25)},
        {pkDateTime, "1899-12-29 06:00:00", QVariant(-1.25)},
        {pkTime, "18:00:00", QVariant(0.75)},
        {pkTime, "00:00:00.5", QVariant(0.5 / 86400)},
        {pkBytea, "\\x00ff41",
         QVariant(QByteArray("\x00\xff"
                             "A",
                             3))},
        {pkBytea, "a\\000b", QVariant(QByteArray("a\0b", 3))},
        {pkUuid, "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11",
         QVariant(QStringLiteral("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"))},
        {pkText, "Grüße", QVariant(QStringLiteral("Grüße"))},
    };
    for (const TCase& c : cases) {
        QVariant value = Value(c.Kind, c.Text);
        if (c.Expected.typeId() == QMetaType::Double) {
            ASSERT_EQ(value.typeId(), QMetaType::Double) << c.Text;
            EXPECT_NEAR(value.toDouble(), c.Expected.toDouble(), 1e-9) << c.Text;
            if (std::isinf(c.Expected.toDouble())) {
                EXPECT_EQ(value.toDouble(), c.Expected.toDouble()) << c.Text;
            }
        } else {
            EXPECT_EQ(value, c.Expected) << c.Text;
        }
    }
    EXPECT_EQ(Value(pkUuid, "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11", true).toString(),
              QStringLiteral("{a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11}"));
    EXPECT_TRUE(std::isnan(Value(pkFloat, "NaN").toDouble()));
    // 24:00:00 stays within the day.
    EXPECT_LT(Value(pkTime, "24:00:00").toDouble(), 1.0);
    EXPECT_FALSE(Value(pkDate, "garbage").isValid());
}

TEST(PostgresValues, ParametersFromCanonicalValues)
{
    struct TCase {
        QVariant Value;
        TFieldType Type;
        const char* Expected;
    };
    const TCase cases[] = {
        {QVariant(true), ftBoolean, "t"},
        {QVariant(qlonglong(-42)), ftLargeint, "-42"},
        {QVariant(0.1), ftFloat, "0.1"},
        {QVariant(NAN), ftFloat, "NaN"},
        {QVariant(EncodeDate(2024, 1, 1) + 0.5), ftDateTime, "2024-01-01 12:00:00.000"},
        {QVariant(EncodeDate(2024, 1, 1)), ftDate, "2024-01-01"},
        {QVariant(0.75), ftTime, "18:00:00.000"},
        {QVariant(QStringLiteral("12.50")), ftFMTBcd, "12.50"},
        {QVariant(QStringLiteral("Grüße")), ftWideString, "Grüße"},
    };
    for (const TCase& c : cases) {
        TPgParam param = PgParamFromValue(c.Value, c.Type);
        EXPECT_FALSE(param.IsNull);
        EXPECT_FALSE(param.Binary);
        EXPECT_EQ(param.Data, QByteArray(c.Expected)) << c.Expected;
    }
    TPgParam bytes = PgParamFromValue(QVariant(QByteArray("\x00\x01", 2)), ftBlob);
    EXPECT_TRUE(bytes.Binary);
    EXPECT_EQ(bytes.Data.size(), 2);
    EXPECT_TRUE(PgParamFromValue(QVariant(), ftInteger).IsNull);
}

} // namespace
