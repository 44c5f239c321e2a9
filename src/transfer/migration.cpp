#include "transfer/migration.h"

#include "config/helpers.h"
#include "config/text_file.h"
#include "db/date_time.h"
#include "db/db_error.h"
#include "transfer/batch_copy.h"
#include "transfer/db_utils.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/transaction_handler.h"
#include "transfer/transfer_view.h"

#include <QDir>
#include <QElapsedTimer>
#include <cmath>

namespace {

const QString kRowSavepoint = QStringLiteral("vnh_row");

bool SameName(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

bool IsBlank(QStringView text)
{
    for (QChar ch : text) {
        if (ch.unicode() > 32)
            return false;
    }
    return true;
}

// Whether a source value counts as empty and so leaves its column to the target's default: NULL, a
// text of blanks and control characters only, or no bytes.
bool IsEmptySourceValue(const TField& field)
{
    if (field.IsNull())
        return true;
    const TFieldType type = field.DataType();
    // Bytes are data, not text: a blob of zero bytes is still a value.
    if (IsBinaryType(type))
        return field.AsBytes().isEmpty();
    // Kinds whose text form is never blank are decided without making the text.
    switch (type) {
    case ftFloat:
    case ftExtended:
    case ftSingle:
    case ftBoolean:
        return false;
    default:
        break;
    }
    if (IsDateTimeType(type) && std::fabs(field.AsVariant().toDouble()) < 1e7)
        return false;
    if (IsIntegerType(type) && field.AsVariant().typeId() == QMetaType::LongLong)
        return false;
    return IsBlank(field.AsString());
}

bool IsWithinDateLimits(TDateTime value)
{
    static const TDateTime lowerLimit = EncodeDate(1900, 1, 1);
    static const TDateTime upperLimit = EncodeDate(2079, 6, 6);
    return value >= lowerLimit && value <= upperLimit;
}

}  // namespace

TMigration::TMigration(ITransferView& view)
    : FView(view),
      FQrySrc(FConSrc),
      FQryCntSrc(FConSrc),
      FQryDst(FConDst),
      FSrcConnector(std::make_unique<TKorvinConnector>(FConSrc)),
      FDstConnector(std::make_unique<TKorvinConnector>(FConDst))
{
    FConDst.AutoCommit = false;
    FRowByRow = qEnvironmentVariable("VNH_ROW_BY_ROW") == QLatin1String("1");
    FQrySrc.SetUniDirectional(true);
    FQrySrc.Connection().SetSpecificOption(QStringLiteral("SQL Server.FetchAll"), QStringLiteral("False"));
}

TMigration::~TMigration()
{
    FQrySrc.Close();
    FQryCntSrc.Close();
    FQryDst.Close();
}

QString TMigration::DefaultTableListPath()
{
    return GetExeDir() + QDir::separator() + QStringLiteral("VNH_Tables.txt");
}

int TMigration::TransactionBufferValue(const QString& text)
{
    bool ok = false;
    qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok)
        return text.trimmed().isEmpty() ? 1 : 100000;
    return static_cast<int>(std::clamp<qlonglong>(value, 1, 100000));
}

QString TMigration::TestConnections(const QString& srcFile, const QString& dstFile, const QString& errDir)
{
    FConSrc.Close();
    FConDst.Close();
    if (srcFile.isEmpty() || dstFile.isEmpty() || errDir.isEmpty())
        return QStringLiteral("Angaben unvollständig");
    if (srcFile == dstFile)
        return QStringLiteral("Quelle und Ziel identisch");
    FSrcConnector->SetConnectionFile(srcFile);
    FDstConnector->SetConnectionFile(dstFile);
    if (!FSrcConnector->Connect())
        return QStringLiteral("Fehler beim Verbindungsaufbau zur Quelldatenbank: ") + FSrcConnector->ErrorMessage();
    if (!FDstConnector->Connect())
        return QStringLiteral("Fehler beim Verbindungsaufbau zur Zieldatenank: ") + FDstConnector->ErrorMessage();
    return QString();
}

