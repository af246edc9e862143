#pragma once

#include "DevicePage.h"
#include "PageIndex.h"

#include <QFrame>

class QSlider;

// What the main window needs of the login page beyond a widget.
class LoginPage : public QFrame
{
    Q_OBJECT

public:
    explicit LoginPage(QWidget* parent = nullptr)
        : QFrame(parent)
    {
    }

    // The device double-clicked on the search page, and the login typed there.
    virtual void SetDeviceAddress(DeviceInfo* device) = 0;
    virtual void SetUserPassword(const QString& user, const QString& password) = 0;

signals:
    // Emitted by the main window each time it shows this page.
    void IsLoginFrame();
};

// What the main window needs of the on-screen display page beyond its device
// page: the four position sliders, which jump to a clicked value. Not a widget
// itself, so that the page can build on the operation page pattern.
class OsdPage
{
public:
    virtual ~OsdPage() = default;

    virtual DevicePage* Page() = 0;
    virtual QSlider* GetSldX() const = 0;
    virtual QSlider* GetSldY() const = 0;
    virtual QSlider* GetSldDateX() const = 0;
    virtual QSlider* GetSldDateY() const = 0;
};

// The operation pages are built above this library; the main window gets
// them from the program through this.
class PageFactory
{
public:
    virtual ~PageFactory() = default;

    // Every page but the two searches (built by the main window itself), the
    // login page and the on-screen display page.
    virtual DevicePage* CreatePage(PageIndex index, QWidget* parent) const = 0;
    virtual LoginPage* CreateLoginPage(QWidget* parent) const = 0;
    virtual OsdPage* CreateOsdPage(QWidget* parent) const = 0;
};
