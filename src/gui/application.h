#pragma once

#include <QApplication>
#include <functional>

/// The application object of both programs: installs Qt's German translations, and shows an error
/// box for any exception that escapes an event handler instead of ending the program.
class TGuardedApplication : public QApplication {
public:
    TGuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    /// Where escaped errors go; the default shows a critical message box. Tests replace it.
    static void SetErrorReporter(std::function<void(const QString&)> reporter);
    static void ReportError(const QString& text);
};

/// Shows the wait cursor while it lives; restores it on every way out.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};
