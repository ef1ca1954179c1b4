#include "platform/linux/sway/SwayKeySource.h"

#include "platform/linux/sway/SwayIpc.h"
#include "store/Log.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace {

const QString escape = QStringLiteral("Escape");
// The text of the nop command that marks Sayri's bindings.
const QString mark = QStringLiteral("nop sayri ");
// The nop of a press binding, which only keeps the press from the window.
const QString heldMark = QStringLiteral("nop sayri-held ");

struct Named {
    std::int64_t code;
    const char* symbol;
    std::uint64_t flag;
};
constexpr Named named[] = {
    {MacKey::option, "Alt_L", MacKey::optionFlag},          {MacKey::rightOption, "Alt_R", MacKey::optionFlag},
    {MacKey::control, "Control_L", MacKey::controlFlag},    {MacKey::rightControl, "Control_R", MacKey::controlFlag},
    {MacKey::shift, "Shift_L", MacKey::shiftFlag},          {MacKey::rightShift, "Shift_R", MacKey::shiftFlag},
    {MacKey::command, "Super_L", MacKey::commandFlag},      {MacKey::rightCommand, "Super_R", MacKey::commandFlag},
};

}  // namespace

SwayKeySource::SwayKeySource(QString socketPath) : path_(std::move(socketPath))
{
    // The bindings go with Sayri; nothing else ends them.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!isOpen())
            return;
        unbindAll();
        socket_->waitForBytesWritten(500);
    });
}

SwayKeySource::~SwayKeySource() = default;

QString SwayKeySource::symbolOf(std::int64_t keyCode)
{
    for (const Named& n : named) {
        if (n.code == keyCode)
            return QString::fromLatin1(n.symbol);
    }
    return {};
}

std::int64_t SwayKeySource::keyCodeOf(const QString& symbol)
{
    if (symbol == escape)
        return MacKey::escape;
    for (const Named& n : named) {
        if (symbol == QLatin1String(n.symbol))
            return n.code;
    }
    return MacKey::otherKey;
}

bool SwayKeySource::open()
{
    if (isOpen())
        return true;
    delete socket_;
    socket_ = new QLocalSocket(this);
    connect(socket_, &QLocalSocket::readyRead, this, &SwayKeySource::read);
    socket_->connectToServer(path_);
    if (!socket_->waitForConnected(500)) {
        Log::write(QStringLiteral("sway の操作用ソケットにつながりません（%1）").arg(socket_->errorString()));
        return false;
    }
    connect(socket_, &QLocalSocket::disconnected, this,
            [] { Log::write(QStringLiteral("sway の操作用ソケットが切れました。録音キーは聞こえません")); });
    // "workspace" brings word of a reload, which forgets runtime bindings.
    socket_->write(SwayIpc::encode(SwayIpc::subscribe, R"(["binding","workspace"])"));
    bound_.clear();
    held_.clear();
    watchKeys(wanted_);
    return true;
}

bool SwayKeySource::isOpen() const
{
    return socket_ && socket_->state() == QLocalSocket::ConnectedState;
}

bool SwayKeySource::hasKey(std::int64_t keyCode) const
{
    return !symbolOf(keyCode).isEmpty();
}

void SwayKeySource::watchKeys(const std::vector<std::int64_t>& keyCodes)
{
    wanted_ = keyCodes;
    if (!isOpen())
        return;
    QStringList symbols;
    for (const std::int64_t code : keyCodes) {
        if (!symbolOf(code).isEmpty())
            symbols << symbolOf(code);
    }
    for (const QString& symbol : QStringList(bound_)) {
        if (symbol != escape && !symbols.contains(symbol))
            unbind(symbol);
    }
    for (const QString& symbol : symbols) {
        if (!bound_.contains(symbol))
            bind(symbol);
    }
    if (recording_)
        holdPresses(true);
}

void SwayKeySource::watchEscape(bool on)
{
    recording_ = on;
    if (!isOpen())
        return;
    holdPresses(on);
    if (on == bound_.contains(escape))
        return;
    if (on)
        bind(escape);
    else
        unbind(escape);
}

void SwayKeySource::holdPresses(bool on)
{
    QStringList wanted;
    for (const QString& symbol : on ? bound_ : QStringList()) {
        if (symbol != escape)
            wanted << symbol;
    }
    for (const QString& symbol : QStringList(held_)) {
        if (!wanted.contains(symbol)) {
            command(QStringLiteral("unbindsym %1").arg(symbol));
            held_.removeAll(symbol);
        }
    }
    for (const QString& symbol : wanted) {
        if (!held_.contains(symbol)) {
            command(QStringLiteral("bindsym --no-warn --no-repeat %1 %2%1").arg(symbol, heldMark));
            held_ << symbol;
        }
    }
}

void SwayKeySource::command(const QString& text)
{
    socket_->write(SwayIpc::encode(SwayIpc::runCommand, text.toUtf8()));
    socket_->flush();
}

void SwayKeySource::bind(const QString& symbol)
{
    command(QStringLiteral("bindsym --release --no-warn %1 %2%1").arg(symbol, mark));
    bound_ << symbol;
}

void SwayKeySource::unbind(const QString& symbol)
{
    command(QStringLiteral("unbindsym --release %1").arg(symbol));
    bound_.removeAll(symbol);
}

void SwayKeySource::unbindAll()
{
    holdPresses(false);
    for (const QString& symbol : QStringList(bound_))
        unbind(symbol);
}

void SwayKeySource::read()
{
    buffer_.append(socket_->readAll());
    for (const SwayIpc::Message& m : SwayIpc::takeMessages(buffer_)) {
        if (m.type == SwayIpc::bindingEvent) {
            bindingRan(m.payload);
        } else if (m.type == SwayIpc::runCommand) {
            for (const QJsonValue& result : QJsonDocument::fromJson(m.payload).array()) {
                if (!result[QStringLiteral("success")].toBool())
                    Log::write(QStringLiteral("sway がキーの割り当てを断りました: %1")
                                   .arg(result[QStringLiteral("error")].toString()));
            }
        } else if (m.type == SwayIpc::workspaceEvent
                   && QJsonDocument::fromJson(m.payload)[QStringLiteral("change")] == QStringLiteral("reload")) {
            // A reloaded configuration has none of Sayri's bindings.
            const QStringList wanted = std::exchange(bound_, {});
            held_.clear();
            for (const QString& symbol : wanted)
                bind(symbol);
            holdPresses(recording_);
        }
    }
}

void SwayKeySource::bindingRan(const QByteArray& payload)
{
    const QString ran = QJsonDocument::fromJson(payload)[QStringLiteral("binding")][QStringLiteral("command")].toString();
    if (!ran.startsWith(mark) || !onEvent)
        return;
    const std::int64_t code = keyCodeOf(ran.mid(mark.size()).trimmed());
    if (code == MacKey::escape) {
        onEvent(KeyEvent{KeyEventType::keyDown, code, 0});
        return;
    }
    for (const Named& n : named) {
        if (n.code == code) {
            onEvent(KeyEvent{KeyEventType::flagsChanged, code, n.flag});
            onEvent(KeyEvent{KeyEventType::flagsChanged, code, 0});
        }
    }
}
