#include "platform/linux/QtAudioInputs.h"

#include <QAudioDevice>
#include <QMediaDevices>

QList<AudioInputDevice> QtAudioInputs::inputs()
{
    QList<AudioInputDevice> out;
    for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
        const QString uid = QString::fromUtf8(d.id());
        if (uid.endsWith(QStringLiteral(".monitor")))
            continue;
        out.append({uid, d.description()});
    }
    return out;
}

std::optional<AudioInputDevice> QtAudioInputs::defaultInput()
{
    const QAudioDevice d = QMediaDevices::defaultAudioInput();
    if (d.isNull())
        return std::nullopt;
    return AudioInputDevice{QString::fromUtf8(d.id()), d.description()};
}
