#include "db/db_error.h"
#include "db/field.h"
#include "db/format_settings.h"

#include <gtest/gtest.h>

namespace {

TField MakeField(TFieldType type, int size = 0, int scale = 0)
{
    TFieldDef def;
    def.Name = QStringLiteral("F1");
    def.DataType = type;
    def.Size = size;
    def.Scale = scale;
    return TField(def);
}

// Every test here runs with German formats; the run-wide settings are put back afterwards.
class FieldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSaved = FormatSettings();
        SetFormatSettings({u',', u':'});
    }
    void TearDown() override { SetFormatSettings(FSaved); }

private:
    TFormatSettings FSaved;
};

} // namespace

TEST_F(FieldTest, NullReadsAsEmptyTextAndZero)
{
    for (TFieldType type : {ftWideString, ftInteger, ftLargeint, ftFloat, ftFMTBcd, ftBoolean, ftDate,
                            ftDateTime, ftBlob, ftGuid}) {
        TField field = MakeField(type);
        SCOPED_TRACE(FieldTypeName(type).toStdString());
        EXPECT_TRUE(field.IsNull());
        EXPECT_EQ(field.AsString(), QString());
        EXPECT_EQ(field.AsLargeInt(), 0);
        EXPECT_EQ(field.AsFloat(), 0.0);
        EXPECT_EQ(field.AsDateTime(), 0.0);
        EXPECT_FALSE(field.AsBoolean());
    }
}

TEST_F(FieldTest, FloatTextIsGeneralFormatWithLocaleSeparator)
{
    struct Case {
        double Value;
        const char* Text;
    } cases[] = {
        {3.25, "3,25"},
        {0.1 + 0.2, "0,3"},
        {-2.0, "-2"},
        {1e15, "1E15"},
        {123456789012345.0, "123456789012345"},
        {1.5e20, "1,5E20"},
        {0.0001, "0,0001"},
        {0.00001, "1E-5"},
        {1.0 / 3, "0,333333333333333"},
        {0.0, "0"},
    };
    TField field = MakeField(ftFloat);
    for (const Case& c : cases) {
        field.SetAsFloat(c.Value);
        EXPECT_EQ(field.AsString(), QString::fromUtf8(c.Text)) << c.Value;
    }
    SetFormatSettings({u'.', u':'});
    field.SetAsFloat(3.25);
    EXPECT_EQ(field.AsString(), QStringLiteral("3.25"));
}

