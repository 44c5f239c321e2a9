#pragma once

#include <QString>
#include <QStringList>

/// What the command line of VNH_DBConfig asks for.
struct TDBConfigArgs {
    /// The configuration file to load at start; "" when none is given.
    QString ConfigFile;
    /// "--tanv": show the TANV server panel.
    bool ShowTANV = false;
    /// "--screenshot FILE": write a picture of the window to FILE and end (for checking the layout).
    QString ScreenshotFile;
};

/// Reads the arguments after the program name. The first argument that is not a switch is the
/// configuration file; further ones are ignored.
TDBConfigArgs ParseDBConfigArgs(const QStringList& arguments);
