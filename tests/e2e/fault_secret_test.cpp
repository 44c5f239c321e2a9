// Passwords stay out of everything the user or a log sees, and values with the separators of a
// connection string stay one value.

#include "e2e_support.h"
#include "fault_support.h"

#include "config/ini_file.h"
#include "config/password.h"
#include "db/db_error.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
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

/// Failing logins next to a good one: what the user sees names the failure but no password.
class SecretsTest : public ::testing::Test {
protected:
    /// Remembers both forms of the password of a configuration file as secrets.
    void AddSecrets(const QString& config, const QString& plain)
    {
        Secrets << plain << TIniFile(config).ReadString(kSection, QStringLiteral("Password"), QString());
    }

    void ExpectNoSecret(const QString& where, const QString& text) const
    {
        for (const QString& secret : Secrets)
            EXPECT_FALSE(!secret.isEmpty() && text.contains(secret))
                << where.toStdString() << " shows a password:\n"
                << text.toStdString();
    }

    /// `wrong` as source and as target beside `good`: the text of the window's error box, and the
    /// terminal and files of a headless run.
    void CheckFailingLogins(const QString& good, const QString& wrong, const QString& user)
    {
        TFakeView view;
        TMigration migration(view);
        for (const auto& [src, dst] : {std::pair{wrong, good}, std::pair{good, wrong}}) {
            const QString text = migration.TestConnections(src, dst, Dir.path());
            EXPECT_TRUE(text.startsWith(QStringLiteral("Fehler beim Verbindungsaufbau")))
                << text.toStdString();
            EXPECT_TRUE(text.contains(user)) << text.toStdString(); // the server's own text names the user
            ExpectNoSecret(QStringLiteral("the error box"), text);
        }

        if (TransferProgramPath().isEmpty() || !QFileInfo::exists(TransferProgramPath()))
            return;
        const QString tables = Dir.filePath(QStringLiteral("tables.txt"));
        WriteListFile(tables, {QStringLiteral("VNH_X")});
        for (const auto& [src, dst] : {std::pair{wrong, good}, std::pair{good, wrong}}) {
            QProcess program;
            StartProgram(program, {QStringLiteral("--source"), src, QStringLiteral("--target"), dst,
                                   QStringLiteral("--tables"), tables, QStringLiteral("--log-dir"),
                                   Dir.path(), QStringLiteral("--yes")});
            EXPECT_EQ(FinishProgram(program, 60000), 1);
            ExpectNoSecret(QStringLiteral("the terminal"), QString::fromUtf8(program.readAll()));
        }
        QDirIterator files(Dir.path(), {QStringLiteral("*.log"), QStringLiteral("*.txt")}, QDir::Files);
        while (files.hasNext()) {
            const QString file = files.next();
            ExpectNoSecret(file, QString::fromUtf8(FileBytes(file)));
        }
    }

    QStringList Secrets;
    QTemporaryDir Dir;
};

std::unique_ptr<TConnection> PostgresAdmin()
{
    const TServerParams server = *TestPostgres();
    auto admin = std::make_unique<TConnection>();
    admin->ProviderName = QStringLiteral("PostgreSQL");
    admin->Server = server.Host;
    admin->Port = server.Port;
    admin->Username = server.User;
    admin->Password = server.Password;
    admin->Database = QStringLiteral("postgres");
    admin->Open();
    return admin;
}

/// A login role of its own on the PostgreSQL test server, dropped at the end.
struct TPostgresRole {
    TPostgresRole(const QString& name, const QString& password) : Name(name)
    {
        QString literal = password;
        literal.replace(QStringLiteral("'"), QStringLiteral("''"));
        auto admin = PostgresAdmin();
        admin->ExecSQL(QStringLiteral("drop role if exists %1").arg(Name));
        admin->ExecSQL(QStringLiteral("create role %1 login password '%2'").arg(Name, literal));
    }
    ~TPostgresRole()
    {
        try {
            auto admin = PostgresAdmin();
            admin->ExecSQL(
                QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where usename = '%1'")
                    .arg(Name));
            admin->ExecSQL(QStringLiteral("drop role if exists %1").arg(Name));
        } catch (const EDatabaseError&) {
        }
    }
    QString Name;
};

TEST_F(SecretsTest, FailingPostgresLoginsShowNoPassword)
{
    VNH_REQUIRE_POSTGRES();
    const QString password = QStringLiteral("Gz;7}=x' host=127.0.0.2 port=1 \\ü");
    TPostgresRole role(QStringLiteral("vnh_fault_%1").arg(QCoreApplication::applicationPid()), password);
    auto config = [&](const QString& name, const QString& plain) {
        TServerParams params = *TestPostgres();
        params.User = role.Name;
        params.Password = plain;
        const QString fileName = Dir.filePath(name);
        WritePostgresConfig(fileName, params, QStringLiteral("postgres"));
        AddSecrets(fileName, plain);
        return fileName;
    };
    const QString good = config(QStringLiteral("good.vdbcfg"), password);
    const QString other = config(QStringLiteral("other.vdbcfg"), password);
    const QString wrong = config(QStringLiteral("wrong.vdbcfg"), QStringLiteral("Falsch;}=pw'\\") + password);

    // The awkward password is carried whole: the login succeeds.
    TFakeView view;
    TMigration migration(view);
    EXPECT_EQ(migration.TestConnections(good, other, Dir.path()), QString());

    CheckFailingLogins(good, wrong, role.Name);
}

TEST_F(SecretsTest, FailingMySqlLoginsShowNoPassword)
{
    VNH_REQUIRE_MARIADB();
    TE2EDatabase db(esMySQL);
    const QString good = db.ConfigFile();
    AddSecrets(good, TestMariaDb()->Password);
    const QString wrong = Dir.filePath(QStringLiteral("wrong.vdbcfg"));
    ASSERT_TRUE(QFile::copy(good, wrong));
    const QString wrongPassword = QStringLiteral("Falsch;}{=pw'\\");
    TIniFile(wrong).WriteString(kSection, QStringLiteral("Password"),
                                EncryptPassword(wrongPassword, QString()));
    AddSecrets(wrong, wrongPassword);

    CheckFailingLogins(good, wrong, TestMariaDb()->User);
}

} // namespace
