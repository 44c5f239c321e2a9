#include "db/postgres/pg_session.h"

#include <libpq-fe.h>

void TPgConnDeleter::operator()(PGconn* conn) const
{
    PQfinish(conn);
}

void TPgResultDeleter::operator()(PGresult* result) const
{
    PQclear(result);
}

namespace {

QString Trimmed(const char* text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

void IgnoreNotice(void*, const char*) {}

} // namespace

EDatabaseError MakePgError(PGconn* conn, const PGresult* result)
{
    bool broken = conn == nullptr || PQstatus(conn) == CONNECTION_BAD;
    QString message;
    QString sqlState;
    if (result) {
        message = Trimmed(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        sqlState = Trimmed(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        if (message.isEmpty())
            message = Trimmed(PQresultErrorMessage(result));
    }
    if (message.isEmpty() && conn)
        message = Trimmed(PQerrorMessage(conn));
    if (message.isEmpty())
        message = QStringLiteral("out of memory");
    if (sqlState.isEmpty() && broken)
        sqlState = QStringLiteral("08006");
    return EDatabaseError(message, sqlState, 0, broken);
}

TPgSession::TPgSession(const std::string& conninfo, const QString& schema)
    : FConn(PQconnectdb(conninfo.c_str()))
{
    if (!FConn)
        throw EDatabaseError(QStringLiteral("out of memory"), QStringLiteral("08001"), 0, true);
    if (PQstatus(FConn.get()) != CONNECTION_OK) {
        EDatabaseError error = MakePgError(FConn.get(), nullptr);
        throw EDatabaseError(error.Message(), QStringLiteral("08001"), 0, true);
    }
    // libpq prints notices (a second BEGIN, implicit index creation) on stderr by default.
    PQsetNoticeProcessor(FConn.get(), IgnoreNotice, nullptr);

    // The value parsers read ISO dates and hex bytea, whatever the server's defaults say.
    QString setup = QStringLiteral("SET DateStyle TO ISO, YMD; SET IntervalStyle TO postgres; "
                                   "SET bytea_output TO hex");
    if (!schema.isEmpty()) {
        QByteArray value = schema.toUtf8();
        std::unique_ptr<char, decltype(&PQfreemem)> literal(
            PQescapeLiteral(FConn.get(), value.constData(), static_cast<size_t>(value.size())), PQfreemem);
        if (!literal)
            throw MakePgError(FConn.get(), nullptr);
        // set_config reads the text as a list of names, folded like the names in SET search_path.
        setup += QStringLiteral("; SELECT pg_catalog.set_config('search_path', %1, false)")
                     .arg(QString::fromUtf8(literal.get()));
    }
    Exec(setup);
}

bool TPgSession::Healthy() const
{
    return PQstatus(FConn.get()) == CONNECTION_OK;
}

bool TPgSession::Idle() const
{
    return PQtransactionStatus(FConn.get()) == PQTRANS_IDLE;
}

bool TPgSession::InFailedTransaction() const
{
    return PQtransactionStatus(FConn.get()) == PQTRANS_INERROR;
}

TPgResultPtr TPgSession::Checked(TPgResultPtr result)
{
    ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
        throw MakePgError(FConn.get(), result.get());
    return result;
}

TPgResultPtr TPgSession::Exec(const QString& sql)
{
    QByteArray text = sql.toUtf8();
    return Checked(TPgResultPtr(PQexec(FConn.get(), text.constData())));
}

bool TPgSession::Send(const QString& sql)
{
    QByteArray text = sql.toUtf8();
    return PQsendQuery(FConn.get(), text.constData()) == 1;
}

TPgResultPtr TPgSession::Receive()
{
    // Like PQexec: the last result counts, an error wins over what follows it.
    TPgResultPtr last;
    while (PGresult* next = PQgetResult(FConn.get())) {
        TPgResultPtr result(next);
        if (last && PQresultStatus(last.get()) == PGRES_FATAL_ERROR)
            continue;
        last = std::move(result);
    }
    return Checked(std::move(last));
}

TPgResultPtr TPgSession::ExecParams(const QString& sql, const std::vector<TPgParam>& params)
{
    QByteArray text = sql.toUtf8();
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    values.reserve(params.size());
    lengths.reserve(params.size());
    formats.reserve(params.size());
    for (const TPgParam& param : params) {
        values.push_back(param.IsNull ? nullptr : param.Data.constData());
        lengths.push_back(static_cast<int>(param.Data.size()));
        formats.push_back(param.Binary ? 1 : 0);
    }
    return Checked(TPgResultPtr(PQexecParams(FConn.get(), text.constData(), static_cast<int>(params.size()),
                                             nullptr, values.data(), lengths.data(), formats.data(), 0)));
}
