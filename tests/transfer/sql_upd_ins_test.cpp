#include "db/connection.h"
#include "db/field.h"
#include "db/format_settings.h"
#include "transfer/get_db_format.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/transaction_handler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const char* const kProviderNames[] = {"Access", "SQLite", "SQL Server", "InterBase",
                                      "Oracle", "MySQL",  "NexusDB",    "PostgreSQL"};

TField MakeField(const QString& name, TFieldType type, const QVariant& value, int size = 0)
{
    TFieldDef def;
    def.Name = name;
    def.DataType = type;
    def.Size = size;
    TField field(def);
    field.LoadValue(value);
    return field;
}

class SQLUpdInsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSaved = FormatSettings();
        SetFormatSettings({u',', u':'});
    }
    void TearDown() override { SetFormatSettings(FSaved); }

    /// A builder whose target is the system of the provider name (the connection is never opened).
    TSQLUpdIns& Builder(TDBProviderType type)
    {
        FConnection.ProviderName = QLatin1String(kProviderNames[type]);
        FBuilder.SetConnection(FConnection);
        return FBuilder;
    }

    TFormatSettings FSaved;
    TConnection FConnection;
    TSQLUpdIns FBuilder;
};

struct TValueCase {
    const char* Name;
    TFieldType Type;
    QVariant Value;
    TDBProviderType Target;
    QString Literal; // "" = no literal (NULL)
};

QByteArray ZeroBytes()
{
    return QByteArray("\x00\xAB\x10", 3);
}

} // namespace

