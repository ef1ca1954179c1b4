#include "ui/AboutWindow.h"

#include "BuildSettings.h"
#include "ui/ActionButton.h"
#include "ui/Brand.h"
#include "ui/FocusRing.h"
#include "ui/Icons.h"
#include "ui/MainMenu.h"
#include "ui/SettingsDrawing.h"

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextFrameFormat>

namespace {

constexpr int width = 520;
constexpr int height = 600;

using SettingsDrawing::label;

ActionButton* linkButton(QWidget* parent, const QString& title, const QString& path)
{
    return ActionButton::link(title, AboutWindow::pageUrl(path), 11.5, parent);
}

QString licenceText(const QString& folder, const QString& name)
{
    QFile file(folder + u'/' + name + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("（原文ファイルが見つかりません: %1）").arg(name);
    return QString::fromUtf8(file.readAll()).trimmed();
}

}  // namespace

AboutWindow& AboutWindow::shared()
{
    static AboutWindow* instance = new AboutWindow;
    return *instance;
}

const QList<AboutWindow::Credit>& AboutWindow::credits()
{
    static const QList<Credit> list{
        {QStringLiteral("■ whisper.cpp — 音声認識エンジン（MIT License）"), QStringLiteral("whisper-cpp")},
        {QStringLiteral("■ Whisper — 音声認識モデル / OpenAI（MIT License）"), QStringLiteral("whisper-model")},
        {QStringLiteral("■ Qt — 画面・音声入力のライブラリ（LGPL-3.0）"), QStringLiteral("Qt")},
        {QStringLiteral("■ libsoxr — 音声のサンプリング周波数変換（LGPL-2.1）"), QStringLiteral("libsoxr")},
    };
    return list;
}

QString AboutWindow::creditsText(const QString& folder)
{
    const QString rule = QStringLiteral("\n\n") + QString(28, QChar(0x2500)) + QStringLiteral("\n\n");
    QStringList sections;
    for (const Credit& credit : credits())
        sections << credit.heading + QStringLiteral("\n\n") + licenceText(folder, credit.licenseFile);
    return sections.join(rule);
}

QString AboutWindow::reflowed(const QString& text)
{
    // "a) ", "1. ", "(b) ", "- ", "* ", "■ " or a copyright line begin a line of their own.
    static const QRegularExpression item(QStringLiteral("^\\s*((\\(?[0-9a-zA-Z]{1,2}[.)]|[-*■•])\\s|Copyright\\b)"));
    auto isHeading = [](const QString& line) {  // centred titles and rules
        int spaces = 0;
        while (spaces < line.size() && line.at(spaces) == u' ')
            ++spaces;
        return spaces >= 8 || line.trimmed().startsWith(QChar(0x2500));
    };
    QStringList out;
    bool joinable = false;  // whether the next line may continue the last one
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty()) {
            out << QString();
            joinable = false;
        } else if (joinable && !isHeading(line) && !item.match(line).hasMatch()) {
            out.last() += u' ' + trimmed;
        } else {
            // A heading loses its centring spaces; a paragraph keeps its indent.
            out << (isHeading(line) ? trimmed : line.left(line.indexOf(trimmed)) + trimmed);
            joinable = !isHeading(line);
        }
    }
    return out.join(u'\n');
}

QUrl AboutWindow::pageUrl(const QString& path)
{
    QString site = QStringLiteral(SAYRI_SITE_URL);
    if (site.isEmpty())
        return {};
    while (site.endsWith(u'/'))
        site.chop(1);
    return QUrl(site + path);
}

void AboutWindow::buildIfNeeded()
{
    if (window_)
        return;
    auto* w =
        new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_ = w;
    w->setObjectName(QStringLiteral("aboutWindow"));
    w->setWindowTitle(QStringLiteral("サイリについて"));
    w->setFixedSize(width, height);
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, Qt::white);
    w->setPalette(palette);
    w->setAutoFillBackground(true);

    // Frames below are measured from the top-left corner of the content.
    if (auto logo = Icons::image(Icons::Name::logo_mark, 64)) {
        auto* icon = new QLabel(w);
        icon->setPixmap(Icons::shown(*logo, Brand::orange));
        icon->setGeometry(228, 32, 64, 64);
        icon->setAlignment(Qt::AlignCenter);
    }
    label(w, QStringLiteral("サイリ"), Brand::font(21, QFont::Bold), Brand::ink, QRect(20, 99, 480, 29),
          Qt::AlignCenter);
    label(w,
          QStringLiteral("Sayri v{version} — 完全ローカルの音声入力アプリ")
              .replace(QStringLiteral("{version}"), QStringLiteral(SAYRI_VERSION)),
          Brand::font(11.5), Brand::withAlpha(Brand::ink, 0.55), QRect(20, 130, 480, 20), Qt::AlignCenter);

    // The two links share one baseline 402 points above the bottom edge and
    // are centred together with an 18-point gap. Without a configured site
    // they have nowhere to go and are left out.
    if (!pageUrl(QStringLiteral("/terms/")).isEmpty()) {
        auto* terms = linkButton(w, QStringLiteral("利用規約"), QStringLiteral("/terms/"));
        auto* privacy = linkButton(w, QStringLiteral("プライバシーポリシー"), QStringLiteral("/privacy/"));
        const int total = terms->width() + 18 + privacy->width();
        const int left = (width - total) / 2;
        terms->move(left, height - 402 - terms->height());
        privacy->move(left + terms->width() + 18, height - 402 - privacy->height());
    }

    label(w, QStringLiteral("オープンソースライセンス"), Brand::font(12.5, QFont::DemiBold), Brand::ink,
          QRect(28, 219, 464, 17));
    label(w, QStringLiteral("サイリは、次のオープンソースソフトウェアを使って作られています。"), Brand::font(11),
          Brand::withAlpha(Brand::ink, 0.5), QRect(28, 239, 464, 15));

    auto* text = new QTextEdit(w);
    text->setObjectName(QStringLiteral("credits"));
    text->setGeometry(28, 266, 464, 310);
    text->setReadOnly(true);
    text->setAcceptRichText(false);
    text->setFrameShape(QFrame::StyledPanel);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setLineWrapMode(QTextEdit::WidgetWidth);
    text->setFont(Brand::monospaceFont(10.5));
    QPalette textPalette = text->palette();
    textPalette.setColor(QPalette::Base, Qt::white);
    textPalette.setColor(QPalette::Text, Brand::withAlpha(Brand::ink, 0.85));
    text->setPalette(textPalette);
    text->setPlainText(reflowed(creditsText()));
    QTextFrameFormat margins = text->document()->rootFrame()->frameFormat();
    margins.setLeftMargin(10);
    margins.setRightMargin(10);
    margins.setTopMargin(12);
    margins.setBottomMargin(12);
    text->document()->rootFrame()->setFrameFormat(margins);

    if (auto* screen = QGuiApplication::primaryScreen())
        w->move(screen->availableGeometry().center() - QPoint(width / 2, height / 2));
    MainMenu::attachTo(w);
    FocusRing::attach(w);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), w), &QShortcut::activated, w, &QWidget::close);
}

void AboutWindow::show()
{
    bringToFront();
}

void AboutWindow::bringToFront()
{
    buildIfNeeded();
    window_->show();
    window_->raise();
    window_->activateWindow();
}
