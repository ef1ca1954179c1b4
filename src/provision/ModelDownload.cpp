// Placeholder until the download engine lands: every attempt fails at once.
#include "provision/ModelDownload.h"

#include <QLabel>

struct ModelDownload::Impl {
    Target target;
};

ModelDownload::Target ModelDownload::releaseModel()
{
    return {ModelSetup::modelsDir(), ModelSetup::modelFileName, {}, ModelSetup::modelURLs()};
}

ModelDownload::ModelDownload(Target target, QObject* parent) : QObject(parent), d(new Impl{std::move(target)}) {}
ModelDownload::~ModelDownload() { delete d; }
void ModelDownload::start(QProgressBar*, QLabel* status, QPushButton*)
{
    if (status)
        status->setText(QStringLiteral("ダウンロードはまだできません"));
    Q_EMIT failed();
}
bool ModelDownload::running() const { return false; }
int ModelDownload::urlIndex() const { return 0; }
bool ModelDownload::hasResumeData() const { return false; }
