#pragma once

#include <system_error>
#include <thread>
#include <vector>

namespace pelk {

// Runs work(i) for every i below `count`: the first on this thread, the others each on a
// thread of its own, all at once; one that gets no thread runs here. Returns once all have
// ended. The work must not throw.
template <typename Work>
void runOnThreads(int count, const Work& work)
{
    std::vector<std::thread> threads;
    for (int i = 1; i < count; ++i) {
        try {
            threads.emplace_back(work, i);
        } catch (const std::system_error&) {
            work(i);
        }
    }
    if (count > 0)
        work(0);
    for (std::thread& thread : threads)
        thread.join();
}

}  // namespace pelk
