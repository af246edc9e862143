#include "LanguageTexts.h"
#include "TestSupport.h"
#include "ToolBarFrame.h"
#include "UiTestSupport.h"
#include "ZVAppSetting.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cmath>

namespace
{
const char* const kNames[ToolBarFrame::ButtonCount] = {
    "Search",
    "Upgrade",
    "Config",
    "DeviceInfo",
    "ImportExport",
    "ChangePassword",
    "ExportExcel",
    "ExtranetSearch",
    "StreamConfig",
    "OSDConfig",
    "RecoveryDevice",
    "InitialDevice",
    "RebootDevice",
    "ChangeDevice",
};

// The row as a user sees it, up to the stretch: shown buttons by name and
// the spacings between them in pixels.
QString RowSignature(const ToolBarFrame& bar)
{
    QStringList parts;
    QLayout* row = bar.layout();
    for (int i = 0; i < row->count(); ++i) {
        QLayoutItem* item = row->itemAt(i);
        if (QWidget* widget = item->widget()) {
            for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
                if (widget == bar.Button(ToolBarFrame::PageButton(b)) && !widget->isHidden())
                    parts << QString::fromLatin1(kNames[b]);
            }
        } else if (QSpacerItem* spacer = item->spacerItem()) {
            if (spacer->expandingDirections() & Qt::Horizontal)
                break;
            parts << QString::number(spacer->sizeHint().width());
        }
    }
    return parts.join(QLatin1Char(' '));
}

QStringList ShownButtons(const ToolBarFrame& bar)
{
    QStringList shown;
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        if (bar.Button(ToolBarFrame::PageButton(b))->isVisibleTo(&bar))
            shown << QString::fromLatin1(kNames[b]);
    }
    return shown;
}

QStringList Items(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i) + QLatin1Char('/') + combo->itemData(i).toString();
    return items;
}
} // namespace

class TestToolBar : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void buttonRow_data();
    void buttonRow();
    void buttonSizes_data();
    void buttonSizes();
    void customerStyles();
    void buttonsEmitTheirRequests();
    void filterItems_data();
    void filterItems();
    void filterColumn_data();
    void filterColumn();
    void languageChangeKeepsSelections();
    void protocolComboWidth();
    void lockLeavesLabelsEnabled();
    void pageButtonTextsStandOut_data();
    void pageButtonTextsStandOut();
    void onvifHidesAllButSearches_data();
    void onvifHidesAllButSearches();
};

void TestToolBar::initTestCase()
{
    TestSupport::ApplyProgramStyle();
    TestSupport::LoadNumberedTexts();
}

void TestToolBar::init()
{
    ZVAppSetting::Instance()->m_company = 0;
    ZVAppSetting::Instance()->m_currentLanguage = 0;
}

void TestToolBar::buttonRow_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("row");
    QTest::addColumn<bool>("protocol");

    const QString base = QStringLiteral("Search 10 Upgrade 10 Config");
    QTest::newRow("0") << 0
                       << base
            + " 10 StreamConfig 10 OSDConfig 10 RecoveryDevice 10 ImportExport 10 RebootDevice"
              " 10 ChangePassword"
                       << false;
    QTest::newRow("5") << 5 << base + " 10 ImportExport" << false;
    QTest::newRow("16") << 16 << base + " 10 ImportExport" << false;
    QTest::newRow("13") << 13 << base + " 10 DeviceInfo" << true;
    QTest::newRow("36") << 36 << base + " 10 DeviceInfo" << true;
    QTest::newRow("22") << 22 << base + " 10 DeviceInfo" << false;
    QTest::newRow("20") << 20 << base + " 10 ExtranetSearch" << true;
    QTest::newRow("42") << 42 << base + " 10 ExtranetSearch" << true;
    QTest::newRow("26") << 26 << base << true;
    QTest::newRow("34") << 34 << base + " 10 ChangePassword" << true;
    QTest::newRow("37") << 37 << base + " 10 ExportExcel" << true;
    QTest::newRow("38") << 38 << base + " 10 ExportExcel 10 StreamConfig 10 OSDConfig 10 ChangePassword" << true;
    QTest::newRow("39 places ExportExcel in the row")
        << 39 << base + " 10 ExportExcel 10 StreamConfig 10 OSDConfig 10 ChangePassword" << true;
    QTest::newRow("40") << 40 << base + " 10 RecoveryDevice ChangeDevice 10" << false;
    QTest::newRow("43") << 43
                        << base
            + " 10 ChangePassword 10 ExportExcel 10 ImportExport 10 OSDConfig 10 StreamConfig"
              " 10 InitialDevice 10 RebootDevice 10 ExtranetSearch"
                        << false;
    QTest::newRow("44") << 44
                        << base
            + " 10 ChangePassword 10 ExportExcel 10 ImportExport 10 OSDConfig 10 StreamConfig"
              " 10 InitialDevice 10 RebootDevice 10 ExtranetSearch"
                        << false;
    QTest::newRow("45") << 45
                        << base + " 10 StreamConfig 10 OSDConfig 10 RecoveryDevice 10 ImportExport 10 ChangePassword"
                        << false;
    QTest::newRow("other") << 7 << base << false;
}

