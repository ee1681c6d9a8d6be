#include "test_env.h"

#include "pg_cluster.h"

#include "data/password.h"
#include "data/schema.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QTextDocument>

#include <utility>

namespace shop::test {

void typeText(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        const QString ch(c);
        const int key = c.unicode() < 128 ? QKeySequence(ch)[0].key() : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, static_cast<Qt::Key>(key), ch, Qt::NoModifier);
    }
}

MessageService::Answer ScriptedMessages::message(const QString& text, Icon icon, Buttons buttons,
                                                 const QString& caption)
{
    shown_.append(Shown{Shown::Message, text, icon, buttons, caption});
    if (!answers_.empty()) {
        const auto [a, meanwhile] = answers_.front();
        answers_.pop_front();
        if (meanwhile)
            meanwhile();
        return a;
    }
    if (buttons.testFlag(QMessageBox::No))
        return QMessageBox::No;
    if (buttons.testFlag(QMessageBox::Ok))
        return QMessageBox::Ok;
    return QMessageBox::Cancel;
}

MessageService::Answer ScriptedMessages::choose(const QString& text, Icon icon, Buttons buttons,
                                                const QString& caption,
                                                const QList<std::pair<Answer, QString>>& captions)
{
    const Answer a = message(text, icon, buttons, caption);
    for (const auto& c : captions)
        shown_.last().labels << c.second;
    return a;
}

QString ScriptedMessages::input(const QString& prompt, const QString& title, const QString& defaultText)
{
    shown_.append(Shown{Shown::Input, prompt, QMessageBox::NoIcon, {}, title, defaultText});
    if (inputs_.empty())
        return {};
    const QString s = inputs_.front();
    inputs_.pop_front();
    return s;
}

QString ScriptedMessages::secret(const QString& prompt, const QString& title)
{
    return input(prompt, title, {});
}

QString ScriptedMessages::saveFileName(const QString& caption, const QString& suggested,
                                       const QString& filter)
{
    shown_.append(Shown{Shown::SaveFile, filter, QMessageBox::NoIcon, {}, caption, suggested});
    if (files_.empty())
        return {};
    const QString s = files_.front();
    files_.pop_front();
    return s;
}

QString ScriptedMessages::openFileName(const QString& caption, const QString& folder, const QString& filter)
{
    shown_.append(Shown{Shown::OpenFile, filter, QMessageBox::NoIcon, {}, caption, folder});
    if (files_.empty())
        return {};
    const QString s = files_.front();
    files_.pop_front();
    return s;
}

void ScriptedMessages::showWait(const QString& text, const QString& caption)
{
    shown_.append(Shown{Shown::Wait, text, QMessageBox::NoIcon, {}, caption});
    waiting_ = true;
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const Shown& s : shown_)
        if (s.kind == Shown::Message)
            out << s.text;
    return out;
}

PrintResult ScriptedPrinting::record(const QTextDocument& document, Printed p)
{
    if (!pdfFolder_.isEmpty()) {
        p.pdf = QStringLiteral("%1/%2.pdf").arg(pdfFolder_).arg(printed_.size() + 1);
        if (!real_.saveAsPdf(document, p.pdf, p.paper))
            return PrintResult::Failed;
    }
    p.text = document.toPlainText();
    printed_.append(p);
    return PrintResult::Printed;
}

PrintResult ScriptedPrinting::print(const QTextDocument& document, const QString& title)
{
    if (!printer_)
        return PrintResult::Failed;
    if (std::exchange(cancelNext_, false))
        return PrintResult::Cancelled;
    if (std::exchange(failNext_, std::nullopt))
        return PrintResult::Failed;
    return record(document, Printed{title, {}, Printed::Dialog});
}

PrintResult ScriptedPrinting::preview(const QTextDocument& document, const QString& title,
                                      const std::optional<Paper>& paper)
{
    // The preview shows the pages with or without a printer; closing it
    // prints nothing.
    return record(document, Printed{title, {}, Printed::Preview, {}, paper}) == PrintResult::Printed
               ? PrintResult::Cancelled
               : PrintResult::Failed;
}

PrintResult ScriptedPrinting::printOn(const QTextDocument& document, const QString& title,
                                      const QString& printer, const Paper& paper, QString* error)
{
    if (!printer_) {
        *error = QStringLiteral("没有安装打印机");
        return PrintResult::Failed;
    }
    if (auto reason = std::exchange(failNext_, std::nullopt)) {
        *error = *reason;
        return PrintResult::Failed;
    }
    return record(document,
                  Printed{title, {}, Printed::Direct, printer.isEmpty() ? names_.value(0) : printer, paper});
}

