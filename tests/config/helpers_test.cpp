#include "config/helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void WriteAdminIni(const QString& folder, const QByteArray& content)
{
    QFile file(folder + "/ADMIN.INI");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Administration]\r\n" + content);
}

/// Sets an environment variable for the lifetime of the object.
class TEnvGuard {
public:
    TEnvGuard(const char* name, const QByteArray& value) : FName(name), FHad(qEnvironmentVariableIsSet(name))
    {
        FOld = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~TEnvGuard()
    {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

} // namespace

TEST(Fields, CountAndPick)
{
    struct {
        QString text, separator;
        int count;
        QStringList fields; // fields 1..count
    } cases[] = {
        {"a;b;c", ";", 3, {"a", "b", "c"}},
        {"a;b;", ";", 3, {"a", "b", ""}},
        {";b", ";", 2, {"", "b"}},
        {"a;;c", ";", 3, {"a", "", "c"}},
        {"abc", ";", 1, {"abc"}},
        {"", ";", 0, {}},
        {"x,y", ",", 2, {"x", "y"}},
        {"a;b", ",", 1, {"a;b"}},
        {"a#b#", "#", 3, {"a", "b", ""}},
        // A longer separator loses only its first character; the rest begins the next field.
        {"a;;b", ";;", 2, {"a", ";b"}},
        {"a;;;b", ";;", 3, {"a", "", ";b"}},
        {"a#;b", "#;", 2, {"a", ";b"}},
        {"ab", "", 1, {"ab"}},
    };
    for (const auto& c : cases) {
        const std::string where = c.text.toStdString() + " / " + c.separator.toStdString();
        EXPECT_EQ(CountFields(c.text, c.separator), c.count) << where;
        for (int n = 1; n <= c.fields.size(); ++n)
            EXPECT_EQ(GetField(c.text, c.separator, n), c.fields[n - 1]) << where << " field " << n;
        EXPECT_EQ(GetField(c.text, c.separator, 0), "") << where;
        EXPECT_EQ(GetField(c.text, c.separator, -1), "") << where;
        EXPECT_EQ(GetField(c.text, c.separator, int(c.fields.size()) + 1), "") << where;
    }
}

TEST(Paths, TrimTrailingChar)
{
    struct {
        QString in;
        QChar ch;
        QString out;
    } cases[] = {
        {"/a/b///", u'/', "/a/b"},     {"///", u'/', ""},   {"", u'/', ""}, {"/a/b", u'/', "/a/b"},
        {"C:\\x\\\\", u'\\', "C:\\x"}, {"a/b", u'b', "a/"},
    };
    for (const auto& c : cases) {
        QString text = c.in;
        TrimTrailingChar(text, c.ch);
        EXPECT_EQ(text, c.out) << c.in.toStdString();
    }
}

TEST(Paths, ExeDirIsTheProgramFolder)
{
    ResetHelperCaches();
    const QString dir = GetExeDir();
    EXPECT_TRUE(QFileInfo(dir).isDir()) << dir.toStdString();
    EXPECT_TRUE(QFileInfo(dir).isAbsolute());
    EXPECT_FALSE(dir.endsWith(QDir::separator()));
}

TEST(Paths, AdminAndGroupDirectories)
{
    ResetHelperCaches();
    QTemporaryDir tmp;
    const QString folder = tmp.path();
    const QString adminOfProgram = GetAdminDir();
    EXPECT_EQ(adminOfProgram, GetExeDir()) << "the build folder must not hold an ADMIN.INI";

    // No ADMIN.INI: the folder itself, and the group directory is the program's admin directory.
    EXPECT_EQ(GetAdminDirOf(folder), folder);
    EXPECT_EQ(GetAdminDirOf(folder + "/"), folder);
    EXPECT_EQ(GetGroupDirOf(folder), adminOfProgram);

    WriteAdminIni(folder, "AdminDir=\r\nGroupDir=/srv/group//\r\n");
    EXPECT_EQ(GetAdminDirOf(folder), folder) << "an empty AdminDir means the folder";
    EXPECT_EQ(GetGroupDirOf(folder), "/srv/group");

    WriteAdminIni(folder, "adminDIR=/srv/admin/\r\n");
    EXPECT_EQ(GetAdminDirOf(folder + "//"), "/srv/admin");
    EXPECT_EQ(ReadAdminIni(folder, "Missing", "dflt"), "dflt");

    WriteAdminIni(folder, "GroupDir=%VNH_TEST_GROUP_DIR%\r\n");
    {
        TEnvGuard env("VNH_TEST_GROUP_DIR", "/from/env/");
        EXPECT_EQ(GetGroupDirOf(folder), "/from/env");
    }
    for (const QByteArray& value : {QByteArray(), QByteArray("")}) {
        TEnvGuard env("VNH_TEST_GROUP_DIR", value);
        EXPECT_EQ(GetGroupDirOf(folder), adminOfProgram) << "unset or empty variable";
    }
}

TEST(Paths, PrivateGroupDirIsCreatedInTheDocumentsFolder)
{
    ResetHelperCaches();
    QTemporaryDir home;
    TEnvGuard homeEnv("HOME", home.path().toLocal8Bit());
    TEnvGuard configEnv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    ASSERT_TRUE(documents.startsWith(home.path())) << documents.toStdString();

    QTemporaryDir tmp;
    WriteAdminIni(tmp.path(), "GroupDir=<private>/Gruppe/Sub/\r\n");
    const QString group = GetGroupDirOf(tmp.path());
    EXPECT_EQ(group, documents + "/Gruppe/Sub");
    EXPECT_TRUE(QFileInfo(group).isDir());
}

TEST(Version, ProgramVersionIsTheProjectVersion)
{
    ResetHelperCaches();
    EXPECT_EQ(GetAppVersionStr(), "1.0.0.1");
    EXPECT_EQ(GetFileVersionStr(QString(), false), "1.0.0");
    TVersionNumbers numbers;
    ASSERT_TRUE(GetFileVersionNumbers(QString(), numbers));
    EXPECT_EQ(numbers.Build, 1);
}

namespace {

void Put16(QByteArray& b, int at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

void Put32(QByteArray& b, int at, quint32 v)
{
    Put16(b, at, quint16(v & 0xFFFF));
    Put16(b, at + 2, quint16(v >> 16));
}

/// A minimal 32-bit PE file with one resource section holding a version resource of file version
/// 2.5.3.17 and product version 9.9.9.9.
QByteArray MinimalPe(bool withResource)
{
    QByteArray b(0x200 + 0x100, '\0');
    Put16(b, 0, 0x5A4D);
    Put32(b, 0x3C, 0x40);
    Put32(b, 0x40, 0x00004550);
    Put16(b, 0x44, 0x014C); // machine
    Put16(b, 0x46, 1);      // sections
    Put16(b, 0x54, 0xE0);   // optional header size
    const int opt = 0x58;
    Put16(b, opt, 0x10B);
    Put32(b, opt + 92, 16);
    if (withResource) {
        Put32(b, opt + 96 + 16, 0x1000);
        Put32(b, opt + 96 + 20, 0x100);
    }
    const int section = opt + 0xE0;
    b.replace(section, 5, ".rsrc");
    Put32(b, section + 8, 0x100);
    Put32(b, section + 12, 0x1000);
    Put32(b, section + 16, 0x100);
    Put32(b, section + 20, 0x200);

    const int r = 0x200;
    Put16(b, r + 14, 1); // root: type 16 (version)
    Put32(b, r + 16, 16);
    Put32(b, r + 20, 0x80000000u | 0x18);
    Put16(b, r + 0x18 + 14, 1); // name 1
    Put32(b, r + 0x18 + 16, 1);
    Put32(b, r + 0x18 + 20, 0x80000000u | 0x30);
    Put16(b, r + 0x30 + 14, 1); // language
    Put32(b, r + 0x30 + 16, 0x409);
    Put32(b, r + 0x30 + 20, 0x48);
    Put32(b, r + 0x48, 0x1000 + 0x58); // data entry
    Put32(b, r + 0x48 + 4, 92);
    const int v = r + 0x58;
    Put16(b, v, 92);
    Put16(b, v + 2, 52);
    const QString key = QStringLiteral("VS_VERSION_INFO");
    for (int i = 0; i < key.size(); ++i)
        Put16(b, v + 6 + 2 * i, key[i].unicode());
    Put32(b, v + 40, 0xFEEF04BD);
    Put32(b, v + 44, 0x00010000);
    Put32(b, v + 48, (2u << 16) | 5);
    Put32(b, v + 52, (3u << 16) | 17);
    Put32(b, v + 56, (9u << 16) | 9);
    Put32(b, v + 60, (9u << 16) | 9);
    return b;
}

} // namespace

TEST(Version, FileVersionFromAWindowsVersionResource)
{
    QTemporaryDir dir;
    struct {
        const char* name;
        QByteArray bytes;
        QString expected;
    } cases[] = {
        {"with_version.exe", MinimalPe(true), "2.5.3.17"},
        {"without_resource.exe", MinimalPe(false), ""},
        {"truncated.exe", MinimalPe(true).left(0x260), ""},
        {"not_pe.txt", QByteArray("MZ but nothing else"), ""},
        {"empty.bin", QByteArray(), ""},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        EXPECT_EQ(GetFileVersionStr(path, true), c.expected) << c.name;
    }
    EXPECT_EQ(GetFileVersionStr(dir.filePath("with_version.exe"), false), "2.5.3");
    EXPECT_EQ(GetFileVersionStr(dir.filePath("missing.exe"), true), "");
}
