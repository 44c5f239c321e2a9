// Reads a whole PostgreSQL table through the access layer and prints rows per second and the
// process's peak resident memory.
//
// Usage: pg_read_bench [--query] TABLE
//   connection from VNH_TEST_PG_HOST/PORT/USER/PASSWORD and VNH_BENCH_PG_DATABASE;
//   --query reads through TQuery and its fields (as the transfer does) instead of the bare cursor.

#include "db/connection.h"
#include "db/driver.h"
#include "db/query.h"

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

#ifdef _WIN32
#include <psapi.h>
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace {

qint64 PeakResidentKiB()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<qint64>(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss; // KiB on Linux
#endif
}

void SetUp(TConnection& connection)
{
    connection.ProviderName = QStringLiteral("PostgreSQL");
    connection.Server = qEnvironmentVariable("VNH_TEST_PG_HOST", QStringLiteral("127.0.0.1"));
    connection.Port = qEnvironmentVariableIntValue("VNH_TEST_PG_PORT");
    connection.Username = qEnvironmentVariable("VNH_TEST_PG_USER");
    connection.Password = qEnvironmentVariable("VNH_TEST_PG_PASSWORD");
    connection.Database = qEnvironmentVariable("VNH_BENCH_PG_DATABASE", QStringLiteral("postgres"));
    connection.SetSpecificOption(QStringLiteral("PostgreSQL.IPVersion"), QStringLiteral("ivIPv4"));
    connection.SetSpecificOption(QStringLiteral("PostgreSQL.SSLMode"), QStringLiteral("smDisable"));
}

} // namespace

int main(int argc, char** argv)
{
    bool viaQuery = false;
    QString table;
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--query"))
            viaQuery = true;
        else
            table = arg;
    }
    if (table.isEmpty()) {
        std::fprintf(stderr, "usage: pg_read_bench [--query] TABLE\n");
        return 2;
    }

    try {
        TConnection connection;
        SetUp(connection);
        connection.Open();
        QString sql = QStringLiteral("select * from ") + table;
        qint64 rows = 0;
        qint64 checksum = 0; // keeps the values in use
        QElapsedTimer timer;
        timer.start();
        if (viaQuery) {
            TQuery query(connection);
            query.SetSQL(sql);
            query.Open();
            while (!query.Eof()) {
                for (int i = 0; i < query.FieldCount(); ++i)
                    checksum += query.Fields(i).AsString().size();
                ++rows;
                query.Next();
            }
        } else {
            auto cursor = connection.Driver().OpenCursor(sql);
            std::vector<QVariant> row;
            while (cursor->Fetch(row)) {
                checksum += row.front().toLongLong();
                ++rows;
            }
        }
        double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("%s: %lld rows in %.2f s = %.0f rows/s, peak resident memory %lld KiB (checksum %lld)\n",
                    viaQuery ? "TQuery with AsString" : "provider cursor", static_cast<long long>(rows),
                    seconds, rows / seconds, static_cast<long long>(PeakResidentKiB()),
                    static_cast<long long>(checksum));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
}
