#include "transfer/sql_dialect.h"

#include "db/format_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

enum TDateForm {
    dfSerialNumber, // days since 1899-12-30 as an unquoted number
    dfIsoDate,      // 'yyyy-mm-dd', with time 'yyyy-mm-dd HH:NN:SS'
    dfCompactDate,  // 'yyyymmdd', with time 'yyyymmdd HH:NN:SS'
    dfIsoDateOnly,  // 'yyyy-mm-dd' also when there is a time
    dfIsoDateTime,  // 'yyyy-mm-dd HH:NN:SS' also when there is no time
};

enum TTimeForm {
    tfClock,        // 'HH:NN:SS'
    tfSerialNumber, // the fraction of a day as an unquoted number
    tfDateTime,     // the full date literal of the value (the system has no time-only type)
};

enum TBinaryForm {
    bfNone,         // no literal: the value becomes NULL
    bfHexPrefix,    // 0x0A0B
    bfHexString,    // X'0A0B'
    bfByteaHex,     // '\x0a0b'
    bfHexToRawCall, // hextoraw('0A0B')
};

struct TDialectTraits {
    TDateForm DateForm;
    TTimeForm TimeForm;
    TBinaryForm BinaryForm;
    bool BracketColumns;   // [Name]
    bool EscapeBackslash;  // a backslash in a text literal starts an escape
    bool NationalNonAscii; // N'…' for texts beyond ASCII, so the characters survive any code page
    bool BinaryFloats;     // decimal fractions are not read back exactly: write mantissa and powers of 2
};

// Indexed by TDBProviderType.
constexpr std::array<TDialectTraits, 9> kTraits{{
    /* dbpAccess     */ {dfSerialNumber, tfSerialNumber, bfHexPrefix, true, false, false, false},
    /* dbpSQLite     */ {dfIsoDate, tfClock, bfHexString, false, false, false, true},
    /* dbpMSSQL      */ {dfCompactDate, tfClock, bfHexPrefix, false, false, true, false},
    /* dbpFirebird   */ {dfIsoDateOnly, tfClock, bfHexString, false, false, false, false},
    /* dbpOracle     */ {dfIsoDate, tfDateTime, bfHexToRawCall, false, false, false, false},
    /* dbpMySQL      */ {dfIsoDate, tfClock, bfHexString, false, true, false, false},
    /* dbpNexusDB    */ {dfIsoDateTime, tfClock, bfNone, false, false, false, false},
    /* dbpPostgreSQL */ {dfIsoDate, tfClock, bfByteaHex, false, false, false, false},
    /* dbpUndefined  */ {dfIsoDate, tfClock, bfHexString, false, false, false, false},
}};

const TDialectTraits& TraitsOf(TDBProviderType type)
{
    auto index = static_cast<size_t>(type);
    return kTraits[index < kTraits.size() ? index : static_cast<size_t>(dbpUndefined)];
}

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Appends a number of 0 to 9999 with leading zeros to `width` digits.
void AppendPadded(QString& out, int value, int width)
{
    char digits[4];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < 4);
    for (int i = count; i < width; ++i)
        out += u'0';
    while (count > 0)
        out += QLatin1Char(digits[--count]);
}

void AppendDatePart(QString& out, const QDate& date, bool compact)
{
    // Dates of the years 0 to 9999 are written directly: a literal per row is a hot path.
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day);
    if (date.isValid() && year >= 0 && year <= 9999) {
        AppendPadded(out, year, 4);
        if (!compact)
            out += u'-';
        AppendPadded(out, month, 2);
        if (!compact)
            out += u'-';
        AppendPadded(out, day, 2);
        return;
    }
    QString sep = compact ? QString() : QStringLiteral("-");
    out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')) + sep + TwoDigits(date.month()) +
           sep + TwoDigits(date.day());
}

// Written with the user's time separator, as the platform's date formatting does.
void AppendClockPart(QString& out, const QTime& time)
{
    QChar sep = FormatSettings().TimeSeparator;
    if (time.isValid()) {
        AppendPadded(out, time.hour(), 2);
        out += sep;
        AppendPadded(out, time.minute(), 2);
        out += sep;
        AppendPadded(out, time.second(), 2);
        return;
    }
    out += TwoDigits(time.hour()) + sep + TwoDigits(time.minute()) + sep + TwoDigits(time.second());
}

