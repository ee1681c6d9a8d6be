#include "ui/qt_chinese.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace shop {

namespace {

// The file dialog's type column ("Folder", "Shortcut") asks for its words
// in a context of its own that Qt's Chinese file (6.4) has no entries for;
// the file dialog's context there holds the same words, translated.
class FileTypeWords : public QTranslator {
public:
    FileTypeWords(const QTranslator* qt, QObject* parent) : QTranslator(parent), qt_(qt) {}
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0)
            return {};
        return qt_->translate("QFileDialog", source, disambiguation, n);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator* qt_;
};

} // namespace

QString installQtChinese()
{
    // Qt's own folder first (Debian's qt6-translations-l10n); then a
    // translations folder beside the program, for copies carried with it.
    const QStringList folders = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                 QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            QCoreApplication::installTranslator(new FileTypeWords(translator, translator));
            return QDir(folder).filePath(QStringLiteral("qtbase_zh_CN.qm"));
        }
        delete translator;
    }
    return {};
}

} // namespace shop
