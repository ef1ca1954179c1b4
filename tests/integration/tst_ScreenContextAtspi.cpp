// Screen-context hints over the real accessibility bus: a Qt window made
// frontmost, its text read through AT-SPI, the walk's limits on windows built
// past them, and the faults a desktop can throw at it.
#include "ScreenWindow.h"
#include "TestDataFolder.h"

#include "desktop/ScreenContext.h"
#include "platform/linux/AtspiTree.h"
#include "platform/linux/X11FrontmostApp.h"
#include "store/Config.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace {

bool accessibilityEnabled()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")});
    const QDBusMessage answer = QDBusConnection::sessionBus().call(get);
    return !answer.arguments().isEmpty() && answer.arguments().first().value<QDBusVariant>().variant().toBool();
}

QStringList linesOf(const QString& text)
{
    return text.split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace

class ScreenContextAtspiTest : public QObject {
    Q_OBJECT

    std::shared_ptr<AtspiTree> tree_ = std::make_shared<AtspiTree>();

    // The text of the window in front, read as a capture reads it.
    QString frontText(qint64 pid) { return ScreenContext::axVisibleText(*tree_, pid); }

    // Reads until the application has published its tree (it does so a moment
    // after it starts, or after the desktop's accessibility was switched on).
    QString waitForText(qint64 pid)
    {
        QString text;
        QElapsedTimer t;
        t.start();
        while (text.isEmpty() && t.elapsed() < 10000) {
            text = frontText(pid);
            if (text.isEmpty())
                QTest::qWait(100);
        }
        return text;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("SAYRI_SESSION_DIR").isEmpty(), "run inside scripts/desktop-session");
    }

    void probe()
    {
        QVERIFY(tree_->switchOn());
        QVERIFY(accessibilityEnabled());
        ScreenWindow window({QStringLiteral("terms")});
        QVERIFY(window.start());
        const QString text = waitForText(window.pid());
        qDebug().noquote() << text;
        QElapsedTimer t;
        t.start();
        ScreenWindow labels({QStringLiteral("labels"), QStringLiteral("1500")});
        QVERIFY(labels.start());
        waitForText(labels.pid());
        const int before = tree_->callsSent();
        t.restart();
        const QString l = frontText(labels.pid());
        qDebug() << "labels" << t.elapsed() << "ms" << tree_->callsSent() - before << "calls" << linesOf(l).size() << linesOf(l).mid(0, 3) << linesOf(l).last();
    }
};

QTEST_MAIN(ScreenContextAtspiTest)
#include "tst_ScreenContextAtspi.moc"
