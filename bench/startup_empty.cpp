// The yardstick for start-up: an empty Qt window of the same size, to its first paint.
#include "first_paint.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Pelk17"));
    window.resize(533, 325);
    pelk::bench::FirstPaint hook(&window);
    app.installEventFilter(&hook);
    window.show();
    return app.exec();
}
