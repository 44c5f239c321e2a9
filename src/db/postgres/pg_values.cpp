#include "db/postgres/pg_values.h"

#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr qint64 kEpochJulianDay = 2415019; // 1899-12-30
constexpr double kUsecPerDay = 86400.0 * 1e6;
constexpr int kVarHeader = 4; // typmod of character and numeric types counts a 4-byte header

TPgColumn Column(const QString& name, TFieldType type, TPgValueKind kind, int size = 0, int scale = 0)
{
    TPgColumn column;
    column.Def.Name = name;
    column.Def.DataType = type;
    column.Def.Size = size;
    column.Def.Scale = scale;
    column.Kind = kind;
    return column;
}

// Reads one to `maxDigits` decimal digits.
bool ReadNumber(const char*& p, const char* end, qint64& value, int maxDigits = 10)
{
    const char* start = p;
    value = 0;
    while (p < end && *p >= '0' && *p <= '9' && p - start < maxDigits)
        value = value * 10 + (*p++ - '0');
    return p > start;
}

bool Expect(const char*& p, const char* end, char c)
{
    if (p < end && *p == c) {
        ++p;
        return true;
    }
    return false;
}

// "HH:MM:SS[.ffffff]" as microseconds since midnight; 24:00:00 is held as the last millisecond.
bool ReadTimeOfDay(const char*& p, const char* end, qint64& usecs)
{
    qint64 h, m, s;
    if (!ReadNumber(p, end, h, 2) || !Expect(p, end, ':') || !ReadNumber(p, end, m, 2) ||
        !Expect(p, end, ':') || !ReadNumber(p, end, s, 2))
        return false;
    qint64 micro = 0;
    if (Expect(p, end, '.')) {
        int digits = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (digits < 6) {
                micro = micro * 10 + (*p - '0');
                ++digits;
            }
            ++p;
        }
        for (; digits < 6; ++digits)
            micro *= 10;
    }
    usecs = ((h * 60 + m) * 60 + s) * 1000000 + micro;
    const qint64 lastMs = 86400LL * 1000000 - 1000;
    if (usecs > lastMs)
        usecs = lastMs;
    return true;
}

bool EndsWith(const char* text, int length, const char* suffix)
{
    int n = static_cast<int>(std::strlen(suffix));
    return length >= n && std::memcmp(text + length - n, suffix, static_cast<size_t>(n)) == 0;
}

// Date and date-time texts in ISO style: "2024-01-31", "2024-01-31 13:05:09.25+01", "0044-03-15 BC".
QVariant ReadDateTime(const char* text, int length, bool withTime)
{
    if (EndsWith(text, length, "infinity")) {
        QDate limit = text[0] == '-' ? QDate(1, 1, 1) : QDate(9999, 12, 31);
        return QVariant(static_cast<double>(limit.toJulianDay() - kEpochJulianDay));
    }
    const char* p = text;
    const char* end = text + length;
    bool bc = EndsWith(text, length, " BC");
    qint64 year, month, day;
    if (!ReadNumber(p, end, year, 9) || !Expect(p, end, '-') || !ReadNumber(p, end, month, 2) ||
        !Expect(p, end, '-') || !ReadNumber(p, end, day, 2))
        return {};
    QDate date(static_cast<int>(bc ? -year : year), static_cast<int>(month), static_cast<int>(day));
    if (!date.isValid())
        return {};
    double days = static_cast<double>(date.toJulianDay() - kEpochJulianDay);
    qint64 usecs = 0;
    if (withTime && Expect(p, end, ' ') && !ReadTimeOfDay(p, end, usecs))
        return {};
    // A time-zone offset after the time is dropped: the value stays in the session's time zone.
    double fraction = static_cast<double>(usecs) / kUsecPerDay;
    return QVariant(days >= 0 ? days + fraction : days - fraction);
}

template <typename T> QByteArray FormatNumber(T value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, static_cast<int>(result.ptr - buffer));
}

QByteArray FormatDouble(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    return FormatNumber(value);
}

QByteArray FormatDate(const QDate& date)
{
    int year = date.year();
    QByteArray text = QByteArray::number(std::abs(year)).rightJustified(4, '0') + '-' +
                      QByteArray::number(date.month()).rightJustified(2, '0') + '-' +
                      QByteArray::number(date.day()).rightJustified(2, '0');
    return year < 0 ? text + " BC" : text;
}

QByteArray FormatTime(const QTime& time)
{
    return time.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
}

