// The program as it starts, with a check of what its search window lists: for
// tools/demo.sh --check. Waits until the LAN search lists LAN_COUNT devices,
// then switches to the ONVIF search and waits until it lists ONVIF_COUNT,
// prints the addresses each list shows ("lan-device IP", "onvif-device IP")
// and closes the window. Exit status 0 when both showed up within the bound,
// 1 otherwise.
//
// The HTTP JSON API customers (43, 44) have no LAN search: the range page
// searches START to STOP instead until it lists LAN_COUNT devices ("range-device
// IP"), and the upgrade page must then list as many.
//
//   devscan_democheck LAN_COUNT ONVIF_COUNT [CODE [START STOP]]

#include "CheckBoxTableView.h"
#include "ExtranetsearchFrame.h"
#include "MainFrame.h"
#include "PageIndex.h"
#include "SearchFrame.h"
#include "Startup.h"
#include "TestSupport.h"
#include "ToolBarFrame.h"
#include "ZVAppSetting.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace
{
// Generous: the searches end within seconds; a loaded sanitizer build may take far longer.
constexpr int kBoundMs = 180000;

int Rows(QWidget* page, const char* viewName)
{
    const auto* view = page->findChild<CheckBoxTableView*>(QString::fromLatin1(viewName));
    return view && view->model() ? view->model()->rowCount() : -1;
}

// One "LABEL IP" line per listed row, from the address column.
void PrintAddresses(QWidget* page, const char* viewName, const char* label)
{
    const auto* view = page->findChild<CheckBoxTableView*>(QString::fromLatin1(viewName));
    for (int row = 0; row < view->model()->rowCount(); ++row)
        std::printf("%s %s\n", label, qPrintable(view->model()->index(row, 1).data().toString()));
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: devscan_democheck LAN_COUNT ONVIF_COUNT [CODE]\n");
        return 2;
    }
    const int wantLan = std::atoi(argv[1]);
    const int wantOnvif = std::atoi(argv[2]);
    const QByteArray code = argc > 3 ? QByteArray(argv[3]) : QByteArray("0");
    const bool range = IsHttpApiCompany(code.toInt());
    if (range && argc < 6) {
        std::fprintf(stderr, "devscan_democheck: codes 43 and 44 need the range's START and STOP\n");
        return 2;
    }
    const QString start = range ? QString::fromLatin1(argv[4]) : QString();
    const QString stop = range ? QString::fromLatin1(argv[5]) : QString();

    TestSupport::TemporarySettings settings;
    settings.WriteConfig("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><Language cursel=\"0\">"
                         "<file name=\"ENU.xml\"/></Language><Company>"
        + code + "</Company><Version>V1.0.0</Version></config>\n");

    bool ok = false;
    int lan = -1, onvif = -1;
    QElapsedTimer clock;
    QTimer poll;
    StartupHooks hooks;
    hooks.windowShown = [&](QWidget* window) {
        auto* frame = static_cast<MainFrame*>(window);
        clock.start();
        poll.setInterval(100);
        auto* rangePage = static_cast<ExtranetsearchFrame*>(frame->StackedWidget()->widget(PageExtranetSearch));
        if (range) {
            frame->ToolBar()->Button(ToolBarFrame::ButtonExtranetSearch)->click();
            rangePage->findChild<QLineEdit*>(QStringLiteral("m_pEditStaIP"))->setText(start);
            rangePage->findChild<QLineEdit*>(QStringLiteral("m_pEditEndIP"))->setText(stop);
            rangePage->findChild<QPushButton*>(QStringLiteral("m_pBtnQuery"))->click();
        }
        QObject::connect(&poll, &QTimer::timeout, window, [&, frame, rangePage] {
            SearchFrame* page = frame->SearchPage();
            if (range) {
                lan = rangePage->IsSearching() ? -1 : Rows(rangePage, "m_pDeviceTableView");
                const int listed = Rows(frame->StackedWidget()->widget(PageUpgrade), "m_pDeviceTableView");
                if (lan == wantLan && listed == wantLan) {
                    std::printf("range search lists %d devices after %lld ms\n", lan, clock.elapsed());
                    PrintAddresses(rangePage, "m_pDeviceTableView", "range-device");
                    std::printf("the upgrade page lists %d devices\n", listed);
                    onvif = 0;
                    ok = true;
                } else if (lan >= 0 && clock.elapsed() > kBoundMs) {
                    std::fprintf(stderr, "devscan_democheck: range search lists %d of %d, the upgrade page %d\n", lan,
                        wantLan, listed);
                }
            } else if (page->Protocol() == 0) {
                lan = Rows(page, "m_pNormalView");
                if (lan == wantLan) {
                    std::printf("lan search lists %d devices after %lld ms\n", lan, clock.elapsed());
                    PrintAddresses(page, "m_pNormalView", "lan-device");
                    std::fflush(stdout);
                    page->SetProtocol(1);
                }
            } else {
                onvif = Rows(page, "m_pOnvifView");
                if (onvif == wantOnvif) {
                    std::printf("onvif search lists %d devices after %lld ms\n", onvif, clock.elapsed());
                    PrintAddresses(page, "m_pOnvifView", "onvif-device");
                    std::printf("listed %d devices\n", lan + onvif);
                    ok = true;
                }
            }
            if (ok || clock.elapsed() > kBoundMs) {
                if (!ok && !range)
                    std::fprintf(stderr, "devscan_democheck: lan search lists %d of %d, onvif search %d of %d\n", lan,
                        wantLan, onvif, wantOnvif);
                poll.stop();
                frame->close();
            }
        });
        poll.start();
    };
    const int result = RunDevscan(argc, argv, &hooks);
    return result == 0 && ok ? 0 : 1;
}
