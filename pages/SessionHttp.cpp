#include "SessionHttp.h"

#include "JsonRead.h"

SessionHttp::SessionHttp(const ZVDevice& session)
    : m_session(session)
    , m_base(HttpRequestBase(session.m_bHttps, session.m_ip.toStdString(), session.m_port))
{
    m_client.SetCookie(session.m_cookie);
    m_client.SetCsrfToken(session.m_token);
    m_client.SetHttps(session.m_bHttps);
    m_client.SetHost(session.m_ip.toLatin1().toStdString());
}

bool SessionHttp::PostForReply(const std::string& pathAndBody, Json::Value& reply)
{
    m_client.PostJson(m_base + pathAndBody);
    Json::CharReaderBuilder builder;
    std::string errors;
    return ParseJsonText(builder, m_client.GetResponse(), reply, errors);
}

bool SessionHttp::RequestKeys(TransKeyForm form, TransKeys& keys)
{
    return RequestTransKeys(m_client, m_base, form, keys);
}

bool SessionHttp::SecondaryAuthentication(Json::Value& authentication, TransKeys& keys)
{
    return RequestKeys(TransKeyForm::Salt, keys)
        && MakeSecondaryAuthentication(m_session.m_password.toLatin1().toStdString(), keys.salt, authentication);
}

bool SessionHttp::Succeeded(const Json::Value& reply)
{
    std::string result;
    return JsonRead::ReadText(reply, "result", result) && result == "success";
}
