// A configuration file in a folder that cannot be written, or whose save of several keys fails
// half-way: the save fails loudly and the old file stays as it was. (A single write that fails and
// the permissions of a rewritten file are tested with the INI access in tests/config.)

#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#ifdef __linux__
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kSection = QStringLiteral("Korvinconnection");

QByteArray Bytes(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Runs `write` in a child process after `restrict` and returns how it ended: 0 it raised
/// EIniWriteError, 1 it returned normally, 2 something else. The restriction ends with the child.
int WriteInChild(const std::function<bool()>& restrict, const std::function<void()>& write)
{
    pid_t child = fork();
    if (child == 0) {
        if (!restrict())
            _exit(3);
        try {
            write();
            _exit(1);
        } catch (const EIniWriteError&) {
            _exit(0);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

/// Root passes over the permissions of a folder: as root the child becomes the user nobody.
bool WithoutRootRights()
{
    return geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0);
}

TEST(ConfigFileFaults, ReadOnlyFolderKeepsTheOldFile)
{
    QTemporaryDir dir;
    // Others may pass the outer folder; the inner one they may read but not change.
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    const QString folder = dir.filePath(QStringLiteral("nur-lesen"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString fileName = folder + QStringLiteral("/quelle.vdbcfg");
    TIniFile ini(fileName);
    ini.WriteString(QStringLiteral("Andere"), QStringLiteral("Wert"), QStringLiteral("bleibt"));
    ini.WriteString(kSection, QStringLiteral("Server"), QStringLiteral("alt"));
    // The file itself may be written by anyone: only the folder stands in the way of a replacement.
    const auto filePermissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther;
    ASSERT_TRUE(QFile::setPermissions(fileName, filePermissions));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                  QFile::ExeOther));
    const QByteArray before = Bytes(fileName);

    const struct {
        const char* Name;
        std::function<void()> Write;
    } writes[] = {
        {"one key",
         [&] { TIniFile(fileName).WriteString(kSection, QStringLiteral("Server"), QStringLiteral("neu")); }},
        {"erase the section", [&] { TIniFile(fileName).EraseSection(kSection); }},
        {"a new file beside it",
         [&] {
             TIniFile(folder + QStringLiteral("/neu.vdbcfg"))
                 .WriteString(kSection, QStringLiteral("Server"), QStringLiteral("x"));
         }},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.Name);
        EXPECT_EQ(WriteInChild(WithoutRootRights, w.Write), 0);
        EXPECT_EQ(Bytes(fileName), before);
        // The bits of the current user mirror one of the others; compare owner, group and others.
        EXPECT_EQ(int(QFile::permissions(fileName)) & 0xF0FF, int(filePermissions));
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("quelle.vdbcfg")});
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The configuration tool saves a file as an erased section and one key after the other, in one update.
TEST(ConfigFileFaults, SaveFailingHalfWayKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("ziel.vdbcfg"));
    TIniFile(fileName).WriteString(QStringLiteral("Andere"), QStringLiteral("Wert"),
                                   QStringLiteral("bleibt"));
    for (const char* key : {"ProviderName", "Server", "Database", "Username", "Password"})
        TIniFile(fileName).WriteString(kSection, QString::fromLatin1(key), QStringLiteral("alt"));
    const QByteArray before = Bytes(fileName);

    auto save = [&] {
        TIniFile ini(fileName);
        ini.BeginUpdate();
        ini.EraseSection(kSection);
        for (const char* key : {"ProviderName", "Server", "Database", "Username", "Password"})
            ini.WriteString(kSection, QString::fromLatin1(key), QStringLiteral("ein längerer neuer Wert"));
        ini.EndUpdate();
    };
    // The file may grow a little, not by the whole new section: the first keys would still fit, a
    // later one not. The size limit holds for root too.
    const auto limit = rlim_t(before.size() + 20);
    auto limited = [limit] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit size{limit, limit};
        return setrlimit(RLIMIT_FSIZE, &size) == 0;
    };
    EXPECT_EQ(WriteInChild(limited, save), 0);
    EXPECT_EQ(Bytes(fileName), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("ziel.vdbcfg")});

    // Without the limit: nothing reaches the file before the end of the update, reads see the new state.
    TIniFile ini(fileName);
    ini.BeginUpdate();
    ini.WriteString(kSection, QStringLiteral("Server"), QStringLiteral("neu"));
    EXPECT_EQ(ini.ReadString(kSection, QStringLiteral("Server"), QString()), QStringLiteral("neu"));
    EXPECT_EQ(Bytes(fileName), before);
    ini.EndUpdate();
    EXPECT_EQ(TIniFile(fileName).ReadString(kSection, QStringLiteral("Server"), QString()),
              QStringLiteral("neu"));
    EXPECT_EQ(TIniFile(fileName).ReadString(QStringLiteral("Andere"), QStringLiteral("Wert"), QString()),
              QStringLiteral("bleibt"));
}

} // namespace
#endif
