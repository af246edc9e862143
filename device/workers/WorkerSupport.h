#pragma once

// What the operation workers share: the HTTP exchange with a device's JSON
// API, type-checked reading of its replies, and the SDK record queries.

#include "DeviceInfo.h"
#include "HttpClient.h"
#include "TransKey.h"
#include "ZVAppSetting.h"

#include <json/json.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace DeviceOps
{
// One way of a worker: the status it ends with.
using WorkerPath = int (*)(DeviceInfo*);

// What a worker found for the tables and pages to show, stored on the
// device's thread when the worker ends (DeviceInfo::EndWorker).
using ShownValues = std::function<void(DeviceInfo&)>;
// A way that also hands back such values; it leaves shown empty when it has
// nothing to store.
using ShowingPath = int (*)(DeviceInfo*, ShownValues& shown);

// The way of the customer code's API (HTTP JSON or SDK), then the end of the
// worker with its status: the records the way filled are dropped first (they
// may carry passwords), then EndWorker reports to requesters and logs out.
void EndApiWorker(DeviceInfo* device, unsigned requesters, WorkerPath http, WorkerPath sdk);
template <typename Record>
void EndApiWorker(
    DeviceInfo* device, unsigned requesters, WorkerPath http, WorkerPath sdk, std::vector<Record> DeviceInfo::*records)
{
    const int status = UsesHttpApi() ? http(device) : sdk(device);
    (device->*records).clear();
    device->EndWorker(status, requesters);
}
template <typename Record>
void EndApiWorker(DeviceInfo* device, unsigned requesters, ShowingPath http, ShowingPath sdk,
    std::vector<Record> DeviceInfo::*records)
{
    ShownValues shown;
    const int status = UsesHttpApi() ? http(device, shown) : sdk(device, shown);
    (device->*records).clear();
    device->EndWorker(status, requesters, std::move(shown));
}

// One worker's requests to its device: one client for all of them, carrying
// the device's login session (or none, for a device without a password yet);
// every request goes to the device's address and the web port it was found
// with. Replies are read only after a successful request.
class DeviceHttp
{
public:
    enum class Session
    {
        Login, // the cookie and csrf token of the device's login
        None, // empty cookie, csrf token "Undefined"
        Empty, // empty cookie and csrf token: a question asked before any login
    };

    explicit DeviceHttp(const DeviceInfo& device, Session session = Session::Login);

    // POST of path with the body glued on; true on HTTP 200 with the whole reply.
    bool Post(const std::string& path, const std::string& body = std::string());
    bool Post(const std::string& path, const Json::Value& body); // written with FastWriter
    // Post, then parse the reply; false when either fails.
    bool PostForReply(const std::string& path, const Json::Value& body, Json::Value& reply);
    bool PostForReply(const std::string& path, const std::string& body, Json::Value& reply);
    bool ParseReply(Json::Value& reply) const;
    // The key request of form and the entries it asks for.
    bool RequestKeys(TransKeyForm form, TransKeys& keys);
    // The "data" object of a request that needs the secondary authentication:
    // a salt asked of the device, answered with password (the login's).
    // False when either step fails.
    bool AuthenticatedData(const QString& password, Json::Value& data);
    // Adds to data the secondary authentication of password (the login's)
    // with salt, the device's answer to a key request. False when it cannot
    // be made.
    static bool AddSecondaryAuthentication(Json::Value& data, const QString& password, const SaltEntry& salt);
    // Scheme, address, ":" and web port: the front of every request.
    const std::string& Base() const { return m_base; }

private:
    HttpClient m_client;
    std::string m_base;
};

// {"version": "1.0"} with data under "data" when given.
Json::Value RequestBody(const Json::Value& data = Json::Value());

// True when reply's top-level "result" is the text "success".
bool IsSuccessReply(const Json::Value& reply);

// Type-checked reading of replies; a missing member or one of another type
// reads as absent.
const Json::Value* MemberPath(const Json::Value& root, std::initializer_list<const char*> path);
bool ReadString(const Json::Value* object, const char* name, std::string& out); // may be empty
bool ReadInteger(const Json::Value* object, const char* name, int& out);
// A member the device may leave out: absent (or no object) keeps out as it
// is and succeeds; present, it must have the type.
bool ReadOptionalString(const Json::Value* object, const char* name, std::string& out);
bool ReadOptionalInteger(const Json::Value* object, const char* name, int& out);

// Asks the SDK for the records of paramId into records (emptied first),
// through collect, once per record during the call. False when the SDK
// refuses or delivers no record; result is the SDK's return value.
template <typename Record>
bool QueryRecords(DeviceInfo& device, uint32_t paramId, std::vector<Record>& records, ZVNetQueryCallback collect,
    const ZVNetChannelMask* mask, int& result, uint32_t headerSize = 0, ZVNetQueryCallback header = nullptr)
{
    records.clear();
    ZVNetQueryParamReq request {};
    request.paramId = paramId;
    request.channelMask = mask;
    request.headerSize = headerSize;
    request.headerCallback = header;
    request.itemSize = sizeof(Record);
    request.itemCallback = collect;
    request.user = &device;
    result = ZVNetQueryParam(device.m_handle, &request);
    return result != 0 && !records.empty();
}

// Writes every record back; only what the worker changed differs.
template <typename Record> int SetRecords(DeviceInfo& device, uint32_t paramId, const std::vector<Record>& records)
{
    ZVNetSetParamReq request {};
    request.paramId = paramId;
    request.records = records.data();
    request.recordCount = static_cast<uint32_t>(records.size());
    return ZVNetSetParam(device.m_handle, &request);
}

// A mask that selects every channel.
ZVNetChannelMask AllChannels();

// The device's time-zone text for when: "GMT+1:00", "GMT-5:00", "GMT+5:30"
// (its offset from UTC in hours and minutes); "GMT+0:00" when when has no
// valid zone.
QString TimeZoneText(const QDateTime& when);
} // namespace DeviceOps
