#pragma once

// The session with the one device the login page configures by hand: logs in
// through the SDK connection or, for the HTTP-API customer codes, through the
// wrapper's JSON login, keeps what the login yields and forwards every
// connection status to its owner as a ConnectEvent on the GUI thread.
//
// Starting and stopping connections and the HTTP logout run on a worker
// thread of the session, one after the other, so the GUI thread never waits
// on a device. What the SDK threads learn travels inside the event and is
// stored when the event arrives.

#include "ZVNet.h"
#include "ZVSDKWrapper.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ZVDevice : public QObject
{
    Q_OBJECT

public:
    // Session states beside the SDK's own status codes.
    enum State
    {
        StateClosed = 3,
        StateLoginSent = 100,
        StateLoggedIn = 101,
        StateRefused = 105,
        StateLocked = 112,
        StatePasswordSaved = 125,
    };

    explicit ZVDevice(QObject* parent = nullptr);
    ~ZVDevice() override;

    void Login(QString ip, int port, QString user, QString password);
    void Logout();

    static void OnConnectStatus(int status, void* user);
    static void LoginResultCallback(const char* json, void* user);

    // Shown instead of a login when a JSON login lacks a field or its port is
    // out of range (the login page shows the "Empty input" box).
    void SetEmptyInputNotice(std::function<void()> notice) { m_emptyInputNotice = std::move(notice); }
    // How long a JSON login may go unanswered before it counts as closed, and
    // how long customer code 8 waits before connecting again; return the old value.
    static int SetLoginAnswerMs(int ms);
    static int SetReconnectDelayMs(int ms);
    bool ReconnectPending() const { return m_reconnectTimer.isActive(); }
    // Blocks until the starts and stops queued so far have run (shutdown, tests).
    void WaitIdle();

    QString m_ip;
    int m_port = 0;
    QString m_user;
    QString m_password;
    int m_state = StateClosed;
    uint8_t m_devInfo[sizeof(ZVNetDevInfo)];
    int m_handle = 0;
    QObject* m_owner = nullptr;
    zv_device_handle m_sdkDevice = nullptr;
    std::string m_cookie;
    std::string m_token;
    bool m_bHttps = false;

protected:
    void customEvent(QEvent* event) override;

private:
    class Worker;
    struct Reply;

    static void OnLoginResult(uintptr_t attempt, const char* json);
    void Apply(const Reply& reply);
    void Reconnect();

    std::unique_ptr<Worker> m_worker;
    uintptr_t m_attempt = 0; // the attempt whose reports count; 0 = none
    std::function<void()> m_emptyInputNotice;
    QTimer m_answerTimer;
    QTimer m_reconnectTimer;
};