void TMigration::EmptyTargetTables()
{
    FView.SetMessage(QString());
    FView.SetErrorCount(QString());
    FView.SetMessage(QStringLiteral("Lösche Daten in Zieldatenbank"));
    FView.Repaint();
    FView.SetProgress(0);
    FView.SetProgressMax(static_cast<int>(FTblList.size()));
    for (qsizetype i = FTblList.size() - 1; i >= 0; --i) {
        QString tableName = TableNameOfLine(FTblList.at(i));
        FView.SetProgress(FView.Progress() + 1);
        FView.SetMessage(QStringLiteral("Lösche ") + tableName);
        EmptyTable(tableName);
        FView.ProcessEvents();
    }
    FView.SetProgress(0);
}

void TMigration::EmptyTable(const QString& tableName)
{
    const QString statement = QStringLiteral("DELETE FROM ") + tableName;
    try {
        FConDst.StartTransaction();
        FConDst.ExecSQL(statement);
        FConDst.Commit();
    } catch (const EDatabaseError& e) {
        try {
            if (FConDst.InTransaction())
                FConDst.Rollback();
        } catch (const EDatabaseError&) {
        }
        FView.PlainBox(QStringLiteral("%1: %2").arg(e.Message(), statement));
    }
}

TTransferSummary TMigration::RunTransfer()
{
    QElapsedTimer clock;
    clock.start();
    TTransferSummary summary;
    const QString srcFormat = FSrcConnector->DBFormat();
    const QString dstFormat = FDstConnector->DBFormat();

    FView.SetButtons(false, false, true);
    try {
        if (dstFormat == QStringLiteral("MYSQL")) {
            try {
                FConDst.ExecSQL(QStringLiteral("SET UNIQUE_CHECKS=0"));
            } catch (const EDatabaseError&) {
            }
        }
        if (dstFormat == QStringLiteral("ORACLE"))
            FConDst.ExecSQL(QStringLiteral("ALTER SESSION SET nls_date_format = 'YYYY-MM-DD HH24:MI:SS'"));

        SQLUpdIns().SetDefaultMode(uiInsert);
        SQLUpdIns().SetConnection(FConDst);
        TransactionHandler().SetConnection(FConDst);
        TransactionHandler().SetActive(false);

        // The source is only read: instead of clearing the two measurement dates of an Access
        // source in place, they are read as NULL while copying.
        FNullSourceDates = srcFormat == QStringLiteral("MSACCESS");
        if (FNullSourceDates && FConDst.InTransaction())
            FConDst.Commit();

        for (const QString& line : std::as_const(FTblList))
            CopyTable(line, summary);

        FView.SetButtons(true, true, false);
        WriteErrorLog();
        if (!FMsg.isEmpty())
            summary.ErrorLog = ErrorLogPath();
        if (dstFormat == QStringLiteral("MYSQL")) {
            try {
                FConDst.ExecSQL(QStringLiteral("SET UNIQUE_CHECKS=1"));
            } catch (const EDatabaseError&) {
            }
        }
    } catch (const std::exception& e) {
        QString error = dynamic_cast<const EDatabaseError*>(&e)
                            ? static_cast<const EDatabaseError&>(e).Message()
                            : QString::fromUtf8(e.what());
        summary.Outcome = toFailed;
        summary.Error = error;
        // A table broken off in the middle: its committed transactions are in the target.
        summary.RowsCopied += FTableCommitted;
        FTableCommitted = 0;
        summary.Seconds = clock.elapsed() / 1000.0;
        AddMessage((FCurrentTable.isEmpty() ? QString() : FCurrentTable + QStringLiteral(": ")) + error);
        FView.SetButtons(true, true, false);
        QString text = QStringLiteral("Die Migration wurde wegen eines Fehlers abgebrochen: ") + error;
        try {
            WriteErrorLog();
            summary.ErrorLog = ErrorLogPath();
            text += QStringLiteral("\nDie Meldungen stehen in ") + ErrorLogPath();
        } catch (const std::exception& logError) {
            text += QStringLiteral("\n") + QString::fromUtf8(logError.what()) + QStringLiteral("\n") +
                    FMsg.join(QStringLiteral("\n"));
        }
        FView.ErrorBox(text);
        return summary;
    }

    summary.Seconds = clock.elapsed() / 1000.0;
    if (!summary.Error.isEmpty())
        summary.Outcome = toFailed;
    else if (FAborted)
        summary.Outcome = toCancelled;
    else if (summary.RowsFailed > 0 || summary.TablesNotOpened > 0)
        summary.Outcome = toSuccessWithFailedRows;

    if (summary.Outcome == toFailed)
        FView.ErrorBox(QStringLiteral("Die Migration ist unvollständig: ") + summary.Error);
    else
        FView.InformationBox(FAborted ? QStringLiteral("Abbruch durch Benutzer") : QStringLiteral("Migration beendet"));
    return summary;
}

