// The transfer engine on real databases, shown through a recording view: order of emptying and copying,
// error flag and log, key and skip columns, failed rows inside a transaction, the transaction buffer,
// tables that cannot be opened or are empty, cancel, errors that end the run, and an Access source.

#include "e2e_support.h"

#include "db/db_error.h"
#include "db/query.h"
#include "transfer/migration.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

/// Source always SQLite; the target is each available system, so that a system that spoils a
/// transaction on a failed statement is covered as well as one that does not.
class Engine : public ::testing::TestWithParam<TE2ESystem> {
protected:
    void SetUp() override
    {
        QString reason = UnavailableReason(GetParam());
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        Src = std::make_unique<TE2EDatabase>(esSQLite);
        Dst = std::make_unique<TE2EDatabase>(GetParam());
    }

    /// The same statements on both sides.
    void Both(const QStringList& statements)
    {
        Src->Exec(statements);
        Dst->Exec(statements);
    }

    TTransferSummary Run(TMigration& migration, const QStringList& tables,
                         const std::function<void()>& beforeRun = {})
    {
        return StartTransfer(migration, Src->ConfigFile(), Dst->ConfigFile(), tables, LogDir.path(),
                             beforeRun);
    }

    QStringList Ids(const QString& table)
    {
        return ColumnValues(*Dst->Connect(), table, QStringLiteral("ID"), QStringLiteral("ID"));
    }

    QString LogPath() const { return LogDir.filePath(QStringLiteral("Transfer_Errors.log")); }

    std::unique_ptr<TE2EDatabase> Src;
    std::unique_ptr<TE2EDatabase> Dst;
    QTemporaryDir LogDir;
};

QString Join(const QStringList& list)
{
    return list.join(QStringLiteral(" | "));
}

TEST_P(Engine, EmptiesLastLineFirstAndCopiesFirstLineFirst)
{
    // The foreign key makes any other order fail.
    Both(
        {QStringLiteral("create table VNH_Parent (ID integer primary key, S varchar(20))"),
         QStringLiteral(
             "create table VNH_Child (ID integer primary key, ParentID integer references VNH_Parent(ID))")});
    Src->Exec({QStringLiteral("insert into VNH_Parent values (1, 'a'), (2, 'b')"),
               QStringLiteral("insert into VNH_Child values (1, 1), (2, 2), (3, 1)")});
    Dst->Exec({QStringLiteral("insert into VNH_Parent values (7, 'alt')"),
               QStringLiteral("insert into VNH_Child values (7, 7)")});

    TFakeView view;
    TMigration migration(view);
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Parent"), QStringLiteral("VNH_Child")});

    EXPECT_EQ(summary.Outcome, toSuccess) << Join(migration.Messages()).toStdString();
    EXPECT_TRUE(view.PlainBoxes.isEmpty()) << Join(view.PlainBoxes).toStdString();
    const QStringList expectedOrder = {QStringLiteral("Lösche VNH_Child"),
                                       QStringLiteral("Lösche VNH_Parent"), QStringLiteral("VNH_Parent"),
                                       QStringLiteral("VNH_Child")};
    QStringList seen;
    for (const QString& message : view.Messages) {
        if (expectedOrder.contains(message))
            seen << message;
    }
    EXPECT_EQ(seen, expectedOrder);
    EXPECT_EQ(Ids(QStringLiteral("VNH_Parent")), (QStringList{"1", "2"}));
    EXPECT_EQ(Ids(QStringLiteral("VNH_Child")), (QStringList{"1", "2", "3"}));
}

