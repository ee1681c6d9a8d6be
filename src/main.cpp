#include "app/app_context.h"
#include "app/message_service.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZEDWARE"));
    QApplication::setApplicationName(QStringLiteral("ZEDWARE"));
    shop::QtMessageService messages;
    shop::AppContext ctx(shop::ProgramPaths::resolve(), std::make_unique<shop::SystemClock>(),
                         std::make_unique<QSettings>(), messages);
    shop::registerWindows(ctx.windows());
    QString error;
    if (!ctx.openDatabases(&error)) {
        messages.critical(QStringLiteral("无法打开数据库文件 %1").arg(error), QStringLiteral("错误信息"));
        return 1;
    }
    return 0;
}
