// Parameter export and import: the device's whole parameter set saved to a
// text file and written back later, through the SDK or the HTTP JSON API.
// One limit holds for the file on both ways: what the SDK's import record
// carries.

#include "DeviceOperations.h"
#include "DeviceThread.h"
#include "ExportPath.h"
#include "FixedText.h"
#include "Guarded.h"
#include "WorkerSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>
#include <memory>
#include <mutex>

namespace
{
const char* const kParamGetPath = "/API/Maintenance/ParamManagement/Get";
const char* const kParamSetPath = "/API/Maintenance/ParamManagement/Set";
constexpr qint64 kMaxParamFileBytes = ZVNET_IMPORT_MAX_DATA;

std::mutex g_questionMutex;
ExportPathQuestion g_question;

QString SuggestedName(const DeviceInfo& device)
{
    return device.DeviceName() + QStringLiteral(".txt");
}

// The SDK export's status before its data came: a cancelled question or a
// file that does not open leaves it so. Set and read on the exporting thread.
thread_local int t_statusBeforeExport = StatusConnected;
// The SDK delivered the export's data to this thread's export call.
thread_local bool t_exportDelivered = false;

enum class WriteResult
{
    Written,
    NotOpened,
    Failed,
};

// The save question is a dialog: it is asked on the device's thread, and the
// export running elsewhere waits for its answer (nothing when the device went).
QString AskExportPathFor(DeviceInfo* device)
{
    QString path;
    RunOnDeviceThreadAndWait(device, [device, &path] { path = AskExportPath(SuggestedName(*device)); });
    return path;
}

// Writes the whole file or nothing: a failed write leaves no file that could
// pass for a complete export.
WriteResult WriteExportFile(const QString& path, const char* data, qint64 size)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return WriteResult::NotOpened;
    return file.write(data, size) == size && file.commit() ? WriteResult::Written : WriteResult::Failed;
}

bool WriteExport(const QString& path, const char* data, qint64 size)
{
    return WriteExportFile(path, data, size) == WriteResult::Written;
}

// Only the printable ASCII the device's format uses: spaces, line ends and
// bytes above 0x7F are dropped.
std::string ExportText(const std::string& param)
{
    std::string text;
    text.reserve(param.size());
    for (char c : param) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte <= 0x7F)
            text.push_back(c);
    }
    return text;
}

// The chosen file whole; false when it is missing, unreadable, empty, read
// short, or larger than an import may carry.
bool ReadParamFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size <= 0 || size > kMaxParamFileBytes)
        return false;
    bytes = file.read(size);
    return bytes.size() == size;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
