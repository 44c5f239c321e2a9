// The batched write path against one statement per row on the same source: the same target rows,
// error log, counts and commit points (what another connection sees after every row), with refused
// rows at the first, middle and last position of a batch, at a commit point, found by the
// database's own hint or by halving, and with a cancel or a smaller buffer in the middle of a batch.

#include "e2e_support.h"

#include "transfer/migration.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

constexpr int kRows = 20;

struct TOutcome {
    TTransferSummary Summary;
    QStringList Ids;
    QByteArray Log;
    QList<qint64> Committed; // rows another connection sees after each row
    QStringList ErrorCounts;
    QStringList InformationBoxes;
};

using TOnRow = std::function<void(TMigration&, TFakeView&, int row)>;

/// Source always SQLite; the target is each available system with a writer of several rows.
class BatchPath : public ::testing::TestWithParam<TE2ESystem> {
protected:
    void SetUp() override
    {
        QString reason = UnavailableReason(GetParam());
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        Src = std::make_unique<TE2EDatabase>(esSQLite);
        Src->Exec({QStringLiteral("create table VNH_Los (ID integer primary key, I integer, R integer, "
                                  "S varchar(20))")});
    }

    /// Source rows 1..20; the target refuses `checked` by a check constraint (the database names
    /// the row) and `referencing` by a foreign key (checked when the statement ends).
    void FillSource(const QList<int>& checked, const QList<int>& referencing = {})
    {
        QStringList rows;
        for (int id = 1; id <= kRows; ++id) {
            rows << QStringLiteral("(%1, %2, %3, 'Zeile %1')")
                        .arg(id)
                        .arg(checked.contains(id) ? -1 : id)
                        .arg(referencing.contains(id) ? 99 : 1);
        }
        Src->Exec({QStringLiteral("insert into VNH_Los values ") + rows.join(u',')});
    }

    TOutcome Run(bool rowByRow, int batchRows, int buffer, const TOnRow& onRow = {})
    {
        TE2EDatabase dst(GetParam());
        dst.Exec({QStringLiteral("create table VNH_Ref (ID integer primary key)"),
                  QStringLiteral("insert into VNH_Ref values (1)"),
                  QStringLiteral("create table VNH_Los (ID integer primary key, I integer check (I <> -1), "
                                 "R integer references VNH_Ref (ID), S varchar(20))")});
        TFakeView view;
        view.Buffer = buffer;
        TMigration migration(view);
        migration.SetRowByRow(rowByRow);
        migration.SetBatchRows(batchRows);
        TOutcome outcome;
        int row = 0;
        view.OnProcessEvents = [&] {
            if (view.Message != QStringLiteral("VNH_Los"))
                return;
            outcome.Committed << dst.Count(QStringLiteral("VNH_Los"));
            if (onRow)
                onRow(migration, view, ++row);
        };
        QTemporaryDir logDir;
        outcome.Summary = StartTransfer(migration, Src->ConfigFile(), dst.ConfigFile(),
                                        {QStringLiteral("VNH_Los;+")}, logDir.path());
        outcome.Ids = ColumnValues(*dst.Connect(), QStringLiteral("VNH_Los"), QStringLiteral("ID"),
                                   QStringLiteral("ID"));
        outcome.Log = FileBytes(logDir.filePath(QStringLiteral("Transfer_Errors.log")));
        // MySQL names the database in its messages, and every run has a database of its own.
        if (!dst.Name().isEmpty())
            outcome.Log.replace(dst.Name().toUtf8(), "<db>");
        outcome.ErrorCounts = view.ErrorCounts;
        outcome.InformationBoxes = view.InformationBoxes;
        return outcome;
    }

    /// Runs both paths and expects the same observable outcome.
    TOutcome ExpectSameAsRowByRow(int batchRows, int buffer, const TOnRow& onRow = {})
    {
        TOutcome expected = Run(true, batchRows, buffer, onRow);
        TOutcome batched = Run(false, batchRows, buffer, onRow);
        EXPECT_EQ(batched.Ids, expected.Ids);
        EXPECT_EQ(batched.Log.toStdString(), expected.Log.toStdString());
        EXPECT_EQ(batched.Committed, expected.Committed);
        EXPECT_EQ(batched.ErrorCounts, expected.ErrorCounts);
        EXPECT_EQ(batched.InformationBoxes, expected.InformationBoxes);
        EXPECT_EQ(batched.Summary.Outcome, expected.Summary.Outcome);
        EXPECT_EQ(batched.Summary.RowsCopied, expected.Summary.RowsCopied);
        EXPECT_EQ(batched.Summary.RowsFailed, expected.Summary.RowsFailed);
        return batched;
    }

    std::unique_ptr<TE2EDatabase> Src;
};

TEST_P(BatchPath, RefusedRowsGiveTheSameTargetLogAndCommitsAsOneStatementPerRow)
{
    const struct {
        const char* Name;
        QList<int> Checked;
        QList<int> Referencing;
        int BatchRows;
        int Buffer;
    } cases[] = {
        {"first of a batch", {6}, {}, 5, 100},
        {"middle of a batch", {8}, {}, 5, 100},
        {"last of a batch", {10}, {}, 5, 100},
        {"first row of the table", {1}, {}, 5, 3},
        {"the row of a commit point", {5, 14}, {}, 10, 3},
        {"right after a commit point", {6, 11}, {}, 10, 4},
        {"adjacent and repeated", {3, 4, 9, 10, 11, 20}, {}, 4, 2},
        {"found by halving", {}, {7, 13}, 8, 100},
        {"both kinds in one batch", {2, 15}, {9, 16}, 20, 100},
        {"every row", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, {}, 5, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Src->Exec({QStringLiteral("delete from VNH_Los")});
        FillSource(c.Checked, c.Referencing);
        TOutcome batched = ExpectSameAsRowByRow(c.BatchRows, c.Buffer);
        const qsizetype refused = c.Checked.size() + c.Referencing.size();
        EXPECT_EQ(batched.Ids.size(), kRows - refused);
        EXPECT_EQ(batched.Summary.RowsFailed, refused);
        EXPECT_EQ(batched.Log.count("VNH_Los: "), refused);
    }
}

TEST_P(BatchPath, CancelInTheMiddleOfABatchKeepsTheRowsUpToTheCurrentOne)
{
    FillSource({3});
    TOutcome batched = ExpectSameAsRowByRow(10, 100, [](TMigration& migration, TFakeView&, int row) {
        if (row == 6)
            migration.Abort();
    });
    EXPECT_EQ(batched.Ids, (QStringList{"1", "2", "4", "5", "6"}));
    EXPECT_EQ(batched.InformationBoxes, QStringList{"Abbruch durch Benutzer"});
}

TEST_P(BatchPath, ASmallerBufferSetDuringABatchMovesTheNextCommitAsRowByRow)
{
    FillSource({12});
    TOutcome batched = ExpectSameAsRowByRow(10, 100, [](TMigration&, TFakeView& view, int row) {
        if (row == 3)
            view.Buffer = 1;
    });
    EXPECT_EQ(batched.Committed.mid(0, 5), (QList<qint64>{0, 0, 0, 4, 4}));
}

INSTANTIATE_TEST_SUITE_P(Targets, BatchPath, ::testing::Values(esSQLite, esPostgreSQL, esMySQL),
                         [](const ::testing::TestParamInfo<TE2ESystem>& info) {
                             return SystemName(info.param).toStdString();
                         });

} // namespace
