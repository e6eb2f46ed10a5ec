#include "app/program.h"
#include "platform/widgets/window_platform.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    pelk::preferX11WhereNeeded();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelk17.png")));
    pelk::Program program;
    program.start();
    return app.exec();
}
