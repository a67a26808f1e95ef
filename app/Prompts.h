#pragma once
// Every modal interaction of the program (questions, message and error boxes, the open and save
// dialogs) goes through this interface. The program uses message boxes and file dialogs; tests
// install a scripted implementation so that nothing waits for a person.

#include <QString>

#include <functional>
#include <optional>

class Prompts
{
public:
    virtual ~Prompts() = default;

    // A confirmation box: caption "Confirm", question icon, buttons Yes and No. True for Yes.
    // yesByDefault: which button Return presses.
    virtual bool confirm(const QString& text, bool yesByDefault) = 0;
    bool confirm(const QString& text) { return confirm(text, true); }

    // The program's standard error box: caption "Tessmoor Marvane", error icon, one OK button.
    // informative, when given, is shown as a second paragraph under the text.
    virtual void error(const QString& text, const QString& informative = {}) = 0;

    // The error box without waiting for it: the program goes on (polls, display, logging) while
    // it is open; closed is called once it has been closed.
    virtual void notify(const QString& text, const QString& informative,
                        std::function<void()> closed) = 0;
    // A plain message box captioned "Tessmoor Marvane" with one OK button.
    virtual void message(const QString& text, const QString& informative = {}) = 0;

    // A box asking for one line of text: caption title, label above the field, at most
    // maxLength characters, buttons OK and Cancel. The text entered (possibly empty) for OK;
    // nothing when cancelled.
    virtual std::optional<QString> askText(const QString& title, const QString& label,
                                           int maxLength) = 0;

    // The open dialog, showing startFolder first (the dialog's own choice when empty); nothing
    // when cancelled.
    virtual std::optional<QString> openFileName(const QString& title, const QString& filter,
                                                const QString& startFolder) = 0;

    // The save dialog with a preset file name, without an overwrite prompt of its own and
    // without a default extension, showing startFolder first (the dialog's own choice when
    // empty); nothing when cancelled.
    virtual std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                                const QString& presetName,
                                                const QString& startFolder) = 0;
};
