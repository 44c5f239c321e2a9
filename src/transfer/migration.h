#pragma once

#include "config/korvin_connector.h"
#include "db/connection.h"
#include "db/query.h"
#include "transfer/table_list.h"

#include <QStringList>
#include <algorithm>
#include <memory>

class ITransferView;

/// How a transfer run ended.
enum TTransferOutcome { toSuccess, toSuccessWithFailedRows, toCancelled, toFailed };

struct TTransferSummary {
    TTransferOutcome Outcome = toSuccess;
    int Tables = 0;            // tables whose rows were read
    qint64 RowsCopied = 0;
    qint64 RowsFailed = 0;     // every failed row, with or without the table's error flag
    int TablesNotOpened = 0;   // tables that could not be opened and so were not copied
    QString Error;             // what ended a failed run
    QString ErrorLog;          // the error log the run wrote, "" when it wrote none
    double Seconds = 0;
};

/// The transfer program's state and work without widgets: both connections and their connectors,
/// the table list, the collected messages, the cancel flag and the failed-row counter. The window
/// and the headless mode drive it and show what it reports through ITransferView.
class TMigration {
public:
    explicit TMigration(ITransferView& view);
    ~TMigration();

    TConnection& SrcConnection() { return FConSrc; }
    TConnection& DstConnection() { return FConDst; }
    TKorvinConnector& SrcConnector() { return *FSrcConnector; }
    TKorvinConnector& DstConnector() { return *FDstConnector; }

    QStringList TableList() const { return FTblList; }
    void SetTableList(const QStringList& lines) { FTblList = lines; }
    QString ErrDir() const { return FErrDir; }
    void SetErrDir(const QString& dir) { FErrDir = dir; }
    const QStringList& Messages() const { return FMsg; }
    int ErrCnt() const { return FErrCnt; }
    bool Aborted() const { return FAborted; }
    /// The user confirmed cancelling: the current row is finished, the table committed.
    void Abort() { FAborted = true; }
    /// Whether every row is written by its own statement. Otherwise tables copied by statements go
    /// in batches where the target's provider can write several rows with the same outcome
    /// (batch_copy.h); the environment variable VNH_ROW_BY_ROW=1 sets it at construction.
    bool RowByRow() const { return FRowByRow; }
    void SetRowByRow(bool value) { FRowByRow = value; }
    /// Most rows in one batch.
    int BatchRows() const { return FBatchRows; }
    void SetBatchRows(int value) { FBatchRows = std::max(2, value); }

    /// Tests both configuration files; "" on success, else the text for the error box.
    QString TestConnections(const QString& srcFile, const QString& dstFile, const QString& errDir);

    /// Empties every listed target table, last line first. Failures show a plain box each.
    void EmptyTargetTables();
    void EmptyTable(const QString& tableName);
    /// Copies every listed table, first line first, and writes the error log.
    TTransferSummary RunTransfer();

    void AddMessage(const QString& text) { FMsg.append(text); }
    void ClearMessages() { FMsg.clear(); }
    QString ErrorLogPath() const;

    /// Clamps the text of the buffer edit: 1..100000, empty = 1.
    static int TransactionBufferValue(const QString& text);
    /// Reads the list file "VNH_Tables.txt" next to the program.
    static QString DefaultTableListPath();

private:
    friend class TBatchCopy;
    void CopyTable(const QString& line, TTransferSummary& summary);
    bool OpenTablePair(const QString& tableName, const QString& keyColumns);
    int CountSourceRows();
    bool FillInsertFields(TQuery& src, TQuery& dst, bool blobMode, const QString& skipList);
    /// The target field of a source field whose column the INSERT statements list, else nullptr.
    const TField* InsertTarget(const TField& field, TQuery& dst, const QString& skipList) const;
    /// The value list text of a listed column for the current row; null when the row leaves the
    /// column to the target (an empty value, a date outside the limits).
    QString InsertValue(const TField& field, const TField& target) const;
    /// InsertValue appended to `out`; false (and nothing appended) when the column is left out.
    bool AppendInsertValue(const TField& field, const TField& target, QString& out) const;
    bool WriteRow(bool blobMode, QString& message);
    /// Commits and starts anew; returns the rows lost when the commit failed.
    int CommitAndRestart();
    void StepProgress(int& rowCounter);
    void WriteErrorLog();
    bool NulledSourceColumn(const QString& fieldName) const;

    ITransferView& FView;
    TConnection FConSrc;
    TConnection FConDst;
    TQuery FQrySrc;
    TQuery FQryCntSrc;
    TQuery FQryDst;
    std::unique_ptr<TKorvinConnector> FSrcConnector;
    std::unique_ptr<TKorvinConnector> FDstConnector;
    QStringList FTblList;
    QStringList FMsg;
    QString FErrDir;
    bool FAborted = false;
    bool FShowErr = false;
    int FErrCnt = 0;
    int FRowsInTransaction = 0;
    qint64 FTableCommitted = 0;  // rows of the current table in committed transactions
    int FProgressMax = 0;
    QString FCurrentTable;
    bool FNullSourceDates = false;  // VNH_MSStamm read from an Access source
    bool FRowByRow = false;
    int FBatchRows = 1000;
};
