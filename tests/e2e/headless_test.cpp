// The built program without a window: exit codes, the printed summary, the pause after emptying that
// "-rm744" asks for, and Ctrl-C as cancel.

#include "e2e_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#ifdef __linux__
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QString ProgramPath()
{
#ifdef VNH_TRANSFER_PROGRAM
    return QStringLiteral(VNH_TRANSFER_PROGRAM);
#else
    return {};
#endif
}

struct TProgramRun {
    int ExitCode = -1;
    QString Output; // standard output and error
};

/// Runs the program with no terminal on standard input.
TProgramRun RunProgram(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(ProgramPath(), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
    }
    TProgramRun run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Output = QString::fromUtf8(process.readAll());
    return run;
}

void WriteLines(const QString& fileName, const QStringList& lines)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ProgramPath().isEmpty() || !QFileInfo::exists(ProgramPath()))
            GTEST_SKIP() << "the program VNH_Transfer is not built";
        Src = std::make_unique<TE2EDatabase>(esSQLite);
        Dst = std::make_unique<TE2EDatabase>(esSQLite);
        const QStringList ddl = {
            QStringLiteral("create table VNH_Ok (ID integer primary key, I integer)"),
            QStringLiteral("create table VNH_Check (ID integer primary key, I integer)")};
        Src->Exec(ddl);
        Src->Exec({QStringLiteral("insert into VNH_Ok values (1, 1), (2, 2), (3, 3), (4, 4), (5, 5)"),
                   QStringLiteral("insert into VNH_Check values (1, 1), (2, 2), (3, 3)")});
        Dst->Exec({ddl[0], QStringLiteral(
                               "create table VNH_Check (ID integer primary key, I integer check (I <> 3))")});
        OkList = Dir.filePath(QStringLiteral("ok.txt"));
        MixedList = Dir.filePath(QStringLiteral("mixed.txt"));
        WriteLines(OkList, {QStringLiteral("VNH_Ok")});
        WriteLines(MixedList, {QStringLiteral("VNH_Ok"), QStringLiteral("VNH_Check;+")});
    }

    /// The target as an earlier run left it: one old row that emptying removes.
    void ResetTarget()
    {
        Dst->Exec({QStringLiteral("delete from VNH_Ok"), QStringLiteral("delete from VNH_Check"),
                   QStringLiteral("insert into VNH_Ok values (99, 99)")});
        QFile::remove(LogPath());
    }

    QStringList Arguments(const QString& tables, const QStringList& more) const
    {
        return QStringList{QStringLiteral("--source"),  Src->ConfigFile(),
                           QStringLiteral("--target"),  Dst->ConfigFile(),
                           QStringLiteral("--tables"),  tables,
                           QStringLiteral("--log-dir"), Dir.path()} +
               more;
    }

    QStringList OkIds()
    {
        return ColumnValues(*Dst->Connect(), QStringLiteral("VNH_Ok"), QStringLiteral("ID"),
                            QStringLiteral("ID"));
    }
    QString LogPath() const { return Dir.filePath(QStringLiteral("Transfer_Errors.log")); }

    std::unique_ptr<TE2EDatabase> Src;
    std::unique_ptr<TE2EDatabase> Dst;
    QTemporaryDir Dir;
    QString OkList;
    QString MixedList;
};

