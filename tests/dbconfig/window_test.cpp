// The window's start state, its layout per format and the input check.

#include "form_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

TEST_F(FormTest, StartsWithFourFormatsNothingSelectedAndNoPanel)
{
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), "Datenbankzugriff konfigurieren");
    EXPECT_EQ(form->size(), QSize(427, 315));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->GroupBox1->title(), "Zugriffsparameter");

    QStringList formats;
    for (int i = 0; i < form->cbxDBFormat->count(); ++i)
        formats << form->cbxDBFormat->itemText(i);
    EXPECT_EQ(formats, QStringList({"MSACCESS", "MSSQL", "ORACLE", "POSTGRESQL"}));
    EXPECT_FALSE(form->cbxDBFormat->isEditable());
    EXPECT_EQ(form->DBFormat(), "");
    EXPECT_FALSE(form->pnlSQL->isVisibleTo(form.get()));
    EXPECT_FALSE(form->pnlAcc->isVisibleTo(form.get()));
    EXPECT_FALSE(form->lblCfgFile->isVisibleTo(form.get()));
    EXPECT_FALSE(form->TANVPanelVisible());
    EXPECT_EQ(form->edTANVServerURL->text(), "localhost");
    EXPECT_EQ(form->edPort->text(), "0");
    EXPECT_EQ(form->edPW->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form->ConfigFile(), "");

    QStringList buttons;
    for (QPushButton* b : {form->btnConnect, form->btnOpen, form->Button1, form->btnClose})
        buttons << b->text();
    EXPECT_EQ(buttons, QStringList({"Verbindungstest", "Datei öffnen", "Datei speichern", "Schließen"}));
}

TEST_F(FormTest, PortTakesDigitsOnly)
{
    auto form = MakeForm();
    SelectFormat(*form, "MSSQL");
    form->edPort->clear();
    form->edPort->setFocus();
    for (QChar c : QString("54a3-2"))
        form->edPort->insert(c);
    EXPECT_EQ(form->edPort->text(), "5432");
}

struct TLayoutCase {
    const char* Format;
    bool Acc, SQL, Schema, Direct;
};

class LayoutTest : public FormTest, public ::testing::WithParamInterface<TLayoutCase> {};

TEST_P(LayoutTest, ShowsThePanelsOfTheFormat)
{
    const TLayoutCase& c = GetParam();
    auto form = MakeForm();
    // Come from ORACLE with the box ticked: every other format must clear it.
    SelectFormat(*form, "ORACLE");
    form->chbxDirect->setChecked(true);
    SelectFormat(*form, c.Format);

    TForm1* f = form.get();
    EXPECT_EQ(f->pnlAcc->isVisibleTo(f), c.Acc);
    EXPECT_EQ(f->pnlSQL->isVisibleTo(f), c.SQL);
    EXPECT_EQ(f->lblSchema->isVisibleTo(f), c.Schema);
    EXPECT_EQ(f->edSchema->isVisibleTo(f), c.Schema);
    EXPECT_EQ(f->chbxDirect->isVisibleTo(f), c.Direct);
    EXPECT_EQ(f->chbxDirect->isChecked(), c.Direct);
}

INSTANTIATE_TEST_SUITE_P(Formats, LayoutTest,
                         ::testing::Values(TLayoutCase{"MSACCESS", true, false, false, false},
                                           TLayoutCase{"MSSQL", false, true, true, false},
                                           TLayoutCase{"ORACLE", false, true, false, true},
                                           TLayoutCase{"POSTGRESQL", false, true, true, false},
                                           TLayoutCase{"", false, false, false, false}));

TEST_F(FormTest, SwitchingFormatsKeepsTheValuesAndSetsTheAccessFilterOnce)
{
    auto form = MakeForm();
    SelectFormat(*form, "POSTGRESQL");
    form->edServer->setText("db1");
    form->edSchema->setText("vnh");
    SelectFormat(*form, "MSACCESS");
    EXPECT_EQ(form->edDBFileFilter,
              "Access-Datenbanken (*.mdb, *.accdb)|*.mdb;*.accdb|"
              "Access 2007-Dateien (*.mdb)|*.mdb|Access 2010-Dateien (*.accdb)|*.accdb");
    form->edDBFile->setText("/data/vnh.mdb");
    SelectFormat(*form, "POSTGRESQL");
    EXPECT_EQ(form->edServer->text(), "db1");
    EXPECT_EQ(form->edSchema->text(), "vnh");
    EXPECT_EQ(form->edDBFile->text(), "/data/vnh.mdb");
    EXPECT_FALSE(form->edDBFileFilter.isEmpty());
}

struct TCheckCase {
    const char* Format;
    const char* DBFile;
    const char* Server;
    const char* Database;
    const char* Schema;
    const char* Message; // "" when the check passes
};

class CheckInputTest : public FormTest, public ::testing::WithParamInterface<TCheckCase> {};

TEST_P(CheckInputTest, FirstFailingRuleShowsItsMessage)
{
    const TCheckCase& c = GetParam();
    auto form = MakeForm();
    SelectFormat(*form, c.Format);
    form->edDBFile->setText(c.DBFile);
    form->edServer->setText(c.Server);
    form->edDatabase->setText(c.Database);
    form->edSchema->setText(c.Schema);

    const bool passed = form->CheckInput();
    EXPECT_EQ(passed, QString(c.Message).isEmpty());
    EXPECT_EQ(Boxes.Errors, passed ? QStringList() : QStringList({c.Message}));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CheckInputTest,
    ::testing::Values(TCheckCase{"", "", "", "", "", "Kein Datenbankserver angegeben"},
                      TCheckCase{"", "", "srv", "", "", "Keine Datenbank angegeben"},
                      TCheckCase{"MSACCESS", "", "", "", "", "Keine Datenbankdatei angegeben"},
                      TCheckCase{"MSACCESS", "x.mdb", "", "", "", ""}, // server fields are not looked at
                      TCheckCase{"MSSQL", "", "", "db", "", "Kein Datenbankserver angegeben"},
                      TCheckCase{"MSSQL", "", "srv", "", "", "Keine Datenbank angegeben"},
                      TCheckCase{"MSSQL", "", "srv", "db", "", ""}, // empty schema passes
                      TCheckCase{"ORACLE", "", "", "", "", "Kein Datenbankserver angegeben"},
                      TCheckCase{"ORACLE", "", "srv", "", "", ""}, // no database needed
                      TCheckCase{"POSTGRESQL", "", "srv", "", "", "Keine Datenbank angegeben"},
                      TCheckCase{"POSTGRESQL", "", "srv", "db", "", "Kein Schema angegeben"},
                      TCheckCase{"POSTGRESQL", "", " ", " ", " ", ""})); // blanks count as filled in

TEST_F(FormTest, FailedCheckStopsSaveAndConnectionTest)
{
    auto form = MakeForm();
    form->Button1->click();
    form->btnConnect->click();
    EXPECT_EQ(Boxes.Errors,
              QStringList({"Kein Datenbankserver angegeben", "Kein Datenbankserver angegeben"}));
    EXPECT_EQ(Dialogs.Calls, 0);
}

TEST_F(FormTest, CloseButtonClosesTheWindow)
{
    auto form = MakeForm();
    form->show();
    ASSERT_TRUE(form->isVisible());
    form->btnClose->click();
    EXPECT_FALSE(form->isVisible());
}
