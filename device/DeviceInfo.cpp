#include "DeviceInfo.h"

#include "DeviceOperations.h"
#include "FixedText.h"
#include "LanguageTexts.h"
#include "LiveDevices.h"
#include "PasswordCrypto.h"
#include "ZVAppSetting.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>

namespace
{
// Text id of each status from StatusNone (-1) to StatusResetting (39); 0 = no text.
constexpr TextId kStatusTexts[] = {
    0, // -1
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, // 0-9
    25, 26, 27, 28, 29, 30, 121, 122, 123, 124, // 10-19 (12 gets its progress added)
    140, 141, 0, 0, 186, 201, 202, 203, 204, 205, // 20-29
    206, 76, 225, 75, 226, 230, 231, 232, 233, 237, // 30-39
};
constexpr int kFirstStatus = StatusNone;
constexpr int kStatusCount = static_cast<int>(sizeof(kStatusTexts) / sizeof(kStatusTexts[0]));
static_assert(kStatusCount == StatusResetting - kFirstStatus + 1);

const char* const kEncodeTypes[] = { "H264", "H265", "MJPEG", "H264+", "H265+" };

// A device found by ONVIF has nothing beyond the p2p id's offset.
constexpr std::size_t kOnvifRecordEnd = offsetof(SearchDevRsp, p2pId);

// Address fields hold at most 15 characters; an unterminated one is cut so
// that no reader of the copy runs past it.
void TerminateAddressFields(SearchDevRsp& record)
{
    record.ip[sizeof(record.ip) - 1] = '\0';
    record.netmask[sizeof(record.netmask) - 1] = '\0';
    record.gateway[sizeof(record.gateway) - 1] = '\0';
    record.dns1[sizeof(record.dns1) - 1] = '\0';
    record.dns2[sizeof(record.dns2) - 1] = '\0';
}

bool IsAsciiLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int IndexOf(const char* const* names, int count, const QString& text)
{
    for (int i = 0; i < count; ++i) {
        if (text == QLatin1String(names[i]))
            return i;
    }
    return -1;
}

bool ValidKind(int kind)
{
    return kind >= 0 && kind < TableKindCount;
}

template <typename Record> void AppendRecord(std::vector<Record> DeviceInfo::*records, const void* record, void* user)
{
    if (!record || !user)
        return;
    Record copy;
    std::memcpy(&copy, record, sizeof(Record));
    (static_cast<DeviceInfo*>(user)->*records).push_back(copy);
}
} // namespace

const char* const DeviceInfo::ResolutionNames[ResolutionCount] = {
    "176*144",
    "352*288",
    "352*576",
    "704*288",
    "704*576",
    "236*144",
    "464*288",
    "464*576",
    "928*288",
    "928*576",
    "320*240",
    "640*480",
    "1024*768",
    "1400*1050",
    "1600*1200",
    "2048*1536",
    "854*480",
    "1680*1050",
    "1920*1200",
    "2560*1600",
    "1280*720",
    "1920*1080",
    "1920*1080",
    "720*576",
    "1280*960",
    "2048*1536",
    "2592*1944",
    "2048*1520",
    "2304*1296",
    "3840*2160",
    "2048*1536",
    "240*240",
    "256*256",
    "480*480",
    "512*512",
    "720*720",
    "1024*1024",
    "1080*1080",
    "1280*1280",
    "1520*1520",
    "1536*1536",
    "1920*1920",
    "1944*1944",
    "1960*1960",
    "1984*1984",
    "2016*2016",
    "2048*2048",
    "2064*2064",
    "2080*2080",
    "2096*2096",
    "2128*2128",
    "2144*2144",
    "2160*2160",
    "2560*2560",
    "2832*2832",
    "2848*2848",
    "2864*2864",
    "2880*2880",
    "2896*2896",
    "2912*2912",
    "2928*2928",
    "2944*2944",
    "2960*2960",
    "2976*2976",
    "3000*3000",
    "3000*3000",
    "3072*1728",
    "2880*2160",
    "2560*1440",
    "2944*1656",
    "2880*1620",
    "4096*3072",
};

