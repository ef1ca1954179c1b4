#include "preview/PreviewModel.h"

#include <QFileInfo>

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

}  // namespace PreviewModel
