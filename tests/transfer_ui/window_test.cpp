// The transfer window's start state, its file dialogs, the table list check and the connection test.

#include "window_fixture.h"

#include "config/helpers.h"
#include "config/ini_file.h"
#include "support/test_env.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

TEST_F(TransferWindowTest, StartsIdleWithItsControls)
{
    WriteTableList({"VNH_A;;#"});
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), "Transferprogramm für Varnholt (Vers. " + GetAppVersionStr() + ")");
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    ASSERT_EQ(form->PageControl->count(), 1);
    EXPECT_EQ(form->PageControl->tabText(0), "Datenbanken");

    QStringList captions;
    for (QLabel* label : {form->Label1, form->Label2, form->Label5, form->Label3})
        captions << label->text();
    EXPECT_EQ(captions, QStringList({"Konfigurationsdatei der Quelldatenbank",
                                     "Konfigurationsdatei der Zieldatenbank", "Größe des Transaktionspuffers",
                                     "Verzeichnis für Fehlerprotokoll (Transfer_Errors.log)"}));
    EXPECT_EQ(form->edSrc->text(), "");
    EXPECT_EQ(form->edDst->text(), "");
    EXPECT_EQ(form->edErrDir->text(), "");
    EXPECT_EQ(form->edTransactionBuffer->text(), "100");
    EXPECT_EQ(form->ProgressBar->value(), 0);
    EXPECT_EQ(form->lblMsg->text(), "");
    EXPECT_EQ(form->lblErr->text(), "");

    QStringList buttons;
    for (QPushButton* b : {form->Button3, form->Button1, form->Button2})
        buttons << b->text() + (b->isEnabled() ? "+" : "-");
    EXPECT_EQ(buttons, QStringList({"Verbindung testen+", "Migration starten-", "Abbrechen-"}));

    form->show();
    EXPECT_TRUE(Boxes.Shown.isEmpty());
    EXPECT_TRUE(form->edSrc->isEnabled());
}

TEST_F(TransferWindowTest, BufferEditTakesDigitsAndIsReadWithinItsLimits)
{
    auto form = MakeForm();
    form->edTransactionBuffer->clear();
    form->edTransactionBuffer->setFocus();
    for (QChar c : QString("2a5-0"))
        form->edTransactionBuffer->insert(c);
    EXPECT_EQ(form->edTransactionBuffer->text(), "250");
    EXPECT_EQ(form->TransactionBuffer(), 250);
    form->edTransactionBuffer->setText("");
    EXPECT_EQ(form->TransactionBuffer(), 1);
    form->edTransactionBuffer->setText("999999");
    EXPECT_EQ(form->TransactionBuffer(), 100000);
}

TEST_F(TransferWindowTest, FileDialogsStartInTheConfigurationFolderWhenItExists)
{
    for (bool folderExists : {false, true}) {
        SCOPED_TRACE(folderExists);
        GroupDir = Path(folderExists ? "group" : "nogroup");
        const QString configDir = GroupDir + "/KDBCFG";
        if (folderExists) {
            ASSERT_TRUE(QDir().mkpath(configDir));
        }
        auto form = MakeForm();

        Dialogs.Answer = Path("quelle.vdbcfg");
        form->btnSrc->click();
        EXPECT_EQ(Dialogs.LastStart, folderExists ? configDir : QString());
        EXPECT_EQ(Dialogs.LastFilter, "Database config files for Varnholt (*.vdbcfg)|*.vdbcfg");
        EXPECT_EQ(form->edSrc->text(), QDir::toNativeSeparators(Dialogs.Answer));

        Dialogs.Answer = "";
        form->btnDst->click();
        EXPECT_EQ(Dialogs.LastStart, folderExists ? configDir : QString());
        EXPECT_EQ(form->edDst->text(), ""); // cancelled

        Dialogs.Answer = Path("logs");
        form->btnErrDir->click();
        EXPECT_EQ(form->edErrDir->text(), QDir::toNativeSeparators(Dialogs.Answer));
    }
}

TEST_F(TransferWindowTest, MissingOrEmptyTableListIsReportedOnShowAndLocksTheFileEdits)
{
    for (bool fileExists : {false, true}) {
        SCOPED_TRACE(fileExists);
        Boxes.Shown.clear();
        if (fileExists)
            WriteTableList({}); // a file of no bytes
        auto form = MakeForm();
        EXPECT_TRUE(Boxes.Shown.isEmpty());
        form->show();
        EXPECT_EQ(Boxes.Texts("Error"), QStringList({"Die Datei \"VNH_Tables.txt\" wurde nicht gefunden"}));
        EXPECT_FALSE(form->edSrc->isEnabled());
        EXPECT_FALSE(form->edDst->isEnabled());
        EXPECT_TRUE(form->Button3->isEnabled());
        form->hide();
        form->show();
        EXPECT_EQ(Boxes.Shown.size(), 1); // only at the first show
    }
}

