#include "transfer/batch_copy.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "db/field.h"
#include "db/query.h"
#include "transfer/migration.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/table_list.h"
#include "transfer/transfer_view.h"

#include <algorithm>

namespace {

const QString kBatchSavepoint = QStringLiteral("vnh_batch");
// Rows wait in memory until their batch is written; wide rows end a batch early.
constexpr qsizetype kMaxQueuedChars = 8 << 20;
constexpr qsizetype kKeptChars = 16 << 10;

} // namespace

std::unique_ptr<TBatchCopy> TBatchCopy::Open(TMigration& migration, const TTableSettings& settings,
                                             int batchRows)
{
    TQuery& src = migration.FQrySrc;
    TQuery& dst = migration.FQryDst;
    std::vector<TColumn> columns;
    QStringList names;
    // The columns FillInsertFields may add, in its order; which of them a row lists depends on its values.
    for (int i = 0; i < src.FieldCount(); ++i) {
        const TField& field = src.Fields(i);
        const TField* target = migration.InsertTarget(field, dst, settings.SkipList);
        if (!target)
            continue;
        columns.push_back({i, field.FieldName(), target});
        names << SQLUpdIns().ColumnListText(field.FieldName());
    }
    if (columns.empty())
        return nullptr;
    std::unique_ptr<TBulkInsert> bulk;
    try {
        bulk = migration.FConDst.OpenBulkInsert(SQLUpdIns().TableName(), names);
    } catch (const EDatabaseError&) {
        return nullptr; // the statements meet the same trouble and report it row by row
    }
    if (!bulk)
        return nullptr;
    return std::unique_ptr<TBatchCopy>(
        new TBatchCopy(migration, settings, std::move(bulk), std::move(columns), batchRows));
}

TBatchCopy::TBatchCopy(TMigration& migration, const TTableSettings& settings,
                       std::unique_ptr<TBulkInsert> bulk, std::vector<TColumn> columns, int batchRows)
    : FMigration(migration), FSettings(settings), FBulk(std::move(bulk)), FColumns(std::move(columns)),
      FRows(static_cast<size_t>(std::max(2, batchRows))), FBatchRows(std::max(2, batchRows))
{
    // Room for the batch on its way and the next one, read while the database works on the first.
    FRows.resize(2 * FRows.size());
    for (TRow& row : FRows) {
        row.Start.resize(FColumns.size());
        row.End.resize(FColumns.size());
    }
    FValues.resize(FColumns.size());
    FIsStamm = settings.TableName.compare(QLatin1String("VNH_MSStamm"), Qt::CaseInsensitive) == 0;
    // Appending to a target query that is not open fails for every row with the same box.
    FTargetOpen = migration.FQryDst.Active();
}

TBatchCopy::~TBatchCopy()
{
    StopReader();
}

void TBatchCopy::Run(TRowTally& tally, TTransferSummary& summary)
{
    TMigration& m = FMigration;
    FSourceEnded = m.FQrySrc.Eof();
    if (!FSourceEnded)
        FReader = std::thread(&TBatchCopy::ReadSource, this);
    while (!m.FAborted) {
        // Rows up to the next commit point, which a batch never crosses.
        const int room = std::max(1, m.FView.TransactionBuffer() + 1 - m.FRowsInTransaction);
        int wanted = std::min(FBatchRows, room);
        if (WaitForRows(wanted) == 0)
            break;
        wanted = std::min(wanted, FCount);
        if (FSuspect > 0)
            wanted = std::min(wanted, FHint >= 0 ? FHint : std::max(1, FSuspect / 2));
        const int count = wanted >= 2 ? BulkPrefix(wanted) : 0;
        if (count >= 2)
            WriteBatch(count, tally);
        else
            WriteAlone(tally);
    }
    // The source query is the engine's again once the reader is gone.
    StopReader();
    // The writer goes before the table's last commit, which then prepares nothing more for it.
    FBulk.reset();
    if (m.FAborted)
        return;
    if (FReaderFault)
        std::rethrow_exception(FReaderFault);
    if (!FSourceError.isEmpty()) {
        // The table ends here; a run with a broken source must not look complete.
        m.AddMessage(FSourceError);
        summary.Error = FSourceError;
    }
}

QStringView TBatchCopy::TRow::Value(size_t column) const
{
    if (Start[column] < 0)
        return {};
    return QStringView(Text).sliced(Start[column], End[column] - Start[column]);
}