DeviceInfo::DeviceInfo(QObject* parent)
    : QObject(parent)
{
    std::memset(&m_searchRsp, 0, sizeof(m_searchRsp));
    std::memset(&m_paramBlock, 0, sizeof(m_paramBlock));
    std::memset(&m_userListHeader, 0, sizeof(m_userListHeader));
    const ZVAppSetting* settings = ZVAppSetting::Instance();
    m_user = settings->m_defaultUser;
    m_password = settings->m_defaultPassword;
    RegisterLiveDevice(this);
}

DeviceInfo::~DeviceInfo()
{
    // From here on no SDK callback reaches this device, and what it had open
    // is stopped so that nothing calls back into freed memory.
    UnregisterLiveDevice(this);
    // Work on pool threads uses the device until it returns.
    WaitForOffThreadWork();
    // A running upload reports here: it is interrupted and waited for within
    // a bound (it notices within about a second), and its result goes nowhere.
    if (QThread* upload = m_pUpgradeThread) {
        m_pUpgradeThread = nullptr;
        QObject::disconnect(upload, nullptr, this, nullptr);
        if (DeviceOps::StopUpload(upload))
            delete upload;
    }
    StopSdkSessions();
}

void DeviceInfo::InitFromSearchRsp(const SearchDevRsp* record, bool onvif)
{
    if (!record)
        return;
    std::memcpy(&m_searchRsp, record, sizeof(m_searchRsp));
    TerminateAddressFields(m_searchRsp);
    if (onvif) {
        std::memset(reinterpret_cast<char*>(&m_searchRsp) + kOnvifRecordEnd, 0, sizeof(m_searchRsp) - kOnvifRecordEnd);
        m_searchRsp.networkMode = ZVNET_NET_MODE_STATIC;
        m_searchRsp.mediaPort = 0;
    }
    m_bOnvif = onvif;
}

void DeviceInfo::SetSdkResetGroups(bool display, bool record, bool advanced, bool intelligent, bool network,
    bool device, bool system, bool exceptNetwork, bool pairing, bool alarm, bool all)
{
    const bool groups[]
        = { display, record, advanced, intelligent, network, device, system, exceptNetwork, pairing, alarm, all };
    for (int i = 0; i < 11; ++i)
        m_resetGroups[i] = groups[i] ? 1 : 0;
    m_resetMode = 0;
}

void DeviceInfo::SetHttpResetGroups(bool ai, bool alarm, bool channel, bool device, bool network, bool record,
    bool system, bool event, bool exceptNetworkParams)
{
    const bool groups[] = { ai, alarm, channel, device, network, record, system, event, exceptNetworkParams };
    for (int i = 0; i < 9; ++i)
        m_resetGroups[11 + i] = groups[i] ? 1 : 0;
    m_resetMode = 1;
}

void DeviceInfo::SetFactoryInfo(const ZVNetFactoryInfo* block)
{
    if (block)
        std::memcpy(&m_paramBlock, block, sizeof(m_paramBlock));
}

void DeviceInfo::SetKeyIdAndBoardId(const QString& keyId, const QString& boardId)
{
    m_keyId = keyId;
    m_boardId = boardId;
}

void DeviceInfo::SetOsdParams(int nameX, int nameY, int dateX, int dateY, const QString& channelName)
{
    m_osdNameX = nameX;
    m_osdNameY = nameY;
    m_osdDateX = dateX;
    m_osdDateY = dateY;
    m_osdChannelName = channelName;
}

