#include "db/values_bulk.h"

namespace {

struct TValuesStatement {
    std::vector<char> Listed; // per column: named in this statement
    QString Sql;
    int Rows = 0;
};

class TValuesBulkInsert : public TBulkInsert {
public:
    TValuesBulkInsert(QString table, QStringList columns, TStatementRunner run, int maxRows,
                      qsizetype maxChars)
        : FTable(std::move(table)), FColumns(std::move(columns)), FRun(std::move(run)), FMaxRows(maxRows),
          FMaxChars(maxChars), FRowListed(static_cast<size_t>(FColumns.size()))
    {}

    bool Add(const std::vector<QStringView>& values) override
    {
        if (values.size() != static_cast<size_t>(FColumns.size()))
            return false;
        bool any = false;
        for (size_t c = 0; c < values.size(); ++c) {
            FRowListed[c] = !values[c].isNull();
            any = any || FRowListed[c];
        }
        if (!any)
            return false;
        if (FStatements.empty() || FStatements.back().Listed != FRowListed ||
            FStatements.back().Rows >= FMaxRows || FStatements.back().Sql.size() >= FMaxChars) {
            TValuesStatement statement;
            statement.Listed = FRowListed;
            statement.Sql = QStringLiteral("insert into ") + FTable + QStringLiteral(" (");
            bool first = true;
            for (size_t c = 0; c < values.size(); ++c) {
                if (!FRowListed[c])
                    continue;
                if (!first)
                    statement.Sql += u',';
                first = false;
                statement.Sql += FColumns[static_cast<qsizetype>(c)];
            }
            statement.Sql += QStringLiteral(") values ");
            FStatements.push_back(std::move(statement));
        }
        TValuesStatement& statement = FStatements.back();
        if (statement.Rows > 0)
            statement.Sql += u',';
        statement.Sql += u'(';
        bool first = true;
        for (QStringView value : values) {
            if (value.isNull())
                continue;
            if (!first)
                statement.Sql += u',';
            first = false;
            statement.Sql += value;
        }
        statement.Sql += u')';
        ++statement.Rows;
        ++FCount;
        return true;
    }

    int Count() const override { return FCount; }

    // The statements run at once; Finish has nothing left to wait for.
    void Send() override
    {
        std::vector<TValuesStatement> statements;
        statements.swap(FStatements);
        FCount = 0;
        for (const TValuesStatement& statement : statements)
            FRun(statement.Sql);
    }

    void Finish() override {}

    void Clear() override
    {
        FStatements.clear();
        FCount = 0;
    }

private:
    QString FTable;
    QStringList FColumns;
    TStatementRunner FRun;
    int FMaxRows;
    qsizetype FMaxChars;
    std::vector<char> FRowListed;
    std::vector<TValuesStatement> FStatements;
    int FCount = 0;
};

} // namespace

std::unique_ptr<TBulkInsert> MakeValuesBulkInsert(const QString& table, const QStringList& columns,
                                                  TStatementRunner run, int maxRows, qsizetype maxChars)
{
    return std::make_unique<TValuesBulkInsert>(table, columns, std::move(run), maxRows, maxChars);
}