void TestToolBar::buttonRow()
{
    QFETCH(int, code);
    QFETCH(QString, row);
    QFETCH(bool, protocol);

    ZVAppSetting::Instance()->m_company = code;
    ToolBarFrame bar;
    QCOMPARE(RowSignature(bar), row);
    // No button is shown outside the row.
    QStringList inRow = QString(row).remove(QRegularExpression(" ?\\d+")).split(QLatin1Char(' '));
    QStringList shown = ShownButtons(bar);
    inRow.sort();
    shown.sort();
    QCOMPARE(shown, inRow);
    QCOMPARE(bar.ProtocolLabel()->isVisibleTo(&bar), protocol);
    QCOMPARE(bar.ProtocolCombo()->isVisibleTo(&bar), protocol);
    QVERIFY(bar.Button(ToolBarFrame::ButtonSearch)->isChecked());
    QCOMPARE(bar.Button(ToolBarFrame::ButtonRebootDevice)->text(), QStringLiteral("T224"));
    QCOMPARE(bar.Button(ToolBarFrame::ButtonRebootDevice)->toolTip(), QStringLiteral("T224"));
    QCOMPARE(bar.FilterLabel()->text(), QStringLiteral("T14"));
    QCOMPARE(bar.ProtocolLabel()->text(), QStringLiteral("T136"));
    QCOMPARE(Items(bar.ProtocolCombo()), (QStringList { "T137/", "T138/" }));
}

void TestToolBar::buttonSizes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");

    const int any = QWIDGETSIZE_MAX;
    QTest::newRow("0 bounded") << 0 << int(ToolBarFrame::ButtonChangeDevice) << 85 << 110;
    QTest::newRow("0 unbounded") << 0 << int(ToolBarFrame::ButtonDeviceInfo) << 0 << any;
    QTest::newRow("38 bounded") << 38 << int(ToolBarFrame::ButtonExportExcel) << 95 << 122;
    QTest::newRow("38 unbounded") << 38 << int(ToolBarFrame::ButtonRebootDevice) << 0 << any;
    QTest::newRow("43 bounded") << 43 << int(ToolBarFrame::ButtonExtranetSearch) << 85 << 100;
    QTest::newRow("43 unbounded") << 43 << int(ToolBarFrame::ButtonRecoveryDevice) << 0 << any;
    QTest::newRow("45 bounded") << 45 << int(ToolBarFrame::ButtonOSDConfig) << 108 << 160;
    QTest::newRow("45 unbounded") << 45 << int(ToolBarFrame::ButtonExportExcel) << 0 << any;
    QTest::newRow("other fixed") << 20 << int(ToolBarFrame::ButtonSearch) << 120 << 120;
}

void TestToolBar::buttonSizes()
{
    QFETCH(int, code);
    QFETCH(int, button);
    QFETCH(int, minimum);
    QFETCH(int, maximum);

    ZVAppSetting::Instance()->m_company = code;
    ToolBarFrame bar;
    const QPushButton* pushButton = bar.Button(ToolBarFrame::PageButton(button));
    QCOMPARE(pushButton->minimumWidth(), minimum);
    QCOMPARE(pushButton->maximumWidth(), maximum);
    QCOMPARE(pushButton->minimumHeight(), 38);
    QCOMPARE(pushButton->maximumHeight(), 38);
    QCOMPARE(pushButton->objectName(), QStringLiteral("PageTabButton"));
}

