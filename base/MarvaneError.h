#pragma once
// A failure that ends the handler meeting it; the handler's caller shows text() in the program's
// standard error box.

#include <QString>

#include <stdexcept>

class MarvaneError : public std::runtime_error
{
public:
    explicit MarvaneError(const QString& text)
        : std::runtime_error(text.toStdString()), m_text(text)
    {
    }
    const QString& text() const { return m_text; }

private:
    QString m_text;
};
