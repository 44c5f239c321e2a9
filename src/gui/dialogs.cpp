#include "gui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

void TWidgetMessageBoxes::Error(const QString& text)
{
    QMessageBox::critical(FParent, QString(), text, QMessageBox::Ok);
}

void TWidgetMessageBoxes::Information(const QString& text)
{
    QMessageBox::information(FParent, QString(), text, QMessageBox::Ok);
}

void TWidgetMessageBoxes::Plain(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, FParent);
    box.exec();
}

TBoxAnswer TWidgetMessageBoxes::WarningOkCancel(const QString& text)
{
    auto answer = QMessageBox::warning(FParent, QString(), text, QMessageBox::Ok | QMessageBox::Cancel);
    return answer == QMessageBox::Ok ? baOk : baCancel;
}

TBoxAnswer TWidgetMessageBoxes::ConfirmYesNo(const QString& text)
{
    auto answer = QMessageBox::question(FParent, QString(), text, QMessageBox::Yes | QMessageBox::No);
    return answer == QMessageBox::Yes ? baYes : baNo;
}

QString ToQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    if (parts.size() < 2)
        return filter;
    // Qt takes the patterns from the parentheses at the end of each filter and splits them at blanks,
    // so a description that lists them as "(*.mdb, *.accdb)" gets the pair's own patterns instead.
    static const QRegularExpression shownPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList qtFilters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        description.remove(shownPatterns);
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        qtFilters << description + QStringLiteral(" (") + patterns.simplified() + u')';
    }
    return qtFilters.join(QStringLiteral(";;"));
}

QString TWidgetFileDialogs::OpenFile(const QString& title, const QString& startDir, const QString& filter)
{
    return QFileDialog::getOpenFileName(FParent, title, startDir, ToQtFilter(filter));
}

QString TWidgetFileDialogs::OpenFileAnyName(const QString& title, const QString& startDir,
                                            const QString& filter)
{
    QFileDialog dialog(FParent, title, startDir, ToQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString TWidgetFileDialogs::SaveFile(const QString& title, const QString& startPath, const QString& filter,
                                     const QString& defaultSuffix, bool confirmOverwrite)
{
    QFileDialog dialog(FParent, title, startPath, ToQtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!startPath.isEmpty())
        dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString TWidgetFileDialogs::Directory(const QString& title, const QString& startDir)
{
    return QFileDialog::getExistingDirectory(FParent, title, startDir);
}
