#pragma once

// Type-checked reading of JSON replies: a member that is missing or of
// another type reads as absent, never as a default value or an exception.

#include <json/json.h>

#include <string>

namespace JsonRead
{
// Null when object is not an object or has no such member.
inline const Json::Value* Member(const Json::Value& object, const char* name)
{
    return object.isObject() ? object.find(name, name + std::char_traits<char>::length(name)) : nullptr;
}

inline bool ReadInt(const Json::Value& object, const char* name, int& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isInt())
        return false;
    out = value->asInt();
    return true;
}

inline bool ReadBool(const Json::Value& object, const char* name, bool& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isBool())
        return false;
    out = value->asBool();
    return true;
}

// A string member that is not empty.
inline bool ReadText(const Json::Value& object, const char* name, std::string& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isString())
        return false;
    out = value->asString();
    return !out.empty();
}
} // namespace JsonRead
