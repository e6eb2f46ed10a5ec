#pragma once

#include "window/log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace pelk {

// Work done ahead of the window's thread, on one worker thread of its own started by the
// first request. Only the newest request counts: it rests a while before it runs (so a
// burst of requests costs one run), a newer one replaces it, and at most one result is
// held, until the window's thread takes it for the same request. The request is any
// equality-comparable value; the work receives it and a flag it polls to stop early.
template <typename Request, typename Result>
class BackgroundJob {
public:
    // The work: its result, or none when it failed or saw the flag set.
    using Work = std::function<std::optional<Result>(const Request& request, const std::atomic<bool>& cancel)>;

    explicit BackgroundJob(Work work) : work_(std::move(work)) { }
    ~BackgroundJob();  // cancels, and waits for the worker to end
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Runs the work once `rest` has passed without a newer request; a result held, or a job
    // running, for an equal request is kept, anything else is dropped.
    void request(Request request, std::chrono::milliseconds rest);
    // Drops the request that waits, tells the running work to stop, drops the held result.
    void cancel();
    // The result for `request`, waiting for its job (its rest cut short) when it waits or
    // runs; nothing for another request, whose job is then cancelled. Nothing stays held.
    std::optional<Result> take(const Request& request);
    // Returns once no request waits and no work runs.
    void waitUntilIdle();

private:
    void work();  // the worker thread's loop
    std::optional<Result> run(const Request& request);

    using Clock = std::chrono::steady_clock;
    const Work work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Request> waiting_;  // resting until startAt_
    Clock::time_point startAt_;
    std::optional<Request> running_;
    std::atomic<bool> cancel_{false};  // the running work's flag
    std::optional<std::pair<Request, Result>> held_;
    bool stopping_ = false;
    std::thread worker_;
};

template <typename Request, typename Result>
BackgroundJob<Request, Result>::~BackgroundJob()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.reset();
        cancel_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

template <typename Request, typename Result>
void BackgroundJob<Request, Result>::request(Request request, std::chrono::milliseconds rest)
{
    {
        const std::lock_guard lock(mutex_);
        if ((held_ && held_->first == request) || (running_ == request && !cancel_)) {
            waiting_.reset();
            return;
        }
        if (running_)
            cancel_ = true;
        held_.reset();
        waiting_ = std::move(request);
        startAt_ = Clock::now() + std::max(rest, std::chrono::milliseconds(0));
        if (!worker_.joinable())
            worker_ = std::thread([this] { work(); });
    }
    changed_.notify_all();
}

template <typename Request, typename Result>
void BackgroundJob<Request, Result>::cancel()
{
    {
        const std::lock_guard lock(mutex_);
        waiting_.reset();
        if (running_)
            cancel_ = true;
        held_.reset();
    }
    changed_.notify_all();
}

template <typename Request, typename Result>
std::optional<Result> BackgroundJob<Request, Result>::take(const Request& request)
{
    std::unique_lock lock(mutex_);
    if (waiting_ == request)
        startAt_ = Clock::now();
    else
        waiting_.reset();
    if (running_ && running_ != request)
        cancel_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return waiting_ != request && running_ != request; });
    std::optional<Result> result;
    if (held_ && held_->first == request)
        result = std::move(held_->second);
    held_.reset();
    return result;
}

template <typename Request, typename Result>
void BackgroundJob<Request, Result>::waitUntilIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !waiting_ && !running_; });
}

template <typename Request, typename Result>
void BackgroundJob<Request, Result>::work()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!waiting_) {
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < startAt_) {
            changed_.wait_until(lock, startAt_);
            continue;
        }
        const Request request = std::move(*waiting_);
        waiting_.reset();
        running_ = request;
        cancel_ = false;
        lock.unlock();
        std::optional<Result> result = run(request);
        lock.lock();
        running_.reset();
        if (result && !cancel_ && !stopping_)
            held_.emplace(request, std::move(*result));
        changed_.notify_all();
    }
}

// Work that throws (no memory for its result, most likely) gives nothing, as a failed one
// does: the press then does the work itself and meets the failure there, where it is
// reported. Left to escape, it would end the program.
template <typename Request, typename Result>
std::optional<Result> BackgroundJob<Request, Result>::run(const Request& request)
{
    try {
        return work_(request, cancel_);
    } catch (const std::exception& e) {
        qCDebug(pelkLog) << "work done ahead:" << e.what();
        return std::nullopt;
    }
}

}  // namespace pelk
