// ZVSDKWrapper: JSON login and range search of the devices with the HTTP JSON API.
#ifndef ZVSDKWRAPPER_H
#define ZVSDKWRAPPER_H

#include "ZVTypes.h"

typedef struct zv_device* zv_device_handle; // null = none

// Login outcome: one JSON object with "status" "success" (and "info"),
// "login_failed_or_block" or "close". Valid during the call only.
typedef void (*zv_login_result_callback)(const char* json, void* user);
// Progress notices of a login; callers may pass one that ignores them.
typedef void (*zv_login_event_callback)(int event, const char* text, void* user);
// One JSON object per answering device, then a null text at the end.
typedef void (*zv_search_callback)(const char* json, void* user);

inline constexpr const char* ZV_LOGIN_STATUS_SUCCESS = "success";
inline constexpr const char* ZV_LOGIN_STATUS_FAILED = "login_failed_or_block";
inline constexpr const char* ZV_LOGIN_STATUS_CLOSE = "close";

// Request of zv_device_login_ex.
struct zv_device_login_param
{
    zv_device_handle device;
    const char* json; // login request, NUL-terminated
    zv_login_result_callback result_callback;
    zv_login_event_callback event_callback; // may be null
    uint32_t reserved16;
    void* user;
    uint8_t reserved[256];
};

#if UINTPTR_MAX == 0xFFFFFFFFu
// Layout on 32-bit targets, where pointers take four bytes.
static_assert(sizeof(zv_device_login_param) == 280);
static_assert(offsetof(zv_device_login_param, json) == 4);
static_assert(offsetof(zv_device_login_param, result_callback) == 8);
static_assert(offsetof(zv_device_login_param, event_callback) == 12);
static_assert(offsetof(zv_device_login_param, user) == 20);
#endif

extern "C" {

zv_device_handle zv_create_device(void);
int zv_destroy_device(zv_device_handle device);

// Answers once through param->result_callback, on a wrapper thread.
int zv_device_login_ex(const zv_device_login_param* param);
int zv_device_logout(zv_device_handle device);
int zv_get_device_type(zv_device_handle device);

// request: JSON object with "oem type", "start ip" and "stop ip".
int zv_search_device(const char* request, zv_search_callback callback, void* user);

} // extern "C"

#endif // ZVSDKWRAPPER_H
