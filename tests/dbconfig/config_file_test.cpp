// Saving, loading and opening configuration files through the window.

#include "form_fixture.h"

#include "config/ini_file.h"
#include "config/password.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

namespace {

void FillServerFields(TForm1& form)
{
    form.edServer->setText("dbhost");
    form.edPort->setText("5432");
    form.edDatabase->setText("vnh");
    form.edUser->setText("admin");
    form.edPW->setText("Geheim ä!");
    form.edSchema->setText("public");
}

} // namespace

TEST_F(FormTest, SaveWritesTheServerKeysInOrderAndRemembersTheFile)
{
    auto form = MakeForm();
    SelectFormat(*form, "POSTGRESQL");
    FillServerFields(*form);
    Dialogs.Answer = Path("pg.vdbcfg");
    form->Button1->click();

    EXPECT_EQ(Dialogs.LastStart, ""); // nothing to propose yet
    EXPECT_EQ(Dialogs.LastFilter, "Database config files for Varnholt (*.vdbcfg)|*.vdbcfg");
    EXPECT_EQ(Dialogs.LastSuffix, "vdbcfg");
    EXPECT_TRUE(Dialogs.LastConfirmOverwrite);
    EXPECT_EQ(form->ConfigFile(), Path("pg.vdbcfg"));
    EXPECT_EQ(form->lblCfgFile->text(), Path("pg.vdbcfg"));

    QStringList keys;
    for (const QString& line : SectionLines(Path("pg.vdbcfg")))
        keys << line.section('=', 0, 0);
    EXPECT_EQ(keys, QStringList({"ProviderName", "ProviderType", "Server", "Port", "Database", "Username",
                                 "Password", "Direct", "Schema"}));

    // What the transfer program's reader sees.
    const TIniFile ini(Path("pg.vdbcfg"));
    const QString s = "Korvinconnection";
    EXPECT_EQ(ini.ReadString(s, "ProviderName", ""), "POSTGRESQL");
    EXPECT_EQ(ini.ReadString(s, "ProviderType", ""), "POSTGRESQL");
    EXPECT_EQ(ini.ReadString(s, "Server", ""), "dbhost");
    EXPECT_EQ(ini.ReadInteger(s, "Port", 0), 5432);
    EXPECT_EQ(ini.ReadString(s, "Database", ""), "vnh");
    EXPECT_EQ(ini.ReadString(s, "Username", ""), "admin");
    EXPECT_EQ(ini.ReadString(s, "Schema", ""), "public");
    EXPECT_FALSE(ini.ReadBool(s, "Direct", true));
    const QString stored = ini.ReadString(s, "Password", "");
    EXPECT_NE(stored, "Geheim ä!");
    EXPECT_EQ(DecryptPassword(stored, QString()), "Geheim ä!");
}

TEST_F(FormTest, EmptyPasswordIsWrittenAsEmptyValueAndOracleWritesNoSchema)
{
    auto form = MakeForm();
    SelectFormat(*form, "ORACLE");
    FillServerFields(*form);
    form->edPW->clear();
    form->chbxDirect->setChecked(true);
    form->WriteConfigFile(Path("ora.vdbcfg"));
    EXPECT_EQ(SectionLines(Path("ora.vdbcfg")),
              QStringList({"ProviderName=ORACLE", "ProviderType=ORACLE", "Server=dbhost", "Port=5432",
                           "Database=vnh", "Username=admin", "Password=", "Direct=1"}));
}

TEST_F(FormTest, AccessSaveAfterServerFormatLeavesThreeKeysAndOtherSections)
{
    const QString file =
        WriteFile("mixed.vdbcfg", {"[Other]", "Keep=yes", "[Korvinconnection]", "ProviderName=MSSQL",
                                   "Server=old", "Password=xyz", "Schema=dbo", "[Later]", "Also=kept"});
    auto form = MakeForm();
    SelectFormat(*form, "MSSQL");
    FillServerFields(*form);
    SelectFormat(*form, "MSACCESS");
    form->edDBFile->setText("/data/vnh.accdb");
    Dialogs.Answer = file;
    form->Button1->click();

    EXPECT_EQ(SectionLines(file),
              QStringList({"ProviderName=MSACCESS", "ProviderType=MSACCESS", "Database=/data/vnh.accdb"}));
    EXPECT_EQ(SectionLines(file, "Other"), QStringList({"Keep=yes"}));
    EXPECT_EQ(SectionLines(file, "Later"), QStringList({"Also=kept"}));
}

