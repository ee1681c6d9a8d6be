#include "ui/app_context.h"
#include "ui/message_service.h"
#include "ui/printing.h"
#include "ui/qt_chinese.h"
#include "shell/shell.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZEDWARE"));
    QApplication::setApplicationName(QStringLiteral("ZEDWARE"));
    shop::installQtChinese();
    shop::QtMessageService messages;
    shop::QtPrintService printing;
    shop::AppContext ctx(shop::ProgramPaths::resolve(), std::make_unique<shop::SystemClock>(),
                         std::make_unique<QSettings>(), messages, printing);
    shop::registerWindows(ctx.windows());
    shop::Shell shell(ctx);
    if (!shell.start())
        return 1;
    return app.exec();
}
