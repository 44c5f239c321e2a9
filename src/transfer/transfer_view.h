#pragma once
// What the transfer needs of whoever shows it: the window or the terminal of a headless run.

#include <QString>

class ITransferView {
public:
    virtual ~ITransferView() = default;

    /// Enables the buttons "Verbindung testen", "Migration starten" and "Abbrechen".
    virtual void SetButtons(bool testEnabled, bool startEnabled, bool cancelEnabled) = 0;
    virtual void SetMessage(const QString& text) = 0;     // the activity label
    virtual void SetErrorCount(const QString& text) = 0;  // the failed-rows label
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgress(int position) = 0;
    virtual int Progress() const = 0;
    virtual void Repaint() = 0;
    /// Lets pending input (a click on "Abbrechen", Ctrl-C) reach its handler.
    virtual void ProcessEvents() = 0;
    /// The transaction buffer as the user set it now (read after every row).
    virtual int TransactionBuffer() = 0;

    virtual void PlainBox(const QString& text) = 0;
    virtual void InformationBox(const QString& text) = 0;
    virtual void ErrorBox(const QString& text) = 0;

    // Progress of the copy for views that report figures (the terminal); the window ignores them.
    virtual void TableStarted(const QString& /*table*/, int /*sourceRows*/) {}
    virtual void RowDone(int /*rowsRead*/) {}
    virtual void TableFinished(const QString& /*table*/, qint64 /*copied*/, qint64 /*failed*/) {}
};
