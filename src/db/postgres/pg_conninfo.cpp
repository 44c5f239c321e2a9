#include "db/postgres/pg_conninfo.h"

#include "db/db_error.h"

#include <QStringList>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

namespace {

constexpr int kDefaultPort = 5432;
constexpr int kDefaultTimeoutSeconds = 15;

// Values go in single quotes; a quote or backslash inside is escaped with a backslash.
void Append(std::string& conninfo, const char* keyword, const QString& value)
{
    if (!conninfo.empty())
        conninfo += ' ';
    conninfo += keyword;
    conninfo += "='";
    for (char c : value.toUtf8()) {
        if (c == '\'' || c == '\\')
            conninfo += '\\';
        conninfo += c;
    }
    conninfo += '\'';
}

bool IsTrue(const QString& value)
{
    return value.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0 || value == QLatin1String("1");
}

// "smDisable" and the like, or libpq's own words.
QString SslMode(const TConnectParams& params)
{
    QString mode = PgOption(params, QStringLiteral("PostgreSQL.SSLMode")).trimmed();
    if (mode.startsWith(QLatin1String("sm"), Qt::CaseSensitive))
        mode = mode.mid(2);
    mode = mode.toLower();
    if (mode == QLatin1String("verifyca"))
        return QStringLiteral("verify-ca");
    if (mode == QLatin1String("verifyfull"))
        return QStringLiteral("verify-full");
    static const QStringList known = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                      QStringLiteral("prefer"),    QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    if (known.contains(mode))
        return mode;
    QString useSsl = PgOption(params, QStringLiteral("PostgreSQL.UseSSL"));
    if (!useSsl.isEmpty())
        return IsTrue(useSsl) ? QStringLiteral("require") : QStringLiteral("disable");
    return {};
}

} // namespace

QString PgOption(const TConnectParams& params, const QString& name, const QString& fallback)
{
    for (auto it = params.SpecificOptions.cbegin(); it != params.SpecificOptions.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return fallback;
}

QStringList ResolvePgHost(const QString& host, bool ipv6)
{
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
#endif
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    QByteArray name = host.toUtf8();
    int rc = getaddrinfo(name.constData(), nullptr, &hints, &found);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    if (rc != 0) {
        throw EDatabaseError(QStringLiteral("could not translate host name \"%1\" to address: %2")
                                 .arg(host, QString::fromLocal8Bit(gai_strerror(rc))),
                             QStringLiteral("08001"), 0, true);
    }
    QStringList addresses;
    for (addrinfo* info = found; info; info = info->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address =
            info->ai_family == AF_INET6
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(info->ai_addr)->sin6_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(info->ai_addr)->sin_addr);
        if (inet_ntop(info->ai_family, address, text, sizeof text) &&
            !addresses.contains(QLatin1String(text)))
            addresses << QString::fromLatin1(text);
    }
    return addresses;
}

std::string BuildPgConnInfo(const TConnectParams& params, const TPgResolver& resolver)
{
    std::string conninfo;
    QString host = params.Server.trimmed();
    if (!host.isEmpty()) {
        Append(conninfo, "host", host);
        // A socket folder or a list of hosts is passed as it stands.
        QString ipVersion = PgOption(params, QStringLiteral("PostgreSQL.IPVersion")).trimmed();
        bool v4 = ipVersion.compare(QLatin1String("ivIPv4"), Qt::CaseInsensitive) == 0;
        bool v6 = ipVersion.compare(QLatin1String("ivIPv6"), Qt::CaseInsensitive) == 0;
        if ((v4 || v6) && !host.startsWith(u'/') && !host.contains(u',')) {
            QStringList addresses = (resolver ? resolver : ResolvePgHost)(host, v6);
            if (addresses.isEmpty()) {
                throw EDatabaseError(
                    QStringLiteral("could not translate host name \"%1\" to address").arg(host),
                    QStringLiteral("08001"), 0, true);
            }
            // libpq wants one host name per address; the name stays for authentication and SSL.
            QStringList hosts;
            for (int i = 0; i < addresses.size(); ++i)
                hosts << host;
            conninfo.clear();
            Append(conninfo, "host", hosts.join(u','));
            Append(conninfo, "hostaddr", addresses.join(u','));
        }
    }
    Append(conninfo, "port", QString::number(params.Port > 0 ? params.Port : kDefaultPort));
    if (!params.Database.isEmpty())
        Append(conninfo, "dbname", params.Database);
    if (!params.Username.isEmpty())
        Append(conninfo, "user", params.Username);
    if (!params.Password.isEmpty())
        Append(conninfo, "password", params.Password);

    bool ok = false;
    int timeout = PgOption(params, QStringLiteral("PostgreSQL.ConnectionTimeout")).trimmed().toInt(&ok);
    if (!ok || timeout < 0)
        timeout = kDefaultTimeoutSeconds;
    if (timeout > 0)
        Append(conninfo, "connect_timeout", QString::number(timeout));

    QString ssl = SslMode(params);
    if (!ssl.isEmpty())
        Append(conninfo, "sslmode", ssl);
    Append(conninfo, "client_encoding", QStringLiteral("UTF8"));
    Append(conninfo, "fallback_application_name", QStringLiteral("VNH"));
    return conninfo;
}
