#pragma once
// One worker thread that runs the tasks given to it one after another, in the order given; each
// task's result (or the exception it raised) comes back through its future. The batch writer
// uses it to prepare the next photo on the second core while this one is copied.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

class SerialWorker {
public:
    SerialWorker();
    // Waits for the task in hand; tasks not yet started are dropped (their futures report a
    // broken promise).
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    template <typename Task> std::future<std::invoke_result_t<Task>> run(Task task) {
        using Result = std::invoke_result_t<Task>;
        auto packaged = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> future = packaged->get_future();
        post([packaged] { (*packaged)(); });
        return future;
    }

private:
    void post(std::function<void()> task);
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::thread m_thread; // last: starts once the rest is in place
};
