#include "app/program.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelk17.png")));
    pelk::Program program;
    program.start();
    return app.exec();
}
