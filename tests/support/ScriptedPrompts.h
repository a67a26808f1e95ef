#pragma once
// A Prompts implementation for tests: answers come from queues filled by the test, and every
// interaction is recorded so the test can check what the operator would have seen.

#include "app/Prompts.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class ScriptedPrompts : public Prompts
{
public:
    struct Shown
    {
        QString kind; // "confirm", "error", "message", "text", "open", "save"
        QString text; // question, message, or dialog title
        QString informative;
    };

    using Prompts::confirm;
    bool confirm(const QString& text, bool yesByDefault) override;
    // The default button of the last question asked: true for Yes.
    bool lastYesByDefault = true;
    void error(const QString& text, const QString& informative = {}) override;
    // Recorded as an error box that is closed at once.
    void notify(const QString& text, const QString& informative,
                std::function<void()> closed) override;
    void message(const QString& text, const QString& informative = {}) override;
    // Recorded as "text" with the title; the answer is the next of textAnswers (cut to
    // maxLength, as the box's field would), nothing (Cancel) when the queue is empty.
    std::optional<QString> askText(const QString& title, const QString& label,
                                   int maxLength) override;
    std::optional<QString> openFileName(const QString& title, const QString& filter,
                                        const QString& startFolder) override;
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& presetName,
                                        const QString& startFolder) override;

    // Answers given in order; an empty queue answers No / cancels.
    QList<bool> confirmAnswers;
    QList<std::optional<QString>> fileAnswers;
    QList<std::optional<QString>> textAnswers;
    QString lastTextLabel;
    int lastTextMaxLength = 0;

    // Called while a box is "open", so a test can run events inside it as a real box would.
    std::function<void()> whileShowing;

    QList<Shown> shown;
    QString lastPreset;
    QString lastFilter;
    QString lastStartFolder; // of the last open or save dialog

    QStringList errors() const;   // texts of error boxes, in order
    QStringList messages() const; // texts of message boxes, in order
    void clear() { shown.clear(); }
};
