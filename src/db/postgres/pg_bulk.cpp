#include "db/postgres/pg_bulk.h"

#include "db/postgres/pg_cursor.h"
#include "db/postgres/pg_values.h"

#include <libpq-fe.h>

#include <QRegularExpression>
#include <utility>

namespace {

bool IsDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

// Digits from `i` on; returns the position after them.
qsizetype SkipDigits(QStringView text, qsizetype i)
{
    while (i < text.size() && IsDigit(text[i].unicode()))
        ++i;
    return i;
}

enum TNumberForm { nfNone, nfInteger, nfDecimal };

// An optional "-", digits, optionally "." and digits, optionally an exponent: what the builder
// writes for numbers, and what the server's lexer reads as one constant.
TNumberForm NumberForm(QStringView text)
{
    qsizetype i = 0;
    if (i < text.size() && text[i] == u'-')
        ++i;
    qsizetype digits = SkipDigits(text, i);
    if (digits == i)
        return nfNone;
    i = digits;
    if (i == text.size())
        return nfInteger;
    if (text[i] == u'.') {
        digits = SkipDigits(text, i + 1);
        if (digits == i + 1)
            return nfNone;
        i = digits;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        digits = SkipDigits(text, i);
        if (digits == i)
            return nfNone;
        i = digits;
    }
    return i == text.size() ? nfDecimal : nfNone;
}

// Digits that are all zeros, up to an exponent.
bool IsZero(QStringView number)
{
    for (QChar ch : number) {
        if (ch == u'e' || ch == u'E')
            break;
        if (ch != u'0' && ch != u'.')
            return false;
    }
    return true;
}

// Written back by the cast to text exactly as it stands: no leading zero, no "-0".
bool IsCanonicalInteger(QStringView text)
{
    QStringView digits = text.startsWith(u'-') ? text.sliced(1) : text;
    if (digits.size() > 1 && digits[0] == u'0')
        return false;
    return !(text.startsWith(u'-') && digits == u"0");
}

void AppendUtf8(char*& out, char32_t code)
{
    if (code < 0x80) {
        *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code >> 6));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code >> 12));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code >> 18));
        *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The content of a quoted literal ('' stands for one quote) as a COPY text field: UTF-8, as the
// statement text is sent, with backslash, tab, line feed and carriage return escaped.
bool AppendQuotedContent(QStringView body, QByteArray& out)
{
    const qsizetype start = out.size();
    // Every UTF-16 unit gives at most 3 bytes (a pair gives 4 for two units).
    out.resize(start + 3 * body.size());
    char* p = out.data() + start;
    const char16_t* text = body.utf16();
    const qsizetype n = body.size();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ch = text[i];
        if (ch < 0x80) {
            switch (ch) {
            case u'\'':
                if (i + 1 >= n || text[i + 1] != u'\'')
                    return false; // the literal ends here: not one of ours
                *p++ = '\'';
                ++i;
                break;
            case u'\\':
                *p++ = '\\';
                *p++ = '\\';
                break;
            case u'\t':
                *p++ = '\\';
                *p++ = 't';
                break;
            case u'\n':
                *p++ = '\\';
                *p++ = 'n';
                break;
            case u'\r':
                *p++ = '\\';
                *p++ = 'r';
                break;
            case 0:
                return false; // a statement text ends at a NUL: its own path reports that
            default:
                *p++ = static_cast<char>(ch);
            }
        } else if (ch < 0xD800 || ch > 0xDFFF) {
            AppendUtf8(p, ch);
        } else if (ch < 0xDC00 && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            AppendUtf8(p, QChar::surrogateToUcs4(ch, text[i + 1]));
            ++i;
        } else {
            return false; // a lone surrogate: left to the statement path and its conversion
        }
    }
    out.truncate(p - out.constData());
    return true;
}

} // namespace

