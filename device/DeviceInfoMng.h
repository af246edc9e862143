#pragma once

#include <QList>
#include <QObject>

class DeviceInfo;

// The process-wide owner of the devices the two searches found: the LAN list
// and the IP-range list. The search pages hand it their sorted lists; the
// operation pages list the LAN devices from it (the range devices for the
// HTTP API customers, who have no LAN search). GUI thread only.
//
// Replacing a list frees its devices, except those still busy with an
// operation (DeviceInfo::IsBusy): they go once that operation has ended.
class DeviceInfoMng : public QObject
{
    Q_OBJECT

public:
    static DeviceInfoMng* Instance();
    static void DestroyInstance();

    ~DeviceInfoMng() override;

    // The list becomes a copy of devices; the devices it held are dropped,
    // not freed.
    void SetLanDevices(const QList<DeviceInfo*>& devices);
    void SetExtranetDevices(const QList<DeviceInfo*>& devices);
    // Frees every device of the list, front first, then the list becomes a
    // copy of devices.
    void ReplaceLanDevices(const QList<DeviceInfo*>& devices);
    void ReplaceExtranetDevices(const QList<DeviceInfo*>& devices);
    // Every LAN (range) device shows no status.
    void ResetLanDeviceStatus();
    void ResetExtranetDeviceStatus();

    QList<DeviceInfo*> m_lanDevices;
    QList<DeviceInfo*> m_extranetDevices;

private:
    DeviceInfoMng() = default;
};
