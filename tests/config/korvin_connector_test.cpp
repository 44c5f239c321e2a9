#include "config/credentials.h"
#include "config/helpers.h"
#include "config/ini_file.h"
#include "config/korvin_connector.h"
#include "config/password.h"
#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");
using TKeys = std::vector<std::pair<QString, QString>>;

/// Writes a configuration file the way the configuration tool does: section erased, keys in order.
void WriteConfig(const QString& fileName, const TKeys& keys)
{
    TIniFile ini(fileName);
    ini.EraseSection(kSection);
    for (const auto& [key, value] : keys)
        ini.WriteString(kSection, key, value);
}

class TConnectorTest : public ::testing::Test {
protected:
    QString Config(const TKeys& keys)
    {
        QString fileName = FDir.filePath(QStringLiteral("conn%1.vdbcfg").arg(++FCount));
        WriteConfig(fileName, keys);
        return fileName;
    }

    QTemporaryDir FDir;
    int FCount = 0;
};

struct TSetupCase {
    const char* Name;
    TKeys Keys;
    const char* DBFormat;
    TDBProviderType Type;
    const char* ProviderName;
    const char* Server;
    int Port;
    const char* User;
    std::vector<std::pair<const char*, const char*>> Options;
};

QString Encrypted(const QString& text)
{
    return EncryptPassword(text, QString());
}

} // namespace

// Every format word and the values its set-up puts on the connection.
TEST_F(TConnectorTest, SetsUpTheConnectionPerFormat)
{
    const QString server = QStringLiteral("db.example");
    const std::vector<TSetupCase> cases = {
        {"mssql in lower case",
         {{"ProviderName", "mssql"},
          {"Server", server},
          {"Port", "1433"},
          {"Database", "vnh"},
          {"Username", "sa"}},
         "MSSQL",
         dbpMSSQL,
         "SQL Server",
         "db.example",
         1433,
         "sa",
         {{"SQL Server.Provider", "prAuto"}}},
        {"MSSQL direct",
         {{"ProviderName", "MSSQL"}, {"Server", server}, {"Direct", "1"}},
         "MSSQL",
         dbpMSSQL,
         "SQL Server",
         "db.example",
         0,
         "",
         {{"SQL Server.Provider", "prDirect"}}},
        {"Oracle direct",
         {{"ProviderName", "ORACLE"}, {"Server", server}, {"Port", "1521"}, {"Direct", "7"}},
         "ORACLE",
         dbpOracle,
         "Oracle",
         "db.example",
         1521,
         "",
         {{"Oracle.Direct", "True"}}},
        {"Oracle, Direct written as a word",
         {{"ProviderName", "Oracle"}, {"Server", server}, {"Direct", "True"}},
         "ORACLE",
         dbpOracle,
         "Oracle",
         "db.example",
         0,
         "",
         {{"Oracle.Direct", "False"}}},
        {"Firebird",
         {{"ProviderName", "FIREBIRD"}, {"Server", server}, {"Port", "3050"}},
         "FIREBIRD",
         dbpFirebird,
         "InterBase",
         "db.example",
         3050,
         "",
         {{"Interbase.Charset", "WIN1252"}, {"Interbase.UseUnicode", "True"}}},
        {"MySQL, hexadecimal port",
         {{"ProviderName", "MYSQL"}, {"Server", server}, {"Port", "0xCEA"}},
         "MYSQL",
         dbpMySQL,
         "MySQL",
         "db.example",
         3306,
         "",
         {}},
        {"NexusDB, port with letters",
         {{"ProviderName", "NEXUSDB"}, {"Server", server}, {"Port", "16000a"}},
         "NEXUSDB",
         dbpNexusDB,
         "NexusDB",
         "db.example",
         0,
         "",
         {}},
        {"PostgreSQL",
         {{"ProviderName", "POSTGRESQL"},
          {"Server", server},
          {"Port", "5432"},
          {"Username", "vnh"},
          {"Schema", "ignored"}},
         "POSTGRESQL",
         dbpPostgreSQL,
         "PostgreSQL",
         "db.example",
         5432,
         "vnh",
         {}},
    };
    for (const TSetupCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TConnection conn;
        conn.LoginPrompt = true;
        TKorvinConnector connector(conn);
        QString file = Config(c.Keys);
        connector.SetConnectionFile(file);
        EXPECT_EQ(connector.ConnectionFile(), file);
        EXPECT_EQ(connector.DBFormat(), QString::fromLatin1(c.DBFormat));
        EXPECT_EQ(connector.DBProviderType(), c.Type);
        EXPECT_EQ(conn.ProviderName, QString::fromLatin1(c.ProviderName));
        EXPECT_EQ(conn.Server, QString::fromLatin1(c.Server));
        EXPECT_EQ(conn.Port, c.Port);
        EXPECT_EQ(conn.Username, QString::fromLatin1(c.User));
        EXPECT_FALSE(conn.LoginPrompt);
        for (const auto& [name, value] : c.Options)
            EXPECT_EQ(conn.SpecificOption(QString::fromLatin1(name)), QString::fromLatin1(value)) << name;
        EXPECT_TRUE(conn.SpecificOption(QStringLiteral("Schema")).isEmpty());
    }
}

