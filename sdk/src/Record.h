#pragma once

#include "ZVTypes.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zvsdk
{
// Copies a 452-byte search reply into record, terminating every text within its
// field; an empty ip becomes the sender's address.
void SearchRecordFromWire(const uint8_t* data, in_addr sender, SearchDevRsp& record);

// A MAC address in the form the devices' own search records carry it: six
// upper-case hex pairs joined by colons ("02:5A:56:00:00:02"), whether it came
// with colons, dashes, dots or none, in either case. A text that is no MAC
// address stays as it is.
std::string SearchRecordMac(const std::string& text);
} // namespace zvsdk