TEST_P(Engine, FailedRowsAreCountedAndLoggedOnlyWithTheErrorFlag)
{
    Src->Exec({QStringLiteral("create table VNH_Flag (ID integer primary key, I integer)"),
               QStringLiteral("create table VNH_Still (ID integer primary key, I integer)"),
               QStringLiteral("create table VNH_Leer (ID integer, S varchar(20))"),
               QStringLiteral("insert into VNH_Flag values (1, 1), (2, 3), (3, 2), (4, 3), (5, 5)"),
               QStringLiteral("insert into VNH_Still values (1, 3), (2, 2)"),
               QStringLiteral("insert into VNH_Leer values (1, 'x'), (2, NULL)")});
    Dst->Exec({QStringLiteral("create table VNH_Flag (ID integer primary key, I integer check (I <> 3))"),
               QStringLiteral("create table VNH_Still (ID integer primary key, I integer check (I <> 3))"),
               QStringLiteral("create table VNH_Leer (ID integer, S varchar(20))")});

    TFakeView view;
    TMigration migration(view);
    // "+ " is not the flag; on VNH_Leer the key column is skipped, so its second row has no value left.
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Flag;+"), QStringLiteral("VNH_Still;+ "),
                                               QStringLiteral("VNH_Leer;+;#;ID")});

    EXPECT_EQ(summary.Outcome, toSuccessWithFailedRows);
    EXPECT_EQ(summary.RowsFailed, 4);
    EXPECT_EQ(migration.ErrCnt(), 3);
    EXPECT_EQ(view.ErrorCount, QStringLiteral("3"));
    EXPECT_EQ(view.ErrorCounts, (QStringList{"", "1", "2", "3"}));

    const QStringList& lines = migration.Messages();
    ASSERT_EQ(lines.size(), 3) << Join(lines).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("VNH_Flag: ")) && lines[0].size() > 10)
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("VNH_Flag: ")) && lines[1].size() > 10)
        << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("VNH_Leer: "));
    EXPECT_EQ(QString::fromUtf8(FileBytes(LogPath())),
              lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));

    EXPECT_EQ(Ids(QStringLiteral("VNH_Flag")), (QStringList{"1", "3", "5"}));
    EXPECT_EQ(Ids(QStringLiteral("VNH_Still")), QStringList{"2"});
    EXPECT_EQ(
        ColumnValues(*Dst->Connect(), QStringLiteral("VNH_Leer"), QStringLiteral("S"), QStringLiteral("S")),
        QStringList{"x"});
    EXPECT_EQ(
        ColumnValues(*Dst->Connect(), QStringLiteral("VNH_Leer"), QStringLiteral("ID"), QStringLiteral("S")),
        QStringList{"NULL"});
}

TEST_P(Engine, TablesThatCannotBeOpenedAreLoggedOnceAndTheRunGoesOn)
{
    Both({QStringLiteral("create table VNH_Key (ID integer primary key, K1 integer, K2 integer)"),
          QStringLiteral("create table VNH_BadKey (ID integer primary key, K1 integer)"),
          QStringLiteral("create table VNH_Last (ID integer primary key)")});
    Src->Exec({QStringLiteral("create table VNH_SourceOnly (ID integer primary key)"),
               QStringLiteral("insert into VNH_SourceOnly values (1)"),
               QStringLiteral("insert into VNH_Key values (1, -1, -1), (2, 5, -1), (3, NULL, 8)"),
               QStringLiteral("insert into VNH_BadKey values (1, -1)"),
               QStringLiteral("insert into VNH_Last values (1), (2)")});

    TFakeView view;
    TMigration migration(view);
    // Key columns only narrow what the target query selects; with them the appended records still land.
    TTransferSummary summary =
        Run(migration, {QStringLiteral("VNH_Missing;+"), QStringLiteral("VNH_Key;;K1,K2;;BLOB"),
                        QStringLiteral("VNH_BadKey;;K1,Nope"), QStringLiteral("VNH_SourceOnly"),
                        QStringLiteral("VNH_Last")});

    const QStringList& lines = migration.Messages();
    ASSERT_EQ(lines.size(), 3) << Join(lines).toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("VNH_Missing: "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("VNH_BadKey: "))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("VNH_SourceOnly: "))) << lines[2].toStdString();
    EXPECT_TRUE(QFileInfo::exists(LogPath()));
    EXPECT_EQ(migration.ErrCnt(), 0);
    EXPECT_TRUE(view.ErrorCount.isEmpty());
    // The failed emptying of the two tables the target lacks: one box each.
    ASSERT_EQ(view.PlainBoxes.size(), 2) << Join(view.PlainBoxes).toStdString();
    EXPECT_TRUE(view.PlainBoxes[0].endsWith(QStringLiteral(": DELETE FROM VNH_SourceOnly")));
    EXPECT_TRUE(view.PlainBoxes[1].endsWith(QStringLiteral(": DELETE FROM VNH_Missing")));

    EXPECT_EQ(Ids(QStringLiteral("VNH_Key")), (QStringList{"1", "2", "3"}));
    EXPECT_TRUE(
        CompareTables(*Src->Connect(), *Dst->Connect(), QStringLiteral("VNH_Key"), QStringLiteral("ID"))
            .isEmpty());
    EXPECT_TRUE(Ids(QStringLiteral("VNH_BadKey")).isEmpty());
    EXPECT_EQ(Ids(QStringLiteral("VNH_Last")), (QStringList{"1", "2"}));
    EXPECT_EQ(summary.Tables, 2);
}

