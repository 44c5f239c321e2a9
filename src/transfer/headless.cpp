#include "transfer/headless.h"

#include "transfer/migration.h"
#include "transfer/sql_upd_ins.h"
#include "transfer/transfer_view.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#define VNH_ISATTY _isatty
#define VNH_FILENO _fileno
#else
#include <unistd.h>
#define VNH_ISATTY isatty
#define VNH_FILENO fileno
#endif

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

QTextStream& Out()
{
    static QTextStream out(stdout);
    return out;
}

QTextStream& Err()
{
    static QTextStream err(stderr);
    return err;
}

/// Answers a question on the terminal: true for "j"/"y"; false for anything else or no terminal.
bool AskYes(const QString& question)
{
    Out() << question << " [j/N] " << Qt::flush;
    if (!VNH_ISATTY(VNH_FILENO(stdin))) {
        Out() << "\n";
        return false;
    }
    std::string answer;
    if (!std::getline(std::cin, answer))
        return false;
    return !answer.empty() && (answer[0] == 'j' || answer[0] == 'J' || answer[0] == 'y' || answer[0] == 'Y');
}

/// The terminal as the transfer's view: per-table progress with rows per second.
class TTerminalView : public ITransferView {
public:
    explicit TTerminalView(int buffer) : FBuffer(buffer), FTerminal(VNH_ISATTY(VNH_FILENO(stdout))) {}

    void SetMigration(TMigration* migration) { FMigration = migration; }

    void SetButtons(bool, bool, bool) override {}
    void SetMessage(const QString& text) override
    {
        if (!text.isEmpty() && text != FLastMessage && FShowMessages)
            Out() << text << "\n" << Qt::flush;
        FLastMessage = text;
    }
    void SetErrorCount(const QString&) override {}
    void SetProgressMax(int) override {}
    void SetProgress(int position) override { FProgress = position; }
    int Progress() const override { return FProgress; }
    void Repaint() override {}
    void ProcessEvents() override
    {
        if (gInterrupted && FMigration && !FMigration->Aborted()) {
            Err() << "\nAbbruch durch Benutzer: die laufende Tabelle wird abgeschlossen\n" << Qt::flush;
            FMigration->Abort();
        }
    }
    int TransactionBuffer() override { return FBuffer; }
    void PlainBox(const QString& text) override { Err() << text << "\n" << Qt::flush; }
    void InformationBox(const QString& text) override { Out() << text << "\n" << Qt::flush; }
    void ErrorBox(const QString& text) override { Err() << "Fehler: " << text << "\n" << Qt::flush; }

    void TableStarted(const QString& table, int sourceRows) override
    {
        FTable = table;
        FTotal = sourceRows;
        FClock.start();
        FLastPrint = -1000;
        FShowMessages = false;
    }
    void RowDone(int rowsRead) override
    {
        qint64 now = FClock.elapsed();
        if (now - FLastPrint < (FTerminal ? 250 : 5000))
            return;
        FLastPrint = now;
        PrintProgress(rowsRead, FTerminal ? "\r" : "\n");
    }
    void TableFinished(const QString& table, qint64 copied, qint64 failed) override
    {
        double seconds = FClock.elapsed() / 1000.0;
        if (FTerminal)
            Out() << "\r\033[K";
        Out() << table << ": " << copied << " Zeilen kopiert";
        if (failed > 0)
            Out() << ", " << failed << " fehlerhaft";
        Out() << QStringLiteral(" (%1 s, %2 Zeilen/s)\n").arg(seconds, 0, 'f', 1).arg(Rate(copied + failed, seconds))
              << Qt::flush;
        FShowMessages = true;
    }
    void ShowMessages(bool on) { FShowMessages = on; }

private:
    static qint64 Rate(qint64 rows, double seconds) { return seconds > 0 ? qint64(rows / seconds) : rows; }

    void PrintProgress(int rows, const char* lead)
    {
        double seconds = FClock.elapsed() / 1000.0;
        Out() << lead << FTable << ": " << rows << " / " << FTotal << " Zeilen, " << Rate(rows, seconds)
              << " Zeilen/s" << (FTerminal ? "\033[K" : "") << Qt::flush;
        if (!FTerminal)
            Out() << "\n";
    }

    int FBuffer;
    bool FTerminal;
    TMigration* FMigration = nullptr;
    int FProgress = 0;
    QString FLastMessage;
    QString FTable;
    int FTotal = 0;
    QElapsedTimer FClock;
    qint64 FLastPrint = 0;
    bool FShowMessages = true;
};

void AddOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Kopiert alle Tabellen aus VNH_Tables.txt von der Quell- in die Zieldatenbank.\n"
        "Ohne --source/--target öffnet sich das Programmfenster.\n\n"
        "Exit-Codes: 0 erfolgreich, 2 beendet mit fehlerhaften Zeilen (siehe Fehlerprotokoll),\n"
        "3 abgebrochen (Strg+C oder Nein auf eine Rückfrage), 1 Fehler, 64 falscher Aufruf.\n"
        "Strg+C wirkt wie \"Abbrechen\": die laufende Zeile wird beendet, die Tabelle bestätigt."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("source"), QStringLiteral("Konfigurationsdatei der Quelldatenbank."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("target"), QStringLiteral("Konfigurationsdatei der Zieldatenbank."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("tables"),
                      QStringLiteral("Tabellenliste (Vorgabe: VNH_Tables.txt neben dem Programm)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("buffer"),
                      QStringLiteral("Größe des Transaktionspuffers, 1 bis 100000 (Vorgabe: 100)."),
                      QStringLiteral("N"), QStringLiteral("100")});
    parser.addOption({QStringLiteral("log-dir"),
                      QStringLiteral("Verzeichnis für Transfer_Errors.log (Vorgabe: aktuelles Verzeichnis)."),
                      QStringLiteral("DIR"), QStringLiteral(".")});
    parser.addOption({QStringLiteral("yes"), QStringLiteral("Beantwortet alle Rückfragen mit Ja.")});
    // For comparisons and tests: every row by its own INSERT statement, as without batches.
    QCommandLineOption rowByRow(QStringLiteral("row-by-row"),
                                QStringLiteral("Schreibt jede Zeile mit einer eigenen Anweisung."));
    rowByRow.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(rowByRow);
}

}  // namespace

bool IsHeadlessCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        for (const char* option : {"--source", "--target", "--help", "-h", "--tables", "--buffer", "--log-dir", "--yes"}) {
            std::string o = option;
            if (arg == o || arg.rfind(o + "=", 0) == 0)
                return true;
        }
    }
    return false;
}

int RunHeadless(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    // "-rm744" as the very first argument asks for a pause after emptying, as in the window.
    const bool pauseAfterEmptying = arguments.size() > 1 && arguments.at(1) == QStringLiteral("-rm744");
    if (pauseAfterEmptying)
        arguments.removeAt(1);

    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(arguments)) {
        Err() << parser.errorText() << "\n" << Qt::flush;
        return heUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Out() << parser.helpText() << Qt::flush;
        return heSuccess;
    }
    if (!parser.isSet(QStringLiteral("source")) || !parser.isSet(QStringLiteral("target"))) {
        Err() << "--source und --target sind nötig (--help zeigt alle Optionen)\n" << Qt::flush;
        return heUsage;
    }
    const bool yes = parser.isSet(QStringLiteral("yes"));

    TTerminalView view(TMigration::TransactionBufferValue(parser.value(QStringLiteral("buffer"))));
    TMigration migration(view);
    view.SetMigration(&migration);
    if (parser.isSet(QStringLiteral("row-by-row")))
        migration.SetRowByRow(true);
    SQLUpdIns().SetRichEdit(true);

    QString tablesFile = parser.isSet(QStringLiteral("tables")) ? parser.value(QStringLiteral("tables"))
                                                                : TMigration::DefaultTableListPath();
    migration.SetTableList(LoadTableList(tablesFile));
    if (migration.TableList().isEmpty()) {
        Err() << QStringLiteral("Die Datei \"%1\" wurde nicht gefunden\n").arg(tablesFile) << Qt::flush;
        return heFailure;
    }

    QString error = migration.TestConnections(parser.value(QStringLiteral("source")),
                                              parser.value(QStringLiteral("target")),
                                              parser.value(QStringLiteral("log-dir")));
    if (!error.isEmpty()) {
        Err() << error << "\n" << Qt::flush;
        return heFailure;
    }
    migration.SetErrDir(parser.value(QStringLiteral("log-dir")));
    Out() << "Verbindungsaufbau erfolgreich\n" << Qt::flush;

    if (!yes && !AskYes(QStringLiteral("Daten in Zieldatenbank werden zuvor gelöscht")))
        return heCancelled;

    std::signal(SIGINT, OnInterrupt);
    migration.ClearMessages();
    migration.EmptyTargetTables();
    if (pauseAfterEmptying && !yes && !AskYes(QStringLiteral("Tabellen gelöscht...weiter?")))
        return heCancelled;

    TTransferSummary summary = migration.RunTransfer();
    std::signal(SIGINT, SIG_DFL);

    Out() << QStringLiteral("\nTabellen: %1, Zeilen kopiert: %2, fehlerhafte Zeilen: %3, Dauer: %4 s\n")
                 .arg(summary.Tables)
                 .arg(summary.RowsCopied)
                 .arg(summary.RowsFailed)
                 .arg(summary.Seconds, 0, 'f', 1);
    if (summary.TablesNotOpened > 0)
        Out() << QStringLiteral("Nicht geöffnete Tabellen: %1\n").arg(summary.TablesNotOpened);
    // Only a log that was written: when it could not be, the error text above holds the messages.
    if (!summary.ErrorLog.isEmpty())
        Out() << "Fehlerprotokoll: " << summary.ErrorLog << "\n";
    Out() << Qt::flush;

    switch (summary.Outcome) {
    case toSuccess:
        return heSuccess;
    case toSuccessWithFailedRows:
        return heFailedRows;
    case toCancelled:
        return heCancelled;
    case toFailed:
        break;
    }
    return heFailure;
}
