// ONVIF connections and the SDK wrapper are not implemented yet: every call
// fails, and calls that take a callback still deliver their one terminal report.
#include "Runtime.h"
#include "ZVOnvif.h"
#include "ZVSDKWrapper.h"

using namespace zvsdk;

int ZVOnvifConnectionStart(const ZVOnvifConnParam* param)
{
    if (param && param->statusCallback) {
        auto cb = param->statusCallback;
        void* user = param->user;
        RunTask([cb, user]() {
            FirstCallbackDelay();
            cb(ZVNET_STATUS_FAILED, user);
        });
    }
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

zv_device_handle zv_create_device(void)
{
    return nullptr;
}

int zv_destroy_device(zv_device_handle device)
{
    (void)device;
    return 0;
}

int zv_device_login_ex(const zv_device_login_param* param)
{
    if (param && param->result_callback) {
        auto cb = param->result_callback;
        void* user = param->user;
        RunTask([cb, user]() {
            FirstCallbackDelay();
            cb("{\"status\":\"close\"}", user);
        });
    }
    return 0;
}

int zv_device_logout(zv_device_handle device)
{
    (void)device;
    return 0;
}

int zv_get_device_type(zv_device_handle device)
{
    (void)device;
    return 0;
}

int zv_search_device(const char* request, zv_search_callback callback, void* user)
{
    if (!request || !callback)
        return 0;
    return RunTask([callback, user]() {
        FirstCallbackDelay();
        callback(nullptr, user);
    }) ? 1 : 0;
}
