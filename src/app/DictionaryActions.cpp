#include "app/DictionaryActions.h"

#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/MainThread.h"
#include "support/SerialQueue.h"
#include "ui/AddWordDialog.h"
#include "ui/CsvImportConfirmDialog.h"
#include "ui/CsvImportDialog.h"
#include "ui/DictionaryRules.h"
#include "ui/Notices.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

// The request the user pastes into a chat assistant; it answers with the
// two-column CSV that the import reads.
QString dictionaryRequestText()
{
    static const QStringList lines{
        QStringLiteral("音声入力アプリの辞書を作りたいので、手伝ってください。"),
        QString(),
        QStringLiteral("あなたがこれまでの私とのやり取りで見てきた情報（記憶や履歴に残っているもの）から、"),
        QStringLiteral("私がよく使う「音声入力で聞き間違えられそうな言葉」を思い出して、一覧にしてください。"),
        QStringLiteral("私から資料を貼ることはしません。あなたが覚えている範囲で構いません。"),
        QString(),
        QStringLiteral("【拾ってほしいもの】"),
        QStringLiteral("・私の名前、社名、屋号、店名（呼び慣れている言い方で）"),
        QStringLiteral("・私がよくやり取りする取引先や関係先の名前"),
        QStringLiteral("・私がよく呼ぶ人の名前（普段の呼び方のまま。「◯◯さん」「◯◯様」など敬称込みでもよい）"),
        QStringLiteral("・私の仕事で使う専門用語、業界の略語、商品名・サービス名"),
        QStringLiteral("・よく出てくる地名のうち、読み方が珍しいもの"),
        QString(),
        QStringLiteral("【入れないもの】"),
        QStringLiteral("・辞書に載っているふつうの言葉（「会議」「資料」「よろしく」など）"),
        QStringLiteral("・1回しか出てこなかった言葉"),
        QStringLiteral("・数字だけ、記号だけのもの"),
        QStringLiteral("・パスワードや口座番号のような、他人に見られたくない情報"),
        QString(),
        QStringLiteral("【出し方】"),
        QStringLiteral("1行1語で、次の2列のCSVにしてください。ヘッダー行も付けてください。"),
        QString(),
        QStringLiteral("よみ,ひょうき"),
        QStringLiteral("やまだたろう,山田太郎"),
        QStringLiteral("かぶしきがいしゃあおぞら,株式会社あおぞら"),
        QStringLiteral("けんしゅつき,検出器"),
        QString(),
        QStringLiteral("・「よみ」は実際に声に出すときの読み方（ひらがな）"),
        QStringLiteral("・「ひょうき」は文章に出したい書き方（漢字・カタカナ・アルファベットそのまま）"),
        QStringLiteral("・読みと表記が同じ言葉（カタカナ語など）は、両方の列に同じものを書いてください"),
        QStringLiteral(
            "・よく間違って出てくる書き方があるものは、その書き方を「よみ」にした行も足してよいです（例: 渡辺,渡邊）"),
        QStringLiteral("・よく使うものから順に並べてください（先に書いたものほど強く効きます）"),
        QStringLiteral("・多くても60語まで"),
        QStringLiteral("・CSV以外の説明文は書かないでください"),
        QString(),
        QStringLiteral("もし私についての記憶が残っていない場合は、その旨だけ答えてください。"),
    };
    return lines.join(u'\n');
}

const QString unreadableDictionary =
    QStringLiteral("dictionary.txt を読めないため追加できませんでした（UTF-8で保存し直してください）");

// Brings a dialog up in front of every other window.
void present(QDialog* dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

}  // namespace

DictionaryActions::DictionaryActions(AppServices& services, SerialQueue& pipeline, Notices& notices)
    : s_(services), pipeline_(pipeline), notices_(notices)
{
}

DictionaryActions::~DictionaryActions()
{
    delete dialog_.data();
}

bool DictionaryActions::raiseOpenDialog()
{
    if (!dialog_ || dialog_->isHidden())  // gone, or closed and about to go
        return false;
    dialog_->raise();
    dialog_->activateWindow();
    return true;
}

void DictionaryActions::addDictWord()
{
    if (raiseOpenDialog())
        return;
    auto* dialog = new AddWordDialog;
    dialog_ = dialog;
    // The dialog stays open, with what was typed, until the words are written.
    dialog->setCheck([this, dialog] { return addWords(dialog->surface(), dialog->reading()); });
    present(dialog);
}

QString DictionaryActions::addWords(const QString& surface, const QString& reading)
{
    const DictionaryRules::Addition words = DictionaryRules::addedWords(surface, reading);
    if (!words.refusal.isEmpty() || words.words.isEmpty())
        return words.refusal;
    if (!Config::dictionaryAcceptsWords())
        return unreadableDictionary;
    const std::optional<QStringList> added = Config::appendDictionaryEntries(words.words);
    if (!added)
        return DictionaryRules::cannotWrite();
    if (added->isEmpty()) {
        flash(QStringLiteral("すべて辞書に登録済みでした（同じ語は二重に持ちません）"), 3);
        return {};
    }
    Q_EMIT written();
    applyDictionary([added = *added] { return QStringLiteral("✓ 追加しました: ") + added.join(QStringLiteral("、")); },
                    2.5);
    return {};
}

