#pragma once
// What the fault tests need beyond the shared end-to-end helpers: a PostgreSQL server of the test's
// own that it may stop hard, the built program run in the background, and waiting by polling.

#include "db/connection.h"
#include "support/test_env.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

/// The built program, or "" when it was not built.
QString TransferProgramPath();

/// A PostgreSQL server in a temporary folder on a free port of 127.0.0.1, run as the user postgres
/// when the tests run as root. Unlike the suite's server it may be stopped and started again.
class TPrivatePostgres {
public:
    /// Creates the cluster and starts the server; Error() tells why when it could not.
    TPrivatePostgres();
    ~TPrivatePostgres();
    TPrivatePostgres(const TPrivatePostgres&) = delete;
    TPrivatePostgres& operator=(const TPrivatePostgres&) = delete;

    QString Error() const { return FError; }
    TServerParams Params() const;

    /// Stops at once, as a crash would: every session is cut without a goodbye.
    bool StopImmediately();
    /// Starts the stopped server again on the same port (with crash recovery after an immediate stop).
    bool Start();

    void CreateDatabase(const QString& name) const;
    std::unique_ptr<TConnection> Connect(const QString& database) const;

private:
    bool RunTool(const QString& tool, const QStringList& arguments, int timeoutMs, QString* output = nullptr);

    QTemporaryDir FDir;
    QString FDataDir;
    int FPort = 0;
    bool FRunning = false;
    QString FError;
};

/// Writes a PostgreSQL configuration file as the configuration tool does, the password encrypted.
void WritePostgresConfig(const QString& fileName, const TServerParams& server, const QString& database);
/// Writes a file of CR LF lines (a table list).
void WriteListFile(const QString& fileName, const QStringList& lines);

/// Starts the program headless in the background: standard output and error merged, no terminal.
void StartProgram(QProcess& process, const QStringList& arguments);
/// Polls `done` until it holds, the process ends, or the time is up; true when `done` held.
bool WaitWhileRunning(QProcess& process, const std::function<bool()>& done, int timeoutMs);
/// Waits for the end of the program and returns its exit code, -1 when it crashed or was still
/// running after `timeoutMs` (it is killed then).
int FinishProgram(QProcess& process, int timeoutMs);

/// Rows of a table counted through a connection, -1 when the statement fails.
qint64 CountRows(TConnection& connection, const QString& table);
/// The figure the program printed after "Zeilen kopiert: ", -1 when absent.
qint64 PrintedRowsCopied(const QString& output);
