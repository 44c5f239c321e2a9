#include "gui/application.h"

#include "config/ini_file.h"
#include "db/db_error.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

namespace {

std::function<void(const QString&)>& Reporter()
{
    static std::function<void(const QString&)> reporter = [](const QString& text) {
        QMessageBox::critical(QApplication::activeWindow(), QString(), text, QMessageBox::Ok);
    };
    return reporter;
}

}  // namespace

TGuardedApplication::TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    auto* translator = new QTranslator(this);
    if (translator->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EDatabaseError& e) {
        ReportError(e.Message());
    } catch (const EIniWriteError& e) {
        ReportError(e.Message());
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unbekannter Fehler"));
    }
    return false;
}

void TGuardedApplication::SetErrorReporter(std::function<void(const QString&)> reporter)
{
    Reporter() = std::move(reporter);
}

void TGuardedApplication::ReportError(const QString& text)
{
    Reporter()(text);
}

TWaitCursor::TWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor()
{
    QApplication::restoreOverrideCursor();
}
