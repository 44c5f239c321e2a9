#include "db/sqlite/sqlite_decltype.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <climits>

namespace {

enum class TSized { None, Text, FixedText, Bytes, VarBytes, Exact };

struct TTypeRule {
    TFieldType Type;
    TSized Sized;
};

const QHash<QString, TTypeRule>& Rules()
{
    static const QHash<QString, TTypeRule> rules = {
        // INTEGER is the 64-bit rowid type; the narrower names keep their width, and their values are
        // still held in 64 bits when read, so nothing is cut.
        {QStringLiteral("INTEGER"), {ftLargeint, TSized::None}},
        {QStringLiteral("BIGINT"), {ftLargeint, TSized::None}},
        {QStringLiteral("INT8"), {ftLargeint, TSized::None}},
        {QStringLiteral("LARGEINT"), {ftLargeint, TSized::None}},
        {QStringLiteral("UNSIGNED BIG INT"), {ftLargeint, TSized::None}},
        {QStringLiteral("INT"), {ftInteger, TSized::None}},
        {QStringLiteral("INT4"), {ftInteger, TSized::None}},
        {QStringLiteral("MEDIUMINT"), {ftInteger, TSized::None}},
        {QStringLiteral("SMALLINT"), {ftSmallint, TSized::None}},
        {QStringLiteral("INT2"), {ftSmallint, TSized::None}},
        {QStringLiteral("TINYINT"), {ftSmallint, TSized::None}},
        {QStringLiteral("WORD"), {ftWord, TSized::None}},
        {QStringLiteral("BYTE"), {ftByte, TSized::None}},
        {QStringLiteral("REAL"), {ftFloat, TSized::None}},
        {QStringLiteral("FLOAT"), {ftFloat, TSized::None}},
        {QStringLiteral("DOUBLE"), {ftFloat, TSized::None}},
        {QStringLiteral("DOUBLE PRECISION"), {ftFloat, TSized::None}},
        {QStringLiteral("NUMERIC"), {ftFMTBcd, TSized::Exact}},
        {QStringLiteral("DECIMAL"), {ftFMTBcd, TSized::Exact}},
        {QStringLiteral("NUMBER"), {ftFMTBcd, TSized::Exact}},
        {QStringLiteral("MONEY"), {ftCurrency, TSized::None}},
        {QStringLiteral("SMALLMONEY"), {ftCurrency, TSized::None}},
        {QStringLiteral("CURRENCY"), {ftCurrency, TSized::None}},
        {QStringLiteral("TEXT"), {ftWideMemo, TSized::None}},
        {QStringLiteral("CLOB"), {ftWideMemo, TSized::None}},
        {QStringLiteral("NTEXT"), {ftWideMemo, TSized::None}},
        {QStringLiteral("MEMO"), {ftWideMemo, TSized::None}},
        {QStringLiteral("LONGTEXT"), {ftWideMemo, TSized::None}},
        {QStringLiteral("MEDIUMTEXT"), {ftWideMemo, TSized::None}},
        {QStringLiteral("TINYTEXT"), {ftWideMemo, TSized::None}},
        {QStringLiteral("LONG VARCHAR"), {ftWideMemo, TSized::None}},
        {QStringLiteral("VARCHAR"), {ftWideString, TSized::Text}},
        {QStringLiteral("NVARCHAR"), {ftWideString, TSized::Text}},
        {QStringLiteral("VARCHAR2"), {ftWideString, TSized::Text}},
        {QStringLiteral("NVARCHAR2"), {ftWideString, TSized::Text}},
        {QStringLiteral("CHARACTER VARYING"), {ftWideString, TSized::Text}},
        {QStringLiteral("VARYING CHARACTER"), {ftWideString, TSized::Text}},
        {QStringLiteral("NATIVE CHARACTER VARYING"), {ftWideString, TSized::Text}},
        {QStringLiteral("STRING"), {ftWideString, TSized::Text}},
        {QStringLiteral("CHAR"), {ftFixedWideChar, TSized::FixedText}},
        {QStringLiteral("NCHAR"), {ftFixedWideChar, TSized::FixedText}},
        {QStringLiteral("CHARACTER"), {ftFixedWideChar, TSized::FixedText}},
        {QStringLiteral("NATIVE CHARACTER"), {ftFixedWideChar, TSized::FixedText}},
        {QStringLiteral("BLOB"), {ftBlob, TSized::None}},
        {QStringLiteral("IMAGE"), {ftBlob, TSized::None}},
        {QStringLiteral("LONGBLOB"), {ftBlob, TSized::None}},
        {QStringLiteral("MEDIUMBLOB"), {ftBlob, TSized::None}},
        {QStringLiteral("TINYBLOB"), {ftBlob, TSized::None}},
        {QStringLiteral("BYTEA"), {ftBlob, TSized::None}},
        {QStringLiteral("BINARY"), {ftBytes, TSized::Bytes}},
        {QStringLiteral("VARBINARY"), {ftVarBytes, TSized::VarBytes}},
        {QStringLiteral("DATE"), {ftDate, TSized::None}},
        {QStringLiteral("TIME"), {ftTime, TSized::None}},
        {QStringLiteral("DATETIME"), {ftDateTime, TSized::None}},
        {QStringLiteral("DATETIME2"), {ftDateTime, TSized::None}},
        {QStringLiteral("SMALLDATETIME"), {ftDateTime, TSized::None}},
        {QStringLiteral("TIMESTAMP"), {ftDateTime, TSized::None}},
        {QStringLiteral("BOOLEAN"), {ftBoolean, TSized::None}},
        {QStringLiteral("BOOL"), {ftBoolean, TSized::None}},
        {QStringLiteral("BIT"), {ftBoolean, TSized::None}},
        {QStringLiteral("LOGICAL"), {ftBoolean, TSized::None}},
        {QStringLiteral("GUID"), {ftGuid, TSized::None}},
        {QStringLiteral("UUID"), {ftGuid, TSized::None}},
        {QStringLiteral("UNIQUEIDENTIFIER"), {ftGuid, TSized::None}},
    };
    return rules;
}

// "(40)" or "(30, 10)"; values beyond int are clamped, anything unreadable counts as absent (-1).
void ParseArguments(const QString& text, int& first, int& second)
{
    first = second = -1;
    static const QRegularExpression args(
        QStringLiteral("^\\(\\s*([+-]?\\d+)\\s*(?:,\\s*([+-]?\\d+)\\s*)?\\)"));
    QRegularExpressionMatch m = args.match(text);
    if (!m.hasMatch())
        return;
    auto toInt = [](const QString& digits) {
        bool ok = false;
        qlonglong v = digits.toLongLong(&ok);
        if (!ok)
            return digits.startsWith(u'-') ? -1 : INT_MAX;
        return v < 0 ? -1 : static_cast<int>(std::min<qlonglong>(v, INT_MAX));
    };
    first = toInt(m.captured(1));
    if (!m.captured(2).isEmpty())
        second = toInt(m.captured(2));
}

// The database's own affinity rules, for names outside the list.
TFieldDef ByAffinity(const QString& upper, int size)
{
    TFieldDef def;
    if (upper.contains(QLatin1String("INT"))) {
        def.DataType = ftLargeint;
    } else if (upper.contains(QLatin1String("CHAR")) || upper.contains(QLatin1String("CLOB")) ||
               upper.contains(QLatin1String("TEXT"))) {
        def.DataType = size > 0 ? ftWideString : ftWideMemo;
        def.Size = size > 0 ? size : 0;
    } else if (upper.contains(QLatin1String("BLOB"))) {
        def.DataType = ftBlob;
    } else if (upper.contains(QLatin1String("REAL")) || upper.contains(QLatin1String("FLOA")) ||
               upper.contains(QLatin1String("DOUB"))) {
        def.DataType = ftFloat;
    } else {
        // Numeric affinity holds numbers and text alike; text carries either without loss.
        def.DataType = ftWideMemo;
    }
    return def;
}

} // namespace

