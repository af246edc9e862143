// The device protocol's framing: stream headers, whole datagrams, and the
// bounded reader every reply decoder walks its payload with.
#include "ZVWire.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zvwire::Header header;
    zvwire::DecodeHeader(data, size, zvwire::kMaxTcpPayload, header);
    const uint8_t* payload = nullptr;
    if (zvwire::DecodeDatagram(data, size, header, payload) == zvwire::Decode::Ok) {
        // The payload of a valid datagram lies inside it.
        if (payload < data || payload + header.length > data + size)
            __builtin_trap();
    }

    // The reader as the reply decoders use it: fixed fields, then a counted tail.
    zvwire::Reader r(data, size);
    const uint32_t first = r.U32();
    r.U16();
    r.U64();
    const size_t count = first % 64;
    std::vector<uint8_t> out(count);
    r.Bytes(out.data(), count);
    if (const uint8_t* tail = r.Take(r.Remaining()))
        zvwire::BoundedLength(reinterpret_cast<const char*>(tail), size - static_cast<size_t>(tail - data));
    return 0;
}
