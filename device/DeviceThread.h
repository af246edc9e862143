#pragma once

#include "DeviceEvents.h"
#include "DeviceInfo.h"

#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

// Runs change on the device's thread: at once when called there, else queued
// behind what was queued to the device before (and dropped if the device is
// deleted first).
template <typename Change> void RunOnDeviceThread(DeviceInfo* device, Change&& change)
{
    if (QThread::currentThread() == device->thread()) {
        change();
        return;
    }
    PostDeviceEvent(device, new QDeviceCallEvent(std::function<void()>(std::forward<Change>(change))));
}

// Runs change on the device's thread and returns once it has run there, or
// once it was dropped with the device; for work on another thread that reads
// afterwards what the change wrote. Never call it from a thread the device's
// thread waits for.
template <typename Change> void RunOnDeviceThreadAndWait(DeviceInfo* device, Change&& change)
{
    if (QThread::currentThread() == device->thread()) {
        change();
        return;
    }
    struct Done
    {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    // Marks the call done when the event that carries it goes, run or not.
    struct Marker
    {
        std::shared_ptr<Done> done;
        ~Marker()
        {
            std::lock_guard<std::mutex> lock(done->mutex);
            done->done = true;
            done->signal.notify_all();
        }
    };
    auto done = std::make_shared<Done>();
    auto marker = std::make_shared<Marker>();
    marker->done = done;
    std::function<void()> call = [marker, &change] { change(); };
    marker.reset();
    PostDeviceEvent(device, new QDeviceCallEvent(std::move(call)));
    std::unique_lock<std::mutex> lock(done->mutex);
    done->signal.wait(lock, [&] { return done->done; });
}