TEST_F(FormTest, TANVServerURLIsWrittenLastOnlyWhileThePanelShows)
{
    auto form = MakeForm();
    SelectFormat(*form, "MSSQL");
    FillServerFields(*form);
    form->WriteConfigFile(Path("hidden.vdbcfg"));
    EXPECT_FALSE(SectionLines(Path("hidden.vdbcfg")).join('\n').contains("TANVServerURL"));

    form->SetTANVPanelVisible(true);
    EXPECT_GT(form->height(), 315);
    form->edTANVServerURL->setText("tanv.example/app");
    form->WriteConfigFile(Path("shown.vdbcfg"));
    EXPECT_EQ(SectionLines(Path("shown.vdbcfg")).last(), "TANVServerURL=tanv.example/app");

    form->SetTANVPanelVisible(false);
    EXPECT_EQ(form->height(), 315);
}

TEST_F(FormTest, CancelledSaveChangesNothing)
{
    auto form = MakeForm(Path("a.vdbcfg"));
    SelectFormat(*form, "ORACLE");
    form->edServer->setText("srv");
    Dialogs.Answer = "";
    form->Button1->click();
    EXPECT_EQ(Dialogs.Calls, 1);
    EXPECT_EQ(form->ConfigFile(), Path("a.vdbcfg"));
    EXPECT_FALSE(QFile::exists(Path("a.vdbcfg")));
}

TEST_F(FormTest, SavedFileLoadsBackIntoANewWindow)
{
    auto writer = MakeForm();
    SelectFormat(*writer, "MSSQL");
    FillServerFields(*writer);
    writer->WriteConfigFile(Path("round.vdbcfg"));

    auto reader = MakeForm(Path("round.vdbcfg"));
    EXPECT_EQ(reader->DBFormat(), "MSSQL");
    EXPECT_EQ(reader->edServer->text(), "dbhost");
    EXPECT_EQ(reader->edPort->text(), "5432");
    EXPECT_EQ(reader->edDatabase->text(), "vnh");
    EXPECT_EQ(reader->edUser->text(), "admin");
    EXPECT_EQ(reader->edPW->text(), "Geheim ä!");
    EXPECT_EQ(reader->edSchema->text(), "public");
    EXPECT_TRUE(reader->pnlSQL->isVisibleTo(reader.get()));
    EXPECT_TRUE(reader->lblCfgFile->isVisibleTo(reader.get()));
    EXPECT_EQ(reader->lblCfgFile->text(), Path("round.vdbcfg"));
    EXPECT_EQ(reader->ConfigFile(), Path("round.vdbcfg"));
}

struct TLoadCase {
    const char* Name;
    QStringList Lines;
    const char* Format; // "" when nothing loads
    const char* Server;
    const char* Port;
    const char* Password;
    bool Direct;
};

class LoadTest : public FormTest, public ::testing::WithParamInterface<TLoadCase> {};

