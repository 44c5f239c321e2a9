#pragma once
// A TBulkInsert for systems that take several rows in one "insert into T (…) values (…),(…)": the
// statement of a run of rows that list the same columns is their single statements' VALUES lists
// joined, with the same column list and literals. For providers whose failed statement changes
// nothing, and tables where a row's checks do not look at later rows of the same statement.

#include "db/driver.h"

#include <functional>

/// Runs one statement; raises EDatabaseError as the provider does.
using TStatementRunner = std::function<void(const QString& sql)>;

/// Multi-row INSERT statements of at most `maxRows` rows and about `maxChars` characters each.
std::unique_ptr<TBulkInsert> MakeValuesBulkInsert(const QString& table, const QStringList& columns,
                                                  TStatementRunner run, int maxRows = 500,
                                                  qsizetype maxChars = 1 << 20);
