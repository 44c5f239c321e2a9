#pragma once
// One libpq connection and the one place that turns its failures into EDatabaseError. The handles
// are forward-declared so that libpq-fe.h stays inside the provider's .cpp files.

#include "db/db_error.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>
#include <vector>

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

struct TPgConnDeleter {
    void operator()(PGconn* conn) const;
};
struct TPgResultDeleter {
    void operator()(PGresult* result) const;
};
using TPgConnPtr = std::unique_ptr<PGconn, TPgConnDeleter>;
using TPgResultPtr = std::unique_ptr<PGresult, TPgResultDeleter>;

/// A parameter of a statement: text form, or raw bytes for binary values.
struct TPgParam {
    QByteArray Data;
    bool IsNull = true;
    bool Binary = false;
};

/// The error of a failed call: the server's primary message unchanged (libpq's own text when the
/// server sent none), its SQLSTATE, and whether the connection is gone.
EDatabaseError MakePgError(PGconn* conn, const PGresult* result);

/// One open session with the server, set up for the provider (ISO dates, hex bytea, schema).
class TPgSession {
public:
    /// Connects and prepares the session; raises with libpq's text when that fails.
    TPgSession(const std::string& conninfo, const QString& schema);
    TPgSession(const TPgSession&) = delete;
    TPgSession& operator=(const TPgSession&) = delete;

    PGconn* Handle() const { return FConn.get(); }
    /// False once the connection to the server is lost.
    bool Healthy() const;
    /// True when no transaction block is open on the session.
    bool Idle() const;
    /// True when the open transaction failed and only waits for its end.
    bool InFailedTransaction() const;

    /// Runs one or more statements without parameters; raises on failure. The result is that of the
    /// last statement.
    TPgResultPtr Exec(const QString& sql);
    /// Sends statements without waiting for their result; false when the connection cannot take them.
    bool Send(const QString& sql);
    /// Waits for the result of what Send sent; raises on failure like Exec.
    TPgResultPtr Receive();
    /// Runs one statement with parameters (text results).
    TPgResultPtr ExecParams(const QString& sql, const std::vector<TPgParam>& params);

    /// How many of the owner's recorded session settings this session has applied.
    int SettingsApplied = 0;

private:
    TPgResultPtr Checked(TPgResultPtr result);

    TPgConnPtr FConn;
};