TEST_F(TConnectorTest, ServerPasswordIsDecrypted)
{
    TConnection conn;
    TKorvinConnector connector(conn);
    const std::vector<std::pair<QString, QString>> cases = {
        {Encrypted(QStringLiteral("geheim;=Ä")), QStringLiteral("geheim;=Ä")},
        {QString(), QString()},
        {QStringLiteral("plain-text"), QStringLiteral("???")},
    };
    for (const auto& [stored, expected] : cases) {
        connector.SetConnectionFile(Config({{"ProviderName", "POSTGRESQL"}, {"Password", stored}}));
        EXPECT_EQ(conn.Password, expected) << stored.toStdString();
    }
}

TEST_F(TConnectorTest, AccessGetsBuiltInCredentialsByExtension)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {"/data/vnh.accdb", true},      {"/data/VNH.ACCDB", true}, {"/data/vnh.mdb", false},
        {"/data/vnh.accdb.bak", false}, {"/data/vnh", false},      {"/data.accdb/vnh", false},
    };
    for (const auto& [file, accdb] : cases) {
        SCOPED_TRACE(file);
        TConnection conn;
        conn.Server = QStringLiteral("kept");
        conn.Port = 5432;
        TKorvinConnector connector(conn);
        connector.SetConnectionFile(
            Config({{"ProviderName", "MSACCESS"}, {"Database", QString::fromLatin1(file)}}));
        EXPECT_EQ(connector.DBProviderType(), dbpAccess);
        EXPECT_EQ(conn.ProviderName, QStringLiteral("Access"));
        EXPECT_EQ(conn.Database, QString::fromLatin1(file));
        EXPECT_EQ(conn.Port, 0);
        EXPECT_EQ(conn.Username, QStringLiteral("Administrator"));
        EXPECT_EQ(conn.Password, accdb ? GetAccdbPassword() : GetMdbPassword());
        EXPECT_EQ(conn.Server, QStringLiteral("kept"));
    }
    EXPECT_NE(GetAccdbPassword(), GetMdbPassword());
}

TEST_F(TConnectorTest, SQLiteDirectOption)
{
    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(
        Config({{"ProviderName", "SQLITE"}, {"Database", "/data/vnh.db"}, {"Direct", "1"}}));
    EXPECT_EQ(conn.ProviderName, QStringLiteral("SQLite"));
    EXPECT_EQ(conn.Database, QStringLiteral("/data/vnh.db"));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLite.Direct")), QStringLiteral("True"));
    connector.SetConnectionFile(Config({{"ProviderName", "SQLITE"}, {"Database", "/data/vnh.db"}}));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLite.Direct")), QStringLiteral("False"));
}

TEST_F(TConnectorTest, FirebirdClientLibraryIsNextToTheProgram)
{
    QString previous = QDir::currentPath();
    QDir::setCurrent(FDir.path());
    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(Config({{"ProviderName", "FIREBIRD"}}));
    QDir::setCurrent(previous);

    QString library = conn.SpecificOption(QStringLiteral("Interbase.ClientLibrary"));
#ifdef Q_OS_LINUX
    QString programDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    EXPECT_EQ(library, programDir + QStringLiteral("/libfbclient.so.2"));
#else
    EXPECT_EQ(QFileInfo(library).fileName(), QStringLiteral("fbclient.dll"));
#endif
}

