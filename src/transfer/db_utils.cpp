#include "transfer/db_utils.h"

#include "db/query.h"
#include "transfer/sql_dialect.h"

#include <cmath>

namespace {

// Computed from local dates: the limits are fixed during static initialisation, when other files'
// constants may not be set up yet.
struct TRecordCopyLimits {
    TDateTime MinDate = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(1920, 1, 1)));
    TDateTime MaxDate = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate::currentDate()) + 3650);
};

const TRecordCopyLimits& Limits()
{
    static const TRecordCopyLimits limits;
    return limits;
}

// Fixes the limits when the program starts, so a long run keeps the start date.
[[maybe_unused]] const bool kLimitsFixed = (Limits(), true);

// Removes leading and trailing blanks and control characters (codes up to 32).
QString TrimControl(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

// The first `size` characters, without splitting a surrogate pair.
QString CutToSize(const QString& text, int size)
{
    if (size <= 0 || text.size() <= size)
        return text;
    qsizetype cut = size;
    if (text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut);
}

void WriteText(TField& target, const QString& text)
{
    if (text.isEmpty())
        target.Clear();
    else
        target.SetAsString(text);
}

bool WithinLimits(TDateTime value)
{
    const TRecordCopyLimits& limits = Limits();
    if (limits.MinDate > 0 && value < limits.MinDate)
        return false;
    if (limits.MaxDate > 0 && value > limits.MaxDate)
        return false;
    return true;
}

} // namespace

TDateTime RecordCopyMinDate()
{
    return Limits().MinDate;
}

TDateTime RecordCopyMaxDate()
{
    return Limits().MaxDate;
}

bool IsExcludedField(const QString& exclusionList, const QString& fieldName)
{
    if (exclusionList.isEmpty())
        return false;
    QString list = QLatin1Char(';') + exclusionList + QLatin1Char(';');
    return list.contains(QLatin1Char(';') + fieldName + QLatin1Char(';'), Qt::CaseInsensitive);
}

void CopyDataSetRecord(TQuery& source, TQuery& target, const QString& exclusionList)
{
    for (int i = 0; i < source.FieldCount(); ++i) {
        TField& field = source.Fields(i);
        if (field.FieldKind() != fkData)
            continue;
        if (target.State() == dsEdit && IsExcludedField(exclusionList, field.FieldName()))
            continue;
        TField* targetField = target.FindField(field.FieldName());
        if (targetField == nullptr)
            continue;
        CopyFieldValue(source, target, field.FieldName(), targetField->DataType());
    }
}

void CopyFieldValue(TQuery& source, TQuery& target, const QString& fieldName, TFieldType fieldType)
{
    try {
        TField& from = source.FieldByName(fieldName);
        TField& to = target.FieldByName(fieldName);
        switch (fieldType) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftFixedWideChar:
            WriteText(to, CutToSize(TrimControl(from.AsString()), to.Size()));
            break;
        case ftWideMemo:
            // Taken as it is: a detour through an 8-bit code page would lose characters.
            WriteText(to, TrimControl(from.AsString()));
            break;
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftLargeint:
            // 64 bits, so large keys arrive whole; a value beyond the target's range raises.
            if (!from.IsNull())
                to.SetAsLargeInt(from.AsLargeInt());
            break;
        case ftAutoInc:
            break; // the target generates the value
        case ftFloat:
            if (!from.IsNull())
                to.SetAsFloat(from.AsFloat());
            break;
        case ftTime:
            // A time of day is a fraction of a day and would fall below any date limit.
            if (!from.IsNull()) {
                TDateTime value = from.AsDateTime();
                to.SetAsDateTime(std::fabs(value - std::trunc(value)));
            }
            break;
        case ftDate:
        case ftDateTime:
            if (!from.IsNull()) {
                TDateTime value = from.AsDateTime();
                if (WithinLimits(value))
                    to.SetAsDateTime(value);
            }
            break;
        default:
            if (!from.IsNull())
                to.SetAsVariant(from.AsVariant());
            break;
        }
    } catch (...) {
        // An unsuitable value is not written; the copy goes on with the next field.
    }
}

QString DateTimeToSQLLiteral(TDBProviderType providerType, TDateTime value)
{
    return TSQLDialect(providerType).DateTimeLiteral(value);
}
