// Several rows per statement for MySQL targets: the statements' VALUES lists joined (values_bulk.h),
// only for tables where such a statement has exactly the effect of its rows' single statements.

#include "db/odbc/odbc_driver.h"

#include "db/db_error.h"
#include "db/values_bulk.h"

#include <QRegularExpression>
#include <QVariant>

namespace {

// The first column of every row of a result.
QStringList FirstColumn(TDriver& driver, const QString& sql)
{
    QStringList values;
    std::unique_ptr<TCursor> cursor = driver.OpenCursor(sql);
    std::vector<QVariant> row;
    while (cursor->Fetch(row))
        values << (row.empty() ? QString() : row[0].toString());
    return values;
}

} // namespace

std::unique_ptr<TBulkInsert> TOdbcDriver::OpenBulkInsert(const QString& table, const QStringList& columns)
{
    if (FDbms != odMySql || !FTransactions || columns.isEmpty())
        return nullptr;
    // The name goes into the catalog queries as a literal: plain names only.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_$]{0,63}$"));
    if (!plain.match(table).hasMatch())
        return nullptr;
    const QString where = QStringLiteral(" WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '%1'").arg(table);
    try {
        // A failed statement on a transactional table takes back all its rows, which the batch's
        // fallback relies on; a table without transactions would keep the rows before the refused one.
        const QStringList engine =
            FirstColumn(*this, QStringLiteral("SELECT ENGINE FROM information_schema.TABLES") + where);
        if (engine.size() != 1 || engine[0].compare(QLatin1String("InnoDB"), Qt::CaseInsensitive) != 0)
            return nullptr;
        // Triggers could see the statement's other rows; a key to the table itself could refer to a
        // later row of the same statement.
        if (!FirstColumn(*this,
                         QStringLiteral("SELECT TRIGGER_NAME FROM information_schema.TRIGGERS WHERE "
                                        "EVENT_OBJECT_SCHEMA = DATABASE() AND EVENT_OBJECT_TABLE = '%1'")
                             .arg(table))
                 .isEmpty() ||
            !FirstColumn(*this,
                         QStringLiteral("SELECT CONSTRAINT_NAME FROM information_schema.KEY_COLUMN_USAGE") +
                             where + QStringLiteral(" AND REFERENCED_TABLE_NAME = '%1'").arg(table))
                 .isEmpty())
            return nullptr;
        // A failed batch that drew numbers from an AUTO_INCREMENT counter does not give them back:
        // the rows written again would get other numbers than by their own statements.
        const QStringList counted =
            FirstColumn(*this, QStringLiteral("SELECT COLUMN_NAME FROM information_schema.COLUMNS") + where +
                                   QStringLiteral(" AND EXTRA LIKE '%auto_increment%'"));
        for (const QString& column : counted) {
            if (!columns.contains(column, Qt::CaseInsensitive))
                return nullptr;
        }
    } catch (const EDatabaseError&) {
        return nullptr; // the statements meet the same trouble and report it row by row
    }
    return MakeValuesBulkInsert(table, columns, [this](const QString& sql) { Execute(sql); });
}
