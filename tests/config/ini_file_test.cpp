#include "config/ini_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

const QString CSection = QStringLiteral("Korvinconnection");

QByteArray ReadBytes(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir FDir;
    QString Path(const QString& name = QStringLiteral("test.vdbcfg")) const { return FDir.filePath(name); }
};

} // namespace

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    TIniFile missing(Path("missing.vdbcfg"));
    EXPECT_EQ(missing.ReadString(CSection, "Server", "dflt"), "dflt");
    EXPECT_EQ(missing.ReadInteger(CSection, "Port", 42), 42);
    EXPECT_TRUE(missing.ReadBool(CSection, "Direct", true));
    EXPECT_FALSE(missing.SectionExists(CSection));

    WriteBytes(Path(), "[Other]\r\nServer=elsewhere\r\n[Korvinconnection]\r\nDatabase=db\r\n");
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString(CSection, "Server", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nowhere", "Database", "dflt"), "dflt");
    EXPECT_FALSE(ini.ValueExists(CSection, "Server"));
    EXPECT_TRUE(ini.ValueExists(CSection, "DATABASE"));
}

TEST_F(IniFileTest, ReadsHandWrittenFilesLikeTheProfileFunctions)
{
    WriteBytes(Path(), "; written by hand\r\n"
                       "[Other]\r\n"
                       "ProviderName=ORACLE\r\n"
                       "  [ KORVINCONNECTION ]  \r\n"
                       "  providername   =  mssql  \r\n"
                       "Server = \"  padded host  \"\r\n"
                       "Quoted='x'\r\n"
                       "OneQuote=\"\r\n"
                       "Empty=\r\n"
                       "NoEquals\r\n"
                       ";Database=commented\r\n"
                       "Database=a=b\r\n"
                       "Database=second\r\n");
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString(CSection, "ProviderName", ""), "mssql");
    EXPECT_EQ(ini.ReadString(CSection, "server", ""), "  padded host  ");
    EXPECT_EQ(ini.ReadString(CSection, "Quoted", ""), "x");
    EXPECT_EQ(ini.ReadString(CSection, "OneQuote", ""), "\"");
    EXPECT_EQ(ini.ReadString(CSection, "Empty", "dflt"), "");
    EXPECT_EQ(ini.ReadString(CSection, "NoEquals", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString(CSection, "Database", ""), "a=b");
    EXPECT_EQ(ini.ReadString("other", "providername", ""), "ORACLE");
}

TEST_F(IniFileTest, IntegersAndBooleans)
{
    struct {
        const char* value;
        int integer;  // with default -1
        bool boolean; // with default false
    } cases[] = {
        {"1", 1, true},           {"0", 0, false},
        {"", -1, false},          {"True", -1, false},
        {"5", 5, true},           {"-3", -3, true},
        {"+7", 7, true},          {"0x1F", 31, true},
        {"0X1f", 31, true},       {"0x", -1, false},
        {"0xZZ", -1, false},      {"0x-1", -1, false},
        {"0xFFFFFFFF", -1, true}, {"0x100000000", -1, false},
        {"12abc", -1, false},     {"99999999999", -1, false},
        {"05432", 5432, true},
    };
    QByteArray content = "[Korvinconnection]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        content += "K" + QByteArray::number(qulonglong(i)) + "=" + cases[i].value + "\r\n";
    WriteBytes(Path(), content);
    TIniFile ini(Path());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QString key = "K" + QString::number(i);
        EXPECT_EQ(ini.ReadInteger(CSection, key, -1), cases[i].integer) << cases[i].value;
        EXPECT_EQ(ini.ReadBool(CSection, key, false), cases[i].boolean) << cases[i].value;
    }
    // An unreadable value gives the default, also a true one.
    EXPECT_TRUE(ini.ReadBool(CSection, "K3", true));
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters)
{
    TIniFile ini(Path());
    ini.WriteString(CSection, "Long", QString(3000, u'x') + "end");
    EXPECT_EQ(ini.ReadString(CSection, "Long", ""), QString(2047, u'x'));
    ini.WriteString(CSection, "Exact", QString(2047, u'y'));
    EXPECT_EQ(ini.ReadString(CSection, "Exact", ""), QString(2047, u'y'));
}

TEST_F(IniFileTest, WritesCreateFileSectionAndKeysInWindows1252)
{
    TIniFile ini(Path());
    ini.WriteString(CSection, "ProviderName", "POSTGRESQL");
    ini.WriteString(CSection, "Server", "h\u00F6st");
    ini.WriteString(CSection, "Password", "");
    ini.WriteBool(CSection, "Direct", true);
    ini.WriteBool(CSection, "Other", false);
    EXPECT_EQ(ReadBytes(Path()),
              QByteArray("[Korvinconnection]\r\nProviderName=POSTGRESQL\r\nServer=h\xF6st\r\n"
                         "Password=\r\nDirect=1\r\nOther=0\r\n"));
    EXPECT_EQ(ini.ReadString(CSection, "Password", "dflt"), "");
    EXPECT_TRUE(ini.ReadBool(CSection, "Direct", false));
}

TEST_F(IniFileTest, WriteReplacesInPlaceAndLeavesOtherLinesAlone)
{
    WriteBytes(Path(), "; comment\r\n[korvinconnection]\r\nSERVER=old\r\nPort=1\r\n\r\n[Other]\r\nx=1\r\n");
    TIniFile ini(Path());
    ini.WriteString(CSection, "Server", "new");
    ini.WriteString(CSection, "Schema", "public");
    ini.WriteString("Third", "y", "2");
    EXPECT_EQ(ReadBytes(Path()), QByteArray("; comment\r\n[korvinconnection]\r\nSERVER=new\r\nPort=1\r\n"
                                            "Schema=public\r\n\r\n[Other]\r\nx=1\r\n[Third]\r\ny=2\r\n"));
}

