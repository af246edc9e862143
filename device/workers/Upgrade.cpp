// The firmware upgrade: through the SDK, which reports through its callback,
// or through the HTTP JSON API: a token request, then the upload thread.
// Every way ends with one final QUpgradeEvent posted to the device.

#include "DeviceOperations.h"
#include "DeviceTasks.h"
#include "Guarded.h"
#include "WorkerSupport.h"
#include "httpRequest.h"

#include <QFile>

#include <array>
#include <climits>
#include <cstring>

namespace DeviceOps
{
namespace
{
constexpr int kUploadSpeedFactor = 16; // x 512 KiB/s
constexpr int kUpgradeHeadBytes = 1024;
const char* const kTokenPath = "/API/Maintenance/SystemUpgrade/Token";
const char* const kUploadPath = "/API/Maintenance/SystemUpgrade/Upgrade";

void Report(DeviceInfo* device, int code)
{
    PostDeviceEvent(device, new QUpgradeEvent(code));
}

uint32_t UpgradeType(const DeviceInfo& device)
{
    ZVNetDevInfo info;
    std::memset(&info, 0, sizeof(info));
    if (ZVNetGetDevInfo(device.m_handle, &info, sizeof(info)) == 0)
        return ZVNET_UPGRADE_TYPE_BASIC;
    constexpr unsigned bit = ZVNET_ABILITY_UPGRADE_EXTENDED;
    return (info.abilitySet[bit / 32] >> (bit % 32)) & 1u ? ZVNET_UPGRADE_TYPE_EXTENDED : ZVNET_UPGRADE_TYPE_BASIC;
}

// The device query and the start wait on the device: a pool thread makes
// them. The SDK reports from its own thread.
void StartSdkUpgrade(DeviceInfo* device)
{
    device->m_upgradeProgress = 0;
    const QByteArray path = device->m_upgradeFilePath.toUtf8();
    ZVNetUpgradeParam param;
    std::memset(&param, 0, sizeof(param));
    param.path = path.constData();
    param.callback = &DeviceInfo::OnUpgradeProgress;
    param.user = device;
    param.upgradeType = UpgradeType(*device);
    int handle = 0;
    {
        // A final report may already be on its way: its stop waits for the handle.
        std::lock_guard<std::mutex> lock(device->m_upgradeMutex);
        handle = ZVNetStartRemoteUpgrade(device->m_handle, &param);
        device->m_upgradeHandle = handle;
    }
    // Like a connection start without a handle: the SDK may still report why,
    // and when it does not, the upgrade must end all the same.
    if (handle == 0)
        device->EndSilentUpgradeLater();
}

void UpgradeThroughSdk(DeviceInfo* device)
{
    if (!device->RunOffDeviceThread([device] { StartSdkUpgrade(device); }))
        Report(device, UpgradeFailed);
}

// What the token request announces: the size and the first bytes, zero
// beyond the end of the file; nothing of a file that does not open.
struct FirmwareHead
{
    int size = 0;
    std::array<unsigned char, kUpgradeHeadBytes> bytes {};
};

FirmwareHead ReadHead(const QString& path)
{
    FirmwareHead head;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return head;
    head.size = static_cast<int>(qMin<qint64>(file.size(), INT_MAX));
    file.read(reinterpret_cast<char*>(head.bytes.data()), kUpgradeHeadBytes);
    return head;
}

// data carries the secondary authentication already.
Json::Value TokenRequest(Json::Value data, const QString& path, const FirmwareHead& head)
{
    data["file_name"] = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toStdString();
    data["file_size"] = head.size;
    Json::Value bytes(Json::arrayValue);
    for (unsigned char byte : head.bytes)
        bytes.append(Json::UInt(byte));
    data["upgrade_head"] = bytes;
    return RequestBody(data);
}

// Starts the upload thread on the device's own thread, with the token the
// device handed out.
void StartUpload(DeviceInfo* device, const std::string& url, const std::string& token, const QString& path, int size)
{
    // Another upload started meanwhile: this one would run beside it.
    if (device->m_pUpgradeThread) {
        Report(device, UpgradeFailed);
        return;
    }
    auto* upload = new httpRequest(device);
    // Queued: the result disposes of the thread object that emits it.
    QObject::connect(upload, &httpRequest::taskFinished, device, &DeviceInfo::checkUpgradeResult, Qt::QueuedConnection);
    upload->SetSession(device->m_cookie, device->m_token, device->Ip().toStdString(), device->m_bHttps);
    upload->SetParams(url, token, QFile::encodeName(path).toStdString(), size, kUploadSpeedFactor);
    device->m_pUpgradeThread = upload;
    upload->start(QThread::InheritPriority);
}

// The key and token requests, on a pool thread: each may wait seconds for its
// device, which the GUI thread must not. Ends with a final report, or with
// the upload started on the device's thread.
void RequestUploadToken(DeviceInfo* device)
{
    const QString path = device->m_upgradeFilePath;
    const FirmwareHead head = ReadHead(path);

    DeviceHttp http(*device);
    TransKeys keys;
    if (!http.RequestKeys(TransKeyForm::Salt, keys)) {
        Report(device, UpgradeFailed);
        return;
    }
    if (path.isEmpty() || !path.contains(QLatin1Char('/'))) {
        Report(device, 392);
        return;
    }
    Json::Value data(Json::objectValue);
    if (!DeviceHttp::AddSecondaryAuthentication(data, device->m_password, keys.salt)) {
        Report(device, UpgradeFailed);
        return;
    }
    if (!http.Post(kTokenPath, TokenRequest(data, path, head))) {
        Report(device, UpgradeFailed);
        return;
    }
    Report(device, UpgradeTokenReady);
    Json::Value reply;
    std::string token;
    if (!http.ParseReply(reply) || !ReadString(MemberPath(reply, { "data" }), "upgrade_token", token)
        || token.empty()) {
        Report(device, UpgradeFailed);
        return;
    }
    const std::string url = http.Base() + kUploadPath;
    const int size = head.size;
    PostDeviceEvent(device,
        new QDeviceCallEvent([device, url, token, path, size] { StartUpload(device, url, token, path, size); }));
}

void UploadTokenTask(void* argument)
{
    auto* device = static_cast<DeviceInfo*>(argument);
    if (!RunGuarded("upgrade token", [device] { RequestUploadToken(device); }))
        Report(device, UpgradeFailed);
}

void UpgradeThroughHttp(DeviceInfo* device)
{
    // Not logged in (an ONVIF connection under these customer codes), or an
    // upload still running: the upgrade ends at once rather than never.
    if (!device->m_sdkDevice || device->m_pUpgradeThread) {
        Report(device, UpgradeFailed);
        return;
    }
    device->m_upgradeProgress = 0;
    if (!QueuePoolTask(&UploadTokenTask, device, false))
        Report(device, UpgradeFailed);
}
} // namespace

void UpgradeFirmware(DeviceInfo* device)
{
    if (UsesHttpApi())
        UpgradeThroughHttp(device);
    else
        UpgradeThroughSdk(device);
}

void StopUpgrade(DeviceInfo* device)
{
    if (UsesHttpApi()) {
        if (device->m_sdkDevice)
            device->Logout("stop upgrade");
    } else {
        std::lock_guard<std::mutex> lock(device->m_upgradeMutex);
        if (device->m_upgradeHandle != 0)
            ZVNetStopRemoteUpgrade(&device->m_upgradeHandle);
        device->m_upgradeHandle = 0;
    }
    device->m_upgradeProgress = 0;
}

bool StopUpload(QThread* uploadThread)
{
    if (auto* upload = qobject_cast<httpRequest*>(uploadThread))
        return upload->Stop(httpRequest::StopWaitMs());
    uploadThread->requestInterruption();
    return uploadThread->wait(QDeadlineTimer(httpRequest::StopWaitMs()));
}

void MarkUploadResultHandled(QThread* uploadThread)
{
    if (auto* upload = qobject_cast<httpRequest*>(uploadThread))
        upload->SetResultHandled();
}
} // namespace DeviceOps
