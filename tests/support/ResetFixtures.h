#pragma once

// Resets by group against the fake devices: every group moved away from its
// factory value, and which groups are back at it afterwards.

#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "ZVNet.h"

#include <QStringList>

#include <cstddef>
#include <string>

namespace TestSupport
{
// The SDK device's groups as its factory reset names them (DeviceDefaults.h).
inline const QStringList& SdkGroupNames()
{
    static const QStringList names
        = { "display", "record", "network", "alarm", "device", "system", "advanced", "intelligent", "pairing" };
    return names;
}

// The HTTP device's groups; "network" is its DNS and DHCP, "address" its mask
// (restored only with the whole network).
inline const QStringList& HttpGroupNames()
{
    static const QStringList names
        = { "channel", "record", "event", "alarm", "ai", "network", "address", "device", "system" };
    return names;
}

// Every group of the SDK device away from its factory value.
inline void ScrambleGroups(fakedevice::FakeDevice& fake)
{
    fake.Update([](fakedevice::DeviceState& s) {
        for (auto& setting : s.groupSettings)
            setting.second = "changed";
        s.deviceName = "Changed";
        s.dns1 = "10.1.1.1";
        s.networkMode = 0;
        s.params[ZVNET_PARAM_DATETIME][offsetof(ZVNetDateTimeParam, ntpEnable)] = 1;
        s.params[ZVNET_PARAM_OSD][offsetof(ZVNetOsdParam, channelName)] = 'X';
    });
}

inline void ScrambleHttpGroups(fakedevice::FakeHttpApi& api)
{
    api.Update([](fakedevice::HttpDeviceState& s) {
        for (auto& setting : s.groupSettings)
            setting.second = "changed";
        s.dns1 = "10.1.1.1";
        s.netmask = "255.255.255.0";
        s.dhcp = true;
    });
}

// The group is back at its factory value on the SDK device.
inline bool GroupRestored(
    const fakedevice::DeviceState& now, const fakedevice::DeviceState& factory, const QString& group)
{
    if (group == QLatin1String("display"))
        return now.params.at(ZVNET_PARAM_OSD) == factory.params.at(ZVNET_PARAM_OSD);
    if (group == QLatin1String("network"))
        return now.dns1 == factory.dns1 && now.networkMode == factory.networkMode;
    if (group == QLatin1String("device"))
        return now.deviceName == factory.deviceName;
    if (group == QLatin1String("system"))
        return now.params.at(ZVNET_PARAM_DATETIME) == factory.params.at(ZVNET_PARAM_DATETIME);
    const std::string name = group.toStdString();
    return now.groupSettings.at(name) == factory.groupSettings.at(name);
}

inline bool HttpGroupRestored(
    const fakedevice::HttpDeviceState& now, const fakedevice::HttpDeviceState& factory, const QString& group)
{
    if (group == QLatin1String("network"))
        return now.dns1 == factory.dns1 && now.dhcp == factory.dhcp;
    if (group == QLatin1String("address"))
        return now.netmask == factory.netmask;
    const std::string name = group.toStdString();
    return now.groupSettings.at(name) == factory.groupSettings.at(name);
}

// The groups back at their factory values, in the order of the names above.
inline QStringList RestoredGroups(const fakedevice::DeviceState& now, const fakedevice::DeviceState& factory)
{
    QStringList restored;
    for (const QString& group : SdkGroupNames())
        if (GroupRestored(now, factory, group))
            restored << group;
    return restored;
}

inline QStringList RestoredHttpGroups(
    const fakedevice::HttpDeviceState& now, const fakedevice::HttpDeviceState& factory)
{
    QStringList restored;
    for (const QString& group : HttpGroupNames())
        if (HttpGroupRestored(now, factory, group))
            restored << group;
    return restored;
}
} // namespace TestSupport
