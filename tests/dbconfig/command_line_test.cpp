// The program's command line and the filters handed to the file dialogs.

#include "dbconfig/command_line.h"
#include "gui/dialogs.h"

#include <gtest/gtest.h>

TEST(DBConfigArgs, FirstPlainArgumentIsTheFileAndSwitchesMayStandAnywhere)
{
    struct TCase {
        QStringList Arguments;
        QString File;
        bool TANV;
        QString Screenshot;
    };
    const TCase cases[] = {
        {{}, "", false, ""},
        {{"a.vdbcfg", "b.vdbcfg"}, "a.vdbcfg", false, ""},
        {{"--tanv", "a.vdbcfg"}, "a.vdbcfg", true, ""},
        {{"a.vdbcfg", "--screenshot", "/tmp/x.png"}, "a.vdbcfg", false, "/tmp/x.png"},
        {{"--screenshot", "/tmp/x.png", "--tanv"}, "", true, "/tmp/x.png"},
    };
    for (const TCase& c : cases) {
        const TDBConfigArgs args = ParseDBConfigArgs(c.Arguments);
        EXPECT_EQ(args.ConfigFile, c.File) << c.Arguments.join(' ').toStdString();
        EXPECT_EQ(args.ShowTANV, c.TANV) << c.Arguments.join(' ').toStdString();
        EXPECT_EQ(args.ScreenshotFile, c.Screenshot) << c.Arguments.join(' ').toStdString();
    }
}

TEST(ToQtFilter, EveryPairBecomesAFilterWithItsOwnPatterns)
{
    EXPECT_EQ(ToQtFilter("Database config files for Varnholt (*.vdbcfg)|*.vdbcfg"),
              "Database config files for Varnholt (*.vdbcfg)");
    EXPECT_EQ(
        ToQtFilter("Access-Datenbanken (*.mdb, *.accdb)|*.mdb;*.accdb|Access 2007-Dateien (*.mdb)|*.mdb|"
                   "Access 2010-Dateien (*.accdb)|*.accdb"),
        "Access-Datenbanken (*.mdb *.accdb);;Access 2007-Dateien (*.mdb);;Access 2010-Dateien (*.accdb)");
    EXPECT_EQ(ToQtFilter("Text|*.txt"), "Text (*.txt)");
    EXPECT_EQ(ToQtFilter("Alles (*)"), "Alles (*)");
}
