#include "FileDialogs.h"

#include <QFileDialog>

namespace FileDialogs
{
namespace
{
Answer g_answer;

QString Ask(const Question& question)
{
    if (g_answer)
        return g_answer(question);
    if (question.save)
        return QFileDialog::getSaveFileName(question.parent, question.caption, question.directory, question.filter);
    return QFileDialog::getOpenFileName(question.parent, question.caption, question.directory, question.filter);
}
} // namespace

Answer SetAnswer(Answer answer)
{
    std::swap(g_answer, answer);
    return answer;
}

QString GetOpenFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter)
{
    return Ask(Question { false, parent, caption, directory, filter });
}

QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter)
{
    return Ask(Question { true, parent, caption, directory, filter });
}
} // namespace FileDialogs