TEST_F(FieldTest, TextIsParsedIntoTheFieldsType)
{
    struct Case {
        TFieldType Type;
        const char* Input;
        const char* AsText;
    } cases[] = {
        {ftInteger, " 42 ", "42"},
        {ftLargeint, "-9223372036854775808", "-9223372036854775808"},
        {ftFloat, "3,25", "3,25"},
        {ftFloat, "3.25", "3,25"},
        {ftFloat, "-1.5e3", "-1500"},
        {ftFMTBcd, "00123.4500", "123.4500"},
        {ftFMTBcd, "12345678901234567890,1234567891", "12345678901234567890.1234567891"},
        {ftFMTBcd, "-1.5E-3", "-0.0015"},
        {ftFMTBcd, "-0.00", "0.00"},
        {ftCurrency, "1e2", "100"},
        {ftBoolean, "true", "True"},
        {ftBoolean, "N", "False"},
        {ftDate, "2024-02-29", "2024-02-29"},
        {ftDate, "29.02.2024", "2024-02-29"},
        {ftDate, "2024-02-29 13:05:09", "2024-02-29"},
        {ftDateTime, "2024-01-01 13:05:09", "2024-01-01 13:05:09"},
        {ftDateTime, "2024-01-01T13:05:09.1234567Z", "2024-01-01 13:05:09.123"},
        {ftDateTime, "2024-01-01", "2024-01-01 00:00:00"},
        {ftTime, "13:05", "13:05:00"},
        {ftTime, "2024-01-01 23:59:59.999", "23:59:59.999"},
        {ftGuid, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
        {ftWideString, "O'Brien \\ äöü", "O'Brien \\ äöü"},
    };
    for (const Case& c : cases) {
        TField field = MakeField(c.Type);
        field.SetAsString(QString::fromUtf8(c.Input));
        EXPECT_EQ(field.AsString(), QString::fromUtf8(c.AsText))
            << FieldTypeName(c.Type).toStdString() << " " << c.Input;
        EXPECT_TRUE(field.Assigned());
    }
}

TEST_F(FieldTest, UnconvertibleTextRaisesNamingTheField)
{
    struct Case {
        TFieldType Type;
        const char* Input;
    } cases[] = {
        {ftInteger, "abc"},     {ftInteger, "1,5"},
        {ftSmallint, "40000"},  {ftLargeint, "99999999999999999999"},
        {ftFloat, "1.2.3"},     {ftFloat, "1e999"},
        {ftFMTBcd, "12a"},      {ftBoolean, "vielleicht"},
        {ftDate, "2023-02-29"}, {ftDateTime, "2024-01-01 25:00"},
        {ftGuid, "not-a-guid"},
    };
    for (const Case& c : cases) {
        TField field = MakeField(c.Type);
        try {
            field.SetAsString(QString::fromUtf8(c.Input));
            ADD_FAILURE() << "no error for " << c.Input;
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("'F1'"))) << e.Message().toStdString();
        }
        EXPECT_TRUE(field.IsNull()) << c.Input;
    }
}

TEST_F(FieldTest, EmptyTextEmptiesNonTextFields)
{
    TField number = MakeField(ftInteger);
    number.SetAsInteger(5);
    number.SetAsString(QString());
    EXPECT_TRUE(number.IsNull());
    TField text = MakeField(ftWideString);
    text.SetAsString(QString());
    EXPECT_FALSE(text.IsNull());
}

TEST_F(FieldTest, IntegersKeepTheirRangeAndAsIntegerRaisesBeyond32Bits)
{
    TField big = MakeField(ftLargeint);
    big.SetAsLargeInt(4294967296LL);
    EXPECT_EQ(big.AsLargeInt(), 4294967296LL);
    EXPECT_EQ(big.AsString(), QStringLiteral("4294967296"));
    EXPECT_THROW(big.AsInteger(), EDatabaseError);
    big.SetAsLargeInt(-2147483648LL);
    EXPECT_EQ(big.AsInteger(), -2147483647 - 1);

    TField small = MakeField(ftSmallint);
    EXPECT_THROW(small.SetAsInteger(32768), EDatabaseError);
    EXPECT_THROW(MakeField(ftWord).SetAsInteger(-1), EDatabaseError);
    EXPECT_THROW(MakeField(ftInteger).SetAsLargeInt(2147483648LL), EDatabaseError);

    // A float is rounded to the nearest integer, halves to the even neighbour.
    TField rounded = MakeField(ftInteger);
    rounded.SetAsFloat(2.5);
    EXPECT_EQ(rounded.AsInteger(), 2);
    rounded.SetAsFloat(3.5);
    EXPECT_EQ(rounded.AsInteger(), 4);
    EXPECT_THROW(rounded.SetAsFloat(1e300), EDatabaseError);
}

TEST_F(FieldTest, ExactNumericsNeverPassThroughADouble)
{
    const QString digits = QStringLiteral("12345678901234567890.1234567891");
    TField source = MakeField(ftFMTBcd, 30, 10);
    source.SetAsString(digits);
    TField target = MakeField(ftBCD);
    target.SetAsVariant(source.AsVariant());
    EXPECT_EQ(target.AsString(), digits);
    TField text = MakeField(ftWideMemo);
    text.SetAsVariant(source.AsVariant());
    EXPECT_EQ(text.AsString(), digits);
    EXPECT_DOUBLE_EQ(source.AsFloat(), 12345678901234567890.1234567891);
    TField whole = MakeField(ftFMTBcd);
    whole.SetAsString(QStringLiteral("9223372036854775807.000"));
    EXPECT_EQ(whole.AsLargeInt(), 9223372036854775807LL);
}

