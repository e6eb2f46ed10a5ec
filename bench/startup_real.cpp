// The real window's start-up, built exactly as the program's main() builds it, up to its
// first paint.
#include "first_paint.h"

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
#include <cstdio>
#include <ctime>

// PELK_BENCH_PHASES=1 prints where start-up spends its time (to stderr).
static void phase(const char* name)
{
    static const bool on = qEnvironmentVariableIsSet("PELK_BENCH_PHASES");
    if (!on)
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "%lld %s\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, name);
}

int main(int argc, char* argv[])
{
    phase("main");
    QApplication app(argc, argv);
    phase("QApplication");
    QApplication::setApplicationDisplayName(pelk::WindowModel::caption);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelk17.png")));
    phase("icon");

    pelk::QtPictureService pictures;
    pelk::RealFileService files;
    pelk::QtMessageBox messages;
    pelk::QtWindowSystem windowSystem;
    pelk::LibjpegEncoder encoder;
    pelk::Platform platform{pictures, files, messages, windowSystem, encoder};

    pelk::WindowModel model;
    pelk::connectHandlers(model, platform);
    phase("services and model");
    pelk::MainWindow window(model);
    phase("MainWindow");
    messages.setParent(&window);
    windowSystem.setWindow(&window);
    pelk::bench::FirstPaint hook(&window);
    app.installEventFilter(&hook);

    if (model.Load)
        model.Load();
    phase("Form_Load");
    window.show();
    phase("show");
    return app.exec();
}
