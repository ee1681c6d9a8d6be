#pragma once

#include "data/database.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace shop::test {

// A throwaway PostgreSQL cluster: initdb and pg_ctl in a temporary folder,
// listening on a Unix socket there only, stopped (and the folder removed)
// when the test program ends. Run by the postgres user when the tests run
// as root (the server refuses root).
class PgCluster {
public:
    ~PgCluster();

    // The one cluster of this test program, started on first use; null
    // (reason in `error`) when it cannot be started.
    static PgCluster* shared(QString* error = nullptr);
    // A cluster of its own (benchmarks): `durable` keeps the server's
    // flushes to disk, which tests leave out for speed.
    static std::unique_ptr<PgCluster> start(bool durable, QString* error);

    // The server, connected to database `name` as the cluster's superuser.
    DbServer server(const QString& name) const;
    // A new empty database; no value (reason in `error`) on failure.
    std::optional<DbServer> freshDatabase(QString* error);
    // A new database holding the program's tables and the account ZED with
    // `zedPassword` (copied from a template made once).
    std::optional<DbServer> shopDatabase(const QString& zedPassword, QString* error);

    QString socketDir() const;

    // Stops the server (every connection to it ends, as when a server is
    // shut down) and starts it again on the same folder and socket.
    bool stop(QString* error);
    bool startAgain(QString* error);

    // Makes `role` a login with `password`, which the cluster then asks of
    // it (scram-sha-256 on the socket); every other role stays trusted.
    bool addPasswordRole(const QString& role, const QString& password, QString* error);

private:
    PgCluster() = default;
    bool run(const QStringList& command, QString* error) const;
    // CREATE DATABASE `name`, a copy of `copyOf` when one is named.
    bool createDatabase(const QString& name, const QString& copyOf, QString* error) const;
    QString nextName();
    void watchParent(const QString& data) const;
    QTemporaryDir dir_;
    QString bin_;
    bool started_ = false;
    int next_ = 0;
    QString templateFor_;
    QStringList options_;
};

// The shared cluster, and a connection to one of its databases; the test
// program stops when either cannot be had.
PgCluster* sharedCluster();
std::unique_ptr<Database> connectOrStop(const DbServer& server);

// Whether the tests of this run go against the server (the environment's
// SHOP_TEST_ENGINE is "postgres"); the files otherwise.
bool testsOnServer();

} // namespace shop::test
