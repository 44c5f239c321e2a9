#include "db/postgres/pg_cursor.h"

#include "db/postgres/pg_sql.h"

#include <libpq-fe.h>

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr int kFirstBlockRows = 200; // the first rows come quickly, also for a huge table
constexpr int kMaxBlockRows = 8192;
// Memory one block may take, whatever the rows hold. Kept below the C library's heap trim threshold
// (128 KiB with glibc): a larger block freed at the top of the heap goes back to the system and is
// faulted in again for the next one, which costs more than the extra round trips.
constexpr qint64 kBlockBytes = 96 << 10;
constexpr int kPerValueOverhead = 16; // libpq keeps a pointer and a length per value
constexpr size_t kMaxIdleStreams = 2;
const QString kStreamName = QStringLiteral("vnh_stream");

EDatabaseError ClosedError()
{
    return EDatabaseError(QStringLiteral("Die Verbindung dieser Abfrage ist geschlossen"),
                          QStringLiteral("08003"), 0, true);
}

} // namespace

std::unique_ptr<TPgSession> TPgContext::AcquireStream()
{
    std::unique_ptr<TPgSession> session;
    while (!IdleStreams.empty() && !session) {
        session = std::move(IdleStreams.back());
        IdleStreams.pop_back();
        if (!session->Healthy())
            session.reset();
    }
    if (!session)
        session = std::make_unique<TPgSession>(ConnInfo, Schema);
    for (; session->SettingsApplied < Settings.size(); ++session->SettingsApplied)
        session->Exec(Settings[session->SettingsApplied]);
    return session;
}

void TPgContext::ReleaseStream(std::unique_ptr<TPgSession> session)
{
    if (Main && session->Healthy() && session->Idle() && IdleStreams.size() < kMaxIdleStreams)
        IdleStreams.push_back(std::move(session));
}

void TPgContext::RunPendingCloses()
{
    if (!Main || !Main->Healthy() || !Main->Idle())
        return;
    QStringList names;
    names.swap(PendingCloses);
    for (const QString& name : names) {
        try {
            Main->Exec(QStringLiteral("CLOSE ") + name);
        } catch (const EDatabaseError&) {
            // Already gone with a rolled-back savepoint or transaction.
        }
    }
}

TPgCursor::TPgCursor(std::shared_ptr<TPgContext> context, const QString& sql, TPgCursorHome home)
    : FContext(std::move(context)), FHome(home), FBlockSize(kFirstBlockRows)
{
    if (!FContext->Main)
        throw ClosedError();
    switch (home) {
    case chStream:
        OpenStream(PgStripTrailingSemicolons(sql));
        break;
    case chMain:
        OpenOnMain(PgStripTrailingSemicolons(sql));
        break;
    case chResult:
        OpenResult(sql);
        break;
    }
    FContext->Cursors.insert(this);
}

TPgCursor::~TPgCursor()
{
    FContext->Cursors.erase(this);
    FBlock.reset();
    try {
        if (FHome == chMain)
            FContext->SettleCopy();
        if (FHome == chStream && FStream) {
            if (FPendingRows > 0)
                FStream->Receive();
            // COMMIT rather than ROLLBACK: a query may have called functions that write.
            FStream->Exec(QStringLiteral("COMMIT"));
            FContext->ReleaseStream(std::move(FStream));
        } else if (FHome == chMain && !FName.isEmpty() && FContext->Main && FContext->Main->Healthy()) {
            TPgSession& main = *FContext->Main;
            if (main.InFailedTransaction()) {
                FContext->PendingCloses << FName;
            } else if (main.Idle()) {
                main.Exec(QStringLiteral("CLOSE ") + FName);
            } else {
                // Inside the caller's transaction a failing CLOSE would spoil it: the cursor may
                // have gone with a savepoint.
                TPgParam name;
                name.IsNull = false;
                name.Data = FName.toUtf8();
                TPgResultPtr found = main.ExecParams(
                    QStringLiteral("SELECT 1 FROM pg_catalog.pg_cursors WHERE name = $1"), {name});
                if (PQntuples(found.get()) > 0)
                    main.Exec(QStringLiteral("CLOSE ") + FName);
            }
        }
    } catch (const EDatabaseError&) {
        // The session is gone or the statement failed; nothing is left to release.
    }
}

