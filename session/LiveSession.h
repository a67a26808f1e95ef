#pragma once
// The live session: the serial source and the demonstration, the pipeline, and the destinations
// every live batch goes to. (Being built.)

#include <QObject>

class LiveSession : public QObject
{
    Q_OBJECT
public:
    explicit LiveSession(QObject* parent = nullptr);
};
