#include "transfer/transaction_handler.h"

#include "db/connection.h"
#include "db/db_error.h"
#include "db/query.h"

TTransactionHandler::TTransactionHandler() = default;

TTransactionHandler::~TTransactionHandler() = default;

void TTransactionHandler::SetConnection(TConnection& connection)
{
    FConn = &connection;
    if (!FSQLObj)
        FSQLObj = std::make_unique<TSQLStatement>(connection);
    else
        FSQLObj->SetConnection(connection);
}

bool TTransactionHandler::DoExecute(const QString& sql)
{
    return Run(sql, nullptr);
}

bool TTransactionHandler::DoExecute(const QString& sql, qint64& rowCount)
{
    return Run(sql, &rowCount);
}

bool TTransactionHandler::Run(const QString& sql, qint64* rowCount)
{
    if (!FSQLObj) {
        FMessage = QStringLiteral("Keine Datenbankverbindung für die Anweisung gesetzt");
        return false;
    }
    try {
        Start();
        FSQLObj->SetSQL(sql);
        FSQLObj->Execute();
        qint64 rows = FSQLObj->RowsAffected();
        Commit();
        if (rowCount != nullptr)
            *rowCount = rows;
        return true;
    } catch (const EDatabaseError& error) {
        FMessage = error.Message();
        Rollback();
        return false;
    }
}

void TTransactionHandler::Start()
{
    if (!FActive || FConn->InTransaction())
        return;
    try {
        FConn->StartTransaction();
    } catch (const EDatabaseError&) {
        // The statement then runs without a transaction of its own.
    }
}

// A failed commit means the statement's work is gone: it is rolled back and reported as a failure.
void TTransactionHandler::Commit()
{
    if (!FActive || !FConn->InTransaction())
        return;
    try {
        FConn->Commit();
    } catch (const EDatabaseError&) {
        Rollback();
        throw;
    }
}

void TTransactionHandler::Rollback()
{
    if (!FActive || !FConn->InTransaction())
        return;
    try {
        FConn->Rollback();
    } catch (const EDatabaseError&) {
        // Nothing left to undo when the rollback itself fails.
    }
}

TTransactionHandler& TransactionHandler()
{
    static TTransactionHandler handler;
    return handler;
}
