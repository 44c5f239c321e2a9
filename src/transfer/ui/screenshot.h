#pragma once
// Hidden switches of VNH_Transfer for checking the window's layout by eye:
//   --screenshot FILE [--screenshot-state idle|nolist|connected|running]
// The window works on sample SQLite databases in a temporary folder; message boxes are answered
// automatically and their texts go to stderr.

#include <QString>
#include <QStringList>
#include <optional>

struct TScreenshotArgs {
    QString File;
    QString State = QStringLiteral("idle");
};

/// The switches, or nothing when "--screenshot" is not among the arguments.
std::optional<TScreenshotArgs> ParseScreenshotArgs(const QStringList& arguments);
/// Shows the window in the state, writes its picture to the file; returns the exit code.
int RunScreenshot(const TScreenshotArgs& args);
