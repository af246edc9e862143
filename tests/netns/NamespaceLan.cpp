#include "NamespaceLan.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

namespace
{
constexpr int kSkipStatus = 77;

int RunScript(const QStringList& arguments, const QString& prefix, QString* output)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DEVSCAN_LAN_PREFIX"), prefix);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("sh"), QStringList { NamespaceLan::Script() } + arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        if (output)
            *output = QStringLiteral("lan.sh did not finish");
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool EnterNamespaceFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}
} // namespace

NamespaceLan::NamespaceLan()
    : m_prefix(QStringLiteral("dsl%1").arg(QCoreApplication::applicationPid()))
    , m_originalNs(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
{
}

NamespaceLan::~NamespaceLan()
{
    Down();
    if (m_originalNs >= 0)
        ::close(m_originalNs);
}

QString NamespaceLan::Script()
{
    return QStringLiteral(DEVSCAN_LAN_SCRIPT);
}

bool NamespaceLan::Up(int namespaces, int perNamespace, QString* reason)
{
    if (m_originalNs < 0) {
        *reason = QStringLiteral("cannot open the own network namespace");
        return false;
    }
    QString output;
    RunScript({ QStringLiteral("gc") }, m_prefix, nullptr);
    const int status = RunScript(
        { QStringLiteral("up"), QString::number(namespaces), QString::number(perNamespace) }, m_prefix, &output);
    if (status == 0) {
        m_up = true;
        return true;
    }
    *reason = status == kSkipStatus ? output : QStringLiteral("lan.sh up failed (%1): %2").arg(status).arg(output);
    return false;
}

void NamespaceLan::Down()
{
    Leave();
    if (m_up)
        RunScript({ QStringLiteral("down") }, m_prefix, nullptr);
    m_up = false;
}

QString NamespaceLan::FullName(const QString& name) const
{
    return m_prefix + QLatin1Char('-') + name;
}

bool NamespaceLan::Enter(const QString& name)
{
    return m_up && EnterNamespaceFile(QFile::encodeName(QStringLiteral("/run/netns/") + FullName(name)));
}

bool NamespaceLan::Leave()
{
    return m_originalNs >= 0 && ::setns(m_originalNs, CLONE_NEWNET) == 0;
}

bool NamespaceLan::SeesOnlyLan()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool onlyLan = true;
    bool any = false;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        any = true;
        onlyLan = onlyLan && (a >> 16) == ((10u << 8) | 213u);
    }
    ::freeifaddrs(list);
    return any && onlyLan;
}

QStringList NamespaceLan::Addresses(const QString& name) const
{
    QFile file(QStringLiteral("/run/%1.addresses").arg(m_prefix));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString wanted = FullName(name);
    for (const QByteArray& line : file.readAll().split('\n')) {
        QStringList words = QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!words.isEmpty() && words.takeFirst() == wanted)
            return words;
    }
    return {};
}

QStringList NamespaceLan::ExecArguments(const QString& name, const QString& program, const QStringList& arguments) const
{
    return QStringList { QStringLiteral("netns"), QStringLiteral("exec"), FullName(name), program } + arguments;
}

LanPrograms::LanPrograms(
    const NamespaceLan& lan, int count, const QString& program, const std::function<QStringList(int)>& arguments)
{
    for (int i = 0; i < count; ++i) {
        auto process = std::make_unique<QProcess>();
        process->start(
            QStringLiteral("ip"), lan.ExecArguments(QStringLiteral("dev%1").arg(i + 1), program, arguments(i)));
        m_programs.push_back(std::move(process));
    }
}

LanPrograms::~LanPrograms()
{
    Terminate();
}

bool LanPrograms::WaitReady(int devicesEach, QString* why)
{
    for (const auto& program : m_programs) {
        QByteArray out;
        QElapsedTimer wait;
        wait.start();
        // The readiness line is the condition; the time only bounds a program that hangs.
        while (!out.contains("ready") && wait.elapsed() < 30000 && program->state() != QProcess::NotRunning) {
            program->waitForReadyRead(200);
            out += program->readAllStandardOutput();
        }
        if (!out.contains("ready")) {
            *why = QString::fromLocal8Bit(program->readAllStandardError());
            return false;
        }
        if (out.count("device ") != devicesEach) {
            *why = QStringLiteral("%1 devices listed").arg(out.count("device "));
            return false;
        }
    }
    return true;
}

bool LanPrograms::Running(QString* why) const
{
    for (const auto& program : m_programs) {
        if (program->state() != QProcess::Running) {
            *why = QString::fromLocal8Bit(program->readAllStandardError());
            return false;
        }
    }
    return true;
}

bool LanPrograms::Terminate()
{
    bool ended = true;
    for (const auto& program : m_programs) {
        if (program->state() == QProcess::NotRunning)
            continue;
        program->terminate();
        ended = program->waitForFinished(10000) && ended;
    }
    return ended;
}