void TMigration::CopyTable(const QString& line, TTransferSummary& summary)
{
    const QString dstFormat = FDstConnector->DBFormat();
    const TTableSettings settings = ParseTableLine(line, dstFormat);
    const QString& tableName = settings.TableName;
    FCurrentTable = tableName;
    const bool identityMode = dstFormat == QStringLiteral("MSSQL") &&
                              (SameName(tableName, "VNH_ValueMarkers") || SameName(tableName, "VNH_ChangeLogger"));
    if (identityMode)
        TransactionHandler().DoExecute(QStringLiteral("SET IDENTITY_INSERT ") + tableName + QStringLiteral(" ON"));
    FShowErr = settings.ShowErr;

    if (!OpenTablePair(tableName, settings.KeyColumns)) {
        ++summary.TablesNotOpened;
        return;
    }
    SQLUpdIns().SetTableName(tableName);
    FView.SetMessage(tableName);
    FView.SetProgress(0);

    int sourceRows = 1000;
    try {
        sourceRows = CountSourceRows();
    } catch (const EDatabaseError&) {
        sourceRows = 1000;
    }
    if (sourceRows == 0)
        return;

    FProgressMax = sourceRows;
    FView.SetProgressMax(sourceRows);
    FView.Repaint();
    FView.TableStarted(tableName, sourceRows);
    ++summary.Tables;
    int rowCounter = 0;
    int rowsRead = 0;
    qint64 copied = 0;
    qint64 failed = 0;
    FRowsInTransaction = 0;
    FTableCommitted = 0;
    // Rows written several at a time where the target can do that with the same outcome.
    std::unique_ptr<TBatchCopy> batches =
        settings.BlobMode || FRowByRow ? nullptr : TBatchCopy::Open(*this, settings, FBatchRows);
    FConDst.StartTransaction();

    if (batches) {
        TRowTally tally;
        batches->Run(tally, summary);
        copied = tally.Copied;
        failed = tally.Failed;
    }
    const bool isStamm = SameName(tableName, "VNH_MSStamm");
    while (!batches && !FQrySrc.Eof() && !FAborted) {
        ++rowCounter;
        StepProgress(rowCounter);
        try {
            FQryDst.Append();
        } catch (const EDatabaseError&) {
            FView.PlainBox(tableName);
        }
        if (isStamm && FQrySrc.FieldByName(QStringLiteral("ID")).AsInteger() == 0)
            FView.PlainBox(FQrySrc.FieldByName(QStringLiteral("KennNr")).AsString());
        FillInsertFields(FQrySrc, FQryDst, settings.BlobMode, settings.SkipList);

        QString message;
        bool written = WriteRow(settings.BlobMode, message);
        int lost = 0;
        if (written) {
            ++copied;
        } else {
            ++failed;
            lost += CommitAndRestart();
        }
        if (FRowsInTransaction > FView.TransactionBuffer())
            lost += CommitAndRestart();
        copied -= lost;
        failed += lost;
        if (!written && FShowErr) {
            ++FErrCnt;
            FView.SetErrorCount(QString::number(FErrCnt));
            AddMessage(tableName + QStringLiteral(": ") + message);
        }
        FView.RowDone(++rowsRead);
        FView.ProcessEvents();
        if (FAborted)
            break;
        try {
            FQrySrc.Next();
        } catch (const EDatabaseError& e) {
            // The table ends here; a run with a broken source must not look complete.
            AddMessage(tableName + QStringLiteral(": ") + e.Message());
            summary.Error = tableName + QStringLiteral(": ") + e.Message();
            break;
        }
    }

    if (FConDst.InTransaction()) {
        // Rows only count as copied once their transaction is committed.
        int pending = FRowsInTransaction;
        try {
            FConDst.Commit();
        } catch (const EDatabaseError&) {
            summary.RowsCopied += copied - pending;
            summary.RowsFailed += failed + pending;
            FTableCommitted = 0;
            throw;
        }
    }
    summary.RowsCopied += copied;
    summary.RowsFailed += failed;
    FTableCommitted = 0;
    FView.TableFinished(tableName, copied, failed);
    FView.SetProgress(0);
    FQrySrc.Close();
    FQryDst.Close();
    if (identityMode)
        TransactionHandler().DoExecute(QStringLiteral("SET IDENTITY_INSERT ") + tableName + QStringLiteral(" OFF"));
}

