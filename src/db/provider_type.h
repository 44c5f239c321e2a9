#pragma once

/// The database systems, in this order; the connector uses all nine values, the format helpers and
/// the statement builder the first eight.
enum TDBProviderType {
    dbpAccess,
    dbpSQLite,
    dbpMSSQL,
    dbpFirebird,
    dbpOracle,
    dbpMySQL,
    dbpNexusDB,
    dbpPostgreSQL,
    dbpUndefined,
};