// Each call overwrites only what the new file's format sets.
TEST_F(TConnectorTest, KeepsWhatTheNewFormatDoesNotSet)
{
    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(Config({{"ProviderName", "SQLITE"}, {"Database", "a.db"}, {"Direct", "1"}}));
    connector.SetConnectionFile(Config({{"ProviderName", "MSSQL"},
                                        {"Server", "sql1"},
                                        {"Database", "vnh"},
                                        {"Username", "sa"},
                                        {"Password", Encrypted("pw")}}));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLite.Direct")), QStringLiteral("True"));

    connector.SetConnectionFile(Config({{"ProviderName", "SQLITE"}, {"Database", "b.db"}}));
    EXPECT_EQ(conn.ProviderName, QStringLiteral("SQLite"));
    EXPECT_EQ(conn.Server, QStringLiteral("sql1"));
    EXPECT_EQ(conn.Username, QStringLiteral("sa"));
    EXPECT_EQ(conn.Password, QStringLiteral("pw"));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQL Server.Provider")), QStringLiteral("prAuto"));

    // An unknown word and a missing file set the server values but no provider name.
    connector.SetConnectionFile(Config({{"ProviderName", "db2"}, {"Server", "other"}, {"Database", "x"}}));
    EXPECT_EQ(connector.DBFormat(), QStringLiteral("DB2"));
    EXPECT_EQ(connector.DBProviderType(), dbpUndefined);
    EXPECT_EQ(conn.ProviderName, QStringLiteral("SQLite"));
    EXPECT_EQ(conn.Server, QStringLiteral("other"));

    connector.SetConnectionFile(FDir.filePath(QStringLiteral("missing.vdbcfg")));
    EXPECT_EQ(connector.DBFormat(), QString());
    EXPECT_EQ(connector.DBProviderType(), dbpUndefined);
    EXPECT_EQ(conn.ProviderName, QStringLiteral("SQLite"));
    EXPECT_EQ(conn.Server, QString());
    EXPECT_EQ(conn.Database, QString());
    EXPECT_EQ(conn.Username, QString());
}

TEST(TConnectorMapping, FormatWordsAreCaseSensitive)
{
    EXPECT_EQ(TKorvinConnector::DBFormatToProviderType(QStringLiteral("MSACCESS")), dbpAccess);
    EXPECT_EQ(TKorvinConnector::DBFormatToProviderType(QStringLiteral("POSTGRESQL")), dbpPostgreSQL);
    EXPECT_EQ(TKorvinConnector::DBFormatToProviderType(QStringLiteral("mssql")), dbpUndefined);
    EXPECT_EQ(TKorvinConnector::DBFormatToProviderType(QString()), dbpUndefined);
}

// The before-connect parameters are appended once, and only for the formats that take them.
TEST_F(TConnectorTest, BeforeConnectCompletesConnectStringOnce)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {"MSACCESS", true}, {"SQLITE", true},  {"FIREBIRD", true},    {"MYSQL", true},
        {"MSSQL", false},   {"ORACLE", false}, {"POSTGRESQL", false}, {"NEXUSDB", false},
    };
    for (const auto& [format, completes] : cases) {
        SCOPED_TRACE(format);
        TConnection conn;
        TKorvinConnector connector(conn);
        connector.SetConnectionFile(Config({{"ProviderName", QString::fromLatin1(format)},
                                            {"Database", "vnh.mdb"},
                                            {"Password", Encrypted("a;b=c")}}));
        QString before = conn.ConnectString();
        conn.BeforeConnect(conn);
        conn.BeforeConnect(conn);
        QString after = conn.ConnectString();
        if (!completes) {
            EXPECT_EQ(after, before);
            continue;
        }
        EXPECT_EQ(after.count(QStringLiteral("Use Unicode=True"), Qt::CaseInsensitive), 1)
            << after.toStdString();
        EXPECT_TRUE(after.endsWith(QStringLiteral(";Use Unicode=True;Login Prompt=False")))
            << after.toStdString();
        // Completing the string must not disturb the credentials in it.
        EXPECT_EQ(conn.Database, QStringLiteral("vnh.mdb"));
        if (QString::fromLatin1(format) == QLatin1String("FIREBIRD") ||
            QString::fromLatin1(format) == QLatin1String("MYSQL")) {
            EXPECT_EQ(conn.Password, QStringLiteral("a;b=c"));
        }
    }
}

