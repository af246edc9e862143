#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QProcess;

// The private LAN of lan.sh, driven from a test: makes the namespaces, moves
// the calling thread into one of them (threads it starts afterwards stay
// there, sockets they open live there), and removes everything at the end.
// Each instance uses its own name prefix, so parallel tests never meet.
class NamespaceLan
{
public:
    NamespaceLan();
    ~NamespaceLan();
    NamespaceLan(const NamespaceLan&) = delete;
    NamespaceLan& operator=(const NamespaceLan&) = delete;

    // Device namespaces dev1..devN with perNamespace addresses each. False with
    // a reason when this machine cannot make namespaces (the test then skips).
    bool Up(int namespaces, int perNamespace, QString* reason);
    void Down();

    // Moves the calling thread into "host", "devI" (or back with Leave()).
    bool Enter(const QString& name);
    bool Leave();
    // True when every IPv4 address the calling thread can see, loopback aside,
    // belongs to this LAN: nothing broadcast from here can leave it.
    static bool SeesOnlyLan();

    QStringList Addresses(const QString& name) const;
    QString HostAddress() const { return QStringLiteral("10.213.0.1"); }
    // Arguments that run program inside a namespace (for QProcess).
    QStringList ExecArguments(const QString& name, const QString& program, const QStringList& arguments) const;
    static QString Script();

private:
    QString FullName(const QString& name) const;

    QString m_prefix;
    int m_originalNs = -1;
    bool m_up = false;
};

// Fake-device programs, one in each of the namespaces dev1 ... devN, each
// printing a "device IP" line per device and then "ready" (tests/fakedevice).
class LanPrograms
{
public:
    // Starts program in dev<i + 1> with arguments(i), for i from 0 to count - 1.
    LanPrograms(
        const NamespaceLan& lan, int count, const QString& program, const std::function<QStringList(int)>& arguments);
    ~LanPrograms();
    LanPrograms(const LanPrograms&) = delete;
    LanPrograms& operator=(const LanPrograms&) = delete;

    // Until each program is ready with devicesEach devices; false with why
    // when one ended, listed another number or was not ready in time.
    bool WaitReady(int devicesEach, QString* why);
    // False with the program's error output when one has ended.
    bool Running(QString* why) const;
    // Ends each program; false when one did not end within its time.
    bool Terminate();

private:
    std::vector<std::unique_ptr<QProcess>> m_programs;
};
