#include "platform/linux/system/PipeWriter.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

void PipeWriter::start(int fd, const QByteArray& bytes)
{
    if (fd < 0)
        return;
    // A reader that closes its end early makes the write fail with EPIPE
    // instead of ending Sayri.
    static const bool pipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    Q_UNUSED(pipeSignalIgnored)
    new PipeWriter(fd, bytes);
}

PipeWriter::PipeWriter(int fd, const QByteArray& bytes) : fd_(fd), bytes_(bytes)
{
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    writeSome();
}

PipeWriter::~PipeWriter()
{
    ::close(fd_);
}

void PipeWriter::writeSome()
{
    while (written_ < bytes_.size()) {
        const ssize_t n = ::write(fd_, bytes_.constData() + written_, size_t(bytes_.size() - written_));
        if (n > 0) {
            written_ += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!notifier_) {
                notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
                connect(notifier_, &QSocketNotifier::activated, this, &PipeWriter::writeSome);
            }
            return;
        }
        break;  // the reader went away
    }
    if (notifier_)
        notifier_->setEnabled(false);
    deleteLater();
}
