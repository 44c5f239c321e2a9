#include "db/postgres/pg_sql.h"

#include <QSet>
#include <QStringList>

namespace {

// Reserved words and words that cannot name a column (keywords of the "reserved" and "type or
// function name" categories of the server's grammar).
const QSet<QString>& ReservedWords()
{
    static const QSet<QString> words = [] {
        const char* list[] = {"all",
                              "analyse",
                              "analyze",
                              "and",
                              "any",
                              "array",
                              "as",
                              "asc",
                              "asymmetric",
                              "authorization",
                              "binary",
                              "both",
                              "case",
                              "cast",
                              "check",
                              "collate",
                              "collation",
                              "column",
                              "concurrently",
                              "constraint",
                              "create",
                              "cross",
                              "current_catalog",
                              "current_date",
                              "current_role",
                              "current_schema",
                              "current_time",
                              "current_timestamp",
                              "current_user",
                              "default",
                              "deferrable",
                              "desc",
                              "distinct",
                              "do",
                              "else",
                              "end",
                              "except",
                              "false",
                              "fetch",
                              "for",
                              "foreign",
                              "freeze",
                              "from",
                              "full",
                              "grant",
                              "group",
                              "having",
                              "ilike",
                              "in",
                              "initially",
                              "inner",
                              "intersect",
                              "into",
                              "is",
                              "isnull",
                              "join",
                              "lateral",
                              "leading",
                              "left",
                              "like",
                              "limit",
                              "localtime",
                              "localtimestamp",
                              "natural",
                              "not",
                              "notnull",
                              "null",
                              "offset",
                              "on",
                              "only",
                              "or",
                              "order",
                              "outer",
                              "overlaps",
                              "placing",
                              "primary",
                              "references",
                              "returning",
                              "right",
                              "select",
                              "session_user",
                              "similar",
                              "some",
                              "symmetric",
                              "table",
                              "tablesample",
                              "then",
                              "to",
                              "trailing",
                              "true",
                              "union",
                              "unique",
                              "user",
                              "using",
                              "variadic",
                              "verbose",
                              "when",
                              "where",
                              "window",
                              "with"};
        QSet<QString> set;
        for (const char* word : list)
            set.insert(QString::fromLatin1(word));
        return set;
    }();
    return words;
}

// Letters beyond ASCII may stand unquoted; the server folds only A-Z.
bool IsNameStart(QChar c, bool upperAllowed)
{
    return (c >= u'a' && c <= u'z') || c == u'_' || c.unicode() >= 0x80 ||
           (upperAllowed && c >= u'A' && c <= u'Z');
}

bool IsNamePart(QChar c, bool upperAllowed)
{
    return IsNameStart(c, upperAllowed) || (c >= u'0' && c <= u'9') || c == u'$';
}

bool StandsUnquoted(const QString& name, bool upperAllowed)
{
    if (name.isEmpty() || !IsNameStart(name[0], upperAllowed))
        return false;
    for (QChar c : name) {
        if (!IsNamePart(c, upperAllowed))
            return false;
    }
    return !ReservedWords().contains(name.toLower());
}

QString Quoted(const QString& name)
{
    QString text = name;
    text.replace(u'"', QLatin1String("\"\""));
    return u'"' + text + u'"';
}

// Splits at dots outside double quotes.
QStringList SplitQualified(const QString& name)
{
    QStringList parts;
    QString part;
    bool quoted = false;
    for (QChar c : name) {
        if (c == u'"')
            quoted = !quoted;
        if (c == u'.' && !quoted) {
            parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    parts << part;
    return parts;
}

} // namespace

QString PgExactName(const QString& name)
{
    return StandsUnquoted(name, false) ? name : Quoted(name);
}

QString PgTableName(const QString& table)
{
    QStringList parts = SplitQualified(table.trimmed());
    for (QString& part : parts) {
        if (part.size() >= 2 && part.startsWith(u'"') && part.endsWith(u'"'))
            continue;
        if (StandsUnquoted(part, true))
            continue;
        // A reserved word is meant in the case the plain statements would fold it to.
        part = Quoted(ReservedWords().contains(part.toLower()) ? part.toLower() : part);
    }
    return parts.join(u'.');
}

QString PgLeadingKeyword(const QString& sql)
{
    int i = 0;
    const int n = static_cast<int>(sql.size());
    while (i < n) {
        QChar c = sql[i];
        if (c.isSpace() || c == u'(') {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            int close = sql.indexOf(QLatin1String("*/"), i + 2);
            i = close < 0 ? n : close + 2;
        } else {
            break;
        }
    }
    int start = i;
    while (i < n && (sql[i].isLetter() || sql[i] == u'_'))
        ++i;
    return sql.mid(start, i - start).toLower();
}

bool IsPgSessionSetting(const QString& sql)
{
    if (PgLeadingKeyword(sql) != QLatin1String("set"))
        return false;
    QStringList words = sql.simplified().toLower().split(u' ');
    if (words.size() < 2)
        return false;
    const QString& second = words[1];
    return second != QLatin1String("local") && second != QLatin1String("transaction") &&
           second != QLatin1String("constraints") &&
           !(second == QLatin1String("session") && words.size() > 2 &&
             words[2] == QLatin1String("characteristics"));
}

QString PgStripTrailingSemicolons(const QString& sql)
{
    int end = static_cast<int>(sql.size());
    while (end > 0 && (sql[end - 1].isSpace() || sql[end - 1] == u';'))
        --end;
    return sql.left(end);
}
