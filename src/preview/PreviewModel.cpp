#include "preview/PreviewModel.h"

#include "store/Log.h"

#include <QCoreApplication>
#include <QPointer>

namespace PreviewModel {

QString path()
{
    return ModelSetup::modelsDir() + u'/' + fileName;
}

bool present()
{
    return ModelSetup::verifiedDownload(path(), genuine);
}

namespace {
QPointer<ModelDownload> shared;
}

bool begun()
{
    return shared && shared->running();
}

ModelDownload::Target target()
{
    return {ModelSetup::modelsDir(), fileName, genuine, ModelSetup::modelURLs(fileName)};
}

ModelDownload& download()
{
    if (!shared) {
        shared = new ModelDownload(target(), QCoreApplication::instance());
        QObject::connect(shared, &ModelDownload::installed, shared,
                         [] { Log::write(QStringLiteral("仮表示用の日本語データを取り寄せました")); });
    }
    return *shared;
}

}  // namespace PreviewModel
