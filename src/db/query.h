#pragma once

#include "db/field.h"

#include <QString>
#include <memory>
#include <vector>

class TConnection;
class TCursor;

enum TDataSetState { dsInactive, dsBrowse, dsInsert, dsEdit };

/// A forward-only query on a connection; after Append and Post it writes one new row into the
/// table it selects from ("select * from T …"), the values bound as parameters.
class TQuery {
public:
    explicit TQuery(TConnection& connection);
    ~TQuery();
    TQuery(const TQuery&) = delete;
    TQuery& operator=(const TQuery&) = delete;

    TConnection& Connection() const { return FConnection; }
    void SetSQL(const QString& sql);
    QString SQL() const { return FSQL; }
    /// Always forward-only; kept so callers can say so.
    void SetUniDirectional(bool) {}

    void Open(); // raises on a missing table or bad SQL; stands on the first row
    void Close();
    bool Active() const { return FCursor != nullptr || FState != dsInactive; }
    bool Eof() const { return FEof; }
    void Next();

    int FieldCount() const { return static_cast<int>(FFields.size()); }
    TField& Fields(int index);
    TField& FieldByName(const QString& name); // raises when missing
    TField* FindField(const QString& name);   // nullptr when missing; names compare without case

    void Append(); // a new empty row (all NULL) to fill and Post
    void Post();   // inserts the new row; raises with the database's text
    void Cancel(); // drops the new row
    TDataSetState State() const { return FState; }

private:
    friend class TConnection;
    void LoadRow();
    QString TableName() const;

    TConnection& FConnection;
    bool FConnectionGone = false; // the connection was destroyed first
    QString FSQL;
    std::unique_ptr<TCursor> FCursor;
    std::vector<std::unique_ptr<TField>> FFields;
    std::vector<QVariant> FRow;
    std::vector<QVariant> FSavedRow;
    TDataSetState FState = dsInactive;
    bool FEof = true;
};

/// A statement without result on a connection.
class TSQLStatement {
public:
    explicit TSQLStatement(TConnection& connection) : FConnection(&connection) {}
    void SetConnection(TConnection& connection) { FConnection = &connection; }
    TConnection& Connection() const { return *FConnection; }
    void SetSQL(const QString& sql) { FSQL = sql; }
    QString SQL() const { return FSQL; }
    void Execute();
    qint64 RowsAffected() const { return FRowsAffected; }

private:
    TConnection* FConnection;
    QString FSQL;
    qint64 FRowsAffected = 0;
};
