#include "db/date_time.h"

#include <gtest/gtest.h>

TEST(DateTime, SerialNumbersFollowTheDayCountSince1899)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(2024, 1, 1), 45292.0);
    EXPECT_EQ(EncodeDate(2024, 1, 1) + EncodeTime(12, 0, 0), 45292.5);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
}

TEST(DateTime, NegativeValuesKeepTheirTimeAsPositiveFraction)
{
    QDateTime dt = DateTimeToQDateTime(-1.25);
    EXPECT_EQ(dt.date(), QDate(1899, 12, 29));
    EXPECT_EQ(dt.time(), QTime(6, 0));
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(dt), -1.25);
}

TEST(DateTime, RoundTripThroughQDateTimeKeepsMilliseconds)
{
    QDateTime dt(QDate(2079, 6, 6), QTime(23, 59, 59, 999), Qt::UTC);
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(dt)), dt);
    EXPECT_TRUE(HasTimePart(45292.5));
    EXPECT_FALSE(HasTimePart(45292.0));
}