TEST_P(Engine, SkipListLeavesOutWholeNamesOnlyForInsertStatements)
{
    for (const char* table : {"VNH_Skip", "VNH_SkipBlob"}) {
        Both({QStringLiteral("create table %1 (ID integer primary key, Memo varchar(20), Foto varchar(20), "
                             "MemoText varchar(20))")
                  .arg(table)});
        Src->Exec({QStringLiteral("insert into %1 values (1, 'm1', 'f1', 't1'), (2, 'm2', 'f2', 't2')")
                       .arg(table)});
    }

    TFakeView view;
    TMigration migration(view);
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Skip;;#;Memo,Foto"),
                                               QStringLiteral("VNH_SkipBlob;;#;Memo,Foto;blob")});

    EXPECT_EQ(summary.Outcome, toSuccess) << Join(migration.Messages()).toStdString();
    auto column = [&](const char* table, const char* name) {
        return ColumnValues(*Dst->Connect(), QString::fromLatin1(table), QString::fromLatin1(name),
                            QStringLiteral("ID"));
    };
    EXPECT_EQ(column("VNH_Skip", "Memo"), (QStringList{"NULL", "NULL"}));
    EXPECT_EQ(column("VNH_Skip", "Foto"), (QStringList{"NULL", "NULL"}));
    EXPECT_EQ(column("VNH_Skip", "MemoText"), (QStringList{"t1", "t2"}));
    EXPECT_TRUE(
        CompareTables(*Src->Connect(), *Dst->Connect(), QStringLiteral("VNH_SkipBlob"), QStringLiteral("ID"))
            .isEmpty());
}

TEST_P(Engine, AFailedRowCommitsTheRowsWrittenBeforeIt)
{
    Src->Exec(
        {QStringLiteral("create table VNH_Mitte (ID integer primary key, I integer)"),
         QStringLiteral("insert into VNH_Mitte values (1, 1), (2, 2), (3, 3), (4, 4), (5, 5), (6, 6)")});
    Dst->Exec({QStringLiteral("create table VNH_Mitte (ID integer primary key, I integer check (I <> 3))")});

    TFakeView view;
    TMigration migration(view);
    QList<qint64> committed;
    view.OnProcessEvents = [&] {
        if (view.Message == QStringLiteral("VNH_Mitte"))
            committed << Dst->Count(QStringLiteral("VNH_Mitte"));
    };
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Mitte")});

    EXPECT_EQ(summary.Outcome, toSuccessWithFailedRows);
    EXPECT_EQ(summary.RowsCopied, 5);
    EXPECT_EQ(summary.RowsFailed, 1);
    EXPECT_EQ(committed, (QList<qint64>{0, 0, 2, 2, 2, 2}));
    EXPECT_EQ(Ids(QStringLiteral("VNH_Mitte")), (QStringList{"1", "2", "4", "5", "6"}));
    EXPECT_TRUE(migration.Messages().isEmpty()) << "no error flag, so nothing is logged";
    EXPECT_FALSE(QFileInfo::exists(LogPath()));
}

