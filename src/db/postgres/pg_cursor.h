#pragma once
// The cursors of the PostgreSQL provider and the state they share with their driver.

#include "db/driver.h"
#include "db/postgres/pg_session.h"
#include "db/postgres/pg_values.h"

#include <QStringList>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TPgCursor;

/// What one driver and its cursors share; a cursor keeps it alive after the driver is gone.
struct TPgContext {
    std::unique_ptr<TPgSession> Main;
    /// Sessions for streams, kept after their cursor closed so that the next one need not connect.
    std::vector<std::unique_ptr<TPgSession>> IdleStreams;
    std::string ConnInfo;
    QString Schema;
    bool UuidWithBraces = false;
    bool MultipleConnections = true;
    /// SET statements run on the main session, applied to stream sessions too.
    QStringList Settings;
    /// Serial number of the caller's open transaction; 0 when none is open.
    quint64 Transaction = 0;
    /// The caller started a transaction whose BEGIN is not sent yet: it goes with the next statement.
    bool BeginPending = false;
    /// The COPY statement the bulk writer expects to send next; a commit sends it along, in a new
    /// transaction ("COMMIT; BEGIN; COPY …"), to save a round trip.
    QByteArray NextCopy;
    /// Such a COPY, open on the main session and waiting for its rows; empty when none is.
    QByteArray OpenCopy;
    /// The answers to that BEGIN and COPY are still to be read: the commit returned after its own.
    bool CopyStarting = false;
    /// Reads those answers; a COPY that could not open is let go like an unwanted one.
    void AwaitCopy();
    /// Ends an open COPY that is not wanted: its transaction is rolled back, and a transaction the
    /// caller has started since begins anew with its next statement.
    void SettleCopy();
    quint64 LastTransaction = 0;
    quint64 LastCursor = 0;
    std::set<TPgCursor*> Cursors;
    /// Cursors on the main session whose CLOSE waits until the session's transaction ends.
    QStringList PendingCloses;

    /// A session for a stream: an idle one or a new connection, with the recorded settings applied.
    std::unique_ptr<TPgSession> AcquireStream();
    void ReleaseStream(std::unique_ptr<TPgSession> session);
    /// Runs the CLOSE statements that waited; only when the main session has no transaction open.
    void RunPendingCloses();
};

/// Where a cursor reads from.
enum TPgCursorHome {
    chStream, // a server-side cursor on a session of its own
    chMain,   // a holdable server-side cursor on the driver's session
    chResult, // the complete result of a statement that is not a query
};

/// A forward-only cursor that holds one fetch block at a time.
class TPgCursor : public TCursor {
public:
    /// Opens `sql` and reads its first block; raises with the server's text.
    TPgCursor(std::shared_ptr<TPgContext> context, const QString& sql, TPgCursorHome home);
    ~TPgCursor() override;

    const std::vector<TFieldDef>& Fields() const override { return FDefs; }
    bool Fetch(std::vector<QVariant>& row) override;

    TPgCursorHome Home() const { return FHome; }
    bool HasSession() const { return FStream != nullptr; }
    /// Serial number of the caller's transaction the cursor was declared in (0: outside one).
    quint64 DeclaredIn() const { return FDeclaredIn; }
    /// The caller's transaction committed: the cursor now lives on its own.
    void Held() { FDeclaredIn = 0; }
    /// The caller's transaction was rolled back and took the cursor with it.
    void Lost();
    /// The driver closed: the cursor gives up its session.
    void Detach();

private:
    void OpenStream(const QString& query);
    void OpenOnMain(const QString& query);
    void OpenResult(const QString& sql);
    void Describe();
    void ReadBlock();
    void Prefetch();
    QString FetchSql(int rows) const;
    TPgSession& Session();
    void Fail(const EDatabaseError& error);

    std::shared_ptr<TPgContext> FContext;
    TPgCursorHome FHome;
    std::unique_ptr<TPgSession> FStream;
    QString FName;
    quint64 FDeclaredIn = 0;
    std::vector<TPgColumn> FColumns;
    std::vector<TFieldDef> FDefs;
    TPgResultPtr FBlock;
    int FBlockRows = 0;
    int FRow = 0;
    int FBlockSize;
    bool FExhausted = false;
    bool FOpened = false;
    int FPendingRows = 0; // rows asked for by a FETCH whose result is still to be received
    std::optional<EDatabaseError> FError;
};