TEST_F(FieldTest, VariantsConvertToTheFieldsType)
{
    struct Case {
        TFieldType Type;
        QVariant Value;
        const char* AsText;
    } cases[] = {
        {ftWideString, QVariant(3.25), "3,25"},
        {ftWideString, QVariant(true), "True"},
        {ftWideString, QVariant(qlonglong(7)), "7"},
        {ftInteger, QVariant(QStringLiteral("12")), "12"},
        {ftFloat, QVariant(QStringLiteral("12.5")), "12,5"},
        {ftFMTBcd, QVariant(0.1), "0.1"},
        {ftBoolean, QVariant(qlonglong(1)), "True"},
        {ftBoolean, QVariant(QStringLiteral("False")), "False"},
        {ftDateTime, QVariant(45292.5), "2024-01-01 12:00:00"},
        {ftDate, QVariant(QDate(2024, 1, 1)), "2024-01-01"},
        {ftDateTime, QVariant(QDateTime(QDate(2024, 1, 1), QTime(13, 5, 9))), "2024-01-01 13:05:09"},
        {ftTime, QVariant(QTime(13, 5, 9)), "13:05:09"},
        {ftBlob, QVariant(QByteArray("a\0b", 3)), "a"},
        {ftWideString,
         QVariant(QByteArray("Gr\xc3\xbc\xc3\x9f"
                             "e")),
         "Grüße"},
    };
    for (const Case& c : cases) {
        TField field = MakeField(c.Type);
        field.SetAsVariant(c.Value);
        EXPECT_EQ(field.AsString().left(static_cast<qsizetype>(strlen(c.AsText))),
                  QString::fromUtf8(c.AsText))
            << FieldTypeName(c.Type).toStdString() << " " << c.Value.toString().toStdString();
    }
    TField blob = MakeField(ftBlob);
    blob.SetAsVariant(QByteArray("a\0b", 3));
    EXPECT_EQ(blob.AsBytes(), QByteArray("a\0b", 3));
    blob.SetAsVariant(QVariant());
    EXPECT_TRUE(blob.IsNull());
    EXPECT_THROW(MakeField(ftBlob).SetAsFloat(1.0), EDatabaseError);
    EXPECT_THROW(MakeField(ftBoolean).SetAsDateTime(1.0), EDatabaseError);
}

TEST_F(FieldTest, DateFieldsKeepTheirPartOfTheValue)
{
    TDateTime value = EncodeDate(2024, 1, 1) + EncodeTime(13, 5, 9);
    TField date = MakeField(ftDate);
    date.SetAsDateTime(value);
    EXPECT_EQ(date.AsDateTime(), EncodeDate(2024, 1, 1));
    TField time = MakeField(ftTime);
    time.SetAsDateTime(value);
    EXPECT_DOUBLE_EQ(time.AsDateTime(), EncodeTime(13, 5, 9));
    TField text = MakeField(ftWideString);
    text.SetAsDateTime(EncodeDate(2024, 1, 1));
    EXPECT_EQ(text.AsString(), QStringLiteral("2024-01-01"));
    text.SetAsDateTime(value);
    EXPECT_EQ(text.AsString(), QStringLiteral("2024-01-01 13:05:09"));
}

TEST_F(FieldTest, BinaryTextRoundTripsThroughLatin1)
{
    QByteArray bytes("\x00\xff\x80 z", 5);
    TField blob = MakeField(ftBlob);
    blob.SetAsBytes(bytes);
    QString shown = blob.AsString();
    TField copy = MakeField(ftVarBytes);
    copy.SetAsString(shown);
    EXPECT_EQ(copy.AsBytes(), bytes);
}
