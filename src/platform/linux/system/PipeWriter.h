#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Writes bytes into a file descriptor a reader holds the other end of (the
// pipe of a clipboard transfer), then closes it. Never waits: what the pipe
// does not take at once is written as the reader makes room, from the main
// thread's event loop. A reader that goes away ends the transfer. Owns the
// descriptor from `start` on.
class PipeWriter : public QObject {
    Q_OBJECT
public:
    static void start(int fd, const QByteArray& bytes);

private:
    PipeWriter(int fd, const QByteArray& bytes);
    ~PipeWriter() override;
    void writeSome();

    int fd_;
    QByteArray bytes_;
    qsizetype written_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};
