// A shop for the benchmarks that open the program's context: the two files,
// or a database of a throwaway cluster, and tables filled fast on either.
#pragma once

#include "bench_psql.h"

#include "data/clock.h"
#include "data/program_paths.h"
#include "data/schema.h"
#include "support/pg_cluster.h"
#include "support/test_env.h"
#include "ui/app_context.h"

#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace shop::bench {

// One shop database and the program's context on it.
struct Shop {
    QTemporaryDir dir;
    test::ScriptedMessages messages;
    test::ScriptedPrinting printing;
    std::unique_ptr<AppContext> ctx;
    std::optional<DbServer> server;

    Database& db() { return ctx->business(); }
    bool onServer() const { return server.has_value(); }
    // A connection of a till's own (opened in the till's thread).
    std::unique_ptr<Database> openTill(QString* error)
    {
        return server ? Database::openServer(*server, error)
                      : Database::open(ctx->paths().businessDb(), error);
    }
};

// A new shop on files (no cluster) or on a database of `cluster`, its clock
// standing at `now`.
inline std::unique_ptr<Shop> openShop(test::PgCluster* cluster, const QDateTime& now)
{
    auto shop = std::make_unique<Shop>();
    ProgramPaths paths{shop->dir.path()};
    QString err;
    if (cluster) {
        shop->server = cluster->shopDatabase(QString::fromLatin1(test::TestEnv::kZedPassword), &err);
        if (!shop->server)
            qFatal("cannot make a server database: %s", qPrintable(err));
    } else if (!schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(),
                                            QString::fromLatin1(test::TestEnv::kZedPassword), &err)) {
        qFatal("cannot create databases: %s", qPrintable(err));
    }
    shop->ctx = std::make_unique<AppContext>(
        paths, std::make_unique<FixedClock>(now),
        std::make_unique<QSettings>(shop->dir.filePath("settings.ini"), QSettings::IniFormat), shop->messages,
        shop->printing);
    if (shop->server)
        shop->ctx->useServer(*shop->server);
    if (!shop->ctx->openDatabases(&err))
        qFatal("cannot open databases: %s", qPrintable(err));
    return shop;
}

// Rows of a table (its columns in stored order, from `row(i)`): on files
// through one prepared statement in one transaction, on the server through
// psql's \copy.
inline void fillTable(Shop& shop, const QString& table, int rows, const std::function<QStringList(int)>& row)
{
    if (shop.onServer()) {
        copyRows(*shop.server, shop.dir.path(), table, rows, row);
        return;
    }
    const QStringList columns = schema::columnsOf(table);
    Database& db = shop.db();
    Database::Transaction tx(db);
    if (!tx.active())
        qFatal("no transaction: %s", qPrintable(tx.error()));
    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)")
                       .arg(quoteIdent(table), QStringList(columns.size(), QStringLiteral("?")).join(", "))))
        qFatal("prepare failed");
    for (int i = 0; i < rows; ++i) {
        const QStringList v = row(i);
        for (int c = 0; c < v.size(); ++c)
            q.bindValue(c, textValue(v.at(c)));
        if (!q.exec())
            qFatal("insert into %s failed at row %d", qPrintable(table), i);
    }
    q.finish();
    if (auto r = tx.commit(); !r)
        qFatal("commit failed: %s", qPrintable(r.error));
}

} // namespace shop::bench