TEST_F(TConnectorTest, BeforeConnectKeepsParametersAlreadyThere)
{
    TConnection conn;
    conn.SetConnectString(QStringLiteral("use unicode=TRUE"));
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(Config({{"ProviderName", "MSACCESS"}, {"Database", "vnh.mdb"}}));
    conn.BeforeConnect(conn);
    QString after = conn.ConnectString();
    EXPECT_EQ(after.count(QStringLiteral("Use Unicode=True"), Qt::CaseInsensitive), 1) << after.toStdString();
    EXPECT_TRUE(after.endsWith(QStringLiteral(";Login Prompt=False"))) << after.toStdString();
}

TEST_F(TConnectorTest, ConnectionOutlivingItsConnectorIsNotCompleted)
{
    TConnection conn;
    {
        TKorvinConnector connector(conn);
        connector.SetConnectionFile(Config({{"ProviderName", "MSACCESS"}, {"Database", "vnh.mdb"}}));
    }
    QString before = conn.ConnectString();
    ASSERT_TRUE(conn.BeforeConnect);
    conn.BeforeConnect(conn);
    EXPECT_EQ(conn.ConnectString(), before);
}

// ---- Opening real databases -------------------------------------------------------------------

class TConnectorSQLiteTest : public TConnectorTest {
protected:
    /// Creates an SQLite database file with a version table.
    QString CreateDatabase(const QString& name)
    {
        QString path = FDir.filePath(name);
        TConnection conn;
        conn.ProviderName = QStringLiteral("SQLite");
        conn.Database = path;
        conn.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        conn.Open();
        conn.ExecSQL(QStringLiteral("create table VNH_Version (Version integer)"));
        conn.ExecSQL(QStringLiteral("insert into VNH_Version values (42)"));
        conn.Close();
        return path;
    }
};

TEST_F(TConnectorSQLiteTest, OpensPlainFileWithAndWithoutDirect)
{
    QString db = CreateDatabase(QStringLiteral("vnh.db"));
    for (const char* direct : {"1", "0"}) {
        SCOPED_TRACE(direct);
        TConnection conn;
        TKorvinConnector connector(conn);
        connector.SetConnectionFile(
            Config({{"ProviderName", "SQLITE"}, {"Database", db}, {"Direct", direct}}));
        ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
        EXPECT_EQ(connector.ErrorMessage(), QString());
        EXPECT_TRUE(conn.Connected());
        TQuery query(conn);
        query.SetSQL(QStringLiteral("select Version from VNH_Version"));
        query.Open();
        EXPECT_EQ(query.FieldByName(QStringLiteral("Version")).AsInteger(), 42);
        query.Close();
        // Whatever the keyed attempt did, the plain one ran last.
        EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLite.EncryptionKey")), QString());
        EXPECT_EQ(conn.SpecificOption(QStringLiteral("SQLite.EncryptionAlgorithm")),
                  QString::fromLatin1(direct) == QLatin1String("0") ? QStringLiteral("leBlowfish")
                                                                    : QString());

        // A second opening adds nothing to the connection string.
        QString connectString = conn.ConnectString();
        EXPECT_EQ(connectString.count(QStringLiteral("Use Unicode=True"), Qt::CaseInsensitive), 1);
        EXPECT_EQ(connectString.count(QStringLiteral("Login Prompt=False"), Qt::CaseInsensitive), 1);
        ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
        EXPECT_EQ(conn.ConnectString(), connectString);
    }
}

TEST_F(TConnectorSQLiteTest, FailureGivesThePlainAttemptsText)
{
    QString db = FDir.filePath(QStringLiteral("no-such-folder/vnh.db"));
    for (const char* direct : {"1", "0"}) {
        SCOPED_TRACE(direct);
        TConnection conn;
        TKorvinConnector connector(conn);
        connector.SetConnectionFile(
            Config({{"ProviderName", "SQLITE"}, {"Database", db}, {"Direct", direct}}));
        EXPECT_FALSE(connector.Connect());
        EXPECT_FALSE(connector.ErrorMessage().isEmpty());
        EXPECT_FALSE(conn.Connected());

        // The plain attempt alone gives the same text.
        TConnection plain;
        plain.ProviderName = QStringLiteral("SQLite");
        plain.Database = db;
        try {
            plain.Open();
            ADD_FAILURE() << "opening a file in a missing folder succeeded";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(connector.ErrorMessage(), e.Message());
        }
    }
}

