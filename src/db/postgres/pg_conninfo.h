#pragma once
// The libpq connection string built from the connection's properties and provider options.

#include "db/driver.h"

#include <QString>
#include <functional>
#include <string>

/// Addresses of one address family for a host name; raises EDatabaseError when it has none.
using TPgResolver = std::function<QStringList(const QString& host, bool ipv6)>;

/// The provider option `name` ("PostgreSQL.Schema") of `params`, compared without regard to case.
QString PgOption(const TConnectParams& params, const QString& name, const QString& fallback = {});

/// Keyword/value connection string for libpq: every value quoted, port 0 meaning 5432, UTF-8 client
/// encoding, SSL mode and time-out from the options, and with "PostgreSQL.IPVersion" set to ivIPv4
/// or ivIPv6 the host's addresses of that family only.
std::string BuildPgConnInfo(const TConnectParams& params, const TPgResolver& resolver = {});

/// Resolves a host name with the system resolver.
QStringList ResolvePgHost(const QString& host, bool ipv6);
