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

// The LAN search page also hears how a network change went: on success it
// refreshes the device's whole row, on failure only its status cell; remove
// drops the device from its working list.
class NetworkChangeListener
{
public:
    virtual void OnDeviceTaskFinished(DeviceInfo* device, bool wholeRow, bool remove) = 0;

protected:
    ~NetworkChangeListener() = default;
};