void TPgContext::AwaitCopy()
{
    if (!std::exchange(CopyStarting, false))
        return;
    if (!Main) {
        OpenCopy.clear();
        return;
    }
    PGconn* conn = Main->Handle();
    while (PGresult* raw = PQgetResult(conn)) {
        TPgResultPtr result(raw);
        if (PQresultStatus(raw) == PGRES_COPY_IN)
            return;
    }
    // Refused before any row (or BEGIN failed): its transaction is given up, and the one the caller
    // has started since begins anew with its next statement.
    OpenCopy.clear();
    if (Main->Healthy() && !Main->Idle()) {
        try {
            Main->Exec(QStringLiteral("ROLLBACK"));
        } catch (const EDatabaseError&) {
        }
    }
    if (Transaction != 0)
        BeginPending = true;
}

void TPgContext::SettleCopy()
{
    AwaitCopy();
    if (OpenCopy.isEmpty())
        return;
    OpenCopy.clear();
    if (!Main)
        return;
    PGconn* conn = Main->Handle();
    PQputCopyEnd(conn, "nicht gebraucht");
    while (PGresult* result = PQgetResult(conn))
        PQclear(result);
    Main->Exec(QStringLiteral("ROLLBACK"));
    if (Transaction != 0)
        BeginPending = true;
}

TPgNumberUse PgNumberUseOfType(unsigned typeOid)
{
    switch (typeOid) {
    case kInt2:
    case kInt4:
    case kInt8:
        return pnInteger;
    case kNumeric:
    case kFloat4:
    case kFloat8:
        return pnAny;
    case kText:
    case kVarchar:
    case kBpchar:
        return pnCanonicalInteger;
    default:
        return pnNone;
    }
}

bool PgLiteralToCopyField(QStringView literal, TPgNumberUse use, QByteArray& out)
{
    if (literal == u"NULL") {
        out += "\\N";
        return true;
    }
    if (literal.size() >= 2 && literal.front() == u'\'' && literal.back() == u'\'')
        return AppendQuotedContent(literal.sliced(1, literal.size() - 2), out);
    // The statement negates the constant 0, which gives 0; a floating-point input gives -0.
    if (literal.startsWith(u'-') && IsZero(literal.sliced(1)))
        return false;
    switch (NumberForm(literal)) {
    case nfNone:
        return false;
    case nfInteger:
        if (use == pnNone || (use == pnCanonicalInteger && !IsCanonicalInteger(literal)))
            return false;
        break;
    case nfDecimal:
        if (use != pnAny)
            return false;
        break;
    }
    // Digits, signs, "." and "e": ASCII only, nothing to escape.
    out += literal.toLatin1();
    return true;
}

namespace {

struct TPgBulkColumn {
    QByteArray Name;    // as the statement's column list has it
    bool Fixed = true;  // no default: a left-out value is NULL, so \N stands for it
    bool Draws = false; // its default draws from a sequence: a row leaving it out goes alone
    TPgNumberUse Numbers = pnNone;
};

// One COPY: a run of rows that leave out the same columns with defaults.
struct TCopySegment {
    std::vector<char> Skipped; // per column: left out of this COPY's column list
    QByteArray Data;
    int FirstRow = 0;
    int Rows = 0;
};

// Which rows of the batch one COPY carried, for the row the server names when it refuses one.
struct TSentRows {
    int FirstRow = 0;
    int Rows = 0;
};

constexpr qsizetype kKeptBytes = 1 << 20;

EDatabaseError ClosedError()
{
    return EDatabaseError(QStringLiteral("Die Verbindung ist nicht geöffnet"), QStringLiteral("08003"), 0,
                          true);
}

class TPgBulkInsert : public TBulkInsert {
public:
    TPgBulkInsert(std::shared_ptr<TPgContext> context, QByteArray table, std::vector<TPgBulkColumn> columns)
        : FContext(std::move(context)), FTable(std::move(table)), FColumns(std::move(columns)),
          FRowSkipped(FColumns.size())
    {}

