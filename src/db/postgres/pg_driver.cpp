#include "db/postgres/pg_driver.h"

#include "db/postgres/pg_bulk.h"
#include "db/postgres/pg_conninfo.h"
#include "db/postgres/pg_cursor.h"
#include "db/postgres/pg_sql.h"

#include <libpq-fe.h>

namespace {

bool IsTrue(const QString& value)
{
    return value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1");
}

EDatabaseError NotOpenError()
{
    return EDatabaseError(QStringLiteral("Die Verbindung ist nicht geöffnet"), QStringLiteral("08003"), 0,
                          true);
}

} // namespace

TPgDriver::TPgDriver() : FContext(std::make_shared<TPgContext>()) {}

TPgDriver::~TPgDriver()
{
    Close();
}

void TPgDriver::Open(const TConnectParams& params)
{
    Close();
    FContext = std::make_shared<TPgContext>();
    FContext->ConnInfo = BuildPgConnInfo(params);
    FContext->Schema = PgOption(params, QStringLiteral("PostgreSQL.Schema")).trimmed();
    FContext->UuidWithBraces = IsTrue(PgOption(params, QStringLiteral("PostgreSQL.UuidWithBraces")));
    FContext->MultipleConnections = !PgOption(params, QStringLiteral("PostgreSQL.MultipleConnections"))
                                         .trimmed()
                                         .startsWith(QLatin1String("F"), Qt::CaseInsensitive);
    FContext->Main = std::make_unique<TPgSession>(FContext->ConnInfo, FContext->Schema);
}

void TPgDriver::Close()
{
    if (!FContext)
        return;
    for (TPgCursor* cursor : FContext->Cursors)
        cursor->Detach();
    FContext->IdleStreams.clear();
    FContext->Main.reset();
    FContext->Transaction = 0;
    FContext->BeginPending = false;
    FContext->NextCopy.clear();
    FContext->OpenCopy.clear();
    FContext->CopyStarting = false;
    FContext->PendingCloses.clear();
}

bool TPgDriver::IsOpen() const
{
    return FContext->Main && FContext->Main->Healthy();
}

TPgSession& TPgDriver::Main() const
{
    if (!FContext->Main)
        throw NotOpenError();
    FContext->SettleCopy();
    if (FContext->BeginPending) {
        FContext->BeginPending = false;
        FContext->Main->Exec(QStringLiteral("BEGIN"));
    }
    return *FContext->Main;
}

void TPgDriver::StartTransaction()
{
    if (!FContext->Main || !FContext->Main->Healthy())
        throw NotOpenError();
    // A commit that sent a COPY along has begun this transaction already.
    FContext->BeginPending = FContext->OpenCopy.isEmpty();
    FContext->Transaction = ++FContext->LastTransaction;
    FLastError.clear();
}

namespace {

// COMMIT, and in the same round trip BEGIN and the COPY the bulk writer expects next, which stays
// open for its rows. Only the COMMIT's outcome is waited for; the server begins the COPY while the
// caller goes on, and its answers are read when the session is used next (TPgContext::AwaitCopy).
TPgResultPtr CommitAndOpenCopy(TPgContext& context, TPgSession& main)
{
    PGconn* conn = main.Handle();
    QByteArray sql = "COMMIT; BEGIN; " + context.NextCopy;
    if (PQsendQuery(conn, sql.constData()) != 1)
        throw MakePgError(conn, nullptr);
    TPgResultPtr commitResult(PQgetResult(conn));
    if (!commitResult || PQresultStatus(commitResult.get()) != PGRES_COMMAND_OK) {
        // The rest of the text was not run.
        while (PGresult* raw = PQgetResult(conn))
            PQclear(raw);
        throw MakePgError(conn, commitResult.get());
    }
    context.OpenCopy = context.NextCopy;
    context.CopyStarting = true;
    return commitResult;
}

} // namespace

