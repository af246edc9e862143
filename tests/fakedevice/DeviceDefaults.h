#pragma once

// What a factory reset by groups (ZVNetDefaultParam) restores on the fake
// device, group by group, from the state the device started with:
//   display      stream and on-screen display records (570, 571, 573)
//   record       groupSettings["record"]
//   network      1: address, mask, gateway, DNS, ports, network mode and the
//                ONVIF network block (511); 2: all of them but the address,
//                mask and gateway; 0: nothing
//   alarm        groupSettings["alarm"]
//   device       device name and host name
//   system       date, time and NTP (524)
//   advanced     groupSettings["advanced"]
//   intelligent  groupSettings["intelligent"]
//   pairing      groupSettings["pairing"]
// The users and their passwords, the factory blocks and the version stay.

#include "DeviceState.h"

namespace fakedevice
{
// request: the 24 bytes of a ZVNetDefaultParam.
void RestoreGroups(DeviceState& state, const DeviceState& factory, const uint8_t* request);
} // namespace fakedevice
