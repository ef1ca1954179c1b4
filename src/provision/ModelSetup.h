#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Finding, verifying and recording the recognition model and the server
// program.
namespace ModelSetup {

inline const QString modelFileName = QStringLiteral("ggml-large-v3-turbo-q5_0.bin");
inline const QString partialFileName = QStringLiteral("ggml-large-v3-turbo-q5_0.bin.part");
inline constexpr qint64 expectedSize = 574041195;
inline const QString expectedSHA256 =
    QStringLiteral("394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2");
// A file this size or smaller is never taken for a model.
inline constexpr qint64 plausibleModelSize = 499999999;
inline constexpr qint64 hashChunk = 4194304;

// What a genuine file is: exactly `size` bytes with the fingerprint `sha256`.
struct Fingerprint {
    qint64 size = expectedSize;
    QString sha256 = expectedSHA256;
};

// "models" inside the data folder (no file-system access).
QString modelsDir();
// "~/.pomeru/models/ggml-large-v3-turbo-q5_0.bin" with the home folder expanded.
QString defaultModelPath();
// The two download locations of a model file, in order: the maker's site and
// the model hub's copy (both the hub while no site is set).
// SAYRI_MODEL_URLS in the environment, addresses of the recognition model
// separated by spaces, replaces the list (for tests); another model file is
// then fetched from the same folders.
QStringList modelURLs(const QString& fileName = modelFileName);

// The first of: the configured model, modelsDir/model file, the default
// model path, that is a file of more than plausibleModelSize bytes; the
// model Sayri downloads into modelsDir only when verifiedDownload.
std::optional<QString> find();
// The first executable `whisper-server`: the configured path, next to Sayri's
// own executable, each PATH entry, /usr/local/bin, /usr/bin.
std::optional<QString> findBinary();
// 64 lower-case hexadecimal digits, or nothing when the file cannot be read.
std::optional<QString> sha256(const QString& path);
// Exactly the expected size and fingerprint.
bool 本物と一致する(const QString& path, const Fingerprint& genuine = {});
// A file Sayri downloads is the genuine one. Its fingerprint, recorded
// beside it ("<file>.sha256": digest, size, modification time) once it was
// verified, stands while the file is unchanged; a file without a record (or
// changed since) is hashed once and the result recorded. So a file torn by
// a power cut is never taken for the model for its size alone.
bool verifiedDownload(const QString& path, const Fingerprint& genuine = {});
// Records `sha256` as the fingerprint of the file as it is now.
void recordFingerprint(const QString& path, const QString& sha256);
// Records the found model and program in the settings when they changed;
// whether both were found.
bool resolveAndSave();
// At start-up: removes what a download that ended with the process (a
// crash, a power cut) left in the models folder. A partial file written to
// in the last two minutes may be another running Sayri's, and stays.
void removeLeftoverPartials();

}  // namespace ModelSetup
