#pragma once

#include "ZVTypes.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace zvsdk
{
// Copies a 452-byte search reply into record, terminating every text within its
// field; an empty ip becomes the sender's address.
void SearchRecordFromWire(const uint8_t* data, in_addr sender, SearchDevRsp& record);
} // namespace zvsdk