TFieldDef SQLiteFieldDefFromDeclType(const QString& declaredType)
{
    TFieldDef def;
    QString upper = declaredType.simplified().toUpper();
    if (upper.isEmpty())
        return def;
    qsizetype paren = upper.indexOf(u'(');
    QString name = (paren < 0 ? upper : upper.left(paren)).trimmed();
    int first = -1, second = -1;
    if (paren >= 0)
        ParseArguments(upper.mid(paren), first, second);
    // Trailing words such as "UNSIGNED" or "NOT NULL" copied into the type do not change the kind.
    static const QRegularExpression trailing(QStringLiteral("\\s+(UNSIGNED|SIGNED|ZEROFILL)$"));
    QString bare = name;
    bare.remove(trailing);

    auto it = Rules().constFind(name);
    if (it == Rules().constEnd())
        it = Rules().constFind(bare);
    if (it == Rules().constEnd())
        return ByAffinity(upper, first);

    def.DataType = it->Type;
    switch (it->Sized) {
    case TSized::Text:
    case TSized::FixedText:
        // Without a length the column holds text of any length: a memo, so that no reader cuts it.
        if (first > 0)
            def.Size = first;
        else
            def.DataType = ftWideMemo;
        break;
    case TSized::Bytes:
        if (first > 0)
            def.Size = first;
        else
            def.DataType = ftBlob;
        break;
    case TSized::VarBytes:
        if (first > 0)
            def.Size = first;
        else
            def.DataType = ftBlob;
        break;
    case TSized::Exact:
        def.Size = std::max(first, 0);
        def.Scale = std::max(second, 0);
        break;
    case TSized::None:
        break;
    }
    if (def.DataType == ftCurrency) {
        def.Size = 19;
        def.Scale = 4;
    }
    if (def.DataType == ftGuid)
        def.Size = 38;
    return def;
}
