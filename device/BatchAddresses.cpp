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
} // namespace

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
