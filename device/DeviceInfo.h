#pragma once

#include "DeviceEvents.h"
#include "ZVNet.h"
#include "ZVSDKWrapper.h"
#include "ZVTypes.h"

#include <QDateTime>
#include <QModelIndex>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class DeviceTaskListener;
class QThread;

// The operation a device is connected for; stored before connecting and acted
// upon when the connection result arrives. 12 is not used.
enum DeviceOperation : int
{
    OpModifyNetwork = 0,
    OpUpgrade = 1,
    OpSetFactoryInfo = 2,
    OpDefault = 3,
    OpPTZDefault = 4,
    OpExportParam = 5,
    OpImportParam = 6,
    OpEnableNTP = 7,
    OpModifyOnvifNetwork = 8,
    OpQueryNetwork = 9,
    OpQueryVersion = 10,
    OpMatchVersion = 11,
    OpChangePassword = 13,
    OpQueryStream = 14,
    OpSetStream = 15,
    OpSetTime = 16,
    OpSetOsd = 17,
    OpQueryOsd = 18,
    OpRecovery = 19,
    OpInitial = 20,
    OpReboot = 21,
    OpChangeDevice = 22,
};

// The result the device tables show (DeviceInfo::StatusText). 22 and 23 are
// reserved.
enum DeviceStatus : int
{
    StatusNone = -1,
    StatusConnected = 0,
    StatusConnectFailed = 1,
    StatusParamError = 2,
    StatusRefused = 3,
    StatusWaiting = 4,
    StatusOk = 5,
    StatusFailed = 6,
    StatusUpgradeFailed = 7,
    StatusUpgradeOk = 8,
    StatusUpgradeError = 9,
    StatusUpgrade392 = 10,
    StatusUpgrade393 = 11,
    StatusUpgrading = 12,
    StatusUpgrade395 = 13,
    StatusUpgrade396 = 14,
    StatusUpgrade764 = 15,
    StatusExportOk = 16,
    StatusExportFailed = 17,
    StatusImportOk = 18,
    StatusImportFailed = 19,
    StatusQueryOk = 20,
    StatusQueryFailed = 21,
    StatusAlarm = 24,
    StatusRequestFailed = 25,
    StatusNoFirstLogin = 26,
    StatusInitFailed = 27,
    StatusInitUnavailable = 28,
    StatusInitOk = 29,
    StatusFirstLogin = 30,
    StatusRebootFailed = 31,
    StatusRebootRequestFailed = 32,
    StatusRebootOk = 33,
    StatusRebooting = 34,
    StatusChangeFailed = 35,
    StatusChangeUnsupported = 36,
    StatusChangeOk = 37,
    StatusChanging = 38,
    StatusResetting = 39,
};

// The device tables, one per page; each keeps its own check state per device.
enum TableKind : int
{
    TableKindSearch = 0,
    TableKindUpgrade = 1,
    TableKindDeviceInfo = 2,
    TableKindImportExport = 3,
    TableKindChangePassword = 4,
    TableKindExportExcel = 5,
    TableKindExtranetSearch = 6,
    TableKindStreamConfig = 7,
    TableKindOsdConfig = 8,
    TableKindRecovery = 9,
    TableKindInitial = 10,
    TableKindReboot = 11,
    TableKindChangeDevice = 12,
    TableKindCount = 13,
};

// The page families a device reports to; NotifyRequesters calls them in this
// order.
enum Requester : unsigned
{
    RequesterSearch = 1u << 0,
    RequesterUpgrade = 1u << 1,
    RequesterImportExport = 1u << 2,
    RequesterChangePassword = 1u << 3,
    RequesterExportExcel = 1u << 4,
    RequesterDeviceInfo = 1u << 5,
    RequesterExtranetSearch = 1u << 6,
    RequesterStreamConfig = 1u << 7,
    RequesterOsdConfig = 1u << 8,
    RequesterRecovery = 1u << 9,
    RequesterInitial = 1u << 10,
    RequesterReboot = 1u << 11,
    RequesterChangeDevice = 1u << 12,
    AllRequesters = (1u << 13) - 1,
};

// Device family byte of ZVNetConnParam for a customer code.
uint8_t SdkDeviceType(int company);

