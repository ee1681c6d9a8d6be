#pragma once

#include "data/database.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace shop {

class AppContext;

// A read behind the person's work: it runs on a thread of its own (at a
// lower priority, so the window thread keeps its core on a busy machine)
// and what it found is handed back on the window thread. At most one read
// runs and one more is pending: requests while one runs are served by one
// read after it, and requests of one action (the writes of a sale) by one
// read after the action. With an owner widget it reads only while the owner
// is shown; a request while it is hidden is served when it shows again.
class BackgroundReader : public QObject {
    Q_OBJECT
public:
    // What runs on the window thread once a read is done.
    using Handover = std::function<void()>;
    // A read, off the window thread.
    using Job = std::function<Handover()>;

    // `prepare` runs on the window thread as each read starts and takes what
    // the read needs at that moment.
    explicit BackgroundReader(std::function<Job()> prepare, QWidget* owner = nullptr,
                              QObject* parent = nullptr);
    // Waits for a running read; what it found is dropped.
    ~BackgroundReader() override;

    // A read after the requests of this action (from the event loop).
    void request();
    // A read at once when none runs (the pending one otherwise).
    void requestNow();
    // A read was asked for and has not been handed over yet.
    bool busy() const { return thread_ || queued_; }
    // Starts a queued read at once and waits up to `ms` (-1: for good) for
    // the running one, then hands it over here and now (the pending one
    // follows from the event loop). False when it is still running.
    bool wait(int ms = -1);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether a read may start now; when not, one is pending or due on show.
    bool mayStart();
    void start();
    void handOver(quint64 read);

    std::function<Job()> prepare_;
    QPointer<QWidget> owner_;
    std::unique_ptr<QThread> thread_;
    std::shared_ptr<Handover> result_; // filled by the running read
    quint64 reads_ = 0;                // numbers each read, so each is handed over once
    bool queued_ = false;
    bool pending_ = false;
    bool stale_ = false; // asked for while the owner was hidden
};

// A read of a value of type T: `work` runs off the window thread, `done`
// gets its value on the window thread.
template <typename T> class BackgroundRead {
public:
    using Work = std::function<T()>;
    using Done = std::function<void(const T&)>;

    BackgroundRead(std::function<Work()> prepare, Done done, QWidget* owner = nullptr)
        : reader_(
              [prepare = std::move(prepare), done = std::move(done)]() -> BackgroundReader::Job {
                  return [work = prepare(), done]() -> BackgroundReader::Handover {
                      auto value = std::make_shared<const T>(work());
                      return [value, done] { done(*value); };
                  };
              },
              owner)
    {
    }

    void request() { reader_.request(); }
    void requestNow() { reader_.requestNow(); }
    bool busy() const { return reader_.busy(); }
    bool wait(int ms = -1) { return reader_.wait(ms); }

private:
    BackgroundReader reader_;
};

// Where a read's own connection goes: the business database's file, or
// its server, as the context has it.
struct OwnConnection {
    QString path;
    std::optional<DbServer> server;
    static OwnConnection of(AppContext& ctx);
    std::unique_ptr<Database> open(QString* error) const;
};

// `read` on a connection of its own, closed when the read ends, so the
// window's connection stays free for the person's work. Taken on the window
// thread, run off it.
template <typename T>
std::function<DbValue<T>()> onOwnConnection(AppContext& ctx, std::function<DbValue<T>(Database&)> read)
{
    return [connection = OwnConnection::of(ctx), read = std::move(read)] {
        QString error;
        const std::unique_ptr<Database> db = connection.open(&error);
        return db ? read(*db) : DbValue<T>::failure(error);
    };
}

} // namespace shop
