#include "DeviceEvents.h"

#include <QCoreApplication>

#if defined(__SANITIZE_THREAD__)
#define DEVSCAN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define DEVSCAN_TSAN 1
#endif
#endif
#ifdef DEVSCAN_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace
{
// An event dropped unread (its receiver deleted, or the application ending
// with it still queued) is deleted without TakePostedEvent; its destructor
// orders itself after the post here.
void AcquireDropped(const QEvent* event)
{
#ifdef DEVSCAN_TSAN
    __tsan_acquire(const_cast<QEvent*>(event));
#else
    (void)event;
#endif
}
} // namespace

QConnectEvent::QConnectEvent(int code)
    : QEvent(static_cast<QEvent::Type>(ConnectEvent))
    , code(code)
{
}

QConnectEvent::~QConnectEvent()
{
    AcquireDropped(this);
}

QUpgradeEvent::QUpgradeEvent(int code)
    : QEvent(static_cast<QEvent::Type>(UpgradeEvent))
    , code(code)
{
}

QUpgradeEvent::~QUpgradeEvent()
{
    AcquireDropped(this);
}

namespace
{
// Qt is not instrumented, so the thread checker names an access inside
// postEvent by the caller of the instrumented function that called Qt. Both
// out of line, the caller of CallPostEvent is QtPostEventQueue, the one frame
// tests/tsan.supp lists for Qt's own queue (see TakePostedEvent).
[[gnu::noinline]] void CallPostEvent(QObject* receiver, QEvent* event)
{
    QCoreApplication::postEvent(receiver, event);
}

[[gnu::noinline]] void QtPostEventQueue(QObject* receiver, QEvent* event)
{
    CallPostEvent(receiver, event);
}
} // namespace

QDeviceCallEvent::QDeviceCallEvent(std::function<void()> call)
    : QEvent(static_cast<QEvent::Type>(CallEvent))
    , call(std::move(call))
{
}

QDeviceCallEvent::~QDeviceCallEvent()
{
    AcquireDropped(this);
}

void PostDeviceEvent(QObject* receiver, QEvent* event)
{
    if (!receiver) {
        delete event;
        return;
    }
#ifdef DEVSCAN_TSAN
    __tsan_release(receiver);
    __tsan_release(event);
#endif
    QtPostEventQueue(receiver, event);
}

void TakePostedEvent(const QObject* receiver)
{
#ifdef DEVSCAN_TSAN
    __tsan_acquire(const_cast<QObject*>(receiver));
#else
    (void)receiver;
#endif
}
