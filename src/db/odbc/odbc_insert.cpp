// Writing one row with bound parameters, each value in the C type of its field's canonical form.

#include "db/db_error.h"
#include "db/odbc/odbc_driver.h"

#include <cmath>
#include <deque>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

namespace {

/// Storage for one parameter; lives until the statement has run.
struct TParam {
    SQLSMALLINT CType = SQL_C_WCHAR;
    SQLSMALLINT SqlType = SQL_WVARCHAR;
    SQLULEN ColumnSize = 1;
    SQLSMALLINT Decimals = 0;
    SQLLEN Indicator = 0;
    QString Text;
    QByteArray Bytes;
    SQLINTEGER Int = 0;
    SQLBIGINT BigInt = 0;
    SQLDOUBLE Double = 0;
    unsigned char Bit = 0;
    SQL_DATE_STRUCT Date = {};
    SQL_TIME_STRUCT Time = {};
    SQL_TIMESTAMP_STRUCT Timestamp = {};

    SQLPOINTER Data()
    {
        switch (CType) {
        case SQL_C_WCHAR:
            return Text.data();
        case SQL_C_CHAR:
        case SQL_C_BINARY:
            return Bytes.data();
        case SQL_C_SLONG:
            return &Int;
        case SQL_C_SBIGINT:
            return &BigInt;
        case SQL_C_DOUBLE:
            return &Double;
        case SQL_C_BIT:
            return &Bit;
        case SQL_C_TYPE_DATE:
            return &Date;
        case SQL_C_TYPE_TIME:
            return &Time;
        default:
            return &Timestamp;
        }
    }
    SQLLEN BufferLength() const
    {
        switch (CType) {
        case SQL_C_WCHAR:
            return SQLLEN(Text.size() * sizeof(SQLWCHAR));
        case SQL_C_CHAR:
        case SQL_C_BINARY:
            return SQLLEN(Bytes.size());
        default:
            return 0;
        }
    }
};

void SetText(TParam& param, const QString& text, SQLSMALLINT sqlType)
{
    param.CType = SQL_C_WCHAR;
    param.Text = text;
    param.SqlType = sqlType;
    // Long text goes as a long type: drivers cap the ordinary ones (4000 characters on SQL Server).
    if (text.size() > 4000 && sqlType != SQL_WLONGVARCHAR && sqlType != SQL_GUID)
        param.SqlType = SQL_WLONGVARCHAR;
    param.ColumnSize = SQLULEN(qMax<qsizetype>(1, text.size()));
    param.Indicator = SQLLEN(text.size() * sizeof(SQLWCHAR));
}

void SetDecimal(TParam& param, const QString& text)
{
    param.CType = SQL_C_CHAR;
    param.SqlType = SQL_DECIMAL;
    param.Bytes = text.toLatin1();
    qsizetype point = text.indexOf(u'.');
    int digits = 0;
    for (QChar c : text)
        digits += c.isDigit() ? 1 : 0;
    param.Decimals = SQLSMALLINT(point < 0 ? 0 : text.size() - point - 1);
    param.ColumnSize = SQLULEN(qMax(1, digits));
    param.Indicator = SQLLEN(param.Bytes.size());
}

void SetDateTime(TParam& param, TFieldType type, TDateTime value)
{
    QDateTime dateTime = DateTimeToQDateTime(value);
    QDate date = dateTime.date();
    QTime time = dateTime.time();
    if (type == ftDate) {
        param.CType = SQL_C_TYPE_DATE;
        param.SqlType = SQL_TYPE_DATE;
        param.Date = {SQLSMALLINT(date.year()), SQLUSMALLINT(date.month()), SQLUSMALLINT(date.day())};
        param.ColumnSize = 10;
    } else if (type == ftTime) {
        param.CType = SQL_C_TYPE_TIME;
        param.SqlType = SQL_TYPE_TIME;
        param.Time = {SQLUSMALLINT(time.hour()), SQLUSMALLINT(time.minute()), SQLUSMALLINT(time.second())};
        param.ColumnSize = 8;
    } else {
        param.CType = SQL_C_TYPE_TIMESTAMP;
        param.SqlType = SQL_TYPE_TIMESTAMP;
        param.Timestamp = {SQLSMALLINT(date.year()),           SQLUSMALLINT(date.month()),
                           SQLUSMALLINT(date.day()),           SQLUSMALLINT(time.hour()),
                           SQLUSMALLINT(time.minute()),        SQLUSMALLINT(time.second()),
                           SQLUINTEGER(time.msec()) * 1000000u};
        // Milliseconds: the precision every server's date-time type accepts.
        param.ColumnSize = 23;
        param.Decimals = 3;
    }
    param.Indicator = 0;
}

TParam ParamFor(const TField& field, TOdbcDbms dbms)
{
    TParam param;
    const TFieldType type = field.DataType();
    const QVariant value = field.AsVariant();
    const bool isNull = field.IsNull();

    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftByte:
    case ftShortint:
        param.CType = SQL_C_SLONG;
        param.SqlType = SQL_INTEGER;
        param.ColumnSize = 10;
        param.Int = isNull ? 0 : SQLINTEGER(value.toLongLong());
        break;
    case ftLargeint:
    case ftLongWord:
        param.CType = SQL_C_SBIGINT;
        param.SqlType = SQL_BIGINT;
        param.ColumnSize = 19;
        param.BigInt = isNull ? 0 : SQLBIGINT(value.toLongLong());
        break;
    case ftFloat:
    case ftSingle:
    case ftExtended:
        param.CType = SQL_C_DOUBLE;
        param.SqlType = SQL_DOUBLE;
        param.ColumnSize = 15;
        param.Double = isNull ? 0 : value.toDouble();
        break;
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd:
        SetDecimal(param, isNull ? QStringLiteral("0") : value.toString());
        break;
    case ftBoolean:
        param.CType = SQL_C_BIT;
        param.SqlType = SQL_BIT;
        param.Bit = !isNull && value.toBool() ? 1 : 0;
        break;
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp:
        SetDateTime(param, type, isNull ? 0.0 : value.toDouble());
        break;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
        param.CType = SQL_C_BINARY;
        param.Bytes = isNull ? QByteArray() : value.toByteArray();
        param.SqlType = (type == ftBlob || type == ftGraphic || param.Bytes.size() > 8000) ? SQL_LONGVARBINARY
                                                                                           : SQL_VARBINARY;
        param.ColumnSize = SQLULEN(qMax<qsizetype>(1, param.Bytes.size()));
        param.Indicator = SQLLEN(param.Bytes.size());
        break;
    case ftGuid:
        // Servers with a GUID type take it by that type; the others store GUIDs as text.
        SetText(param, isNull ? QString() : value.toString(),
                (dbms == odSqlServer || dbms == odPostgres || dbms == odAccess) ? SQL_GUID : SQL_WVARCHAR);
        if (param.SqlType == SQL_GUID)
            param.ColumnSize = 36;
        break;
    case ftMemo:
    case ftWideMemo:
        SetText(param, isNull ? QString() : value.toString(), SQL_WLONGVARCHAR);
        break;
    case ftFixedChar:
    case ftFixedWideChar:
        SetText(param, isNull ? QString() : value.toString(), SQL_WCHAR);
        break;
    default:
        SetText(param, isNull ? QString() : value.toString(), SQL_WVARCHAR);
        break;
    }
    if (isNull)
        param.Indicator = SQL_NULL_DATA;
    return param;
}

} // namespace