TEST_F(Headless, ExitCodesSummaryAndTarget)
{
    const QStringList copied = {"1", "2", "3", "4", "5"};
    const QStringList untouched = {"99"};
    const QString unreachable = Dir.filePath(QStringLiteral("unreachable.vdbcfg"));
    WriteLines(unreachable, {QStringLiteral("[Korvinconnection]"), QStringLiteral("ProviderName=POSTGRESQL"),
                             QStringLiteral("Server=127.0.0.1"), QStringLiteral("Port=1"),
                             QStringLiteral("Database=nichts"), QStringLiteral("Username=niemand")});
    const struct {
        const char* Name;
        QStringList Arguments;
        int ExitCode;
        QStringList Printed;
        QStringList TargetIds;
        bool Log;
    } cases[] = {
        {"success",
         Arguments(OkList, {"--yes"}),
         0,
         {"Migration beendet", "Tabellen: 1, Zeilen kopiert: 5, fehlerhafte Zeilen: 0"},
         copied,
         false},
        {"failed rows",
         Arguments(MixedList, {"--yes", "--buffer", "1"}),
         2,
         {"Migration beendet", "Tabellen: 2, Zeilen kopiert: 7, fehlerhafte Zeilen: 1", "Fehlerprotokoll: "},
         copied,
         true},
        {"no --yes and no terminal answers no",
         Arguments(OkList, {}),
         3,
         {"Daten in Zieldatenbank werden zuvor gelöscht"},
         untouched,
         false},
        {"-rm744 first with --yes goes on",
         QStringList{"-rm744"} + Arguments(OkList, {"--yes"}),
         0,
         {"Migration beendet"},
         copied,
         false},
        {"missing --target", {"--source", Src->ConfigFile(), "--yes"}, 64, {"--target"}, untouched, false},
        {"unknown option", Arguments(OkList, {"--yes", "--schnell"}), 64, {"schnell"}, untouched, false},
        {"unreachable target",
         QStringList{"--source", Src->ConfigFile(), "--target", unreachable, "--tables", OkList, "--yes"},
         1,
         {"Fehler beim Verbindungsaufbau zur Ziel"},
         untouched,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetTarget();
        TProgramRun run = RunProgram(c.Arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Output.toStdString();
        for (const QString& text : c.Printed)
            EXPECT_TRUE(run.Output.contains(text)) << text.toStdString() << " not in:\n"
                                                   << run.Output.toStdString();
        EXPECT_EQ(OkIds(), c.TargetIds);
        EXPECT_EQ(QFileInfo::exists(LogPath()), c.Log);
    }
}

#ifdef __linux__

/// Runs the program on a pseudo terminal and types each answer once its question has appeared.
TProgramRun RunOnTerminal(const QStringList& arguments, const QList<QPair<QByteArray, QByteArray>>& answers)
{
    std::vector<std::string> strings = {ProgramPath().toStdString()};
    for (const QString& argument : arguments)
        strings.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    TProgramRun run;
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return run;
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    QByteArray output;
    qsizetype searchFrom = 0;
    qsizetype next = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 120000) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 200) > 0) {
            char buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0)
                break; // the program closed the terminal
            output.append(buffer, n);
        }
        if (next < answers.size()) {
            qsizetype at = output.indexOf(answers[next].first, searchFrom);
            if (at >= 0) {
                searchFrom = at + answers[next].first.size();
                const QByteArray& answer = answers[next].second;
                if (write(master, answer.constData(), answer.size()) != answer.size())
                    break;
                ++next;
            }
        }
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Output = QString::fromUtf8(output);
    return run;
}

TEST_F(Headless, RM744AsFirstArgumentPausesAfterEmptying)
{
    ResetTarget();
    // Yes to emptying, no to going on: the target stays empty.
    TProgramRun run = RunOnTerminal(QStringList{"-rm744"} + Arguments(OkList, {}),
                                    {{"zuvor gelöscht", "j\n"}, {"Tabellen gelöscht...weiter?", "n\n"}});
    EXPECT_EQ(run.ExitCode, 3) << run.Output.toStdString();
    EXPECT_TRUE(run.Output.contains(QStringLiteral("Tabellen gelöscht...weiter?")))
        << run.Output.toStdString();
    EXPECT_TRUE(OkIds().isEmpty());

    // Yes to both questions: the transfer runs.
    ResetTarget();
    run = RunOnTerminal(QStringList{"-rm744"} + Arguments(OkList, {}),
                        {{"zuvor gelöscht", "j\n"}, {"Tabellen gelöscht...weiter?", "j\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
    EXPECT_EQ(OkIds(), (QStringList{"1", "2", "3", "4", "5"}));
}

TEST_F(Headless, InterruptCancelsAndCommitsWhatWasCopied)
{
    Src->Exec({QStringLiteral("create table VNH_Gross (ID integer primary key, S varchar(40))"),
               QStringLiteral(
                   "insert into VNH_Gross with recursive n(i) as (select 1 union all select i + 1 from n "
                   "where i < 200000) select i, 'Zeile ' || i from n")});
    Dst->Exec({QStringLiteral("create table VNH_Gross (ID integer primary key, S varchar(40))")});
    const QString list = Dir.filePath(QStringLiteral("gross.txt"));
    WriteLines(list, {QStringLiteral("VNH_Gross")});

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(ProgramPath(), Arguments(list, {"--yes"}));
    ASSERT_TRUE(process.waitForStarted());
    QByteArray output;
    QElapsedTimer clock;
    clock.start();
    while (!output.contains("Verbindungsaufbau erfolgreich") && clock.elapsed() < 60000 &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        output += process.readAll();
    }
    QThread::msleep(700);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));
    output += process.readAll();
    const QString text = QString::fromUtf8(output);

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << text.toStdString();
    EXPECT_EQ(process.exitCode(), 3) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Abbruch durch Benutzer"))) << text.toStdString();
    QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Zeilen kopiert: (\\d+)")).match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    const qint64 copied = match.captured(1).toLongLong();
    EXPECT_LT(copied, 200000) << "the interrupt came too late to show anything";
    EXPECT_EQ(Dst->Count(QStringLiteral("VNH_Gross")), copied) << "every row reported as copied is committed";
}

#endif

} // namespace