void DictionaryActions::importDictCSV()
{
    if (raiseOpenDialog())
        return;
    auto* dialog = new CsvImportDialog;
    dialog_ = dialog;
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString path = dialog->selectedFiles().value(0);
        if (!path.isEmpty())
            confirmImport(path);
    });
    present(dialog);
}

// Reads the chosen file and asks before anything is written.
void DictionaryActions::confirmImport(const QString& path)
{
    if (!Config::dictionaryAcceptsWords()) {
        flash(unreadableDictionary, 4);
        return;
    }
    const Config::CSVWords csv = Config::readDictionaryCSV(path);
    switch (csv.problem) {
    case Config::CSVWords::Problem::none:
        break;
    case Config::CSVWords::Problem::cannotOpen:
        flash(QStringLiteral("ファイルを開けませんでした"), 3);
        return;
    case Config::CSVWords::Problem::tooLarge:
        flash(QStringLiteral("単語表にしては大きすぎるファイルです（%1MBまで）").arg(Config::csvSizeLimit >> 20), 4);
        return;
    case Config::CSVWords::Problem::notText:
        flash(QStringLiteral("このファイルは読めませんでした（UTF-8かShift-JISのCSVで保存してください）"), 4);
        return;
    }
    if (csv.words.isEmpty()) {
        flash(QStringLiteral("追加できる語がありませんでした（重複%1語）").arg(csv.duplicates), 3);
        return;
    }
    auto* confirm = new CsvImportConfirmDialog(csv);
    dialog_ = confirm;
    confirm->setCheck([this, csv] { return importWords(csv); });
    present(confirm);
}

QString DictionaryActions::importWords(const Config::CSVWords& csv)
{
    const Config::CSVImportResult result = Config::importDictionaryWords(csv);
    if (result.failed)
        return DictionaryRules::cannotWrite();
    if (result.added < 1) {  // all there already: the file changed since it was read
        flash(QStringLiteral("追加できる語がありませんでした（重複%1語）").arg(result.skipped), 3);
        return {};
    }
    imported_ = Config::dictionaryBytes();
    Q_EMIT written();
    applyDictionary(
        [result] {
            QString text = QStringLiteral("✓ %1語を辞書に追加しました").arg(result.added);
            if (result.skipped >= 1)
                text += QStringLiteral("（重複%1語は飛ばしました）").arg(result.skipped);
            return text;
        },
        3);
    return {};
}

bool DictionaryActions::importUndoable() const
{
    return imported_ && Config::dictionaryBytes() == *imported_;
}

void DictionaryActions::undoImport()
{
    if (!importUndoable())
        return;
    if (!Config::putBackDictionaryBeforeImport()) {
        flash(DictionaryRules::cannotWrite(), 4);
        return;
    }
    imported_.reset();
    Q_EMIT written();
    applyDictionary(
        [] { return QStringLiteral("✓ 読み込む前の辞書に戻しました（%1語）").arg(Config::dictionaryEntries().size()); },
        2.5);
}

void DictionaryActions::reloadDictionary()
{
    applyDictionary(
        [] { return QStringLiteral("✓ 辞書を反映しました（%1語）").arg(Config::dictionaryEntries().size()); }, 2.5);
}

void DictionaryActions::copyDictionaryRequest()
{
    QGuiApplication::clipboard()->setText(dictionaryRequestText(), QClipboard::Clipboard);
    flash(QStringLiteral("コピーしました。ふだんお使いのAI（ChatGPTなど）に、そのまま貼って送ってください"), 5);
}

void DictionaryActions::applyDictionary(std::function<QString()> result, double seconds)
{
    notices_.show(QStringLiteral("辞書を反映中…"));
    pipeline_.async([this, result = std::move(result), seconds] {
        s_.whisper->restart(Config::dictionaryLine());
        setLastAppliedDictMtime(dictionaryMtime());
        const QString text = result();
        MainThread::async(this, [this, text, seconds] { flash(text, seconds); });
    });
}

std::optional<QDateTime> DictionaryActions::dictionaryMtime()
{
    const QFileInfo info(Config::file(QStringLiteral("dictionary.txt")));
    if (!info.exists())
        return std::nullopt;
    const QDateTime m = info.lastModified();
    if (!m.isValid())
        return std::nullopt;
    return m;
}

std::optional<QDateTime> DictionaryActions::lastAppliedDictMtime() const
{
    std::lock_guard lock(mtimeMutex_);
    return lastAppliedDictMtime_;
}

void DictionaryActions::setLastAppliedDictMtime(std::optional<QDateTime> mtime)
{
    std::lock_guard lock(mtimeMutex_);
    lastAppliedDictMtime_ = std::move(mtime);
}

void DictionaryActions::flash(const QString& text, double seconds)
{
    notices_.flash(text, seconds);
}