TEST_F(IniFileTest, WrittenValuesReadBackUnchanged)
{
    const QString values[] = {
        "mssql",        " leading", "trailing ", "\"quoted\"",
        "'single'",     "\"",       "a=b",       "Gr\u00F6\u00DFe \u20AC",
        "\u65E5\u672C", "",
    };
    TIniFile ini(Path());
    for (const QString& value : values) {
        ini.WriteString(CSection, "Value", value);
        EXPECT_EQ(ini.ReadString(CSection, "Value", "dflt"), value) << value.toStdString();
    }
    // A line break in a value must not open a key of its own.
    ini.WriteString(CSection, "Value", "a\r\nInjected=1");
    EXPECT_FALSE(ini.ValueExists(CSection, "Injected"));
}

TEST_F(IniFileTest, EraseSectionRemovesOnlyThatSection)
{
    WriteBytes(Path(), "; top\r\n[Korvinconnection]\r\nServer=s\r\nUsername=u\r\n[Keep]\r\na=1\r\n"
                       "unknown line\r\n[KORVINCONNECTION]\r\nPassword=p\r\n");
    TIniFile ini(Path());
    ini.EraseSection(CSection);
    EXPECT_EQ(ReadBytes(Path()), QByteArray("; top\r\n[Keep]\r\na=1\r\nunknown line\r\n"));

    // Saving an Access file after a server file leaves no server key behind.
    ini.WriteString(CSection, "ProviderName", "MSACCESS");
    ini.WriteString(CSection, "Database", "/data/x.mdb");
    EXPECT_FALSE(ini.ValueExists(CSection, "Server"));
    EXPECT_FALSE(ini.ValueExists(CSection, "Password"));
    EXPECT_EQ(ini.ReadString("keep", "A", ""), "1");

    // Nothing to erase: a missing file stays missing.
    TIniFile(Path("never.vdbcfg")).EraseSection(CSection);
    EXPECT_FALSE(QFile::exists(Path("never.vdbcfg")));
}

TEST_F(IniFileTest, ReadsEveryEncodingAndWritesUtf16OnlyWhenNeeded)
{
    const QString name = QStringLiteral("M\u00FCller\u20AC");
    const QByteArray utf16 = QByteArray("\xFF\xFE", 2) +
                             QByteArray(reinterpret_cast<const char*>(u"[S]\r\nK=M\u00FCller\u20AC\r\n"), 32);
    const QByteArray files[] = {
        "[S]\r\nK=M\xFCller\x80\r\n",
        "[S]\r\nK=M\xC3\xBCller\xE2\x82\xAC\r\n",
        "\xEF\xBB\xBF[S]\r\nK=M\xC3\xBCller\xE2\x82\xAC\r\n",
        utf16,
    };
    for (const QByteArray& bytes : files) {
        WriteBytes(Path(), bytes);
        EXPECT_EQ(TIniFile(Path()).ReadString("S", "K", ""), name) << bytes.toHex().toStdString();
    }

    // A character outside Windows-1252 turns the file into UTF-16 LE with byte-order mark.
    WriteBytes(Path(), "[S]\r\nK=M\xC3\xBCller\xE2\x82\xAC\r\n");
    TIniFile ini(Path());
    ini.WriteString("S", "J", "\u65E5\u672C");
    EXPECT_TRUE(ReadBytes(Path()).startsWith("\xFF\xFE[\0S\0]\0"));
    EXPECT_EQ(ini.ReadString("S", "K", ""), name);
    EXPECT_EQ(ini.ReadString("S", "J", ""), "\u65E5\u672C");
    // And back to Windows-1252 once every character fits again.
    ini.EraseSection("S");
    ini.WriteString("S", "K", name);
    EXPECT_EQ(ReadBytes(Path()), QByteArray("[S]\r\nK=M\xFCller\x80\r\n"));
}

TEST_F(IniFileTest, RewriteKeepsPermissions)
{
    TIniFile ini(Path());
    ini.WriteString(CSection, "Server", "a");
    const auto permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(Path(), permissions));
    const auto before = QFile::permissions(Path());
    ini.WriteString(CSection, "Server", "b");
    EXPECT_EQ(QFile::permissions(Path()), before);
}

TEST_F(IniFileTest, UnwritablePathRaisesTheGermanError)
{
    for (const QString& path : {Path("no/such/folder/x.vdbcfg"), FDir.path()}) {
        TIniFile ini(path);
        try {
            ini.WriteString(CSection, "Server", "x");
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const EIniWriteError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("In %1 kann nicht geschrieben werden").arg(path));
            EXPECT_EQ(QString::fromUtf8(e.what()), e.Message());
        }
    }
}

#ifdef Q_OS_UNIX
namespace {

/// Limits the size of files this process may write, so that a write fails for real (also for
/// root); the signal that would end the process is ignored meanwhile.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};

} // namespace

TEST_F(IniFileTest, FailedWriteLeavesTheOldFileIntact)
{
    TIniFile ini(Path());
    ini.WriteString("Keep", "a", "1");
    ini.WriteString(CSection, "Server", "old");
    const QByteArray before = ReadBytes(Path());
    {
        TFileSizeLimit limit(8);
        EXPECT_THROW(ini.WriteString(CSection, "Server", "new"), EIniWriteError);
        EXPECT_THROW(ini.EraseSection(CSection), EIniWriteError);
    }
    EXPECT_EQ(ReadBytes(Path()), before);
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"test.vdbcfg"});
}
#endif
