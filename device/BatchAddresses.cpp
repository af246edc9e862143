#include "BatchAddresses.h"

#include "DottedQuad.h"

#include <QByteArray>

#include <cstdint>

namespace
{
bool ParseAddress(const QString& text, std::uint32_t* address)
{
    unsigned char bytes[4];
    const QByteArray latin1 = text.toLatin1();
    if (latin1.size() > 259 || !ParseDottedQuadBytes(latin1.constData(), bytes))
        return false;
    *address
        = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) | bytes[3];
    return true;
}

// A usable address of the network that start and mask give.
bool InNetwork(std::uint32_t address, std::uint32_t start, std::uint32_t mask)
{
    const std::uint32_t network = start & mask;
    const std::uint32_t broadcast = network | ~mask;
    return (address & mask) == network && address != network && address != broadcast;
}

// Ones from the top, then only zeros; at least one network bit.
bool IsContiguousMask(std::uint32_t mask)
{
    const std::uint32_t hosts = ~mask;
    return mask != 0 && (hosts & (hosts + 1)) == 0;
}

// A gateway of the network; /31 and /32 have no network or broadcast address to avoid.
bool GatewayInNetwork(std::uint32_t gateway, std::uint32_t address, std::uint32_t mask)
{
    if (gateway == 0)
        return true;
    if (~mask <= 1)
        return (gateway & mask) == (address & mask);
    return InNetwork(gateway, address, mask);
}
} // namespace

NetworkInputFault CheckNetworkInput(const QString& address, const QString& netmask, const QString& gateway,
    const QString& ownAddress, const QString& ownNetmask)
{
    NetworkInputFault fault;
    std::uint32_t ip = 0;
    std::uint32_t mask = 0;
    std::uint32_t router = 0;
    if (!address.isEmpty() && !ParseAddress(address, &ip)) {
        fault.field = NetworkInputFault::Address;
        fault.reason = NetworkInputFault::NotAnAddress;
    } else if (!netmask.isEmpty() && (!ParseAddress(netmask, &mask) || !IsContiguousMask(mask))) {
        fault.field = NetworkInputFault::Netmask;
        fault.reason = NetworkInputFault::NotAMask;
    } else if (!gateway.isEmpty() && !ParseAddress(gateway, &router)) {
        fault.field = NetworkInputFault::Gateway;
        fault.reason = NetworkInputFault::NotAnAddress;
    }
    if (fault || gateway.isEmpty())
        return fault;
    // The network the device will be in; nothing to keep to where its own
    // address or mask is no address.
    if ((address.isEmpty() && !ParseAddress(ownAddress, &ip))
        || (netmask.isEmpty() && (!ParseAddress(ownNetmask, &mask) || !IsContiguousMask(mask))))
        return fault;
    if (!GatewayInNetwork(router, ip, mask)) {
        fault.field = NetworkInputFault::Gateway;
        fault.reason = NetworkInputFault::OutsideNetwork;
    }
    return fault;
}

QString NextIpAddress(const QString& text)
{
    std::uint32_t address = 0;
    if (!ParseAddress(text, &address) || address == 0xFFFFFFFFu)
        return QString();
    ++address;
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

QVector<BatchAddress> PlanBatchAddresses(const QString& start, const QStringList& masks)
{
    QVector<BatchAddress> plan;
    plan.reserve(masks.size());
    std::uint32_t first = 0;
    const bool startValid = ParseAddress(start, &first);
    QString address = start;
    bool refused = false;
    for (int i = 0; i < masks.size(); ++i) {
        if (i > 0)
            address = NextIpAddress(address);
        std::uint32_t next = 0;
        std::uint32_t mask = 0;
        if (!refused && i > 0 && startValid && ParseAddress(address, &next) && ParseAddress(masks.at(i), &mask))
            refused = !InNetwork(next, first, mask);
        plan.append({ refused ? QString() : address, refused });
    }
    return plan;
}
