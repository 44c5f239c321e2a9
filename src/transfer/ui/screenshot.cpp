#include "transfer/ui/screenshot.h"

#include "config/ini_file.h"
#include "db/connection.h"
#include "gui/dialogs.h"
#include "transfer/ui/form_migration.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

const QString kMeasurements = QStringLiteral("VNH_Messwerte");

/// Answers every box with OK or Yes and writes its text to stderr.
class TAnsweringBoxes : public IMessageBoxes {
public:
    void Error(const QString& text) override { Print("Fehler", text); }
    void Information(const QString& text) override { Print("Information", text); }
    void Plain(const QString& text) override { Print("Meldung", text); }
    TBoxAnswer WarningOkCancel(const QString& text) override
    {
        Print("Warnung", text);
        return baOk;
    }
    TBoxAnswer ConfirmYesNo(const QString& text) override
    {
        Print("Frage", text);
        return baYes;
    }

private:
    static void Print(const char* kind, const QString& text)
    {
        std::fprintf(stderr, "%s: %s\n", kind, qPrintable(text));
    }
};

/// Takes the picture in the middle of the copy of the measurements, then cancels the run.
class TRunningShotForm : public TFrm_Migration {
public:
    TRunningShotForm(const TFrm_MigrationServices& services, QString file)
        : TFrm_Migration(services), FFile(std::move(file))
    {}
    bool Saved = false;

    void ProcessEvents() override
    {
        TFrm_Migration::ProcessEvents();
        if (Saved || lblMsg->text() != kMeasurements || ProgressBar->value() < ProgressBar->maximum() / 2)
            return;
        Saved = grab().save(FFile);
        Migration().Abort();
    }

private:
    QString FFile;
};

void WriteConfig(const QString& fileName, const QString& database)
{
    TIniFile ini(fileName);
    const QString section = QStringLiteral("Korvinconnection");
    ini.WriteString(section, QStringLiteral("ProviderName"), QStringLiteral("SQLITE"));
    ini.WriteString(section, QStringLiteral("ProviderType"), QStringLiteral("SQLITE"));
    ini.WriteString(section, QStringLiteral("Database"), database);
    ini.WriteBool(section, QStringLiteral("Direct"), true);
}

/// Source with stations and a few thousand measurements, some negative; the target refuses those.
void CreateSampleDatabases(const QDir& dir)
{
    const QString schema[] = {
        QStringLiteral(
            "create table VNH_Stationen (ID integer primary key, KennNr varchar(20), Name varchar(80))"),
        QStringLiteral(
            "create table VNH_Messwerte (ID integer primary key, StationID integer, Zeit timestamp, "
            "Wert double precision %1)"),
    };
    for (const char* name : {"quelle.db", "ziel.db"}) {
        TConnection connection;
        connection.ProviderName = QStringLiteral("SQLite");
        connection.Database = dir.filePath(QString::fromLatin1(name));
        connection.SetSpecificOption(QStringLiteral("SQLite.CreateDatabase"), QStringLiteral("True"));
        connection.Open();
        const bool target = QString::fromLatin1(name) == QStringLiteral("ziel.db");
        connection.ExecSQL(schema[0]);
        connection.ExecSQL(schema[1].arg(target ? QStringLiteral("check (Wert >= 0)") : QString()));
        if (target)
            continue;
        connection.StartTransaction();
        for (int i = 1; i <= 12; ++i)
            connection.ExecSQL(
                QStringLiteral("insert into VNH_Stationen values (%1, 'ST%2', 'Messstelle %1')")
                    .arg(i)
                    .arg(i, 3, 10, QLatin1Char('0')));
        for (int i = 1; i <= 4000; ++i)
            connection.ExecSQL(
                QStringLiteral("insert into VNH_Messwerte values (%1, %2, '2023-05-%3 12:00:00', %4)")
                    .arg(i)
                    .arg(i % 12 + 1)
                    .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                    .arg(i % 97 == 0 ? -1.5 : i * 0.25));
        connection.Commit();
    }
}

} // namespace

std::optional<TScreenshotArgs> ParseScreenshotArgs(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
    if (at < 0 || at + 1 >= arguments.size())
        return std::nullopt;
    TScreenshotArgs args;
    args.File = arguments.at(at + 1);
    const qsizetype stateAt = arguments.indexOf(QStringLiteral("--screenshot-state"));
    if (stateAt >= 0 && stateAt + 1 < arguments.size())
        args.State = arguments.at(stateAt + 1);
    return args;
}

int RunScreenshot(const TScreenshotArgs& args)
{
    static const QStringList states = {QStringLiteral("idle"), QStringLiteral("nolist"),
                                       QStringLiteral("connected"), QStringLiteral("running")};
    if (!states.contains(args.State)) {
        std::fprintf(stderr, "unknown state %s (%s)\n", qPrintable(args.State),
                     qPrintable(states.join(QStringLiteral(", "))));
        return 64;
    }

    QTemporaryDir work;
    const QDir dir(work.path());
    CreateSampleDatabases(dir);
    WriteConfig(dir.filePath(QStringLiteral("quelle.vdbcfg")), dir.filePath(QStringLiteral("quelle.db")));
    WriteConfig(dir.filePath(QStringLiteral("ziel.vdbcfg")), dir.filePath(QStringLiteral("ziel.db")));
    QFile list(dir.filePath(QStringLiteral("VNH_Tables.txt")));
    if (list.open(QIODevice::WriteOnly))
        list.write("VNH_Stationen;;#\r\nVNH_Messwerte;+;#\r\n");
    list.close();

    TAnsweringBoxes boxes;
    TFrm_MigrationServices services;
    services.Boxes = &boxes;
    services.Arguments = QStringList();
    services.TableListPath =
        args.State == QStringLiteral("nolist") ? dir.filePath(QStringLiteral("fehlt.txt")) : list.fileName();
    TRunningShotForm form(services, args.File);
    form.show();

    int exitCode = 1;
    QTimer::singleShot(200, &form, [&] {
        if (args.State == QStringLiteral("connected") || args.State == QStringLiteral("running")) {
            form.edSrc->setText(dir.filePath(QStringLiteral("quelle.vdbcfg")));
            form.edDst->setText(dir.filePath(QStringLiteral("ziel.vdbcfg")));
            form.edErrDir->setText(dir.path());
            form.Button3Click();
        }
        bool saved = false;
        if (args.State == QStringLiteral("running")) {
            form.Button1Click();
            saved = form.Saved;
        } else {
            saved = form.grab().save(args.File);
        }
        if (!saved)
            std::fprintf(stderr, "cannot write %s\n", qPrintable(args.File));
        exitCode = saved ? 0 : 1;
        QApplication::exit(exitCode);
    });
    QApplication::exec();
    return exitCode;
}
