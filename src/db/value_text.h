#pragma once
// Text forms of numbers and dates shared by the fields and the providers.

#include "db/date_time.h"
#include "db/field_type.h"

#include <QString>
#include <optional>

/// General format of a float: the shortest text of up to 15 significant digits, scientific ("1.5E20",
/// "1E-5") when the decimal exponent is below -4 or at least 15; "NAN", "INF", "-INF" for the rest.
QString FloatToText(double value, QChar decimalSeparator);
/// A float written with "." or `decimalSeparator`, optionally with exponent; surrounding blanks allowed.
std::optional<double> TextToFloat(const QString& text, QChar decimalSeparator);
/// A whole number with optional sign; nothing when it is no number or beyond 64 bits.
std::optional<qint64> TextToInt64(const QString& text);

/// The exact decimal form of a number text ("-" sign, digits, "." and digits, no exponent): leading zeros
/// go, the digits after the point stay as written. Accepts "." or `decimalSeparator` and an exponent.
std::optional<QString> NormalizeDecimalText(const QString& text, QChar decimalSeparator);
/// A double as exact decimal text of its 15 significant digits, without exponent.
QString DoubleToDecimalText(double value);
/// Pads the digits after the point with zeros to `scale` (never cuts).
QString PadDecimalScale(const QString& decimalText, int scale);

/// Parses "yyyy-mm-dd", "dd.mm.yyyy", each optionally followed by a time, or a time alone
/// ("hh:nn[:ss[.fraction]]", with "T" or a blank between date and time; the locale's time separator may
/// stand for ":"; a trailing "Z" or offset is ignored). A time alone gives a fraction of a day.
std::optional<TDateTime> TextToDateTime(const QString& text, QChar timeSeparator = u':');
/// "yyyy-mm-dd" for ftDate, "hh:nn:ss" for ftTime, "yyyy-mm-dd hh:nn:ss" otherwise; milliseconds are
/// added as ".zzz" when the value has them.
QString DateTimeToText(TDateTime value, TFieldType type);

/// "True"/"False", "T"/"F", "Yes"/"No", "Y"/"N", "1"/"0" in any case; nothing for other text.
std::optional<bool> TextToBool(const QString& text);
