#include "support/test_env.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::optional<TServerParams> FromEnvironment(const char* prefix)
{
    QString p = QString::fromLatin1(prefix);
    QString port = qEnvironmentVariable(qPrintable(p + "_PORT"));
    if (port.isEmpty())
        return std::nullopt;
    TServerParams params;
    params.Host = qEnvironmentVariable(qPrintable(p + "_HOST"), QStringLiteral("127.0.0.1"));
    params.Port = port.toInt();
    params.User = qEnvironmentVariable(qPrintable(p + "_USER"));
    params.Password = qEnvironmentVariable(qPrintable(p + "_PASSWORD"));
    params.Socket = qEnvironmentVariable(qPrintable(p + "_SOCKET"));
    return params;
}

}  // namespace

std::optional<TServerParams> TestPostgres()
{
    return FromEnvironment("VNH_TEST_PG");
}

std::optional<TServerParams> TestMariaDb()
{
    return FromEnvironment("VNH_TEST_MYSQL");
}

// ../shared beside the project; a clone elsewhere finds it through VNH_SHARED_DIR or the work folder.
QString SharedDir()
{
    const QStringList candidates = {qEnvironmentVariable("VNH_SHARED_DIR"), QStringLiteral(VNH_SHARED_DIR),
                                    QStringLiteral("/work/shared")};
    for (const QString& dir : candidates) {
        if (!dir.isEmpty() && QFileInfo(dir).isDir())
            return QDir::cleanPath(dir);
    }
    return QDir::cleanPath(QStringLiteral(VNH_SHARED_DIR));
}

QString AccessFixtureDir()
{
    QString dir = SharedDir() + QStringLiteral("/fixtures/access");
    return QFileInfo(dir).isDir() ? dir : QString();
}
