// The helper that runs work ahead of the window's thread, on its own, with work that only
// records what it was asked: only the newest request runs and becomes the result, a
// request rests before it runs, a cancel stops the work and drops its result, a take
// waits for its own request's job and cancels any other, and the end stops everything.
// Nothing here measures time: the rests that must not pass are ten minutes long.
#include "platform/real/ahead/background_job.h"

#include <QTest>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

using namespace pelk;

namespace {

using namespace std::chrono_literals;

// The work: records each request it starts, finishes and sees cancelled; held at a gate
// while the gate is closed, unless its flag is set; gives ten times the request, also when
// cancelled (the helper must drop that). A negative request throws, as work out of memory.
class Probe {
public:
    explicit Probe(bool gateOpen = true) : open_(gateOpen) { }

    std::optional<int> work(int request, const std::atomic<bool>& cancel)
    {
        std::unique_lock lock(mutex_);
        started_.push_back(request);
        changed_.notify_all();
        // The helper sets the flag without telling us: look at it now and then.
        while (!open_ && !cancel)
            changed_.wait_for(lock, 1ms);
        if (cancel)
            cancelled_.push_back(request);
        finished_.push_back(request);
        changed_.notify_all();
        if (request < 0)
            throw std::bad_alloc();
        return request * 10;
    }

    void open()
    {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void waitForStarts(std::size_t count) { waitFor(started_, count); }
    void waitForFinishes(std::size_t count) { waitFor(finished_, count); }
    QList<int> started() const { return listed(started_); }
    QList<int> cancelled() const { return listed(cancelled_); }
    QList<int> finished() const { return listed(finished_); }

private:
    void waitFor(const std::vector<int>& v, std::size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return v.size() >= count; });
    }
    QList<int> listed(const std::vector<int>& v) const
    {
        const std::lock_guard lock(mutex_);
        return QList<int>(v.begin(), v.end());
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_;
    std::vector<int> started_, cancelled_, finished_;
};

using Job = BackgroundJob<int, int>;

std::unique_ptr<Job> jobOn(Probe& probe)
{
    return std::make_unique<Job>(
        [&probe](const int& request, const std::atomic<bool>& cancel) { return probe.work(request, cancel); });
}

// What a take found: the result, or -1 for none.
int found(const std::optional<int>& result) { return result.value_or(-1); }

// Opens the gate from another thread a little later, while the caller waits in a take.
// Opened early, the take finds the result held: the test still holds.
std::thread openLater(Probe& probe)
{
    return std::thread([&probe] {
        std::this_thread::sleep_for(50ms);
        probe.open();
    });
}

}  // namespace

class TestBackgroundJob : public QObject {
    Q_OBJECT

private slots:
    // Requests while the first runs: the ones in between never start, the running one is
    // told to stop, and only the newest becomes the result.
    void theNewestRequestWins()
    {
        Probe probe(false);
        auto job = jobOn(probe);
        job->request(1, 0ms);
        probe.waitForStarts(1);
        job->request(2, 10min);  // replaced while it rests
        job->request(3, 0ms);
        probe.open();
        QCOMPARE(found(job->take(3)), 30);
        QCOMPARE(probe.started(), (QList<int>{1, 3}));
        QCOMPARE(probe.cancelled(), QList<int>{1});
    }

    // The work of a request superseded while it ran gives its result all the same: the
    // helper drops it, and a take of that older request finds nothing.
    void aSupersededResultIsNeverHeld()
    {
        Probe probe(false);
        auto job = jobOn(probe);
        job->request(1, 0ms);
        probe.waitForStarts(1);
        job->request(2, 10min);
        probe.open();
        probe.waitForFinishes(1);
        QCOMPARE(found(job->take(1)), -1);
        QCOMPARE(probe.started(), QList<int>{1});
    }

