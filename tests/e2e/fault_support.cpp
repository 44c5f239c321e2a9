#include "fault_support.h"

#include "config/ini_file.h"
#include "config/password.h"
#include "db/query.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef __linux__
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const QString kSection = QStringLiteral("Korvinconnection");
const QString kPassword = QStringLiteral("vnh-fault-pw");

QString PostgresBinDir()
{
    return qEnvironmentVariable("VNH_PG_BIN", QStringLiteral("/usr/lib/postgresql/15/bin"));
}

#ifdef __linux__
/// A port of 127.0.0.1 that nobody listens on right now.
int FreePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}
#endif

} // namespace

QString TransferProgramPath()
{
#ifdef VNH_TRANSFER_PROGRAM
    return QStringLiteral(VNH_TRANSFER_PROGRAM);
#else
    return {};
#endif
}

TPrivatePostgres::TPrivatePostgres()
{
#ifndef __linux__
    FError = QStringLiteral("a private PostgreSQL server is only started on Linux");
#else
    if (!QFileInfo::exists(PostgresBinDir() + QStringLiteral("/initdb"))) {
        FError = QStringLiteral("no PostgreSQL server programs in ") + PostgresBinDir();
        return;
    }
    if (!FDir.isValid()) {
        FError = QStringLiteral("no temporary folder");
        return;
    }
    // The server refuses to run as root: the folder then belongs to the user postgres.
    if (geteuid() == 0) {
        passwd* user = getpwnam("postgres");
        if (!user || chown(qPrintable(FDir.path()), user->pw_uid, user->pw_gid) != 0) {
            FError = QStringLiteral("running as root, but there is no user postgres to run the server");
            return;
        }
    }
    FDataDir = FDir.filePath(QStringLiteral("data"));
    const QString passwordFile = FDir.filePath(QStringLiteral("pw"));
    {
        QFile file(passwordFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(kPassword.toUtf8() + "\n") <= 0) {
            FError = QStringLiteral("cannot write ") + passwordFile;
            return;
        }
    }
    QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    QString output;
    if (!RunTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), FDataDir, QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--auth-local=trust"),
                  QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")},
                 120000, &output)) {
        FError = QStringLiteral("initdb failed: ") + output;
        return;
    }
    // Another process may take a free port before the server does: try a few.
    for (int attempt = 0; attempt < 3 && !FRunning; ++attempt) {
        FPort = FreePort();
        if (FPort > 0)
            Start();
    }
    if (!FRunning)
        FError = QStringLiteral("the private PostgreSQL server did not start; see ") +
                 FDir.filePath(QStringLiteral("server.log"));
#endif
}

TPrivatePostgres::~TPrivatePostgres()
{
    if (FRunning)
        StopImmediately();
}

TServerParams TPrivatePostgres::Params() const
{
    TServerParams params;
    params.Host = QStringLiteral("127.0.0.1");
    params.Port = FPort;
    params.User = QStringLiteral("postgres");
    params.Password = kPassword;
    return params;
}

bool TPrivatePostgres::RunTool(const QString& tool, const QStringList& arguments, int timeoutMs,
                               QString* output)
{
    QString program = PostgresBinDir() + u'/' + tool;
    QStringList all = arguments;
#ifdef __linux__
    if (geteuid() == 0) {
        all = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} +
              arguments;
        program = QStringLiteral("runuser");
    }
#endif
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setWorkingDirectory(FDir.path());
    process.start(program, all);
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool TPrivatePostgres::StopImmediately()
{
    FRunning =
        !RunTool(QStringLiteral("pg_ctl"),
                 {QStringLiteral("-D"), FDataDir, QStringLiteral("-m"), QStringLiteral("immediate"),
                  QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("stop")},
                 90000);
    return !FRunning;
}

bool TPrivatePostgres::Start()
{
    // fsync off keeps the test fast; a committed transaction still reaches the operating system
    // before the commit returns, so it survives the server's death (not the machine's).
    const QString options =
        QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                       "-c full_page_writes=off -c max_connections=40 -c shared_buffers=16MB")
            .arg(FPort)
            .arg(FDir.path());
    FRunning =
        RunTool(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), FDataDir, QStringLiteral("-l"),
                 FDir.filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("-t"),
                 QStringLiteral("90"), QStringLiteral("-o"), options, QStringLiteral("start")},
                120000);
    return FRunning;
}

void TPrivatePostgres::CreateDatabase(const QString& name) const
{
    Connect(QStringLiteral("postgres"))->ExecSQL(QStringLiteral("create database ") + name);
}

std::unique_ptr<TConnection> TPrivatePostgres::Connect(const QString& database) const
{
    auto connection = std::make_unique<TConnection>();
    connection->ProviderName = QStringLiteral("PostgreSQL");
    connection->Server = QStringLiteral("127.0.0.1");
    connection->Port = FPort;
    connection->Username = QStringLiteral("postgres");
    connection->Password = kPassword;
    connection->Database = database;
    connection->Open();
    return connection;
}

void WritePostgresConfig(const QString& fileName, const TServerParams& server, const QString& database)
{
    TIniFile ini(fileName);
    ini.EraseSection(kSection);
    ini.WriteString(kSection, QStringLiteral("ProviderName"), QStringLiteral("POSTGRESQL"));
    ini.WriteString(kSection, QStringLiteral("ProviderType"), QStringLiteral("POSTGRESQL"));
    ini.WriteString(kSection, QStringLiteral("Server"), server.Host);
    ini.WriteString(kSection, QStringLiteral("Port"), QString::number(server.Port));
    ini.WriteString(kSection, QStringLiteral("Database"), database);
    ini.WriteString(kSection, QStringLiteral("Username"), server.User);
    ini.WriteString(kSection, QStringLiteral("Password"),
                    server.Password.isEmpty() ? QString() : EncryptPassword(server.Password, QString()));
    ini.WriteBool(kSection, QStringLiteral("Direct"), false);
    ini.WriteString(kSection, QStringLiteral("Schema"), QStringLiteral("public"));
}

void WriteListFile(const QString& fileName, const QStringList& lines)
{
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly))
        file.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

void StartProgram(QProcess& process, const QStringList& arguments)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(TransferProgramPath(), arguments);
    process.waitForStarted(30000);
}

bool WaitWhileRunning(QProcess& process, const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (done())
            return true;
        // Waiting on the process also drains its output, so a full pipe never blocks it.
        if (process.state() == QProcess::NotRunning || process.waitForFinished(30))
            return done();
    }
    return false;
}

int FinishProgram(QProcess& process, int timeoutMs)
{
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(10000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

qint64 CountRows(TConnection& connection, const QString& table)
{
    try {
        TQuery query(connection);
        query.SetSQL(QStringLiteral("select count(*) from ") + table);
        query.Open();
        return query.Fields(0).AsLargeInt();
    } catch (const std::exception&) {
        return -1;
    }
}

qint64 PrintedRowsCopied(const QString& output)
{
    static const QRegularExpression figure(QStringLiteral("Zeilen kopiert: (\\d+)"));
    QRegularExpressionMatch match = figure.match(output);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}
