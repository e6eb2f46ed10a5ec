// The real window's start-up, built exactly as the program's main() builds it, up to its
// first paint.
#include "first_paint.h"

#include "app/program.h"

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
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pelk17.png")));
    phase("icon");

    pelk::Program program;
    phase("services, model and MainWindow");
    pelk::bench::FirstPaint hook(&program.window());
    app.installEventFilter(&hook);

    program.start();
    phase("Form_Load and show");
    return app.exec();
}
