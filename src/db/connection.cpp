#include "db/connection.h"

#include "db/db_error.h"
#include "db/query.h"

#include <algorithm>

namespace {

// The properties that the connection string names, in the order they are written.
enum class TKnown { None, ProviderName, LoginPrompt, Server, Port, Database, UserId, Password };

const QStringList& KnownNames()
{
    static const QStringList names = {QString(),
                                      QStringLiteral("Provider Name"),
                                      QStringLiteral("Login Prompt"),
                                      QStringLiteral("Server"),
                                      QStringLiteral("Port"),
                                      QStringLiteral("Database"),
                                      QStringLiteral("User ID"),
                                      QStringLiteral("Password")};
    return names;
}

TKnown KnownParam(const QString& name)
{
    static const QList<QPair<QString, TKnown>> aliases = {
        {QStringLiteral("provider name"), TKnown::ProviderName},
        {QStringLiteral("providername"), TKnown::ProviderName},
        {QStringLiteral("login prompt"), TKnown::LoginPrompt},
        {QStringLiteral("loginprompt"), TKnown::LoginPrompt},
        {QStringLiteral("server"), TKnown::Server},
        {QStringLiteral("port"), TKnown::Port},
        {QStringLiteral("database"), TKnown::Database},
        {QStringLiteral("user id"), TKnown::UserId},
        {QStringLiteral("username"), TKnown::UserId},
        {QStringLiteral("user name"), TKnown::UserId},
        {QStringLiteral("password"), TKnown::Password},
    };
    QString key = name.trimmed().toLower();
    for (const auto& alias : aliases) {
        if (alias.first == key)
            return alias.second;
    }
    return TKnown::None;
}

QString QuoteValue(const QString& value)
{
    bool needsQuotes = value.contains(u';') || value.contains(u'"') ||
                       (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsQuotes)
        return value;
    QString quoted = value;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// Splits "a=1;b=\"x;y\"" into its pairs; a quoted value may hold ";" and doubled quotes.
QList<QPair<QString, QString>> ParseConnectString(const QString& text)
{
    QList<QPair<QString, QString>> pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        qsizetype eq = -1;
        qsizetype start = i;
        while (i < n && text.at(i) != u';' && text.at(i) != u'=')
            ++i;
        if (i < n && text.at(i) == u'=')
            eq = i;
        if (eq < 0) {
            QString piece = text.mid(start, i - start).trimmed();
            if (!piece.isEmpty())
                throw EDatabaseError(
                    QStringLiteral("Ungültiger Eintrag \"%1\" in der Verbindungszeichenfolge").arg(piece));
            ++i;
            continue;
        }
        QString name = text.mid(start, eq - start).trimmed();
        i = eq + 1;
        while (i < n && text.at(i).isSpace() && text.at(i) != u';')
            ++i;
        QString value;
        if (i < n && text.at(i) == u'"') {
            ++i;
            for (;;) {
                if (i >= n)
                    throw EDatabaseError(
                        QStringLiteral("Nicht geschlossenes Anführungszeichen beim Wert von \"%1\" in der "
                                       "Verbindungszeichenfolge")
                            .arg(name));
                if (text.at(i) == u'"') {
                    if (i + 1 < n && text.at(i + 1) == u'"') {
                        value += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            while (i < n && text.at(i) != u';')
                ++i;
        } else {
            qsizetype valueStart = i;
            while (i < n && text.at(i) != u';')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        ++i; // the ";"
        if (name.isEmpty())
            throw EDatabaseError(QStringLiteral("Eintrag ohne Namen in der Verbindungszeichenfolge"));
        pairs.append({name, value});
    }
    return pairs;
}

bool ParseBool(const QString& name, const QString& value)
{
    QString v = value.trimmed().toLower();
    if (v == QLatin1String("true") || v == QLatin1String("1") || v == QLatin1String("yes"))
        return true;
    if (v == QLatin1String("false") || v == QLatin1String("0") || v == QLatin1String("no") || v.isEmpty())
        return false;
    throw EDatabaseError(
        QStringLiteral("Ungültiger Wert \"%1\" für \"%2\" in der Verbindungszeichenfolge").arg(value, name));
}

} // namespace

TConnection::TConnection() = default;

TConnection::~TConnection()
{
    try {
        Close();
    } catch (...) {
        // A destructor must not throw; the session is gone either way.
    }
    for (TQuery* query : FQueries)
        query->FConnectionGone = true;
}

void TConnection::SetSpecificOption(const QString& name, const QString& value)
{
    for (auto it = FOptions.begin(); it != FOptions.end();) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            it = FOptions.erase(it);
        else
            ++it;
    }
    FOptions.insert(name, value);
}

QString TConnection::SpecificOption(const QString& name) const
{
    for (auto it = FOptions.cbegin(); it != FOptions.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return {};
}

QString TConnection::ConnectString() const
{
    auto knownValue = [this](TKnown known) -> QString {
        switch (known) {
        case TKnown::ProviderName:
            return ProviderName;
        case TKnown::LoginPrompt:
            return LoginPrompt ? QStringLiteral("True") : QStringLiteral("False");
        case TKnown::Server:
            return Server;
        case TKnown::Port:
            return QString::number(Port);
        case TKnown::Database:
            return Database;
        case TKnown::UserId:
            return Username;
        case TKnown::Password:
            return Password;
        case TKnown::None:
            break;
        }
        return {};
    };
    auto isDefault = [this](TKnown known) {
        switch (known) {
        case TKnown::ProviderName:
            return ProviderName.isEmpty();
        case TKnown::LoginPrompt:
            return !LoginPrompt;
        case TKnown::Server:
            return Server.isEmpty();
        case TKnown::Port:
            return Port == 0;
        case TKnown::Database:
            return Database.isEmpty();
        case TKnown::UserId:
            return Username.isEmpty();
        case TKnown::Password:
            return Password.isEmpty();
        case TKnown::None:
            break;
        }
        return true;
    };

    QList<TKnown> listed;
    for (const QString& name : FParamOrder) {
        if (TKnown known = KnownParam(name); known != TKnown::None)
            listed.append(known);
    }
    QStringList parts;
    bool unlistedDone = false;
    // Properties set since the last SetConnectString go in front of the extra parameters.
    auto writeUnlisted = [&] {
        if (unlistedDone)
            return;
        unlistedDone = true;
        for (int k = int(TKnown::ProviderName); k <= int(TKnown::Password); ++k) {
            auto known = TKnown(k);
            if (!listed.contains(known) && !isDefault(known))
                parts.append(KnownNames().at(k) + u'=' + QuoteValue(knownValue(known)));
        }
    };
    QList<QPair<QString, QString>> extras = FExtraParams;
    for (const QString& name : FParamOrder) {
        TKnown known = KnownParam(name);
        if (known != TKnown::None) {
            parts.append(KnownNames().at(int(known)) + u'=' + QuoteValue(knownValue(known)));
            continue;
        }
        writeUnlisted();
        for (qsizetype i = 0; i < extras.size(); ++i) {
            if (extras.at(i).first.compare(name, Qt::CaseInsensitive) == 0) {
                parts.append(extras.at(i).first + u'=' + QuoteValue(extras.at(i).second));
                extras.removeAt(i);
                break;
            }
        }
    }
    writeUnlisted();
    for (const auto& extra : extras)
        parts.append(extra.first + u'=' + QuoteValue(extra.second));
    return parts.join(u';');
}

void TConnection::SetConnectString(const QString& value)
{
    QList<QPair<QString, QString>> pairs = ParseConnectString(value);

    QString providerName, server, database, username, password;
    int port = 0;
    bool loginPrompt = false;
    QList<QPair<QString, QString>> extras;
    QStringList order;
    for (const auto& [name, text] : pairs) {
        TKnown known = KnownParam(name);
        QString orderName = known == TKnown::None ? name : KnownNames().at(int(known));
        bool seen = false;
        for (const QString& o : order)
            seen = seen || o.compare(orderName, Qt::CaseInsensitive) == 0;
        if (!seen)
            order.append(orderName);
        switch (known) {
        case TKnown::ProviderName:
            providerName = text;
            break;
        case TKnown::LoginPrompt:
            loginPrompt = ParseBool(name, text);
            break;
        case TKnown::Server:
            server = text;
            break;
        case TKnown::Database:
            database = text;
            break;
        case TKnown::UserId:
            username = text;
            break;
        case TKnown::Password:
            password = text;
            break;
        case TKnown::Port: {
            bool ok = false;
            port = text.trimmed().isEmpty() ? 0 : text.trimmed().toInt(&ok);
            if (!ok && !text.trimmed().isEmpty())
                throw EDatabaseError(
                    QStringLiteral("Ungültiger Wert \"%1\" für \"%2\" in der Verbindungszeichenfolge")
                        .arg(text, name));
            break;
        }
        case TKnown::None: {
            bool replaced = false;
            for (auto& extra : extras) {
                if (extra.first.compare(name, Qt::CaseInsensitive) == 0) {
                    extra.second = text;
                    replaced = true;
                }
            }
            if (!replaced)
                extras.append({name, text});
            break;
        }
        }
    }
    ProviderName = providerName;
    Server = server;
    Database = database;
    Port = port;
    Username = username;
    Password = password;
    LoginPrompt = loginPrompt;
    FExtraParams = extras;
    FParamOrder = order;
}

QString TConnection::ExtraParam(const QString& name) const
{
    for (const auto& extra : FExtraParams) {
        if (extra.first.compare(name, Qt::CaseInsensitive) == 0)
            return extra.second;
    }
    return {};
}

TConnectParams TConnection::Params() const
{
    TConnectParams params;
    params.ProviderName = ProviderName;
    params.Server = Server;
    params.Database = Database;
    params.Port = Port;
    params.Username = Username;
    params.Password = Password;
    params.AutoCommit = AutoCommit;
    params.SpecificOptions = FOptions;
    for (const auto& extra : FExtraParams)
        params.ExtraParams.insert(extra.first, extra.second);
    return params;
}

void TConnection::Open()
{
    if (Connected())
        return;
    // A session that broke still owns the cursors of open queries: close it properly first.
    if (FDriver)
        Close();
    if (BeforeConnect)
        BeforeConnect(*this);
    if (ProviderName.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("Für die Verbindung ist kein Provider angegeben"));
    std::unique_ptr<TDriver> driver = CreateDriver(ProviderName.trimmed());
    if (!driver)
        throw EDatabaseError(
            QStringLiteral("Für den Provider \"%1\" ist kein Datenbanktreiber vorhanden").arg(ProviderName));
    driver->Open(Params());
    FDriver = std::move(driver);
    FInTransaction = false;
}

void TConnection::Close()
{
    // The queries' cursors belong to the session: they go first.
    for (TQuery* query : std::vector<TQuery*>(FQueries))
        query->Close();
    FInTransaction = false;
    if (!FDriver)
        return;
    std::unique_ptr<TDriver> driver = std::move(FDriver);
    driver->Close();
}

bool TConnection::Connected() const
{
    return FDriver && FDriver->IsOpen();
}

TDriver& TConnection::Driver()
{
    if (!FDriver)
        throw EDatabaseError(QStringLiteral("Die Verbindung ist nicht geöffnet"));
    return *FDriver;
}

void TConnection::StartTransaction()
{
    TDriver& driver = Driver();
    if (FInTransaction)
        throw EDatabaseError(QStringLiteral("Auf der Verbindung ist bereits eine Transaktion geöffnet"));
    driver.StartTransaction();
    FInTransaction = true;
}

void TConnection::Commit()
{
    if (!FInTransaction)
        return;
    // The provider ends the transaction also when the commit fails (it rolls back what is left).
    FInTransaction = false;
    Driver().Commit();
}

void TConnection::Rollback()
{
    if (!FInTransaction)
        return;
    FInTransaction = false;
    Driver().Rollback();
}

void TConnection::SetSavepoint(const QString& name)
{
    Driver().SetSavepoint(name);
}

void TConnection::RollbackToSavepoint(const QString& name)
{
    Driver().RollbackToSavepoint(name);
}

void TConnection::ReleaseSavepoint(const QString& name)
{
    Driver().ReleaseSavepoint(name);
}

bool TConnection::HasFeature(TDbFeature feature) const
{
    return FDriver && FDriver->HasFeature(feature);
}

void TConnection::ExecSQL(const QString& sql)
{
    Driver().Execute(sql);
}

qint64 TConnection::ExecSQLRows(const QString& sql)
{
    return Driver().Execute(sql);
}

std::unique_ptr<TBulkInsert> TConnection::OpenBulkInsert(const QString& table, const QStringList& columns)
{
    return Driver().OpenBulkInsert(table, columns);
}

void TConnection::AttachQuery(TQuery* query)
{
    FQueries.push_back(query);
}

void TConnection::DetachQuery(TQuery* query)
{
    FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), query), FQueries.end());
}
