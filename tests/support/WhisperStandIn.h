#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

// The whisper-server stand-in (tests/support/whisper-standin) set up for one
// test: a folder holding it as `whisper-server`, a model file it accepts, its
// script and its record folder. The environment variables that point the
// stand-in at the script and the record folder are set for the test's
// lifetime, so a server started by Sayri picks them up too; hence one
// WhisperStandIn at a time.
class WhisperStandIn {
public:
    struct Recorded {
        QByteArray path;
        QByteArray body;
        QMap<QString, QByteArray> contents;  // form part name -> content
        QVariantMap headers;                 // lower-case name -> value
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()).toByteArray(); }
    };

    WhisperStandIn();
    ~WhisperStandIn();  // ends the servers started with startServer()

    static quint16 freePort();

    QString binary() const { return dir_.path() + QStringLiteral("/whisper-server"); }
    QString model() const { return dir_.path() + QStringLiteral("/ggml-stand-in.bin"); }
    QString recordDir() const { return dir_.path() + QStringLiteral("/record"); }
    // Points Sayri's settings at this stand-in, its model and `port`.
    void configure(quint16 port) const;
    // The reply script (see whisper-standin.py); a bare list of replies.
    void setReplies(const QJsonArray& replies) const { setScript({{QStringLiteral("replies"), replies}}); }
    void setScript(const QJsonObject& script) const;

    // Starts a stand-in as the test's own process (not Sayri's), under the
    // name `whisper-server` or its own file name, and waits until it answers.
    // Returns its pid, or 0 when it did not come up.
    qint64 startServer(quint16 port, bool asWhisperServer = true);

    QList<Recorded> requests() const;
    QList<Recorded> inferenceRequests() const;
    QList<QJsonObject> starts() const;  // {"pid":…, "args":[…]} per start

private:
    QTemporaryDir dir_;
    QList<std::shared_ptr<QProcess>> servers_;
    QByteArray oldScript_;
    QByteArray oldRecord_;
};