void TPgCursor::OpenStream(const QString& query)
{
    // A session taken from the idle ones may have lost its server meanwhile: then one new try.
    for (int attempt = 0;; ++attempt) {
        FStream = FContext->AcquireStream();
        try {
            FStream->Exec(QStringLiteral("BEGIN"));
            break;
        } catch (const EDatabaseError& error) {
            FStream.reset();
            if (!error.ConnectionBroken() || attempt > 0)
                throw;
        }
    }
    try {
        // With parameters the server takes exactly one statement, so nothing can follow the query.
        FStream->ExecParams(
            QStringLiteral("DECLARE ") + kStreamName + QStringLiteral(" NO SCROLL CURSOR FOR ") + query, {});
        FName = kStreamName;
        ReadBlock();
        Describe();
        FOpened = true;
        Prefetch();
    } catch (const EDatabaseError&) {
        try {
            FStream->Exec(QStringLiteral("ROLLBACK"));
            FContext->ReleaseStream(std::move(FStream));
        } catch (const EDatabaseError&) {
        }
        FStream.reset();
        throw;
    }
}

void TPgCursor::OpenOnMain(const QString& query)
{
    TPgSession& main = *FContext->Main;
    FDeclaredIn = main.Idle() ? 0 : FContext->Transaction;
    QString name = QStringLiteral("vnh_c%1").arg(++FContext->LastCursor);
    // WITH HOLD: a commit of the caller's transaction keeps the cursor (the server keeps the rest
    // of the result); outside a transaction the server builds the result at once.
    main.ExecParams(
        QStringLiteral("DECLARE ") + name + QStringLiteral(" NO SCROLL CURSOR WITH HOLD FOR ") + query, {});
    FName = name;
    try {
        ReadBlock();
        Describe();
    } catch (const EDatabaseError&) {
        if (main.Idle()) {
            try {
                main.Exec(QStringLiteral("CLOSE ") + name);
            } catch (const EDatabaseError&) {
            }
        } else {
            FContext->PendingCloses << name;
        }
        FName.clear();
        throw;
    }
}

void TPgCursor::OpenResult(const QString& sql)
{
    FBlock = FContext->Main->Exec(sql);
    FBlockRows = PQntuples(FBlock.get());
    FExhausted = true;
    Describe();
}

void TPgCursor::Describe()
{
    PGresult* result = FBlock.get();
    int count = PQnfields(result);
    FColumns.clear();
    std::map<std::pair<Oid, int>, int> columnOfAttribute;
    QStringList tables;
    for (int i = 0; i < count; ++i) {
        FColumns.push_back(
            DescribePgColumn(QString::fromUtf8(PQfname(result, i)), PQftype(result, i), PQfmod(result, i)));
        Oid table = PQftable(result, i);
        if (table != InvalidOid && PQftablecol(result, i) > 0) {
            columnOfAttribute[{table, PQftablecol(result, i)}] = i;
            if (!tables.contains(QString::number(table)))
                tables << QString::number(table);
        }
    }
    // NOT NULL and defaults of the table columns, for callers that fill new rows.
    if (FHome != chResult && !tables.isEmpty()) {
        TPgParam oids;
        oids.IsNull = false;
        oids.Data = (u'{' + tables.join(u',') + u'}').toUtf8();
        bool generated = PQserverVersion(Session().Handle()) >= 120000;
        TPgResultPtr attributes = Session().ExecParams(
            QStringLiteral(
                "SELECT attrelid, attnum, attnotnull, atthasdef OR attidentity <> ''%1 "
                "FROM pg_catalog.pg_attribute WHERE attrelid = ANY($1::pg_catalog.oid[]) AND attnum > 0")
                .arg(generated ? QStringLiteral(" OR attgenerated <> ''") : QString()),
            {oids});
        for (int row = 0; row < PQntuples(attributes.get()); ++row) {
            Oid table = static_cast<Oid>(QByteArray(PQgetvalue(attributes.get(), row, 0)).toUInt());
            int number = QByteArray(PQgetvalue(attributes.get(), row, 1)).toInt();
            auto it = columnOfAttribute.find({table, number});
            if (it == columnOfAttribute.end())
                continue;
            FColumns[it->second].Def.Required = PQgetvalue(attributes.get(), row, 2)[0] == 't';
            FColumns[it->second].Def.HasDefault = PQgetvalue(attributes.get(), row, 3)[0] == 't';
        }
    }
    FDefs.clear();
    for (const TPgColumn& column : FColumns)
        FDefs.push_back(column.Def);
}