// How many of the waits for the report of a start that gave no handle have
// run out, whether or not they ended the attempt. For tests: past that point
// nothing else ends the attempt.
unsigned StartReportGraceChecks();

// One listed device. Lives on the GUI thread; pages fill it before queuing an
// operation, workers read it on pool threads, the tables read it for display.
class DeviceInfo : public QObject
{
    Q_OBJECT

public:
    explicit DeviceInfo(QObject* parent = nullptr);
    ~DeviceInfo() override;

    // Setters the pages call before queuing an operation.
    void InitFromSearchRsp(const SearchDevRsp* record, bool onvif);
    void SetSdkResetGroups(bool display, bool record, bool advanced, bool intelligent, bool network, bool device,
        bool system, bool exceptNetwork, bool pairing, bool alarm, bool all);
    void SetHttpResetGroups(bool ai, bool alarm, bool channel, bool device, bool network, bool record, bool system,
        bool event, bool exceptNetworkParams);
    void SetFactoryInfo(const ZVNetFactoryInfo* block);
    void SetKeyIdAndBoardId(const QString& keyId, const QString& boardId);
    void SetOsdParams(int nameX, int nameY, int dateX, int dateY, const QString& channelName);
    void SetNetworkParams(const QString& ip, quint16 mediaPort, quint16 webPort, const QString& gateway,
        const QString& netmask, int dhcp, const QString& dns1, const QString& dns2);
    void SetNetworkAddress(const QString& ip, quint16 mediaPort, quint16 webPort, const QString& gateway,
        const QString& netmask, int dhcp);
    void SetDateTime(const QDateTime& dateTime);
    void SetParams(const QString& user, const QString& password, const QString& newPassword,
        const QString& confirmPassword, const QString& fpsText, const QString& encodingText,
        const QString& resolutionText, int streamIndex, int bitrateIndex, int customBitrate, int bitrateMode);
    void SetDeviceNameType(const QString& user, const QString& password, const QString& name, const QString& type);

    // Accessors for the tables and pages.
    QString Ip() const;
    QString DeviceName() const;
    QString P2pId() const;
    int ChannelCount() const;
    QString DeviceType() const;
    QString DeviceVersion() const;
    QString Netmask() const;
    QString Gateway() const;
    QString Mac() const;
    QString Manufacture() const;
    bool IsInitialized() const;
    QString NetModeText() const;
    QString StatusText() const;
    QString DateText() const;
    QString VersionMatchText() const;

    // Per-table state; a kind outside the table kinds reads 0 / an invalid
    // index and is not stored.
    int CheckState(int kind) const;
    void SetCheckState(int kind, int state);
    QModelIndex LastColumnIndex(int kind) const;
    void SetLastColumnIndex(int kind, const QModelIndex& index);

    // Connection and result dispatch. A task entry stores the operation and
    // connects on a pool thread; the result comes back as a QConnectEvent that
    // customEvent handles on the GUI thread. Each connection attempt ends
    // exactly once: with the first result that arrives for it.

    // Starts the connection (ONVIF, JSON login or ZVNet); pool thread.
    void ConnectDevice();
    // The initialise operation's first-login probe, run instead of connecting.
    void CheckFirstLogin();
    // Starts an attempt: the next connection result ends it (ConnectDevice and
    // CheckFirstLogin begin with it).
    void ExpectConnectResult();
    // Ends whatever connection, login or session is open; safe when none is.
    void Logout(const char* caller = "");
    // Calls OnDeviceTaskFinished of each requesting page of the set, in page
    // order, on the device's thread: at once there, queued from any other
    // thread (and dropped if the device is deleted before it runs).
    void NotifyRequesters(bool finished, unsigned requesters = AllRequesters);
    // How every pool worker ends: stores status, reports finished false to
    // its pages on the device's thread, then logs out on a pool thread and
    // releases the device. shown, when given, stores what the worker found for
    // the tables and pages: on the device's thread, in the same event, before
    // the pages hear (a pool thread writes nothing the GUI thread reads).
    void EndWorker(int status, unsigned requesters = AllRequesters, std::function<void(DeviceInfo&)> shown = {});
    // Runs work on a task-pool thread, so that the device's own thread never
    // waits on the network; the device is not destroyed before the work has
    // returned. False when the pool takes no more work (shutting down): then
    // nothing ran.
    bool RunOffDeviceThread(std::function<void()> work);
    // True while such work, or the end of a pool worker (EndWorker until its
    // logout has run), is under way.
    bool HasOffThreadWork() const;
    // An SDK upgrade start that gave no handle: unless the SDK reports on the
    // upgrade within the grace time, it ends as failed (390). Any thread.
    void EndSilentUpgradeLater();
    // Guards m_upgradeHandle between the upgrade's start and its stop, both of
    // which run on pool threads.
    std::mutex m_upgradeMutex;

