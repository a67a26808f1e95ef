#include "session/LiveSession.h"

LiveSession::LiveSession(QObject* parent) : QObject(parent) {}
