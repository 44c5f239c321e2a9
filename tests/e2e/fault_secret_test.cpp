// Passwords stay out of everything the user or a log sees, and values with the separators of a
// connection string stay one value.

#include "e2e_support.h"
#include "fault_support.h"

#include "config/ini_file.h"
#include "db/db_error.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");

// Each would end the value or start another parameter if it were written unquoted.
const QString kAwkwardValues[] = {
    QStringLiteral("a;Port=1"),    QStringLiteral("x}y"),
    QStringLiteral("k=v"),         QStringLiteral("{braced}"),
    QStringLiteral("\"zitat\";x"), QStringLiteral(" rand "),
    QStringLiteral("a=b;c=d}"),    QStringLiteral("' host=127.0.0.2 port=1 \\"),
};

TEST(ConnectStringValues, AwkwardValuesStayOneValue)
{
    for (const QString& value : kAwkwardValues) {
        SCOPED_TRACE(value.toStdString());
        TConnection conn;
        conn.ProviderName = QStringLiteral("MySQL");
        conn.Server = value;
        conn.Database = value;
        conn.Username = value;
        conn.Password = value;
        conn.Port = 3306;
        TConnection copy;
        copy.SetConnectString(conn.ConnectString() + QStringLiteral(";Login Prompt=False"));
        EXPECT_EQ(copy.Server, value);
        EXPECT_EQ(copy.Database, value);
        EXPECT_EQ(copy.Username, value);
        EXPECT_EQ(copy.Password, value);
        EXPECT_EQ(copy.Port, 3306);
        EXPECT_EQ(copy.ConnectString(), conn.ConnectString() + QStringLiteral(";Login Prompt=False"));
    }
}

// The connector completes the connection string of an SQLite file before opening it: a path with
// the separators in it must still name the file.
TEST(ConnectStringValues, SqliteFileInAwkwardFolderOpens)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("a;b=c}d{e"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + QStringLiteral("/vnh.db");
    {
        TConnection creator;
        creator.ProviderName = QStringLiteral("SQLite");
        creator.Database = file;
        creator.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        creator.Open();
        creator.ExecSQL(QStringLiteral("create table VNH_X (ID integer)"));
    }
    QStringList configs;
    for (const char* name : {"src.vdbcfg", "dst.vdbcfg"}) {
        configs << dir.filePath(QString::fromLatin1(name));
        TIniFile ini(configs.last());
        ini.WriteString(kSection, QStringLiteral("ProviderName"), QStringLiteral("SQLITE"));
        ini.WriteString(kSection, QStringLiteral("Database"), file);
        ini.WriteBool(kSection, QStringLiteral("Direct"), true);
    }
    TFakeView view;
    TMigration migration(view);
    EXPECT_EQ(migration.TestConnections(configs[0], configs[1], dir.path()), QString());
    EXPECT_EQ(migration.DstConnection().Database, file);
}

/// A login role of its own on the test server with a password full of separators.
class SecretsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TestPostgres())
            GTEST_SKIP() << "no PostgreSQL test server: run the tests through scripts/test";
        Server = *TestPostgres();
        Role = QStringLiteral("vnh_fault_%1").arg(QCoreApplication::applicationPid());
        Password = QStringLiteral("Gz;7}=x' host=127.0.0.2 port=1 \\ü");
        QString literal = Password;
        literal.replace(QStringLiteral("'"), QStringLiteral("''"));
        Admin()->ExecSQL(QStringLiteral("drop role if exists %1").arg(Role));
        Admin()->ExecSQL(QStringLiteral("create role %1 login password '%2'").arg(Role, literal));
        RoleCreated = true;
    }
    void TearDown() override
    {
        if (!RoleCreated)
            return;
        try {
            auto admin = Admin();
            admin->ExecSQL(
                QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where usename = '%1'")
                    .arg(Role));
            admin->ExecSQL(QStringLiteral("drop role if exists %1").arg(Role));
        } catch (const EDatabaseError&) {
        }
    }

    std::unique_ptr<TConnection> Admin() const
    {
        auto admin = std::make_unique<TConnection>();
        admin->ProviderName = QStringLiteral("PostgreSQL");
        admin->Server = Server.Host;
        admin->Port = Server.Port;
        admin->Username = Server.User;
        admin->Password = Server.Password;
        admin->Database = QStringLiteral("postgres");
        admin->Open();
        return admin;
    }

    /// A configuration file for the role with this password; remembers both forms of it as secrets.
    QString Config(const QString& name, const QString& password)
    {
        TServerParams params = Server;
        params.User = Role;
        params.Password = password;
        const QString fileName = Dir.filePath(name);
        WritePostgresConfig(fileName, params, QStringLiteral("postgres"));
        Secrets << password << TIniFile(fileName).ReadString(kSection, QStringLiteral("Password"), QString());
        return fileName;
    }

    void ExpectNoSecret(const QString& where, const QString& text) const
    {
        for (const QString& secret : Secrets)
            EXPECT_FALSE(text.contains(secret)) << where.toStdString() << " shows a password:\n"
                                                << text.toStdString();
    }

    TServerParams Server;
    QString Role;
    QString Password;
    bool RoleCreated = false;
    QStringList Secrets;
    QTemporaryDir Dir;
};

TEST_F(SecretsTest, FailingLoginsShowNoPassword)
{
    const QString good = Config(QStringLiteral("good.vdbcfg"), Password);
    const QString other = Config(QStringLiteral("other.vdbcfg"), Password);
    const QString wrong = Config(QStringLiteral("wrong.vdbcfg"), QStringLiteral("Falsch;}=pw'\\") + Password);

    // The awkward password is carried whole: the login succeeds.
    TFakeView view;
    TMigration migration(view);
    EXPECT_EQ(migration.TestConnections(good, other, Dir.path()), QString());

    // What the window's error box would show.
    for (const auto& [src, dst] : {std::pair{wrong, good}, std::pair{good, wrong}}) {
        const QString text = migration.TestConnections(src, dst, Dir.path());
        EXPECT_TRUE(text.startsWith(QStringLiteral("Fehler beim Verbindungsaufbau"))) << text.toStdString();
        EXPECT_TRUE(text.contains(Role)) << text.toStdString(); // the server's own text names the user
        ExpectNoSecret(QStringLiteral("the error box"), text);
    }

    // The terminal of a headless run, and every file it leaves.
    if (TransferProgramPath().isEmpty() || !QFileInfo::exists(TransferProgramPath()))
        return;
    const QString tables = Dir.filePath(QStringLiteral("tables.txt"));
    WriteListFile(tables, {QStringLiteral("VNH_X")});
    for (const auto& [src, dst] : {std::pair{wrong, good}, std::pair{good, wrong}}) {
        QProcess program;
        StartProgram(program, {QStringLiteral("--source"), src, QStringLiteral("--target"), dst,
                               QStringLiteral("--tables"), tables, QStringLiteral("--log-dir"), Dir.path(),
                               QStringLiteral("--yes")});
        EXPECT_EQ(FinishProgram(program, 60000), 1);
        ExpectNoSecret(QStringLiteral("the terminal"), QString::fromUtf8(program.readAll()));
    }
    QDirIterator files(Dir.path(), {QStringLiteral("*.log"), QStringLiteral("*.txt")}, QDir::Files);
    while (files.hasNext()) {
        const QString file = files.next();
        ExpectNoSecret(file, QString::fromUtf8(FileBytes(file)));
    }
}

} // namespace
