#include "db/value_text.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdio>

namespace {

QString PlainDigits15(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return QString::fromLatin1(buffer);
}

} // namespace

QString FloatToText(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    QString text = PlainDigits15(value);
    qsizetype e = text.indexOf(u'e');
    if (e >= 0) {
        // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
        QString mantissa = text.left(e);
        int exponent = text.mid(e + 1).toInt();
        text = mantissa + u'E' + QString::number(exponent);
    }
    if (decimalSeparator != u'.')
        text.replace(u'.', decimalSeparator);
    return text;
}

std::optional<double> TextToFloat(const QString& text, QChar decimalSeparator)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"));
    QString t = text.trimmed();
    if (decimalSeparator != u'.')
        t.replace(decimalSeparator, u'.');
    if (!number.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<qint64> TextToInt64(const QString& text)
{
    static const QRegularExpression integer(QStringLiteral("^[+-]?\\d+$"));
    QString t = text.trimmed();
    if (!integer.match(t).hasMatch())
        return std::nullopt;
    if (t.startsWith(u'+'))
        t.remove(0, 1);
    bool ok = false;
    qint64 value = t.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<QString> NormalizeDecimalText(const QString& text, QChar decimalSeparator)
{
    static const QRegularExpression number(
        QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?(?:[eE]([+-]?\\d{1,4}))?$"));
    QString t = text.trimmed();
    if (decimalSeparator != u'.')
        t.replace(decimalSeparator, u'.');
    QRegularExpressionMatch m = number.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    QString intPart = m.captured(2);
    QString fracPart = m.captured(3);
    if (intPart.isEmpty() && fracPart.isEmpty())
        return std::nullopt;
    int exponent = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    if (exponent > 0) {
        // Move the point right, filling with zeros.
        int shift = exponent;
        if (fracPart.size() < shift)
            fracPart += QString(shift - fracPart.size(), u'0');
        intPart += fracPart.left(shift);
        fracPart = fracPart.mid(shift);
    } else if (exponent < 0) {
        int shift = -exponent;
        if (intPart.size() < shift)
            intPart = QString(shift - intPart.size(), u'0') + intPart;
        fracPart = intPart.right(shift) + fracPart;
        intPart.chop(shift);
    }
    qsizetype firstNonZero = 0;
    while (firstNonZero < intPart.size() && intPart.at(firstNonZero) == u'0')
        ++firstNonZero;
    intPart = intPart.mid(firstNonZero);
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    bool allZero = intPart == QLatin1String("0");
    for (QChar ch : fracPart)
        allZero = allZero && ch == u'0';
    QString result = (m.captured(1) == QLatin1String("-") && !allZero) ? QStringLiteral("-") : QString();
    result += intPart;
    if (!fracPart.isEmpty())
        result += u'.' + fracPart;
    return result;
}

QString DoubleToDecimalText(double value)
{
    QString text = PlainDigits15(value);
    if (!text.contains(u'e'))
        return text;
    return NormalizeDecimalText(text, u'.').value_or(text);
}

QString PadDecimalScale(const QString& decimalText, int scale)
{
    if (scale <= 0)
        return decimalText;
    qsizetype point = decimalText.indexOf(u'.');
    qsizetype have = point < 0 ? 0 : decimalText.size() - point - 1;
    if (have >= scale)
        return decimalText;
    QString result = decimalText;
    if (point < 0)
        result += u'.';
    return result + QString(scale - have, u'0');
}

std::optional<TDateTime> TextToDateTime(const QString& text, QChar timeSeparator)
{
    // Built once per separator: a provider parses every date of a result through here.
    struct TPatterns {
        QChar Separator;
        QRegularExpression IsoDate, GermanDate, TimeOnly;
    };
    thread_local std::optional<TPatterns> patterns;
    if (!patterns || patterns->Separator != timeSeparator) {
        QString sep;
        if (timeSeparator != u':') {
            if (timeSeparator == u']' || timeSeparator == u'\\' || timeSeparator == u'^' ||
                timeSeparator == u'-')
                sep += u'\\';
            sep += timeSeparator;
        }
        QString time = QStringLiteral("(\\d{1,2})[:%1](\\d{1,2})(?:[:%1](\\d{1,2})(?:[.,](\\d{1,9}))?)?"
                                      "(?:\\s*(?:Z|[+-]\\d{2}(?::?\\d{2})?))?")
                           .arg(sep);
        patterns = TPatterns{
            timeSeparator,
            QRegularExpression(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})(?:[ T]\\s*%1)?$").arg(time)),
            QRegularExpression(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?:\\s+%1)?$").arg(time)),
            QRegularExpression(QStringLiteral("^%1$").arg(time))};
    }
    const QRegularExpression& isoDate = patterns->IsoDate;
    const QRegularExpression& germanDate = patterns->GermanDate;
    const QRegularExpression& timeOnly = patterns->TimeOnly;

    QString t = text.trimmed();
    QDate date;
    bool hasDate = true;
    int timeGroup = 4;
    QRegularExpressionMatch m = isoDate.match(t);
    if (m.hasMatch()) {
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    } else if ((m = germanDate.match(t)).hasMatch()) {
        date = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    } else if ((m = timeOnly.match(t)).hasMatch()) {
        hasDate = false;
        timeGroup = 1;
    } else {
        return std::nullopt;
    }
    if (hasDate && !date.isValid())
        return std::nullopt;

    int msec = 0;
    QTime clock(0, 0);
    if (!m.captured(timeGroup).isEmpty()) {
        int hour = m.captured(timeGroup).toInt();
        int minute = m.captured(timeGroup + 1).toInt();
        int second = m.captured(timeGroup + 2).isEmpty() ? 0 : m.captured(timeGroup + 2).toInt();
        QString fraction = m.captured(timeGroup + 3);
        if (!fraction.isEmpty()) {
            msec = static_cast<int>(std::lround(QString(QStringLiteral("0.") + fraction).toDouble() * 1000));
            msec = std::min(msec, 999);
        }
        if (hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
        clock = QTime(hour, minute, second, msec);
    }
    if (!hasDate)
        return QTimeToDateTime(clock);
    return QDateTimeToDateTime(QDateTime(date, clock, Qt::UTC));
}

QString DateTimeToText(TDateTime value, TFieldType type)
{
    QDateTime dt = DateTimeToQDateTime(value);
    QString timeFormat = dt.time().msec() != 0 ? QStringLiteral("hh:mm:ss.zzz") : QStringLiteral("hh:mm:ss");
    if (type == ftDate)
        return dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    if (type == ftTime)
        return dt.time().toString(timeFormat);
    return dt.date().toString(QStringLiteral("yyyy-MM-dd")) + u' ' + dt.time().toString(timeFormat);
}

std::optional<bool> TextToBool(const QString& text)
{
    QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("yes") ||
        t == QLatin1String("y") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("f") || t == QLatin1String("no") ||
        t == QLatin1String("n") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}
