#include "config/text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray ReadBytes(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(Windows1252, EveryByteDecodesAndEncodesBack)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0x8A], QChar(0x0160));
    EXPECT_EQ(text[0x9F], QChar(0x0178));
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(text[undefined], QChar(undefined));
    EXPECT_EQ(text[0xE4], QChar(0xE4));
    EXPECT_TRUE(FitsWindows1252(text));
    EXPECT_EQ(EncodeWindows1252(text), all);
}

TEST(Windows1252, CharactersWithoutByteDoNotFit)
{
    // U+0080 has no byte: 0x80 is the euro sign.
    for (const QString& text :
         {QStringLiteral("\u0080"), QStringLiteral("a\u65E5"), QStringLiteral("\u0100")}) {
        EXPECT_FALSE(FitsWindows1252(text)) << text.toStdString();
    }
    EXPECT_EQ(EncodeWindows1252(QStringLiteral("a\u65E5\u20AC")), QByteArray("a?\x80"));
}

TEST(TextEncoding, DecodeChoosesByByteOrderMarkThenUtf8Validity)
{
    const QString mueller = QStringLiteral("M\u00FCller \u20AC");
    struct {
        const char* name;
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {"utf8 bom", QByteArray("\xEF\xBB\xBFM\xC3\xBCller \xE2\x82\xAC"), mueller},
        {"utf16le bom", QByteArray("\xFF\xFEM\0\xFC\0l\0l\0e\0r\0 \0\xAC\x20", 18), mueller},
        {"utf16be bom", QByteArray("\xFE\xFF\0M\0\xFC\0l\0l\0e\0r\0 \x20\xAC", 18), mueller},
        {"utf8 without bom", QByteArray("M\xC3\xBCller \xE2\x82\xAC"), mueller},
        {"windows-1252", QByteArray("M\xFCller \x80"), mueller},
        {"ascii", QByteArray("plain"), QStringLiteral("plain")},
        {"overlong utf8 is 1252", QByteArray("\xC0\xAF"), QStringLiteral("\u00C0\u00AF")},
        {"encoded surrogate is 1252", QByteArray("\xED\xA0\x80"), QStringLiteral("\u00ED\u00A0\u20AC")},
        {"cut utf8 sequence is 1252", QByteArray("a\xC3"), QStringLiteral("a\u00C3")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeText(c.bytes), c.expected) << c.name;
}

TEST(TextEncoding, EncodeUsesUtf16OnlyWhenNeeded)
{
    EXPECT_EQ(EncodeText(QStringLiteral("M\u00FCller \u20AC")), QByteArray("M\xFCller \x80"));
    const QString japanese = QStringLiteral("a\u65E5");
    EXPECT_EQ(EncodeText(japanese), QByteArray("\xFF\xFE"
                                               "a\0\xE5\x65",
                                               6));
    EXPECT_EQ(DecodeText(EncodeText(japanese)), japanese);
}

TEST(TextEncoding, EncodedTextReadsBackUnchanged)
{
    // Texts whose Windows-1252 bytes would read as a byte-order mark or as UTF-8 go out as UTF-16.
    for (const QString& text :
         {QStringLiteral("\u00C3\u00A4"), QStringLiteral("[\u00C3\u00A4]"), QStringLiteral("\u00FF\u00FE[S]"),
          QStringLiteral("\u00FE\u00FFx"), QStringLiteral("\u00EF\u00BB\u00BFx"), QStringLiteral("\uFEFFx"),
          QStringLiteral("\uFEFF\uFEFF")}) {
        const QByteArray bytes = EncodeText(text);
        EXPECT_EQ(DecodeText(bytes), text) << bytes.toHex().toStdString();
    }
    EXPECT_EQ(EncodeText(QStringLiteral("\u00C3\u00A4")).left(2), QByteArray("\xFF\xFE"));
}

TEST(TextFile, SplitLinesAcceptsEveryLineEnd)
{
    struct {
        QString text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\rc", {"a", "b", "c"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\r\n", {""}},
        {"a\n\r", {"a", ""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitLines(c.text), c.lines) << c.text.toStdString();
}

TEST(TextFile, WriteTextLinesWritesCrLfAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("list.txt");
    const QStringList lines{"VNH_A;+", "", "Gr\u00F6\u00DFe"};
    WriteTextLines(path, lines);
    EXPECT_EQ(ReadBytes(path), QByteArray("VNH_A;+\r\n\r\nGr\xF6\xDF"
                                          "e\r\n"));
    EXPECT_EQ(ReadTextLines(path), lines);
    EXPECT_TRUE(ReadTextLines(dir.filePath("missing.txt")).isEmpty());

    const QString unwritable = dir.filePath("no/such/folder/list.txt");
    try {
        WriteTextLines(unwritable, lines);
        FAIL() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  QStringLiteral("In %1 kann nicht geschrieben werden").arg(unwritable));
    }
}

TEST(TextFile, AtomicWriteReplacesAndKeepsPermissions)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("file.txt");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, permissions));
    const auto before = QFile::permissions(path);

    ASSERT_TRUE(WriteFileAtomically(path, "new content"));
    EXPECT_EQ(ReadBytes(path), QByteArray("new content"));
    EXPECT_EQ(QFile::permissions(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"file.txt"});

    // A directory in the file's place cannot be replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken"));
    EXPECT_FALSE(WriteFileAtomically(dir.filePath("taken"), "x"));
    EXPECT_TRUE(QFileInfo(dir.filePath("taken")).isDir());
}
