#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What is wrong with network settings typed for a device, if anything.
struct NetworkInputFault
{
    enum Field
    {
        None,
        Address,
        Netmask,
        Gateway,
    };
    enum Reason
    {
        NotAnAddress, // not a strict dotted quad
        NotAMask, // not a dotted quad, or its ones do not come first
        OutsideNetwork, // not a host of the network of the address and mask
    };
    Field field = None;
    Reason reason = NotAnAddress;
    explicit operator bool() const { return field != None; }
};

// Checks the address, mask and gateway typed for one device before anything
// is sent. An empty text keeps the device's own and is not checked; where
// the address or mask is empty, a typed gateway is checked against the
// device's own (ownAddress, ownNetmask), unless those are no address. The
// gateway 0.0.0.0 means none.
NetworkInputFault CheckNetworkInput(const QString& address, const QString& netmask, const QString& gateway,
    const QString& ownAddress, const QString& ownNetmask);

// The address after text, by the IPv4 rules of inet_pton (Latin-1, at most
// 259 bytes): the last part raised by one, a part that reaches 256 carrying
// into the one on its left. Empty when text is no address or is the last one.
QString NextIpAddress(const QString& text);

// What a batch network change gives one device.
struct BatchAddress
{
    // Empty: the device keeps its own address.
    QString ip;
    // Nothing may be sent to the device: its address would be the network or
    // broadcast address of its mask, or lie outside the start's network.
    bool refused = false;
};

// The addresses of a batch that starts at start, one per entry of masks (the
// mask each device is to have): the start for the first, then each the next
// after the one before. Where the next address is the network or broadcast
// address of the device's mask, or leaves the start's network under it, that
// device and every one after it are refused: such a device could no longer be
// reached. A start or mask that is no address gives no network to keep to.
QVector<BatchAddress> PlanBatchAddresses(const QString& start, const QStringList& masks);
