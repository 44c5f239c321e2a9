#include "db/odbc/odbc_connect_string.h"

#include "db/db_error.h"

namespace {

bool NeedsBraces(const QString& value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    for (QChar c : value) {
        if (c == u';' || c == u'{' || c == u'}' || c == u'=')
            return true;
    }
    return false;
}

void CheckKey(const QString& key)
{
    bool bad = key.isEmpty() || key.front().isSpace() || key.back().isSpace();
    for (QChar c : key)
        bad = bad || c == u';' || c == u'=' || c == u'{' || c == u'}' || c.isNull();
    if (bad)
        throw EDatabaseError(QStringLiteral("Ungültiger Name eines Verbindungsparameters: \"%1\"").arg(key));
}

} // namespace

QString QuoteOdbcValue(const QString& value)
{
    if (value.contains(QChar(0)))
        throw EDatabaseError(QStringLiteral("Ein Verbindungsparameter enthält ein NUL-Zeichen."));
    if (!NeedsBraces(value))
        return value;
    QString quoted = value;
    quoted.replace(u'}', QStringLiteral("}}"));
    return u'{' + quoted + u'}';
}

QString BuildOdbcConnectString(const TOdbcParams& params)
{
    QString result;
    for (const auto& [key, value] : params) {
        CheckKey(key);
        result += key + u'=' + QuoteOdbcValue(value) + u';';
    }
    return result;
}

std::optional<TOdbcParams> ParseOdbcConnectString(const QString& text)
{
    TOdbcParams params;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        qsizetype eq = text.indexOf(u'=', pos);
        if (eq < 0)
            return std::nullopt;
        QString key = text.mid(pos, eq - pos);
        if (key.isEmpty() || key.contains(u';') || key.contains(u'{') || key.contains(u'}'))
            return std::nullopt;
        pos = eq + 1;
        QString value;
        if (pos < n && text[pos] == u'{') {
            ++pos;
            for (;;) {
                if (pos >= n)
                    return std::nullopt;
                if (text[pos] == u'}') {
                    if (pos + 1 < n && text[pos + 1] == u'}') {
                        value += u'}';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value += text[pos++];
            }
            if (pos < n && text[pos] != u';')
                return std::nullopt;
        } else {
            qsizetype end = text.indexOf(u';', pos);
            if (end < 0)
                end = n;
            value = text.mid(pos, end - pos);
            if (value.contains(u'{') || value.contains(u'}') || value.contains(u'='))
                return std::nullopt;
            pos = end;
        }
        params.append({key, value});
        if (pos < n)
            ++pos; // the ";"
    }
    return params;
}
