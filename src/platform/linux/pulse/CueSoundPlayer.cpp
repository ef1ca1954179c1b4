#include "platform/linux/pulse/CueSoundPlayer.h"

#include <QFile>
#include <QSoundEffect>
#include <QUrl>

void CueSoundPlayer::play(const QString& name)
{
    QSoundEffect* effect = effects_.value(name);
    if (!effect) {
        const QString path = QStringLiteral(":/sounds/%1.wav").arg(name);
        if (!QFile::exists(path))
            return;
        effect = new QSoundEffect(this);
        effect->setSource(QUrl(QStringLiteral("qrc") + path));
        effect->setVolume(0.6f);
        effects_.insert(name, effect);
    }
    effect->play();
}
