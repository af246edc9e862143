// The script a fuzzed device plays to the SDK's session: one record per frame
// it sends, in order.
//   flags u8 (bit 0: raw bytes, no frame; bit 1: sent at once, not as the answer
//   to the next request), type u16 (0: the answer type of the request), status
//   u32, length u16, then that many payload bytes (fewer where the input ends).
// The first record goes out as soon as the SDK connects (its challenge); each
// later one answers the next request, with that request's id.
#pragma once

#include "ZVWire.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zvfuzz
{
inline constexpr uint8_t kRaw = 0x1;
inline constexpr uint8_t kUnsolicited = 0x2;
inline constexpr size_t kRecordHead = 9;

struct ScriptRecord
{
    uint8_t flags = 0;
    uint16_t type = 0;
    uint32_t status = 0;
    std::vector<uint8_t> payload;
};

inline std::vector<ScriptRecord> ReadScript(const uint8_t* data, size_t size)
{
    std::vector<ScriptRecord> records;
    size_t at = 0;
    while (size - at >= kRecordHead) {
        ScriptRecord r;
        r.flags = data[at];
        r.type = zvwire::GetU16(data + at + 1);
        r.status = zvwire::GetU32(data + at + 3);
        size_t length = zvwire::GetU16(data + at + 7);
        at += kRecordHead;
        if (length > size - at)
            length = size - at;
        r.payload.assign(data + at, data + at + length);
        at += length;
        records.push_back(std::move(r));
    }
    return records;
}

inline void AppendRecord(std::vector<uint8_t>& out, const ScriptRecord& r)
{
    out.push_back(r.flags);
    uint8_t head[8];
    zvwire::PutU16(head, r.type);
    zvwire::PutU32(head + 2, r.status);
    zvwire::PutU16(head + 6, static_cast<uint16_t>(r.payload.size()));
    out.insert(out.end(), head, head + sizeof head);
    out.insert(out.end(), r.payload.begin(), r.payload.end());
}
} // namespace zvfuzz