// Writes a number of 0 to 9999 with leading zeros to `width` digits; returns the end.
char16_t* PutPadded(char16_t* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// A quoted literal of a date, a time, or both separated by a space.
void AppendQuotedDateTime(QString& out, const QDate* date, bool compact, const QTime* time)
{
    int year = 0;
    int month = 0;
    int day = 0;
    if (date)
        date->getDate(&year, &month, &day);
    // The usual values are put together in one buffer: a literal per row is a hot path.
    if ((!date || (date->isValid() && year >= 0 && year <= 9999)) && (!time || time->isValid())) {
        char16_t text[24];
        char16_t* p = text;
        *p++ = u'\'';
        if (date) {
            p = PutPadded(p, year, 4);
            if (!compact)
                *p++ = u'-';
            p = PutPadded(p, month, 2);
            if (!compact)
                *p++ = u'-';
            p = PutPadded(p, day, 2);
        }
        if (date && time)
            *p++ = u' ';
        if (time) {
            const char16_t sep = FormatSettings().TimeSeparator.unicode();
            p = PutPadded(p, time->hour(), 2);
            *p++ = sep;
            p = PutPadded(p, time->minute(), 2);
            *p++ = sep;
            p = PutPadded(p, time->second(), 2);
        }
        *p++ = u'\'';
        out.append(reinterpret_cast<const QChar*>(text), p - text);
        return;
    }
    out += u'\'';
    if (date)
        AppendDatePart(out, *date, compact);
    if (date && time)
        out += u' ';
    if (time)
        AppendClockPart(out, *time);
    out += u'\'';
}

QString QuotedDateTime(const QDate* date, bool compact, const QTime* time)
{
    QString text;
    text.reserve(24);
    AppendQuotedDateTime(text, date, compact, time);
    return text;
}

// The date and time DateTimeToQDateTime gives, without building the date-time for a valid date.
void SplitDateTime(TDateTime value, QDate& date, QTime& time)
{
    constexpr qint64 kMsecPerDay = 86400000;
    date = DateTimeToQDate(value);
    qint64 msecs = std::llround(std::fabs(value - std::trunc(value)) * kMsecPerDay);
    if (msecs >= kMsecPerDay) {
        date = date.addDays(value < 0 ? -1 : 1);
        msecs = 0;
    }
    if (date.isValid()) {
        time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs));
        return;
    }
    QDateTime dateTime = DateTimeToQDateTime(value);
    date = dateTime.date();
    time = dateTime.time();
}

// The general format with up to 15 significant digits and "." as the separator.
QString SerialNumberText(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

TSQLDialect::TSQLDialect(TDBProviderType type) : FType(type) {}

QString TSQLDialect::TextLiteral(const QString& text) const
{
    QString literal;
    literal.reserve(text.size() + 8);
    AppendTextLiteral(literal, text);
    return literal;
}

void TSQLDialect::AppendTextLiteral(QString& out, const QString& text) const
{
    const TDialectTraits& traits = TraitsOf(FType);
    const qsizetype start = out.size();
    out += u'\'';
    // Runs without a character to double are copied whole: a literal per value is a hot path.
    const QChar* chars = text.constData();
    const qsizetype size = text.size();
    qsizetype run = 0;
    bool nonAscii = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t ch = chars[i].unicode();
        nonAscii = nonAscii || ch > 0x7F;
        if (ch == u'\'' || (ch == u'\\' && traits.EscapeBackslash)) {
            out.append(chars + run, i - run + 1);
            out += chars[i];
            run = i + 1;
        }
    }
    out.append(chars + run, size - run);
    out += u'\'';
    if (traits.NationalNonAscii && nonAscii)
        out.insert(start, QLatin1Char('N'));
}

QString TSQLDialect::BooleanLiteral(bool value) const
{
    return value ? QStringLiteral("'1'") : QStringLiteral("'0'");
}

QString TSQLDialect::BinaryLiteral(const QByteArray& bytes) const
{
    switch (TraitsOf(FType).BinaryForm) {
    case bfNone:
        return {};
    case bfHexPrefix:
        return QStringLiteral("0x") + QString::fromLatin1(bytes.toHex().toUpper());
    case bfHexString:
        return QStringLiteral("X'") + QString::fromLatin1(bytes.toHex().toUpper()) + QLatin1Char('\'');
    case bfByteaHex:
        return QStringLiteral("'\\x") + QString::fromLatin1(bytes.toHex()) + QLatin1Char('\'');
    case bfHexToRawCall:
        return QStringLiteral("hextoraw('") + QString::fromLatin1(bytes.toHex().toUpper()) +
               QStringLiteral("')");
    }
    return {};
}

