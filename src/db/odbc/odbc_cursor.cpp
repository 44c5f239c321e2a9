#include "db/odbc/odbc_cursor.h"

#include "db/db_error.h"
#include "db/odbc/odbc_driver.h"

#include <QRegularExpression>
#include <cmath>

#ifdef _WIN32
#include <windows.h> // sql.h needs its types
#endif
#include <sql.h>
#include <sqlext.h>

namespace {

constexpr SQLLEN kChunkChars = 4096;

TOdbcColumnInfo DescribeColumn(SQLHSTMT statement, SQLUSMALLINT number)
{
    SQLWCHAR name[512] = {};
    SQLSMALLINT nameLength = 0, sqlType = 0, decimals = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeColW(statement, number, name, SQLSMALLINT(std::size(name)), &nameLength,
                                   &sqlType, &size, &decimals, &nullable);
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_STMT, statement, QStringLiteral("SQLDescribeCol"), rc);
    TOdbcColumnInfo info;
    info.Name = QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                   qBound(0, int(nameLength), int(std::size(name)) - 1));
    info.SqlType = sqlType;
    info.Size = size > SQLULEN(INT_MAX) ? 0 : qint64(size);
    info.Decimals = decimals;
    info.Nullable = nullable != SQL_NO_NULLS;

    // Optional details: a driver that cannot tell leaves the defaults.
    SQLLEN number_ = 0;
    if (SQL_SUCCEEDED(SQLColAttributeW(statement, number, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &number_)))
        info.Unsigned = number_ == SQL_TRUE;
    number_ = 0;
    if (SQL_SUCCEEDED(
            SQLColAttributeW(statement, number, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &number_)))
        info.AutoIncrement = number_ == SQL_TRUE;
    SQLWCHAR typeName[128] = {};
    SQLSMALLINT typeNameLength = 0;
    if (SQL_SUCCEEDED(SQLColAttributeW(statement, number, SQL_DESC_TYPE_NAME, typeName, sizeof(typeName),
                                       &typeNameLength, nullptr))) {
        int chars = qBound(0, int(typeNameLength) / int(sizeof(SQLWCHAR)), int(std::size(typeName)) - 1);
        info.TypeName = QString::fromUtf16(reinterpret_cast<const char16_t*>(typeName), chars);
    }
    return info;
}

TDateTime ToDateTime(const QDate& date, const QTime& time)
{
    double days = QDateToDateTime(date);
    double fraction = QTimeToDateTime(time);
    return days >= 0 ? days + fraction : days - fraction;
}

// "yyyy-mm-dd", "hh:mm:ss" or both, with optional fractions: the ODBC text forms of dates and times.
bool ParseDateTimeText(const QString& text, QDate& date, QTime& time)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(?:(-?\\d{1,4})-(\\d{1,2})-(\\d{1,2}))?[ "
                       "T]?(?:(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d+))?)?)?\\s*$"));
    QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch() || text.trimmed().isEmpty())
        return false;
    date = match.captured(1).isEmpty()
               ? QDate(1899, 12, 30)
               : QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    int msec = match.captured(7).isEmpty()
                   ? 0
                   : qRound(QStringLiteral("0.%1").arg(match.captured(7)).toDouble() * 1000);
    time = QTime(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt(),
                 qMin(msec, 999));
    return date.isValid() && time.isValid();
}

} // namespace

TOdbcCursor::TOdbcCursor(TOdbcDriver& driver, TOdbcHandlePtr statement)
    : FDriver(&driver), FStatement(std::move(statement))
{
    SQLSMALLINT count = 0;
    SQLRETURN rc = SQLNumResultCols(FStatement.get(), &count);
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_STMT, FStatement.get(), QStringLiteral("SQLNumResultCols"), rc);
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        TOdbcColumn column = OdbcColumnFor(DescribeColumn(FStatement.get(), SQLUSMALLINT(i)), driver.Dbms(),
                                           driver.WideAccessFile());
        FFields.push_back(column.Def);
        FColumns.push_back(std::move(column));
    }
    FReadAsText.assign(FColumns.size(), false);
    if (count == 0) {
        FStatement.reset();
        FDriver = nullptr;
    } else {
        FDriver->RememberCursor(this);
    }
}

TOdbcCursor::~TOdbcCursor()
{
    ReleaseStatement();
}

void TOdbcCursor::ReleaseStatement()
{
    FStatement.reset();
    if (FDriver) {
        FDriver->ForgetCursor(this);
        FDriver = nullptr;
    }
}

