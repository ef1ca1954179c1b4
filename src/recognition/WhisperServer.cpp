#include "recognition/WhisperServer.h"

#include "store/Log.h"

// Placeholder until the recognition server lands.
WhisperServer::WhisperServer(const ScreenTerms* screen) : screen_(screen) {}
WhisperServer::~WhisperServer() = default;

void WhisperServer::start(const QString&) {}
void WhisperServer::restart(const QString&) {}
void WhisperServer::stop() {}
bool WhisperServer::waitHealthy(double) { return false; }

std::optional<QString> WhisperServer::transcribe(const QByteArray&)
{
    return std::nullopt;
}
