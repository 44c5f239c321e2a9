#pragma once
// The table list "VNH_Tables.txt": one table per line, fields separated by ";":
// name; error flag "+"; key columns ("#" or a,b); skip columns (a,b); copy mode "BLOB".

#include <QString>
#include <QStringList>

/// The settings of one line, read fresh from the line each time they are needed.
struct TTableSettings {
    QString TableName;
    bool ShowErr = false;      // failed rows are counted and logged
    QString KeyColumns;        // "#" for none
    QString SkipList;          // column names separated by ";"; empty for a FIREBIRD target
    bool BlobMode = false;     // rows go through append and post on the opened target table
};

/// Parses one line of the list for a target of the given format word.
TTableSettings ParseTableLine(const QString& line, const QString& targetFormat);
/// The table name of a line (field 1).
QString TableNameOfLine(const QString& line);
/// Every line of the file, blank ones included; empty when the file is missing.
QStringList LoadTableList(const QString& fileName);
/// The condition that selects only rows holding -1 in every key column: "A=-1 and B=-1".
QString KeyCondition(const QString& keyColumns);
/// True when `column` is on the ";"-separated skip list (whole names, any letter case).
bool IsOnColumnList(const QString& list, const QString& column);