void TBatchCopy::Pop(int count)
{
    qsizetype chars = 0;
    for (int k = 0; k < count; ++k) {
        TRow& row = At(k);
        chars += row.Text.size();
        // A slot keeps its buffer for the next row, unless a wide row made it large.
        if (row.Text.capacity() > kKeptChars)
            row.Text = QString();
    }
    FHead = (FHead + count) % static_cast<int>(FRows.size());
    FCount -= count;
    {
        std::lock_guard lock(FLock);
        FFilled -= count;
        FQueuedChars -= chars;
    }
    FRoomFree.notify_one();
    if (FSuspect > 0) {
        FSuspect = std::max(0, FSuspect - count);
        FHint = FSuspect > 0 && FHint >= count ? FHint - count : -1;
    }
}

void TBatchCopy::ReadSource()
{
    const int size = static_cast<int>(FRows.size());
    int tail = 0;
    bool more = true;
    try {
        while (more) {
            {
                std::unique_lock lock(FLock);
                FRoomFree.wait(lock,
                               [&] { return FStop || (FFilled < size && FQueuedChars < kMaxQueuedChars); });
                if (FStop)
                    return;
            }
            TRow& row = FRows[static_cast<size_t>(tail)];
            more = ReadRow(row);
            tail = (tail + 1) % size;
            std::lock_guard lock(FLock);
            ++FFilled;
            FQueuedChars += row.Text.size();
            FSourceEnded = !more;
            if (FSourceEnded || (FWanted > 0 && (FFilled >= FWanted || FQueuedChars >= kMaxQueuedChars)))
                FRowsReady.notify_one();
        }
    } catch (...) {
        std::lock_guard lock(FLock);
        FReaderFault = std::current_exception();
        FSourceEnded = true;
        FRowsReady.notify_one();
    }
}

bool TBatchCopy::ReadRow(TRow& row)
{
    TMigration& m = FMigration;
    TQuery& src = m.FQrySrc;
    row.Boxes.clear();
    if (!FTargetOpen)
        row.Boxes << FSettings.TableName;
    if (FIsStamm && src.FieldByName(QStringLiteral("ID")).AsInteger() == 0)
        row.Boxes << src.FieldByName(QStringLiteral("KennNr")).AsString();
    // What FillInsertFields hands to the builder, kept as the value list texts.
    row.Listed = 0;
    row.Text.resize(0); // keeps its capacity
    for (size_t c = 0; c < FColumns.size(); ++c) {
        const TColumn& column = FColumns[c];
        const qsizetype start = row.Text.size();
        if (!m.AppendInsertValue(src.Fields(column.SourceIndex), *column.Target, row.Text)) {
            row.Start[c] = -1;
            continue;
        }
        row.Start[c] = start;
        row.End[c] = row.Text.size();
        ++row.Listed;
    }
    try {
        src.Next();
        return !src.Eof();
    } catch (const EDatabaseError& e) {
        FSourceError = FSettings.TableName + QStringLiteral(": ") + e.Message();
        return false;
    }
}

int TBatchCopy::WaitForRows(int wanted)
{
    std::unique_lock lock(FLock);
    const auto enough = [&] { return FFilled >= wanted || FSourceEnded || FQueuedChars >= kMaxQueuedChars; };
    if (!enough()) {
        FWanted = wanted;
        FRowsReady.wait(lock, enough);
        FWanted = 0;
    }
    FCount = FFilled;
    return FCount;
}

void TBatchCopy::StopReader()
{
    if (!FReader.joinable())
        return;
    {
        std::lock_guard lock(FLock);
        FStop = true;
    }
    FRoomFree.notify_one();
    FReader.join();
}

bool TBatchCopy::AddToBulk(const TRow& row)
{
    for (size_t c = 0; c < FColumns.size(); ++c)
        FValues[c] = row.Value(c);
    return FBulk->Add(FValues);
}

int TBatchCopy::BulkPrefix(int wanted)
{
    // The rows queued while the last batch was written are this batch's start, unless it became shorter.
    int count = FPrepared;
    FPrepared = 0;
    if (count == 0 || count > wanted || FSuspect > 0) {
        FBulk->Clear();
        count = 0;
    }
    // A row without any column, or one the writer cannot carry exactly, goes by its statement.
    while (count < wanted && At(count).Listed > 0 && AddToBulk(At(count)))
        ++count;
    if (count < 2)
        FBulk->Clear();
    return count;
}

void TBatchCopy::PrepareNext(int inFlight)
{
    // The rows the next batch will most likely take, if this one goes through as it is: up to its
    // commit point, from the rows the reader has ready. The database works on the batch meanwhile.
    TMigration& m = FMigration;
    const int buffer = m.FView.TransactionBuffer();
    int inTransaction = m.FRowsInTransaction + inFlight;
    if (inTransaction > buffer)
        inTransaction = 0;
    const int wanted = std::min(FBatchRows, std::max(1, buffer + 1 - inTransaction));
    {
        std::lock_guard lock(FLock);
        FCount = FFilled;
    }
    int count = 0;
    while (count < wanted && inFlight + count < FCount && At(inFlight + count).Listed > 0 &&
           AddToBulk(At(inFlight + count)))
        ++count;
    FPrepared = count;
    if (count < 2)
        ForgetPrepared();
}

