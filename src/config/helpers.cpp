#include "config/helpers.h"

#include "config/ini_file.h"
#include "config/pe_version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <iterator>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifndef VNH_VERSION_MAJOR
#define VNH_VERSION_MAJOR 0
#endif
#ifndef VNH_VERSION_MINOR
#define VNH_VERSION_MINOR 0
#endif
#ifndef VNH_VERSION_PATCH
#define VNH_VERSION_PATCH 0
#endif
#ifndef VNH_VERSION_TWEAK
#define VNH_VERSION_TWEAK 0
#endif

namespace {

// Run-wide values; empty until computed, and an empty result is computed again next time.
QString GExeDir;
QString GAdminDir;
QString GGroupDir;
bool GHaveAppVersion = false;
TVersionNumbers GAppVersion;

QChar PathDelim()
{
    return QDir::separator();
}

/// Path of the running program, also before (or without) a QCoreApplication.
QString RunningProgramPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
#if defined(Q_OS_WIN)
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    return n > 0 && n < std::size(buffer) ? QString::fromWCharArray(buffer, int(n)) : QString();
#else
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
#endif
}

} // namespace

QString GetExeDir()
{
    if (GExeDir.isEmpty()) {
        const QString program = RunningProgramPath();
        if (!program.isEmpty()) {
            QString dir = QDir::toNativeSeparators(QFileInfo(program).absolutePath());
            TrimTrailingChar(dir, PathDelim());
            GExeDir = dir;
        }
    }
    return GExeDir;
}

void TrimTrailingChar(QString& text, QChar ch)
{
    while (text.endsWith(ch))
        text.chop(1);
}

QString GetEnvVar(const QString& name)
{
    if (name.isEmpty())
        return QString();
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

QString ReadAdminIni(const QString& folder, const QString& key, const QString& defaultValue)
{
    QString path = folder;
    TrimTrailingChar(path, PathDelim());
    path += PathDelim() + QStringLiteral("ADMIN.INI");
    return TIniFile(path).ReadString(QStringLiteral("Administration"), key, defaultValue);
}

QString GetAdminDirOf(const QString& folder)
{
    QString result = ReadAdminIni(folder, QStringLiteral("AdminDir"), folder);
    if (result.isEmpty())
        result = folder;
    TrimTrailingChar(result, PathDelim());
    return result;
}

QString GetAdminDir()
{
    if (GAdminDir.isEmpty())
        GAdminDir = GetAdminDirOf(GetExeDir());
    return GAdminDir;
}

QString GetGroupDirOf(const QString& folder)
{
    static const QString CPrivate = QStringLiteral("<PRIVATE>");
    QString result = ReadAdminIni(folder, QStringLiteral("GroupDir"), QString());
    if (result.isEmpty()) {
        result = GetAdminDir();
    } else if (const qsizetype at = result.indexOf(CPrivate, 0, Qt::CaseInsensitive); at >= 0) {
        QString documents =
            QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        TrimTrailingChar(documents, PathDelim());
        result.replace(at, CPrivate.size(), documents);
        // A folder that cannot be created is no error: the caller still gets the path.
        if (!result.isEmpty() && !QFileInfo::exists(result))
            QDir().mkpath(result);
    } else if (result.startsWith(u'%') && result.endsWith(u'%')) {
        result = GetEnvVar(result.remove(u'%'));
        if (result.isEmpty())
            result = GetAdminDir();
    }
    TrimTrailingChar(result, PathDelim());
    return result;
}

QString GetGroupDir()
{
    if (GGroupDir.isEmpty())
        GGroupDir = GetGroupDirOf(GetExeDir());
    return GGroupDir;
}

bool GetFileVersionNumbers(const QString& fileName, TVersionNumbers& numbers)
{
    if (fileName.isEmpty()) {
        // The running program's version is the project version compiled into it.
        if (!GHaveAppVersion) {
            GAppVersion = {quint16(VNH_VERSION_MAJOR + 0), quint16(VNH_VERSION_MINOR + 0),
                           quint16(VNH_VERSION_PATCH + 0), quint16(VNH_VERSION_TWEAK + 0)};
            GHaveAppVersion = true;
        }
        numbers = GAppVersion;
        return true;
    }
    std::array<quint32, 2> fileVersion{};
    if (!ReadPeFileVersion(fileName, fileVersion))
        return false;
    numbers = {quint16(fileVersion[0] >> 16), quint16(fileVersion[0] & 0xFFFF), quint16(fileVersion[1] >> 16),
               quint16(fileVersion[1] & 0xFFFF)};
    return true;
}

QString GetFileVersionStr(const QString& fileName, bool fourParts)
{
    TVersionNumbers v;
    if (!GetFileVersionNumbers(fileName, v))
        return QString();
    if (fourParts)
        return QStringLiteral("%1.%2.%3.%4").arg(v.Major).arg(v.Minor).arg(v.Release).arg(v.Build);
    return QStringLiteral("%1.%2.%3").arg(v.Major).arg(v.Minor).arg(v.Release);
}

QString GetAppVersionStr()
{
    return GetFileVersionStr(QString(), true);
}

int CountFields(const QString& text, const QString& separator)
{
    if (text.isEmpty())
        return 0;
    if (separator.isEmpty())
        return 1;
    // Each match loses its first character, so the next search from the start finds the next
    // one. The replacement must differ from that character, or the search would never end.
    const QChar mark = separator.front() == u'#' ? u'*' : u'#';
    QString work = text;
    int count = 1;
    for (qsizetype at = work.indexOf(separator); at >= 0; at = work.indexOf(separator)) {
        ++count;
        work[at] = mark;
    }
    return count;
}

QString GetField(const QString& text, const QString& separator, int n)
{
    QString rest = text;
    QString field;
    int i = 1;
    bool found = !text.isEmpty();
    while (i <= n && found) {
        const qsizetype at = separator.isEmpty() ? -1 : rest.indexOf(separator);
        if (at >= 0) {
            field = rest.left(at);
            rest.remove(0, at + 1); // only the first character of a longer separator goes
            ++i;
        } else {
            field = rest;
            found = false;
        }
    }
    return i < n ? QString() : field;
}

void ResetHelperCaches()
{
    GExeDir.clear();
    GAdminDir.clear();
    GGroupDir.clear();
    GHaveAppVersion = false;
    GAppVersion = {};
}
