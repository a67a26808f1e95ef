#include "app/WidgetPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {
const QString kAppTitle = QStringLiteral("Tessmoor Marvane");

// The window a box belongs to: the topmost of the program's windows, so that no box ever opens
// underneath another of them (the Communications dialog stays on top of the main window, and a
// box parented to the main window would hide behind it).
QWidget* owner(QWidget* mainWindow)
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top != mainWindow && top->isVisible() && !top->isMinimized() &&
            top->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return top;
    }
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return mainWindow;
}

void keepOnTop(QMessageBox& box)
{
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
             const QString& informative)
{
    QMessageBox box(icon, kAppTitle, text, QMessageBox::Ok, owner(parent));
    if (!informative.isEmpty())
        box.setInformativeText(informative);
    keepOnTop(box);
    box.exec();
}
} // namespace

bool WidgetPrompts::confirm(const QString& text, bool yesByDefault)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, owner(m_parent));
    box.setDefaultButton(yesByDefault ? QMessageBox::Yes : QMessageBox::No);
    keepOnTop(box);
    return box.exec() == QMessageBox::Yes;
}

void WidgetPrompts::error(const QString& text, const QString& informative)
{
    showBox(m_parent, QMessageBox::Critical, text, informative);
}

void WidgetPrompts::notify(const QString& text, const QString& informative,
                           std::function<void()> closed)
{
    auto* box = new QMessageBox(QMessageBox::Critical, kAppTitle, text, QMessageBox::Ok,
                                owner(m_parent));
    if (!informative.isEmpty())
        box->setInformativeText(informative);
    keepOnTop(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [closed = std::move(closed)](int) {
        if (closed)
            closed();
    });
    box->open();
}

void WidgetPrompts::message(const QString& text, const QString& informative)
{
    showBox(m_parent, QMessageBox::NoIcon, text, informative);
}

std::optional<QString> WidgetPrompts::openFileName(const QString& title, const QString& filter,
                                                   const QString& startFolder)
{
    QFileDialog dialog(owner(m_parent), title, startFolder, filter);
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
    QFileDialog dialog(owner(m_parent), title, startFolder, filter);
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

std::optional<QString> WidgetPrompts::askText(const QString& title, const QString& label,
                                              int maxLength)
{
    QInputDialog dialog(owner(m_parent));
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The dialog makes its field when shown; the bound must hold from the first key.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMaxLength(maxLength);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().left(maxLength);
}
