#include "FakeHttpMaintenance.h"

#include "HttpJson.h"

#include <arpa/inet.h>

#include <algorithm>

namespace fakedevice
{
namespace
{
constexpr int kMaxOfflineMs = 30000;

int Refuse(Json::Value& reply, int status, const char* reason)
{
    reply = Result("failed", reason);
    return status;
}

bool IsAddress(const std::string& text)
{
    in_addr address {};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// An address text; empty is allowed where optional is set.
bool ReadAddress(const Json::Value& object, const char* name, bool optional, std::string& out)
{
    const Json::Value* value = Member(object, name);
    if (!value || !value->isString())
        return false;
    const std::string text = value->asString();
    if (!(optional && text.empty()) && !IsAddress(text))
        return false;
    out = text;
    return true;
}

bool Offers(const HttpDeviceState& state, const std::string& group)
{
    return std::find(state.resetRange.begin(), state.resetRange.end(), group) != state.resetRange.end();
}
} // namespace

int SetNetBase(const Json::Value& body, HttpDeviceState& state, const HttpAddress& current,
    std::optional<HttpRelocation>& move, Json::Value& reply)
{
    const Json::Value* data = Member(body, "data");
    const Json::Value* wan = data ? Member(*data, "wan") : nullptr;
    const Json::Value* ports = data ? Member(*data, "port") : nullptr;
    const Json::Value* dhcp = wan ? Member(*wan, "dhcp") : nullptr;
    std::string ip, netmask, gateway, dns1, dns2;
    if (!wan || !dhcp || !dhcp->isBool() || !ReadAddress(*wan, "ip_address", false, ip)
        || !ReadAddress(*wan, "subnet_mask", false, netmask) || !ReadAddress(*wan, "gateway", false, gateway)
        || !ReadAddress(*wan, "dns1", true, dns1) || !ReadAddress(*wan, "dns2", true, dns2) || !ports
        || !ports->isArray())
        return Refuse(reply, 400, "bad_request");
    int webPort = current.port;
    for (const Json::Value& entry : *ports) {
        const Json::Value* service = Member(entry, "service");
        const Json::Value* port = Member(entry, "internal_port");
        if (!service || !service->isString() || !port || !port->isInt() || port->asInt() < 1 || port->asInt() > 65535)
            return Refuse(reply, 400, "bad_request");
        if (service->asString() == "Web")
            webPort = port->asInt();
    }
    state.dhcp = dhcp->asBool();
    state.netmask = netmask;
    state.gateway = gateway;
    state.dns1 = dns1;
    state.dns2 = dns2;
    // Under DHCP the device keeps the address it has: no server here leases one.
    HttpAddress next { state.dhcp ? current.ip : ip, static_cast<uint16_t>(webPort) };
    if (next.ip != current.ip || next.port != current.port)
        move = HttpRelocation { next, 0, false };
    reply = Result("success");
    return 200;
}

int ResetRange(const HttpDeviceState& state, Json::Value& reply)
{
    reply = Result("success");
    reply["data"] = Json::Value(Json::objectValue);
    for (const std::string& group : state.resetRange)
        reply["data"][group] = true;
    return 200;
}

int ResetGroups(const Json::Value& body, bool authenticated, HttpDeviceState& state, const HttpFactory& factory,
    const HttpAddress& current, std::optional<HttpRelocation>& move, Json::Value& reply)
{
    if (!authenticated)
        return Refuse(reply, 403, "protection");
    const Json::Value* data = Member(body, "data");
    if (!data || !data->isObject())
        return Refuse(reply, 400, "bad_request");
    // Every group named must be one the device offers, with a boolean.
    std::map<std::string, bool> chosen;
    for (const std::string& key : data->getMemberNames()) {
        if (key == "base_secondary_authentication")
            continue;
        const Json::Value& value = (*data)[key];
        if (key == "secondary_authentication" || !Offers(state, key) || !value.isBool())
            return Refuse(reply, 400, "bad_request");
        chosen[key] = value.asBool();
    }
    auto picked = [&chosen](const char* group) {
        const auto it = chosen.find(group);
        return it != chosen.end() && it->second;
    };
    for (auto& [group, value] : state.groupSettings) {
        if (picked(group.c_str())) {
            const auto it = factory.state.groupSettings.find(group);
            value = it != factory.state.groupSettings.end() ? it->second : std::string();
        }
    }
    if (picked("network")) {
        state.dns1 = factory.state.dns1;
        state.dns2 = factory.state.dns2;
        state.dhcp = factory.state.dhcp;
        if (!picked("except_network_param")) {
            state.netmask = factory.state.netmask;
            state.gateway = factory.state.gateway;
            if (factory.address.ip != current.ip || factory.address.port != current.port)
                move = HttpRelocation { factory.address, 0, false };
        }
    }
    ++state.resets;
    reply = Result("success");
    return 200;
}

int Reboot(bool authenticated, HttpDeviceState& state, const HttpAddress& current, std::optional<HttpRelocation>& move,
    Json::Value& reply)
{
    if (!authenticated)
        return Refuse(reply, 403, "protection");
    ++state.reboots;
    move = HttpRelocation { current, std::clamp(state.rebootMs, 0, kMaxOfflineMs), true };
    reply = Result("success");
    return 200;
}
} // namespace fakedevice
