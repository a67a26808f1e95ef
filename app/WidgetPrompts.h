#pragma once
// The program's modal interaction: message boxes and file dialogs with the program's captions.

#include "app/Prompts.h"

class QWidget;

class WidgetPrompts : public Prompts
{
public:
    explicit WidgetPrompts(QWidget* parent) : m_parent(parent) {}

    using Prompts::confirm;
    bool confirm(const QString& text, bool yesByDefault) override;
    void error(const QString& text, const QString& informative = {}) override;
    void notify(const QString& text, const QString& informative,
                std::function<void()> closed) override;
    void message(const QString& text, const QString& informative = {}) override;
    std::optional<QString> askText(const QString& title, const QString& label,
                                   int maxLength) override;
    std::optional<QString> openFileName(const QString& title, const QString& filter,
                                        const QString& startFolder) override;
    std::optional<QString> saveFileName(const QString& title, const QString& filter,
                                        const QString& presetName,
                                        const QString& startFolder) override;

private:
    QWidget* m_parent;
};
