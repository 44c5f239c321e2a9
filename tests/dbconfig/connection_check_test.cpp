// "Verbindungstest": the window's values against real databases, and the set-up per format.

#include "form_fixture.h"

#include "config/credentials.h"
#include "config/korvin_connector.h"
#include "db/connection.h"
#include "db/db_error.h"
#include "support/test_env.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>

namespace {

const QString kFailure = QStringLiteral("Fehler beim Verbindungsaufbau zur Datenbank: ");
const QString kSuccess = QStringLiteral("Verbindung zur Datenbank erfolgreich hergestellt");

/// A database of its own on the test server: VNH_Version in schema "vnh", nothing in "public".
class TScratchPostgres {
public:
    explicit TScratchPostgres(const TServerParams& server) : FServer(server)
    {
        static int counter = 0;
        FName = QStringLiteral("vnh_cfgtest_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        TConnection admin;
        Setup(admin, QStringLiteral("postgres"));
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists %1").arg(FName));
        admin.ExecSQL(QStringLiteral("create database %1").arg(FName));
        admin.Close();

        TConnection conn;
        Setup(conn, FName);
        conn.Open();
        conn.ExecSQL(QStringLiteral("create schema vnh"));
        conn.ExecSQL(QStringLiteral("create table vnh.VNH_Version (Version integer)"));
        conn.Close();
    }
    ~TScratchPostgres()
    {
        try {
            TConnection admin;
            Setup(admin, QStringLiteral("postgres"));
            admin.Open();
            admin.ExecSQL(QStringLiteral("drop database if exists %1 with (force)").arg(FName));
        } catch (const EDatabaseError&) {
        }
    }
    QString Name() const { return FName; }

private:
    void Setup(TConnection& conn, const QString& database) const
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

class ConnectionCheckTest : public FormTest {
protected:
    /// Runs "Verbindungstest" and gives the one message it showed, error texts marked "E:".
    QString RunTest(TForm1& form)
    {
        Boxes.Errors.clear();
        Boxes.Others.clear();
        form.btnConnectClick();
        EXPECT_EQ(Boxes.Errors.size() + Boxes.Others.size(), 1) << Boxes.Errors.join(" | ").toStdString();
        EXPECT_FALSE(form.Connection().Connected());
        if (!Boxes.Errors.isEmpty())
            return QStringLiteral("E:") + Boxes.Errors.first();
        return Boxes.Others.value(0);
    }

    void FillServer(TForm1& form, const TServerParams& server, const QString& database, const QString& schema)
    {
        SelectFormat(form, QStringLiteral("POSTGRESQL"));
        form.edServer->setText(server.Host);
        form.edPort->setText(QString::number(server.Port));
        form.edUser->setText(server.User);
        form.edPW->setText(server.Password);
        form.edDatabase->setText(database);
        form.edSchema->setText(schema);
    }
};

} // namespace

TEST_F(ConnectionCheckTest, PostgresNeedsTheVersionTableInTheSchema)
{
    VNH_REQUIRE_POSTGRES();
    TServerParams server = *TestPostgres();
    TScratchPostgres db(server);
    auto form = MakeForm();
    FillServer(*form, server, db.Name(), QStringLiteral("vnh"));
    EXPECT_EQ(RunTest(*form), kSuccess);

    // Changed in the window, not saved: the test takes the new values.
    form->edSchema->setText(QStringLiteral("public"));
    QString noTable = RunTest(*form);
    EXPECT_TRUE(noTable.startsWith(QStringLiteral("E:") + kFailure)) << noTable.toStdString();
    EXPECT_TRUE(noTable.contains(QStringLiteral("vnh_version"), Qt::CaseInsensitive))
        << noTable.toStdString();

    form->edSchema->setText(QStringLiteral("vnh"));
    form->edPW->setText(QStringLiteral("wrong-") + server.Password);
    QString badLogin = RunTest(*form);
    EXPECT_TRUE(badLogin.startsWith(QStringLiteral("E:") + kFailure)) << badLogin.toStdString();
    EXPECT_TRUE(badLogin.contains(server.User)) << badLogin.toStdString();

    // A test after a failed one starts afresh.
    form->edPW->setText(server.Password);
    EXPECT_EQ(RunTest(*form), kSuccess);

    // The test runs over IPv4 without SSL and waits at most 15 s for the server.
    TConnection& conn = form->Connection();
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("PostgreSQL.IPVersion")), QStringLiteral("ivIPv4"));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("PostgreSQL.SSLMode")), QStringLiteral("smDisable"));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("PostgreSQL.ConnectionTimeout")), QStringLiteral("15"));
    EXPECT_EQ(conn.SpecificOption(QStringLiteral("PostgreSQL.Schema")), QStringLiteral("vnh"));

    // Without a chosen format the values reach no provider, not even the one of the last test.
    form->cbxDBFormat->setCurrentIndex(-1);
    QString noFormat = RunTest(*form);
    EXPECT_TRUE(noFormat.startsWith(QStringLiteral("E:") + kFailure)) << noFormat.toStdString();
}

