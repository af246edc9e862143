// Changing a device's network settings: through the SDK by its current
// address (no connection), through the HTTP API after the JSON login, and
// through ONVIF for devices an ONVIF search found.

#include "DeviceInfo.h"
#include "DeviceOperations.h"
#include "DeviceTaskListener.h"
#include "DeviceThread.h"
#include "DottedQuad.h"
#include "FixedText.h"
#include "Guarded.h"
#include "WorkerSupport.h"
#include "ZVAppSetting.h"
#include "ZVOnvif.h"

#include <cstring>

namespace
{
// An address text that does not parse leaves its four bytes 0.
void PutAddress(const QString& text, uint8_t (&field)[4])
{
    ParseDottedQuadBytes(text.toLatin1().constData(), field);
}

// What a successful change writes into the listed record; a field without
// its flag keeps its value.
struct RecordChange
{
    bool setIp = false, setNetmask = false, setGateway = false, setDns = false;
    bool setMediaPort = false, setWebPort = false;
    QString ip, netmask, gateway, dns1, dns2;
    uint32_t mediaPort = 0;
    uint32_t webPort = 0;
    uint32_t networkMode = 0;

    void ApplyTo(SearchDevRsp& record) const
    {
        if (setIp)
            CopyLatin1(ip, record.ip);
        if (setNetmask)
            CopyLatin1(netmask, record.netmask);
        if (setGateway)
            CopyLatin1(gateway, record.gateway);
        if (setDns) {
            CopyLatin1(dns1, record.dns1);
            CopyLatin1(dns2, record.dns2);
        }
        if (setMediaPort)
            record.mediaPort = mediaPort;
        if (setWebPort)
            record.webPort = webPort;
        record.networkMode = networkMode;
    }

    void SetIp(const QString& text)
    {
        setIp = true;
        ip = text;
    }
    void SetNetmask(const QString& text)
    {
        setNetmask = true;
        netmask = text;
    }
    void SetGateway(const QString& text)
    {
        setGateway = true;
        gateway = text;
    }
    void SetDns(const QString& first, const QString& second)
    {
        setDns = true;
        dns1 = first;
        dns2 = second;
    }
};

// The tables read the record on the device's thread, so a change made on a
// pool thread is handed over to it, ahead of the report that follows. After a
// connection the logout that follows on this thread reads the changed record:
// the change is waited for. Without one the end runs on the device's thread.
void ChangeRecord(DeviceInfo* device, const RecordChange& change, bool connected)
{
    if (connected)
        RunOnDeviceThreadAndWait(device, [device, &change] { change.ApplyTo(device->m_searchRsp); });
    else
        RunOnDeviceThread(device, [device, change] { change.ApplyTo(device->m_searchRsp); });
}

int ModifyBySdk(DeviceInfo* device)
{
    ZVNetNewDevInfo info;
    std::memset(&info, 0, sizeof(info));
    std::strcpy(info.version, "12");
    CopyLatin1(device->m_user, info.userName);
    CopyLatin1(device->m_password, info.password);
    PutAddress(device->Ip(), info.currentIp);
    PutAddress(device->m_newIp, info.newIp);
    PutAddress(device->m_newNetmask, info.netmask);
    PutAddress(device->m_newGateway, info.gateway);
    PutAddress(device->m_newDns1, info.dns1);
    PutAddress(device->m_newDns2, info.dns2);
    std::memcpy(info.mac, device->m_searchRsp.mac, sizeof(info.mac));
    info.mac[sizeof(info.mac) - 1] = '\0';
    std::memcpy(&info.deviceTypeCode,
        reinterpret_cast<const char*>(&device->m_searchRsp) + offsetof(SearchDevRsp, deviceTypeCode),
        sizeof(info.deviceTypeCode));
    info.mediaPort = device->m_newMediaPort;
    info.webPort = device->m_newWebPort;
    info.networkMode = static_cast<uint8_t>(device->m_newDhcp);
    info.flag225 = 1;
    if (ZVNetSetNewDevInfoEx(&info) == 0)
        return StatusFailed;

    RecordChange change;
    change.SetIp(device->m_newIp);
    change.SetNetmask(device->m_newNetmask);
    change.SetGateway(device->m_newGateway);
    change.SetDns(device->m_newDns1, device->m_newDns2);
    change.setMediaPort = true;
    change.mediaPort = device->m_newMediaPort;
    change.setWebPort = true;
    change.webPort = device->m_newWebPort;
    change.networkMode = static_cast<uint32_t>(device->m_newDhcp);
    ChangeRecord(device, change, false);
    return StatusOk;
}

int ModifyByHttp(DeviceInfo* device)
{
    Json::Value wan(Json::objectValue);
    wan["ip_address"] = device->m_newIp.toStdString();
    wan["dhcp"] = device->m_newDhcp == ZVNET_NET_MODE_DHCP;
    wan["subnet_mask"] = device->m_newNetmask.toStdString();
    wan["gateway"] = device->m_newGateway.toStdString();
    wan["dns1"] = device->m_newDns1.toStdString();
    wan["dns2"] = device->m_newDns2.toStdString();
    Json::Value web(Json::objectValue);
    web["service"] = "Web";
    web["protocol"] = "TCP";
    web["internal_port"] = device->m_newHttpPort;
    web["external_port"] = 80;
    Json::Value data(Json::objectValue);
    data["wan"] = wan;
    data["port"].append(web);

    DeviceOps::DeviceHttp http(*device);
    Json::Value reply;
    if (!http.PostForReply("/API/NetworkConfig/NetBase/Set", DeviceOps::RequestBody(data), reply))
        return StatusFailed;

    // The listed address stays: the device is still found by its old one
    // until the next search.
    RecordChange change;
    change.SetNetmask(device->m_newNetmask);
    change.SetGateway(device->m_newGateway);
    change.SetDns(device->m_newDns1, device->m_newDns2);
    change.setWebPort = true;
    change.webPort = device->m_newWebPort;
    change.networkMode = device->m_newDhcp == ZVNET_NET_MODE_DHCP ? ZVNET_NET_MODE_DHCP : ZVNET_NET_MODE_STATIC;
    ChangeRecord(device, change, true);
    return StatusOk;
}
// The search page learns whether the change took (its whole row or only its
// status cell changes); the device information page only that it is over.
void ReportChange(DeviceInfo* device)
{
    const bool ok = device->m_status == StatusOk;
    RunOnDeviceThread(device, [device, ok] {
        if (DeviceTaskListener* search = device->m_pSearchFrame) {
            RunGuarded("report", [=] {
                if (auto* change = dynamic_cast<NetworkChangeListener*>(search))
                    change->OnDeviceTaskFinished(device, ok, true);
                else
                    search->OnDeviceTaskFinished(device, true);
            });
        }
        if (DeviceTaskListener* info = device->m_pDeviceInfoFrame)
            RunGuarded("report", [=] { info->OnDeviceTaskFinished(device, true); });
    });
}
} // namespace

