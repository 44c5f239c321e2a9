#include "db/db_error.h"
#include "db/odbc/odbc_connect_string.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

TEST(OdbcConnectString, QuotesOnlyWhatCouldChangeTheString)
{
    struct Case {
        QString value;
        QString quoted;
    };
    const Case cases[] = {
        {"", ""},
        {"secret", "secret"},
        {"C:\\Daten\\VNH.accdb", "C:\\Daten\\VNH.accdb"},
        {"pa;ss", "{pa;ss}"},
        {"a=b", "{a=b}"},
        {"{x", "{{x}"},
        {"x}", "{x}}}"},
        {"}", "{}}}"},
        {"p;w}=1;Driver={Evil}", "{p;w}}=1;Driver={Evil}}}"},
        {" lead", "{ lead}"},
        {"trail ", "{trail }"},
        {"Ümlaut€", "Ümlaut€"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuoteOdbcValue(c.value), c.quoted) << c.value.toStdString();
        auto parsed = ParseOdbcConnectString("PWD=" + QuoteOdbcValue(c.value) + ";UID=u");
        ASSERT_TRUE(parsed) << c.value.toStdString();
        ASSERT_EQ(parsed->size(), 2);
        EXPECT_EQ(parsed->at(0).second, c.value);
    }
}

TEST(OdbcConnectString, RejectsWhatCannotBeCarried)
{
    EXPECT_THROW(QuoteOdbcValue(QString("a") + QChar(0) + "b"), EDatabaseError);
    for (const char* key : {"", "a;b", "a=b", "{a}", " a"})
        EXPECT_THROW(BuildOdbcConnectString({{key, "v"}}), EDatabaseError) << key;
}

// Random values from the characters that matter: parsing the built string must give back exactly
// the pairs that went in, so no value can add, drop or change a parameter.
TEST(OdbcConnectString, FuzzedValuesRoundTrip)
{
    const QString alphabet = QStringLiteral(";{}= a\tZ=;}}{{ä");
    QRandomGenerator random(20240611);
    for (int round = 0; round < 5000; ++round) {
        TOdbcParams params;
        int count = 1 + random.bounded(4);
        for (int i = 0; i < count; ++i) {
            QString value;
            int length = random.bounded(12);
            for (int k = 0; k < length; ++k)
                value += alphabet[random.bounded(int(alphabet.size()))];
            params.append({QStringLiteral("K%1").arg(i), value});
        }
        QString built = BuildOdbcConnectString(params);
        auto parsed = ParseOdbcConnectString(built);
        ASSERT_TRUE(parsed) << built.toStdString();
        ASSERT_EQ(*parsed, params) << built.toStdString();
    }
}
