#pragma once

// Device records and language texts for tests that link the device library.

#include "DeviceInfo.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

namespace TestSupport
{
// The language texts "T0" ... "T<count-1>" for the life of the object.
class NumberedLanguageTexts
{
public:
    explicit NumberedLanguageTexts(int count = 300)
    {
        const QString path = QDir(m_dir.path()).filePath(QStringLiteral("texts.xml"));
        WriteFile(path, NumberedLanguageFile(count));
        LanguageTexts::Create(path);
    }
    ~NumberedLanguageTexts() { LanguageTexts::Release(); }

private:
    QTemporaryDir m_dir;
};

// A device as a search would list it; owner deletes it.
inline DeviceInfo* NewDevice(QObject* owner, const QString& ip, const QString& name = QString(), int channels = 1,
    uint32_t mediaPort = 9000, uint32_t webPort = 80)
{
    SearchDevRsp record;
    std::memset(&record, 0, sizeof(record));
    CopyLatin1(ip, record.ip);
    CopyLatin1(name, record.deviceName);
    CopyLatin1(QStringLiteral("255.255.255.0"), record.netmask);
    CopyLatin1(QStringLiteral("AA:BB:CC:00:00:01"), record.mac);
    record.channelNumber = channels;
    record.mediaPort = mediaPort;
    record.webPort = webPort;
    record.networkMode = ZVNET_NET_MODE_STATIC;
    auto* device = new DeviceInfo(owner);
    device->InitFromSearchRsp(&record, false);
    return device;
}

// A listed device waiting for its operation, with the login values; an ONVIF
// device's record when onvif.
inline std::unique_ptr<DeviceInfo> WaitingDevice(const QString& ip, uint32_t mediaPort, uint32_t webPort,
    const QString& user, const QString& password, bool onvif = false)
{
    std::unique_ptr<DeviceInfo> device(NewDevice(nullptr, ip, QString(), 1, mediaPort, webPort));
    if (onvif) {
        const SearchDevRsp record = device->m_searchRsp;
        device->InitFromSearchRsp(&record, true);
    }
    device->m_user = user;
    device->m_password = password;
    device->m_status = StatusWaiting;
    return device;
}
} // namespace TestSupport