    // A device is busy from the moment a page queues an operation for it
    // (QueueDeviceTask) until that operation has ended and its pages have
    // heard so (EndOperation); a busy device is never deleted. GUI thread.
    void AddBusy();
    void ReleaseBusy();
    bool IsBusy() const { return m_busyCount > 0; }
    // Deletes the device now when it is not busy, else once its last
    // operation has ended. GUI thread.
    void DeleteWhenIdle();
    // How every operation ends: reports to the requesting pages as
    // NotifyRequesters does, then releases the use its queued task took.
    void EndOperation(bool finished, unsigned requesters = AllRequesters);

    // The password protections of the HTTP API, for the login password and the
    // new password. Both report failure; on failure the outputs are empty.
    bool Pbkdf2Sha256Base64(const std::string& saltBase64, std::string& cipher, int iterations) const;
    bool EncryptPasswordX25519(const std::string& deviceKey, std::string& peerKey, std::string& cipher) const;

    // SDK callbacks (user = the device). They run on SDK threads, reach a
    // device only while it exists, and do nothing but store and post.
    static void OnConnectStatus(int code, void* user);
    static void OnConnectAlarm(int code, const void* data, int size, void* user);
    static void OnLoginResult(const char* json, void* user);
    static void OnLoginEvent(int event, const char* text, void* user);
    static void OnUpgradeProgress(int code, const void* info, void* user);
    // The parameter export's data: header and size bytes, on the thread that
    // called the export; asks where to save them (ExportPath.h).
    static void OnExportData(const char* data, int size, void* user);

    // SDK query collectors: called on the SDK's thread, during the query call of
    // the worker that owns the device, once per record (user = the device).
    static void OnUserRecord(const void* record, void* user);
    static void OnUserListHeader(const void* header, void* user);
    static void OnStreamRecord(const void* record, void* user);
    static void OnOsdRecord(const void* record, void* user);

    // The SDK resolution index of each resolution text; some texts repeat.
    static constexpr int ResolutionCount = 72;
    static const char* const ResolutionNames[ResolutionCount];

    SearchDevRsp m_searchRsp;
    // Read by pages on the GUI thread while workers change them on pool threads.
    std::atomic<bool> m_bLogin { false };
    int m_operation = 0;
    std::atomic<int> m_status { StatusNone };
    std::atomic<int> m_upgradeProgress { -1 };

    // Requesting page of each page family; null when not requesting.
    DeviceTaskListener* m_pSearchFrame = nullptr;
    DeviceTaskListener* m_pUpgradeFrame = nullptr;
    DeviceTaskListener* m_pDeviceInfoFrame = nullptr;
    DeviceTaskListener* m_pImportExportFrame = nullptr;
    DeviceTaskListener* m_pChangePassword = nullptr;
    DeviceTaskListener* m_pExportExcel = nullptr;
    DeviceTaskListener* m_pExtranetsearchFrame = nullptr;
    DeviceTaskListener* m_pStreamConfigFrame = nullptr;
    DeviceTaskListener* m_pOSDConfig = nullptr;
    DeviceTaskListener* m_pRecoveryDevice = nullptr;
    DeviceTaskListener* m_pInitialDevice = nullptr;
    DeviceTaskListener* m_pRebootDevice = nullptr;
    DeviceTaskListener* m_pChangeDevice = nullptr;
    // Indexed by TableKind.
    int m_checkStates[TableKindCount] = {};
    QModelIndex m_lastColumnIndexes[TableKindCount];

    // Network change.
    QString m_newIp;
    quint16 m_newMediaPort = 0;
    quint16 m_newWebPort = 0;
    QString m_newGateway;
    QString m_newNetmask;
    int m_newDhcp = 2;
    QString m_newDns1;
    QString m_newDns2;

    QString m_user;
    QString m_password;

