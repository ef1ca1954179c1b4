#include "store/Config.h"

#include "store/AtomicFile.h"
#include "store/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace Config {

namespace {

std::mutex sharedMutex;

ConfigData& sharedRecord()
{
    static ConfigData record;
    return record;
}

// A "config.json" that does not decode and has not been kept aside yet; no
// save replaces it until a copy of it is safely beside it.
QString& brokenNotKept()
{
    static QString path;
    return path;
}

// Keeps the broken file beside it, so a hand edit gone wrong costs nothing.
// False when the copy could not be made.
bool keepBrokenCopy(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QFile::copy(path, path + QStringLiteral(".broken-") + stamp);
}

}  // namespace

const QString defaultDictionary =
    QString::fromUtf16(u"# ここに、よく使う固有名詞や専門用語を1行ずつ書くと、聞き取りが正確になります。\n"
                       u"# （#で始まる行は読みません）\n"
                       u"#\n"
                       u"# 【書き方】\n"
                       u"#   ふつうの語:      株式会社あおぞら\n"
                       u"#   読みも教える:    ふかんず=俯瞰図\n"
                       u"#     → 左側の言葉が出てきたとき、自動で右側に直します。\n"
                       u"#   間違いを直す:    渡辺=渡邊\n"
                       u"#     → 左側はひらがなでなくてもOK。よその書き方で出てしまうときに使います。\n"
                       u"#\n"
                       u"# 【コツ】実際に使われるのは先頭%1字ぶんです。よく使う語を上に置いてください。\n"
                       u"# 設定ウィンドウの「プロンプトをコピー」を使うと、AIにまとめて用意させられます。")
        .arg(dictionaryBudget);

QString dataFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Sayri");
}

QString file(const QString& name)
{
    return dataFolder() + u'/' + name;
}

ConfigData shared()
{
    std::lock_guard lock(sharedMutex);
    return sharedRecord();
}

void edit(const std::function<void(ConfigData&)>& change)
{
    std::lock_guard lock(sharedMutex);
    change(sharedRecord());
}

void replaceShared(const ConfigData& data)
{
    std::lock_guard lock(sharedMutex);
    sharedRecord() = data;
}

void bootstrap()
{
    QDir().mkpath(dataFolder());

    const QString dictionary = file(QStringLiteral("dictionary.txt"));
    if (!QFileInfo::exists(dictionary)) {
        QFile f(dictionary);
        if (f.open(QIODevice::WriteOnly))
            f.write(defaultDictionary.toUtf8());
    }

    const QString path = file(QStringLiteral("config.json"));
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = f.readAll();
        f.close();
        if (const auto decoded = ConfigData::decode(bytes)) {
            replaceShared(*decoded);
            return;
        }
        brokenNotKept() = path;
    }
    save();
}

bool save()
{
    const QString path = file(QStringLiteral("config.json"));
    {
        std::lock_guard lock(sharedMutex);
        if (!brokenNotKept().isEmpty()) {
            if (!keepBrokenCopy(brokenNotKept())) {
                Log::write(
                    QStringLiteral("設定ファイルを保存しませんでした（読めなかった元のファイルを残せないため）"));
                return false;
            }
            brokenNotKept().clear();
        }
    }
    QString error;
    if (writeFileAtomically(path, shared().encode(), &error))
        return true;
    Log::write(QStringLiteral("設定ファイルを保存できませんでした: ") + error);
    return false;
}

}  // namespace Config
