#pragma once
// Field types from what an ODBC driver says about a result column, with the fix-ups some drivers
// need, and the C types the values are read with.

#include "db/field.h"

/// The database behind a connection, as far as its behaviour differs.
enum TOdbcDbms { odOther, odSqlServer, odOracle, odAccess, odMdbTools, odMySql, odPostgres };

/// The DBMS from SQLGetInfo(SQL_DBMS_NAME).
TOdbcDbms OdbcDbmsFromName(const QString& dbmsName);

/// A column as SQLDescribeCol and SQLColAttribute report it. SqlType holds the SQL_* code.
struct TOdbcColumnInfo {
    QString Name;
    int SqlType = 0;
    qint64 Size = 0;
    int Decimals = 0;
    bool Nullable = true;
    bool Unsigned = false;
    bool AutoIncrement = false;
    QString TypeName; // the driver's own name of the type
};

/// How a column's value is read.
enum TOdbcGetKind {
    gkText,
    gkInteger,
    gkBigInt,
    gkDouble,
    gkDecimal,
    gkBit,
    gkDate,
    gkTime,
    gkTimestamp,
    gkBinary,
    gkGuid
};

struct TOdbcColumn {
    TFieldDef Def;
    TOdbcGetKind Get = gkText;
};

/// `wideAccessFile`: the Access file stores text as UTF-16 (Jet 4 and later), which MDBTools reports
/// in bytes instead of characters.
TOdbcColumn OdbcColumnFor(const TOdbcColumnInfo& info, TOdbcDbms dbms, bool wideAccessFile);

/// Exact decimal text in canonical form: "." separator, a digit before it, no "+" sign.
QString CanonicalDecimal(QString text);
/// GUID text in canonical form: upper case in braces; other text is returned unchanged.
QString CanonicalGuid(const QString& text);
