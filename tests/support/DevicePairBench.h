#pragma once

// End-to-end runs of device operations: one fake device speaking the SDK's
// protocol and one speaking the HTTP JSON API, at loopback addresses of the
// test process; the pool that runs the workers; the page that hears the
// results. For tests that link device and fakedevice.

#include "DeviceFixtures.h"
#include "DispatchFixtures.h"
#include "FakeDevice.h"
#include "FakeHttpApi.h"
#include "ZVAppSetting.h"
#include "ZVNet.h"
#include "ZVSdkConfig.h"

#include <QtTest>

#include <functional>
#include <memory>

namespace TestSupport
{
enum class Api
{
    Sdk, // customer code 0: the maker's SDK
    Http, // customer code 44: the HTTP JSON API
};

inline const char* const kLoginUser = "admin";
inline const char* const kLoginPassword = "admin123";

// A key reply whose salt is not the one the device checks the answer with:
// the device sees the answer of a wrong login password.
inline void BreakSalt(Json::Value& reply)
{
    reply["data"]["Key_lists"][0]["key"] = "AAAAAAAAAAAAAAAAAAAAAA==";
}

// A reply edit (HttpFaults::editReply) for one path only.
inline std::function<void(const std::string&, Json::Value&)> EditReplyOf(
    const std::string& path, std::function<void(Json::Value&)> edit)
{
    return [path, edit](const std::string& replyPath, Json::Value& reply) {
        if (replyPath == path)
            edit(reply);
    };
}

class DevicePairBench
{
public:
    // The SDK device listens at prefix + firstOctet, the HTTP device at the next address.
    explicit DevicePairBench(int firstOctet)
        : m_sdkAddress(fakedevice::UniqueLoopbackPrefix() + std::to_string(firstOctet))
        , m_httpAddress(fakedevice::UniqueLoopbackPrefix() + std::to_string(firstOctet + 1))
    {
        ZVNetInit();
        ZVSdkSetTimeouts(3000, 3000);
        m_pool = std::make_unique<TaskPool>(4);
        m_recorder = std::make_unique<TaskRecorder>(m_pool.get());
        m_sdk = std::make_unique<fakedevice::FakeDevice>(fakedevice::LoopbackDeviceState(m_sdkAddress, firstOctet));
        fakedevice::FakeHttpApi::Options options;
        options.ip = m_httpAddress;
        m_http = std::make_unique<fakedevice::FakeHttpApi>(fakedevice::HttpDeviceState(), options);
        m_page = std::make_unique<RecordingListener>(m_log, QStringLiteral("page"));
    }
    ~DevicePairBench()
    {
        m_recorder.reset();
        m_pool.reset();
        m_sdk.reset();
        m_http.reset();
        ZVNetRelease();
        ZVAppSetting::Instance()->m_company = 0;
    }

    bool Listening() const { return m_sdk->WaitListening() && m_http->Listening(); }
    fakedevice::FakeDevice& Sdk() { return *m_sdk; }
    fakedevice::FakeHttpApi& Http() { return *m_http; }
    ReportLog& Log() { return m_log; }
    DeviceTaskListener* Page() { return m_page.get(); }

    // Both devices as they were at start: no faults, the login password,
    // the HTTP device's settings; nothing received; no reports.
    void Reset()
    {
        m_sdk->SetFaults(fakedevice::Faults());
        m_sdk->SetPassword(kLoginPassword);
        m_sdk->ClearReceived();
        m_http->SetFaults(fakedevice::HttpFaults());
        m_http->Update([](fakedevice::HttpDeviceState& state) {
            state.password = kLoginPassword;
            state.initialised = true;
            state.upgradeToken.clear();
            state.settings = fakedevice::HttpSettings();
        });
        m_http->ClearExchanges();
        m_log.Clear();
    }

    // A device as a search listed it, with the login values, reporting to the
    // test's page through member; selects the customer code of api.
    std::unique_ptr<DeviceInfo> MakeDevice(Api api, DeviceTaskListener* DeviceInfo::*member)
    {
        ZVAppSetting::Instance()->m_company = api == Api::Http ? 44 : 0;
        const bool http = api == Api::Http;
        std::unique_ptr<DeviceInfo> device(
            NewDevice(nullptr, QString::fromStdString(http ? m_httpAddress : m_sdkAddress), QStringLiteral("Camera 1"),
                1, fakedevice::kDefaultTcpPort, http ? m_http->Port() : 80));
        device->m_user = kLoginUser;
        device->m_password = kLoginPassword;
        device->m_status = StatusWaiting;
        device.get()->*member = m_page.get();
        return device;
    }

    // Runs entry for device on a thread of its own and waits for the
    // operation's end; false when it did not end in time.
    bool RunToEnd(void (*entry)(void*), DeviceInfo* device, int timeoutMs = 20000)
    {
        OnOtherThread([=] { entry(device); });
        if (!QTest::qWaitFor(
                [&] { return EndReports() > 0 && !device->m_bLogin && !device->HasOffThreadWork(); }, timeoutMs))
            return false;
        QCoreApplication::sendPostedEvents();
        return true;
    }

    bool WaitForEnd(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return EndReports() > 0; }, timeoutMs);
    }

    int EndReports() const
    {
        int ends = 0;
        for (const TaskReport& report : m_log.Reports())
            ends += IsOperationEnd(report) ? 1 : 0;
        return ends;
    }

    TaskReport LastReport() const { return m_log.Reports().value(m_log.Count() - 1); }

private:
    std::string m_sdkAddress;
    std::string m_httpAddress;
    std::unique_ptr<TaskPool> m_pool;
    std::unique_ptr<TaskRecorder> m_recorder;
    std::unique_ptr<fakedevice::FakeDevice> m_sdk;
    std::unique_ptr<fakedevice::FakeHttpApi> m_http;
    ReportLog m_log;
    std::unique_ptr<RecordingListener> m_page;
};
} // namespace TestSupport