TEST_F(TConnectorTest, OpensAccessFixture)
{
    QString dir = AccessFixtureDir();
    if (dir.isEmpty())
        GTEST_SKIP() << "no Access fixtures in ../shared/fixtures/access";
    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(
        Config({{"ProviderName", "MSACCESS"}, {"Database", dir + QStringLiteral("/ace-test.accdb")}}));
    ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
    TQuery query(conn);
    query.SetSQL(QStringLiteral("select * from Table1"));
    query.Open();
    EXPECT_FALSE(query.Eof());
    query.Close();
    QString connectString = conn.ConnectString();
    EXPECT_TRUE(connectString.endsWith(QStringLiteral(";Use Unicode=True;Login Prompt=False")))
        << connectString.toStdString();
    ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
    EXPECT_EQ(conn.ConnectString(), connectString);
}

TEST_F(TConnectorTest, ConnectWithoutProviderReportsTheLayersText)
{
    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(Config({{"ProviderName", "DB2"}, {"Server", "127.0.0.1"}}));
    EXPECT_FALSE(connector.Connect());
    EXPECT_FALSE(connector.ErrorMessage().isEmpty());
}

namespace {

/// A database of its own on the test server, with a version table; dropped again at the end.
class TScratchPostgres {
public:
    explicit TScratchPostgres(const TServerParams& server) : FServer(server)
    {
        static int counter = 0;
        FName = QStringLiteral("vnh_conn_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        TConnection admin;
        AdminSetup(admin, QStringLiteral("postgres"));
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists %1").arg(FName));
        admin.ExecSQL(QStringLiteral("create database %1").arg(FName));
        admin.Close();

        TConnection conn;
        AdminSetup(conn, FName);
        conn.Open();
        conn.ExecSQL(QStringLiteral("create table VNH_Version (Version integer)"));
        conn.ExecSQL(QStringLiteral("insert into VNH_Version values (7)"));
        conn.Close();
    }
    ~TScratchPostgres()
    {
        try {
            TConnection admin;
            AdminSetup(admin, QStringLiteral("postgres"));
            admin.Open();
            admin.ExecSQL(QStringLiteral("drop database if exists %1 with (force)").arg(FName));
        } catch (const EDatabaseError&) {
        }
    }
    QString Name() const { return FName; }

private:
    void AdminSetup(TConnection& conn, const QString& database) const
    {
        conn.ProviderName = QStringLiteral("PostgreSQL");
        conn.Server = FServer.Host;
        conn.Port = FServer.Port;
        conn.Username = FServer.User;
        conn.Password = FServer.Password;
        conn.Database = database;
    }

    TServerParams FServer;
    QString FName;
};

} // namespace

TEST_F(TConnectorTest, ConnectsToPostgres)
{
    VNH_REQUIRE_POSTGRES();
    TServerParams server = *TestPostgres();
    TScratchPostgres db(server);
    auto config = [&](const QString& password) {
        return Config({{"ProviderName", "POSTGRESQL"},
                       {"ProviderType", "POSTGRESQL"},
                       {"Server", server.Host},
                       {"Port", QString::number(server.Port)},
                       {"Database", db.Name()},
                       {"Username", server.User},
                       {"Password", Encrypted(password)},
                       {"Direct", "0"},
                       {"Schema", "public"}});
    };

    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(config(QStringLiteral("wrong-") + server.Password));
    EXPECT_FALSE(connector.Connect());
    EXPECT_TRUE(connector.ErrorMessage().contains(QStringLiteral("password authentication failed")))
        << connector.ErrorMessage().toStdString();
    EXPECT_FALSE(conn.Connected());

    connector.SetConnectionFile(config(server.Password));
    ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
    EXPECT_EQ(connector.ErrorMessage(), QString());
    EXPECT_EQ(connector.DBFormat(), QStringLiteral("POSTGRESQL"));
    TQuery query(conn);
    query.SetSQL(QStringLiteral("select Version from VNH_Version"));
    query.Open();
    EXPECT_EQ(query.FieldByName(QStringLiteral("Version")).AsInteger(), 7);
    query.Close();
    EXPECT_FALSE(conn.ConnectString().contains(QStringLiteral("Use Unicode"), Qt::CaseInsensitive));
    conn.Close();
}
