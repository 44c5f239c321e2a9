// Start, emptying, the "-rm744" pause, cancel and the end of a transfer, driven through the window.

#include "window_fixture.h"

#include "support/test_env.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

/// VNH_A: 5 rows; VNH_B: `bRows` rows, every tenth with a negative value; VNH_C: 10 rows, two
/// negative. The target refuses negative values in B and C.
void CreateTables(TTestDb& db, bool target, int bRows = 30)
{
    const QString check = target ? QStringLiteral(" check (Wert >= 0)") : QString();
    db.Exec("create table VNH_A (ID integer primary key, Name varchar(40))");
    db.Exec("create table VNH_B (ID integer primary key, Wert integer" + check + ")");
    db.Exec("create table VNH_C (ID integer primary key, Wert integer" + check + ")");
    if (target)
        return;
    QStringList rows;
    for (int i = 1; i <= 5; ++i)
        rows << QString("insert into VNH_A values (%1, 'Name %1')").arg(i);
    for (int i = 1; i <= bRows; ++i)
        rows << QString("insert into VNH_B values (%1, %2)").arg(i).arg(i % 10 == 0 ? -i : i);
    for (int i = 1; i <= 10; ++i)
        rows << QString("insert into VNH_C values (%1, %2)").arg(i).arg(i % 5 == 0 ? -i : i);
    db.ExecAll(rows);
}

void FillTarget(TTestDb& target)
{
    target.Exec("insert into VNH_A values (100, 'alt')");
    target.Exec("insert into VNH_B values (100, 1)");
    target.Exec("insert into VNH_C values (100, 1)");
}

QString Buttons(const TFrm_Migration& form)
{
    QString states;
    for (QPushButton* b : {form.Button3, form.Button1, form.Button2})
        states += b->isEnabled() ? u'+' : u'-';
    return states;
}

QString SystemName(const ::testing::TestParamInfo<TTestSystem>& info)
{
    return info.param == tsSQLite ? "SQLite" : "PostgreSQL";
}

} // namespace

