#pragma once

// JSON helpers of the fake device's HTTP API: type-checked reading of request
// bodies and the result object of replies.

#include <json/json.h>

#include <string>

namespace fakedevice
{
// Null when object is not an object or has no such member.
inline const Json::Value* Member(const Json::Value& object, const char* name)
{
    return object.isObject() ? object.find(name, name + std::char_traits<char>::length(name)) : nullptr;
}

inline bool TextMember(const Json::Value& object, const char* name, std::string& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isString())
        return false;
    out = value->asString();
    return true;
}

inline bool IntMember(const Json::Value& object, const char* name, int& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isInt())
        return false;
    out = value->asInt();
    return true;
}

// {"result": result, "reason": reason}
inline Json::Value Result(const char* result, const char* reason = nullptr)
{
    Json::Value reply(Json::objectValue);
    reply["result"] = result;
    if (reason)
        reply["reason"] = reason;
    return reply;
}
} // namespace fakedevice