    ~TPgBulkInsert() override
    {
        FContext->NextCopy.clear();
        try {
            FContext->SettleCopy();
        } catch (const EDatabaseError&) {
            // The session is gone; nothing is left open.
        }
    }

    bool Add(const std::vector<QStringView>& values) override
    {
        if (FUnusable || values.size() != FColumns.size())
            return false;
        FRow.resize(0); // keeps its capacity
        bool any = false;
        for (size_t c = 0; c < values.size(); ++c) {
            QStringView value = values[c];
            FRowSkipped[c] = value.isNull() && !FColumns[c].Fixed;
            if (FRowSkipped[c]) {
                if (FColumns[c].Draws)
                    return false;
                continue;
            }
            if (any)
                FRow += '\t';
            any = true;
            if (value.isNull())
                FRow += "\\N";
            else if (!PgLiteralToCopyField(value, FColumns[c].Numbers, FRow))
                return false;
        }
        if (!any)
            return false;
        FRow += '\n';
        if (FUsed == 0 || FSegments[FUsed - 1].Skipped != FRowSkipped) {
            if (FUsed == FSegments.size())
                FSegments.emplace_back();
            TCopySegment& segment = FSegments[FUsed++];
            segment.Skipped = FRowSkipped;
            segment.Data.resize(0);
            segment.FirstRow = FCount;
            segment.Rows = 0;
        }
        TCopySegment& segment = FSegments[FUsed - 1];
        segment.Data += FRow;
        ++segment.Rows;
        ++FCount;
        return true;
    }

    int Count() const override { return FCount; }

    // Every COPY but the last is finished here; the server works on the last one's rows while the
    // caller goes on until Finish, and may meanwhile queue the next rows.
    void Send() override
    {
        FFailedRow = -1;
        FPending.reset();
        const size_t used = FUsed;
        Clear();
        for (size_t k = 0; k < used; ++k) {
            if (k > 0)
                Finish(std::exchange(FPending, std::nullopt));
            Copy(FSegments[k]);
            FPending = TSentRows{FSegments[k].FirstRow, FSegments[k].Rows};
            // The first buffer stays for the next batch, unless wide rows made it large.
            if (k > 0 || FSegments[k].Data.capacity() > kKeptBytes)
                FSegments[k].Data = QByteArray();
        }
    }

    void Finish() override { Finish(std::exchange(FPending, std::nullopt)); }

    int FailedRow() const override { return FFailedRow; }

    void Clear() override
    {
        // The buffers stay for the next batch.
        FUsed = 0;
        FCount = 0;
    }

private:
    PGconn* Conn() const
    {
        if (!FContext->Main)
            throw ClosedError();
        return FContext->Main->Handle();
    }

    QByteArray Statement(const TCopySegment& segment) const
    {
        QByteArray sql = "COPY " + FTable + " (";
        bool first = true;
        for (size_t c = 0; c < FColumns.size(); ++c) {
            if (segment.Skipped[c])
                continue;
            if (!first)
                sql += ',';
            first = false;
            sql += FColumns[c].Name;
        }
        return sql + ") FROM STDIN";
    }

    void Finish(std::optional<TSentRows> sent)
    {
        if (sent)
            Drain(Conn(), &*sent);
    }

    // Takes the results up to the end of the command; raises the first error.
    void Drain(PGconn* conn, const TSentRows* sent)
    {
        std::optional<EDatabaseError> error;
        while (PGresult* raw = PQgetResult(conn)) {
            TPgResultPtr result(raw);
            ExecStatusType status = PQresultStatus(raw);
            if (status == PGRES_COPY_IN) {
                // Only after a failure before the data: end the COPY so the session is free again.
                PQputCopyEnd(conn, "abandoned");
                continue;
            }
            if (status == PGRES_COMMAND_OK || error)
                continue;
            error = MakePgError(conn, raw);
            if (sent)
                FFailedRow = FailedLine(raw, *sent);
        }
        if (error)
            throw *error;
    }

