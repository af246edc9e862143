#pragma once

#include "DeviceEvents.h"
#include "DeviceInfo.h"

#include <QThread>

#include <functional>
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
