#pragma once

class DeviceInfo;

// What a page offers to the devices it queued work on. DeviceInfo keeps one
// listener per page family and calls it on the GUI thread when an operation
// ends (finished true: drop the device from the working list) or when only its
// row needs refreshing (finished false).
class DeviceTaskListener
{
public:
    virtual void OnDeviceTaskFinished(DeviceInfo* device, bool finished) = 0;

protected:
    ~DeviceTaskListener() = default;
};
