#pragma once

// Helpers of the SDK wrapper tests: a collector of the texts the wrapper's
// callbacks deliver, and the requests the program writes.

#include "FakeHttpApi.h"
#include "SdkTestSupport.h"
#include "ZVSDKWrapper.h"

#include <json/json.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wrappertest
{
// The fake HTTP API devices the wrapper tests run against.
using fakedevice::BlackHoleListener;
using fakedevice::FakeHttpApi;
using fakedevice::HttpDeviceState;
using fakedevice::HttpFaults;
using fakedevice::MakeHttpDevices;
using Scheme = fakedevice::FakeHttpApi::Scheme;

inline constexpr int kTimeoutMs = 1500; // connect and request time-outs of the library in these tests
inline const char* const kChallenge = "/API/Login/Challenge";
inline const char* const kLogin = "/API/Web/Login";
inline const char* const kLogout = "/API/Web/Logout";
inline const char* const kRange = "/API/Login/Range";

// Records texts handed to a wrapper callback (null = the search's end).
class TextCollector
{
public:
    static void Callback(const char* text, void* user) { static_cast<TextCollector*>(user)->Add(text); }

    void Add(const char* text)
    {
        const bool afterStart = m_startReturned.load();
        if (onCallback)
            onCallback(text);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_allAfterStart = m_allAfterStart && afterStart;
        m_onCaller = m_onCaller || std::this_thread::get_id() == m_caller;
        if (m_ends > 0)
            ++m_afterEnd;
        if (text)
            m_texts.emplace_back(text);
        else
            ++m_ends;
        m_changed.notify_all();
    }
    void StartReturned() { m_startReturned = true; }
    bool WaitCount(size_t count, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
            [&]() { return m_texts.size() + static_cast<size_t>(m_ends) >= count; });
    }
    bool WaitEnd(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&]() { return m_ends > 0; });
    }
    std::vector<std::string> Texts() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }
    size_t Count() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts.size() + static_cast<size_t>(m_ends);
    }
    int Ends() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ends;
    }
    int AfterEnd() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_afterEnd;
    }
    bool AllAfterStart() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_allAfterStart;
    }
    bool OnCallerThread() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_onCaller;
    }
    std::function<void(const char*)> onCallback;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_texts;
    int m_ends = 0;
    int m_afterEnd = 0;
    std::atomic<bool> m_startReturned { false };
    bool m_allAfterStart = true;
    bool m_onCaller = false;
    const std::thread::id m_caller = std::this_thread::get_id();
};

inline void IgnoreEvent(int, const char*, void*)
{
}

inline Json::Value Parse(const std::string& text)
{
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    reader->parse(text.data(), text.data() + text.size(), &root, &errors);
    return root;
}

// The login request as the program writes it.
inline std::string LoginJson(const std::string& ip, int port, const std::string& password,
    const std::string& protocol = "auto", const std::string& user = "admin")
{
    Json::Value root;
    root["ip or id"] = ip;
    root["user"] = user;
    root["password"] = password;
    root["ddns id server addr"] = "";
    root["p2p type"] = "ip";
    root["oem type"] = "K38";
    root["protocol"] = protocol;
    root["port"] = port;
    return Json::writeString(Json::StreamWriterBuilder(), root);
}

inline int StartLogin(zv_device_handle device, const char* json, TextCollector& collector)
{
    zv_device_login_param param;
    std::memset(&param, 0, sizeof param);
    param.device = device;
    param.json = json;
    param.result_callback = &TextCollector::Callback;
    param.event_callback = &IgnoreEvent;
    param.user = &collector;
    const int result = zv_device_login_ex(&param);
    collector.StartReturned();
    return result;
}

// Logs in and returns the one result text ("" when none came).
inline std::string Login(zv_device_handle device, const std::string& json, TextCollector& collector)
{
    StartLogin(device, json.c_str(), collector);
    if (!collector.WaitCount(1, 4 * kTimeoutMs + 2000))
        return std::string();
    return collector.Texts().empty() ? std::string() : collector.Texts().front();
}

inline std::string Status(const std::string& text)
{
    return Parse(text)["status"].asString();
}

inline fakedevice::FakeHttpApi::Options At(const std::string& ip,
    fakedevice::FakeHttpApi::Scheme scheme = fakedevice::FakeHttpApi::Scheme::Http, uint16_t port = 0)
{
    fakedevice::FakeHttpApi::Options options;
    options.ip = ip;
    options.scheme = scheme;
    options.port = port;
    return options;
}

inline std::string RangeRequest(const std::string& start, const std::string& stop)
{
    Json::Value root;
    root["oem type"] = "K38";
    root["start ip"] = start;
    root["stop ip"] = stop;
    return Json::writeString(Json::StreamWriterBuilder(), root);
}

// A /24 of loopback that no test process uses for its devices.
inline std::string EmptyPrefix()
{
    return "127.250." + std::to_string(getpid() % 256) + ".";
}

inline std::string Nested(int depth)
{
    return "{\"a\":" + std::string(static_cast<size_t>(depth), '[') + std::string(static_cast<size_t>(depth), ']')
        + "}";
}

inline fakedevice::HttpFaults Edit(const char* path, std::function<void(Json::Value&)> edit)
{
    fakedevice::HttpFaults faults;
    faults.editReply = [path = std::string(path), edit](const std::string& p, Json::Value& reply) {
        if (p == path)
            edit(reply);
    };
    return faults;
}

inline fakedevice::HttpFaults Raw(const char* path, const std::string& body)
{
    fakedevice::HttpFaults faults;
    faults.path = path;
    faults.rawBody = body;
    return faults;
}

} // namespace wrappertest