    // The row of the COPY the server names in the error's context ("COPY t, line 7…").
    static int FailedLine(const PGresult* result, const TSentRows& sent)
    {
        static const QRegularExpression line(QStringLiteral("^COPY [^,\\n]*, \\S+ (\\d+)"));
        QRegularExpressionMatch match =
            line.match(QString::fromUtf8(PQresultErrorField(result, PG_DIAG_CONTEXT)));
        if (!match.hasMatch())
            return -1;
        int number = match.captured(1).toInt();
        return number >= 1 && number <= sent.Rows ? sent.FirstRow + number - 1 : -1;
    }

    void Copy(const TCopySegment& segment)
    {
        PGconn* conn = Conn();
        QByteArray sql = Statement(segment);
        // The next batch will most likely start with the same COPY: the commit before it sends it.
        FContext->NextCopy = sql;
        bool copying = false;
        FContext->AwaitCopy();
        if (!FContext->OpenCopy.isEmpty()) {
            copying = FContext->OpenCopy == sql;
            if (copying)
                FContext->OpenCopy.clear();
            else
                FContext->SettleCopy();
        }
        // A transaction begun but not yet sent starts with this COPY, in the same round trip.
        if (!copying && std::exchange(FContext->BeginPending, false))
            sql.prepend("BEGIN; ");
        if (!copying && PQsendQuery(conn, sql.constData()) != 1)
            throw MakePgError(conn, nullptr);
        std::optional<EDatabaseError> error;
        while (!copying) {
            PGresult* raw = PQgetResult(conn);
            if (!raw)
                break;
            TPgResultPtr result(raw);
            ExecStatusType status = PQresultStatus(raw);
            if (status == PGRES_COPY_IN)
                copying = true;
            else if (status != PGRES_COMMAND_OK && !error)
                error = MakePgError(conn, raw);
        }
        if (!copying) {
            // Refused before any row was read: not a row's fault, so the statements take over.
            FUnusable = true;
            Drain(conn, nullptr);
            throw error ? *error : MakePgError(conn, nullptr);
        }
        if (PQputCopyData(conn, segment.Data.constData(), static_cast<int>(segment.Data.size())) != 1 ||
            PQputCopyEnd(conn, nullptr) != 1) {
            EDatabaseError lost = MakePgError(conn, nullptr);
            const TSentRows sent{segment.FirstRow, segment.Rows};
            Drain(conn, &sent);
            throw lost;
        }
    }

    std::shared_ptr<TPgContext> FContext;
    QByteArray FTable;
    std::vector<TPgBulkColumn> FColumns;
    std::vector<char> FRowSkipped;
    QByteArray FRow;
    std::vector<TCopySegment> FSegments;
    size_t FUsed = 0;                  // segments of the queued rows
    std::optional<TSentRows> FPending; // the rows of the COPY Send left for Finish
    int FCount = 0;
    int FFailedRow = -1;
    bool FUnusable = false;
};

// A column name of the statement as the server folds it, for the catalog; "" when it is not a plain
// name (quoted or with other characters), which the writer does not try to match.
QString FoldedName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_$]{0,62}$"));
    return plain.match(name).hasMatch() ? name.toLower() : QString();
}

bool IsTrue(const char* value)
{
    return value && value[0] == 't';
}

} // namespace

