// Readable application names from desktop entries, in a Japanese locale.
#include "TestDataFolder.h"

#include "platform/linux/DesktopEntryNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopEntryNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void namesByWindowClass()
    {
        QTemporaryDir user, system;
        writeFile(system.filePath("org.gnome.Terminal.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Terminal\nName[ja]=端末\nStartupWMClass=Gnome-terminal\n");
        // The file name matches too, but an entry naming the class comes first.
        writeFile(system.filePath("gnome-terminal.desktop"), "[Desktop Entry]\nType=Application\nName=Wrong\n");
        writeFile(system.filePath("gedit.desktop"),
                  "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\nName[ja_JP]=テキストエディター\n"
                  "Name[ja]=エディター\n\n[Desktop Action new-window]\nName=New Window\n");
        writeFile(system.filePath("kde/konsole.desktop"), "[Desktop Entry]\nType=Application\nName=Konsole\n");
        writeFile(system.filePath("link.desktop"), "[Desktop Entry]\nType=Link\nName=A link\n");
        writeFile(system.filePath("gone.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
        writeFile(system.filePath("mine.desktop"), "[Desktop Entry]\nType=Application\nName=System copy\n");
        writeFile(user.filePath("mine.desktop"), "[Desktop Entry]\nType=Application\nName=My own\n");
        writeFile(system.filePath("org.kde.yakuake.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Yakuake\n"
                  "Exec=env QT_SCALE=1 /usr/bin/yakuake %u\nCategories=Qt;System;TerminalEmulator;\n");

        DesktopEntryNames names({user.path(), system.path()});
        QCOMPARE(names.nameFor("Gnome-terminal", "gnome-terminal-server"), QStringLiteral("端末"));
        QCOMPARE(names.nameFor("GNOME-TERMINAL", ""), QStringLiteral("端末"));
        QCOMPARE(names.nameFor("Gedit", "gedit"), QStringLiteral("テキストエディター"));
        QCOMPARE(names.nameFor("konsole", "konsole"), QStringLiteral("Konsole"));
        QCOMPARE(names.nameFor("Mine", "mine"), QStringLiteral("My own"));
        QCOMPARE(names.nameFor("Link", "link"), QString());
        QCOMPARE(names.nameFor("Gone", "gone"), QString());
        QCOMPARE(names.nameFor("Unknown", "unknown"), QString());
        QCOMPARE(names.nameFor("", ""), QString());
        // By the program the entry starts, with what the entry says it is.
        QCOMPARE(names.nameFor("Yakuake", "yakuake"), QStringLiteral("Yakuake"));
        QCOMPARE(names.entryFor("Yakuake", "yakuake")->categories, (QStringList{"Qt", "System", "TerminalEmulator"}));
    }
};

int main(int argc, char** argv)
{
    qputenv("LC_ALL", "ja_JP.UTF-8");
    QCoreApplication app(argc, argv);
    TestDesktopEntryNames test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_DesktopEntryNames.moc"
