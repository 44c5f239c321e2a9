#include "db/field.h"

#include "db/db_error.h"
#include "db/format_settings.h"
#include "db/value_text.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QUuid>
#include <cmath>
#include <limits>

namespace {

// How a field holds its value; see the canonical forms in field.h.
enum class TKind { Text, Integer, Float, Exact, Boolean, DateTime, Binary, Guid, Other };

TKind KindOf(TFieldType type)
{
    if (IsTextType(type))
        return TKind::Text;
    if (IsIntegerType(type))
        return TKind::Integer;
    if (IsExactNumericType(type))
        return TKind::Exact;
    if (IsDateTimeType(type))
        return TKind::DateTime;
    if (IsBinaryType(type))
        return TKind::Binary;
    switch (type) {
    case ftFloat:
    case ftExtended:
    case ftSingle:
        return TKind::Float;
    case ftBoolean:
        return TKind::Boolean;
    case ftGuid:
        return TKind::Guid;
    default:
        return TKind::Other;
    }
}

struct TRange {
    qint64 Min;
    qint64 Max;
};

TRange IntegerRange(TFieldType type)
{
    switch (type) {
    case ftSmallint:
        return {-32768, 32767};
    case ftWord:
        return {0, 65535};
    case ftByte:
        return {0, 255};
    case ftShortint:
        return {-128, 127};
    case ftInteger:
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    case ftLongWord:
        return {0, 4294967295LL};
    default:
        return {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    }
}

bool IsIntegerVariant(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

QChar DecimalSeparator()
{
    return FormatSettings().DecimalSeparator;
}

// Rounds half to even, as the integer reading of a float does elsewhere in the system.
std::optional<qint64> RoundToInt64(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    double rounded = std::nearbyint(value);
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        return std::nullopt;
    return static_cast<qint64>(rounded);
}

} // namespace

TField::TField(TFieldDef def) : FDef(std::move(def)) {}

// ---- errors -------------------------------------------------------------------------------------

namespace {

[[noreturn]] void RaiseInvalid(const QString& field, const QString& text, const QString& what)
{
    throw EDatabaseError(QStringLiteral("Feld '%1': '%2' ist kein gültiger %3").arg(field, text, what));
}

[[noreturn]] void RaiseRange(const QString& field, const QString& value, TRange range)
{
    throw EDatabaseError(QStringLiteral("Feld '%1': Der Wert %2 liegt außerhalb des zulässigen Bereichs "
                                        "(%3 bis %4)")
                             .arg(field, value, QString::number(range.Min), QString::number(range.Max)));
}

[[noreturn]] void RaiseCannotRead(const QString& field, TFieldType type, const QString& as)
{
    throw EDatabaseError(QStringLiteral("Feld '%1' vom Typ %2 kann nicht als %3 gelesen werden")
                             .arg(field, FieldTypeName(type), as));
}

[[noreturn]] void RaiseCannotWrite(const QString& field, TFieldType type, const QString& what)
{
    throw EDatabaseError(QStringLiteral("Feld '%1' vom Typ %2 kann keinen Wert vom Typ %3 aufnehmen")
                             .arg(field, FieldTypeName(type), what));
}

} // namespace

// ---- reading ------------------------------------------------------------------------------------

QString TField::AsString() const
{
    if (IsNull())
        return {};
    switch (KindOf(FDef.DataType)) {
    case TKind::Float:
        return FloatToText(FValue.toDouble(), DecimalSeparator());
    case TKind::DateTime:
        return DateTimeToText(FValue.toDouble(), FDef.DataType);
    case TKind::Boolean:
        return FValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
        break;
    }
    if (FValue.typeId() == QMetaType::QByteArray)
        return QString::fromLatin1(FValue.toByteArray());
    if (FValue.typeId() == QMetaType::Double)
        return FloatToText(FValue.toDouble(), DecimalSeparator());
    if (FValue.typeId() == QMetaType::Bool)
        return FValue.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return FValue.toString();
}

qint64 TField::AsLargeInt() const
{
    if (IsNull())
        return 0;
    int typeId = FValue.typeId();
    if (typeId == QMetaType::Bool)
        return FValue.toBool() ? 1 : 0;
    if (typeId == QMetaType::ULongLong) {
        if (FValue.toULongLong() > static_cast<quint64>(std::numeric_limits<qint64>::max()))
            RaiseRange(FDef.Name, FValue.toString(), IntegerRange(ftLargeint));
        return FValue.toLongLong();
    }
    if (IsIntegerVariant(typeId))
        return FValue.toLongLong();
    if (typeId == QMetaType::Double || typeId == QMetaType::Float) {
        if (std::optional<qint64> v = RoundToInt64(FValue.toDouble()))
            return *v;
        RaiseRange(FDef.Name, FloatToText(FValue.toDouble(), DecimalSeparator()), IntegerRange(ftLargeint));
    }
    if (typeId == QMetaType::QString) {
        QString text = FValue.toString();
        if (std::optional<qint64> v = TextToInt64(text))
            return *v;
        if (std::optional<QString> exact = NormalizeDecimalText(text, DecimalSeparator())) {
            qsizetype point = exact->indexOf(u'.');
            QString fraction = point < 0 ? QString() : exact->mid(point + 1);
            if (fraction.count(u'0') == fraction.size()) {
                if (std::optional<qint64> v = TextToInt64(exact->left(point < 0 ? exact->size() : point)))
                    return *v;
                RaiseRange(FDef.Name, text, IntegerRange(ftLargeint));
            }
            if (std::optional<qint64> v = RoundToInt64(exact->toDouble()))
                return *v;
            RaiseRange(FDef.Name, text, IntegerRange(ftLargeint));
        }
        RaiseInvalid(FDef.Name, text, QStringLiteral("Ganzzahlwert"));
    }
    RaiseCannotRead(FDef.Name, FDef.DataType, QStringLiteral("Ganzzahl"));
}

qint32 TField::AsInteger() const
{
    qint64 value = AsLargeInt();
    TRange range = IntegerRange(ftInteger);
    if (value < range.Min || value > range.Max)
        RaiseRange(FDef.Name, QString::number(value), range);
    return static_cast<qint32>(value);
}

double TField::AsFloat() const
{
    if (IsNull())
        return 0;
    int typeId = FValue.typeId();
    if (typeId == QMetaType::Bool)
        return FValue.toBool() ? 1 : 0;
    if (typeId == QMetaType::Double || typeId == QMetaType::Float || IsIntegerVariant(typeId))
        return FValue.toDouble();
    if (typeId == QMetaType::QString) {
        if (std::optional<double> v = TextToFloat(FValue.toString(), DecimalSeparator()))
            return *v;
        RaiseInvalid(FDef.Name, FValue.toString(), QStringLiteral("Gleitkommawert"));
    }
    RaiseCannotRead(FDef.Name, FDef.DataType, QStringLiteral("Gleitkommazahl"));
}

TDateTime TField::AsDateTime() const
{
    if (IsNull())
        return 0;
    int typeId = FValue.typeId();
    if (typeId == QMetaType::Double || typeId == QMetaType::Float || IsIntegerVariant(typeId))
        return FValue.toDouble();
    if (typeId == QMetaType::QString) {
        if (std::optional<TDateTime> v = TextToDateTime(FValue.toString(), FormatSettings().TimeSeparator))
            return *v;
        RaiseInvalid(FDef.Name, FValue.toString(), QStringLiteral("Datums-/Zeitwert"));
    }
    RaiseCannotRead(FDef.Name, FDef.DataType, QStringLiteral("Datum/Zeit"));
}

bool TField::AsBoolean() const
{
    if (IsNull())
        return false;
    int typeId = FValue.typeId();
    if (typeId == QMetaType::Bool)
        return FValue.toBool();
    if (typeId == QMetaType::Double || typeId == QMetaType::Float || IsIntegerVariant(typeId))
        return FValue.toDouble() != 0;
    if (typeId == QMetaType::QString) {
        if (std::optional<bool> v = TextToBool(FValue.toString()))
            return *v;
        RaiseInvalid(FDef.Name, FValue.toString(), QStringLiteral("boolescher Wert"));
    }
    RaiseCannotRead(FDef.Name, FDef.DataType, QStringLiteral("boolescher Wert"));
}

QByteArray TField::AsBytes() const
{
    if (IsNull())
        return {};
    if (FValue.typeId() == QMetaType::QByteArray)
        return FValue.toByteArray();
    return AsString().toUtf8();
}

// ---- writing ------------------------------------------------------------------------------------

void TField::Store(QVariant value)
{
    FValue = std::move(value);
    FAssigned = true;
}

void TField::Clear()
{
    Store(QVariant());
}

namespace {

// The value a date field keeps: a date drops the time, a time drops the date.
TDateTime DateTimeForType(TDateTime value, TFieldType type)
{
    if (type == ftDate)
        return DateOf(value);
    if (type == ftTime)
        return QTimeToDateTime(DateTimeToQTime(value));
    return value;
}

} // namespace

void TField::SetAsString(const QString& value)
{
    TKind kind = KindOf(FDef.DataType);
    if (kind == TKind::Text || kind == TKind::Other) {
        Store(value);
        return;
    }
    if (kind == TKind::Binary) {
        // Latin-1 gives back the bytes that AsString showed; other text keeps its characters as UTF-8.
        bool latin1 = true;
        for (QChar ch : value)
            latin1 = latin1 && ch.unicode() <= 0xFF;
        Store(latin1 ? value.toLatin1() : value.toUtf8());
        return;
    }
    // An empty text empties a field of any other type.
    if (value.trimmed().isEmpty()) {
        Clear();
        return;
    }
    switch (kind) {
    case TKind::Integer: {
        static const QRegularExpression digits(QStringLiteral("^[+-]?\\d+$"));
        std::optional<qint64> v = TextToInt64(value);
        if (!v) {
            if (digits.match(value.trimmed()).hasMatch())
                RaiseRange(FDef.Name, value.trimmed(), IntegerRange(FDef.DataType));
            RaiseInvalid(FDef.Name, value, QStringLiteral("Ganzzahlwert"));
        }
        SetAsLargeInt(*v);
        return;
    }
    case TKind::Float: {
        std::optional<double> v = TextToFloat(value, DecimalSeparator());
        if (!v)
            RaiseInvalid(FDef.Name, value, QStringLiteral("Gleitkommawert"));
        Store(*v);
        return;
    }
    case TKind::Exact: {
        std::optional<QString> v = NormalizeDecimalText(value, DecimalSeparator());
        if (!v)
            RaiseInvalid(FDef.Name, value, QStringLiteral("Dezimalwert"));
        Store(*v);
        return;
    }
    case TKind::Boolean: {
        std::optional<bool> v = TextToBool(value);
        if (!v)
            RaiseInvalid(FDef.Name, value, QStringLiteral("boolescher Wert"));
        Store(*v);
        return;
    }
    case TKind::DateTime: {
        std::optional<TDateTime> v = TextToDateTime(value, FormatSettings().TimeSeparator);
        if (!v)
            RaiseInvalid(FDef.Name, value, QStringLiteral("Datums-/Zeitwert"));
        Store(DateTimeForType(*v, FDef.DataType));
        return;
    }
    case TKind::Guid: {
        static const QRegularExpression guid(
            QStringLiteral("^(\\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\\}|[0-9A-Fa-f]{8}(-[0-9A-"
                           "Fa-f]{4}){3}-[0-9A-Fa-f]{12})$"));
        QString text = value.trimmed();
        if (!guid.match(text).hasMatch())
            RaiseInvalid(FDef.Name, value, QStringLiteral("GUID-Wert"));
        Store(text);
        return;
    }
    default:
        Store(value);
    }
}

void TField::SetAsInteger(qint32 value)
{
    SetAsLargeInt(value);
}

void TField::SetAsLargeInt(qint64 value)
{
    switch (KindOf(FDef.DataType)) {
    case TKind::Integer: {
        TRange range = IntegerRange(FDef.DataType);
        if (value < range.Min || value > range.Max)
            RaiseRange(FDef.Name, QString::number(value), range);
        Store(static_cast<qlonglong>(value));
        return;
    }
    case TKind::Text:
    case TKind::Exact:
    case TKind::Other:
        Store(QString::number(value));
        return;
    case TKind::Float:
        Store(static_cast<double>(value));
        return;
    case TKind::Boolean:
        Store(value != 0);
        return;
    case TKind::DateTime:
        Store(DateTimeForType(static_cast<double>(value), FDef.DataType));
        return;
    default:
        RaiseCannotWrite(FDef.Name, FDef.DataType, QStringLiteral("Ganzzahl"));
    }
}

void TField::SetAsFloat(double value)
{
    switch (KindOf(FDef.DataType)) {
    case TKind::Integer: {
        std::optional<qint64> v = RoundToInt64(value);
        if (!v)
            RaiseRange(FDef.Name, FloatToText(value, DecimalSeparator()), IntegerRange(FDef.DataType));
        SetAsLargeInt(*v);
        return;
    }
    case TKind::Text:
    case TKind::Other:
        Store(FloatToText(value, DecimalSeparator()));
        return;
    case TKind::Float:
        Store(value);
        return;
    case TKind::Exact:
        if (!std::isfinite(value))
            RaiseInvalid(FDef.Name, FloatToText(value, DecimalSeparator()), QStringLiteral("Dezimalwert"));
        Store(DoubleToDecimalText(value));
        return;
    case TKind::Boolean:
        Store(value != 0);
        return;
    case TKind::DateTime:
        if (!std::isfinite(value))
            RaiseInvalid(FDef.Name, FloatToText(value, DecimalSeparator()),
                         QStringLiteral("Datums-/Zeitwert"));
        Store(DateTimeForType(value, FDef.DataType));
        return;
    default:
        RaiseCannotWrite(FDef.Name, FDef.DataType, QStringLiteral("Gleitkommazahl"));
    }
}

void TField::SetAsDateTime(TDateTime value)
{
    switch (KindOf(FDef.DataType)) {
    case TKind::Text:
    case TKind::Other:
        Store(DateTimeToText(value, HasTimePart(value) ? ftDateTime : ftDate));
        return;
    case TKind::Integer:
        SetAsFloat(DateOf(value));
        return;
    case TKind::Float:
    case TKind::Exact:
    case TKind::DateTime:
        SetAsFloat(value);
        return;
    default:
        RaiseCannotWrite(FDef.Name, FDef.DataType, QStringLiteral("Datum/Zeit"));
    }
}

void TField::SetAsBoolean(bool value)
{
    switch (KindOf(FDef.DataType)) {
    case TKind::Text:
    case TKind::Other:
        Store(value ? QStringLiteral("True") : QStringLiteral("False"));
        return;
    case TKind::Integer:
    case TKind::Float:
    case TKind::Exact:
        SetAsLargeInt(value ? 1 : 0);
        return;
    case TKind::Boolean:
        Store(value);
        return;
    default:
        RaiseCannotWrite(FDef.Name, FDef.DataType, QStringLiteral("boolescher Wert"));
    }
}

void TField::SetAsBytes(const QByteArray& value)
{
    TKind kind = KindOf(FDef.DataType);
    if (kind == TKind::Binary || kind == TKind::Other) {
        Store(value);
        return;
    }
    if (kind == TKind::Guid && value.size() == 16) {
        Store(QUuid::fromRfc4122(value).toString(QUuid::WithBraces).toUpper());
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(value);
    if (utf8.hasError())
        text = QString::fromLatin1(value);
    SetAsString(text);
}

void TField::SetAsVariant(const QVariant& value)
{
    if (!value.isValid() || value.typeId() == QMetaType::Nullptr) {
        Clear();
        return;
    }
    int typeId = value.typeId();
    if (typeId == QMetaType::Bool) {
        SetAsBoolean(value.toBool());
    } else if (typeId == QMetaType::ULongLong &&
               value.toULongLong() > static_cast<quint64>(std::numeric_limits<qint64>::max())) {
        TKind kind = KindOf(FDef.DataType);
        if (kind != TKind::Text && kind != TKind::Exact && kind != TKind::Other)
            RaiseRange(FDef.Name, value.toString(), IntegerRange(FDef.DataType));
        Store(value.toString());
    } else if (IsIntegerVariant(typeId)) {
        SetAsLargeInt(value.toLongLong());
    } else if (typeId == QMetaType::Double || typeId == QMetaType::Float) {
        SetAsFloat(value.toDouble());
    } else if (typeId == QMetaType::QString) {
        SetAsString(value.toString());
    } else if (typeId == QMetaType::QByteArray) {
        SetAsBytes(value.toByteArray());
    } else if (typeId == QMetaType::QDate) {
        SetAsDateTime(QDateToDateTime(value.toDate()));
    } else if (typeId == QMetaType::QTime) {
        SetAsDateTime(QTimeToDateTime(value.toTime()));
    } else if (typeId == QMetaType::QDateTime) {
        QDateTime dt = value.toDateTime();
        SetAsDateTime(QDateTimeToDateTime(QDateTime(dt.date(), dt.time(), Qt::UTC)));
    } else if (typeId == QMetaType::QUuid) {
        SetAsString(value.toUuid().toString(QUuid::WithBraces).toUpper());
    } else if (value.canConvert<QString>()) {
        SetAsString(value.toString());
    } else {
        RaiseCannotWrite(FDef.Name, FDef.DataType, QString::fromLatin1(value.typeName()));
    }
}
