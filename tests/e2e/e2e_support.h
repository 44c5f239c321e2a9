#pragma once
// Databases, configuration files, a recording view and a row-by-row table comparison for the
// transfer runs end to end.

#include "db/connection.h"
#include "transfer/migration.h"
#include "transfer/transfer_view.h"

#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <functional>
#include <memory>
#include <vector>

enum TE2ESystem { esSQLite, esPostgreSQL, esMySQL };

QString SystemName(TE2ESystem system);
/// Why a system cannot be used here, or "" when it can.
QString UnavailableReason(TE2ESystem system);

/// A database of its own for one test: an SQLite file in a temporary folder, or a database with a
/// unique name on the PostgreSQL or MariaDB test server, dropped at the end. Its configuration file
/// is written as the configuration tool writes it.
class TE2EDatabase {
public:
    explicit TE2EDatabase(TE2ESystem system);
    ~TE2EDatabase();
    TE2EDatabase(const TE2EDatabase&) = delete;
    TE2EDatabase& operator=(const TE2EDatabase&) = delete;

    TE2ESystem System() const { return FSystem; }
    /// A new, open connection with automatic commit.
    std::unique_ptr<TConnection> Connect() const;
    /// The connection configuration file of this database.
    QString ConfigFile() const { return FConfigFile; }
    /// The server database's name; "" for SQLite.
    QString Name() const { return FName; }
    /// Writes a configuration file for this database that names another format word.
    QString ConfigFileAs(const QString& formatWord) const;

    /// Runs statements one after the other on a fresh connection.
    void Exec(const QStringList& statements) const;
    qint64 Count(const QString& table) const;

private:
    void WriteConfig(const QString& fileName, const QString& formatWord) const;

    TE2ESystem FSystem;
    QTemporaryDir FDir;
    QString FFile; // SQLite
    QString FName; // server database
    QString FConfigFile;
};

/// Writes the configuration file of an Access database file.
void WriteAccessConfig(const QString& fileName, const QString& databaseFile);

/// The column set of the sample table in the dialect of a system: integer key, int, varchar, text
/// with NULLs, double, numeric, timestamp, date, boolean, bigint.
QString SampleTableDDL(TE2ESystem system, const QString& table);
/// Fills the sample table with `rows` rows of known values (keys 1..rows), NULLs and awkward text
/// included, through appended records.
void FillSampleTable(TConnection& connection, const QString& table, int rows);

/// Differences between a source and a target table, compared row by row in key order (or as sorted
/// sets without key) over the source's columns that the target also has; values compared in a
/// canonical text form that does not depend on the system. Empty when the tables are equal.
QStringList CompareTables(TConnection& src, TConnection& dst, const QString& table, const QString& keyColumn);
/// The values of one column in key order, canonical text ("NULL" for NULL).
QStringList ColumnValues(TConnection& connection, const QString& table, const QString& column,
                         const QString& keyColumn);

/// A view without widgets that records what the engine shows and lets a test act on every
/// processing of pending events.
class TFakeView : public ITransferView {
public:
    void SetButtons(bool testEnabled, bool startEnabled, bool cancelEnabled) override
    {
        Buttons.push_back({testEnabled, startEnabled, cancelEnabled});
    }
    void SetMessage(const QString& text) override
    {
        Message = text;
        Messages << text;
        if (OnMessage)
            OnMessage(text);
    }
    void SetErrorCount(const QString& text) override
    {
        ErrorCount = text;
        ErrorCounts << text;
    }
    void SetProgressMax(int maximum) override { ProgressMax = maximum; }
    void SetProgress(int position) override { Position = position; }
    int Progress() const override { return Position; }
    void Repaint() override {}
    void ProcessEvents() override
    {
        if (OnProcessEvents)
            OnProcessEvents();
    }
    int TransactionBuffer() override { return Buffer; }
    void PlainBox(const QString& text) override { PlainBoxes << text; }
    void InformationBox(const QString& text) override { InformationBoxes << text; }
    void ErrorBox(const QString& text) override { ErrorBoxes << text; }
    void TableStarted(const QString& table, int) override { StartedTables << table; }

    std::vector<std::array<bool, 3>> Buttons;
    QString Message;
    QStringList Messages;
    QString ErrorCount;
    QStringList ErrorCounts;
    int ProgressMax = 0;
    int Position = 0;
    int Buffer = 100;
    QStringList PlainBoxes;
    QStringList InformationBoxes;
    QStringList ErrorBoxes;
    QStringList StartedTables;
    std::function<void()> OnProcessEvents;
    std::function<void(const QString&)> OnMessage;
};

/// Tests both connections (raising when one fails), then empties the target tables and runs the
/// transfer as the start button does. `beforeRun` may change the migration after the test.
TTransferSummary StartTransfer(TMigration& migration, const QString& srcConfig, const QString& dstConfig,
                               const QStringList& tables, const QString& logDir,
                               const std::function<void()>& beforeRun = {});

/// Reads a whole file as bytes ("" when missing).
QByteArray FileBytes(const QString& fileName);
