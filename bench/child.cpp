#include "child.h"

#include "stats.h"

#include <QFile>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace pelk::bench {
namespace {

// Standard output to a pipe when captured, else to /dev/null; standard error always there.
void routeOutput(posix_spawn_file_actions_t& actions, const int pipeFds[2], bool capture)
{
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
}

QByteArray readAll(int fd)
{
    QByteArray output;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        output.append(buffer, n);
    return output;
}

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

ChildResult runChild(const QStringList& args, const QString& workDir, bool capture)
{
    std::vector<QByteArray> bytes;
    for (const QString& a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);

    int pipeFds[2] = {-1, -1};
    if (capture && pipe(pipeFds) != 0)
        fail(QStringLiteral("pipe failed"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    routeOutput(actions, pipeFds, capture);
    const QByteArray dir = QFile::encodeName(workDir);
    if (!workDir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());

    ChildResult result;
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail(QStringLiteral("cannot start %1").arg(args.first()));
    if (capture) {
        close(pipeFds[1]);
        result.output = readAll(pipeFds[0]);
        close(pipeFds[0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.seconds = seconds(start, Clock::now());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("%1 failed (status %2)").arg(args.join(u' ')).arg(status));
    return result;
}

double startupSeconds(const QString& program, const QString& workDir)
{
    const qint64 start = monotonicNanoseconds();
    const ChildResult r = runChild({program}, workDir, true);
    bool ok = false;
    const qint64 painted = r.output.trimmed().toLongLong(&ok);
    if (!ok)
        fail(QStringLiteral("%1 printed no paint time").arg(program));
    return double(painted - start) / 1e9;
}

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

}  // namespace pelk::bench
