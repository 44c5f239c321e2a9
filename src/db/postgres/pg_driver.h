#pragma once
// The PostgreSQL provider, on libpq.
//
// Reading: results are never loaded whole. A query runs as a server-side cursor (DECLARE … NO
// SCROLL CURSOR, then FETCH FORWARD in blocks of at most a few thousand rows and a few megabytes),
// and the cursor holds only its current block, so a table of any length is read in constant
// memory. Where the cursor lives decides how it meets the caller's transactions:
// - Outside a transaction of the caller, each open query gets a session of its own (a second
//   connection with the same login and settings), inside a read transaction that only the cursor
//   uses. The driver's session stays free: a row count, statements, StartTransaction, inserts and
//   Commit run there while any number of queries are open, and none of them can end a cursor. When
//   the cursor closes, its transaction commits and the session is kept for the next query (two at
//   most). Such a query sees what was committed when it opened.
// - Inside a transaction of the caller, the query must see the caller's own uncommitted rows, so
//   its cursor is declared on the driver's session, WITH HOLD: a Commit keeps it (the server keeps
//   the rest of the result), a Rollback drops it, and the next Fetch then raises an error instead of
//   ending early. Any error while fetching is raised; a cursor never reports a short result as its
//   end.
// - With "PostgreSQL.MultipleConnections" = False every cursor is declared WITH HOLD on the
//   driver's session; outside a transaction the server then builds the whole result first.
// Statements that are not queries (SHOW, EXPLAIN, INSERT … RETURNING) run directly and keep their
// (small) result.
//
// Transactions are explicit: outside StartTransaction every statement commits on its own, also with
// AutoCommit off, so no work is ever left uncommitted at Close. A Commit that the server turns into
// a rollback (an earlier statement failed) raises. BEGIN is sent with the transaction's first
// statement, saving a round trip; a transaction without any statement costs none. While a bulk
// writer works, a commit sends the COPY it expects next along ("COMMIT; BEGIN; COPY …"); that COPY
// waits for the next batch's rows and is let go (its transaction rolled back) when anything else
// comes first.

#include "db/driver.h"

#include <memory>

struct TPgContext;
class TPgSession;

/// One PostgreSQL session (see above).
class TPgDriver : public TDriver {
public:
    TPgDriver();
    ~TPgDriver() override;

    void Open(const TConnectParams& params) override;
    void Close() override;
    bool IsOpen() const override;

    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void SetSavepoint(const QString& name) override;
    void RollbackToSavepoint(const QString& name) override;
    void ReleaseSavepoint(const QString& name) override;
    bool HasFeature(TDbFeature feature) const override;

    qint64 Execute(const QString& sql) override;
    std::unique_ptr<TCursor> OpenCursor(const QString& sql) override;
    void InsertRow(const QString& table, const std::vector<const TField*>& fields) override;
    /// Rows by COPY FROM STDIN where that has the effect of one INSERT per row (pg_bulk.h).
    std::unique_ptr<TBulkInsert> OpenBulkInsert(const QString& table, const QStringList& columns) override;

    /// Server connections in use or kept idle by this driver (its own and those of open queries).
    int SessionCount() const;

private:
    TPgSession& Main() const;
    /// Ends the caller's transaction with COMMIT or ROLLBACK and updates the cursors declared in it.
    void EndTransaction(bool commit);

    std::shared_ptr<TPgContext> FContext;
    QString FLastError; // the last error inside the caller's transaction, for a failed Commit
};

/// Makes the provider available under the name "PostgreSQL".
void RegisterPostgresDriver();
