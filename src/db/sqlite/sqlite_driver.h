#pragma once

#include "db/driver.h"

#include <memory>

/// Options: "SQLite.CreateDatabase" ("True": a missing file is created; otherwise opening a missing file
/// fails), "SQLite.ForeignKeys" ("False" switches foreign-key checks off; on by default),
/// "SQLite.BusyTimeout" (milliseconds to wait for a lock, default 5000), "SQLite.EncryptionKey" (no keyed
/// database is available here: a non-empty key makes opening fail).
std::unique_ptr<TDriver> CreateSQLiteDriver();
/// Registers the provider "SQLite".
void RegisterSQLiteDriver();