    // A request rests before it starts: what comes in the meantime decides what runs.
    void aRequestRestsFirst_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("taken");  // what take(taking) finds; -1 none
        QTest::addColumn<int>("taking");
        QTest::addColumn<QList<int>>("started");
        QTest::newRow("a newer request replaces it") << "newer" << 20 << 2 << QList<int>{2};
        QTest::newRow("a cancel drops it") << "cancel" << -1 << 1 << QList<int>{};
        QTest::newRow("taking it cuts its rest short") << "take" << 10 << 1 << QList<int>{1};
        QTest::newRow("taking another drops it") << "take other" << -1 << 2 << QList<int>{};
    }
    void aRequestRestsFirst()
    {
        QFETCH(QString, then);
        QFETCH(int, taken);
        QFETCH(int, taking);
        QFETCH(QList<int>, started);
        Probe probe;
        auto job = jobOn(probe);
        job->request(1, 10min);
        if (then == QLatin1String("newer"))
            job->request(2, 0ms);
        else if (then == QLatin1String("cancel"))
            job->cancel();
        QCOMPARE(found(job->take(taking)), taken);
        job->waitUntilIdle();
        QCOMPARE(probe.started(), started);
    }

    // A take, or a cancel, with request 1 resting, running or done: the same request's
    // result is waited for; another request's take, or a cancel, gets nothing, stops the
    // running work and drops a result held. Nothing stays held after either.
    void whatATakeOrCancelLeaves_data()
    {
        QTest::addColumn<QString>("state");  // of request 1
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("taken");  // -1 none
        QTest::addColumn<QList<int>>("started");
        QTest::addColumn<QList<int>>("cancelled");
        const QList<int> none, one{1};
        QTest::newRow("resting, taken") << "resting"
                                        << "take" << 10 << one << none;
        QTest::newRow("running, taken") << "running"
                                        << "take" << 10 << one << none;
        QTest::newRow("held, taken") << "held"
                                     << "take" << 10 << one << none;
        QTest::newRow("resting, another taken") << "resting"
                                                << "take other" << -1 << none << none;
        QTest::newRow("running, another taken") << "running"
                                                << "take other" << -1 << one << one;
        QTest::newRow("held, another taken") << "held"
                                             << "take other" << -1 << one << none;
        QTest::newRow("resting, cancelled") << "resting"
                                            << "cancel" << -1 << none << none;
        QTest::newRow("running, cancelled") << "running"
                                            << "cancel" << -1 << one << one;
        QTest::newRow("held, cancelled") << "held"
                                         << "cancel" << -1 << one << none;
    }
    void whatATakeOrCancelLeaves()
    {
        QFETCH(QString, state);
        QFETCH(QString, action);
        QFETCH(int, taken);
        QFETCH(QList<int>, started);
        QFETCH(QList<int>, cancelled);
        Probe probe(state != QLatin1String("running"));
        auto job = jobOn(probe);
        job->request(1, state == QLatin1String("resting") ? 10min : 0ms);
        if (state == QLatin1String("running"))
            probe.waitForStarts(1);
        else if (state == QLatin1String("held"))
            job->waitUntilIdle();

        std::thread opener;
        if (action == QLatin1String("take") && state == QLatin1String("running"))
            opener = openLater(probe);
        std::optional<int> result;
        if (action == QLatin1String("take"))
            result = job->take(1);
        else if (action == QLatin1String("take other"))
            result = job->take(2);
        else
            job->cancel();
        if (opener.joinable())
            opener.join();
        QCOMPARE(found(result), taken);

        job->waitUntilIdle();  // a job told to stop ends without the gate
        QCOMPARE(probe.started(), started);
        QCOMPARE(probe.cancelled(), cancelled);
        QCOMPARE(found(job->take(1)), -1);
    }

    // An equal request keeps the result held or the job running for it; a job already
    // told to stop is not kept, nor is another request's result.
    void anEqualRequestKeepsItsJob_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("again");
        QTest::addColumn<QList<int>>("started");
        QTest::newRow("held") << "held" << 1 << QList<int>{1};
        QTest::newRow("running") << "running" << 1 << QList<int>{1};
        QTest::newRow("running, told to stop") << "stopping" << 1 << QList<int>{1, 1};
        QTest::newRow("held, another request") << "held" << 2 << QList<int>{1, 2};
    }
    void anEqualRequestKeepsItsJob()
    {
        QFETCH(QString, state);
        QFETCH(int, again);
        QFETCH(QList<int>, started);
        Probe probe(state == QLatin1String("held"));
        auto job = jobOn(probe);
        job->request(1, 0ms);
        if (state == QLatin1String("held"))
            job->waitUntilIdle();
        else
            probe.waitForStarts(1);
        if (state == QLatin1String("stopping"))
            job->request(3, 10min);  // stops 1, and rests
        job->request(again, 0ms);
        probe.open();
        QCOMPARE(found(job->take(again)), again * 10);
        QCOMPARE(probe.started(), started);
    }

    // Work that throws gives nothing, and the helper goes on serving.
    void throwingWorkGivesNothing()
    {
        Probe probe;
        auto job = jobOn(probe);
        job->request(-1, 0ms);
        QCOMPARE(found(job->take(-1)), -1);
        job->request(2, 0ms);
        QCOMPARE(found(job->take(2)), 20);
        QCOMPARE(probe.started(), (QList<int>{-1, 2}));
    }

    // Idle means the newest job has finished and holds its result.
    void waitUntilIdleWaitsForTheNewestJob()
    {
        Probe probe;
        auto job = jobOn(probe);
        job->waitUntilIdle();  // nothing ever asked: returns at once
        for (int request = 1; request <= 5; ++request)
            job->request(request, 0ms);
        job->waitUntilIdle();
        QVERIFY2(probe.finished().contains(5), qPrintable(QString::number(probe.finished().size())));
        QCOMPARE(found(job->take(5)), 50);
    }

    // The end while work runs or rests: the work is told to stop and waited for, and what
    // rests never starts.
    void theEndStopsTheJob_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("running") << true;
        QTest::newRow("resting") << false;
    }
    void theEndStopsTheJob()
    {
        QFETCH(bool, running);
        Probe probe(false);
        auto job = jobOn(probe);
        job->request(1, running ? 0ms : 10min);
        if (running)
            probe.waitForStarts(1);
        job.reset();
        QCOMPARE(probe.started(), running ? QList<int>{1} : QList<int>{});
        QCOMPARE(probe.finished(), probe.started());  // nothing left running
        QCOMPARE(probe.cancelled(), probe.started());
    }
};

QTEST_GUILESS_MAIN(TestBackgroundJob)
#include "test_background_job.moc"
