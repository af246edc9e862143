// ZVNet commands: PTZ control and remote tests (303 reboots the device).
#include "Config.h"
#include "Session.h"
#include "ZVNet.h"

using namespace zvsdk;

namespace
{
int Command(int handle, uint16_t type, std::vector<uint8_t> payload)
{
    auto session = FindSession(handle);
    if (!session)
        return 0;
    Reply reply;
    if (!session->Call(type, std::move(payload), CurrentConfig().requestTimeoutMs, reply))
        return 0;
    return EmptyReplyResult(reply);
}
} // namespace

int ZVNetPTZControl(int handle, int command, const ZVNetPTZParam* param)
{
    if (command < 0)
        return 0;
    zvwire::Writer w;
    w.U32(static_cast<uint32_t>(command));
    if (param)
        w.Bytes(param->data, sizeof param->data);
    else
        w.Zeros(sizeof(ZVNetPTZParam));
    return Command(handle, zvwire::MSG_PTZ, std::move(w.Data()));
}

int ZVNetRemoteTest(int handle, const ZVNetRemoteTestParam* param)
{
    if (!param)
        return 0;
    zvwire::Writer w;
    w.U32(param->command);
    const int result = Command(handle, zvwire::MSG_REMOTE_TEST, std::move(w.Data()));
    // The test's own report, on the calling thread before the call returns.
    if (param->callback)
        param->callback(static_cast<int>(param->command), result, nullptr, param->user);
    return result;
}
