#pragma once
// Common text and path helpers shared by both programs. Paths come back without a trailing
// separator. The program folder, the two directories and the version are cached for the run.

#include <QString>

QString GetExeDir();
/// Removes every occurrence of `ch` at the end of `text`.
void TrimTrailingChar(QString& text, QChar ch);
/// The variable's value; "" when it is not set or empty.
QString GetEnvVar(const QString& name);
/// Value of `key` in section "Administration" of "ADMIN.INI" in `folder`, or `defaultValue`.
QString ReadAdminIni(const QString& folder, const QString& key, const QString& defaultValue);
QString GetAdminDirOf(const QString& folder);
QString GetAdminDir();
QString GetGroupDirOf(const QString& folder);
QString GetGroupDir();

struct TVersionNumbers {
    quint16 Major = 0, Minor = 0, Release = 0, Build = 0;
};
/// Version of a file (empty path: the running program). False when it has none.
bool GetFileVersionNumbers(const QString& fileName, TVersionNumbers& numbers);
/// "a.b.c.d" (fourParts) or "a.b.c"; "" when the file has no version.
QString GetFileVersionStr(const QString& fileName, bool fourParts);
QString GetAppVersionStr();

/// Number of fields of a text separated by `separator`; 0 for the empty text.
int CountFields(const QString& text, const QString& separator);
/// Field n (1-based) of a separated text, or "".
QString GetField(const QString& text, const QString& separator, int n);

/// For tests: forget the cached program folder, directories and version.
void ResetHelperCaches();