void TPgDriver::EndTransaction(bool commit)
{
    if (FContext->Main)
        FContext->SettleCopy();
    if (FContext->BeginPending) {
        // Nothing was sent in this transaction, so there is nothing to end.
        FContext->BeginPending = false;
        FContext->Transaction = 0;
        FContext->RunPendingCloses();
        return;
    }
    TPgSession& main = Main();
    quint64 ending = FContext->Transaction;
    bool failed = main.InFailedTransaction();
    TPgResultPtr result;
    try {
        if (commit && !failed && !FContext->NextCopy.isEmpty())
            result = CommitAndOpenCopy(*FContext, main);
        else
            result = main.Exec(commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"));
    } catch (const EDatabaseError&) {
        // A commit that fails (deferred constraint, lost connection) still ends the transaction.
        if (main.Healthy() && !main.Idle()) {
            try {
                main.Exec(QStringLiteral("ROLLBACK"));
            } catch (const EDatabaseError&) {
            }
        }
        commit = false;
        FContext->Transaction = 0;
        for (TPgCursor* cursor : FContext->Cursors) {
            if (cursor->Home() == chMain && ending != 0 && cursor->DeclaredIn() == ending)
                cursor->Lost();
        }
        throw;
    }
    FContext->Transaction = 0;
    // The server answers COMMIT of a failed transaction with ROLLBACK and no error.
    bool rolledBack = !commit || failed || qstrcmp(PQcmdStatus(result.get()), "ROLLBACK") == 0;
    for (TPgCursor* cursor : FContext->Cursors) {
        if (cursor->Home() != chMain || ending == 0 || cursor->DeclaredIn() != ending)
            continue;
        if (rolledBack)
            cursor->Lost();
        else
            cursor->Held();
    }
    FContext->RunPendingCloses();
    if (commit && rolledBack) {
        QString message = QStringLiteral("Die Transaktion wurde zurückgerollt statt festgeschrieben, weil "
                                         "eine Anweisung in ihr fehlschlug");
        if (!FLastError.isEmpty())
            message += QStringLiteral(": ") + FLastError;
        throw EDatabaseError(message, QStringLiteral("25P02"));
    }
}

void TPgDriver::Commit()
{
    EndTransaction(true);
}

void TPgDriver::Rollback()
{
    EndTransaction(false);
}

void TPgDriver::SetSavepoint(const QString& name)
{
    Execute(QStringLiteral("SAVEPOINT ") + PgExactName(name));
}

void TPgDriver::RollbackToSavepoint(const QString& name)
{
    Execute(QStringLiteral("ROLLBACK TO SAVEPOINT ") + PgExactName(name));
    FLastError.clear();
}

void TPgDriver::ReleaseSavepoint(const QString& name)
{
    Execute(QStringLiteral("RELEASE SAVEPOINT ") + PgExactName(name));
}

bool TPgDriver::HasFeature(TDbFeature feature) const
{
    switch (feature) {
    case dfAbortsTransactionOnError:
    case dfSavepoints:
    case dfWritable:
        return true;
    }
    return false;
}

qint64 TPgDriver::Execute(const QString& sql)
{
    TPgSession& main = Main();
    TPgResultPtr result;
    try {
        result = main.Exec(sql);
    } catch (const EDatabaseError& error) {
        if (!main.Idle())
            FLastError = error.Message();
        throw;
    }
    // Session settings apply to the sessions of the queries too.
    if (main.Idle() && IsPgSessionSetting(sql)) {
        FContext->Settings << sql;
        ++main.SettingsApplied;
    }
    FContext->RunPendingCloses();
    return QByteArray(PQcmdTuples(result.get())).toLongLong();
}

std::unique_ptr<TCursor> TPgDriver::OpenCursor(const QString& sql)
{
    TPgSession& main = Main();
    QString keyword = PgLeadingKeyword(sql);
    bool query = keyword == QLatin1String("select") || keyword == QLatin1String("values") ||
                 keyword == QLatin1String("table") || keyword == QLatin1String("with");
    try {
        if (!query)
            return std::make_unique<TPgCursor>(FContext, sql, chResult);
        if (!FContext->MultipleConnections || !main.Idle())
            return std::make_unique<TPgCursor>(FContext, sql, chMain);
        try {
            return std::make_unique<TPgCursor>(FContext, sql, chStream);
        } catch (const EDatabaseError& error) {
            // Temporary tables exist only on the session that made them, and a login that may not
            // open a further connection still reads on its own session.
            const QString state = error.SqlState();
            if (state != QLatin1String("42P01") && state != QLatin1String("08001") &&
                state != QLatin1String("53300"))
                throw;
            return std::make_unique<TPgCursor>(FContext, sql, chMain);
        }
    } catch (const EDatabaseError& error) {
        if (!main.Idle())
            FLastError = error.Message();
        throw;
    }
}

void TPgDriver::InsertRow(const QString& table, const std::vector<const TField*>& fields)
{
    QStringList columns;
    QStringList placeholders;
    std::vector<TPgParam> params;
    params.reserve(fields.size());
    for (const TField* field : fields) {
        columns << PgExactName(field->FieldName());
        placeholders << QStringLiteral("$%1").arg(params.size() + 1);
        params.push_back(PgParamFromValue(field->AsVariant(), field->DataType()));
    }
    QString sql = columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(PgTableName(table))
                                    : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                          .arg(PgTableName(table), columns.join(QStringLiteral(", ")),
                                               placeholders.join(QStringLiteral(", ")));
    TPgSession& main = Main();
    try {
        main.ExecParams(sql, params);
    } catch (const EDatabaseError& error) {
        if (!main.Idle())
            FLastError = error.Message();
        throw;
    }
}

std::unique_ptr<TBulkInsert> TPgDriver::OpenBulkInsert(const QString& table, const QStringList& columns)
{
    Main();
    return OpenPgBulkInsert(FContext, table, columns);
}

int TPgDriver::SessionCount() const
{
    int count = FContext->Main ? 1 : 0;
    count += static_cast<int>(FContext->IdleStreams.size());
    for (TPgCursor* cursor : FContext->Cursors) {
        if (cursor->Home() == chStream && cursor->HasSession())
            ++count;
    }
    return count;
}

void RegisterPostgresDriver()
{
    RegisterDriver(QStringLiteral("PostgreSQL"), [] { return std::unique_ptr<TDriver>(new TPgDriver()); });
}
