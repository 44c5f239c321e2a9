#pragma once

/// Exit codes of a headless run.
enum THeadlessExit {
    heSuccess = 0,
    heFailure = 1,           // connection, list or database failure; the run is incomplete
    heFailedRows = 2,        // finished, some rows could not be written (see the error log)
    heCancelled = 3,         // cancelled by the user (Ctrl-C or a "no" to a confirmation)
    heUsage = 64,
};

/// True when the command line asks for a headless run (or for --help).
bool IsHeadlessCommandLine(int argc, char** argv);
/// Runs test, emptying and transfer without a window; returns the process exit code.
int RunHeadless(int argc, char** argv);
