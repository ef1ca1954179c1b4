// The brand gradient on views, the icon set with its cache and fallbacks, the
// tray images, and the About window's credits.
#include "BuildSettings.h"
#include "TestDataFolder.h"
#include "ui/AboutWindow.h"
#include "ui/Brand.h"
#include "ui/Icons.h"

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// How far two colours are apart, channel by channel.
int distance(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
}

// A throw-away icon theme with one scalable icon: a filled square.
void writeTheme(const QString& root, const QString& iconName)
{
    writeFile(root + u"/probe/index.theme"_s, "[Icon Theme]\nName=probe\nDirectories=scalable\n\n"
                                              "[scalable]\nSize=64\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    writeFile(root + u"/probe/scalable/"_s + iconName + u".svg"_s,
              "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='64'>"
              "<rect width='64' height='64' fill='#00ff00'/></svg>");
}

QRect opaqueBounds(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace

class TestBrandIcons : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gradientIsPaintedOnceAndRunsDeepToLight()
    {
        QWidget view;
        view.resize(20, 100);
        view.show();
        new QLabel(u"停止"_s, &view);
        Brand::applyGradient(&view, 8, true);
        Brand::applyGradient(&view, 8, true);
        const auto layers = view.findChildren<Brand::GradientLayer*>();
        QCOMPARE(layers.size(), 1);
        // Below the view's own children, following the view's size.
        QCOMPARE(view.children().first(), layers.first());
        view.resize(40, 120);
        QCOMPARE(layers.first()->geometry(), QRect(0, 0, 40, 120));

        // Vertical: deep at the bottom, light at the top. Horizontal: deep at the left.
        const QImage vertical = view.grab().toImage();
        QVERIFY(distance(vertical.pixelColor(20, 118), Brand::orangeDeep) < 24);
        QVERIFY(distance(vertical.pixelColor(20, 1), Brand::orangeLight) < 24);
        Brand::applyGradient(&view, 0, false);
        QCOMPARE(view.findChildren<Brand::GradientLayer*>().size(), 1);
        const QImage horizontal = view.grab().toImage();
        QVERIFY(distance(horizontal.pixelColor(0, 60), Brand::orangeDeep) < 24);
        QVERIFY(distance(horizontal.pixelColor(39, 60), Brand::orangeLight) < 24);
    }

    // Coloured artwork (not a shape) filling most of the asked size.
    void everyNameHasArtworkAtTheAskedSize()
    {
        for (Icons::Name name : Icons::all()) {
            for (qreal size : {14.0, 56.0, 64.0}) {
                const auto image = Icons::image(name, size);
                QVERIFY2(image && !image->isShape, qPrintable(Icons::rawValue(name)));
                QCOMPARE(image->pixmap.deviceIndependentSize(), QSizeF(size, size));
                const QImage pixels = image->pixmap.toImage();
                QVERIFY2(opaqueBounds(pixels).width() > pixels.width() / 2, qPrintable(Icons::rawValue(name)));
            }
        }
    }

    void cachedPerNameSizeAndTemplateFlag()
    {
        const auto a = Icons::image(Icons::Name::nav_history, 20);
        const auto b = Icons::image(Icons::Name::nav_history, 20);
        QCOMPARE(a->pixmap.cacheKey(), b->pixmap.cacheKey());
        const auto c = Icons::image(Icons::Name::nav_history, 24);
        const auto t = Icons::image(Icons::Name::nav_history, 20, true);
        QVERIFY(c->pixmap.cacheKey() != a->pixmap.cacheKey());
        QVERIFY(t->pixmap.cacheKey() != a->pixmap.cacheKey());

        // A shape image is the artwork's shape in black; tinting paints it.
        QVERIFY(t->isShape);
        const QImage shape = t->pixmap.toImage();
        const QRect box = opaqueBounds(shape);
        QVERIFY(!box.isEmpty());
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (qAlpha(shape.pixel(x, y)) == 255)
                    QCOMPARE(QColor(shape.pixel(x, y)).rgb() & 0xffffff, 0u);
        const QImage tinted = Icons::shown(*t, Brand::orange).toImage();
        const QPoint p = box.center();
        QVERIFY(qAlpha(shape.pixel(p)) == 0 || distance(tinted.pixelColor(p), Brand::orange) < 8);
    }

    // Without artwork the theme icon at 82 %, then nothing; the tray keeps
    // our artwork unless the theme has a symbolic icon for that image.
    void themeFallbacks()
    {
        QTemporaryDir root;
        const QStringList oldPaths = QIcon::themeSearchPaths();
        const QString oldTheme = QIcon::themeName();

        // No artwork and no theme icon: nothing, and nothing cached.
        QIcon::setThemeSearchPaths({root.path()});
        QIcon::setThemeName(u"none"_s);
        Icons::IconSet bare(root.path() + u"/icons"_s);
        QVERIFY(!bare.image(Icons::Name::logo_mark, 64, false));

        // A theme icon by the fallback name: drawn at 82 %, centred, always a shape.
        writeTheme(root.path(), Icons::fallbackSymbol(Icons::Name::logo_mark));
        writeTheme(root.path(), u"process-working-symbolic"_s);
        QIcon::setThemeName(u"probe"_s);
        const auto image = bare.image(Icons::Name::logo_mark, 100, false);
        QVERIFY(image && image->isShape);
        QCOMPARE(image->pixmap.deviceIndependentSize(), QSizeF(100, 100));
        const QImage pixels = image->pixmap.toImage();
        const QRect box = opaqueBounds(pixels);
        const qreal ratio = image->pixmap.devicePixelRatio();
        QVERIFY2(qAbs(box.width() / ratio - 82) <= 1, qPrintable(QString::number(box.width())));
        QVERIFY(qAbs((box.left() + box.right()) / 2.0 - pixels.width() / 2.0) <= 1.5);
        QCOMPARE(QColor(pixels.pixel(box.center())).rgb() & 0xffffff, 0u);

        QStringList themeNames;
        for (const char* name : {"menubar_idle", "menubar_recording", "menubar_working"}) {
            const QIcon icon = Icons::tray(QString::fromLatin1(name));
            QCOMPARE(icon.pixmap(22, 22).deviceIndependentSize(), QSizeF(22, 22));
            themeNames << icon.name();
        }
        QIcon::setThemeSearchPaths(oldPaths);
        QIcon::setThemeName(oldTheme);
        QCOMPARE(themeNames, (QStringList{QString(), QString(), u"process-working-symbolic"_s}));
        QVERIFY(Icons::menuBar(u"menubar_unknown"_s).isNull());
    }

    // A missing licence text is named; a present one loses the blank lines around it.
    void creditsNameMissingLicenceTexts()
    {
        QTemporaryDir folder;
        writeFile(folder.path() + u"/Qt.txt"_s, "\n\n  GNU LESSER GENERAL PUBLIC LICENSE\nVersion 3\n\n\n");
        const QString rule = u"\n\n"_s + QString(28, QChar(0x2500)) + u"\n\n"_s;
        const QStringList sections = AboutWindow::creditsText(folder.path()).split(rule);
        const auto& credits = AboutWindow::credits();
        QCOMPARE(sections.size(), credits.size());
        QCOMPARE(sections[2], credits[2].heading + u"\n\nGNU LESSER GENERAL PUBLIC LICENSE\nVersion 3"_s);
        QCOMPARE(sections[3],
                 credits[3].heading + u"\n\n（原文ファイルが見つかりません: "_s + credits[3].licenseFile + u"）"_s);
    }

    void creditsViewJoinsHardWrappedParagraphsOfTheShippedTexts()
    {
        const QList<std::pair<QString, QString>> cases{
            // Centred headings and rules lose their spaces and keep their lines.
            {"          TITLE\n          Version 3\n──────\nnext", "TITLE\nVersion 3\n──────\nnext"},
            // A paragraph's lines join up to the blank line after it.
            {"one\ntwo\n\nthree\nfour", "one two\n\nthree four"},
            // Items and copyright lines begin a line; an indented item keeps its indent.
            {"  0. Defs.\n   a) under\n  ensure\n(b) or", "  0. Defs.\n   a) under ensure\n(b) or"},
            {"x\n- Neither\nLab.\n* y\nCopyright (C) Rob", "x\n- Neither Lab.\n* y\nCopyright (C) Rob"}};
        for (const auto& [text, shown] : cases)
            QCOMPARE(AboutWindow::reflowed(text), shown);
        // The shipped licences are the real texts; reflowing changes only line
        // breaks and spaces, the words of every licence stay.
        const QString all = AboutWindow::creditsText();
        QVERIFY(!all.contains(u"原文ファイルが見つかりません"_s));
        QVERIFY(all.contains(u"Copyright (c) 2022 OpenAI"_s) && all.contains(u"Version 2.1, February 1999"_s));
        QCOMPARE(all.count(u"Permission is hereby granted, free of charge"_s), 2);
        QCOMPARE(AboutWindow::reflowed(all).simplified(), all.simplified());

        // The About window shows them reflowed; it is built once: closing keeps
        // it, showing again brings the same window.
        AboutWindow& about = AboutWindow::shared();
        about.show();
        QWidget* w = about.window();
        auto* credits = w->findChild<QTextEdit*>(u"credits"_s);
        QVERIFY(credits && credits->isReadOnly());
        QCOMPARE(credits->toPlainText(), AboutWindow::reflowed(all));
        w->close();
        about.show();
        QCOMPARE(about.window(), w);
        QVERIFY(w->isVisible());
        w->close();
    }
};

QTEST_MAIN(TestBrandIcons)
#include "tst_BrandIcons.moc"