TEST_P(LoadTest, FormatAndFields)
{
    const TLoadCase& c = GetParam();
    auto form = MakeForm();
    form->edServer->setText("before");
    form->ReadConfigFile(WriteFile("case.vdbcfg", c.Lines));

    EXPECT_EQ(form->DBFormat(), c.Format);
    EXPECT_EQ(form->edServer->text(), c.Server);
    EXPECT_EQ(form->edPort->text(), c.Port);
    EXPECT_EQ(form->edPW->text(), c.Password);
    EXPECT_EQ(form->chbxDirect->isChecked(), c.Direct);
    EXPECT_EQ(form->pnlSQL->isVisibleTo(form.get()),
              QString(c.Format) != "" && QString(c.Format) != "MSACCESS");
    EXPECT_TRUE(Boxes.Errors.isEmpty());
    EXPECT_TRUE(Boxes.Others.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTest,
    ::testing::Values(
        TLoadCase{"LowerCaseType",
                  {"[korvinconnection]", "providername=mssql", "providertype=mssql", "server=s1"},
                  "MSSQL",
                  "s1",
                  "0",
                  "",
                  false},
        TLoadCase{"NameWithoutType",
                  {"[Korvinconnection]", "ProviderName=ORACLE", "Server=s2", "Port=1521", "Direct=5"},
                  "ORACLE",
                  "s2",
                  "1521",
                  "",
                  true},
        TLoadCase{"PlainPassword",
                  {"[Korvinconnection]", "ProviderName=POSTGRESQL", "ProviderType=POSTGRESQL", "Server=s3",
                   "Password=plain"},
                  "POSTGRESQL",
                  "s3",
                  "0",
                  "???",
                  false},
        TLoadCase{"MySQL",
                  {"[Korvinconnection]", "ProviderName=MYSQL", "ProviderType=MYSQL", "Server=s4"},
                  "",
                  "before",
                  "0",
                  "",
                  false},
        TLoadCase{"SQLite",
                  {"[Korvinconnection]", "ProviderName=SQLITE", "Database=/x.db"},
                  "",
                  "before",
                  "0",
                  "",
                  false},
        TLoadCase{"NoSection", {"[Other]", "ProviderName=MSSQL"}, "", "before", "0", "", false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FormTest, AccessFileFillsOnlyTheFileField)
{
    auto form = MakeForm();
    form->edServer->setText("keep");
    form->ReadConfigFile(
        WriteFile("acc.vdbcfg", {"[Korvinconnection]", "ProviderName=MSAccess", "ProviderType=MSACCESS",
                                 "Database=C:\\db\\vnh.mdb", "Server=ignored"}));
    EXPECT_EQ(form->DBFormat(), "MSACCESS");
    EXPECT_EQ(form->edDBFile->text(), "C:\\db\\vnh.mdb");
    EXPECT_EQ(form->edServer->text(), "keep");
    EXPECT_TRUE(form->pnlAcc->isVisibleTo(form.get()));
}

TEST_F(FormTest, StartWithMissingFileShowsItsNameAndLoadsNothing)
{
    auto form = MakeForm(Path("missing.vdbcfg"));
    EXPECT_EQ(form->DBFormat(), "");
    EXPECT_TRUE(form->lblCfgFile->isVisibleTo(form.get()));
    EXPECT_EQ(form->lblCfgFile->text(), Path("missing.vdbcfg"));
    EXPECT_TRUE(Boxes.Errors.isEmpty());
}

TEST_F(FormTest, OpenLoadsWithoutChangingTheFileThatSaveProposes)
{
    const QString a = WriteFile("a.vdbcfg", {"[Korvinconnection]", "ProviderName=ORACLE", "Server=sa"});
    const QString b =
        WriteFile("b.vdbcfg", {"[Korvinconnection]", "ProviderName=MSSQL", "Server=sb", "Database=db"});
    auto form = MakeForm(a);
    Dialogs.Answer = b;
    form->btnOpen->click();
    EXPECT_TRUE(Dialogs.LastAnyName);
    EXPECT_EQ(Dialogs.LastFilter, "Database config files for Varnholt (*.vdbcfg)|*.vdbcfg");
    EXPECT_EQ(form->DBFormat(), "MSSQL");
    EXPECT_EQ(form->edServer->text(), "sb");
    EXPECT_EQ(form->lblCfgFile->text(), b);

    Dialogs.Answer = "";
    form->Button1->click();
    EXPECT_EQ(Dialogs.LastStart, a);
    EXPECT_EQ(form->ConfigFile(), a);
}

TEST_F(FormTest, OpenStartsInTheConfigFolderOfTheGroupDirectoryWhenItExists)
{
    auto form = MakeForm();
    form->btnOpen->click();
    EXPECT_EQ(Dialogs.LastStart, "");

    ASSERT_TRUE(QDir(Dir.path()).mkdir("kdbcfg"));
    form->btnOpen->click();
    EXPECT_EQ(Dialogs.LastStart, Dir.path() + QDir::separator() + "kdbcfg");
}

TEST_F(FormTest, OpeningAMissingFileSaysNothingAndKeepsTheLabelHiddenInARunWithoutFile)
{
    auto form = MakeForm();
    SelectFormat(*form, "ORACLE");
    form->edServer->setText("srv");
    Dialogs.Answer = Path("nowhere.vdbcfg");
    form->btnOpen->click();
    EXPECT_EQ(form->lblCfgFile->text(), Path("nowhere.vdbcfg"));
    EXPECT_FALSE(form->lblCfgFile->isVisibleTo(form.get()));
    EXPECT_EQ(form->DBFormat(), "ORACLE");
    EXPECT_EQ(form->edServer->text(), "srv");
    EXPECT_TRUE(Boxes.Errors.isEmpty());
    EXPECT_EQ(form->ConfigFile(), "");
}

TEST_F(FormTest, FailedSaveShowsTheErrorAndKeepsTheWindowUsable)
{
    auto form = MakeForm(Path("a.vdbcfg"));
    form->lblCfgFile->setText("shown before");
    SelectFormat(*form, "ORACLE");
    form->edServer->setText("srv");
    const QString unwritable = Path("no/such/folder/x.vdbcfg");
    Dialogs.Answer = unwritable;
    form->Button1->click();

    ASSERT_EQ(Boxes.Errors.size(), 1);
    EXPECT_TRUE(Boxes.Errors[0].startsWith("In ")) << Boxes.Errors[0].toStdString();
    EXPECT_TRUE(Boxes.Errors[0].contains(unwritable)) << Boxes.Errors[0].toStdString();
    EXPECT_EQ(form->ConfigFile(), unwritable);
    EXPECT_EQ(form->lblCfgFile->text(), "shown before");
}
