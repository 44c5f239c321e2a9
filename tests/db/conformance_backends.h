#pragma once
// The database systems the access-layer conformance suite runs against. Adding one is one entry in
// ConformanceBackends(): how to make and drop a fresh empty database, and the column types of its dialect.

#include "db/connection.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

/// How to reach one fresh test database.
struct TTestDatabase {
    QString ProviderName;
    QString Server;
    QString Database;
    int Port = 0;
    QString Username;
    QString Password;
    QMap<QString, QString> Options;
    QString DropToken; // what the backend needs to drop it again (a folder, a database name)

    void ApplyTo(TConnection& connection) const;
};

/// Column types of a dialect for the suite's test table.
struct TDialectTypes {
    QString Text20; // text of at most 20 characters
    QString Int32;
    QString Int64;
    QString Float;        // double precision
    QString Exact;        // exact numeric with 30 digits, 10 after the point
    int ExactDigits = 30; // significant digits the system keeps in that column
    QString Boolean;
    QString Date;
    QString Time;
    QString Timestamp;
    QString Binary;
    QString Guid; // empty when the system has no GUID type
    QString Memo; // long text
    /// Two tables whose check is deferred to the commit: fk_parent(id), fk_child(pid) referencing it.
    /// Empty when the system cannot defer a check (the failed-commit test is then skipped).
    QStringList DeferredCheckDDL;
};

struct TConformanceBackend {
    const char* Name; // in test names
    QString ProviderName;
    /// A fresh empty database, or nothing with `skipReason` set.
    std::function<std::optional<TTestDatabase>(QString& skipReason)> Create;
    std::function<void(const TTestDatabase&)> Drop;
    TDialectTypes Types;
    /// Part of the database's own message for `select * from no_such_table_vnh`.
    QString MissingTableText;
};

const std::vector<TConformanceBackend>& ConformanceBackends();
