// A second start-up yardstick: an empty Qt window with one line of Japanese text. Its
// first paint pays for what any window showing Japanese pays (the font configuration,
// a Japanese face), which the empty window never does.
#include "first_paint.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Pelk17"));
    window.resize(533, 325);
    auto* label = new QLabel(QStringLiteral("ここにファイルをドラックしてください"), &window);
    label->move(10, 10);
    pelk::bench::FirstPaint hook(&window);
    app.installEventFilter(&hook);
    window.show();
    return app.exec();
}
