#pragma once

// A device that speaks the device side of ZVNP at its own address. Every
// public function is thread-safe; the destructor stops and joins all threads.

#include "DeviceState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fakedevice
{
inline constexpr uint16_t kDefaultUdpPort = 9610;
inline constexpr uint16_t kDefaultTcpPort = 9611;

// Faults a test can switch on at any time. Reply faults apply to the replies
// of faultType only (0: every reply, CHALLENGE included).
struct Faults
{
    bool noAnswer = false; // drop every datagram; accept connections but never send
    bool noSearchAnswer = false; // only searches go unanswered
    int replyDelayMs = 0; // before every reply (bounded to 30 s)
    uint16_t faultType = 0; // request type the reply faults below apply to
    bool dropMidReply = false; // send half of the reply frame, then close
    bool dropBeforeReply = false; // close instead of replying
    bool truncatedReply = false; // payload cut to half its length
    bool oversizedReply = false; // 64 extra payload bytes
    bool randomPayload = false; // payload replaced by random bytes of random length
    bool hugeLength = false; // header length field above the limit
    bool badMagic = false; // header magic broken
    uint32_t replyStatus = 0; // non-zero: header status of every faulty reply (e.g. 0x102)
    uint32_t loginCode = 0; // non-zero: LOGIN_RESULT code after a good proof (e.g. 104, 112)
    uint32_t refuseCode = 0; // non-zero: unsolicited LOGIN_RESULT with this code instead of CHALLENGE
    int upgradeFailPercent = -1; // >= 0: refuse the chunk that reaches this percent
    int upgradeDropPercent = -1; // >= 0: close the connection on the chunk that reaches this percent
    uint32_t upgradeFinalCode = 0; // non-zero: UPGRADE_END answers this code (391 otherwise)
    uint32_t savePasswordCode = 0; // non-zero: SAVE_PASSWORD answers this code
    bool emptyRecordLists = false; // QUERY_PARAM answers every record list with no record
};

// One request as the device read it. Masked payloads (users, first password)
// are recorded unmasked.
struct Received
{
    bool udp = false;
    uint16_t type = 0;
    uint32_t requestId = 0;
    Bytes payload;
    std::string peer; // "a.b.c.d:port"
    std::chrono::system_clock::time_point at; // when the device read it, by the host's clock
};

struct UpgradeRecord
{
    uint32_t upgradeType = 0;
    uint64_t announcedSize = 0;
    uint64_t receivedSize = 0;
    std::string sha256; // lower-case hex of the received bytes, set when the upload ended
    bool ended = false; // UPGRADE_END received
    uint32_t finalCode = 0;
};

class FakeDevice
{
public:
    struct Options
    {
        uint16_t udpPort = kDefaultUdpPort;
        // Also listen on 0.0.0.0:udpPort for broadcast searches (namespace LANs only).
        bool broadcast = false;
        int sessionIdleSeconds = 60;
        int maxSessions = 16;
    };

    explicit FakeDevice(DeviceState state);
    FakeDevice(DeviceState state, Options options);
    ~FakeDevice();
    FakeDevice(const FakeDevice&) = delete;
    FakeDevice& operator=(const FakeDevice&) = delete;

    // False when the sockets could not be bound at the current address.
    bool Listening() const;
    // Waits (bounded) until the sockets are bound at the state's current address.
    bool WaitListening(int timeoutMs = 2000) const;

    DeviceState State() const;
    // Changes state under the lock; a new ip, mediaPort or udp port makes the device rebind.
    void Update(const std::function<void(DeviceState&)>& change);
    void SetPassword(const std::string& password); // of users[0]
    std::string Password() const;

    Faults GetFaults() const;
    void SetFaults(const Faults& faults);

    std::vector<Received> ReceivedRequests() const;
    int CountReceived(uint16_t type) const;
    // When the last SetParam of param arrived (ms since the epoch, host clock); 0 when none did.
    int64_t LastParamSetMs(uint32_t param) const;
    void ClearReceived();
    // Waits until a request of type has arrived count times in total.
    bool WaitReceived(uint16_t type, int count, int timeoutMs) const;
    // Waits until the device has sent count datagrams in total (its delayed answers included).
    bool WaitDatagramsSent(int count, int timeoutMs) const;

    std::vector<UpgradeRecord> Upgrades() const;
    int LoggedInSessions() const;
    // Sends an ALARM frame to every logged-in session; returns the number of sessions reached.
    int SendAlarm(uint32_t code, const Bytes& data);
    // Closes every session now (a link that breaks).
    void DropSessions();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// "127.a.b." chosen from the process id: tests that run at the same time each
// get their own loopback addresses (append 1..254).
std::string UniqueLoopbackPrefix();
// Block 0 is the one above; block 1 is a second one of this process's own, for
// tests that need more than 254 addresses (devices that move to new ones).
std::string UniqueLoopbackPrefix(int block);

// A device at ip with its own MAC, name, host name and id derived from index.
DeviceState LoopbackDeviceState(const std::string& ip, int index);
std::vector<std::unique_ptr<FakeDevice>> MakeDevices(
    const std::vector<std::string>& addresses, const FakeDevice::Options& options = FakeDevice::Options());
} // namespace fakedevice
