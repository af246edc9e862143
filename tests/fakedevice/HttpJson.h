#pragma once

// JSON helpers of the fake device's HTTP API.

#include <json/json.h>

#include <string>

namespace fakedevice
{
// Null when object is not an object or has no such member.
inline const Json::Value* Member(const Json::Value& object, const char* name)
{
    return object.isObject() ? object.find(name, name + std::char_traits<char>::length(name)) : nullptr;
}

// {"result": result} and, when given, "reason".
inline Json::Value Result(const char* result, const char* reason = nullptr)
{
    Json::Value reply(Json::objectValue);
    reply["result"] = result;
    if (reason)
        reply["reason"] = reason;
    return reply;
}
} // namespace fakedevice
