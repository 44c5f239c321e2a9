#pragma once

#include <QString>

/// Asks the TANV application server whether it is alive: one GET of "https://" + `serverUrl`
/// (host and path, without scheme, used unchanged) + "/config/alive". Waits until the request has
/// completed, at most `timeoutMs` without progress while connecting or receiving; follows redirects
/// and accepts any server certificate. Returns the HTTP status code of the final response. Raises
/// std::runtime_error with the network's error text when no response arrives at all.
int TANVServerStatus(const QString& serverUrl, int timeoutMs = 60000);
