#include "dbconfig/command_line.h"

TDBConfigArgs ParseDBConfigArgs(const QStringList& arguments)
{
    TDBConfigArgs args;
    bool fileSeen = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--tanv")) {
            args.ShowTANV = true;
        } else if (argument == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
            args.ScreenshotFile = arguments[++i];
        } else if (!fileSeen) {
            args.ConfigFile = argument;
            fileSeen = true;
        }
    }
    return args;
}
