#pragma once
// Message boxes and file dialogs behind small interfaces, so that tests can answer them.

#include <QString>
#include <QStringList>

class QWidget;

enum TBoxAnswer { baOk, baCancel, baYes, baNo };

/// The message boxes of both programs. Texts are German and shown exactly as given.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual void Error(const QString& text) = 0;               // OK
    virtual void Information(const QString& text) = 0;         // OK
    virtual void Plain(const QString& text) = 0;               // OK, no icon
    virtual TBoxAnswer WarningOkCancel(const QString& text) = 0;
    virtual TBoxAnswer ConfirmYesNo(const QString& text) = 0;
};

/// File and folder choosers. Each returns "" when the user cancels.
class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    /// filter in the form "Description (*.ext)|*.ext"
    virtual QString OpenFile(const QString& title, const QString& startDir, const QString& filter) = 0;
    /// Like OpenFile, but the user may also type the name of a file that does not exist.
    virtual QString OpenFileAnyName(const QString& title, const QString& startDir, const QString& filter)
    {
        return OpenFile(title, startDir, filter);
    }
    /// asks before overwriting an existing file when `confirmOverwrite`
    virtual QString SaveFile(const QString& title, const QString& startPath, const QString& filter,
                             const QString& defaultSuffix, bool confirmOverwrite) = 0;
    virtual QString Directory(const QString& title, const QString& startDir) = 0;
};

/// QMessageBox with the window as parent.
class TWidgetMessageBoxes : public IMessageBoxes {
public:
    explicit TWidgetMessageBoxes(QWidget* parent) : FParent(parent) {}
    void Error(const QString& text) override;
    void Information(const QString& text) override;
    void Plain(const QString& text) override;
    TBoxAnswer WarningOkCancel(const QString& text) override;
    TBoxAnswer ConfirmYesNo(const QString& text) override;

private:
    QWidget* FParent;
};

/// QFileDialog with the window as parent.
class TWidgetFileDialogs : public IFileDialogs {
public:
    explicit TWidgetFileDialogs(QWidget* parent) : FParent(parent) {}
    QString OpenFile(const QString& title, const QString& startDir, const QString& filter) override;
    QString OpenFileAnyName(const QString& title, const QString& startDir, const QString& filter) override;
    QString SaveFile(const QString& title, const QString& startPath, const QString& filter,
                     const QString& defaultSuffix, bool confirmOverwrite) override;
    QString Directory(const QString& title, const QString& startDir) override;

private:
    QWidget* FParent;
};

/// "Description (*.ext)|*.ext" as a Qt name filter "Description (*.ext)"; several pairs
/// ("A (*.a, *.b)|*.a;*.b|B (*.b)|*.b") become Qt filters joined by ";;", with the patterns of each pair.
QString ToQtFilter(const QString& filter);
