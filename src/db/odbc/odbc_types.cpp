#include "db/odbc/odbc_types.h"

#include <QRegularExpression>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

namespace {

// SQL Server's time(n), which its drivers report with a type of their own.
constexpr int kSqlServerTime2 = -154;

// Text longer than this (or of unknown length) is a memo.
constexpr qint64 kMaxStringSize = 65535 / 2;

bool IsMoneyTypeName(const QString& typeName)
{
    static const QStringList names = {QStringLiteral("MONEY"), QStringLiteral("SMALLMONEY"),
                                      QStringLiteral("CURRENCY")};
    return names.contains(typeName.trimmed(), Qt::CaseInsensitive);
}

TOdbcColumn TextColumn(TFieldType type, qint64 size)
{
    TOdbcColumn column;
    column.Get = gkText;
    bool memo = type == ftMemo || type == ftWideMemo || size <= 0 || size > kMaxStringSize;
    if (memo) {
        column.Def.DataType =
            (type == ftString || type == ftFixedChar || type == ftMemo) ? ftMemo : ftWideMemo;
        column.Def.Size = 0;
    } else {
        column.Def.DataType = type;
        column.Def.Size = int(size);
    }
    return column;
}

TOdbcColumn Column(TFieldType type, TOdbcGetKind get, int size = 0, int scale = 0)
{
    TOdbcColumn column;
    column.Def.DataType = type;
    column.Def.Size = size;
    column.Def.Scale = scale;
    column.Get = get;
    return column;
}

TOdbcColumn ExactColumn(const TOdbcColumnInfo& info)
{
    if (IsMoneyTypeName(info.TypeName))
        return Column(ftCurrency, gkDecimal, 19, 4);
    int precision = int(qBound(qint64(0), info.Size, qint64(1000)));
    int scale = qMax(0, info.Decimals);
    TFieldType type = (precision > 0 && precision <= 18 && scale <= 4) ? ftBCD : ftFMTBcd;
    return Column(type, gkDecimal, precision, scale);
}

// MDBTools reports Access types oddly; its type names are reliable.
bool MdbToolsFixUp(const TOdbcColumnInfo& info, bool wideAccessFile, TOdbcColumn& column)
{
    const QString name = info.TypeName.trimmed().toUpper();
    if (name == QStringLiteral("TEXT")) {
        qint64 size = wideAccessFile ? info.Size / 2 : info.Size;
        column = TextColumn(ftString, size);
    } else if (name == QStringLiteral("MEMO")) {
        column = TextColumn(ftMemo, 0);
    } else if (name == QStringLiteral("NUMERIC")) {
        // The reported size is the storage size; the precision is not reported at all.
        column = Column(ftFMTBcd, gkDecimal, 0, 0);
    } else if (name == QStringLiteral("REPID")) {
        column = Column(ftGuid, gkGuid, 38);
    } else if (name == QStringLiteral("MONEY")) {
        column = Column(ftCurrency, gkDecimal, 19, 4);
    } else {
        return false;
    }
    return true;
}

TOdbcColumn GenericColumn(const TOdbcColumnInfo& info)
{
    switch (info.SqlType) {
    case SQL_CHAR:
        return TextColumn(ftFixedChar, info.Size);
    case SQL_VARCHAR:
        return TextColumn(ftString, info.Size);
    case SQL_LONGVARCHAR:
        return TextColumn(ftMemo, 0);
    case SQL_WCHAR:
        return TextColumn(ftFixedWideChar, info.Size);
    case SQL_WVARCHAR:
        return TextColumn(ftWideString, info.Size);
    case SQL_WLONGVARCHAR:
        return TextColumn(ftWideMemo, 0);
    case SQL_TINYINT:
        return Column(info.Unsigned ? ftByte : ftShortint, gkInteger);
    case SQL_SMALLINT:
        return Column(info.Unsigned ? ftWord : ftSmallint, gkInteger);
    case SQL_INTEGER:
        if (info.AutoIncrement)
            return Column(ftAutoInc, gkInteger);
        return info.Unsigned ? Column(ftLongWord, gkBigInt) : Column(ftInteger, gkInteger);
    case SQL_BIGINT:
        return Column(ftLargeint, gkBigInt);
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Column(ftFloat, gkDouble);
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return ExactColumn(info);
    case SQL_BIT:
        return Column(ftBoolean, gkBit);
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return Column(ftDate, gkDate);
    case SQL_TYPE_TIME:
    case kSqlServerTime2:
    case SQL_TIME:
        return Column(ftTime, gkTime);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return Column(ftDateTime, gkTimestamp);
    case SQL_GUID:
        return Column(ftGuid, gkGuid, 38);
    case SQL_BINARY:
        return Column(ftBytes, gkBinary, int(qBound(qint64(0), info.Size, qint64(INT_MAX))));
    case SQL_VARBINARY:
        if (info.Size <= 0 || info.Size > 65535)
            return Column(ftBlob, gkBinary);
        return Column(ftVarBytes, gkBinary, int(info.Size));
    case SQL_LONGVARBINARY:
        return Column(ftBlob, gkBinary);
    default:
        // Types without a counterpart (XML, intervals, driver-specific ones) are read as text.
        return TextColumn(ftWideMemo, 0);
    }
}

} // namespace

TOdbcDbms OdbcDbmsFromName(const QString& dbmsName)
{
    const QString name = dbmsName.toUpper();
    if (name.contains(QStringLiteral("MDBTOOLS")))
        return odMdbTools;
    if (name.contains(QStringLiteral("ACCESS")))
        return odAccess;
    if (name.contains(QStringLiteral("SQL SERVER")))
        return odSqlServer;
    if (name.contains(QStringLiteral("ORACLE")))
        return odOracle;
    if (name.contains(QStringLiteral("MARIADB")) || name.contains(QStringLiteral("MYSQL")))
        return odMySql;
    if (name.contains(QStringLiteral("POSTGRES")))
        return odPostgres;
    return odOther;
}

TOdbcColumn OdbcColumnFor(const TOdbcColumnInfo& info, TOdbcDbms dbms, bool wideAccessFile)
{
    TOdbcColumn column;
    if (!(dbms == odMdbTools && MdbToolsFixUp(info, wideAccessFile, column)))
        column = GenericColumn(info);
    // Oracle has no integer types: its integers are NUMBER(p) columns.
    if (dbms == odOracle && column.Get == gkDecimal && column.Def.Scale == 0 && column.Def.Size > 0 &&
        column.Def.Size <= 18)
        column = column.Def.Size <= 9 ? Column(ftInteger, gkInteger) : Column(ftLargeint, gkBigInt);
    column.Def.Name = info.Name;
    // MDBTools marks almost every column as NOT NULL, so its answer says nothing.
    column.Def.Required = dbms != odMdbTools && !info.Nullable;
    column.Def.HasDefault = info.AutoIncrement;
    return column;
}

QString CanonicalDecimal(QString text)
{
    text = text.trimmed();
    text.replace(u',', u'.');
    if (text.startsWith(u'+'))
        text.remove(0, 1);
    if (text.startsWith(u'.'))
        text.prepend(u'0');
    else if (text.startsWith(QStringLiteral("-.")))
        text.insert(1, u'0');
    return text;
}

QString CanonicalGuid(const QString& text)
{
    static const QRegularExpression guid(QStringLiteral(
        "^\\{?([0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12})\\}?$"));
    QRegularExpressionMatch match = guid.match(text.trimmed());
    if (!match.hasMatch())
        return text;
    return u'{' + match.captured(1).toUpper() + u'}';
}
