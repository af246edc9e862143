// A device table of 10,000 devices: sorting by IP address and filtering by
// text through the model, each against a 50 ms budget, beside the proxy's own
// filter setter; the cost of refreshing one device's row, which must not
// reset the model; checking and unchecking all rows.

#include "CheckBoxTableModel.h"
#include "CheckBoxTableView.h"
#include "DeviceFixtures.h"
#include "Sections.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>

#include <functional>

namespace bench
{
namespace
{
constexpr int kDevices = 10000;
constexpr double kBudgetMs = 50.0;

double TimeMs(const std::function<void()>& step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

Figure Budgeted(const QString& title, const QString& measures, const Series& runs)
{
    Figure figure;
    figure.title = title;
    figure.measures = measures;
    figure.figure = QStringLiteral("%1, worst %2 ms").arg(runs.Text("ms", 2)).arg(runs.Max(), 0, 'f', 2);
    figure.goal = QStringLiteral("every step under %1 ms").arg(kBudgetMs, 0, 'f', 0);
    figure.met = runs.Max() < kBudgetMs;
    figure.gap = QStringLiteral("worst %1 ms").arg(runs.Max(), 0, 'f', 2);
    return figure;
}
} // namespace

Outcome DeviceTableSection(const Options&, Report& report)
{
    TestSupport::NumberedLanguageTexts texts;
    QWidget page;
    auto* view = new CheckBoxTableView(&page);
    auto* model = new CheckBoxTableModel(view, TableKindSearch, 0);
    QSortFilterProxyModel* proxy = model->proxyModel();
    view->setModel(proxy, 0);

    QRandomGenerator random(20240611);
    QList<DeviceInfo*> devices;
    for (int i = 0; i < kDevices; ++i) {
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
    QCoreApplication::processEvents();
    report.Note(QStringLiteral("%1 devices; listing them took %2 ms").arg(kDevices).arg(fill, 0, 'f', 2));

    Series sorts;
    for (int run = 0; run < 6; ++run) {
        const Qt::SortOrder order = run % 2 ? Qt::DescendingOrder : Qt::AscendingOrder;
        sorts.Add(TimeMs([&] { view->sortByColumn(1, order); }));
    }
    report.Add(Budgeted(QStringLiteral("10,000-row sort by IP address"),
        QStringLiteral("sortByColumn on the IP column, ascending and descending in turn, 6 sorts"), sorts));

    model->setFilterHeader(32);
    const auto timeFilters = [&](const QStringList& filterTexts, const std::function<void(const QString&)>& apply) {
        Series runs;
        for (int run = 0; run < 3; ++run) {
            for (const QString& text : filterTexts)
                runs.Add(TimeMs([&] { apply(text); }));
        }
        return runs;
    };
    const auto throughModel = [&](const QString& text) { model->setFilterText(text); };
    // What users type: the start of an address; the rows shown stay together.
    report.Add(Budgeted(QStringLiteral("10,000-row filter by typed address"),
        QStringLiteral("setFilterText on the table sorted by IP with the starts of addresses users type (10.1, "
                       "10.12., 10.2.1, empty, 10.39.25, 1, empty), 3 rounds"),
        timeFilters({ "10.1", "10.12.", "10.2.1", "", "10.39.25", "1", "" }, throughModel)));
    // Patterns that keep every other row of the sorted table, beside the base
    // class's own setter, which pages do not use.
    const Series scattered = timeFilters({ "5$", "", "[13579]$", "" }, throughModel);
    const Series own = timeFilters({ "5$", "", "[13579]$", "" },
        [&](const QString& text) { proxy->setFilterRegularExpression(QRegularExpression(text)); });
    Figure figure = Budgeted(QStringLiteral("10,000-row filter by scattered pattern"),
        QStringLiteral("setFilterText with patterns that keep every other row of the table sorted by IP (5$, empty, "
                       "[13579]$, empty), 3 rounds"),
        scattered);
    figure.peer
        = QStringLiteral("the same patterns set on the proxy itself (setFilterRegularExpression): %1, worst %2 ms")
              .arg(own.Text("ms", 2))
              .arg(own.Max(), 0, 'f', 2);
    report.Add(figure);
    model->setFilterText(QString());

    view->setCurrentIndex(proxy->index(kDevices / 2, 1));
    const QModelIndex current = view->currentIndex();
    QSignalSpy modelResets(model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy proxyResets(proxy, &QAbstractItemModel::modelAboutToBeReset);
    Series refreshes;
    for (int i = 0; i < 1000; ++i) {
        DeviceInfo* device = devices.at(random.bounded(kDevices));
        device->m_status = i % 2 ? StatusOk : StatusFailed;
        refreshes.Add(TimeMs([&] { model->updateRow(device->LastColumnIndex(TableKindSearch), i % 3 == 0); }));
    }
    const bool noReset = modelResets.isEmpty() && proxyResets.isEmpty() && view->currentIndex() == current;
    Figure refresh;
    refresh.title = QStringLiteral("10,000-row table: refresh one device's row");
    refresh.measures = QStringLiteral("updateRow for 1000 random devices after a status change");
    refresh.figure = QStringLiteral("%1, worst %2 ms").arg(refreshes.Text("ms", 3)).arg(refreshes.Max(), 0, 'f', 3);
    refresh.goal = QStringLiteral("the model is never reset and the current row stays");
    refresh.met = noReset;
    refresh.gap = QStringLiteral("the model was reset");
    report.Add(refresh);

    const double checkMs = TimeMs([&] { model->setAllChecked(Qt::Checked); });
    const double uncheckMs = TimeMs([&] { model->setAllChecked(Qt::Unchecked); });
    report.Note(QStringLiteral("check all %1 ms, uncheck all %2 ms").arg(checkMs, 0, 'f', 2).arg(uncheckMs, 0, 'f', 2));
    return noReset ? Outcome::Ok() : Outcome::Failed(QStringLiteral("refreshing a row reset the model"));
}
} // namespace bench