TEST_F(SQLUpdInsTest, WritesEachTypeAsALiteralOfTheTarget)
{
    const QVariant null;
    const TValueCase cases[] = {
        {"apostrophe doubled", ftString, QString("O'Brien"), dbpPostgreSQL, "'O''Brien'"},
        {"apostrophe doubled (Access)", ftWideMemo, QString("O'Brien"), dbpAccess, "'O''Brien'"},
        {"backslash kept", ftString, QString("C:\\tmp"), dbpPostgreSQL, "'C:\\tmp'"},
        {"backslash escaped for MySQL", ftString, QString("C:\\tmp'"), dbpMySQL, "'C:\\\\tmp'''"},
        {"national text for SQL Server", ftWideString, QString("Grüße"), dbpMSSQL, "N'Grüße'"},
        {"plain ASCII for SQL Server", ftWideString, QString("Meier"), dbpMSSQL, "'Meier'"},
        {"umlauts as they are", ftMemo, QString("Grüße"), dbpOracle, "'Grüße'"},
        {"empty text", ftString, QString(""), dbpPostgreSQL, "''"},
        {"NULL text", ftString, null, dbpPostgreSQL, "''"},
        {"zero is a value", ftInteger, qlonglong(0), dbpPostgreSQL, "0"},
        {"NULL integer", ftInteger, null, dbpPostgreSQL, ""},
        {"64-bit maximum", ftLargeint, std::numeric_limits<qlonglong>::max(), dbpMSSQL,
         "9223372036854775807"},
        {"64-bit minimum", ftLargeint, std::numeric_limits<qlonglong>::min(), dbpSQLite,
         "-9223372036854775808"},
        {"double needing 17 digits", ftFloat, 0.1 + 0.2, dbpAccess, "0.30000000000000004"},
        {"German float", ftFloat, 3.25, dbpPostgreSQL, "3.25"},
        {"large double", ftFloat, 1.7976931348623157e308, dbpOracle, "1.7976931348623157e+308"},
        {"SQLite: exact binary fraction", ftFloat, 0.1 + 0.2, dbpSQLite,
         "(CAST(1351079888211149 AS REAL)/4503599627370496)"},
        {"SQLite: small integral double", ftFloat, -1e15, dbpSQLite, "-1e+15"},
        {"SQLite: subnormal", ftFloat, 5e-324, dbpSQLite,
         "(CAST(1 AS REAL)/4611686018427387904/4611686018427387904/4611686018427387904/4611686018427387904"
         "/4611686018427387904/4611686018427387904/4611686018427387904/4611686018427387904"
         "/4611686018427387904/4611686018427387904/4611686018427387904/4611686018427387904"
         "/4611686018427387904/4611686018427387904/4611686018427387904/4611686018427387904"
         "/4611686018427387904/1048576)"},
        {"NaN has no literal", ftFloat, std::nan(""), dbpPostgreSQL, ""},
        {"NULL float", ftFloat, null, dbpPostgreSQL, ""},
        {"exact numeric", ftFMTBcd, QString("-123456789012345678901234567890.12"), dbpPostgreSQL,
         "-123456789012345678901234567890.12"},
        {"currency", ftCurrency, QString("12.3400"), dbpMSSQL, "12.3400"},
        {"malformed exact numeric stays quoted", ftBCD, QString("1);drop"), dbpMSSQL, "'1);drop'"},
        {"boolean true", ftBoolean, true, dbpPostgreSQL, "'1'"},
        {"boolean false", ftBoolean, false, dbpAccess, "'0'"},
        {"NULL boolean", ftBoolean, null, dbpAccess, ""},
        {"GUID", ftGuid, QString("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), dbpMSSQL,
         "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
        {"binary, PostgreSQL", ftBlob, ZeroBytes(), dbpPostgreSQL, "'\\x00ab10'"},
        {"binary, SQL Server", ftVarBytes, ZeroBytes(), dbpMSSQL, "0x00AB10"},
        {"binary, Access", ftBytes, ZeroBytes(), dbpAccess, "0x00AB10"},
        {"binary, MySQL", ftBlob, ZeroBytes(), dbpMySQL, "X'00AB10'"},
        {"binary, SQLite", ftGraphic, ZeroBytes(), dbpSQLite, "X'00AB10'"},
        {"binary, Oracle", ftBlob, ZeroBytes(), dbpOracle, "hextoraw('00AB10')"},
        {"binary, Firebird", ftBlob, ZeroBytes(), dbpFirebird, "X'00AB10'"},
        {"binary, NexusDB has no literal", ftBlob, ZeroBytes(), dbpNexusDB, ""},
        {"time of day", ftTime, EncodeTime(13, 5, 9), dbpPostgreSQL, "'13:05:09'"},
        {"time of day, SQL Server", ftTime, EncodeTime(13, 5, 9), dbpMSSQL, "'13:05:09'"},
        {"time of day, Access", ftTime, EncodeTime(12, 0, 0), dbpAccess, "0.5"},
        {"time of day, Oracle", ftTime, EncodeTime(13, 5, 9), dbpOracle, "'1899-12-30 13:05:09'"},
        {"NULL time", ftTime, null, dbpPostgreSQL, ""},
        {"date", ftDate, EncodeDate(2024, 1, 1), dbpMSSQL, "'20240101'"},
        {"date before the lower limit", ftDateTime, EncodeDate(1850, 5, 5) + 0.5, dbpPostgreSQL,
         "'1900-01-01'"},
        {"NULL date is the lower limit", ftDate, null, dbpSQLite, "'1900-01-01'"},
        {"time stamp", ftTimeStamp, EncodeDate(2024, 1, 1) + EncodeTime(13, 5, 9), dbpPostgreSQL,
         "'2024-01-01 13:05:09'"},
        {"unknown type", ftUnknown, QString("x"), dbpPostgreSQL, ""},
    };
    for (const TValueCase& c : cases) {
        TField field = MakeField("F", c.Type, c.Value);
        EXPECT_EQ(Builder(c.Target).FieldValueToSQL(field), c.Literal) << c.Name;
        // The batched transfer appends the same value list text to the row's texts.
        QString row = QStringLiteral("'x',");
        Builder(c.Target).AppendValueListText(field, row);
        EXPECT_EQ(row, QStringLiteral("'x',") + TSQLUpdIns::ValueListText(c.Literal)) << c.Name;
    }
}

TEST_F(SQLUpdInsTest, DatesAfterTheUpperLimitBecomeTheLimitDate)
{
    TSQLUpdIns& builder = Builder(dbpPostgreSQL);
    EXPECT_EQ(builder.MinDate(), EncodeDate(1900, 1, 1));
    EXPECT_EQ(builder.MaxDate(), Today() + 3650);
    QString upper = QStringLiteral("'%1'").arg(DateTimeToQDate(Today() + 3650).toString("yyyy-MM-dd"));
    TField future = MakeField("D", ftDateTime, Today() + 20 * 365.25 + 0.75);
    EXPECT_EQ(builder.FieldValueToSQL(future), upper);
}

TEST_F(SQLUpdInsTest, RichTextIsConvertedOnlyWhenEnabled)
{
    TSQLUpdIns& builder = Builder(dbpPostgreSQL);
    const QString rtf =
        QStringLiteral("{\\RTF1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Meier's\\par Gr\\'fc\\'dfe}");
    TField memo = MakeField("M", ftMemo, rtf);
    EXPECT_EQ(builder.FieldValueToSQL(memo), QStringLiteral("'") + QString(rtf).replace("'", "''") + u'\'');
    builder.SetRichEdit(true);
    EXPECT_EQ(builder.FieldValueToSQL(memo), QStringLiteral("'Meier''s\r\nGrüße'"));
    builder.SetRichEdit(false);
}

TEST_F(SQLUpdInsTest, DecimalSeparatorIsReplacedOnce)
{
    EXPECT_EQ(ReplaceDecimalSeparator("3,25", u'.'), "3.25");
    EXPECT_EQ(ReplaceDecimalSeparator("1,000,5", u'.'), "1,000.5");
    EXPECT_EQ(ReplaceDecimalSeparator("325", u'.'), "325");
    EXPECT_EQ(ReplaceDecimalSeparator("3,25", u','), "3,25");
}

TEST_F(SQLUpdInsTest, StatementsOfTheExampleRow)
{
    const TField id = MakeField("ID", ftInteger, qlonglong(5));
    const TField name = MakeField("Name", ftString, QString("Meier"));
    const TField nullName = MakeField("Name", ftString, QVariant());
    const TField datum = MakeField("Datum", ftDateTime, EncodeDate(2024, 1, 1) + EncodeTime(13, 5, 9));
    struct {
        TDBProviderType Target;
        const char* Statement;
    } const cases[] = {
        {dbpMSSQL, "insert into T1 (ID,Name,Datum) values (5,'Meier','20240101 13:05:09')"},
        {dbpPostgreSQL, "insert into T1 (ID,Name,Datum) values (5,'Meier','2024-01-01 13:05:09')"},
        {dbpAccess, "insert into T1 ([ID],[Name],[Datum]) values (5,'Meier',45292.5452430556)"},
        {dbpFirebird, "insert into T1 (ID,Name,Datum) values (5,'Meier','2024-01-01')"},
    };
    for (const auto& c : cases) {
        TSQLUpdIns& builder = Builder(c.Target);
        builder.SetTableName("T1");
        builder.Reset();
        builder.AddInsField(id);
        builder.AddInsField(name);
        builder.AddInsField(datum);
        EXPECT_EQ(builder.InsertStatement(), QLatin1String(c.Statement)) << c.Target;
    }
    TSQLUpdIns& builder = Builder(dbpPostgreSQL);
    builder.Reset();
    builder.AddInsField(id);
    builder.AddInsField(nullName);
    builder.AddIns("Leer", "''");
    builder.AddIns("Zahl", "");
    EXPECT_EQ(builder.InsertStatement(), "insert into T1 (ID,Name,Leer,Zahl) values (5,NULL,NULL,NULL)");
}

TEST_F(SQLUpdInsTest, ExecuteWithoutFieldsSendsNothing)
{
    static TConnection unopened;
    TransactionHandler().SetConnection(unopened); // would fail with a message if anything ran
    TSQLUpdIns& builder = Builder(dbpPostgreSQL);
    builder.SetTableName("T1");
    builder.SetErrorMessage("old");
    EXPECT_FALSE(builder.Execute());
    EXPECT_EQ(builder.ErrorMessage(), "");
    EXPECT_EQ(builder.TableName(), "T1");
}

TEST(GetDBFormat, ReadsTheConnectionsProviderName)
{
    TConnection connection;
    connection.ProviderName = "sql server";
    EXPECT_EQ(GetDBFormat(connection), "MSSQL");
    EXPECT_EQ(GetDBProviderType(connection), dbpMSSQL);
    connection.ProviderName = "ODBC";
    EXPECT_EQ(GetDBFormat(connection), "");
    EXPECT_EQ(GetDBProviderType(connection), dbpUndefined);
}
