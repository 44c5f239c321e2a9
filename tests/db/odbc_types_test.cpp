// Field types from column descriptions of drivers that cannot run here (SQL Server, Oracle,
// Microsoft's Access driver); MDBTools and MariaDB are covered by the tests on real files and servers.

#include "db/odbc/odbc_types.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

TEST(OdbcTypes, FieldTypesFromColumnDescriptions)
{
    struct Case {
        const char* what;
        TOdbcDbms dbms;
        TOdbcColumnInfo info; // name, SQL type, size, decimals, nullable, unsigned, auto-increment, type name
        TFieldType type;
        int size;
        int scale;
    };
    const Case cases[] = {
        {"nvarchar(50)",
         odSqlServer,
         {"c", SQL_WVARCHAR, 50, 0, true, false, false, "nvarchar"},
         ftWideString,
         50,
         0},
        {"nvarchar(max)",
         odSqlServer,
         {"c", SQL_WVARCHAR, 0, 0, true, false, false, "nvarchar"},
         ftWideMemo,
         0,
         0},
        {"ntext",
         odSqlServer,
         {"c", SQL_WLONGVARCHAR, 1073741823, 0, true, false, false, "ntext"},
         ftWideMemo,
         0,
         0},
        {"char(10)", odSqlServer, {"c", SQL_CHAR, 10, 0, true, false, false, "char"}, ftFixedChar, 10, 0},
        {"money", odSqlServer, {"c", SQL_DECIMAL, 19, 4, true, false, false, "money"}, ftCurrency, 19, 4},
        {"decimal(10,2)",
         odSqlServer,
         {"c", SQL_DECIMAL, 10, 2, true, false, false, "decimal"},
         ftBCD,
         10,
         2},
        {"decimal(30,10)",
         odSqlServer,
         {"c", SQL_NUMERIC, 30, 10, true, false, false, "numeric"},
         ftFMTBcd,
         30,
         10},
        {"tinyint", odSqlServer, {"c", SQL_TINYINT, 3, 0, true, true, false, "tinyint"}, ftByte, 0, 0},
        {"identity",
         odSqlServer,
         {"c", SQL_INTEGER, 10, 0, false, false, true, "int identity"},
         ftAutoInc,
         0,
         0},
        {"time(7)", odSqlServer, {"c", -154, 16, 7, true, false, false, "time"}, ftTime, 0, 0},
        {"uniqueidentifier",
         odSqlServer,
         {"c", SQL_GUID, 36, 0, true, false, false, "uniqueidentifier"},
         ftGuid,
         38,
         0},
        {"varbinary(max)",
         odSqlServer,
         {"c", SQL_VARBINARY, 0, 0, true, false, false, "varbinary"},
         ftBlob,
         0,
         0},
        {"xml", odSqlServer, {"c", -152, 0, 0, true, false, false, "xml"}, ftWideMemo, 0, 0},
        {"Oracle NUMBER(9)",
         odOracle,
         {"C", SQL_DECIMAL, 9, 0, true, false, false, "NUMBER"},
         ftInteger,
         0,
         0},
        {"Oracle NUMBER(12)",
         odOracle,
         {"C", SQL_DECIMAL, 12, 0, true, false, false, "NUMBER"},
         ftLargeint,
         0,
         0},
        {"Oracle NUMBER(10,2)",
         odOracle,
         {"C", SQL_DECIMAL, 10, 2, true, false, false, "NUMBER"},
         ftBCD,
         10,
         2},
        {"Oracle DATE",
         odOracle,
         {"C", SQL_TYPE_TIMESTAMP, 19, 0, true, false, false, "DATE"},
         ftDateTime,
         0,
         0},
        {"Access CURRENCY",
         odAccess,
         {"c", SQL_NUMERIC, 19, 4, true, false, false, "CURRENCY"},
         ftCurrency,
         19,
         4},
        {"Access COUNTER",
         odAccess,
         {"c", SQL_INTEGER, 10, 0, false, false, true, "COUNTER"},
         ftAutoInc,
         0,
         0},
        {"Access LONGCHAR",
         odAccess,
         {"c", SQL_WLONGVARCHAR, 1073741823, 0, true, false, false, "LONGCHAR"},
         ftWideMemo,
         0,
         0},
        {"MDBTools Text(50), Jet 4",
         odMdbTools,
         {"c", SQL_VARCHAR, 100, 0, true, false, false, "TEXT"},
         ftString,
         50,
         0},
        {"MDBTools NUMERIC",
         odMdbTools,
         {"c", SQL_LONGVARCHAR, 17, 0, true, false, false, "NUMERIC"},
         ftFMTBcd,
         0,
         0},
        {"MDBTools REPID",
         odMdbTools,
         {"c", SQL_LONGVARCHAR, 16, 0, true, false, false, "REPID"},
         ftGuid,
         38,
         0},
    };
    for (const Case& c : cases) {
        TOdbcColumn column = OdbcColumnFor(c.info, c.dbms, true);
        EXPECT_EQ(FieldTypeName(column.Def.DataType), FieldTypeName(c.type)) << c.what;
        EXPECT_EQ(column.Def.Size, c.size) << c.what;
        EXPECT_EQ(column.Def.Scale, c.scale) << c.what;
    }
}

TEST(OdbcTypes, CanonicalDecimalAndGuidText)
{
    const std::pair<QString, QString> decimals[] = {
        {".5000", "0.5000"}, {"-.5", "-0.5"}, {"+12.30", "12.30"}, {" 3,5 ", "3.5"}, {"-1", "-1"}};
    for (const auto& [in, out] : decimals)
        EXPECT_EQ(CanonicalDecimal(in), out) << in.toStdString();
    EXPECT_EQ(CanonicalGuid("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"),
              "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");
    EXPECT_EQ(CanonicalGuid("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}"),
              "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");
    EXPECT_EQ(CanonicalGuid("not a guid"), "not a guid");
}
