#include "db/connection.h"
#include "db/db_error.h"
#include "db/driver.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ConnectString, PropertiesAreWrittenAsNamedPairs)
{
    TConnection conn;
    conn.ProviderName = QStringLiteral("PostgreSQL");
    conn.Server = QStringLiteral("db1");
    conn.Port = 5432;
    conn.Database = QStringLiteral("vnh");
    conn.Username = QStringLiteral("anna");
    conn.Password = QStringLiteral("a;b\"c");
    EXPECT_EQ(conn.ConnectString(),
              QStringLiteral("Provider Name=PostgreSQL;Server=db1;Port=5432;Database=vnh;"
                             "User ID=anna;Password=\"a;b\"\"c\""));

    TConnection copy;
    copy.SetConnectString(conn.ConnectString());
    EXPECT_EQ(copy.Password, QStringLiteral("a;b\"c"));
    EXPECT_EQ(copy.Port, 5432);
    EXPECT_EQ(copy.ConnectString(), conn.ConnectString());
}

TEST(ConnectString, ParsingSetsPropertiesAndKeepsExtraParametersInOrder)
{
    TConnection conn;
    conn.Server = QStringLiteral("old");
    conn.SetConnectString(QStringLiteral(" provider name = SQLite ;database=\"C:\\daten;neu\\vnh.db\";"
                                         "Use Unicode=True;LOGIN PROMPT=False;Extra= x y ;"));
    EXPECT_EQ(conn.ProviderName, QStringLiteral("SQLite"));
    EXPECT_EQ(conn.Database, QStringLiteral("C:\\daten;neu\\vnh.db"));
    EXPECT_EQ(conn.Server, QString()); // not named: back to its default
    EXPECT_FALSE(conn.LoginPrompt);
    EXPECT_EQ(conn.ExtraParam(QStringLiteral("use unicode")), QStringLiteral("True"));
    EXPECT_EQ(conn.ExtraParam(QStringLiteral("Extra")), QStringLiteral("x y"));
    EXPECT_EQ(conn.ConnectString(), QStringLiteral("Provider Name=SQLite;Database=\"C:\\daten;neu\\vnh.db\";"
                                                   "Use Unicode=True;Login Prompt=False;Extra=x y"));

    for (const char* bad : {"Server", "Port=abc", "=x", "Password=\"open"})
        EXPECT_THROW(conn.SetConnectString(QString::fromLatin1(bad)), EDatabaseError) << bad;
}

TEST(ConnectString, BeforeConnectRunsOnEveryOpeningAndMayAppendParameters)
{
    QTemporaryDir dir;
    TConnection conn;
    conn.ProviderName = QStringLiteral("SQLite");
    conn.Database = dir.filePath(QStringLiteral("a.db"));
    conn.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
    int calls = 0;
    conn.BeforeConnect = [&calls](TConnection& sender) {
        ++calls;
        QString text = sender.ConnectString();
        if (!text.contains(QLatin1String("Use Unicode=True"), Qt::CaseInsensitive))
            text += QLatin1String(";Use Unicode=True");
        if (!text.contains(QLatin1String("Login Prompt=False"), Qt::CaseInsensitive))
            text += QLatin1String(";Login Prompt=False");
        sender.SetConnectString(text);
    };
    conn.Open();
    EXPECT_TRUE(conn.Connected());
    EXPECT_TRUE(conn.ConnectString().endsWith(QLatin1String(";Use Unicode=True;Login Prompt=False")))
        << conn.ConnectString().toStdString();
    QString afterFirst = conn.ConnectString();
    conn.Close();
    conn.Open();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(conn.ConnectString(), afterFirst);
}

TEST(Connection, ProviderWithoutDriverFailsToOpenNamingIt)
{
    for (const char* provider : {"InterBase", "NexusDB", "Gibtsnicht"}) {
        TConnection conn;
        conn.ProviderName = QString::fromLatin1(provider);
        try {
            conn.Open();
            ADD_FAILURE() << provider;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(
                e.Message(),
                QStringLiteral("Für den Provider \"%1\" ist kein Datenbanktreiber vorhanden").arg(provider));
        }
        EXPECT_FALSE(conn.Connected());
    }
    TConnection none;
    EXPECT_THROW(none.Open(), EDatabaseError);
    EXPECT_THROW(none.ExecSQL(QStringLiteral("select 1")), EDatabaseError);
}

TEST(Connection, ProvidersAndOptionsAreFoundWithoutRegardToCase)
{
    EXPECT_NE(CreateDriver(QStringLiteral("sqlite")), nullptr);
    EXPECT_EQ(CreateDriver(QStringLiteral("InterBase")), nullptr);

    TConnection conn;
    conn.SetSpecificOption(QStringLiteral("SQLite.EncryptionKey"), QStringLiteral("geheim"));
    conn.SetSpecificOption(QStringLiteral("sqlite.encryptionkey"), QString());
    EXPECT_EQ(conn.SpecificOptions().size(), 1);
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLITE.ENCRYPTIONKEY")), QString());
}
