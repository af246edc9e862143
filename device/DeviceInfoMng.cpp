#include "DeviceInfoMng.h"

#include "DeviceInfo.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <atomic>
#include <cstdlib>

namespace
{
QMutex g_instanceMutex;
std::atomic<DeviceInfoMng*> g_instance { nullptr };

// Frees the devices of a list that its new contents do not keep.
void FreeDevices(QList<DeviceInfo*>& devices, const QList<DeviceInfo*>& kept)
{
    const QSet<DeviceInfo*> keep(kept.begin(), kept.end());
    while (!devices.isEmpty()) {
        DeviceInfo* device = devices.takeFirst();
        if (device && !keep.contains(device))
            device->DeleteWhenIdle();
    }
}

void ResetStatus(const QList<DeviceInfo*>& devices)
{
    for (DeviceInfo* device : devices) {
        if (device)
            device->m_status = StatusNone;
    }
}
} // namespace

DeviceInfoMng* DeviceInfoMng::Instance()
{
    DeviceInfoMng* instance = g_instance.load(std::memory_order_acquire);
    if (!instance) {
        QMutexLocker locker(&g_instanceMutex);
        instance = g_instance.load(std::memory_order_relaxed);
        if (!instance) {
            instance = new DeviceInfoMng;
            g_instance.store(instance, std::memory_order_release);
            std::atexit(&DeviceInfoMng::DestroyInstance);
        }
    }
    return instance;
}

void DeviceInfoMng::DestroyInstance()
{
    delete g_instance.exchange(nullptr);
}

// Runs at process exit only, when devices may no longer be safe to delete.
DeviceInfoMng::~DeviceInfoMng() = default;

void DeviceInfoMng::SetLanDevices(const QList<DeviceInfo*>& devices)
{
    m_lanDevices = devices;
}

void DeviceInfoMng::SetExtranetDevices(const QList<DeviceInfo*>& devices)
{
    m_extranetDevices = devices;
}

void DeviceInfoMng::ReplaceLanDevices(const QList<DeviceInfo*>& devices)
{
    FreeDevices(m_lanDevices, devices);
    m_lanDevices = devices;
}

void DeviceInfoMng::ReplaceExtranetDevices(const QList<DeviceInfo*>& devices)
{
    FreeDevices(m_extranetDevices, devices);
    m_extranetDevices = devices;
}

void DeviceInfoMng::ResetLanDeviceStatus()
{
    ResetStatus(m_lanDevices);
}

void DeviceInfoMng::ResetExtranetDeviceStatus()
{
    ResetStatus(m_extranetDevices);
}
