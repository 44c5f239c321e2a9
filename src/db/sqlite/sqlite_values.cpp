#include "db/sqlite/sqlite_values.h"

#include "db/db_error.h"
#include "db/value_text.h"

#include <QUuid>
#include <cmath>

namespace {

constexpr double kJulianOf18991230 = 2415018.5;
constexpr double kLastJulianDay = 5373484.499999; // 9999-12-31 23:59:59
constexpr double kUnixEpochSerial = 25569.0;      // 1970-01-01

bool IsNumber(const QVariant& v)
{
    return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Double;
}

} // namespace

TDateTime SQLiteNumberToDateTime(double value)
{
    if (value >= 0 && value <= kLastJulianDay)
        return value - kJulianOf18991230;
    return value / 86400.0 + kUnixEpochSerial;
}

QVariant SQLiteValueToCanonical(const QVariant& stored, TField& scratch)
{
    if (!stored.isValid())
        return {};
    TFieldType type = scratch.DataType();
    if (IsTextType(type) && stored.typeId() != QMetaType::QByteArray)
        return stored.toString(); // numbers as the database writes them
    if (IsIntegerType(type)) {
        // Read as held, in 64 bits: never cut to the declared width.
        if (stored.typeId() == QMetaType::LongLong)
            return stored;
        if (stored.typeId() == QMetaType::Double) {
            double d = stored.toDouble();
            if (std::trunc(d) == d && std::fabs(d) < 9.2e18)
                return static_cast<qlonglong>(d);
            return stored;
        }
    }
    if (IsExactNumericType(type) && IsNumber(stored)) {
        QString text = stored.typeId() == QMetaType::LongLong ? stored.toString()
                                                              : DoubleToDecimalText(stored.toDouble());
        return PadDecimalScale(text, scratch.Def().Scale);
    }
    if (IsDateTimeType(type) && IsNumber(stored)) {
        scratch.SetAsFloat(SQLiteNumberToDateTime(stored.toDouble()));
        return scratch.AsVariant();
    }
    if (type == ftGuid && stored.typeId() == QMetaType::QByteArray && stored.toByteArray().size() == 16)
        return QUuid::fromRfc4122(stored.toByteArray()).toString(QUuid::WithBraces).toUpper();
    if (type == ftUnknown)
        return stored;
    try {
        scratch.SetAsVariant(stored);
        return scratch.AsVariant();
    } catch (const EDatabaseError&) {
        return stored;
    }
}

QVariant SQLiteBindValue(const TField& field)
{
    const QVariant& value = field.AsVariant();
    if (!value.isValid())
        return {};
    if (IsDateTimeType(field.DataType()) && value.typeId() == QMetaType::Double)
        return DateTimeToText(value.toDouble(),
                              field.DataType() == ftTimeStamp ? ftDateTime : field.DataType());
    switch (value.typeId()) {
    case QMetaType::Bool:
        return static_cast<qlonglong>(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::QByteArray:
        return value;
    default:
        return value.toString();
    }
}
