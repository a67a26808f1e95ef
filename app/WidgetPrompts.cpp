#include "app/WidgetPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {
const QString kAppTitle = QStringLiteral("Tessmoor Marvane");

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
             const QString& informative)
{
    QMessageBox box(icon, kAppTitle, text, QMessageBox::Ok, parent);
    if (!informative.isEmpty())
        box.setInformativeText(informative);
    box.exec();
}
} // namespace

bool WidgetPrompts::confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void WidgetPrompts::error(const QString& text, const QString& informative)
{
    showBox(m_parent, QMessageBox::Critical, text, informative);
}

void WidgetPrompts::message(const QString& text, const QString& informative)
{
    showBox(m_parent, QMessageBox::NoIcon, text, informative);
}

std::optional<QString> WidgetPrompts::openFileName(const QString& title, const QString& filter,
                                                   const QString& startFolder)
{
    QFileDialog dialog(m_parent, title, startFolder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is accepted and reported when it is opened.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> WidgetPrompts::saveFileName(const QString& title, const QString& filter,
                                                   const QString& presetName,
                                                   const QString& startFolder)
{
    QFileDialog dialog(m_parent, title, startFolder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The program asks its own Replace question; a name typed without ".log" is used as typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setDefaultSuffix(QString());
    dialog.selectFile(presetName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