TPgSession& TPgCursor::Session()
{
    TPgSession* session = FHome == chStream ? FStream.get() : FContext->Main.get();
    if (!session)
        throw ClosedError();
    return *session;
}

void TPgCursor::Fail(const EDatabaseError& error)
{
    FError = error;
    FBlock.reset();
    FBlockRows = 0;
    FRow = 0;
}

QString TPgCursor::FetchSql(int rows) const
{
    return QStringLiteral("FETCH FORWARD %1 FROM %2").arg(rows).arg(FName);
}

void TPgCursor::ReadBlock()
{
    // The previous block goes before the next arrives: at most one is held, plus one on its way.
    FBlock.reset();
    FBlockRows = 0;
    FRow = 0;
    int wanted = FPendingRows > 0 ? FPendingRows : FBlockSize;
    try {
        if (FPendingRows > 0) {
            FPendingRows = 0;
            FBlock = Session().Receive();
        } else {
            FBlock = Session().Exec(FetchSql(wanted));
        }
    } catch (const EDatabaseError& error) {
        Fail(error);
        throw;
    }
    PGresult* result = FBlock.get();
    FBlockRows = PQntuples(result);
    FExhausted = FBlockRows < wanted;

    // The next block's size follows the width of the rows seen, so that wide rows stay in bounds.
    int sampled = std::min(FBlockRows, 64);
    if (sampled > 0) {
        int columns = PQnfields(result);
        qint64 bytes = 0;
        for (int row = 0; row < sampled; ++row) {
            for (int column = 0; column < columns; ++column)
                bytes += PQgetlength(result, row, column) + kPerValueOverhead;
        }
        qint64 perRow = std::max<qint64>(1, bytes / sampled);
        FBlockSize = static_cast<int>(std::clamp<qint64>(kBlockBytes / perRow, 1, kMaxBlockRows));
    }
    if (FOpened)
        Prefetch();
}

void TPgCursor::Prefetch()
{
    // Only a session of its own may have a statement under way while the caller works: the server
    // makes the next block while this one is read.
    if (FHome != chStream || !FStream || FExhausted || FPendingRows > 0)
        return;
    if (FStream->Send(FetchSql(FBlockSize)))
        FPendingRows = FBlockSize;
}

bool TPgCursor::Fetch(std::vector<QVariant>& row)
{
    if (FError)
        throw *FError;
    while (FRow >= FBlockRows) {
        if (FExhausted)
            return false;
        ReadBlock();
    }
    PGresult* result = FBlock.get();
    const int columns = static_cast<int>(FColumns.size());
    row.resize(static_cast<size_t>(columns));
    for (int column = 0; column < columns; ++column) {
        if (PQgetisnull(result, FRow, column)) {
            row[static_cast<size_t>(column)] = QVariant();
        } else {
            row[static_cast<size_t>(column)] =
                PgTextToValue(FColumns[static_cast<size_t>(column)].Kind, PQgetvalue(result, FRow, column),
                              PQgetlength(result, FRow, column), FContext->UuidWithBraces);
        }
    }
    ++FRow;
    return true;
}

void TPgCursor::Lost()
{
    FName.clear(); // the server dropped it with the transaction
    if (!FExhausted) {
        Fail(EDatabaseError(
            QStringLiteral("Die Abfrage wurde mit dem Zurückrollen der Transaktion geschlossen, "
                           "in der sie geöffnet wurde; ihre restlichen Zeilen sind nicht lesbar"),
            QStringLiteral("34000")));
    }
}

void TPgCursor::Detach()
{
    FStream.reset();
    FPendingRows = 0;
    FName.clear();
    if (!FExhausted)
        Fail(ClosedError());
}
