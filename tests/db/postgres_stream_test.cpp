// Reading large results on the PostgreSQL provider: constant memory, several open queries on one
// connection, and queries that outlive the caller's transactions.

#include "postgres_fixture.h"

#include "db/db_error.h"

#include <QFile>

namespace {

// Resident memory of this process in bytes, or -1 where /proc is missing.
qint64 ResidentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    QList<QByteArray> parts = statm.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLongLong() * 4096 : -1;
}

class PostgresStream : public TPostgresTest {
protected:
    // Rows 1..n with a key, a number and a text of 200 characters.
    void MakeTable(const QString& name, int rows)
    {
        FDriver->Execute(
            QStringLiteral("create table %1 (id integer primary key, n integer, t text)").arg(name));
        FDriver->Execute(QStringLiteral("insert into %1 select g, g * 2, repeat('x', 200) from "
                                        "generate_series(1, %2) g")
                             .arg(name)
                             .arg(rows));
    }
};

TEST_F(PostgresStream, LargeTableInConstantMemory)
{
    const int rows = 200000; // about 60 MB if the client held the whole result
    MakeTable(QStringLiteral("big"), rows);
    qint64 before = ResidentBytes();
#if defined(__SANITIZE_ADDRESS__)
    before = -1; // the address sanitizer keeps freed memory
#endif

    auto cursor = FDriver->OpenCursor(QStringLiteral("select * from big order by id"));
    std::vector<QVariant> row;
    qint64 peak = before;
    qint64 count = 0;
    qint64 sum = 0;
    while (cursor->Fetch(row)) {
        ++count;
        sum += row[0].toLongLong();
        ASSERT_EQ(row[0].toLongLong(), count);
        if (count % 5000 == 0)
            peak = std::max(peak, ResidentBytes());
    }
    EXPECT_EQ(count, rows);
    EXPECT_EQ(sum, qint64(rows) * (rows + 1) / 2);
    if (before < 0)
        GTEST_SKIP() << "resident memory is not measured here";
    EXPECT_LT(peak - before, 20 << 20) << "resident memory grew by " << (peak - before) / 1024 << " KiB";
}

TEST_F(PostgresStream, CountWhileReadingAndSeveralOpenQueries)
{
    MakeTable(QStringLiteral("src"), 30000);
    auto source = FDriver->OpenCursor(QStringLiteral("select * from src"));
    std::vector<QVariant> row;
    ASSERT_TRUE(source->Fetch(row));
    // The count on the same connection while the source is open (and past its first block).
    EXPECT_EQ(Count(*FDriver, QStringLiteral("src")), 30000);
    auto second = FDriver->OpenCursor(QStringLiteral("select id from src where id <= 10000"));
    qint64 firstCount = 1;
    qint64 secondCount = 0;
    bool more = true;
    while (more) {
        more = false;
        if (source->Fetch(row)) {
            ++firstCount;
            more = true;
        }
        if (second->Fetch(row)) {
            ++secondCount;
            more = true;
        }
    }
    EXPECT_EQ(firstCount, 30000);
    EXPECT_EQ(secondCount, 10000);
    EXPECT_LE(FDriver->SessionCount(), 3);

    // A query closed in the middle leaves its session fit for the next one.
    source.reset();
    second.reset();
    auto partly = FDriver->OpenCursor(QStringLiteral("select * from src"));
    ASSERT_TRUE(partly->Fetch(row));
    partly.reset();
    EXPECT_EQ(ReadAll(*FDriver, QStringLiteral("select * from src")).size(), 30000u);
    EXPECT_LE(FDriver->SessionCount(), 3);
}

