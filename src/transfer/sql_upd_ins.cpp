#include "transfer/sql_upd_ins.h"

#include "db/connection.h"
#include "db/field.h"
#include "db/format_settings.h"
#include "transfer/get_db_format.h"
#include "transfer/rtf_to_text.h"
#include "transfer/sql_dialect.h"
#include "transfer/transaction_handler.h"

#include <algorithm>
#include <charconv>

namespace {

// Decimal digits of a whole number, as QString::number writes them without its locale machinery
// (a literal per value is a hot path).
void AppendIntegerText(QString& out, qint64 value)
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out += QLatin1StringView(digits, end - digits);
}

QString IntegerText(qint64 value)
{
    QString text;
    AppendIntegerText(text, value);
    return text;
}

QString PlainText(const QString& text)
{
    try {
        return RichTextToPlainText(text);
    } catch (...) {
        return {}; // a document that cannot be read becomes NULL
    }
}

} // namespace

TSQLUpdIns::TSQLUpdIns() : FMinDate(EncodeDate(1900, 1, 1)), FMaxDate(Today() + 3650) {}

void TSQLUpdIns::SetConnection(TConnection& connection)
{
    FCon = &connection;
    FDBProvider = GetDBProviderType(connection);
}

void TSQLUpdIns::AddInsField(const TField& field)
{
    AddIns(field.FieldName(), FieldValueToSQL(field));
}

void TSQLUpdIns::AddIns(const QString& columnName, const QString& valueText)
{
    if (!FFldIns.isEmpty())
        FFldIns += QLatin1Char(',');
    if (!FValIns.isEmpty())
        FValIns += QLatin1Char(',');
    FFldIns += ColumnListText(columnName);
    FValIns += ValueListText(valueText);
}

QString TSQLUpdIns::ValueListText(const QString& valueText)
{
    if (valueText.isEmpty() || valueText == QLatin1String("''"))
        return QStringLiteral("NULL");
    return valueText;
}

QString TSQLUpdIns::ColumnListText(const QString& columnName) const
{
    return TSQLDialect(FDBProvider).ColumnName(columnName);
}

QString TSQLUpdIns::InsertStatement() const
{
    return QStringLiteral("insert into %1 (%2) values (%3)").arg(FTableName, FFldIns, FValIns);
}

bool TSQLUpdIns::Execute()
{
    struct TListsCleaner {
        TSQLUpdIns& Owner;
        ~TListsCleaner() { Owner.Reset(); }
    } cleaner{*this};

    FErrMsg.clear();
    if (FFldIns.isEmpty())
        return false;
    qint64 rows = 0;
    if (TransactionHandler().DoExecute(InsertStatement(), rows))
        return true;
    FErrMsg = TransactionHandler().MessageText();
    return false;
}

void TSQLUpdIns::Reset()
{
    FFldIns.clear();
    FValIns.clear();
}

QString TSQLUpdIns::TextValue(const TField& field) const
{
    QString text = field.AsString();
    if (FRichEdit && IsRichText(text))
        text = PlainText(text);
    return text;
}

QString TSQLUpdIns::FieldValueToSQL(const TField& field) const
{
    TSQLDialect dialect(FDBProvider);
    switch (field.DataType()) {
    case ftString:
    case ftMemo:
    case ftFixedChar:
    case ftWideString:
    case ftFixedWideChar:
    case ftWideMemo:
        return dialect.TextLiteral(TextValue(field));
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
    case ftByte:
    case ftShortint:
    case ftLongWord:
        return field.IsNull() ? QString() : IntegerText(field.AsLargeInt());
    case ftFloat:
    case ftSingle:
    case ftExtended:
        return field.IsNull() ? QString() : dialect.FloatLiteral(field.AsFloat());
    case ftCurrency:
    case ftBCD:
    case ftFMTBcd: {
        if (field.IsNull())
            return {};
        QString text = field.AsVariant().toString();
        return IsDecimalNumberText(text) ? text : dialect.TextLiteral(text);
    }
    case ftBoolean:
        return field.IsNull() ? QString() : dialect.BooleanLiteral(field.AsBoolean());
    case ftGuid:
        return field.IsNull() ? QString() : dialect.TextLiteral(field.AsString());
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
        return field.IsNull() ? QString() : dialect.BinaryLiteral(field.AsBytes());
    case ftTime:
        return field.IsNull() ? QString() : dialect.TimeLiteral(field.AsDateTime());
    case ftTimeStamp:
        if (field.IsNull())
            return {};
        [[fallthrough]];
    case ftDate:
    case ftDateTime:
        // A NULL date reads as 0 and is written as the lower limit.
        return dialect.DateTimeLiteral(std::clamp(field.AsDateTime(), FMinDate, FMaxDate));
    default:
        return {};
    }
}

void TSQLUpdIns::AppendValueListText(const TField& field, QString& out) const
{
    // The kinds every row has are written straight into `out`, with the same helpers as above.
    TSQLDialect dialect(FDBProvider);
    const qsizetype start = out.size();
    const TFieldType type = field.DataType();
    if (IsTextType(type)) {
        dialect.AppendTextLiteral(out, TextValue(field));
    } else if (IsIntegerType(type)) {
        if (!field.IsNull())
            AppendIntegerText(out, field.AsLargeInt());
    } else if (type == ftDate || type == ftDateTime || type == ftTimeStamp) {
        if (type != ftTimeStamp || !field.IsNull())
            dialect.AppendDateTimeLiteral(out, std::clamp(field.AsDateTime(), FMinDate, FMaxDate));
    } else {
        out += FieldValueToSQL(field);
    }
    // As ValueListText: no text, or an empty text literal, stands for NULL.
    const QStringView added = QStringView(out).sliced(start);
    if (added.isEmpty() || added == u"''") {
        out.truncate(start);
        out += u"NULL";
    }
}

TSQLUpdIns& SQLUpdIns()
{
    static TSQLUpdIns builder;
    return builder;
}

QString ReplaceDecimalSeparator(const QString& text, QChar replacement)
{
    QChar separator = FormatSettings().DecimalSeparator;
    if (separator == replacement)
        return text;
    qsizetype pos = text.lastIndexOf(separator);
    if (pos < 0)
        return text;
    QString result = text;
    result[pos] = replacement;
    return result;
}