std::unique_ptr<TBulkInsert> OpenPgBulkInsert(const std::shared_ptr<TPgContext>& context,
                                              const QString& table, const QStringList& columns)
{
    if (!context->Main || columns.isEmpty())
        return nullptr;
    TPgSession& main = *context->Main;
    // A backslash in a quoted literal must mean a backslash, as it does in COPY's unescaped field.
    const char* conforming = PQparameterStatus(main.Handle(), "standard_conforming_strings");
    if (!conforming || qstrcmp(conforming, "on") != 0)
        return nullptr;

    TPgParam name;
    name.IsNull = false;
    name.Data = table.toUtf8();
    // A plain table without rules, row security or insert triggers of its own, and without a
    // foreign key to itself (a COPY checks that only at its end, an INSERT after every row).
    TPgResultPtr relation = main.ExecParams(
        QStringLiteral("SELECT c.oid, c.relkind = 'r' AND NOT c.relhasrules AND NOT c.relrowsecurity "
                       "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_trigger g WHERE g.tgrelid = c.oid "
                       "AND NOT g.tgisinternal AND (g.tgtype & 4) <> 0) "
                       "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_constraint f WHERE f.conrelid = c.oid "
                       "AND f.confrelid = c.oid AND f.contype = 'f') "
                       "FROM pg_catalog.pg_class c WHERE c.oid = pg_catalog.to_regclass($1)"),
        {name});
    if (PQntuples(relation.get()) != 1 || !IsTrue(PQgetvalue(relation.get(), 0, 1)))
        return nullptr;

    TPgParam oid;
    oid.IsNull = false;
    oid.Data = PQgetvalue(relation.get(), 0, 0);
    const int version = PQserverVersion(main.Handle());
    // A domain may bring a default of its own: its columns count as having one. A default that draws
    // from a sequence is not taken back with a failed batch, so no batch may draw one.
    TPgResultPtr attributes = main.ExecParams(
        QStringLiteral("SELECT a.attname, a.atthasdef%1%2 OR t.typtype = 'd', "
                       "CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.atttypid END, "
                       "%3 OR coalesce(pg_catalog.pg_get_expr(d.adbin, d.adrelid), '') LIKE '%%nextval(%%' "
                       "OR coalesce(pg_catalog.pg_get_expr(t.typdefaultbin, 0), '') LIKE '%%nextval(%%' "
                       "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
                       "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                       "WHERE a.attrelid = $1::pg_catalog.oid AND a.attnum > 0 AND NOT a.attisdropped")
            .arg(version >= 100000 ? QStringLiteral(" OR a.attidentity <> ''") : QString(),
                 version >= 120000 ? QStringLiteral(" OR a.attgenerated <> ''") : QString(),
                 version >= 100000 ? QStringLiteral("a.attidentity <> ''") : QStringLiteral("false")),
        {oid});
    const int attributeCount = PQntuples(attributes.get());

    std::vector<TPgBulkColumn> bulkColumns;
    std::vector<bool> listed(static_cast<size_t>(attributeCount));
    for (const QString& column : columns) {
        QString folded = FoldedName(column);
        if (folded.isEmpty())
            return nullptr;
        int found = -1;
        for (int row = 0; row < attributeCount; ++row) {
            if (QString::fromUtf8(PQgetvalue(attributes.get(), row, 0)) == folded)
                found = row;
        }
        if (found < 0)
            return nullptr; // every statement fails: the rows find out one by one
        listed[static_cast<size_t>(found)] = true;
        TPgBulkColumn bulkColumn;
        bulkColumn.Name = column.toUtf8();
        bulkColumn.Fixed = !IsTrue(PQgetvalue(attributes.get(), found, 1));
        bulkColumn.Numbers = PgNumberUseOfType(QByteArray(PQgetvalue(attributes.get(), found, 2)).toUInt());
        bulkColumn.Draws = IsTrue(PQgetvalue(attributes.get(), found, 3));
        bulkColumns.push_back(std::move(bulkColumn));
    }
    for (int row = 0; row < attributeCount; ++row) {
        if (!listed[static_cast<size_t>(row)] && IsTrue(PQgetvalue(attributes.get(), row, 3)))
            return nullptr; // every row would draw from the sequence
    }
    return std::make_unique<TPgBulkInsert>(context, table.toUtf8(), std::move(bulkColumns));
}
