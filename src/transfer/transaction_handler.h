#pragma once
// Runs single statements on one connection and turns a failure into False plus the database's text.

#include <QString>
#include <memory>

class TConnection;
class TSQLStatement;

/// Executes statements through one reused statement object. While Active, each statement runs in a
/// transaction of its own (an outer transaction is joined and committed); otherwise the caller's
/// transaction is left alone, also after a failure.
class TTransactionHandler {
public:
    TTransactionHandler();
    ~TTransactionHandler();
    TTransactionHandler(const TTransactionHandler&) = delete;
    TTransactionHandler& operator=(const TTransactionHandler&) = delete;

    /// The following statements run on this connection (not owned).
    void SetConnection(TConnection& connection);
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }
    /// Message of the last failed statement; a later success keeps it.
    QString MessageText() const { return FMessage; }

    bool DoExecute(const QString& sql);
    /// Also gives the number of rows the statement changed; `rowCount` keeps its value on failure.
    bool DoExecute(const QString& sql, qint64& rowCount);

private:
    bool Run(const QString& sql, qint64* rowCount);
    void Start();
    void Commit();
    void Rollback();

    TConnection* FConn = nullptr;
    std::unique_ptr<TSQLStatement> FSQLObj;
    bool FActive = false;
    QString FMessage;
};

/// The program-wide handler, used by the statement builder and the transfer.
TTransactionHandler& TransactionHandler();
