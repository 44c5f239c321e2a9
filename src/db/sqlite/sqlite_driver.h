#pragma once

#include "db/driver.h"

#include <memory>

/// The database is the file named by Database. Statements outside StartTransaction commit by themselves
/// (AutoCommit false changes nothing here). Options: "SQLite.CreateDatabase" ("True": a missing file is
/// created; otherwise opening a missing file fails), "SQLite.ForeignKeys" ("False" switches foreign-key
/// checks off; on by default), "SQLite.BusyTimeout" (milliseconds to wait for a lock, default 5000),
/// "SQLite.EncryptionKey" (no keyed database is available here: a non-empty key makes opening fail).
std::unique_ptr<TDriver> CreateSQLiteDriver();
/// Registers the provider "SQLite".
void RegisterSQLiteDriver();
