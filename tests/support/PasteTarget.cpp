#include "PasteTarget.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

PasteTarget::PasteTarget() : PasteTarget(Options{}) {}

PasteTarget::PasteTarget(Options options) : options_(std::move(options))
{
    if (options_.windowClass.isEmpty())
        options_.windowClass = QStringLiteral("Sayri-paste-target");
}

PasteTarget::~PasteTarget()
{
    close();
}

QString PasteTarget::program()
{
    return QStringLiteral(SAYRI_PASTE_TARGET);
}

bool PasteTarget::start(int timeoutMs)
{
    QStringList args{QStringLiteral("--out"), dir_.path(), QStringLiteral("--class"), options_.windowClass};
    if (!options_.instance.isEmpty())
        args << QStringLiteral("--instance") << options_.instance;
    if (options_.terminal)
        args << QStringLiteral("--terminal");
    if (options_.lineEdit)
        args << QStringLiteral("--line");
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program(), args);
    if (!process_.waitForStarted(timeoutMs))
        return false;
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (timer.elapsed() < timeoutMs) {
        if (!process_.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed()))))
            break;
        out += process_.readAllStandardOutput();
        const qsizetype at = out.indexOf("ready ");
        const qsizetype end = out.indexOf('\n', at);
        if (at >= 0 && end > at) {
            windowId_ = QString::fromLatin1(out.mid(at + 6, end - at - 6));
            break;
        }
    }
    if (windowId_.isEmpty())
        return false;
    // Qt sees the focus a moment before the window manager names the window
    // active; wait for both.
    const qulonglong id = windowId_.toULongLong(nullptr, 16);
    QElapsedTimer sinceReady;
    sinceReady.start();
    bool asked = false;
    while (timer.elapsed() < timeoutMs) {
        // On a busy machine the window manager may map the window without
        // focusing it; ask it once, as a user clicking the window would.
        if (!asked && sinceReady.elapsed() > 1500) {
            asked = true;
            activate();
        }
        QProcess active;
        active.start(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow")});
        if (active.waitForFinished(2000) && active.readAllStandardOutput().trimmed().toULongLong() == id)
            return true;
        QThread::msleep(10);
    }
    return false;
}

void PasteTarget::close()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool PasteTarget::activate()
{
    if (windowId_.isEmpty())
        return false;
    return QProcess::execute(QStringLiteral("timeout"),
                             {QStringLiteral("5"), QStringLiteral("xdotool"), QStringLiteral("windowactivate"),
                              QStringLiteral("--sync"), windowId_})
        == 0;
}

QString PasteTarget::text() const
{
    QFile f(dir_.path() + QStringLiteral("/text"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QStringList PasteTarget::keys() const
{
    QFile f(dir_.path() + QStringLiteral("/keys"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

qint64 PasteTarget::pid() const
{
    return process_.processId();
}