void TOdbcCursor::Detach()
{
    FDriver = nullptr; // the driver has dropped this cursor already
    FStatement.reset();
    FBuffered.clear();
    FDetached = true;
}

void TOdbcCursor::Buffer()
{
    std::vector<QVariant> row;
    while (FStatement && FetchFromDriver(row))
        FBuffered.push_back(row);
    ReleaseStatement();
}

bool TOdbcCursor::Fetch(std::vector<QVariant>& row)
{
    if (FDetached)
        throw EDatabaseError(QStringLiteral("Die Verbindung zur Datenbank wurde geschlossen."));
    if (!FBuffered.empty()) {
        row = std::move(FBuffered.front());
        FBuffered.pop_front();
        return true;
    }
    if (!FStatement)
        return false;
    if (FetchFromDriver(row))
        return true;
    ReleaseStatement();
    return false;
}

bool TOdbcCursor::FetchFromDriver(std::vector<QVariant>& row)
{
    SQLRETURN rc = SQLFetch(FStatement.get());
    if (rc == SQL_NO_DATA)
        return false;
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_STMT, FStatement.get(), QStringLiteral("SQLFetch"), rc);
    row.assign(FColumns.size(), QVariant());
    for (size_t i = 0; i < FColumns.size(); ++i)
        row[i] = ReadValue(i);
    return true;
}

QVariant TOdbcCursor::ReadValue(size_t index)
{
    switch (FColumns[index].Get) {
    case gkText:
    case gkDecimal:
    case gkGuid:
        return ReadText(index);
    case gkBinary:
        return ReadBinary(index);
    default:
        break;
    }
    if (!FReadAsText[index]) {
        bool failed = false;
        QVariant value = ReadNative(index, failed);
        if (!failed)
            return value;
        // Some drivers (MDBTools) convert only to a few C types; every driver converts to text.
        FReadAsText[index] = true;
    }
    return ReadText(index);
}

QVariant TOdbcCursor::ReadNative(size_t index, bool& failed)
{
    SQLHSTMT statement = FStatement.get();
    SQLUSMALLINT number = SQLUSMALLINT(index + 1);
    SQLLEN indicator = 0;
    SQLRETURN rc = SQL_ERROR;
    QVariant value;
    switch (FColumns[index].Get) {
    case gkInteger: {
        SQLINTEGER v = 0;
        rc = SQLGetData(statement, number, SQL_C_SLONG, &v, sizeof(v), &indicator);
        value = qlonglong(v);
        break;
    }
    case gkBigInt: {
        SQLBIGINT v = 0;
        rc = SQLGetData(statement, number, SQL_C_SBIGINT, &v, sizeof(v), &indicator);
        value = qlonglong(v);
        break;
    }
    case gkDouble: {
        SQLDOUBLE v = 0;
        rc = SQLGetData(statement, number, SQL_C_DOUBLE, &v, sizeof(v), &indicator);
        value = double(v);
        break;
    }
    case gkBit: {
        unsigned char v = 0;
        rc = SQLGetData(statement, number, SQL_C_BIT, &v, sizeof(v), &indicator);
        value = v != 0;
        break;
    }
    case gkDate: {
        SQL_DATE_STRUCT v = {};
        rc = SQLGetData(statement, number, SQL_C_TYPE_DATE, &v, sizeof(v), &indicator);
        QDate date(v.year, v.month, v.day);
        value = date.isValid() ? QVariant(QDateToDateTime(date)) : QVariant();
        break;
    }
    case gkTime: {
        SQL_TIME_STRUCT v = {};
        rc = SQLGetData(statement, number, SQL_C_TYPE_TIME, &v, sizeof(v), &indicator);
        QTime time(v.hour, v.minute, v.second);
        value = time.isValid() ? QVariant(QTimeToDateTime(time)) : QVariant();
        break;
    }
    case gkTimestamp: {
        SQL_TIMESTAMP_STRUCT v = {};
        rc = SQLGetData(statement, number, SQL_C_TYPE_TIMESTAMP, &v, sizeof(v), &indicator);
        QDate date(v.year, v.month, v.day);
        QTime time(v.hour, v.minute, v.second, qMin(999, int(std::lround(v.fraction / 1e6))));
        // A zero date (MySQL's "0000-00-00") has no value.
        value = date.isValid() && time.isValid() ? QVariant(ToDateTime(date, time)) : QVariant();
        break;
    }
    default:
        break;
    }
    if (rc == SQL_ERROR) {
        failed = true;
        return {};
    }
    if (!SQL_SUCCEEDED(rc))
        ThrowOdbcError(SQL_HANDLE_STMT, statement, QStringLiteral("SQLGetData"), rc);
    if (indicator == SQL_NULL_DATA)
        return {};
    return value;
}