void TOdbcDriver::InsertRow(const QString& table, const std::vector<const TField*>& fields)
{
    QString columns;
    QString marks;
    for (const TField* field : fields) {
        QString name = field->FieldName();
        if (!FQuote.isEmpty())
            name = FQuote + name.replace(FQuote, FQuote + FQuote) + FQuote;
        columns += (columns.isEmpty() ? QString() : QStringLiteral(", ")) + name;
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    QString sql = fields.empty()
                      ? (FDbms == odMySql ? QStringLiteral("insert into %1 () values ()")
                                          : QStringLiteral("insert into %1 default values"))
                            .arg(table)
                      : QStringLiteral("insert into %1 (%2) values (%3)").arg(table, columns, marks);

    TOdbcHandlePtr statement = NewStatement();
    std::deque<TParam> params; // a deque keeps the addresses the driver holds
    for (size_t i = 0; i < fields.size(); ++i) {
        TParam& param = params.emplace_back(ParamFor(*fields[i], FDbms));
        SQLRETURN rc = SQLBindParameter(statement.get(), SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, param.CType,
                                        param.SqlType, param.ColumnSize, param.Decimals, param.Data(),
                                        param.BufferLength(), &param.Indicator);
        if (!SQL_SUCCEEDED(rc))
            ThrowOdbcError(SQL_HANDLE_STMT, statement.get(), QStringLiteral("SQLBindParameter"), rc);
    }
    SQLRETURN rc = SQLExecDirectW(statement.get(), reinterpret_cast<SQLWCHAR*>(sql.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        ThrowOdbcError(SQL_HANDLE_STMT, statement.get(), QStringLiteral("SQLExecDirect"), rc);
}