QString TSQLDialect::DateTimeLiteral(TDateTime value) const
{
    QString literal;
    literal.reserve(24);
    AppendDateTimeLiteral(literal, value);
    return literal;
}

void TSQLDialect::AppendDateTimeLiteral(QString& out, TDateTime value) const
{
    TDateForm form = TraitsOf(FType).DateForm;
    bool withTime = HasTimePart(value);
    if (form == dfSerialNumber) {
        out += withTime ? SerialNumberText(value) : QString::number(static_cast<qint64>(std::trunc(value)));
        return;
    }

    // The date of a value whose time rounds up to midnight is the next day, as the formatting shows it.
    QDate date;
    QTime time(0, 0);
    if (withTime)
        SplitDateTime(value, date, time);
    else
        date = DateTimeToQDate(value);
    switch (form) {
    case dfCompactDate:
        AppendQuotedDateTime(out, &date, true, withTime ? &time : nullptr);
        break;
    case dfIsoDateOnly:
        AppendQuotedDateTime(out, &date, false, nullptr);
        break;
    case dfIsoDateTime:
        AppendQuotedDateTime(out, &date, false, &time);
        break;
    default:
        AppendQuotedDateTime(out, &date, false, withTime ? &time : nullptr);
        break;
    }
}

namespace {

// SQLite's text-to-double conversion rounds twice, so some shortest decimal texts come back one unit off.
// A 53-bit integer mantissa scaled by powers of two is exact at every step, also for subnormals.
QString ExactBinaryFloat(double value)
{
    constexpr double kExactIntegerLimit = 9007199254740992.0; // 2^53
    if (value == std::trunc(value) && std::fabs(value) < kExactIntegerLimit)
        return ::FloatLiteral(value);
    int exponent = 0;
    double fraction = std::frexp(value, &exponent);
    auto mantissa = static_cast<qint64>(std::ldexp(fraction, 53));
    exponent -= 53;
    while (mantissa % 2 == 0) {
        mantissa /= 2;
        ++exponent;
    }
    QString text = QStringLiteral("(CAST(%1 AS REAL)").arg(mantissa);
    for (; exponent > 0; exponent -= std::min(exponent, 62))
        text += u'*' + QString::number(qint64(1) << std::min(exponent, 62));
    for (; exponent < 0; exponent += std::min(-exponent, 62))
        text += u'/' + QString::number(qint64(1) << std::min(-exponent, 62));
    return text + u')';
}

} // namespace

QString TSQLDialect::FloatLiteral(double value) const
{
    if (!std::isfinite(value))
        return {};
    return TraitsOf(FType).BinaryFloats ? ExactBinaryFloat(value) : ::FloatLiteral(value);
}

QString TSQLDialect::TimeLiteral(TDateTime value) const
{
    double fraction = std::fabs(value - std::trunc(value));
    switch (TraitsOf(FType).TimeForm) {
    case tfSerialNumber:
        return SerialNumberText(fraction);
    case tfDateTime: {
        const QDate day = DateTimeToQDate(0);
        const QTime clock = DateTimeToQTime(fraction);
        return QuotedDateTime(&day, false, &clock);
    }
    case tfClock:
        break;
    }
    const QTime clock = DateTimeToQTime(fraction);
    return QuotedDateTime(nullptr, false, &clock);
}

QString TSQLDialect::ColumnName(const QString& name) const
{
    if (TraitsOf(FType).BracketColumns)
        return QLatin1Char('[') + name + QLatin1Char(']');
    return name;
}

QString FloatLiteral(double value)
{
    if (!std::isfinite(value))
        return {};
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

bool IsDecimalNumberText(const QString& text)
{
    qsizetype i = 0;
    if (i < text.size() && text[i] == u'-')
        ++i;
    qsizetype digitsBefore = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        ++i;
        ++digitsBefore;
    }
    if (digitsBefore == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != u'.')
        return false;
    ++i;
    qsizetype digitsAfter = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        ++i;
        ++digitsAfter;
    }
    return digitsAfter > 0 && i == text.size();
}
