#include "platform/real/file_service.h"
#include "platform/real/libjpeg_encoder.h"
#include "platform/real/qt_picture_service.h"
#include "platform/services.h"
#include "platform/widgets/main_window.h"
#include "platform/widgets/qt_message_box.h"
#include "platform/widgets/qt_window_system.h"
#include "window/handlers.h"
#include "window/window_model.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelk17.png")));

    pelk::QtPictureService pictures;
    pelk::RealFileService files;
    pelk::QtMessageBox messages;
    pelk::QtWindowSystem windowSystem;
    pelk::LibjpegEncoder encoder;
    pelk::Platform platform{pictures, files, messages, windowSystem, encoder};

    pelk::WindowModel model;
    pelk::connectHandlers(model, platform);
    pelk::MainWindow window(model);
    messages.setParent(&window);
    windowSystem.setWindow(&window);

    // The load event runs before the window is first shown; it may show it itself
    // (stay-on-top).
    if (model.Load)
        model.Load();
    window.show();
    return app.exec();
}