TEST_P(Engine, TransactionBufferCommitsAfterMoreWritesThanItsValue)
{
    Both({QStringLiteral("create table VNH_Puffer (ID integer primary key)")});
    Src->Exec({QStringLiteral("insert into VNH_Puffer values (1), (2), (3), (4), (5), (6)")});
    const struct {
        int Buffer;
        QList<qint64> Committed; // rows another connection sees after each row
    } cases[] = {{1, {0, 2, 2, 4, 4, 6}}, {2, {0, 0, 3, 3, 3, 6}}, {100, {0, 0, 0, 0, 0, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Buffer);
        TFakeView view;
        view.Buffer = c.Buffer;
        TMigration migration(view);
        QList<qint64> committed;
        view.OnProcessEvents = [&] {
            if (view.Message == QStringLiteral("VNH_Puffer"))
                committed << Dst->Count(QStringLiteral("VNH_Puffer"));
        };
        TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Puffer")});
        EXPECT_EQ(summary.Outcome, toSuccess);
        EXPECT_EQ(committed, c.Committed);
        EXPECT_EQ(Dst->Count(QStringLiteral("VNH_Puffer")), 6);
    }
}

TEST_P(Engine, AnEmptySourceTableStartsNoTransaction)
{
    Both({QStringLiteral("create table VNH_Leer0 (ID integer primary key)"),
          QStringLiteral("create table VNH_Voll (ID integer primary key)")});
    Src->Exec({QStringLiteral("insert into VNH_Voll values (1), (2)")});
    Dst->Exec({QStringLiteral("insert into VNH_Leer0 values (9)")});

    TFakeView view;
    TMigration migration(view);
    bool inTransactionAtNextTable = true;
    view.OnMessage = [&](const QString& text) {
        if (text == QStringLiteral("VNH_Voll"))
            inTransactionAtNextTable = migration.DstConnection().InTransaction();
    };
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Leer0;+"), QStringLiteral("VNH_Voll")});

    EXPECT_EQ(summary.Outcome, toSuccess);
    EXPECT_FALSE(inTransactionAtNextTable);
    EXPECT_EQ(view.StartedTables, QStringList{"VNH_Voll"});
    EXPECT_TRUE(view.Messages.contains(QStringLiteral("VNH_Leer0")));
    EXPECT_EQ(Dst->Count(QStringLiteral("VNH_Leer0")), 0);
    EXPECT_EQ(Ids(QStringLiteral("VNH_Voll")), (QStringList{"1", "2"}));
}

TEST_P(Engine, CancelCommitsTheCurrentTableAndStillOpensTheLaterOnes)
{
    for (const char* table : {"VNH_A", "VNH_B", "VNH_C"})
        Both({QStringLiteral("create table %1 (ID integer primary key)").arg(table)});
    Src->Exec({QStringLiteral("insert into VNH_A values (1), (2), (3)"),
               QStringLiteral("insert into VNH_B values (1), (2), (3), (4), (5), (6), (7), (8), (9), (10)"),
               QStringLiteral("insert into VNH_C values (1), (2), (3)")});

    TFakeView view;
    TMigration migration(view);
    int rowsOfB = 0;
    view.OnProcessEvents = [&] {
        if (view.Message == QStringLiteral("VNH_B") && ++rowsOfB == 4)
            migration.Abort();
    };
    TTransferSummary summary =
        Run(migration, {QStringLiteral("VNH_A"), QStringLiteral("VNH_B"), QStringLiteral("VNH_C")});

    EXPECT_EQ(summary.Outcome, toCancelled);
    EXPECT_EQ(view.InformationBoxes, QStringList{"Abbruch durch Benutzer"});
    EXPECT_EQ(Dst->Count(QStringLiteral("VNH_A")), 3);
    EXPECT_EQ(Ids(QStringLiteral("VNH_B")), (QStringList{"1", "2", "3", "4"}));
    EXPECT_EQ(Dst->Count(QStringLiteral("VNH_C")), 0);
    EXPECT_EQ(view.StartedTables, (QStringList{"VNH_A", "VNH_B", "VNH_C"}));
    EXPECT_EQ(rowsOfB, 4) << "no row is copied after the cancel";
    ASSERT_FALSE(view.Buttons.empty());
    EXPECT_EQ(view.Buttons.front(), (std::array<bool, 3>{false, false, true}));
    EXPECT_EQ(view.Buttons.back(), (std::array<bool, 3>{true, true, false}));
}

TEST_P(Engine, NoLogWhenNothingFailedAndAnOldLogStaysUntouched)
{
    Both({QStringLiteral("create table VNH_Ok (ID integer primary key)")});
    Src->Exec({QStringLiteral("insert into VNH_Ok values (1)")});
    {
        QFile old(LogPath());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("alt\r\n");
        old.close();
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            old.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QFileDevice::FileModificationTime));
    }

    TFakeView view;
    TMigration migration(view);
    TTransferSummary summary = Run(migration, {QStringLiteral("VNH_Ok;+")});

    EXPECT_EQ(summary.Outcome, toSuccess);
    EXPECT_EQ(view.InformationBoxes, QStringList{"Migration beendet"});
    EXPECT_EQ(FileBytes(LogPath()), QByteArray("alt\r\n"));
    EXPECT_EQ(QFileInfo(LogPath()).lastModified(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
}

TEST_P(Engine, AnErrorThatEndsTheRunIsLoggedShownAndReportedAsFailure)
{
    Src->Exec({QStringLiteral("create table VNH_Flag (ID integer primary key, I integer)"),
               QStringLiteral("insert into VNH_Flag values (1, 1), (2, 3), (3, 2)"),
               // "VNH_MSStamm" without its column "ID" cannot be copied.
               QStringLiteral("create table VNH_MSStamm (KennNr varchar(20))"),
               QStringLiteral("insert into VNH_MSStamm values ('K-1')")});
    Dst->Exec({QStringLiteral("create table VNH_Flag (ID integer primary key, I integer check (I <> 3))"),
               QStringLiteral("create table VNH_MSStamm (KennNr varchar(20))")});
    const QString missingDir = LogDir.filePath(QStringLiteral("fehlt"));
    const struct {
        const char* Name;
        QStringList Tables;
        QString ErrDir;
    } cases[] = {
        {"engine error", {QStringLiteral("VNH_Flag;+"), QStringLiteral("VNH_MSStamm")}, LogDir.path()},
        {"log directory missing", {QStringLiteral("VNH_Flag;+")}, missingDir},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QFile::remove(LogPath());
        TFakeView view;
        TMigration migration(view);
        TTransferSummary summary = Run(migration, c.Tables, [&] { migration.SetErrDir(c.ErrDir); });

        EXPECT_EQ(summary.Outcome, toFailed);
        EXPECT_FALSE(summary.Error.isEmpty());
        EXPECT_TRUE(view.InformationBoxes.isEmpty());
        ASSERT_EQ(view.ErrorBoxes.size(), 1);
        EXPECT_TRUE(view.ErrorBoxes[0].contains(summary.Error)) << view.ErrorBoxes[0].toStdString();
        ASSERT_FALSE(view.Buttons.empty());
        EXPECT_EQ(view.Buttons.back(), (std::array<bool, 3>{true, true, false}));
        const QString failedRow = migration.Messages().value(0);
        EXPECT_TRUE(failedRow.startsWith(QStringLiteral("VNH_Flag: "))) << failedRow.toStdString();
        EXPECT_EQ(Ids(QStringLiteral("VNH_Flag")), (QStringList{"1", "3"}));
        if (c.ErrDir == missingDir) {
            // Nowhere to write the log: the box carries the collected lines instead.
            EXPECT_TRUE(view.ErrorBoxes[0].contains(failedRow)) << view.ErrorBoxes[0].toStdString();
        } else {
            EXPECT_TRUE(summary.Error.contains(QStringLiteral("ID"))) << summary.Error.toStdString();
            EXPECT_TRUE(view.ErrorBoxes[0].contains(LogPath())) << view.ErrorBoxes[0].toStdString();
            const QString log = QString::fromUtf8(FileBytes(LogPath()));
            EXPECT_TRUE(log.startsWith(failedRow + QStringLiteral("\r\n"))) << log.toStdString();
            EXPECT_TRUE(log.contains(QStringLiteral("VNH_MSStamm: ") + summary.Error)) << log.toStdString();
        }
    }
}

TEST_P(Engine, AnAccessSourceIsOnlyReadAndItsMeasurementDatesArriveEmpty)
{
    Both({QStringLiteral("create table VNH_MSStamm (ID integer primary key, KennNr varchar(20), "
                         "LetzteMessung timestamp, LetzteBeprobung timestamp, Wert integer)")});
    Src->Exec({QStringLiteral(
        "insert into VNH_MSStamm values (0, 'K-0', '2001-02-03 04:05:06', "
        "'2002-03-04 05:06:07', 7), (1, 'K-1', '2003-04-05 06:07:08', '2004-05-06 07:08:09', 8)")});
    const QStringList sourceDates = ColumnValues(*Src->Connect(), QStringLiteral("VNH_MSStamm"),
                                                 QStringLiteral("LetzteMessung"), QStringLiteral("ID"));
    ASSERT_EQ(sourceDates.size(), 2);
    ASSERT_NE(sourceDates[0], QStringLiteral("NULL"));

    for (const char* line : {"VNH_MSStamm", "VNH_MSStamm;;#;;BLOB"}) {
        SCOPED_TRACE(line);
        TFakeView view;
        TMigration migration(view);
        // The source is an SQLite file that calls itself an Access database.
        TTransferSummary summary = Run(migration, {QString::fromLatin1(line)}, [&] {
            migration.SrcConnector().SetConnectionFile(Src->ConfigFileAs(QStringLiteral("MSACCESS")));
        });
        ASSERT_EQ(migration.SrcConnector().DBFormat(), QStringLiteral("MSACCESS"));

        EXPECT_EQ(summary.Outcome, toSuccess) << Join(migration.Messages()).toStdString();
        EXPECT_EQ(view.PlainBoxes, QStringList{"K-0"}) << "a row whose ID is 0 shows its KennNr";
        for (const char* column : {"LetzteMessung", "LetzteBeprobung"}) {
            EXPECT_EQ(ColumnValues(*Dst->Connect(), QStringLiteral("VNH_MSStamm"),
                                   QString::fromLatin1(column), QStringLiteral("ID")),
                      (QStringList{"NULL", "NULL"}));
        }
        EXPECT_EQ(ColumnValues(*Dst->Connect(), QStringLiteral("VNH_MSStamm"), QStringLiteral("KennNr"),
                               QStringLiteral("ID")),
                  (QStringList{"K-0", "K-1"}));
        EXPECT_EQ(ColumnValues(*Dst->Connect(), QStringLiteral("VNH_MSStamm"), QStringLiteral("Wert"),
                               QStringLiteral("ID")),
                  (QStringList{"7", "8"}));
        EXPECT_EQ(ColumnValues(*Src->Connect(), QStringLiteral("VNH_MSStamm"),
                               QStringLiteral("LetzteMessung"), QStringLiteral("ID")),
                  sourceDates);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, Engine, ::testing::Values(esSQLite, esPostgreSQL),
                         [](const ::testing::TestParamInfo<TE2ESystem>& info) {
                             return SystemName(info.param).toStdString();
                         });

} // namespace