    // Stream settings.
    QString m_encodeTypeText;
    QString m_resolutionText;
    QString m_fpsText;
    int m_bitrateMode = 0;
    int m_customBitrate = 0;
    int m_bitrateIndex = 0;
    int m_streamIndex = 0;
    QString m_bitrateModeText;

    QDateTime m_dateTime;

    // On-screen display.
    QString m_osdChannelName;
    int m_osdNameX = 0;
    int m_osdNameY = 0;
    int m_osdDateX = 0;
    int m_osdDateY = 0;
    QString m_osdNamePos;
    QString m_osdDatePos;

    int m_handle = 0;
    int m_upgradeHandle = 0;
    QString m_deviceVersionText;
    QString m_matchVersion;
    QString m_upgradeFilePath;
    QString m_importFilePath;
    QString m_keyId;
    QString m_boardId;
    ZVNetFactoryInfo m_paramBlock;
    bool m_bOnvif = false;
    int m_httpsCheckState = 0;
    // Bytes 0-10: SDK groups; bytes 11-19: HTTP groups.
    uint8_t m_resetGroups[20] = {};
    int m_resetMode = 0;
    uint8_t m_resetRange[10] = {};
    std::string m_newDeviceType;
    std::string m_newDeviceName;
    zv_device_handle m_sdkDevice = nullptr;
    std::string m_cookie;
    std::string m_token;
    QThread* m_pUpgradeThread = nullptr;
    bool m_bHttps = false;
    int m_deviceType = 0;
    int m_newHttpPort = 0;
    QString m_newPassword;
    QString m_confirmPassword;
    std::vector<ZVNetUserParam> m_userRecords;
    std::vector<ZVNetStreamParam> m_streamRecords;
    std::vector<ZVNetOsdParam> m_osdRecords;
    int m_encodeTypeIndex = 0;
    int m_resolutionIndex = 0;
    QString m_resolutionName;
    int m_fps = 0;
    ZVNetUserHeader m_userListHeader;

public slots:
    // The HTTP upload has ended.
    void checkUpgradeResult(bool ok);

protected:
    void customEvent(QEvent* event) override;

private:
    void OnConnectEvent(int code);
    void OnUpgradeEvent(const QUpgradeEvent& event);
    void RunConnectedOperation();
    void CallRequesters(bool finished, unsigned requesters);
    // Ends an attempt that never reached a connection (first-login probe).
    void EndAttempt(int status);
    void StartJsonLogin();
    int StartSdkConnection();
    void EndSilentStartLater();
    void EndAttemptAfter(int delayMs, std::atomic<unsigned>* checks);
    void StopSdkSessions();
    // Stops the SDK connection of m_handle, if any, by its family.
    void StopConnectionHandle();
    // The operations that end on a pool thread: logout and report there.
    void RunDirectOperation();
    void EndFailedConnection();
    void EndUpgrade(int status);
    // Logs out where it cannot block the device's thread, then reports the
    // device finished.
    void LogoutAndEnd(const char* caller);
    void EndLoginWaitLater();
    void WaitForOffThreadWork();
    void EndOffThreadWork();

    // Guards the start of a connection: ConnectDevice stores its handle under
    // it, and a result that arrives before that waits in m_earlyResults.
    std::mutex m_connectMutex;
    bool m_bStarting = false;
    std::vector<int> m_earlyResults;
    // A connection attempt waits for its result; the first result clears it.
    std::atomic<bool> m_bAwaitingConnect { false };
    // Numbers the attempts, so that a late fallback cannot end a newer one.
    std::atomic<unsigned> m_connectAttempt { 0 };
    // Work of RunOffDeviceThread (and of EndWorker's logout) still running.
    mutable std::mutex m_workMutex;
    std::condition_variable m_workDone;
    int m_workInFlight = 0;
    // Set by the first final upgrade event, cleared by the next attempt: a
    // late upgrade report cannot end the device twice. Device thread only.
    bool m_bUpgradeEnded = false;
    // Upgrade events of the running upgrade, and the upgrades started.
    int m_upgradeEvents = 0;
    unsigned m_upgradeAttempt = 0;
    // Operations queued and not yet ended; GUI thread only.
    int m_busyCount = 0;
    bool m_bDeleteWhenIdle = false;
};
