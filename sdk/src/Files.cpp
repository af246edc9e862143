// ZVNet parameter files: export of the device's whole parameter set and its import.
#include "Config.h"
#include "Session.h"
#include "ZVNet.h"

using namespace zvsdk;

int ZVNetExportBackupNew(int handle, const ZVNetExportParam* param)
{
    if (!param || !param->callback)
        return 0;
    auto session = FindSession(handle);
    if (!session)
        return 0;
    Reply reply;
    if (!session->Call(zvwire::MSG_EXPORT, {}, CurrentConfig().requestTimeoutMs, reply) || ResultOf(reply.header) != 1)
        return 0;
    zvwire::Reader r(reply.payload.data(), reply.payload.size());
    const uint32_t size = r.U32();
    if (!r.Ok() || size > ZVNET_IMPORT_MAX_DATA || r.Remaining() != size)
        return 0;
    zvwire::Writer out;
    out.Text("ZVNP-EXPORT", 32).U32(size).U32(0);
    static_assert(ZVNET_EXPORT_HEADER_SIZE == 40);
    out.Bytes(reply.payload.data() + 4, size);
    // On the calling thread: callers may show a dialog from it.
    param->callback(reinterpret_cast<const char*>(out.Data().data()), static_cast<int>(size), param->user);
    return 1;
}

int ZVNetRemoteParamImportNew(int handle, const ZVNetImportParam* param)
{
    if (!param || param->size != sizeof(ZVNetImportParam) || param->dataSize > ZVNET_IMPORT_MAX_DATA)
        return 0;
    auto session = FindSession(handle);
    if (!session)
        return 0;
    zvwire::Writer w;
    w.Bytes(param->name, sizeof param->name).U32(param->dataSize).Bytes(param->data, param->dataSize);
    Reply reply;
    if (!session->Call(zvwire::MSG_IMPORT, std::move(w.Data()), CurrentConfig().requestTimeoutMs, reply))
        return 0;
    return EmptyReplyResult(reply);
}
