#include "background_read.h"

#include "app_context.h"

#include <QEvent>
#include <QThread>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace shop {

BackgroundReader::BackgroundReader(std::function<Job()> prepare, QWidget* owner, QObject* parent)
    : QObject(parent), prepare_(std::move(prepare)), owner_(owner)
{
    if (owner)
        owner->installEventFilter(this);
}

BackgroundReader::~BackgroundReader()
{
    if (thread_)
        thread_->wait();
}

bool BackgroundReader::mayStart()
{
    if (owner_ && !owner_->isVisible()) {
        stale_ = true;
        return false;
    }
    if (thread_) {
        pending_ = true;
        return false;
    }
    return true;
}

void BackgroundReader::request()
{
    if (!mayStart() || std::exchange(queued_, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (queued_)
            start();
    });
}

void BackgroundReader::requestNow()
{
    if (mayStart())
        start();
}

bool BackgroundReader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == owner_ && event->type() == QEvent::Show && std::exchange(stale_, false))
        request();
    return QObject::eventFilter(watched, event);
}

void BackgroundReader::start()
{
    queued_ = false;
    pending_ = false;
    stale_ = false;
    auto result = std::make_shared<Handover>();
    result_ = result;
    const quint64 read = ++reads_;
    thread_.reset(QThread::create([job = prepare_(), result] {
#ifdef Q_OS_LINUX
        // Behind the person's work: this thread alone yields its core.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
#endif
        *result = job();
    }));
    connect(thread_.get(), &QThread::finished, this, [this, read] { handOver(read); });
    thread_->start();
}

bool BackgroundReader::wait(int ms)
{
    if (queued_ && !thread_)
        start();
    if (!thread_)
        return true;
    if (!thread_->wait(ms < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(ms)))
        return false;
    handOver(reads_);
    return true;
}

void BackgroundReader::handOver(quint64 read)
{
    if (read != reads_ || !thread_)
        return;
    thread_->wait();
    thread_.reset();
    const std::shared_ptr<Handover> result = std::move(result_);
    if (*result)
        (*result)();
    if (std::exchange(pending_, false))
        request();
}

OwnConnection OwnConnection::of(AppContext& ctx)
{
    return {ctx.paths().businessDb(), ctx.server()};
}

std::unique_ptr<Database> OwnConnection::open(QString* error) const
{
    return server ? Database::openServer(*server, error) : Database::open(path, error);
}

} // namespace shop
