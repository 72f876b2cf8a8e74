#include "cli/event_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

std::mutex QueueLock;
std::condition_variable QueueFilled;
std::deque<ConsoleEvent> Queue;

}  // namespace

void PostConsoleEvent(ConsoleEvent event) {
    {
        const std::lock_guard<std::mutex> hold(QueueLock);
        Queue.push_back(std::move(event));
    }
    QueueFilled.notify_one();
}

bool TakeConsoleEvent(ConsoleEvent& event, int64_t timeoutMs) {
    std::unique_lock<std::mutex> hold(QueueLock);
    const auto filled = [] { return !Queue.empty(); };
    if (!QueueFilled.wait_for(hold, std::chrono::milliseconds(timeoutMs), filled)) return false;
    event = std::move(Queue.front());
    Queue.pop_front();
    return true;
}

void PostWorkerEvent(int64_t event, int64_t data) {
    PostConsoleEvent({event, data});
}

void PostReportError(const std::wstring& message) {
    ConsoleEvent event{ReportErrorEvent};
    event.text = message;
    PostConsoleEvent(std::move(event));
}