void TestToolBar::customerStyles()
{
    ZVAppSetting::Instance()->m_company = 10;
    {
        ToolBarFrame bar;
        QCOMPARE(bar.FilterEdit()->objectName(), QStringLiteral("ToolBarEdit"));
        QCOMPARE(bar.FilterCombo()->objectName(), QStringLiteral("ToolBarCombox"));
        QCOMPARE(bar.FilterEdit()->size(), QSize(100, 25));
    }
    ZVAppSetting::Instance()->m_company = 40;
    ToolBarFrame bar;
    QVERIFY(bar.FilterEdit()->objectName().isEmpty());
    const QString bold = QStringLiteral("QPushButton{ font: bold;}");
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        const auto which = ToolBarFrame::PageButton(b);
        const bool expected = which == ToolBarFrame::ButtonSearch || which == ToolBarFrame::ButtonUpgrade
            || which == ToolBarFrame::ButtonConfig || which == ToolBarFrame::ButtonRecoveryDevice
            || which == ToolBarFrame::ButtonChangeDevice;
        QCOMPARE(bar.Button(which)->styleSheet() == bold, expected);
    }
}

void TestToolBar::buttonsEmitTheirRequests()
{
    ZVAppSetting::Instance()->m_company = 0;
    ToolBarFrame bar;
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b) {
        const QByteArray signal = QByteArray("2") + kNames[b] + "Request()";
        QSignalSpy spy(&bar, signal.constData());
        QVERIFY(spy.isValid());
        bar.Button(ToolBarFrame::PageButton(b))->click();
        QCOMPARE(spy.count(), 1);
        QVERIFY(bar.Button(ToolBarFrame::PageButton(b))->isChecked());
    }
    QSignalSpy text(&bar, &ToolBarFrame::FilterTextChangedRequest);
    bar.FilterEdit()->setText(QStringLiteral("10.0"));
    QCOMPARE(text.count(), 1);
}

void TestToolBar::filterItems_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("streamMode");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("SDK protocol") << 0 << 0 << false << QStringList { "T32/1", "T33/2", "T34/3" };
    QTest::newRow("43 has no media port") << 43 << 0 << false << QStringList { "T32/1", "T34/3" };
    QTest::newRow("44 has no media port") << 44 << 0 << false << QStringList { "T32/1", "T34/3" };
    QTest::newRow("40 has no third item") << 40 << 0 << false << QStringList { "T32/1", "T33/2" };
    QTest::newRow("ONVIF") << 20 << 1 << false << QStringList { "T32/1" };
    QTest::newRow("stream page") << 0 << 0 << true << QStringList { "T32/1", "T34/3" };
    QTest::newRow("stream page, ONVIF") << 38 << 1 << true << QStringList { "T32/1" };
}

void TestToolBar::filterItems()
{
    QFETCH(int, code);
    QFETCH(int, protocol);
    QFETCH(bool, streamMode);
    QFETCH(QStringList, items);

    ZVAppSetting::Instance()->m_company = code;
    ToolBarFrame bar;
    bar.ProtocolCombo()->setCurrentIndex(protocol);
    bar.RefillFilterCombo(streamMode);
    QCOMPARE(Items(bar.FilterCombo()), items);
}

void TestToolBar::filterColumn_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("column");

    QTest::newRow("first item") << 0 << int(ToolBarFrame::ButtonUpgrade) << 0 << 1;
    QTest::newRow("second item") << 0 << int(ToolBarFrame::ButtonUpgrade) << 1 << 2;
    QTest::newRow("third item") << 0 << int(ToolBarFrame::ButtonUpgrade) << 2 << 3;
    QTest::newRow("third item on the search page") << 0 << int(ToolBarFrame::ButtonSearch) << 2 << 4;
    QTest::newRow("43: text 34 is column 3") << 43 << int(ToolBarFrame::ButtonUpgrade) << 1 << 3;
    QTest::newRow("43 on the search page") << 43 << int(ToolBarFrame::ButtonSearch) << 1 << 3;
    QTest::newRow("empty combo") << 0 << int(ToolBarFrame::ButtonUpgrade) << -1 << 0;
}

