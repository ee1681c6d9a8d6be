#include "server_check.h"

#include "schema.h"

#include <libpq-fe.h>

#include <memory>
#include <vector>

namespace shop {

namespace {

using Conn = std::unique_ptr<PGconn, void (*)(PGconn*)>;

// libpq's keyword/value arrays for a connection to `database` of `server`.
struct Params {
    Params(const DbServer& server, const QString& database)
    {
        add("host", server.host);
        add("port", QString::number(server.port));
        add("dbname", database);
        add("user", server.user);
        if (!server.password.isEmpty())
            add("password", server.password);
        add("sslmode", server.sslmode);
        add("connect_timeout", QStringLiteral("5"));
        add("application_name", QStringLiteral("shop"));
        for (const QByteArray& k : keys)
            keyPtrs.push_back(k.constData());
        for (const QByteArray& v : values)
            valuePtrs.push_back(v.constData());
        keyPtrs.push_back(nullptr);
        valuePtrs.push_back(nullptr);
    }
    void add(const char* key, const QString& value)
    {
        keys << QByteArray(key);
        values << value.toUtf8();
    }
    QList<QByteArray> keys;
    QList<QByteArray> values;
    std::vector<const char*> keyPtrs;
    std::vector<const char*> valuePtrs;
};

Conn connect(const DbServer& server, const QString& database)
{
    const Params p(server, database);
    return Conn(PQconnectdbParams(p.keyPtrs.data(), p.valuePtrs.data(), 0), &PQfinish);
}

bool connected(const Conn& c)
{
    return c && PQstatus(c.get()) == CONNECTION_OK;
}

QString errorOf(const Conn& c)
{
    return c ? QString::fromUtf8(PQerrorMessage(c.get())).trimmed() : QString();
}

ServerCheck found(ServerCheck::Result r, const QString& detail = {})
{
    return ServerCheck{r, detail};
}

} // namespace

ServerCheck checkServer(const DbServer& server)
{
    using R = ServerCheck::Result;
    QString error;
    if (auto db = Database::openServer(server, &error)) {
        const auto present = schema::presentTables(*db);
        if (present.failed())
            return found(R::Refused, present.error());
        if (present->isEmpty())
            return found(R::Empty);
        QStringList missing;
        for (const TableDef& t : schema::businessTables() + QList<TableDef>{schema::accountsTable()})
            if (!present->contains(t.name, Qt::CaseInsensitive))
                missing << t.name;
        return missing.isEmpty() ? found(R::Works)
                                 : found(R::TablesMissing, missing.join(QStringLiteral("、")));
    }
    if (Database::tlsRefused(error))
        return found(R::TlsRefused, error);
    const Params ping(server, server.name);
    switch (PQpingParams(ping.keyPtrs.data(), ping.valuePtrs.data(), 0)) {
    case PQPING_NO_RESPONSE:
        return found(R::NotReached, error);
    case PQPING_REJECT:
        return found(R::Starting, error);
    case PQPING_NO_ATTEMPT:
        return found(R::Refused, error);
    case PQPING_OK:
        break;
    }
    const Conn target = connect(server, server.name);
    if (connected(target))
        return found(R::Works); // it came up in between
    if (PQconnectionNeedsPassword(target.get()))
        return found(R::NeedsPassword, errorOf(target));
    // The password is checked before the database is looked for: the same
    // login into the server's own database tells the two apart.
    for (const char* maintenance : {"postgres", "template1"}) {
        const Conn other = connect(server, QLatin1String(maintenance));
        if (!connected(other))
            continue;
        const QByteArray name = server.name.toUtf8();
        const char* values[] = {name.constData()};
        std::unique_ptr<PGresult, void (*)(PGresult*)> res(
            PQexecParams(other.get(), "SELECT 1 FROM pg_database WHERE datname = $1", 1, nullptr, values,
                         nullptr, nullptr, 0),
            &PQclear);
        if (PQresultStatus(res.get()) == PGRES_TUPLES_OK && PQntuples(res.get()) == 0)
            return found(R::NoDatabase, errorOf(target));
        return found(R::Refused, errorOf(target));
    }
    if (PQconnectionUsedPassword(target.get()))
        return found(R::WrongPassword, errorOf(target));
    return found(R::Refused, errorOf(target));
}

} // namespace shop
