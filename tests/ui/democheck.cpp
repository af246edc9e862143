// The program as it starts, with a check of what its search window lists: for
// tools/demo.sh --check. Waits until the LAN search lists LAN_COUNT devices,
// then switches to the ONVIF search and waits until it lists ONVIF_COUNT,
// prints the addresses each list shows ("lan-device IP", "onvif-device IP")
// and closes the window. Exit status 0 when both showed up within the bound,
// 1 otherwise.
//
//   devscan_democheck LAN_COUNT ONVIF_COUNT [CODE]

#include "CheckBoxTableView.h"
#include "MainFrame.h"
#include "SearchFrame.h"
#include "Startup.h"
#include "TestSupport.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace
{
// Generous: the searches end within seconds; a loaded sanitizer build may take far longer.
constexpr int kBoundMs = 180000;

int Rows(SearchFrame* page, const char* viewName)
{
    const auto* view = page->findChild<CheckBoxTableView*>(QString::fromLatin1(viewName));
    return view && view->model() ? view->model()->rowCount() : -1;
}

// One "LABEL IP" line per listed row, from the address column.
void PrintAddresses(SearchFrame* page, const char* viewName, const char* label)
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
        QObject::connect(&poll, &QTimer::timeout, window, [&, frame] {
            SearchFrame* page = frame->SearchPage();
            if (page->Protocol() == 0) {
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
                if (!ok)
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
