#pragma once
// Which database system a connection talks to, as a format word and as a provider type.

#include "db/provider_type.h"

#include <QString>

class TConnection;

/// Format word ("MSSQL", "POSTGRESQL", …) of a provider name, compared without regard to case;
/// "" for a provider name that is not known.
QString DBFormatOfProvider(const QString& providerName);
/// Provider type of a format word, compared exactly; dbpUndefined for anything else.
TDBProviderType DBProviderTypeOfFormat(const QString& format);

/// Format word of the connection's provider; "" when the provider is not known.
QString GetDBFormat(const TConnection& connection);
/// Provider type of the connection; dbpUndefined when the provider is not known.
TDBProviderType GetDBProviderType(const TConnection& connection);
