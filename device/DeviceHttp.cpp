#include "DeviceHttp.h"

#include "DeviceInfo.h"
#include "HttpClient.h"
#include "JsonRead.h"

std::string DeviceWebBase(const DeviceInfo& device)
{
    return HttpRequestBase(device.m_bHttps, device.Ip().toStdString(), static_cast<int>(device.m_searchRsp.webPort));
}

void UseDeviceSession(HttpClient& client, const DeviceInfo& device)
{
    client.SetCookie(device.m_cookie);
    client.SetCsrfToken(device.m_token);
    client.SetHttps(device.m_bHttps);
    client.SetHost(device.Ip().toStdString());
}

bool PostDeviceJson(HttpClient& client, const std::string& request, Json::Value& reply)
{
    if (!client.PostJson(request))
        return false;
    Json::CharReaderBuilder builder;
    std::string errors;
    return ParseJsonText(builder, client.GetResponse(), reply, errors);
}

std::string RequestBody(const Json::Value& data)
{
    Json::Value body(Json::objectValue);
    body["version"] = "1.0";
    body["data"] = data;
    return Json::FastWriter().write(body);
}

bool IsSuccessReply(const Json::Value& reply)
{
    const Json::Value* result = JsonRead::Member(reply, "result");
    return result && result->isString() && result->asString() == "success";
}