bool TMigration::OpenTablePair(const QString& tableName, const QString& keyColumns)
{
    try {
        FQrySrc.Close();
        FQryDst.Close();
        FQrySrc.SetSQL(QStringLiteral("select * from %1").arg(tableName));
        FQrySrc.Open();
        FQryDst.Close();
    } catch (const EDatabaseError& e) {
        AddMessage(tableName + QStringLiteral(": ") + e.Message());
        return false;
    }
    try {
        if (keyColumns != QStringLiteral("#"))
            FQryDst.SetSQL(QStringLiteral("select * from %1 where %2").arg(tableName, KeyCondition(keyColumns)));
        else
            FQryDst.SetSQL(QStringLiteral("select * from %1").arg(tableName));
        FQryDst.Open();
        return true;
    } catch (const EDatabaseError& e) {
        AddMessage(tableName + QStringLiteral(": ") + e.Message());
        return false;
    }
}

int TMigration::CountSourceRows()
{
    QString sql = FQrySrc.SQL();
    qsizetype star = sql.indexOf(u'*');
    if (star >= 0)
        sql.replace(star, 1, QStringLiteral("Count(*) as Anzahl"));
    FQryCntSrc.Close();
    FQryCntSrc.SetSQL(sql);
    FQryCntSrc.Open();
    int count = FQryCntSrc.FieldByName(QStringLiteral("Anzahl")).AsInteger();
    FQryCntSrc.Close();
    return count;
}

bool TMigration::NulledSourceColumn(const QString& fieldName) const
{
    return FNullSourceDates && SameName(FCurrentTable, "VNH_MSStamm") &&
           (SameName(fieldName, "LetzteMessung") || SameName(fieldName, "LetzteBeprobung"));
}

bool TMigration::FillInsertFields(TQuery& src, TQuery& dst, bool blobMode, const QString& skipList)
{
    if (blobMode) {
        CopyDataSetRecord(src, dst, skipList);
        for (int i = 0; i < dst.FieldCount(); ++i) {
            TField& field = dst.Fields(i);
            if (NulledSourceColumn(field.FieldName())) {
                field.LoadValue(QVariant());
                field.ResetAssigned();
            }
        }
        return true;
    }

    SQLUpdIns().Reset();
    for (int i = 0; i < src.FieldCount(); ++i) {
        TField& field = src.Fields(i);
        const TField* target = InsertTarget(field, dst, skipList);
        if (!target)
            continue;
        QString value = InsertValue(field, *target);
        if (!value.isNull())
            SQLUpdIns().AddIns(field.FieldName(), value);
    }
    return true;
}