void DeviceInfo::SetNetworkParams(const QString& ip, quint16 mediaPort, quint16 webPort, const QString& gateway,
    const QString& netmask, int dhcp, const QString& dns1, const QString& dns2)
{
    const quint16 keptWebPort = m_newWebPort;
    SetNetworkAddress(ip, mediaPort, webPort, gateway, netmask, dhcp);
    // The HTTP API devices take their new web port through a field of their own.
    if (UsesHttpApi()) {
        m_newHttpPort = m_newWebPort;
        m_newWebPort = keptWebPort;
    }
    m_newDns1 = dns1.isEmpty() ? FieldText(m_searchRsp.dns1) : dns1;
    m_newDns2 = dns2.isEmpty() ? FieldText(m_searchRsp.dns2) : dns2;
}

void DeviceInfo::SetNetworkAddress(
    const QString& ip, quint16 mediaPort, quint16 webPort, const QString& gateway, const QString& netmask, int dhcp)
{
    m_newIp = ip.isEmpty() ? Ip() : ip;
    m_newMediaPort = mediaPort != 0 ? mediaPort : static_cast<quint16>(m_searchRsp.mediaPort);
    m_newWebPort = webPort != 0 ? webPort : static_cast<quint16>(m_searchRsp.webPort);
    m_newGateway = gateway.isEmpty() ? Gateway() : gateway;
    m_newNetmask = netmask.isEmpty() ? Netmask() : netmask;
    m_newDhcp = dhcp;
}

void DeviceInfo::SetDateTime(const QDateTime& dateTime)
{
    m_dateTime = dateTime;
}

void DeviceInfo::SetParams(const QString& user, const QString& password, const QString& newPassword,
    const QString& confirmPassword, const QString& fpsText, const QString& encodingText, const QString& resolutionText,
    int streamIndex, int bitrateIndex, int customBitrate, int bitrateMode)
{
    m_user = user;
    m_password = password;
    m_newPassword = newPassword;
    m_confirmPassword = confirmPassword;

    if (UsesHttpApi()) {
        m_resolutionText = resolutionText;
        m_fpsText = fpsText;
        m_encodeTypeText = encodingText;
        m_streamIndex = streamIndex;
        m_customBitrate = customBitrate;
        m_bitrateMode = bitrateMode;
        return;
    }

    // The first matching row wins, so repeated texts never give the later rows.
    const int resolution = IndexOf(ResolutionNames, ResolutionCount, resolutionText);
    if (resolution >= 0)
        m_resolutionIndex = resolution;
    const int encodeType = IndexOf(kEncodeTypes, 5, encodingText);
    if (encodeType >= 0)
        m_encodeTypeIndex = encodeType;
    m_fps = fpsText.toInt();
    m_streamIndex = streamIndex;
    m_bitrateIndex = bitrateIndex;
    m_customBitrate = customBitrate;
    m_bitrateMode = bitrateMode;
    m_resolutionName = resolutionText;
}

void DeviceInfo::SetDeviceNameType(
    const QString& user, const QString& password, const QString& name, const QString& type)
{
    m_user = user;
    m_password = password;
    m_newDeviceName = name.toLatin1().toStdString();
    m_newDeviceType = type.toLatin1().toStdString();
}

QString DeviceInfo::Ip() const
{
    return FieldText(m_searchRsp.ip);
}

QString DeviceInfo::DeviceName() const
{
    return FieldText(m_searchRsp.deviceName);
}

QString DeviceInfo::P2pId() const
{
    if (!IsAsciiLetterOrDigit(m_searchRsp.p2pId[0]))
        return QString();
    return FieldText(m_searchRsp.p2pId);
}

int DeviceInfo::ChannelCount() const
{
    return m_searchRsp.channelCount > 0 ? m_searchRsp.channelCount : m_searchRsp.channelNumber;
}

QString DeviceInfo::DeviceType() const
{
    return FieldText(m_searchRsp.deviceType);
}

QString DeviceInfo::DeviceVersion() const
{
    return FieldText(m_searchRsp.deviceVersion);
}

QString DeviceInfo::Netmask() const
{
    return FieldText(m_searchRsp.netmask);
}