QVariant TOdbcCursor::ReadText(size_t index)
{
    SQLHSTMT statement = FStatement.get();
    SQLUSMALLINT number = SQLUSMALLINT(index + 1);
    std::vector<SQLWCHAR> buffer(kChunkChars + 1);
    const SQLLEN bufferBytes = SQLLEN(buffer.size() * sizeof(SQLWCHAR));
    QString text;
    bool isNull = true;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement, number, SQL_C_WCHAR, buffer.data(), bufferBytes, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            ThrowOdbcError(SQL_HANDLE_STMT, statement, QStringLiteral("SQLGetData"), rc);
        if (indicator == SQL_NULL_DATA)
            return {};
        isNull = false;
        // A full buffer ends with the terminator; the driver has more when it says so.
        bool truncated = indicator == SQL_NO_TOTAL || indicator >= bufferBytes;
        SQLLEN chars = truncated ? SQLLEN(kChunkChars) : indicator / SQLLEN(sizeof(SQLWCHAR));
        text.append(QStringView(reinterpret_cast<const char16_t*>(buffer.data()), chars));
        if (rc == SQL_SUCCESS || !truncated)
            break;
    }
    if (isNull)
        return {};
    return FromText(index, text);
}

QVariant TOdbcCursor::ReadBinary(size_t index)
{
    SQLHSTMT statement = FStatement.get();
    SQLUSMALLINT number = SQLUSMALLINT(index + 1);
    QByteArray chunk(qsizetype(kChunkChars) * 4, Qt::Uninitialized);
    QByteArray data;
    bool isNull = true;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(statement, number, SQL_C_BINARY, chunk.data(), chunk.size(), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            ThrowOdbcError(SQL_HANDLE_STMT, statement, QStringLiteral("SQLGetData"), rc);
        if (indicator == SQL_NULL_DATA)
            return {};
        isNull = false;
        bool truncated = indicator == SQL_NO_TOTAL || indicator > chunk.size();
        data.append(chunk.constData(), truncated ? chunk.size() : int(indicator));
        if (rc == SQL_SUCCESS || !truncated)
            break;
    }
    if (isNull)
        return {};
    return data;
}

QVariant TOdbcCursor::FromText(size_t index, const QString& text) const
{
    const TOdbcColumn& column = FColumns[index];
    auto unreadable = [&]() -> QVariant {
        throw EDatabaseError(
            QStringLiteral("Der Wert \"%1\" der Spalte \"%2\" ist nicht lesbar.").arg(text, column.Def.Name));
    };
    switch (column.Get) {
    case gkText:
    case gkBinary:
        return text;
    case gkDecimal:
        return CanonicalDecimal(text);
    case gkGuid:
        return CanonicalGuid(text);
    case gkInteger:
    case gkBigInt: {
        bool ok = false;
        qlonglong value = text.trimmed().toLongLong(&ok);
        if (!ok) {
            double d = text.trimmed().toDouble(&ok);
            if (!ok || d != std::trunc(d) || std::fabs(d) > 9.2e18)
                return unreadable();
            value = qlonglong(d);
        }
        return value;
    }
    case gkDouble: {
        bool ok = false;
        double value = text.trimmed().toDouble(&ok);
        return ok ? QVariant(value) : unreadable();
    }
    case gkBit: {
        QString t = text.trimmed().toLower();
        if (t == QStringLiteral("1") || t == QStringLiteral("true") || t == QStringLiteral("t") ||
            t == QStringLiteral("-1") || t == QStringLiteral("yes"))
            return true;
        if (t == QStringLiteral("0") || t == QStringLiteral("false") || t == QStringLiteral("f") ||
            t == QStringLiteral("no"))
            return false;
        return unreadable();
    }
    case gkDate:
    case gkTime:
    case gkTimestamp: {
        QDate date;
        QTime time;
        if (!ParseDateTimeText(text, date, time))
            return unreadable();
        if (column.Get == gkDate)
            return QDateToDateTime(date);
        if (column.Get == gkTime)
            return QTimeToDateTime(time);
        return ToDateTime(date, time);
    }
    }
    return text;
}
