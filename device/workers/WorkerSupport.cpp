#include "WorkerSupport.h"

#include "JsonRead.h"
#include "ZVAppSetting.h"

namespace DeviceOps
{

void EndApiWorker(DeviceInfo* device, unsigned requesters, WorkerPath http, WorkerPath sdk)
{
    device->EndWorker(UsesHttpApi() ? http(device) : sdk(device), requesters);
}

DeviceHttp::DeviceHttp(const DeviceInfo& device, Session session)
    : m_base(HttpRequestBase(device.m_bHttps, device.Ip().toStdString(), static_cast<int>(device.m_searchRsp.webPort)))
{
    m_client.SetCookie(session == Session::Login ? device.m_cookie : std::string());
    m_client.SetCsrfToken(session == Session::Login ? device.m_token
            : session == Session::None              ? std::string(kNoSessionCsrfToken)
                                                    : std::string());
    m_client.SetHttps(device.m_bHttps);
    m_client.SetHost(device.Ip().toStdString());
}

bool DeviceHttp::Post(const std::string& path, const std::string& body)
{
    return m_client.PostJson(m_base + path + body);
}

bool DeviceHttp::Post(const std::string& path, const Json::Value& body)
{
    return Post(path, Json::FastWriter().write(body));
}

bool DeviceHttp::PostForReply(const std::string& path, const Json::Value& body, Json::Value& reply)
{
    return Post(path, body) && ParseReply(reply);
}

bool DeviceHttp::PostForReply(const std::string& path, const std::string& body, Json::Value& reply)
{
    return Post(path, body) && ParseReply(reply);
}

bool DeviceHttp::ParseReply(Json::Value& reply) const
{
    Json::CharReaderBuilder builder;
    std::string errors;
    return ParseJsonText(builder, m_client.GetResponse(), reply, errors);
}

bool DeviceHttp::RequestKeys(TransKeyForm form, TransKeys& keys)
{
    return RequestTransKeys(m_client, m_base, form, keys);
}

bool DeviceHttp::AuthenticatedData(const QString& password, Json::Value& data)
{
    TransKeys keys;
    Json::Value authenticated(Json::objectValue);
    if (!RequestKeys(TransKeyForm::Salt, keys) || !AddSecondaryAuthentication(authenticated, password, keys.salt))
        return false;
    data = authenticated;
    return true;
}

bool DeviceHttp::AddSecondaryAuthentication(Json::Value& data, const QString& password, const SaltEntry& salt)
{
    Json::Value authentication;
    if (!MakeSecondaryAuthentication(password.toLatin1().toStdString(), salt, authentication))
        return false;
    data["base_secondary_authentication"] = authentication;
    return true;
}

Json::Value RequestBody(const Json::Value& data)
{
    Json::Value body(Json::objectValue);
    body["version"] = "1.0";
    if (!data.isNull())
        body["data"] = data;
    return body;
}

bool IsSuccessReply(const Json::Value& reply)
{
    const Json::Value* result = JsonRead::Member(reply, "result");
    return result && result->isString() && result->asString() == "success";
}

const Json::Value* MemberPath(const Json::Value& root, std::initializer_list<const char*> path)
{
    const Json::Value* value = &root;
    for (const char* name : path) {
        value = JsonRead::Member(*value, name);
        if (!value)
            return nullptr;
    }
    return value;
}

bool ReadString(const Json::Value* object, const char* name, std::string& out)
{
    const Json::Value* value = object ? JsonRead::Member(*object, name) : nullptr;
    if (!value || !value->isString())
        return false;
    out = value->asString();
    return true;
}

bool ReadInteger(const Json::Value* object, const char* name, int& out)
{
    return object && JsonRead::ReadInt(*object, name, out);
}

bool ReadOptionalString(const Json::Value* object, const char* name, std::string& out)
{
    const Json::Value* value = object ? JsonRead::Member(*object, name) : nullptr;
    if (!value)
        return true;
    return ReadString(object, name, out);
}

bool ReadOptionalInteger(const Json::Value* object, const char* name, int& out)
{
    const Json::Value* value = object ? JsonRead::Member(*object, name) : nullptr;
    if (!value)
        return true;
    return ReadInteger(object, name, out);
}

ZVNetChannelMask AllChannels()
{
    ZVNetChannelMask mask {};
    mask.size = sizeof(mask);
    return mask;
}
} // namespace DeviceOps
