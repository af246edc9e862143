#pragma once

class DeviceInfo;

// The set of existing devices through which SDK callbacks reach a device
// (DeviceConnection.cpp). A device is in it from construction to destruction.
void RegisterLiveDevice(const DeviceInfo* device);
void UnregisterLiveDevice(const DeviceInfo* device);
