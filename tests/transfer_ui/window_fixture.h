#pragma once
// Answers the transfer window's boxes and dialogs, and keeps the databases and files of one test.

#include "db/connection.h"
#include "gui/dialogs.h"
#include "transfer/ui/form_migration.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

/// Failure messages show texts as text, not as 16-bit units.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

/// One box as the window showed it: "Error", "Information", "Plain", "Warning" or "Question".
struct TShownBox {
    QString Kind;
    QString Text;
};

class TScriptedBoxes : public IMessageBoxes {
public:
    QList<TShownBox> Shown;
    TBoxAnswer WarningAnswer = baOk;
    /// Answers to "Question" boxes per text, used up in order; Yes when none is left.
    QMap<QString, QList<TBoxAnswer>> YesNoAnswers;

    void Error(const QString& text) override { Shown.append({"Error", text}); }
    void Information(const QString& text) override { Shown.append({"Information", text}); }
    void Plain(const QString& text) override { Shown.append({"Plain", text}); }
    TBoxAnswer WarningOkCancel(const QString& text) override
    {
        Shown.append({"Warning", text});
        return WarningAnswer;
    }
    TBoxAnswer ConfirmYesNo(const QString& text) override
    {
        Shown.append({"Question", text});
        QList<TBoxAnswer>& answers = YesNoAnswers[text];
        return answers.isEmpty() ? baYes : answers.takeFirst();
    }
    /// The texts of the boxes of one kind, in the order shown.
    QStringList Texts(const QString& kind) const;
};

class TScriptedFileDialogs : public IFileDialogs {
public:
    QString Answer;
    QString LastStart, LastFilter;
    int Calls = 0;
    QString OpenFile(const QString&, const QString& startDir, const QString& filter) override
    {
        ++Calls;
        LastStart = startDir;
        LastFilter = filter;
        return Answer;
    }
    QString SaveFile(const QString&, const QString&, const QString&, const QString&, bool) override
    {
        return {};
    }
    QString Directory(const QString&, const QString& startDir) override
    {
        ++Calls;
        LastStart = startDir;
        return Answer;
    }
};

/// The window with a hook into its event processing, which runs after every table emptied and every
/// row copied: where a user's click would arrive.
class TTestForm : public TFrm_Migration {
public:
    using TFrm_Migration::TFrm_Migration;
    std::function<void()> OnProcessEvents;
    void ProcessEvents() override
    {
        TFrm_Migration::ProcessEvents();
        if (OnProcessEvents)
            OnProcessEvents();
    }
};

enum TTestSystem { tsSQLite, tsPostgreSQL };

/// A database that lives as long as the test: an SQLite file, or a PostgreSQL database of its own.
class TTestDb {
public:
    TTestDb(TTestSystem system, const QString& dir, const QString& name);
    ~TTestDb();
    TTestDb(const TTestDb&) = delete;
    TTestDb& operator=(const TTestDb&) = delete;

    void Exec(const QString& sql);
    /// Runs the statements in one transaction.
    void ExecAll(const QStringList& statements);
    qint64 Count(const QString& table);
    /// A connection configuration file for this database, as the configuration tool writes it.
    QString WriteConfig(const QString& fileName) const;

private:
    void SetUp(TConnection& connection) const;

    TTestSystem FSystem;
    QString FFile; // SQLite
    QString FName; // PostgreSQL
    std::unique_ptr<TConnection> FConnection;
};

class TransferWindowTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TScriptedBoxes Boxes;
    TScriptedFileDialogs Dialogs;
    QStringList Arguments;
    QString GroupDir;
    QString TableListPath;

    QString Path(const QString& name) const { return Dir.filePath(name); }
    /// Writes the table list (CR LF line ends) and makes it the window's list.
    void WriteTableList(const QStringList& lines);
    std::unique_ptr<TTestForm> MakeForm();
    /// A window that is shown and has passed the connection test on the two databases.
    std::unique_ptr<TTestForm> ConnectedForm(TTestDb& source, TTestDb& target);
};