void TBatchCopy::ForgetPrepared()
{
    FBulk->Clear();
    FPrepared = 0;
}

void TBatchCopy::WriteBatch(int count, TRowTally& tally)
{
    TMigration& m = FMigration;
    TConnection& dst = m.FConDst;
    // A batch that begins the transaction is taken back with it; any other needs a savepoint.
    const bool beganTransaction = m.FRowsInTransaction == 0;
    if (!beganTransaction)
        dst.SetSavepoint(kBatchSavepoint);
    try {
        FBulk->Send();
        if (FSuspect == 0)
            PrepareNext(count);
        FBulk->Finish();
    } catch (const EDatabaseError&) {
        const int hint = FBulk->FailedRow();
        ForgetPrepared();
        if (beganTransaction) {
            dst.Rollback();
            dst.StartTransaction();
        } else {
            dst.RollbackToSavepoint(kBatchSavepoint);
            dst.ReleaseSavepoint(kBatchSavepoint);
        }
        FSuspect = count;
        FHint = hint >= 0 && hint < count ? hint : -1;
        return;
    }

    // Each row's own steps, in order, as if it had just been written by its statement.
    bool savepointOpen = !beganTransaction;
    int done = 0;
    while (done < count) {
        const bool last = done == count - 1;
        StartRow(At(done), tally);
        ++m.FRowsInTransaction;
        ++tally.Copied;
        ++done;
        bool cut = false;
        if (m.FRowsInTransaction > m.FView.TransactionBuffer()) {
            // Only a buffer made smaller meanwhile puts a commit point inside the batch.
            if (!last) {
                KeepFirstRows(done, beganTransaction);
                cut = true;
            }
            int lost = m.CommitAndRestart();
            tally.Copied -= lost;
            tally.Failed += lost;
            savepointOpen = false;
        }
        m.FView.RowDone(++tally.RowsRead);
        m.FView.ProcessEvents();
        if (m.FAborted) {
            // The row seen last is finished; the batch's later rows must not be committed.
            if (!last && !cut)
                KeepFirstRows(done, beganTransaction);
            break;
        }
        if (cut)
            break;
    }
    if (savepointOpen)
        dst.ReleaseSavepoint(kBatchSavepoint);
    Pop(done);
}

void TBatchCopy::KeepFirstRows(int count, bool beganTransaction)
{
    TConnection& dst = FMigration.FConDst;
    if (beganTransaction) {
        dst.Rollback();
        dst.StartTransaction();
    } else {
        dst.RollbackToSavepoint(kBatchSavepoint);
    }
    // The same rows were just accepted in the same state; a refusal now ends the run.
    ForgetPrepared();
    for (int k = 0; k < count; ++k)
        AddToBulk(At(k));
    FBulk->Write();
}

void TBatchCopy::WriteAlone(TRowTally& tally)
{
    TMigration& m = FMigration;
    TRow& row = At(0);
    StartRow(row, tally);
    SQLUpdIns().Reset();
    for (size_t c = 0; c < FColumns.size(); ++c) {
        if (row.Start[c] >= 0)
            SQLUpdIns().AddIns(FColumns[c].Name, row.Value(c).toString());
    }
    QString message;
    const bool written = m.WriteRow(false, message);
    const bool wasSuspect = FSuspect > 0;
    Pop(1);
    if (wasSuspect && !written) {
        // The refused row is found; what follows it is unknown again.
        FSuspect = 0;
        FHint = -1;
    }
    FinishRow(written, message, tally);
}

void TBatchCopy::StartRow(TRow& row, TRowTally& tally)
{
    ++tally.RowCounter;
    FMigration.StepProgress(tally.RowCounter);
    for (const QString& box : std::as_const(row.Boxes))
        FMigration.FView.PlainBox(box);
}

void TBatchCopy::FinishRow(bool written, const QString& message, TRowTally& tally)
{
    TMigration& m = FMigration;
    int lost = 0;
    if (written) {
        ++tally.Copied;
    } else {
        ++tally.Failed;
        lost += m.CommitAndRestart();
    }
    if (m.FRowsInTransaction > m.FView.TransactionBuffer())
        lost += m.CommitAndRestart();
    tally.Copied -= lost;
    tally.Failed += lost;
    if (!written && m.FShowErr) {
        ++m.FErrCnt;
        m.FView.SetErrorCount(QString::number(m.FErrCnt));
        m.AddMessage(FSettings.TableName + QStringLiteral(": ") + message);
    }
    m.FView.RowDone(++tally.RowsRead);
    m.FView.ProcessEvents();
}
