#include "ui/CsvImportDialog.h"

#include <QDir>
#include <QSplitter>
#include <QStandardPaths>
#include <QUrl>

namespace {

// Word lists made by a chat assistant are usually downloaded.
QString startFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        return QDir::homePath();
    return folder;
}

}  // namespace

CsvImportDialog::CsvImportDialog(QWidget* parent)
    : QFileDialog(parent, QStringLiteral("AIに作ってもらった単語表（CSV）を選んでください"), startFolder())
{
    setObjectName(QStringLiteral("csvImportDialog"));
    // Qt's own dialog: the same on every desktop, and in Japanese.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters({QStringLiteral("単語表（CSV・テキスト） (*.csv *.txt *.text)")});
    // Names only, and the user's own folders at the side.
    setViewMode(QFileDialog::List);
    QList<QUrl> places{QUrl::fromLocalFile(QDir::homePath())};
    for (const auto location :
         {QStandardPaths::DownloadLocation, QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (QDir(path).exists() && path != QDir::homePath())
            places << QUrl::fromLocalFile(path);
    }
    setSidebarUrls(places);
    // Wide enough for the folder names at the side.
    resize(680, 440);
    if (auto* splitter = findChild<QSplitter*>(QStringLiteral("splitter")))
        splitter->setSizes({160, 520});
    setLabelText(QFileDialog::LookIn, QStringLiteral("場所:"));
    setLabelText(QFileDialog::FileName, QStringLiteral("ファイル名:"));
    setLabelText(QFileDialog::FileType, QStringLiteral("種類:"));
    setLabelText(QFileDialog::Accept, QStringLiteral("選ぶ"));
    setLabelText(QFileDialog::Reject, QStringLiteral("やめる"));
}
