// ZVOnvif: not spoken yet. Every call fails with the result its callers treat
// as failure; starts that take a callback still deliver their one terminal
// report, so that no caller waits for ever.
#include "Runtime.h"
#include "ZVOnvif.h"

using namespace zvsdk;

int ZVOnvifSearchDevStart(const ZVNetSearchParam* param)
{
    if (!param || !param->callback)
        return 0;
    ZVNetSearchCallback callback = param->callback;
    void* user = param->user;
    ReleaseOnReturn release(ReportLater([callback, user]() { callback(nullptr, user); }));
    return 0;
}

int ZVOnvifSearchDevStop(int* handle)
{
    (void)handle;
    return 0;
}

int ZVOnvifConnectionStart(const ZVOnvifConnParam* param)
{
    if (!param || !param->statusCallback)
        return 0;
    ZVNetStatusCallback callback = param->statusCallback;
    void* user = param->user;
    ReleaseOnReturn release(ReportLater([callback, user]() { callback(ZVNET_STATUS_FAILED, user); }));
    return 0;
}

int ZVOnvifConnectionStop(int* handle)
{
    (void)handle;
    return 0;
}

int ZVOnvifQueryParamEx(int handle, const ZVNetQueryParamExReq* request)
{
    (void)handle;
    (void)request;
    return 0;
}

int ZVOnvifSetParam(int handle, const ZVNetSetParamReq* request)
{
    (void)handle;
    (void)request;
    return 0;
}
