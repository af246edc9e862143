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
bool WriteExport(const QString& path, const char* data, qint64 size)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data, size) == size && file.commit();
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
    const std::string text = ExportText(param);
    if (text.empty() || static_cast<qint64>(text.size()) > kMaxParamFileBytes)
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
    const QByteArray name = fileName.left(qMax(0, fileName.size() - 4)).toLatin1();
    std::memcpy(record->name, name.constData(), qMin<size_t>(name.size(), sizeof(record->name)));
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
    RunGuarded("export data", [=] {
        // The SDK hands its header and size bytes; no more than an export can
        // hold is ever written.
        if (!data || size <= 0 || size > kMaxParamFileBytes) {
            device->m_status = StatusExportFailed;
            return;
        }
        const QString path = AskExportPathFor(device);
        if (path.isEmpty()) {
            device->m_status = StatusConnected; // cancelled: as it was when the export began
            return;
        }
        device->m_status
            = WriteExport(path, data + ZVNET_EXPORT_HEADER_SIZE, size) ? StatusExportOk : StatusExportFailed;
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
    // Failed unless the SDK delivers the data, during the call, on this thread.
    device->m_status = StatusExportFailed;
    ZVNetExportParam param;
    std::memset(&param, 0, sizeof(param));
    param.user = device;
    param.callback = &DeviceInfo::OnExportData;
    ZVNetExportBackupNew(device->m_handle, &param);
}

void ImportParam(DeviceInfo* device)
{
    QByteArray bytes;
    // A file that cannot be sent whole is refused before anything is sent.
    if (!ReadParamFile(device->m_importFilePath, bytes)) {
        device->EndWorker(StatusImportFailed, RequesterImportExport);
        return;
    }
    const int status = UsesHttpApi() ? ImportThroughHttp(device, bytes) : ImportThroughSdk(device, bytes);
    device->EndWorker(status, RequesterImportExport);
}
} // namespace DeviceOps
