#include "config/text_file.h"
#include "transfer/table_list.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

struct TLineCase {
    const char* Line;
    const char* TargetFormat;
    const char* Name;
    bool ShowErr;
    const char* Keys;
    const char* Skip;
    bool Blob;
};

class TableLine : public testing::TestWithParam<TLineCase> {};

TEST_P(TableLine, FieldsKeepTheirMeaning)
{
    const TLineCase& c = GetParam();
    TTableSettings s = ParseTableLine(QString::fromUtf8(c.Line), QString::fromUtf8(c.TargetFormat));
    EXPECT_EQ(s.TableName, QString::fromUtf8(c.Name));
    EXPECT_EQ(s.ShowErr, c.ShowErr);
    EXPECT_EQ(s.KeyColumns, QString::fromUtf8(c.Keys));
    EXPECT_EQ(s.SkipList, QString::fromUtf8(c.Skip));
    EXPECT_EQ(s.BlobMode, c.Blob);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TableLine,
    testing::Values(TLineCase{"VNH_A", "POSTGRESQL", "VNH_A", false, "#", "", false},
                    TLineCase{"VNH_A;+", "POSTGRESQL", "VNH_A", true, "#", "", false},
                    TLineCase{"VNH_A;+ ", "POSTGRESQL", "VNH_A", false, "#", "", false},
                    TLineCase{"VNH_A;;#", "POSTGRESQL", "VNH_A", false, "#", "", false},
                    TLineCase{"VNH_A;+;ID,Nr;Memo,Foto;blob", "POSTGRESQL", "VNH_A", true, "ID,Nr",
                              "Memo;Foto", true},
                    TLineCase{"VNH_A;;;Memo,Foto", "FIREBIRD", "VNH_A", false, "#", "", false},
                    TLineCase{"VNH_A;;;;BLOBS", "POSTGRESQL", "VNH_A", false, "#", "", false},
                    TLineCase{"VNH_A;;;;BLOB;extra;text", "POSTGRESQL", "VNH_A", false, "#", "", true},
                    TLineCase{" VNH_A ;+", "POSTGRESQL", " VNH_A ", true, "#", "", false},
                    TLineCase{"", "POSTGRESQL", "", false, "#", "", false}));

TEST(TableList, SkipListMatchesWholeColumnNamesInAnyCase)
{
    const QString list = QStringLiteral("Memo;Foto");
    EXPECT_TRUE(IsOnColumnList(list, QStringLiteral("memo")));
    EXPECT_TRUE(IsOnColumnList(list, QStringLiteral("FOTO")));
    EXPECT_FALSE(IsOnColumnList(list, QStringLiteral("MemoText")));
    EXPECT_FALSE(IsOnColumnList(QStringLiteral(" Memo"), QStringLiteral("Memo")));
    EXPECT_FALSE(IsOnColumnList(QString(), QStringLiteral("Memo")));
}

TEST(TableList, KeyConditionJoinsEveryColumn)
{
    EXPECT_EQ(KeyCondition(QStringLiteral("A")), QStringLiteral("A=-1"));
    EXPECT_EQ(KeyCondition(QStringLiteral("A,B")), QStringLiteral("A=-1 and B=-1"));
}

TEST(TableList, FileKeepsBlankLinesAndReadsEveryEncoding)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VNH_Tables.txt"));
    struct {
        QByteArray Bytes;
        QStringList Lines;
    } cases[] = {
        {QByteArray("VNH_A;+\r\n\r\nVNH_B\r\n"), {"VNH_A;+", "", "VNH_B"}},
        {QByteArray("VNH_A\nVNH_B"), {"VNH_A", "VNH_B"}},
        {QByteArray("VNH_\xc4nderung\r\n"), {QStringLiteral("VNH_Änderung")}},                 // Windows-1252
        {QByteArray("\xef\xbb\xbfVNH_\xc3\x84nderung\r\n"), {QStringLiteral("VNH_Änderung")}}, // UTF-8 BOM
        {QByteArray("\xff\xfeV\0N\0H\0_\0\xc4\0", 12), {QStringLiteral("VNH_Ä")}},             // UTF-16 LE
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileAtomically(path, c.Bytes));
        EXPECT_EQ(LoadTableList(path), c.Lines) << c.Bytes.toHex().constData();
    }
    EXPECT_TRUE(LoadTableList(dir.filePath(QStringLiteral("missing.txt"))).isEmpty());
}
