#include "ui/FirstRunWindow.h"

#include "provision/ModelSetup.h"
#include "store/Config.h"
#include "ui/MainMenu.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

QStringList FirstRunWindow::missingPieces()
{
    QStringList missing;
    if (!ModelSetup::find())
        missing << QStringLiteral("音声認識のモデルが見つかりません（%1）").arg(Config::shared().whisperModelPath);
    if (!ModelSetup::findBinary())
        missing << QStringLiteral("whisper-server が見つかりません（%1）").arg(Config::shared().whisperBinary);
    return missing;
}

bool FirstRunWindow::必要()
{
    const bool forced = QFileInfo::exists(Config::file(QStringLiteral(".forcesetup")));
    return forced || !missingPieces().isEmpty();
}

void FirstRunWindow::begin(std::function<void()> onFinished)
{
    onFinished_ = std::move(onFinished);
    if (!window_) {
        window_ = new QWidget;
        window_->setObjectName(QStringLiteral("firstRunWindow"));
        window_->setWindowTitle(QStringLiteral("サイリ のセットアップ"));
        auto* layout = new QVBoxLayout(window_);
        layout->addWidget(new QLabel(QStringLiteral("ようこそ。サイリを使う準備をします。")));
        const QStringList missing = missingPieces();
        auto* body = new QLabel(missing.isEmpty() ? QStringLiteral("準備はできています。")
                                                  : QStringLiteral("足りないもの:\n・") + missing.join(QStringLiteral("\n・")));
        body->setWordWrap(true);
        layout->addWidget(body);
        auto* done = new QPushButton(QStringLiteral("はじめる"));
        layout->addWidget(done, 0, Qt::AlignRight);
        connect(done, &QPushButton::clicked, this, &FirstRunWindow::finish);
        window_->resize(520, 240);
        MainMenu::attachTo(window_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void FirstRunWindow::finish()
{
    if (window_)
        window_->close();
    if (auto done = std::exchange(onFinished_, nullptr))
        done();
}
