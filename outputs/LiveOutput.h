#pragma once
// A network output of the live session: a destination that also tells the operator how it is
// doing. stateText is what the status bar shows ("NMEA: 2 clients", "MQTT: connected");
// message carries one line per fault episode or recovery, for the status bar or, in the
// recorder, standard error.

#include "outputs/HealthState.h"
#include "sensor/SampleSink.h"

#include <QObject>
#include <QString>

class LiveOutput : public QObject, public SampleSink
{
    Q_OBJECT
public:
    using QObject::QObject;

    QString stateText() const { return m_stateText; }

    // The session's health state, whenever it changes and at least once a minute.
    virtual void takeHealth(const HealthState& health) { Q_UNUSED(health) }

signals:
    void stateChanged(const QString& text);
    void message(const QString& text);

protected:
    void setStateText(const QString& text)
    {
        if (text == m_stateText)
            return;
        m_stateText = text;
        emit stateChanged(text);
    }

private:
    QString m_stateText;
};
