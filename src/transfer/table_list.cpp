#include "transfer/table_list.h"

#include "config/helpers.h"
#include "config/text_file.h"

namespace {

const QString kSep = QStringLiteral(";");

}  // namespace

QString TableNameOfLine(const QString& line)
{
    return GetField(line, kSep, 1);
}

TTableSettings ParseTableLine(const QString& line, const QString& targetFormat)
{
    TTableSettings settings;
    settings.TableName = GetField(line, kSep, 1);
    settings.ShowErr = GetField(line, kSep, 2) == QStringLiteral("+");
    settings.KeyColumns = GetField(line, kSep, 3);
    if (settings.KeyColumns.isEmpty())
        settings.KeyColumns = QStringLiteral("#");
    settings.SkipList = GetField(line, kSep, 4).replace(u',', u';');
    if (targetFormat == QStringLiteral("FIREBIRD"))
        settings.SkipList.clear();
    settings.BlobMode = GetField(line, kSep, 5).compare(QStringLiteral("BLOB"), Qt::CaseInsensitive) == 0;
    return settings;
}

QStringList LoadTableList(const QString& fileName)
{
    return ReadTextLines(fileName);
}

QString KeyCondition(const QString& keyColumns)
{
    const QString comma = QStringLiteral(",");
    QString condition;
    int count = CountFields(keyColumns, comma);
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            condition += QStringLiteral(" and ");
        condition += GetField(keyColumns, comma, i) + QStringLiteral("=-1");
    }
    return condition;
}

bool IsOnColumnList(const QString& list, const QString& column)
{
    if (list.isEmpty())
        return false;
    return (kSep + list + kSep).contains(kSep + column + kSep, Qt::CaseInsensitive);
}
