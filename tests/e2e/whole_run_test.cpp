// Whole transfers between database systems: the target is emptied and then holds, row by row, what the
// source holds.

#include "e2e_support.h"

#include "db/odbc/odbc_driver.h"
#include "support/test_env.h"
#include "transfer/migration.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

const QString kTable = QStringLiteral("VNH_E2E_Muster");

struct TSystemPair {
    TE2ESystem Src;
    TE2ESystem Dst;
};

class WholeRun : public ::testing::TestWithParam<TSystemPair> {};

TEST_P(WholeRun, TargetHoldsTheSourceRowByRow)
{
    for (TE2ESystem system : {GetParam().Src, GetParam().Dst}) {
        QString reason = UnavailableReason(system);
        if (!reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }
    TE2EDatabase src(GetParam().Src);
    TE2EDatabase dst(GetParam().Dst);
    src.Exec({SampleTableDDL(src.System(), kTable)});
    dst.Exec({SampleTableDDL(dst.System(), kTable)});
    FillSampleTable(*src.Connect(), kTable, 250);
    FillSampleTable(*dst.Connect(), kTable, 3); // old rows with the same keys: emptying must remove them
    QTemporaryDir logDir;

    TFakeView view;
    TMigration migration(view);
    TTransferSummary summary = StartTransfer(migration, src.ConfigFile(), dst.ConfigFile(),
                                             {kTable + QStringLiteral(";+")}, logDir.path());

    EXPECT_EQ(summary.Outcome, toSuccess) << migration.Messages().join(u'\n').toStdString();
    EXPECT_EQ(summary.RowsCopied, 250);
    EXPECT_EQ(view.InformationBoxes, QStringList{QStringLiteral("Migration beendet")});
    EXPECT_TRUE(view.PlainBoxes.isEmpty()) << view.PlainBoxes.join(u'\n').toStdString();
    EXPECT_TRUE(migration.Messages().isEmpty()) << migration.Messages().join(u'\n').toStdString();
    QStringList differences = CompareTables(*src.Connect(), *dst.Connect(), kTable, QStringLiteral("ID"));
    EXPECT_TRUE(differences.isEmpty()) << differences.join(u'\n').toStdString();
}

std::string PairName(const ::testing::TestParamInfo<TSystemPair>& info)
{
    return (SystemName(info.param.Src) + QStringLiteral("To") + SystemName(info.param.Dst)).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Systems, WholeRun,
    ::testing::Values(TSystemPair{esSQLite, esSQLite}, TSystemPair{esPostgreSQL, esPostgreSQL},
                      TSystemPair{esSQLite, esPostgreSQL}, TSystemPair{esPostgreSQL, esSQLite},
                      TSystemPair{esPostgreSQL, esMySQL}, TSystemPair{esMySQL, esSQLite}),
    PairName);

// An Access file read through the ODBC provider; the fixtures' Table1 holds every Access column kind.
class AccessSource : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessSource, CopiesTable1IntoSQLite)
{
    if (AccessFixtureDir().isEmpty())
        GTEST_SKIP() << "the Access fixtures (shared/fixtures/access next to the project) are absent";
    if (!InstalledOdbcDrivers().contains(QStringLiteral("MDBTools")))
        GTEST_SKIP() << "the MDBTools ODBC driver is not installed (Debian package odbc-mdbtools)";
    QTemporaryDir dir;
    const QString srcConfig = dir.filePath(QStringLiteral("access.vdbcfg"));
    const QString accessFile = AccessFixtureDir() + u'/' + QString::fromLatin1(GetParam());
    WriteAccessConfig(srcConfig, accessFile);
    const QByteArray before = FileBytes(accessFile);
    TE2EDatabase dst(esSQLite);
    dst.Exec(
        {QStringLiteral("create table Table1 (A VARCHAR(50), B VARCHAR(100), C SMALLINT, D SMALLINT, E INT, "
                        "F DOUBLE, G DATETIME, H CURRENCY, I BOOLEAN NOT NULL)")});

    TFakeView view;
    TMigration migration(view);
    TTransferSummary summary =
        StartTransfer(migration, srcConfig, dst.ConfigFile(), {QStringLiteral("Table1;+")}, dir.path());

    EXPECT_EQ(summary.Outcome, toSuccess) << migration.Messages().join(u'\n').toStdString();
    EXPECT_EQ(summary.RowsCopied, 2);
    QStringList differences =
        CompareTables(migration.SrcConnection(), *dst.Connect(), QStringLiteral("Table1"), {});
    EXPECT_TRUE(differences.isEmpty()) << differences.join(u'\n').toStdString();
    EXPECT_EQ(FileBytes(accessFile), before) << "the Access source was written to";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AccessSource, ::testing::Values("ace-test.accdb", "jet3-test.mdb"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return QString::fromLatin1(info.param).section(u'.', 1).toStdString() == "accdb"
                                        ? std::string("Accdb")
                                        : std::string("Mdb");
                         });

} // namespace