namespace DeviceOps
{
void ModifyNetwork(DeviceInfo* device)
{
    device->m_status = UsesHttpApi() ? ModifyByHttp(device) : ModifyBySdk(device);
    ReportChange(device);
}

void ModifyOnvifNetwork(DeviceInfo* device)
{
    ZVOnvifNetworkParam block;
    std::memset(&block, 0, sizeof(block));
    block.size = sizeof(block);
    if (ZVAppSetting::Instance()->m_onvifTimeoutSet) {
        ZVNetQueryParamExReq query;
        std::memset(&query, 0, sizeof(query));
        query.paramId = ZVONVIF_PARAM_NETWORK;
        query.buffer = &block;
        query.bufferSize = sizeof(block);
        if (ZVOnvifQueryParamEx(device->m_handle, &query) != ZVNET_OK) {
            device->m_status = StatusFailed;
            return;
        }
    }
    if (!device->m_newIp.isEmpty())
        PutAddress(device->m_newIp, block.ip);
    if (!device->m_newNetmask.isEmpty())
        PutAddress(device->m_newNetmask, block.netmask);
    if (!device->m_newGateway.isEmpty())
        PutAddress(device->m_newGateway, block.gateway);
    if (device->m_newWebPort != 0)
        block.webPort = device->m_newWebPort;
    block.networkMode = static_cast<uint8_t>(device->m_newDhcp);

    ZVNetSetParamReq set;
    std::memset(&set, 0, sizeof(set));
    set.paramId = ZVONVIF_PARAM_NETWORK;
    set.block = &block;
    if (ZVOnvifSetParam(device->m_handle, &set) != ZVNET_OK) {
        device->m_status = StatusFailed;
        return;
    }
    RecordChange change;
    if (!device->m_newIp.isEmpty())
        change.SetIp(device->m_newIp);
    if (!device->m_newNetmask.isEmpty())
        change.SetNetmask(device->m_newNetmask);
    if (!device->m_newGateway.isEmpty())
        change.SetGateway(device->m_newGateway);
    change.setWebPort = device->m_newWebPort != 0;
    change.webPort = device->m_newWebPort;
    change.networkMode = static_cast<uint32_t>(device->m_newDhcp);
    ChangeRecord(device, change, true);
    device->m_status = StatusOk;
}
} // namespace DeviceOps
