#pragma once

#include "Runtime.h"
#include "Socket.h"
#include "ZVNet.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zvsdk
{
struct Reply
{
    zvwire::Header header;
    std::vector<uint8_t> payload;
    uint32_t requestId = 0;
};

// Result of a reply as the SDK call returns it: 1, the injected 2 or 3, or 0.
int ResultOf(const zvwire::Header& header);
// The same for replies that carry no payload: anything attached makes them malformed.
int EmptyReplyResult(const Reply& reply);

// One ZVNet connection: its worker logs in, reports one status, then reads the
// link and hands replies to the calls waiting for them and alarms to the alarm
// callback. Calls may come from any thread, several at once.
class Session
{
public:
    struct Params
    {
        std::string ip;
        uint32_t port = 0;
        std::string userName;
        std::string password;
        void* user = nullptr;
        ZVNetStatusCallback status = nullptr;
        ZVNetAlarmCallback alarm = nullptr;
    };

    explicit Session(Params params);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Starts the worker; false when the library takes no work.
    bool Start(const std::shared_ptr<Session>& self);
    // The worker, to be released when the start call returns.
    const std::shared_ptr<Worker>& GetWorker() const { return m_worker; }
    // Ends the link and joins the worker: no callback of this session after it.
    void Stop();

    // Sends one request and waits for its reply. maskFrom: payload bytes from
    // that offset on are masked with the session key. False on a dead or stopped
    // link, a time-out, or cancel set.
    bool Call(uint16_t type, std::vector<uint8_t> payload, int timeoutMs, Reply& reply,
        const std::atomic<bool>* cancel = nullptr, size_t maskFrom = kNoMask);
    // Unmasks reply bytes that the device masked with the session key.
    void Unmask(uint32_t requestId, uint8_t* data, size_t size) const;
    // Copies the device information read at login; false before a login.
    bool DevInfo(void* out, size_t size) const;

    static constexpr size_t kNoMask = static_cast<size_t>(-1);

private:
    struct Waiting
    {
        bool done = false;
        Reply reply;
    };

    void Run(Worker& worker);
    int Login(Worker& worker);
    void ReadLoop(Worker& worker);
    // Hands one frame from the device to its waiting call, or to the alarm callback.
    void Dispatch(const zvwire::Header& header, std::vector<uint8_t>& payload, bool alarms);
    void MarkDead();
    void CloseLink();
    bool Write(const std::vector<uint8_t>& frame, Clock::time_point deadline);

    const Params m_params;
    std::shared_ptr<Worker> m_worker;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Fd m_fd;
    bool m_loggedIn = false;
    bool m_dead = false;
    std::map<uint32_t, Waiting*> m_waiting;
    uint32_t m_nextId = 1;
    std::vector<uint8_t> m_devInfo;
    uint8_t m_sessionKey[zvwire::kKeySize] = {};
    Clock::time_point m_lastSent;

    std::mutex m_writeMutex;
};

// Connection handles (never 0).
int AddSession(std::shared_ptr<Session> session);
std::shared_ptr<Session> FindSession(int handle);
std::shared_ptr<Session> TakeSession(int handle);
} // namespace zvsdk
