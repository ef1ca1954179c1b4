#pragma once

#include "TestDataFolder.h"
#include "WhisperStandIn.h"

#include <QDir>

// A fresh data folder with Sayri's settings pointed at a whisper-server
// stand-in on a free port.
struct StandInFixture {
    TestDataFolder data;
    WhisperStandIn standIn;
    quint16 port = WhisperStandIn::freePort();
    StandInFixture()
    {
        QDir().mkpath(data.path());
        standIn.configure(port);
    }
    QString log() const { return data.readText(QStringLiteral("sayri.log")); }
};
