// ZVNet parameters: record lists, size-prefixed blocks and factory blocks.
#include "Config.h"
#include "Session.h"
#include "ZVNet.h"

#include <cstring>

using namespace zvsdk;

namespace
{
// Item size of a record-list parameter; 0 for any other id.
size_t RecordSize(uint32_t id)
{
    switch (id) {
    case ZVNET_PARAM_USERS: return sizeof(ZVNetUserParam);
    case ZVNET_PARAM_MAIN_STREAM:
    case ZVNET_PARAM_SUB_STREAM: return sizeof(ZVNetStreamParam);
    case ZVNET_PARAM_OSD: return sizeof(ZVNetOsdParam);
    default: return 0;
    }
}

size_t HeaderSize(uint32_t id)
{
    return id == ZVNET_PARAM_USERS ? sizeof(ZVNetUserHeader) : 0;
}

uint32_t MaxRecords(uint32_t id)
{
    return id == ZVNET_PARAM_USERS ? 32 : 256;
}

// Size of a size-prefixed block that ZVNetQueryParamEx / ZVNetSetParam carry; 0 for any other id.
uint32_t BlockSize(uint32_t id, bool forSet)
{
    switch (id) {
    case ZVNET_PARAM_VERSION: return forSet ? 0 : sizeof(ZVNetVersionParam);
    case ZVNET_PARAM_DATETIME: return sizeof(ZVNetDateTimeParam);
    case ZVNET_PARAM_DEFAULT: return forSet ? sizeof(ZVNetDefaultParam) : 0;
    default: return 0;
    }
}

bool HasOwnSize(const void* block, uint32_t size)
{
    return zvwire::GetU32(static_cast<const uint8_t*>(block)) == size;
}

int RequestTimeout()
{
    return CurrentConfig().requestTimeoutMs;
}
} // namespace

int ZVNetQueryParam(int handle, const ZVNetQueryParamReq* request)
{
    if (!request)
        return 0;
    const uint32_t id = request->paramId;
    const size_t itemSize = RecordSize(id);
    const size_t headerSize = HeaderSize(id);
    if (itemSize == 0 || request->itemSize != itemSize || request->headerSize != headerSize)
        return 0;
    const ZVNetChannelMask* mask = request->channelMask;
    // A zeroed mask selects every channel like a null one does.
    if (mask && mask->size != 0 && mask->size != sizeof(ZVNetChannelMask))
        return 0;
    auto session = FindSession(handle);
    if (!session)
        return 0;

    zvwire::Writer w;
    w.U32(id);
    for (int i = 0; i < 8; ++i)
        w.U32(mask && id != ZVNET_PARAM_USERS ? mask->channels[i] : 0);
    Reply reply;
    if (!session->Call(zvwire::MSG_QUERY_PARAM, std::move(w.Data()), RequestTimeout(), reply))
        return 0;
    const int result = ResultOf(reply.header);
    if (result == 0)
        return 0;

    zvwire::Reader r(reply.payload.data(), reply.payload.size());
    const uint32_t replyId = r.U32(), replyHeader = r.U32(), replyItem = r.U32(), count = r.U32();
    if (!r.Ok() || replyId != id || replyHeader != headerSize || replyItem != itemSize || count > MaxRecords(id)
        || r.Remaining() != headerSize + static_cast<size_t>(count) * itemSize)
        return 0;
    uint8_t* body = reply.payload.data() + zvwire::kQueryParamRspFixed;
    if (id == ZVNET_PARAM_USERS)
        session->Unmask(reply.requestId, body, r.Remaining());
    // Delivered on the calling thread, before the call returns.
    if (headerSize && request->headerCallback)
        request->headerCallback(body, request->user);
    if (request->itemCallback)
        for (uint32_t i = 0; i < count; ++i)
            request->itemCallback(body + headerSize + i * itemSize, request->user);
    return result;
}

int ZVNetQueryParamEx(int handle, const ZVNetQueryParamExReq* request)
{
    if (!request || !request->buffer)
        return 0;
    const uint32_t size = BlockSize(request->paramId, false);
    if (size == 0 || request->bufferSize != size || !HasOwnSize(request->buffer, size))
        return 0;
    auto session = FindSession(handle);
    if (!session)
        return 0;
    zvwire::Writer w;
    w.U32(request->paramId).U32(size);
    Reply reply;
    if (!session->Call(zvwire::MSG_QUERY_BLOCK, std::move(w.Data()), RequestTimeout(), reply))
        return 0;
    const int result = ResultOf(reply.header);
    if (result == 0 || reply.payload.size() != size || !HasOwnSize(reply.payload.data(), size))
        return 0;
    std::memcpy(request->buffer, reply.payload.data(), size);
    return result;
}

int ZVNetSetParam(int handle, const ZVNetSetParamReq* request)
{
    // Either a block or records, never both.
    if (!request || (!request->block) == (!request->records))
        return 0;
    const uint32_t id = request->paramId;
    zvwire::Writer w;
    size_t maskFrom = Session::kNoMask;
    if (request->block) {
        const uint32_t size = BlockSize(id, true);
        if (size == 0 || !HasOwnSize(request->block, size))
            return 0;
        w.U32(id).U32(0).U32(size).U32(1).Bytes(request->block, size);
    } else {
        const size_t size = RecordSize(id);
        if (size == 0 || request->recordCount == 0 || request->recordCount > MaxRecords(id))
            return 0;
        w.U32(id).U32(1).U32(static_cast<uint32_t>(size)).U32(request->recordCount);
        w.Bytes(request->records, size * request->recordCount);
        if (id == ZVNET_PARAM_USERS)
            maskFrom = zvwire::kSetParamFixed;
    }
    auto session = FindSession(handle);
    if (!session)
        return 0;
    Reply reply;
    if (!session->Call(zvwire::MSG_SET_PARAM, std::move(w.Data()), RequestTimeout(), reply, nullptr, maskFrom))
        return 0;
    return EmptyReplyResult(reply);
}

int ZVNetSetParamEx(int handle, const ZVNetSetParamExReq* request)
{
    if (!request || !request->block || request->type != ZVNET_SETPARAMEX_TYPE)
        return 0;
    const uint32_t size = request->blockId == ZVNET_BLOCK_FACTORY_INFO ? sizeof(ZVNetFactoryInfo)
        : request->blockId == ZVNET_BLOCK_FACTORY_KEY                  ? sizeof(ZVNetFactoryKeyParam)
                                                                       : 0;
    if (size == 0 || request->blockSize != size || !HasOwnSize(request->block, size))
        return 0;
    auto session = FindSession(handle);
    if (!session)
        return 0;
    zvwire::Writer w;
    w.U32(request->type).U32(request->blockId).U32(request->flags).U32(size).Bytes(request->block, size);
    Reply reply;
    if (!session->Call(zvwire::MSG_SET_PARAM_EX, std::move(w.Data()), RequestTimeout(), reply))
        return 0;
    return EmptyReplyResult(reply);
}
