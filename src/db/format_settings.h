#pragma once
// The user's number and time formats, taken from the system locale at start and replaceable in tests.

#include <QChar>

struct TFormatSettings {
    QChar DecimalSeparator = u'.';
    QChar TimeSeparator = u':';
};

/// The run-wide format settings; initialised from QLocale::system() on first use.
TFormatSettings& FormatSettings();
/// Replaces the run-wide settings (tests use German: ',' and ':').
void SetFormatSettings(const TFormatSettings& settings);