// The batched row loop (batch_copy.cpp) asks the same two questions, so both write the same rows.
const TField* TMigration::InsertTarget(const TField& field, TQuery& dst, const QString& skipList) const
{
    const QString name = field.FieldName();
    const TField* target = dst.FindField(name);
    if (!target || IsOnColumnList(skipList, name) || NulledSourceColumn(name))
        return nullptr;
    return target;
}

QString TMigration::InsertValue(const TField& field, const TField& target) const
{
    QString value;
    return AppendInsertValue(field, target, value) ? value : QString();
}

bool TMigration::AppendInsertValue(const TField& field, const TField& target, QString& out) const
{
    if (IsEmptySourceValue(field))
        return false;
    if (field.DataType() == ftDateTime && !IsWithinDateLimits(field.AsDateTime()))
        return false;
    // Some systems keep truth values in small integer columns (MySQL's BOOLEAN is TINYINT(1)). A
    // boolean target reads the quoted number as its truth value; any other number it refuses.
    if (target.DataType() == ftBoolean && IsIntegerType(field.DataType())) {
        out += u'\'';
        out += field.AsString();
        out += u'\'';
        return true;
    }
    SQLUpdIns().AppendValueListText(field, out);
    return true;
}

bool TMigration::WriteRow(bool blobMode, QString& message)
{
    // Where a failed statement spoils the whole transaction, each row gets a savepoint, so that a
    // failure takes back only that row and the rows before it stay to be committed.
    const bool guarded = FConDst.InTransaction() && FConDst.HasFeature(dfAbortsTransactionOnError);
    if (guarded)
        FConDst.SetSavepoint(kRowSavepoint);

    bool written = false;
    if (blobMode) {
        try {
            FQryDst.Post();
            written = true;
        } catch (const EDatabaseError& e) {
            FQryDst.Cancel();
            message = e.Message();
        }
    } else {
        written = SQLUpdIns().Execute();
        if (!written)
            message = SQLUpdIns().ErrorMessage();
        if (FQryDst.State() == dsInsert)
            FQryDst.Cancel();
    }

    if (guarded) {
        if (written)
            FConDst.ReleaseSavepoint(kRowSavepoint);
        else
            FConDst.RollbackToSavepoint(kRowSavepoint);
    }
    if (written)
        ++FRowsInTransaction;
    return written;
}

int TMigration::CommitAndRestart()
{
    int lost = 0;
    if (FConDst.InTransaction()) {
        try {
            FConDst.Commit();
            FTableCommitted += FRowsInTransaction;
        } catch (const EDatabaseError& e) {
            // The rows of this transaction are gone: say so instead of counting them as copied.
            AddMessage(FCurrentTable + QStringLiteral(": ") + e.Message());
            lost = FRowsInTransaction;
            try {
                if (FConDst.InTransaction())
                    FConDst.Rollback();
            } catch (const EDatabaseError&) {
            }
        }
        FConDst.StartTransaction();
    }
    FRowsInTransaction = 0;
    return lost;
}

void TMigration::StepProgress(int& rowCounter)
{
    int position = FView.Progress();
    if (FProgressMax > 5000) {
        if (rowCounter > 100) {
            position += 100;
            rowCounter = 0;
        }
    } else if (FProgressMax > 1000) {
        if (rowCounter > 50) {
            position += 50;
            rowCounter = 0;
        }
    } else if (FProgressMax > 100) {
        if (rowCounter > 10) {
            position += 10;
            rowCounter = 0;
        }
    } else {
        position += 1;
    }
    if (position >= FProgressMax)
        position = 0;
    FView.SetProgress(position);
}

QString TMigration::ErrorLogPath() const
{
    QString dir = FErrDir;
    if (!dir.endsWith(QDir::separator()) && !dir.endsWith(u'/'))
        dir += QDir::separator();
    return dir + QStringLiteral("Transfer_Errors.log");
}

void TMigration::WriteErrorLog()
{
    if (!FMsg.isEmpty())
        WriteTextLines(ErrorLogPath(), FMsg);
}
