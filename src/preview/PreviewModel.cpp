#include "preview/PreviewModel.h"

#include "store/Log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

namespace PreviewModel {

QString path()
{
    return ModelSetup::modelsDir() + u'/' + fileName;
}

bool present()
{
    const QFileInfo info(path());
    return info.isFile() && info.size() == genuine.size;
}

bool begun()
{
    return QFileInfo(path() + QStringLiteral(".part")).isFile();
}

ModelDownload::Target target()
{
    return {ModelSetup::modelsDir(), fileName, genuine, ModelSetup::modelURLs(fileName)};
}

ModelDownload& download()
{
    static QPointer<ModelDownload> shared;
    if (!shared) {
        shared = new ModelDownload(target(), QCoreApplication::instance());
        QObject::connect(shared, &ModelDownload::installed, shared,
                         [] { Log::write(QStringLiteral("仮表示用の日本語データを取り寄せました")); });
    }
    return *shared;
}

}  // namespace PreviewModel
