// The start-up yardstick: a Qt window of the program's size with the same Japanese labels
// as the program's window shows at start. Its first paint pays for what any window
// showing Japanese pays (the font configuration, a Japanese face), which an empty window
// never does.
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
    const QStringList texts = {
        QStringLiteral("BMPからJPEGへ変換"),
        QStringLiteral("画質"),
        QStringLiteral("％"),
        QStringLiteral("プログ\"レッシブ処理"),
        QStringLiteral("表示形態"),
        QStringLiteral("変換前のファイル"),
        QStringLiteral("サイズ"),
        QStringLiteral("変換後のファィル"),
        QStringLiteral("サイズ"),

        QStringLiteral("現在のファイル名　"),
        QStringLiteral("バージョン情報"),
    };
    int y = 4;
    for (const QString& text : texts) {
        auto* label = new QLabel(text, &window);
        label->move(8, y);
        y += 24;
    }
    pelk::bench::FirstPaint hook(&window);
    app.installEventFilter(&hook);
    window.show();
    return app.exec();
}