void TestToolBar::filterColumn()
{
    QFETCH(int, code);
    QFETCH(int, checked);
    QFETCH(int, index);
    QFETCH(int, column);

    ZVAppSetting::Instance()->m_company = code;
    ToolBarFrame bar;
    bar.Button(ToolBarFrame::PageButton(checked))->setChecked(true);
    if (index < 0)
        bar.FilterCombo()->clear();
    else
        bar.FilterCombo()->setCurrentIndex(index);
    QCOMPARE(bar.GetFilterColumn(), column);
}

void TestToolBar::languageChangeKeepsSelections()
{
    ZVAppSetting::Instance()->m_company = 20;
    ToolBarFrame bar;
    bar.FilterCombo()->setCurrentIndex(2);
    QSignalSpy filter(&bar, &ToolBarFrame::FilterIndexChangedRequest);
    QSignalSpy protocol(&bar, &ToolBarFrame::ProtocolIndexChangedRequest);

    TestSupport::TemporaryLanguageFile other(
        QStringLiteral("tst_toolbar_B.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("B")));
    LanguageTexts::Reload(other.Path());
    ZVAppSetting::Instance()->SetLanguage(ZVAppSetting::Instance()->m_currentLanguage);
    QCoreApplication::processEvents();
    QCOMPARE(bar.Button(ToolBarFrame::ButtonSearch)->text(), QStringLiteral("B10"));
    QCOMPARE(bar.FilterLabel()->text(), QStringLiteral("B14"));
    QCOMPARE(Items(bar.FilterCombo()), (QStringList { "B32/1", "B33/2", "B34/3" }));
    QCOMPARE(bar.FilterCombo()->currentIndex(), 2);
    QCOMPARE(filter.count(), 0);

    // ONVIF chosen: the protocol stays, with the filter it allows.
    bar.ProtocolCombo()->setCurrentIndex(1);
    protocol.clear();
    filter.clear();
    ZVAppSetting::Instance()->SetLanguage(ZVAppSetting::Instance()->m_currentLanguage);
    QCoreApplication::processEvents();
    QCOMPARE(bar.ProtocolCombo()->currentIndex(), 1);
    QCOMPARE(Items(bar.ProtocolCombo()), (QStringList { "B137/", "B138/" }));
    QCOMPARE(Items(bar.FilterCombo()), QStringList { "B32/1" });
    QCOMPARE(protocol.count(), 0);
    QCOMPARE(filter.count(), 0);
    TestSupport::LoadNumberedTexts();
}

void TestToolBar::protocolComboWidth()
{
    ZVAppSetting::Instance()->m_company = 42;
    {
        ToolBarFrame bar;
        QCOMPARE(bar.ProtocolCombo()->minimumWidth(), 105);
        QCOMPARE(bar.ProtocolCombo()->maximumWidth(), 105);
    }
    ZVAppSetting::Instance()->m_currentLanguage = 2;
    ToolBarFrame bar;
    QCOMPARE(bar.ProtocolCombo()->minimumWidth(), 120);
    QCOMPARE(bar.ProtocolCombo()->maximumWidth(), QWIDGETSIZE_MAX);
}

void TestToolBar::lockLeavesLabelsEnabled()
{
    ZVAppSetting::Instance()->m_company = 20;
    ToolBarFrame bar;
    bar.SetControlsEnabled(false);
    for (int b = 0; b < ToolBarFrame::ButtonCount; ++b)
        QVERIFY(!bar.Button(ToolBarFrame::PageButton(b))->isEnabled());
    QVERIFY(!bar.FilterEdit()->isEnabled());
    QVERIFY(!bar.FilterCombo()->isEnabled());
    QVERIFY(!bar.ProtocolCombo()->isEnabled());
    QVERIFY(bar.FilterLabel()->isEnabled());
    QVERIFY(bar.ProtocolLabel()->isEnabled());
    bar.SetControlsEnabled(true);
    QVERIFY(bar.Button(ToolBarFrame::ButtonExtranetSearch)->isEnabled());
    QVERIFY(bar.FilterCombo()->isEnabled());
}

// WCAG 2 relative luminance of an sRGB colour.
static double Luminance(const QColor& colour)
{
    auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) + 0.0722 * linear(colour.blue());
}

static double Contrast(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

void TestToolBar::pageButtonTextsStandOut_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QColor>("text");
    // The style sheet's text colours: white, and #999999 on a disabled button.
    QTest::newRow("disabled") << int(ToolBarFrame::ButtonConfig) << false << QColor(0x99, 0x99, 0x99);
    QTest::newRow("disabled and checked") << int(ToolBarFrame::ButtonSearch) << false << QColor(0x99, 0x99, 0x99);
    QTest::newRow("normal") << int(ToolBarFrame::ButtonConfig) << true << QColor(Qt::white);
    QTest::newRow("checked") << int(ToolBarFrame::ButtonSearch) << true << QColor(Qt::white);
}

void TestToolBar::pageButtonTextsStandOut()
{
    QFETCH(int, button);
    QFETCH(bool, enabled);
    QFETCH(QColor, text);
    // Long words, so that the text covers a good part of the button.
    TestSupport::TemporaryLanguageFile words(
        QStringLiteral("tst_toolbar_words.xml"), TestSupport::NumberedLanguageFile(239, QStringLiteral("Mmmm")));
    LanguageTexts::Reload(words.Path());
    ToolBarFrame bar;
    bar.resize(1400, 60);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetControlsEnabled(enabled);
    QPushButton* shown = bar.Button(ToolBarFrame::PageButton(button));
    QCOMPARE(shown->isChecked(), button == ToolBarFrame::ButtonSearch);
    const QImage picture = shown->grab().toImage();

    // The tab's body is the upper part (the text keeps out of the lower); its
    // colour is the one most of it has, the text the one furthest from it.
    QHash<QRgb, int> counts;
    const int bodyBottom = picture.height() - 14;
    for (int y = 2; y < bodyBottom; ++y) {
        for (int x = 2; x < picture.width() - 2; ++x)
            ++counts[picture.pixel(x, y)];
    }
    QRgb body = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(body))
            body = it.key();
    }
    QColor furthest = QColor(body);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (Contrast(QColor(it.key()), QColor(body)) > Contrast(furthest, QColor(body)))
            furthest = QColor(it.key());
    }
    // The text is drawn in its colour (its glyphs' cores reach it) ...
    QVERIFY2(qAbs(furthest.red() - text.red()) <= 24 && qAbs(furthest.green() - text.green()) <= 24
            && qAbs(furthest.blue() - text.blue()) <= 24,
        qPrintable(furthest.name() + QStringLiteral(" on ") + QColor(body).name()));
    // ... and stands out from the image it is drawn on.
    const double ratio = Contrast(text, QColor(body));
    QVERIFY2(
        ratio >= 3.0, qPrintable(QStringLiteral("%1 on %2: %3:1").arg(text.name(), QColor(body).name()).arg(ratio)));
    TestSupport::LoadNumberedTexts();
}

void TestToolBar::onvifHidesAllButSearches_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("onvif");

    QTest::newRow("0") << 0 << "Search";
    QTest::newRow("20") << 20 << "Search ExtranetSearch";
    QTest::newRow("38") << 38 << "Search";
    QTest::newRow("43") << 43 << "Search ExtranetSearch";
}

void TestToolBar::onvifHidesAllButSearches()
{
    QFETCH(int, code);
    QFETCH(QString, onvif);

    ZVAppSetting::Instance()->m_company = code;
    ToolBarFrame bar;
    const QStringList all = ShownButtons(bar);
    bar.SetPageButtonsVisible(false);
    QCOMPARE(ShownButtons(bar).join(QLatin1Char(' ')), onvif);
    bar.SetPageButtonsVisible(true);
    QCOMPARE(ShownButtons(bar), all);
}

QTEST_MAIN(TestToolBar)
#include "tst_toolbar.moc"