TEST_F(TransferWindowTest, CancelledStartDeletesNothing)
{
    WriteTableList({"VNH_A;;#", "VNH_B;+;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(tsSQLite, Dir.path(), "target");
    CreateTables(source, false);
    CreateTables(target, true);
    FillTarget(target);
    auto form = ConnectedForm(source, target);

    Boxes.WarningAnswer = baCancel;
    form->Button1->click();

    EXPECT_EQ(Boxes.Texts("Warning"), QStringList({"Daten in Zieldatenbank werden zuvor gelöscht"}));
    EXPECT_EQ(Boxes.Shown.size(), 1);
    EXPECT_EQ(target.Count("VNH_A"), 1);
    EXPECT_EQ(target.Count("VNH_B"), 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Buttons(*form), "++-");
}

TEST_F(TransferWindowTest, EmptiesLastLineFirstWithButtonsLockedAndGoesOnAfterAFailedDelete)
{
    Arguments = QStringList({"-rm744"});
    WriteTableList({"VNH_A;;#", "VNH_Missing;;#", "VNH_B;;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(tsSQLite, Dir.path(), "target");
    CreateTables(source, false);
    CreateTables(target, true);
    FillTarget(target);
    auto form = ConnectedForm(source, target);

    QStringList steps;
    form->OnProcessEvents = [&] {
        steps << QString("%1 %2/%3 %4")
                     .arg(form->lblMsg->text())
                     .arg(form->ProgressBar->value())
                     .arg(form->ProgressBar->maximum())
                     .arg(Buttons(*form));
        // A click in this phase must reach nothing.
        if (steps.size() == 1) {
            form->Button1->click();
            form->Button3->click();
        }
    };
    Boxes.YesNoAnswers["Tabellen gelöscht...weiter?"] = {baNo};
    form->Button1->click();

    EXPECT_EQ(steps,
              QStringList({"Lösche VNH_B 1/3 ---", "Lösche VNH_Missing 2/3 ---", "Lösche VNH_A 3/3 ---"}));
    const QStringList plain = Boxes.Texts("Plain");
    ASSERT_EQ(plain.size(), 1);
    EXPECT_TRUE(plain.first().endsWith(": DELETE FROM VNH_Missing")) << plain.first().toStdString();
    EXPECT_EQ(target.Count("VNH_A"), 0);
    EXPECT_EQ(target.Count("VNH_B"), 0);
    EXPECT_EQ(target.Count("VNH_C"), 1); // not in the list

    // Paused and answered No: the tables stay empty, nothing is copied, the window stays connected.
    EXPECT_EQ(Boxes.Texts("Question"), QStringList({"Tabellen gelöscht...weiter?"}));
    EXPECT_EQ(Boxes.Texts("Warning").size(), 1); // the clicks during emptying started nothing
    EXPECT_TRUE(Boxes.Texts("Information").isEmpty());
    EXPECT_EQ(form->ProgressBar->value(), 0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Buttons(*form), "++-");
}

TEST_F(TransferWindowTest, PausesOnlyForExactlyTheFirstArgument)
{
    const struct {
        QStringList Arguments;
        bool Pauses;
    } cases[] = {
        {{"-rm744"}, true}, {{"-rm744", "weiter"}, true}, {{"weiter", "-rm744"}, false}, {{"-RM744"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments.join(' ').toStdString());
        QTemporaryDir dir;
        Arguments = c.Arguments;
        WriteTableList({"VNH_A;;#"});
        TTestDb source(tsSQLite, dir.path(), "source");
        TTestDb target(tsSQLite, dir.path(), "target");
        CreateTables(source, false);
        CreateTables(target, true);
        Boxes.Shown.clear();
        auto form = ConnectedForm(source, target);
        form->Button1->click(); // a Yes to the pause goes on

        EXPECT_EQ(Boxes.Texts("Question").contains("Tabellen gelöscht...weiter?"), c.Pauses);
        EXPECT_EQ(Boxes.Texts("Information"), QStringList({"Migration beendet"}));
        EXPECT_EQ(target.Count("VNH_A"), 5);
    }
}

class TransferRunTest : public TransferWindowTest, public ::testing::WithParamInterface<TTestSystem> {
protected:
    void SetUp() override
    {
        if (GetParam() == tsPostgreSQL)
            VNH_REQUIRE_POSTGRES();
    }
};

TEST_P(TransferRunTest, CopiesCountsFlaggedFailuresAndClosesTheWindow)
{
    WriteTableList({"VNH_A;;#", "VNH_B;+;#", "VNH_C;;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(GetParam(), Dir.path(), "target");
    CreateTables(source, false);
    CreateTables(target, true);
    FillTarget(target);
    auto form = ConnectedForm(source, target);
    form->edTransactionBuffer->setText("4");

    form->Button1->click();

    EXPECT_EQ(Boxes.Texts("Information"), QStringList({"Migration beendet"}));
    EXPECT_TRUE(Boxes.Texts("Error").isEmpty());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(target.Count("VNH_A"), 5);
    EXPECT_EQ(target.Count("VNH_B"), 27);
    EXPECT_EQ(target.Count("VNH_C"), 8);
    // Only the table with the error flag counts and logs its failed rows.
    EXPECT_EQ(form->lblErr->text(), "3");
    QFile log(Path("Transfer_Errors.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith("VNH_B: ")) << line.toStdString();
    EXPECT_EQ(form->LastSummary()->Outcome, toSuccessWithFailedRows);
    EXPECT_EQ(Buttons(*form), "++-");
}

TEST_P(TransferRunTest, CancelFinishesTheCurrentTableAndCopiesNoLaterRows)
{
    WriteTableList({"VNH_A;;#", "VNH_B;;#", "VNH_C;;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(GetParam(), Dir.path(), "target");
    CreateTables(source, false, 200);
    CreateTables(target, true);
    auto form = ConnectedForm(source, target);

    int rowsOfB = 0;
    QStringList seen;
    form->OnProcessEvents = [&] {
        if (form->lblMsg->text() != "VNH_B")
            return;
        ++rowsOfB;
        if (rowsOfB == 3) {
            seen << Buttons(*form);
            EXPECT_FALSE(form->close()); // the window stays while the transfer runs
            seen << (form->isVisible() ? "visible" : "hidden");
        }
        if (rowsOfB == 5 || rowsOfB == 12)
            form->Button2->click(); // No first, then Yes
    };
    Boxes.YesNoAnswers["Wirklich abbrechen?"] = {baNo, baYes};
    form->Button1->click();

    EXPECT_EQ(seen, QStringList({"--+", "visible"}));
    EXPECT_EQ(Boxes.Texts("Question"), QStringList({"Wirklich abbrechen?", "Wirklich abbrechen?"}));
    EXPECT_EQ(Boxes.Texts("Information"), QStringList({"Abbruch durch Benutzer"}));
    EXPECT_EQ(rowsOfB, 12);
    EXPECT_EQ(target.Count("VNH_A"), 5);
    // Rows 10 fails its check; the eleven others up to the cancel are committed.
    EXPECT_EQ(target.Count("VNH_B"), 11);
    EXPECT_EQ(target.Count("VNH_C"), 0);
    EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Targets, TransferRunTest, ::testing::Values(tsSQLite, tsPostgreSQL),
                         [](const auto& info) { return SystemName(info).toStdString(); });

TEST_F(TransferWindowTest, RunEndedByAnErrorLeavesTheWindowOpenAndUsable)
{
    WriteTableList({"VNH_B;+;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(tsSQLite, Dir.path(), "target");
    CreateTables(source, false);
    CreateTables(target, true);
    auto form = ConnectedForm(source, target);
    // The failed rows go to a log in a folder that does not exist.
    form->edErrDir->setText(Path("fehlt/auch"));

    form->Button1->click();

    const QStringList errors = Boxes.Texts("Error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().startsWith("Die Migration wurde wegen eines Fehlers abgebrochen: "))
        << errors.first().toStdString();
    EXPECT_TRUE(Boxes.Texts("Information").isEmpty());
    EXPECT_EQ(form->LastSummary()->Outcome, toFailed);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Buttons(*form), "++-");
    EXPECT_EQ(target.Count("VNH_B"), 27);
}

TEST_F(TransferWindowTest, StartAgainAfterARunBrokenOffMidTableEmptiesEveryTable)
{
    // VNH_MSStamm without the column "ID" breaks the run off at its first row, inside the table's
    // transaction.
    WriteTableList({"VNH_A;;#", "VNH_MSStamm;;#"});
    TTestDb source(tsSQLite, Dir.path(), "source");
    TTestDb target(tsSQLite, Dir.path(), "target");
    CreateTables(source, false);
    CreateTables(target, true);
    for (TTestDb* db : {&source, &target})
        db->Exec("create table VNH_MSStamm (Nr integer primary key, KennNr varchar(20))");
    source.Exec("insert into VNH_MSStamm values (1, 'K1')");
    auto form = ConnectedForm(source, target);

    form->Button1->click();
    ASSERT_EQ(Boxes.Texts("Error").size(), 1);
    ASSERT_TRUE(form->isVisible());

    Boxes.Shown.clear();
    form->Button1->click();
    EXPECT_TRUE(Boxes.Texts("Plain").isEmpty()) << Boxes.Texts("Plain").join("\n").toStdString();
    EXPECT_EQ(target.Count("VNH_A"), 5);
}
