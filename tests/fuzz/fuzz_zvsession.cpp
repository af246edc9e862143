// The SDK's session readers against a device that plays the fuzzer's script
// (ZVSessionScript.h) on loopback: the frame reader, the challenge and login
// result, the device information, parameter records and blocks, the export
// and unsolicited alarms.
#include "ZVNet.h"
#include "ZVSdkConfig.h"
#include "ZVSessionScript.h"
#include "ZVWire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
int g_listener = -1;
uint16_t g_port = 0;

struct Status
{
    std::mutex mutex;
    std::condition_variable changed;
    int code = 0;
};

void OnStatus(int code, void* user)
{
    auto* status = static_cast<Status*>(user);
    std::lock_guard<std::mutex> lock(status->mutex);
    if (status->code == 0)
        status->code = code;
    status->changed.notify_all();
}

void OnAlarm(int, const void* data, int size, void*)
{
    // The alarm's bytes must all be readable.
    volatile uint8_t sum = 0;
    for (int i = 0; i < size; ++i)
        sum = static_cast<uint8_t>(sum + static_cast<const uint8_t*>(data)[i]);
}

void OnRecord(const void* record, void*)
{
    volatile uint8_t first = *static_cast<const uint8_t*>(record);
    (void)first;
}

void OnExport(const char* data, int size, void*)
{
    volatile char last = size > 0 ? data[size - 1] : 0;
    (void)last;
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd p { fd, POLLIN, 0 };
    return ::poll(&p, 1, timeoutMs) == 1;
}

bool ReadExact(int fd, uint8_t* out, size_t size)
{
    while (size > 0) {
        if (!WaitReadable(fd, 5000))
            return false;
        const ssize_t n = ::recv(fd, out, size, 0);
        if (n <= 0)
            return false;
        out += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void Send(int fd, const zvfuzz::ScriptRecord& r, uint16_t requestType, uint32_t requestId)
{
    std::vector<uint8_t> bytes = r.payload;
    if (!(r.flags & zvfuzz::kRaw)) {
        const uint16_t type = r.type ? r.type : zvwire::ReplyType(requestType);
        bytes = zvwire::EncodeFrame(type, requestId, r.status, r.payload.data(), r.payload.size());
    }
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// One connection: the first record at once, then one record per request read.
void PlayDevice(const std::vector<zvfuzz::ScriptRecord>& script)
{
    if (!WaitReadable(g_listener, 10000))
        return;
    const int fd = ::accept(g_listener, nullptr, nullptr);
    if (fd < 0)
        return;
    size_t next = 0;
    if (next < script.size())
        Send(fd, script[next++], 0, 0);
    while (next < script.size()) {
        if (script[next].flags & zvfuzz::kUnsolicited) {
            Send(fd, script[next++], zvwire::MSG_ALARM & ~zvwire::kReplyBit, 0);
            continue;
        }
        uint8_t head[zvwire::kHeaderSize];
        zvwire::Header h;
        if (!ReadExact(fd, head, sizeof head)
            || zvwire::DecodeHeader(head, sizeof head, zvwire::kMaxTcpPayload, h) != zvwire::Decode::Ok)
            break;
        std::vector<uint8_t> body(h.length);
        if (!ReadExact(fd, body.data(), body.size()))
            break;
        if (h.type == zvwire::MSG_KEEPALIVE)
            continue;
        Send(fd, script[next++], h.type, h.requestId);
    }
    // The end of the script is the end of the link.
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    if (g_listener < 0 || ::bind(g_listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0
        || ::listen(g_listener, 4) != 0 || ::getsockname(g_listener, reinterpret_cast<sockaddr*>(&sa), &length) != 0)
        std::abort();
    g_port = ntohs(sa.sin_port);
    ZVNetInit();
    // A script that leaves a request unanswered costs the whole time-out: short
    // ones keep the runs many (an answer the script gives comes at once).
    ZVSdkSetTimeouts(250, 250);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<zvfuzz::ScriptRecord> script = zvfuzz::ReadScript(data, size);
    std::thread device(PlayDevice, std::cref(script));

    Status status;
    ZVNetConnParam param {};
    param.ip = "127.0.0.1";
    param.port = g_port;
    param.userName = "admin";
    param.password = "admin123";
    param.user = &status;
    param.alarmCallback = &OnAlarm;
    param.statusCallback = &OnStatus;
    int handle = ZVNetConnectionStartEx(&param);
    if (handle != 0) {
        std::unique_lock<std::mutex> lock(status.mutex);
        status.changed.wait_for(lock, std::chrono::seconds(20), [&status] { return status.code != 0; });
    }
    if (handle != 0 && status.code == ZVNET_STATUS_LOGIN_OK) {
        std::vector<uint8_t> info(2048);
        ZVNetGetDevInfo(handle, info.data(), static_cast<int>(info.size()));
        for (uint32_t id : { ZVNET_PARAM_USERS, ZVNET_PARAM_MAIN_STREAM }) {
            ZVNetQueryParamReq query {};
            query.paramId = id;
            query.headerSize = id == ZVNET_PARAM_USERS ? sizeof(ZVNetUserHeader) : 0;
            query.headerCallback = &OnRecord;
            query.itemSize = id == ZVNET_PARAM_USERS ? sizeof(ZVNetUserParam) : sizeof(ZVNetStreamParam);
            query.itemCallback = &OnRecord;
            ZVNetQueryParam(handle, &query);
        }
        ZVNetVersionParam version {};
        version.size = sizeof version;
        ZVNetQueryParamExReq block {};
        block.paramId = ZVNET_PARAM_VERSION;
        block.buffer = &version;
        block.bufferSize = sizeof version;
        ZVNetQueryParamEx(handle, &block);
        ZVNetExportParam exportParam {};
        exportParam.callback = &OnExport;
        ZVNetExportBackupNew(handle, &exportParam);
    }
    if (handle != 0)
        ZVNetConnectionStop(&handle);
    device.join();
    return 0;
}
