// ZVNet firmware upgrade over a connection: the file goes in acknowledged
// chunks while the callback hears the percent, then exactly one final code.
#include "Config.h"
#include "Session.h"
#include "ZVNet.h"

#include <algorithm>
#include <fstream>

using namespace zvsdk;

namespace
{
constexpr int kUpgradeEndTimeoutMs = 30000;
constexpr int kFirstUpgradeHandle = 0x20000001;
constexpr int kLastUpgradeHandle = 0x3FFFFFFF;

struct Upgrades
{
    std::mutex mutex;
    std::map<int, std::shared_ptr<Worker>> all;
    int next = kFirstUpgradeHandle;

    static Upgrades& Get()
    {
        static Upgrades* upgrades = []() {
            auto* u = new Upgrades;
            AtShutdown([u]() {
                std::lock_guard<std::mutex> lock(u->mutex);
                u->all.clear();
            });
            return u;
        }();
        return *upgrades;
    }
};

bool IsFinalCode(uint32_t code)
{
    return code == ZVNET_UPGRADE_FAILED || code == ZVNET_UPGRADE_SUCCEEDED || code == ZVNET_UPGRADE_393
        || code == ZVNET_UPGRADE_395 || code == ZVNET_UPGRADE_396;
}

// Runs the transfer; returns the final code.
int Transfer(
    Session& session, const std::string& path, uint32_t type, Worker& worker, const std::function<void(int)>& progress)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return ZVNET_UPGRADE_BAD_FILE;
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    file.seekg(0);
    if (!file || end <= 0 || static_cast<uint64_t>(end) > zvwire::kMaxUpgradeSize)
        return ZVNET_UPGRADE_BAD_FILE;
    const uint64_t total = static_cast<uint64_t>(end);
    const int timeout = CurrentConfig().requestTimeoutMs;
    Reply reply;

    zvwire::Writer start;
    start.U32(type).U32(0).U64(total);
    if (!session.Call(zvwire::MSG_UPGRADE_START, std::move(start.Data()), timeout, reply, worker.CancelFlag())
        || EmptyReplyResult(reply) != 1)
        return ZVNET_UPGRADE_FAILED;
    progress(0);

    std::vector<char> chunk(zvwire::kMaxUpgradeChunk);
    uint64_t sent = 0;
    int percent = 0;
    while (sent < total) {
        const size_t size = static_cast<size_t>(std::min<uint64_t>(chunk.size(), total - sent));
        if (!file.read(chunk.data(), static_cast<std::streamsize>(size)))
            return ZVNET_UPGRADE_FAILED; // the file changed under us
        zvwire::Writer data;
        data.U64(sent).U32(static_cast<uint32_t>(size)).Bytes(chunk.data(), size);
        if (!session.Call(zvwire::MSG_UPGRADE_DATA, std::move(data.Data()), timeout, reply, worker.CancelFlag())
            || EmptyReplyResult(reply) != 1)
            return ZVNET_UPGRADE_FAILED;
        sent += size;
        const int now = static_cast<int>(sent * 100 / total);
        if (now != percent) {
            percent = now;
            progress(percent);
        }
    }

    zvwire::Writer endMessage;
    endMessage.U64(total);
    if (!session.Call(
            zvwire::MSG_UPGRADE_END, std::move(endMessage.Data()), kUpgradeEndTimeoutMs, reply, worker.CancelFlag())
        || ResultOf(reply.header) != 1 || reply.payload.size() != 4)
        return ZVNET_UPGRADE_FAILED;
    const uint32_t code = zvwire::GetU32(reply.payload.data());
    return IsFinalCode(code) ? static_cast<int>(code) : ZVNET_UPGRADE_FAILED;
}
} // namespace

int ZVNetStartRemoteUpgrade(int handle, const ZVNetUpgradeParam* param)
{
    if (!param)
        return 0;
    const ZVNetUpgradeCallback callback = param->callback;
    void* user = param->user;
    auto session = FindSession(handle);
    if (!session || !param->path) {
        ReleaseOnReturn release(
            callback ? ReportLater([callback, user]() { callback(ZVNET_UPGRADE_FAILED, nullptr, user); }) : nullptr);
        return 0;
    }
    const std::string path = param->path;
    const uint32_t type = param->upgradeType;
    auto worker = Worker::Start([session, path, type, callback, user](Worker& w) {
        if (!w.AwaitStart())
            return;
        auto report = [&](int code, intptr_t value) {
            if (callback && !w.Cancelled())
                callback(code, reinterpret_cast<const void*>(value), user);
        };
        const int final
            = Transfer(*session, path, type, w, [&](int percent) { report(ZVNET_UPGRADE_PROGRESS, percent); });
        report(final, 0);
    });
    if (!worker)
        return 0;
    ReleaseOnReturn release(worker);
    auto& upgrades = Upgrades::Get();
    std::lock_guard<std::mutex> lock(upgrades.mutex);
    while (upgrades.all.count(upgrades.next))
        upgrades.next = upgrades.next >= kLastUpgradeHandle ? kFirstUpgradeHandle : upgrades.next + 1;
    const int upgradeHandle = upgrades.next;
    upgrades.next = upgrades.next >= kLastUpgradeHandle ? kFirstUpgradeHandle : upgrades.next + 1;
    upgrades.all[upgradeHandle] = worker;
    return upgradeHandle;
}

int ZVNetStopRemoteUpgrade(int* upgradeHandle)
{
    if (!upgradeHandle || *upgradeHandle == 0)
        return 0;
    std::shared_ptr<Worker> worker;
    {
        auto& upgrades = Upgrades::Get();
        std::lock_guard<std::mutex> lock(upgrades.mutex);
        auto it = upgrades.all.find(*upgradeHandle);
        if (it == upgrades.all.end())
            return 0;
        worker = std::move(it->second);
        upgrades.all.erase(it);
    }
    worker->Stop();
    *upgradeHandle = 0;
    return 1;
}