QByteArray FormatTemporal(double value, TFieldType type)
{
    switch (type) {
    case ftDate:
        return FormatDate(DateTimeToQDate(value));
    case ftTime:
        return FormatTime(DateTimeToQTime(value));
    default: {
        QDateTime dateTime = DateTimeToQDateTime(value);
        QByteArray text = FormatDate(dateTime.date());
        QByteArray time = FormatTime(dateTime.time());
        return text.endsWith(" BC") ? text.left(text.size() - 3) + ' ' + time + " BC" : text + ' ' + time;
    }
    }
}

} // namespace

TPgColumn DescribePgColumn(const QString& name, unsigned typeOid, int typmod)
{
    int length = typmod >= kVarHeader ? typmod - kVarHeader : 0;
    switch (typeOid) {
    case kVarchar:
        // Without a declared length the column is as long as text.
        return length > 0 ? Column(name, ftWideString, pkText, length) : Column(name, ftWideMemo, pkText);
    case kBpchar:
        return Column(name, ftFixedWideChar, pkText, length > 0 ? length : 1);
    case kText:
        return Column(name, ftWideMemo, pkText);
    case kInt2:
        return Column(name, ftSmallint, pkInteger);
    case kInt4:
        return Column(name, ftInteger, pkInteger);
    case kInt8:
        return Column(name, ftLargeint, pkInteger);
    case kFloat4:
    case kFloat8:
        return Column(name, ftFloat, pkFloat);
    case kNumeric:
        return Column(name, ftFMTBcd, pkNumeric, typmod >= kVarHeader ? (length >> 16) & 0xffff : 0,
                      typmod >= kVarHeader ? length & 0xffff : 0);
    case kBool:
        return Column(name, ftBoolean, pkBoolean);
    case kDate:
        return Column(name, ftDate, pkDate);
    case kTime:
        return Column(name, ftTime, pkTime);
    case kTimestamp:
    case kTimestampTz:
        return Column(name, ftDateTime, pkDateTime);
    case kBytea:
        return Column(name, ftBlob, pkBytea);
    case kUuid:
        return Column(name, ftGuid, pkUuid, 38);
    default:
        return Column(name, ftWideMemo, pkText);
    }
}

QVariant PgTextToValue(TPgValueKind kind, const char* text, int length, bool uuidWithBraces)
{
    const char* end = text + length;
    switch (kind) {
    case pkText:
        return QString::fromUtf8(text, length);
    case pkInteger: {
        qlonglong value = 0;
        std::from_chars(text, end, value);
        return QVariant(value);
    }
    case pkFloat: {
        double value = 0;
        if (std::from_chars(text, end, value).ec != std::errc())
            value = std::strtod(text, nullptr); // 'Infinity', 'NaN', values beyond the range
        return QVariant(value);
    }
    case pkNumeric:
        return QString::fromLatin1(text, length);
    case pkBoolean:
        return QVariant(length > 0 && text[0] == 't');
    case pkDate:
        return ReadDateTime(text, length, false);
    case pkDateTime:
        return ReadDateTime(text, length, true);
    case pkTime: {
        qint64 usecs = 0;
        if (!ReadTimeOfDay(text, end, usecs))
            return {};
        return QVariant(static_cast<double>(usecs) / kUsecPerDay);
    }
    case pkBytea: {
        if (length >= 2 && text[0] == '\\' && text[1] == 'x')
            return QByteArray::fromHex(QByteArray::fromRawData(text + 2, length - 2));
        size_t size = 0;
        std::unique_ptr<unsigned char, decltype(&PQfreemem)> raw(
            PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size), PQfreemem);
        return raw ? QByteArray(reinterpret_cast<const char*>(raw.get()), static_cast<int>(size))
                   : QByteArray();
    }
    case pkUuid: {
        QString value = QString::fromLatin1(text, length);
        return uuidWithBraces ? QVariant(u'{' + value + u'}') : QVariant(value);
    }
    }
    return {};
}

TPgParam PgParamFromValue(const QVariant& value, TFieldType type)
{
    TPgParam param;
    if (!value.isValid() || value.isNull())
        return param;
    param.IsNull = false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        param.Data = value.toBool() ? QByteArrayLiteral("t") : QByteArrayLiteral("f");
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
        param.Data = FormatNumber(value.toLongLong());
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        param.Data = FormatNumber(value.toULongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        param.Data =
            IsDateTimeType(type) ? FormatTemporal(value.toDouble(), type) : FormatDouble(value.toDouble());
        break;
    case QMetaType::QByteArray:
        param.Data = value.toByteArray();
        param.Binary = true;
        break;
    default:
        param.Data = value.toString().toUtf8();
        break;
    }
    return param;
}