// What each server format puts on the connection; nothing listens on port 1, so each test fails.
TEST_F(ConnectionCheckTest, ServerFormatsSetUpTheConnection)
{
    struct TCase {
        const char* Format;
        bool Direct;
        const char* Port;
        int ExpectedPort;
        const char* ProviderName;
        const char* OptionName;
        const char* OptionValue;
    };
    const TCase cases[] = {
        {"MSSQL", true, "1", 1, "SQL Server", "SQL Server.Provider", "prAuto"},
        {"ORACLE", true, "1", 1, "Oracle", "Oracle.Direct", "True"},
        {"ORACLE", false, "", 0, "Oracle", "Oracle.Direct", "False"},
        {"POSTGRESQL", false, "1", 1, "PostgreSQL", "PostgreSQL.Schema", "vnh"},
    };
    auto form = MakeForm();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Format);
        SelectFormat(*form, QString::fromLatin1(c.Format));
        form->edServer->setText(QStringLiteral("127.0.0.1"));
        form->edPort->setText(QString::fromLatin1(c.Port));
        form->edUser->setText(QStringLiteral("vnh"));
        form->edPW->setText(QStringLiteral("pw;x="));
        form->edDatabase->setText(QStringLiteral("vnhdb"));
        form->edSchema->setText(QStringLiteral("vnh"));
        form->chbxDirect->setChecked(c.Direct);

        QString message = RunTest(*form);
        EXPECT_TRUE(message.startsWith(QStringLiteral("E:") + kFailure)) << message.toStdString();
        EXPECT_GT(message.size(), 2 + kFailure.size()) << "the database's text is missing";
        TConnection& conn = form->Connection();
        EXPECT_EQ(conn.ProviderName, QString::fromLatin1(c.ProviderName));
        EXPECT_EQ(conn.Server, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(conn.Port, c.ExpectedPort);
        EXPECT_EQ(conn.Database, QStringLiteral("vnhdb"));
        EXPECT_EQ(conn.Username, QStringLiteral("vnh"));
        EXPECT_EQ(conn.Password, QStringLiteral("pw;x="));
        EXPECT_EQ(conn.SpecificOption(QString::fromLatin1(c.OptionName)), QString::fromLatin1(c.OptionValue));
    }
}

TEST_F(ConnectionCheckTest, AccessUsesTheBuiltInCredentialsAndCreatesNoFile)
{
    const std::pair<const char*, bool> cases[] = {
        {"missing.ACCDB", true}, {"missing.mdb", false}, {"missing", false}, {"missing.accdb.bak", false}};
    auto form = MakeForm();
    SelectFormat(*form, QStringLiteral("MSACCESS"));
    for (const auto& [name, accdb] : cases) {
        SCOPED_TRACE(name);
        QString file = Path(QString::fromLatin1(name));
        form->edDBFile->setText(file);
        QString message = RunTest(*form);
        EXPECT_TRUE(message.startsWith(QStringLiteral("E:") + kFailure)) << message.toStdString();
        EXPECT_FALSE(QFileInfo::exists(file));
        TConnection& conn = form->Connection();
        EXPECT_EQ(conn.ProviderName, QStringLiteral("Access"));
        EXPECT_EQ(conn.Database, file);
        EXPECT_EQ(conn.Username, QStringLiteral("Administrator"));
        EXPECT_EQ(conn.Password, accdb ? GetAccdbPassword() : GetMdbPassword());
        EXPECT_EQ(conn.SpecificOption(QStringLiteral("Access.ExclusiveLock")), QStringLiteral("False"));
        EXPECT_EQ(conn.SpecificOption(QStringLiteral("Access.ForceCreateDatabase")), QStringLiteral("False"));
    }
}

TEST_F(ConnectionCheckTest, OpensAccessFixtures)
{
    QString dir = AccessFixtureDir();
    if (dir.isEmpty())
        GTEST_SKIP() << "no Access fixtures in ../shared/fixtures/access";
    auto form = MakeForm();
    SelectFormat(*form, QStringLiteral("MSACCESS"));
    for (const char* name : {"ace-test.accdb", "jet3-test.mdb"}) {
        SCOPED_TRACE(name);
        form->edDBFile->setText(dir + QLatin1Char('/') + QString::fromLatin1(name));
        EXPECT_EQ(RunTest(*form), kSuccess);
    }
}

// The file the window saves is what the connector opens: same keys, same password protection.
TEST_F(ConnectionCheckTest, ConnectorOpensWhatTheWindowSaved)
{
    VNH_REQUIRE_POSTGRES();
    TServerParams server = *TestPostgres();
    TScratchPostgres db(server);
    auto form = MakeForm();
    FillServer(*form, server, db.Name(), QStringLiteral("vnh"));
    QString file = Path(QStringLiteral("saved.vdbcfg"));
    form->WriteConfigFile(file);

    TConnection conn;
    TKorvinConnector connector(conn);
    connector.SetConnectionFile(file);
    EXPECT_EQ(connector.DBFormat(), QStringLiteral("POSTGRESQL"));
    ASSERT_TRUE(connector.Connect()) << connector.ErrorMessage().toStdString();
    EXPECT_EQ(conn.Password, server.Password);
    conn.Close();
}
