#include "db/date_time.h"

#include <cmath>

namespace {

// constexpr, so globals that compute dates while the program starts never see it unset.
constexpr QDate kEpoch = QDate::fromJulianDay(2415019);  // 1899-12-30
constexpr double kMsecPerDay = 86400000.0;

}  // namespace

TDateTime EncodeDate(int year, int month, int day)
{
    return QDateToDateTime(QDate(year, month, day));
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsecPerDay;
}

// Negative values keep their time as a positive fraction: -1.25 is 1899-12-29 06:00.
QDate DateTimeToQDate(TDateTime value)
{
    return kEpoch.addDays(static_cast<qint64>(std::trunc(value)));
}

QTime DateTimeToQTime(TDateTime value)
{
    double fraction = std::fabs(value - std::trunc(value));
    qint64 msecs = std::llround(fraction * kMsecPerDay);
    if (msecs >= static_cast<qint64>(kMsecPerDay))
        msecs = static_cast<qint64>(kMsecPerDay) - 1;
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs));
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    // A time that rounds up to the next day's midnight moves the date on.
    double fraction = std::fabs(value - std::trunc(value));
    qint64 msecs = std::llround(fraction * kMsecPerDay);
    QDate date = DateTimeToQDate(value);
    if (msecs >= static_cast<qint64>(kMsecPerDay)) {
        date = date.addDays(value < 0 ? -1 : 1);
        msecs = 0;
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)), Qt::UTC);
}

TDateTime QDateToDateTime(const QDate& date)
{
    return static_cast<double>(kEpoch.daysTo(date));
}

TDateTime QTimeToDateTime(const QTime& time)
{
    return time.msecsSinceStartOfDay() / kMsecPerDay;
}

TDateTime QDateTimeToDateTime(const QDateTime& dateTime)
{
    double days = QDateToDateTime(dateTime.date());
    double fraction = QTimeToDateTime(dateTime.time());
    return days >= 0 ? days + fraction : days - fraction;
}

TDateTime DateOf(TDateTime value)
{
    return std::trunc(value);
}

bool HasTimePart(TDateTime value)
{
    return value - std::trunc(value) != 0.0;
}

TDateTime Today()
{
    return QDateToDateTime(QDate::currentDate());
}
