#pragma once

#include "ui/app_context.h"
#include "ui/message_service.h"
#include "ui/printing.h"

#include <QList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace shop::test {

// Types any text (Chinese too, which QTest::keyClicks refuses) into a
// widget as key presses, one character at a time.
void typeText(QWidget* widget, const QString& text);

// One message or input box as the program showed it.
struct Shown {
    enum Kind { Message, Input, SaveFile, Wait, OpenFile } kind = Message;
    QString text; // message text, the input prompt, or the file filter
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QString caption;          // caption, or the input or file dialog's title
    QString defaultText = {}; // the input box's default answer, the suggested file or folder
    QStringList labels = {};  // the buttons captioned otherwise than standard, in order
};

// Records every box and answers from queues the test fills. A message with
// no queued answer gets its default: Ok, or No for Yes/No questions; an input
// box or file dialog with no queued answer gets an empty text (as Cancel).
class ScriptedMessages : public MessageService {
public:
    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& caption) override;
    Answer choose(const QString& text, Icon icon, Buttons buttons, const QString& caption,
                  const QList<std::pair<Answer, QString>>& captions) override;
    QString input(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString secret(const QString& prompt, const QString& title) override;
    QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) override;
    // Answered from the same queue of files as saveFileName.
    QString openFileName(const QString& caption, const QString& folder, const QString& filter) override;
    // A wait is recorded as it is said; whether it still shows, in waiting().
    void showWait(const QString& text, const QString& caption) override;
    void endWait() override { waiting_ = false; }
    bool waiting() const { return waiting_; }

    // `meanwhile` runs while the box is up, before it is answered (what
    // happens elsewhere while the person reads it).
    void answer(Answer a, std::function<void()> meanwhile = {})
    {
        answers_.push_back({a, std::move(meanwhile)});
    }
    void answerInput(const QString& text) { inputs_.push_back(text); }
    void answerFile(const QString& path) { files_.push_back(path); }

    const QList<Shown>& shown() const { return shown_; }
    Shown last() const { return shown_.isEmpty() ? Shown{} : shown_.last(); }
    int count() const { return static_cast<int>(shown_.size()); }
    void clear() { shown_.clear(); }
    // Texts of the messages shown, in order.
    QStringList texts() const;
    // Queued answers nobody asked for (a test that queued too many is wrong).
    int unusedAnswers() const { return static_cast<int>(answers_.size() + inputs_.size() + files_.size()); }

private:
    QList<Shown> shown_;
    bool waiting_ = false;
    std::deque<std::pair<Answer, std::function<void()>>> answers_;
    std::deque<QString> inputs_;
    std::deque<QString> files_;
};

// One document as the scripted printer was given it.
struct Printed {
    // Through the print dialog, shown in the preview, or sent to a printer
    // without a dialog.
    enum Kind { Dialog, Preview, Direct };
    QString title;
    QString text; // the document's plain text
    Kind kind = Dialog;
    QString printer = {};            // Direct: the printer named
    std::optional<Paper> paper = {}; // the paper it was laid out for
    QString pdf = {};                // the PDF written in its place (see writePdfsTo)
};

// "No printer" unless told otherwise. With a printer, each print dialog is
// answered "print" (or cancelled, or the print fails, when told) and the
// document is recorded; a preview is recorded likewise and closed.
// PDF files are written for real, through the real service.
class ScriptedPrinting : public PrintService {
public:
    bool hasPrinter() override { return printer_; }
    QStringList printers() override { return printer_ ? names_ : QStringList(); }
    PrintResult print(const QTextDocument& document, const QString& title) override;
    PrintResult preview(const QTextDocument& document, const QString& title,
                        const std::optional<Paper>& paper = std::nullopt) override;
    PrintResult printOn(const QTextDocument& document, const QString& title, const QString& printer,
                        const Paper& paper, QString* error) override;
    SaveOutcome saveAsPdf(const QTextDocument& document, const QString& fileName,
                          const std::optional<Paper>& paper = std::nullopt) override;

    // Installed: two printers, named in names_.
    void setPrinter(bool installed) { printer_ = installed; }
    // The next print dialog is cancelled.
    void cancelNext() { cancelNext_ = true; }
    // The next print fails after its dialog (or at once, without one).
    void failNext(const QString& reason = QStringLiteral("打印机缺纸")) { failNext_ = reason; }
    // Every print and preview also writes its pages as a PDF file into
    // `folder` (1.pdf, 2.pdf, ...), as the real service would print them.
    void writePdfsTo(const QString& folder) { pdfFolder_ = folder; }
    const QList<Printed>& printed() const { return printed_; }
    // The documents saved as PDF files (the file in `pdf`).
    const QList<Printed>& saved() const { return saved_; }

private:
    PrintResult record(const QTextDocument& document, Printed p);

    bool printer_ = false;
    QStringList names_{QStringLiteral("办公室打印机"), QStringLiteral("前台小票机")};
    bool cancelNext_ = false;
    std::optional<QString> failNext_;
    QString pdfFolder_;
    QList<Printed> printed_;
    QList<Printed> saved_;
    QtPrintService real_;
};

// Makes every write named by `when` ("BEFORE INSERT ON salse") fail with
// `message`, on either engine (a fault for the tests to meet); with a
// `condition` (an SQL test of NEW's columns), only the rows it holds for.
bool addFailingTrigger(Database& db, const QString& name, const QString& when, const QString& message,
                       const QString& condition = {});
bool dropTrigger(Database& db, const QString& name);

// A fresh program folder in a temporary directory with fresh database files,
// a fixed clock (2026-12-07 10:00:00 unless told), the scripted message
// and printing services and a settings file of its own. Windows are not registered: a
// test that opens windows by name calls registerWindows(env.ctx().windows()).
// A program folder without databases, its own settings file and context,
// as on a first start; the clock stands at 2026-12-07 09:00.
struct BareProgram {
    QTemporaryDir dir;
    ScriptedMessages messages;
    ScriptedPrinting printing;
    std::unique_ptr<AppContext> ctx;
    int quits = 0;

    BareProgram();
    QString settingsFile() const { return dir.filePath(QStringLiteral("settings.ini")); }
    // What the program made in its folder, the settings file included.
    QStringList entries() const;
};

class TestEnv {
public:
    static constexpr const char* kZedPassword = "zed-pass";

    explicit TestEnv(const QDateTime& now = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)));
    ~TestEnv();

    AppContext& ctx() { return *ctx_; }
    ScriptedMessages& messages() { return messages_; }
    ScriptedPrinting& printing() { return printing_; }
    FixedClock& clock() { return *clock_; }
    Database& db() { return ctx_->business(); }
    Database& accounts() { return ctx_->accounts(); }
    QString dir() const { return dir_.path(); }
    bool quitCalled() const { return quits_ > 0; }
    int quitCount() const { return quits_; }

    // Inserts a row of text values into a business table.
    void insert(const QString& table, const QStringList& values);
    // Every row of a table in stored order (values as text).
    QList<QStringList> rows(const QString& table);
    // The login journal's bytes (empty when there is none).
    QByteArray journal() const;
    // Adds an account (hashing the password) to the accounts table.
    void addAccount(const QString& name, const QString& password, const QString& kind);

private:
    QTemporaryDir dir_;
    ScriptedMessages messages_;
    ScriptedPrinting printing_;
    FixedClock* clock_ = nullptr;
    std::unique_ptr<AppContext> ctx_;
    int quits_ = 0;
};

} // namespace shop::test
