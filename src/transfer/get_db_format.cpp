#include "transfer/get_db_format.h"

#include "db/connection.h"

#include <array>

namespace {

struct TProviderEntry {
    const char16_t* ProviderName;
    const char16_t* Format;
    TDBProviderType Type;
};

const std::array<TProviderEntry, 8> kProviders{{
    {u"Access", u"MSACCESS", dbpAccess},
    {u"SQLite", u"SQLITE", dbpSQLite},
    {u"SQL Server", u"MSSQL", dbpMSSQL},
    {u"InterBase", u"FIREBIRD", dbpFirebird},
    {u"Oracle", u"ORACLE", dbpOracle},
    {u"MySQL", u"MYSQL", dbpMySQL},
    {u"NexusDB", u"NEXUSDB", dbpNexusDB},
    {u"PostgreSQL", u"POSTGRESQL", dbpPostgreSQL},
}};

} // namespace

QString DBFormatOfProvider(const QString& providerName)
{
    for (const TProviderEntry& entry : kProviders) {
        if (providerName.compare(QStringView(entry.ProviderName), Qt::CaseInsensitive) == 0)
            return QString::fromUtf16(entry.Format);
    }
    return {};
}

TDBProviderType DBProviderTypeOfFormat(const QString& format)
{
    for (const TProviderEntry& entry : kProviders) {
        if (format == QStringView(entry.Format))
            return entry.Type;
    }
    return dbpUndefined;
}

QString GetDBFormat(const TConnection& connection)
{
    return DBFormatOfProvider(connection.ProviderName);
}

TDBProviderType GetDBProviderType(const TConnection& connection)
{
    return DBProviderTypeOfFormat(GetDBFormat(connection));
}