SaveOutcome ScriptedPrinting::saveAsPdf(const QTextDocument& document, const QString& fileName,
                                        const std::optional<Paper>& paper)
{
    const SaveOutcome outcome = real_.saveAsPdf(document, fileName, paper);
    if (outcome)
        saved_.append(Printed{{}, document.toPlainText(), Printed::Dialog, {}, paper, fileName});
    return outcome;
}

bool addFailingTrigger(Database& db, const QString& name, const QString& when, const QString& message,
                       const QString& condition)
{
    QString escaped = message;
    escaped.replace('\'', "''");
    if (!db.onServer())
        return db
            .exec(QStringLiteral("CREATE TRIGGER %1 %2 %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                      .arg(name, when, condition.isEmpty() ? QString() : "WHEN " + condition, escaped))
            .ok;
    return db.exec(QStringLiteral("CREATE FUNCTION %1_fail() RETURNS trigger LANGUAGE plpgsql AS "
                                  "$$BEGIN RAISE EXCEPTION '%2'; END$$")
                       .arg(name, escaped))
               .ok &&
           db.exec(QStringLiteral("CREATE TRIGGER %1 %2 FOR EACH ROW %3 EXECUTE FUNCTION %1_fail()")
                       .arg(name, when, condition.isEmpty() ? QString() : "WHEN (" + condition + ")"))
               .ok;
}

bool dropTrigger(Database& db, const QString& name)
{
    // The server's trigger goes with its function.
    return db
        .exec(db.onServer() ? QStringLiteral("DROP FUNCTION %1_fail() CASCADE").arg(name)
                            : QStringLiteral("DROP TRIGGER %1").arg(name))
        .ok;
}

BareProgram::BareProgram()
{
    ctx = std::make_unique<AppContext>(
        ProgramPaths{dir.path()}, std::make_unique<FixedClock>(QDateTime(QDate(2026, 12, 7), QTime(9, 0))),
        std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat), messages, printing);
    ctx->setQuitHook([this] { ++quits; });
}

QStringList BareProgram::entries() const
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

TestEnv::TestEnv(const QDateTime& now)
{
    if (!dir_.isValid())
        qFatal("no temporary directory");
    ProgramPaths paths{dir_.path()};
    QString err;
    std::optional<DbServer> server;
    if (testsOnServer()) {
        PgCluster* cluster = PgCluster::shared(&err);
        if (cluster)
            server = cluster->shopDatabase(kZedPassword, &err);
        if (!server)
            qFatal("cannot make a server database: %s", qPrintable(err));
    } else if (!schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), kZedPassword, &err)) {
        qFatal("cannot create databases: %s", qPrintable(err));
    }
    auto clock = std::make_unique<FixedClock>(now);
    clock_ = clock.get();
    auto settings = std::make_unique<QSettings>(dir_.filePath("settings.ini"), QSettings::IniFormat);
    ctx_ = std::make_unique<AppContext>(paths, std::move(clock), std::move(settings), messages_, printing_);
    ctx_->setQuitHook([this] { ++quits_; });
    if (server)
        ctx_->useServer(*server);
    if (!ctx_->openDatabases(&err))
        qFatal("cannot open databases: %s", qPrintable(err));
}

TestEnv::~TestEnv()
{
    ctx_->windows().closeAll();
}

void TestEnv::insert(const QString& table, const QStringList& values)
{
    QStringList qs;
    QVariantList binds;
    for (const QString& v : values) {
        qs << "?";
        binds << textValue(v);
    }
    Database& d = table == QLatin1String("username") ? accounts() : db();
    DbResult r =
        d.exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(table), qs.join(",")), binds);
    if (!r)
        qFatal("insert into %s failed: %s", qPrintable(table), qPrintable(r.error));
}

QList<QStringList> TestEnv::rows(const QString& table)
{
    Database& d = table == QLatin1String("username") ? accounts() : db();
    QList<QStringList> out;
    QStringList cols;
    for (const QString& c : d.columns(table))
        cols << quoteIdent(c);
    d.select(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(cols.join(", "), quoteIdent(table)), {},
             [&out](const QSqlQuery& q) {
                 QStringList r;
                 for (int i = 0; i < q.record().count(); ++i)
                     r << q.value(i).toString();
                 out << r;
                 return true;
             });
    return out;
}

QByteArray TestEnv::journal() const
{
    QFile f(ctx_->paths().loginLog());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestEnv::addAccount(const QString& name, const QString& password, const QString& kind)
{
    insert(QStringLiteral("username"), {name, hashPassword(password), kind});
}

} // namespace shop::test
