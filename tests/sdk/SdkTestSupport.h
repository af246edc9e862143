#pragma once

// Helpers of the SDK tests: loopback devices, an SDK set up per test, and
// collectors that record what the callbacks saw and on which thread.

#include "FakeDevice.h"
#include "ZVNet.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sdktest
{
// This process's loopback address n (1..254).
std::string Loopback(int n);

// A device listening at Loopback(n); tweak adjusts its state first.
std::unique_ptr<fakedevice::FakeDevice> StartDevice(
    int n, const std::function<void(fakedevice::DeviceState&)>& tweak = {});

// ZVNetInit for the length of a test function, with the default search window
// (0; a search of configured targets ends once all have answered) and time-outs
// that keep failing cases quick; ZVNetRelease at the end.
class SdkScope
{
public:
    explicit SdkScope(const std::vector<std::string>& searchTargets = {}, int searchWindowMs = 0,
        int connectTimeoutMs = 2000, int requestTimeoutMs = 2000);
    ~SdkScope();
    SdkScope(const SdkScope&) = delete;
    SdkScope& operator=(const SdkScope&) = delete;
};
bool SetSearchTargets(const std::vector<std::string>& addresses);

class SearchCollector
{
public:
    static int Callback(const SearchDevRsp* record, void* user);
    bool WaitEnd(int timeoutMs);
    std::vector<SearchDevRsp> Records() const;
    QStringList Ips() const; // sorted
    int Ends() const;
    int RecordsAfterEnd() const;
    bool OnCallerThread() const; // some callback ran on the thread that made the collector
    std::function<void(const SearchDevRsp*)> onCallback;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SearchDevRsp> m_records;
    int m_ends = 0;
    int m_afterEnd = 0;
    bool m_onCaller = false;
    const std::thread::id m_caller = std::this_thread::get_id();
};

// Records status (or other int) callbacks; set StartReturned() right after the
// start call returns, to check that no callback came before.
class StatusCollector
{
public:
    static void Callback(int status, void* user);
    void Add(int code);
    void StartReturned() { m_startReturned = true; }
    bool WaitCount(size_t count, int timeoutMs);
    std::vector<int> Codes() const;
    bool AllAfterStart() const;
    bool OnCallerThread() const;
    std::function<void(int)> onCallback;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_codes;
    std::atomic<bool> m_startReturned { false };
    bool m_allAfterStart = true;
    bool m_onCaller = false;
    const std::thread::id m_caller = std::this_thread::get_id();
};

// Connects to Loopback(n) as admin and waits for the outcome; 0 unless it is 101.
int Connect(const std::string& ip, const std::string& user, const std::string& password,
    StatusCollector* collector = nullptr, uint16_t port = fakedevice::kDefaultTcpPort);
} // namespace sdktest
