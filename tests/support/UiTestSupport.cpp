#include "UiTestSupport.h"

#include "BaseDialog.h"
#include "LanguageTexts.h"
#include "TestSupport.h"
#include "TitleBarFrame.h"
#include "WebBrowser.h"
#include "ZVMessageBox.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QToolButton>

namespace TestSupport
{
void ApplyProgramStyle()
{
    QFile styleFile(QStringLiteral(":/qss/Resource/DeviceSearch.qss"));
    if (styleFile.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QTextStream(&styleFile).readAll());
    QFont font;
    font.setFamily(QStringLiteral("Arial"));
    QApplication::setFont(font);
}

void LoadNumberedTexts()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numbered.xml"));
    WriteFile(path, NumberedLanguageFile(241));
    LanguageTexts::Create(path);
}

void ClickCheckBox(QTableView* view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.rect = view->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    option.widget = view;
    const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

DialogAnswerer::DialogAnswerer(Answer answer)
    : m_answer(answer)
{
    BaseDialog::SetShownHook([this](BaseDialog* dialog) { OnShown(dialog); });
}

DialogAnswerer::~DialogAnswerer()
{
    BaseDialog::SetShownHook({});
}

void DialogAnswerer::OnShown(BaseDialog* dialog)
{
    Shown shown;
    shown.title = dialog->Title();
    auto* box = qobject_cast<ZVMessageBox*>(dialog->Content());
    if (box) {
        shown.text = box->Text();
        shown.buttonMode = box->ButtonMode();
        shown.iconMode = box->IconMode();
    }
    m_shown.append(shown);

    if (m_nextAction) {
        auto action = std::move(m_nextAction);
        m_nextAction = nullptr;
        action(dialog);
        return;
    }
    QAbstractButton* button = dialog->TitleBar()->CloseButton();
    if (box && m_answer == ClickOk && box->OkButton())
        button = box->OkButton();
    else if (box && m_answer == ClickCancel && box->CancelButton())
        button = box->CancelButton();
    QTest::mouseClick(button, Qt::LeftButton);
}

WebPageRecorder::WebPageRecorder()
{
    Platform::SetWebPageOpener([this](const QByteArray& address, const QString& verb) {
        m_pages.append({ address, verb });
    });
}

WebPageRecorder::~WebPageRecorder()
{
    Platform::SetWebPageOpener({});
}
} // namespace TestSupport
