// Figures for a device table of 10,000 devices: sorting by IP address and
// filtering by text, each against a 50 ms budget, and the cost of refreshing
// one device's row, which must not reset the model. Prints the figures and
// exits non-zero when a budget or the no-reset rule is broken.
//
// Run: QT_QPA_PLATFORM=offscreen build/bin/bench_devicetable [devices]

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace
{
constexpr double kBudgetMs = 50.0;

double TimeMs(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

bool Report(const char* what, const QVector<double>& runs, double budget)
{
    const double worst = *std::max_element(runs.begin(), runs.end());
    QVector<double> sorted = runs;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.at(sorted.size() / 2);
    const bool ok = budget <= 0 || worst < budget;
    std::printf("%-44s median %8.2f ms  worst %8.2f ms  %s\n", what, median, worst,
        budget <= 0 ? "" : (ok ? "ok" : "OVER BUDGET"));
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, QString::fromLatin1(argv[1]).toInt()) : 10000;
    TestSupport::NumberedLanguageTexts texts;

    QWidget page;
    auto* view = new CheckBoxTableView(&page);
    auto* model = new CheckBoxTableModel(view, TableKindSearch, 0);
    QSortFilterProxyModel* proxy = model->proxyModel();
    view->setModel(proxy, 0);

    QRandomGenerator random(20240611);
    QList<DeviceInfo*> devices;
    for (int i = 0; i < count; ++i) {
        const QString ip = QStringLiteral("10.%1.%2.%3")
                               .arg(random.bounded(0, 40))
                               .arg(random.bounded(0, 256))
                               .arg(random.bounded(1, 255));
        devices << TestSupport::NewDevice(
            &page, ip, QStringLiteral("CAM-%1").arg(random.bounded(100000)), random.bounded(1, 17));
    }
    const double fill = TimeMs([&] { model->setDevices(devices); });
    page.resize(1400, 800);
    view->resize(1400, 800);
    page.show();
    app.processEvents();
    std::printf("%d devices; listing them took %.2f ms\n", count, fill);

    bool ok = true;
    QVector<double> sorts;
    for (int run = 0; run < 6; ++run) {
        const Qt::SortOrder order = run % 2 ? Qt::DescendingOrder : Qt::AscendingOrder;
        sorts << TimeMs([&] { view->sortByColumn(1, order); });
    }
    ok &= Report("sort by IP address", sorts, kBudgetMs);

    model->setFilterHeader(32);
    const auto timeFilters = [&](const QStringList& filterTexts, const std::function<void(const QString&)>& apply) {
        QVector<double> runs;
        for (int run = 0; run < 3; ++run) {
            for (const QString& text : filterTexts)
                runs << TimeMs([&] { apply(text); });
        }
        return runs;
    };
    const auto throughModel = [&](const QString& text) { model->setFilterText(text); };
    // What users type: the start of an address; the rows shown stay together.
    ok &= Report("filter by typed address (sorted by IP)",
        timeFilters({ "10.1", "10.12.", "10.2.1", "", "10.39.25", "1", "" }, throughModel), kBudgetMs);
    // Patterns that keep every other row of the sorted table.
    ok &= Report("filter by scattered pattern (sorted by IP)", timeFilters({ "5$", "", "[13579]$", "" }, throughModel),
        kBudgetMs);
    // For comparison: the base class's own setter, range by range (no budget:
    // pages filter through the model).
    Report("same, set on the proxy itself",
        timeFilters({ "5$", "", "[13579]$", "" },
            [&](const QString& text) { proxy->setFilterRegularExpression(QRegularExpression(text)); }),
        0);
    model->setFilterText(QString());

    view->setCurrentIndex(proxy->index(count / 2, 1));
    const QModelIndex current = view->currentIndex();
    QSignalSpy modelResets(model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy proxyResets(proxy, &QAbstractItemModel::modelAboutToBeReset);
    QVector<double> refreshes;
    for (int i = 0; i < 1000; ++i) {
        DeviceInfo* device = devices.at(random.bounded(count));
        device->m_status = i % 2 ? StatusOk : StatusFailed;
        refreshes << TimeMs([&] { model->updateRow(device->LastColumnIndex(TableKindSearch), i % 3 == 0); });
    }
    Report("refresh one device's row", refreshes, 0);
    const bool noReset = modelResets.isEmpty() && proxyResets.isEmpty() && view->currentIndex() == current;
    std::printf("%-44s %s\n", "refreshing rows reset the model", noReset ? "never (ok)" : "YES (fault)");
    ok &= noReset;

    QVector<double> checkAll;
    checkAll << TimeMs([&] { model->setAllChecked(Qt::Checked); });
    checkAll << TimeMs([&] { model->setAllChecked(Qt::Unchecked); });
    Report("check all / uncheck all", checkAll, 0);
    return ok ? 0 : 1;
}