struct TConnectCase {
    const char* Name;
    const char* Src; // file names in the test folder; "" for an empty edit
    const char* Dst;
    bool ErrDir;
    const char* Message; // the error box's text, or its start when it ends with ": "
};

class ConnectionCheckTest : public TransferWindowTest, public ::testing::WithParamInterface<TConnectCase> {};

TEST_P(ConnectionCheckTest, ShowsWhyTheTestFailedAndKeepsStartDisabled)
{
    const TConnectCase& c = GetParam();
    WriteTableList({"VNH_A;;#"});
    TTestDb a(tsSQLite, Dir.path(), "a");
    TTestDb b(tsSQLite, Dir.path(), "b");
    a.WriteConfig(Path("a.vdbcfg"));
    b.WriteConfig(Path("b.vdbcfg"));
    b.WriteConfig(Path("A.vdbcfg"));
    TIniFile(Path("gone.vdbcfg")).WriteString("Korvinconnection", "ProviderName", "SQLITE");
    TIniFile(Path("gone.vdbcfg")).WriteString("Korvinconnection", "Database", Path("gone.db"));
    TIniFile(Path("gone.vdbcfg")).WriteBool("Korvinconnection", "Direct", true);

    auto form = MakeForm();
    form->show();
    // A successful test first: a failing one must take "Migration starten" back.
    form->edSrc->setText(Path("a.vdbcfg"));
    form->edDst->setText(Path("b.vdbcfg"));
    form->edErrDir->setText(Dir.path());
    form->Button3->click();
    ASSERT_TRUE(form->Button1->isEnabled());
    Boxes.Shown.clear();

    form->edSrc->setText(*c.Src ? Path(c.Src) : QString());
    form->edDst->setText(*c.Dst ? Path(c.Dst) : QString());
    form->edErrDir->setText(c.ErrDir ? Dir.path() : QString());
    form->Button3->click();

    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const QString expected = QString::fromUtf8(c.Message);
    ASSERT_EQ(Boxes.Shown.size(), 1);
    const TShownBox& box = Boxes.Shown.first();
    if (expected == "Verbindungsaufbau erfolgreich") {
        EXPECT_EQ(box.Kind, "Information");
        EXPECT_EQ(box.Text, expected);
        EXPECT_TRUE(form->Button1->isEnabled());
        return;
    }
    EXPECT_EQ(box.Kind, "Error");
    if (expected.endsWith(": ")) {
        EXPECT_TRUE(box.Text.startsWith(expected)) << box.Text.toStdString();
        EXPECT_GT(box.Text.size(), expected.size()); // the database's own text follows
    } else {
        EXPECT_EQ(box.Text, expected);
    }
    EXPECT_FALSE(form->Button1->isEnabled());
    EXPECT_TRUE(form->Button3->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectionCheckTest,
    ::testing::Values(TConnectCase{"NoSource", "", "b.vdbcfg", true, "Angaben unvollständig"},
                      TConnectCase{"NoTarget", "a.vdbcfg", "", true, "Angaben unvollständig"},
                      TConnectCase{"NoLogFolder", "a.vdbcfg", "b.vdbcfg", false, "Angaben unvollständig"},
                      TConnectCase{"Identical", "a.vdbcfg", "a.vdbcfg", true, "Quelle und Ziel identisch"},
                      TConnectCase{"SourceFails", "gone.vdbcfg", "b.vdbcfg", true,
                                   "Fehler beim Verbindungsaufbau zur Quelldatenbank: "},
                      TConnectCase{"TargetFails", "a.vdbcfg", "gone.vdbcfg", true,
                                   "Fehler beim Verbindungsaufbau zur Zieldatenank: "},
                      TConnectCase{"NamesDifferInCase", "a.vdbcfg", "A.vdbcfg", true,
                                   "Verbindungsaufbau erfolgreich"}),
    [](const ::testing::TestParamInfo<TConnectCase>& info) { return std::string(info.param.Name); });

TEST_F(TransferWindowTest, RefusedServerLoginNamesTheTargetAndCarriesTheServerText)
{
    VNH_REQUIRE_POSTGRES();
    WriteTableList({"VNH_A;;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(tsPostgreSQL, Dir.path(), "target");
    const QString targetConfig = target.WriteConfig(Path("target.vdbcfg"));
    TIniFile(targetConfig).WriteString("Korvinconnection", "Username", "vnh_nobody_here");

    auto form = MakeForm();
    form->show();
    form->edSrc->setText(source.WriteConfig(Path("source.vdbcfg")));
    form->edDst->setText(targetConfig);
    form->edErrDir->setText(Dir.path());
    form->Button3->click();

    const QStringList errors = Boxes.Texts("Error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith("Fehler beim Verbindungsaufbau zur Zieldatenank: "))
        << errors.first().toStdString();
    EXPECT_TRUE(errors.first().contains("vnh_nobody_here")) << errors.first().toStdString();
    EXPECT_FALSE(form->Button1->isEnabled());
}
