#pragma once
// Answers the window's dialogs and keeps the files of one test.

#include "dbconfig/form_pwcrypt.h"
#include "gui/dialogs.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class TRecordingBoxes : public IMessageBoxes {
public:
    QStringList Errors;
    QStringList Others;
    void Error(const QString& text) override { Errors << text; }
    void Information(const QString& text) override { Others << text; }
    void Plain(const QString& text) override { Others << text; }
    TBoxAnswer WarningOkCancel(const QString& text) override
    {
        Others << text;
        return baOk;
    }
    TBoxAnswer ConfirmYesNo(const QString& text) override
    {
        Others << text;
        return baYes;
    }
};

/// Gives the prepared answer and records how each dialog was asked.
class TScriptedFileDialogs : public IFileDialogs {
public:
    QString Answer;
    int Calls = 0;
    QString LastStart, LastFilter, LastSuffix;
    bool LastConfirmOverwrite = false;
    bool LastAnyName = false;

    QString OpenFile(const QString&, const QString& startDir, const QString& filter) override
    {
        return Record(startDir, filter, false);
    }
    QString OpenFileAnyName(const QString&, const QString& startDir, const QString& filter) override
    {
        return Record(startDir, filter, true);
    }
    QString SaveFile(const QString&, const QString& startPath, const QString& filter,
                     const QString& defaultSuffix, bool confirmOverwrite) override
    {
        LastSuffix = defaultSuffix;
        LastConfirmOverwrite = confirmOverwrite;
        return Record(startPath, filter, false);
    }
    QString Directory(const QString&, const QString& startDir) override
    {
        return Record(startDir, {}, false);
    }

private:
    QString Record(const QString& start, const QString& filter, bool anyName)
    {
        ++Calls;
        LastStart = start;
        LastFilter = filter;
        LastAnyName = anyName;
        return Answer;
    }
};

class FormTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TRecordingBoxes Boxes;
    TScriptedFileDialogs Dialogs;
    QString GroupDir;

    QString Path(const QString& name) const { return Dir.filePath(name); }

    std::unique_ptr<TForm1> MakeForm(const QString& configFile = {})
    {
        TForm1Services services;
        services.Boxes = &Boxes;
        services.FileDialogs = &Dialogs;
        services.GroupDir = [this] { return GroupDir.isEmpty() ? Dir.path() : GroupDir; };
        return std::make_unique<TForm1>(configFile, services);
    }

    /// Writes the lines as a file (CR LF line ends, as the product's files have them).
    QString WriteFile(const QString& name, const QStringList& lines);
    /// The lines of the file from "[section]" up to the next section, without the section line.
    QStringList SectionLines(const QString& fileName, const QString& section = "Korvinconnection") const;
};

/// Selects a format as the user does (the layout follows).
void SelectFormat(TForm1& form, const QString& format);