TEST_F(PostgresStream, QueryOpenedBeforeTransactionsSurvivesCommitsAndRollbacks)
{
    MakeTable(QStringLiteral("dst"), 5000);
    auto query = FDriver->OpenCursor(QStringLiteral("select * from dst order by id"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    for (int batch = 0; batch < 3; ++batch) {
        FDriver->StartTransaction();
        FDriver->Execute(QStringLiteral("insert into dst values (%1, 0, 'new')").arg(100000 + batch));
        batch == 1 ? FDriver->Rollback() : FDriver->Commit();
    }
    qint64 count = 1;
    while (query->Fetch(row))
        ++count;
    EXPECT_EQ(count, 5000); // what was there when it opened
    EXPECT_EQ(Count(*FDriver, QStringLiteral("dst")), 5002);
}

TEST_F(PostgresStream, QueryInsideTransactionSeesOwnRowsAndOutlivesCommit)
{
    MakeTable(QStringLiteral("t"), 3000);
    FDriver->StartTransaction();
    FDriver->Execute(QStringLiteral("insert into t select g, 0, 'own' from generate_series(3001, 6000) g"));
    auto query = FDriver->OpenCursor(QStringLiteral("select id from t order by id"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    FDriver->Commit();
    FDriver->StartTransaction(); // and a later rollback does not touch it either
    FDriver->Rollback();
    qint64 count = 1;
    qint64 last = 0;
    while (query->Fetch(row)) {
        ++count;
        last = row[0].toLongLong();
    }
    EXPECT_EQ(count, 6000);
    EXPECT_EQ(last, 6000);
}

TEST_F(PostgresStream, RollbackOfItsTransactionMakesTheQueryFailNotEnd)
{
    MakeTable(QStringLiteral("t"), 3000);
    FDriver->StartTransaction();
    auto query = FDriver->OpenCursor(QStringLiteral("select id from t"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    FDriver->Rollback();
    EXPECT_THROW(
        {
            while (query->Fetch(row)) {
            }
        },
        EDatabaseError);
    // The connection stays usable.
    EXPECT_EQ(Count(*FDriver, QStringLiteral("t")), 3000);
}

TEST_F(PostgresStream, SingleConnectionModeStillStreamsAndCounts)
{
    TConnectParams params = Params();
    params.SpecificOptions[QStringLiteral("PostgreSQL.MultipleConnections")] = QStringLiteral("False");
    auto driver = Connect(params);
    MakeTable(QStringLiteral("t"), 20000);
    auto query = driver->OpenCursor(QStringLiteral("select * from t"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    EXPECT_EQ(Count(*driver, QStringLiteral("t")), 20000);
    driver->StartTransaction();
    driver->Execute(QStringLiteral("delete from t where id > 10"));
    driver->Commit();
    qint64 count = 1;
    while (query->Fetch(row))
        ++count;
    EXPECT_EQ(count, 20000);
    EXPECT_EQ(driver->SessionCount(), 1);
}

TEST_F(PostgresStream, LoginLimitedToOneConnectionStillReads)
{
    MakeTable(QStringLiteral("t"), 1000);
    const QString role = FDatabase + QStringLiteral("_single");
    FDriver->Execute(QStringLiteral("create role %1 login password 'pw' connection limit 1; "
                                    "grant select on t to %1")
                         .arg(role));
    struct TDropRole {
        TPgDriver& Driver;
        QString Role;
        ~TDropRole() { Driver.Execute(QStringLiteral("drop owned by %1; drop role %1").arg(Role)); }
    } dropRole{*FDriver, role};

    TConnectParams params = Params();
    params.Username = role;
    params.Password = QStringLiteral("pw");
    auto driver = Connect(params);
    auto query = driver->OpenCursor(QStringLiteral("select * from t"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    EXPECT_EQ(Count(*driver, QStringLiteral("t")), 1000);
    query.reset();
    driver.reset();
}

TEST_F(PostgresStream, LostSessionDuringReadRaises)
{
    MakeTable(QStringLiteral("t"), 50000);
    auto query = FDriver->OpenCursor(QStringLiteral("select * from t"));
    std::vector<QVariant> row;
    ASSERT_TRUE(query->Fetch(row));
    Admin().Execute(
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where datname = '%1' "
                       "and state = 'idle in transaction'")
            .arg(FDatabase));
    try {
        while (query->Fetch(row)) {
        }
        FAIL() << "the read ended without an error";
    } catch (const EDatabaseError& error) {
        EXPECT_TRUE(error.ConnectionBroken()) << error.what();
    }
    EXPECT_TRUE(FDriver->IsOpen());
}

} // namespace
