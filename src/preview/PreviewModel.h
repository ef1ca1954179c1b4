#pragma once

#include "provision/ModelDownload.h"

#include <QString>

// The small multilingual whisper model the live preview's server runs:
// "ggml-base.bin" in the models folder, fetched and verified by the model
// download engine like the recognition model.
namespace PreviewModel {

inline const QString fileName = QStringLiteral("ggml-base.bin");
inline const ModelSetup::Fingerprint genuine{
    147951465, QStringLiteral("60ed5bc3dd14eea856493d334349b405782ddcaf0028d4b5df4088345fba2efe")};

// modelsDir() + "/ggml-base.bin" (no file-system access).
QString path();
// The verified file is in place (ModelSetup::verifiedDownload).
bool present();
// A fetch was begun in this run of Sayri and has not finished. A partial
// file left by an earlier run never starts one: nothing is downloaded that
// the user did not ask for.
bool begun();
// What the download engine fetches.
ModelDownload::Target target();
// The one download of the preview model in Sayri, whoever starts it (the
// first-run window, the settings window, the start-up), made on first use on
// the main thread; the log says when it has put the model in place.
ModelDownload& download();

}  // namespace PreviewModel