// The HTTP import carries the file as a JSON string, which holds nothing else
// unchanged.
bool IsUtf8(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    for (int i = 0; i < size;) {
        const unsigned char lead = data[i];
        int follow = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            follow = 1;
            min = 0x80;
            code = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            follow = 2;
            min = 0x800;
            code = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            follow = 3;
            min = 0x10000;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (size - i - 1 < follow)
            return false;
        for (int k = 1; k <= follow; ++k) {
            const unsigned char next = data[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += follow + 1;
    }
    return true;
}

int ExportThroughHttp(DeviceInfo* device)
{
    using namespace DeviceOps;
    DeviceHttp http(*device);
    Json::Value data;
    if (!http.AuthenticatedData(device->m_password, data))
        return StatusExportFailed;
    Json::Value reply;
    std::string param;
    if (!http.PostForReply(kParamGetPath, RequestBody(data), reply)
        || !ReadString(MemberPath(reply, { "data" }), "param", param))
        return StatusExportFailed;
    const QString path = AskExportPathFor(device);
    if (path.isEmpty())
        return StatusExportFailed;
    // A parameter text with nothing printable is written as it stands: empty.
    const std::string text = ExportText(param);
    if (static_cast<qint64>(text.size()) > kMaxParamFileBytes)
        return StatusExportFailed;
    return WriteExport(path, text.data(), static_cast<qint64>(text.size())) ? StatusExportOk : StatusExportFailed;
}

int ImportThroughSdk(DeviceInfo* device, const QByteArray& bytes)
{
    // Too large for a pool thread's stack.
    auto record = std::make_unique<ZVNetImportParam>();
    std::memset(record.get(), 0, sizeof(ZVNetImportParam));
    record->size = sizeof(ZVNetImportParam);
    const QString fileName = QFileInfo(device->m_importFilePath).fileName();
    PutText(fileName.left(qMax(0, fileName.size() - 4)), TextCode::Latin1, record->name, FieldEnd::Padded);
    std::memcpy(record->data, bytes.constData(), static_cast<size_t>(bytes.size()));
    record->dataSize = static_cast<uint32_t>(bytes.size());
    return ZVNetRemoteParamImportNew(device->m_handle, record.get()) == 1 ? StatusImportOk : StatusImportFailed;
}

int ImportThroughHttp(DeviceInfo* device, const QByteArray& bytes)
{
    using namespace DeviceOps;
    DeviceHttp http(*device);
    Json::Value data;
    if (!http.AuthenticatedData(device->m_password, data))
        return StatusImportFailed;
    data["param"] = bytes.toStdString();
    return http.Post(kParamSetPath, RequestBody(data)) ? StatusImportOk : StatusImportFailed;
}
} // namespace

ExportPathQuestion SetExportPathQuestion(ExportPathQuestion question)
{
    std::lock_guard<std::mutex> lock(g_questionMutex);
    std::swap(g_question, question);
    return question;
}

QString AskExportPath(const QString& suggestedName)
{
    ExportPathQuestion question;
    {
        std::lock_guard<std::mutex> lock(g_questionMutex);
        question = g_question;
    }
    return question ? question(suggestedName) : QString();
}

void DeviceInfo::OnExportData(const char* data, int size, void* user)
{
    auto* device = static_cast<DeviceInfo*>(user);
    if (!device)
        return;
    t_exportDelivered = true;
    RunGuarded("export data", [=] {
        // The SDK hands its header and size bytes; no more than an export can
        // hold is ever written.
        if (!data || size <= 0 || size > kMaxParamFileBytes) {
            device->m_status = StatusExportFailed;
            return;
        }
        // Cancelled, or a file that does not open: as it was when the export began.
        const QString path = AskExportPathFor(device);
        if (path.isEmpty()) {
            device->m_status = t_statusBeforeExport;
            return;
        }
        switch (WriteExportFile(path, data + ZVNET_EXPORT_HEADER_SIZE, size)) {
        case WriteResult::Written: device->m_status = StatusExportOk; break;
        case WriteResult::NotOpened: device->m_status = t_statusBeforeExport; break;
        case WriteResult::Failed: device->m_status = StatusExportFailed; break;
        }
    });
}

namespace DeviceOps
{
void ExportParam(DeviceInfo* device)
{
    if (UsesHttpApi()) {
        device->m_status = ExportThroughHttp(device);
        return;
    }
    // Failed unless the SDK delivers the data, during the call, on this
    // thread; the status changes only once that is known, not while the
    // save question is open.
    t_statusBeforeExport = device->m_status;
    t_exportDelivered = false;
    ZVNetExportParam param;
    std::memset(&param, 0, sizeof(param));
    param.user = device;
    param.callback = &DeviceInfo::OnExportData;
    ZVNetExportBackupNew(device->m_handle, &param);
    if (!t_exportDelivered)
        device->m_status = StatusExportFailed;
}

void ImportParam(DeviceInfo* device)
{
    QByteArray bytes;
    // A file that cannot be sent whole and unchanged is refused before
    // anything is sent.
    if (!ReadParamFile(device->m_importFilePath, bytes) || (UsesHttpApi() && !IsUtf8(bytes))) {
        device->EndWorker(StatusImportFailed, RequesterImportExport);
        return;
    }
    const int status = UsesHttpApi() ? ImportThroughHttp(device, bytes) : ImportThroughSdk(device, bytes);
    device->EndWorker(status, RequesterImportExport);
}
} // namespace DeviceOps
