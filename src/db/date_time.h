#pragma once
// Date/time values as days since 1899-12-30 (fraction = time of day), the representation the
// transfer rules are written in: limits, serial numbers and fractions keep their meaning.

#include <QDate>
#include <QDateTime>
#include <QTime>

using TDateTime = double;

/// Days since 1899-12-30 for a calendar date (no time part).
TDateTime EncodeDate(int year, int month, int day);
/// Fraction of a day for a time of day.
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);

QDate DateTimeToQDate(TDateTime value);
QTime DateTimeToQTime(TDateTime value);
QDateTime DateTimeToQDateTime(TDateTime value);
TDateTime QDateToDateTime(const QDate& date);
TDateTime QTimeToDateTime(const QTime& time);
TDateTime QDateTimeToDateTime(const QDateTime& dateTime);

/// The whole days of a value (the date without time).
TDateTime DateOf(TDateTime value);
/// True when the value has a time part (its fraction is not 0).
bool HasTimePart(TDateTime value);
/// Today's date without time, from the local clock.
TDateTime Today();
