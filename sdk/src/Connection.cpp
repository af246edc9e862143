// ZVNet connections: start, stop and the device information read at login.
#include "Session.h"
#include "ZVNet.h"

#include <cstring>

using namespace zvsdk;

int ZVNetConnectionStartEx(const ZVNetConnParam* param)
{
    if (!param)
        return 0;
    Session::Params p;
    p.ip = param->ip ? param->ip : "";
    p.port = param->port;
    p.userName = param->userName ? param->userName : "";
    p.password = param->password ? param->password : "";
    p.user = param->user;
    p.status = param->statusCallback;
    p.alarm = param->alarmCallback;

    in_addr address {};
    const bool usable = ParseIpv4(p.ip.c_str(), address) && p.port > 0 && p.port <= 65535 && !p.userName.empty()
        && p.userName.size() < zvwire::kUserNameField;
    if (!usable) {
        // No connection can come of it; the caller still hears why.
        ZVNetStatusCallback cb = p.status;
        void* user = p.user;
        ReleaseOnReturn release(cb ? ReportLater([cb, user]() { cb(ZVNET_STATUS_PARAM_ERROR, user); }) : nullptr);
        return 0;
    }
    auto session = std::make_shared<Session>(std::move(p));
    if (!session->Start(session))
        return 0;
    ReleaseOnReturn release(session->GetWorker());
    return AddSession(session);
}

int ZVNetConnectionStop(int* handle)
{
    if (!handle || *handle == 0)
        return 0;
    auto session = TakeSession(*handle);
    if (!session)
        return 0;
    session->Stop();
    *handle = 0;
    return 1;
}

int ZVNetGetDevInfo(int handle, void* buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    auto session = FindSession(handle);
    return session && session->DevInfo(buffer, static_cast<size_t>(size)) ? 1 : 0;
}
