#pragma once
// The row loop of a table copied by INSERT statements, writing several rows at a time through the
// target's bulk writer (TBulkInsert) with the outcome of one statement per row.
//
// A batch never crosses a commit point: it holds at most the rows left until the transaction
// buffer's N + 1 successful rows, so commits fall where they fall row by row. A row's literals come
// from the statement builder, and the rows stay in memory until the batch is written. When a batch
// fails it is taken back (to a savepoint, or the whole transaction when the batch began it) and its
// rows are written again: in smaller batches before the refused row (the one the database names, or
// found by halving) and that row alone by its own statement, so it fails with its own message, the
// rows before it are committed and the rows after it start the next transaction. The per-row steps
// (progress, counting, commits, log, processing pending events, cancel) run for each row once its
// outcome is known, in row order; a cancel, or a smaller buffer set while a batch's rows are
// counted, takes the batch's later rows back out of the target before the commit.
//
// The source rows are read and turned into literals by a thread of their own, which owns the source
// query while the loop runs and fills a ring of rows ahead of the writer; the loop takes the rows in
// order and does everything else, so both connections are busy at the same time.

#include "db/driver.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TField;
class TMigration;
struct TTableSettings;
struct TTransferSummary;

/// Counters of one table's row loop.
struct TRowTally {
    int RowCounter = 0; // rows since the last progress step
    int RowsRead = 0;
    qint64 Copied = 0;
    qint64 Failed = 0;
};

class TBatchCopy {
public:
    /// The batched loop for the table whose queries the migration has just opened, or nullptr when
    /// the target has no bulk writer for it. Call before the table's transaction starts.
    static std::unique_ptr<TBatchCopy> Open(TMigration& migration, const TTableSettings& settings,
                                            int batchRows);
    ~TBatchCopy();

    /// Copies the source rows from the current one on, inside the table's open transaction.
    void Run(TRowTally& tally, TTransferSummary& summary);

private:
    struct TColumn {
        int SourceIndex;
        QString Name;
        const TField* Target; // in the target query, open while the loop runs
    };
    struct TRow {
        QString Text;                 // the value list texts one after the other
        std::vector<qsizetype> Start; // per column: where its text begins, -1 when the row leaves it out
        std::vector<qsizetype> End;
        int Listed = 0;
        QStringList Boxes; // plain message boxes the row shows
        QStringView Value(size_t column) const;
    };

    TBatchCopy(TMigration& migration, const TTableSettings& settings, std::unique_ptr<TBulkInsert> bulk,
               std::vector<TColumn> columns, int batchRows);

    TRow& At(int k) { return FRows[static_cast<size_t>((FHead + k) % static_cast<int>(FRows.size()))]; }
    void Pop(int count);
    // The reader thread: its loop, one row, and how the row loop waits for it and stops it.
    void ReadSource();
    bool ReadRow(TRow& row);
    int WaitForRows(int wanted);
    void StopReader();
    bool AddToBulk(const TRow& row);
    int BulkPrefix(int wanted);
    void PrepareNext(int inFlight);
    void ForgetPrepared();
    void WriteBatch(int count, TRowTally& tally);
    void KeepFirstRows(int count, bool beganTransaction);
    void WriteAlone(TRowTally& tally);
    void StartRow(TRow& row, TRowTally& tally);
    void FinishRow(bool written, const QString& message, TRowTally& tally);

    TMigration& FMigration;
    const TTableSettings& FSettings;
    std::unique_ptr<TBulkInsert> FBulk;
    std::vector<TColumn> FColumns;
    std::vector<TRow> FRows; // ring of the rows read but not yet written
    int FBatchRows;
    std::vector<QStringView> FValues;
    int FHead = 0;  // the row loop's first row in the ring
    int FCount = 0; // rows the row loop has taken over from the reader
    QString FSourceError;

    // Shared with the reader thread, under FLock. FSourceError and FReaderFault are written before
    // FSourceEnded is set and read after it is seen.
    std::thread FReader;
    std::mutex FLock;
    std::condition_variable FRowsReady; // the row loop waits for rows
    std::condition_variable FRoomFree;  // the reader waits for room in the ring
    int FFilled = 0;                    // rows in the ring, FCount of them taken over
    int FWanted = 0;                    // rows the row loop waits for; 0 when it does not wait
    qsizetype FQueuedChars = 0;
    bool FSourceEnded = false;
    bool FStop = false;
    std::exception_ptr FReaderFault;
    bool FIsStamm = false;
    bool FTargetOpen = true;
    // After a failed batch: the first FSuspect rows hold the refused row, at FHint if known.
    int FSuspect = 0;
    int FHint = -1;
    // The first rows, already queued in the writer as the next batch while the last one was written.
    int FPrepared = 0;
};
