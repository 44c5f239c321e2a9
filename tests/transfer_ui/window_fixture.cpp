#include "window_fixture.h"

#include "config/ini_file.h"
#include "config/password.h"
#include "db/db_error.h"
#include "db/field.h"
#include "db/query.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

QStringList TScriptedBoxes::Texts(const QString& kind) const
{
    QStringList texts;
    for (const TShownBox& box : Shown)
        if (box.Kind == kind)
            texts << box.Text;
    return texts;
}

TTestDb::TTestDb(TTestSystem system, const QString& dir, const QString& name) : FSystem(system)
{
    if (system == tsSQLite) {
        FFile = dir + QStringLiteral("/") + name + QStringLiteral(".db");
    } else {
        static int counter = 0;
        FName = QStringLiteral("vnh_twin_%1_%2_%3")
                    .arg(name.toLower())
                    .arg(QCoreApplication::applicationPid())
                    .arg(++counter);
        TConnection admin;
        SetUp(admin);
        admin.Database = QStringLiteral("postgres");
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists ") + FName);
        admin.ExecSQL(QStringLiteral("create database ") + FName);
    }
    FConnection = std::make_unique<TConnection>();
    SetUp(*FConnection);
    FConnection->Open();
}

TTestDb::~TTestDb()
{
    FConnection.reset();
    if (FSystem != tsPostgreSQL)
        return;
    try {
        TConnection admin;
        SetUp(admin);
        admin.Database = QStringLiteral("postgres");
        admin.Open();
        admin.ExecSQL(QStringLiteral("drop database if exists ") + FName + QStringLiteral(" with (force)"));
    } catch (const EDatabaseError&) {
    }
}

void TTestDb::SetUp(TConnection& connection) const
{
    if (FSystem == tsSQLite) {
        connection.ProviderName = QStringLiteral("SQLite");
        connection.Database = FFile;
        connection.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        return;
    }
    const TServerParams server = *TestPostgres();
    connection.ProviderName = QStringLiteral("PostgreSQL");
    connection.Server = server.Host;
    connection.Port = server.Port;
    connection.Username = server.User;
    connection.Password = server.Password;
    connection.Database = FName;
}

void TTestDb::Exec(const QString& sql)
{
    FConnection->ExecSQL(sql);
}

void TTestDb::ExecAll(const QStringList& statements)
{
    FConnection->StartTransaction();
    for (const QString& sql : statements)
        FConnection->ExecSQL(sql);
    FConnection->Commit();
}

qint64 TTestDb::Count(const QString& table)
{
    TQuery query(*FConnection);
    query.SetSQL(QStringLiteral("select count(*) as n from ") + table);
    query.Open();
    return query.FieldByName(QStringLiteral("n")).AsLargeInt();
}

QString TTestDb::WriteConfig(const QString& fileName) const
{
    TIniFile ini(fileName);
    const QString section = QStringLiteral("Korvinconnection");
    if (FSystem == tsSQLite) {
        ini.WriteString(section, QStringLiteral("ProviderName"), QStringLiteral("SQLITE"));
        ini.WriteString(section, QStringLiteral("ProviderType"), QStringLiteral("SQLITE"));
        ini.WriteString(section, QStringLiteral("Database"), FFile);
        ini.WriteBool(section, QStringLiteral("Direct"), true);
        return fileName;
    }
    const TServerParams server = *TestPostgres();
    ini.WriteString(section, QStringLiteral("ProviderName"), QStringLiteral("POSTGRESQL"));
    ini.WriteString(section, QStringLiteral("ProviderType"), QStringLiteral("POSTGRESQL"));
    ini.WriteString(section, QStringLiteral("Server"), server.Host);
    ini.WriteInteger(section, QStringLiteral("Port"), server.Port);
    ini.WriteString(section, QStringLiteral("Database"), FName);
    ini.WriteString(section, QStringLiteral("Username"), server.User);
    ini.WriteString(section, QStringLiteral("Password"), EncryptPassword(server.Password, QString()));
    ini.WriteBool(section, QStringLiteral("Direct"), false);
    ini.WriteString(section, QStringLiteral("Schema"), QStringLiteral("public"));
    return fileName;
}

void TransferWindowTest::WriteTableList(const QStringList& lines)
{
    TableListPath = Path(QStringLiteral("VNH_Tables.txt"));
    QFile file(TableListPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    if (!lines.isEmpty())
        file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
}

std::unique_ptr<TTestForm> TransferWindowTest::MakeForm()
{
    TFrm_MigrationServices services;
    services.Boxes = &Boxes;
    services.FileDialogs = &Dialogs;
    services.GroupDir = [this] { return GroupDir.isEmpty() ? Dir.path() : GroupDir; };
    services.TableListPath = TableListPath.isEmpty() ? Path(QStringLiteral("missing.txt")) : TableListPath;
    services.Arguments = Arguments;
    return std::make_unique<TTestForm>(services);
}

std::unique_ptr<TTestForm> TransferWindowTest::ConnectedForm(TTestDb& source, TTestDb& target)
{
    auto form = MakeForm();
    form->show();
    form->edSrc->setText(source.WriteConfig(Path(QStringLiteral("source.vdbcfg"))));
    form->edDst->setText(target.WriteConfig(Path(QStringLiteral("target.vdbcfg"))));
    form->edErrDir->setText(Dir.path());
    form->Button3->click();
    EXPECT_TRUE(form->Button1->isEnabled()) << Boxes.Texts("Error").join("\n").toStdString();
    Boxes.Shown.clear();
    return form;
}
