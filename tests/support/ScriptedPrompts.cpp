#include "tests/support/ScriptedPrompts.h"

bool ScriptedPrompts::confirm(const QString& text, bool yesByDefault)
{
    lastYesByDefault = yesByDefault;
    shown.append({QStringLiteral("confirm"), text, {}});
    if (whileShowing)
        whileShowing();
    return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
}

void ScriptedPrompts::error(const QString& text, const QString& informative)
{
    shown.append({QStringLiteral("error"), text, informative});
    if (whileShowing)
        whileShowing();
}

void ScriptedPrompts::notify(const QString& text, const QString& informative,
                             std::function<void()> closed)
{
    error(text, informative);
    if (closed)
        closed();
}

void ScriptedPrompts::message(const QString& text, const QString& informative)
{
    shown.append({QStringLiteral("message"), text, informative});
    if (whileShowing)
        whileShowing();
}

std::optional<QString> ScriptedPrompts::askText(const QString& title, const QString& label,
                                                int maxLength)
{
    shown.append({QStringLiteral("text"), title, label});
    lastTextLabel = label;
    lastTextMaxLength = maxLength;
    if (whileShowing)
        whileShowing();
    if (textAnswers.isEmpty())
        return std::nullopt;
    const std::optional<QString> answer = textAnswers.takeFirst();
    return answer ? std::optional<QString>(answer->left(maxLength)) : std::nullopt;
}

std::optional<QString> ScriptedPrompts::openFileName(const QString& title, const QString& filter,
                                                     const QString& startFolder)
{
    shown.append({QStringLiteral("open"), title, {}});
    lastFilter = filter;
    lastStartFolder = startFolder;
    if (whileShowing)
        whileShowing();
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
}

std::optional<QString> ScriptedPrompts::saveFileName(const QString& title, const QString& filter,
                                                     const QString& presetName,
                                                     const QString& startFolder)
{
    shown.append({QStringLiteral("save"), title, {}});
    lastFilter = filter;
    lastStartFolder = startFolder;
    lastPreset = presetName;
    if (whileShowing)
        whileShowing();
    return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
}

QStringList ScriptedPrompts::errors() const
{
    QStringList out;
    for (const Shown& s : shown)
        if (s.kind == QLatin1String("error"))
            out << s.text;
    return out;
}

QStringList ScriptedPrompts::messages() const
{
    QStringList out;
    for (const Shown& s : shown)
        if (s.kind == QLatin1String("message"))
            out << s.text;
    return out;
}