QString DeviceInfo::Gateway() const
{
    return FieldText(m_searchRsp.gateway);
}

QString DeviceInfo::Mac() const
{
    return FieldText(m_searchRsp.mac);
}

QString DeviceInfo::Manufacture() const
{
    return FieldText(m_searchRsp.manufacture);
}

bool DeviceInfo::IsInitialized() const
{
    return m_searchRsp.isFirstLogin == 0;
}

QString DeviceInfo::NetModeText() const
{
    switch (m_searchRsp.networkMode) {
    case ZVNET_NET_MODE_DHCP: return LanguageText(56);
    case ZVNET_NET_MODE_PPPOE: return LanguageText(57);
    case ZVNET_NET_MODE_STATIC: return LanguageText(58);
    case ZVNET_NET_MODE_3G: return LanguageText(188);
    case ZVNET_NET_MODE_WIFI: return LanguageText(187);
    default: return LanguageText(55);
    }
}

QString DeviceInfo::StatusText() const
{
    const int status = m_status;
    const int slot = status - kFirstStatus;
    if (slot < 0 || slot >= kStatusCount || kStatusTexts[slot] == 0)
        return QString();
    if (status == StatusUpgrading)
        return QStringLiteral("%1%2").arg(LanguageText(27), QString::number(m_upgradeProgress));
    return LanguageText(kStatusTexts[slot]);
}

QString DeviceInfo::DateText() const
{
    const int year = m_searchRsp.year;
    const int month = m_searchRsp.month;
    const int day = m_searchRsp.day;
    if (year == 0 || month < 1 || month > 12 || day < 1 || day > 31)
        return QString();
    return QStringLiteral("%1-%2-%3").arg(year).arg(month).arg(day);
}

QString DeviceInfo::VersionMatchText() const
{
    if (m_deviceVersionText.isEmpty() || m_matchVersion.isEmpty())
        return QString();
    return LanguageText(m_deviceVersionText.compare(m_matchVersion, Qt::CaseInsensitive) == 0 ? 146 : 147);
}

int DeviceInfo::CheckState(int kind) const
{
    return ValidKind(kind) ? m_checkStates[kind] : 0;
}

void DeviceInfo::SetCheckState(int kind, int state)
{
    if (ValidKind(kind))
        m_checkStates[kind] = state;
}

QModelIndex DeviceInfo::LastColumnIndex(int kind) const
{
    return ValidKind(kind) ? m_lastColumnIndexes[kind] : QModelIndex();
}

void DeviceInfo::SetLastColumnIndex(int kind, const QModelIndex& index)
{
    if (ValidKind(kind))
        m_lastColumnIndexes[kind] = index;
}

void DeviceInfo::OnUserRecord(const void* record, void* user)
{
    AppendRecord(&DeviceInfo::m_userRecords, record, user);
}

void DeviceInfo::OnUserListHeader(const void* header, void* user)
{
    if (header && user)
        std::memcpy(&static_cast<DeviceInfo*>(user)->m_userListHeader, header, sizeof(ZVNetUserHeader));
}

void DeviceInfo::OnStreamRecord(const void* record, void* user)
{
    AppendRecord(&DeviceInfo::m_streamRecords, record, user);
}

void DeviceInfo::OnOsdRecord(const void* record, void* user)
{
    AppendRecord(&DeviceInfo::m_osdRecords, record, user);
}

bool DeviceInfo::Pbkdf2Sha256Base64(const std::string& saltBase64, std::string& cipher, int iterations) const
{
    return SecondaryAuthentication(m_password.toLatin1().toStdString(), saltBase64, iterations, cipher);
}

bool DeviceInfo::EncryptPasswordX25519(const std::string& deviceKey, std::string& peerKey, std::string& cipher) const
{
    return EncryptedPassword(m_newPassword.toLatin1().toStdString(), deviceKey, peerKey, cipher);
}
