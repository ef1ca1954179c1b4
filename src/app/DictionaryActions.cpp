#include "app/DictionaryActions.h"

#include "store/Config.h"
#include "store/Dictionary.h"
#include "support/Graphemes.h"
#include "support/MainThread.h"
#include "support/SerialQueue.h"
#include "ui/AddWordDialog.h"
#include "ui/CsvImportDialog.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

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

// The dictionary lines one accepted dialog adds: "reading=surface", or the
// written form split into several words when there is no reading.
QStringList wordLines(const QString& surfaceText, const QString& readingText)
{
    const QString surface = Graphemes::trimmedBlanks(surfaceText);
    const QString reading = Graphemes::trimmedBlanks(readingText);
    if (surface.isEmpty())
        return {};
    if (!reading.isEmpty())
        return {reading + u'=' + surface};

    static const QRegularExpression separators(QStringLiteral("[、,・ \u3000\n]"));
    QStringList words;
    for (const QString& piece : surface.split(separators, Qt::SkipEmptyParts)) {
        const QString word = Graphemes::trimmedBlanks(piece);
        if (!word.isEmpty())
            words.append(word);
    }
    return words;
}

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

DictionaryActions::DictionaryActions(AppServices& services, SerialQueue& pipeline) : s_(services), pipeline_(pipeline)
{
}

DictionaryActions::~DictionaryActions()
{
    delete dialog_.data();
}

bool DictionaryActions::raiseOpenDialog()
{
    if (!dialog_)
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
    connect(dialog, &QDialog::accepted, this, [this, dialog] { addWords(dialog->surface(), dialog->reading()); });
    present(dialog);
}

void DictionaryActions::addWords(const QString& surface, const QString& reading)
{
    const QStringList lines = wordLines(surface, reading);
    if (lines.isEmpty())
        return;
    if (!Config::dictionaryAcceptsWords()) {
        refuseUnreadableDictionary();
        return;
    }
    const QStringList added = Config::appendDictionaryWords(lines);
    if (added.isEmpty()) {
        flash(QStringLiteral("すべて辞書に登録済みでした（同じ語は二重に持ちません）"), 3);
        return;
    }
    applyDictionary([added] { return QStringLiteral("✓ 追加しました: ") + added.join(QStringLiteral("、")); }, 2.5);
}

void DictionaryActions::importDictCSV()
{
    if (raiseOpenDialog())
        return;
    auto* dialog = new CsvImportDialog;
    dialog_ = dialog;
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        if (!path.isEmpty())
            importCSVFile(path);
    });
    present(dialog);
}

void DictionaryActions::importCSVFile(const QString& path)
{
    if (!Config::dictionaryAcceptsWords()) {
        refuseUnreadableDictionary();
        return;
    }
    const Config::CSVImportResult result = Config::importDictionaryCSV(path);
    if (result.added < 1) {
        flash(QStringLiteral("追加できる語がありませんでした（重複%1語）").arg(result.skipped), 3);
        return;
    }
    applyDictionary(
        [result] {
            QString text = QStringLiteral("✓ %1語を辞書に追加しました").arg(result.added);
            if (result.skipped >= 1)
                text += QStringLiteral("（重複%1語は飛ばしました）").arg(result.skipped);
            return text;
        },
        3);
}

// A dictionary file that is not UTF-8 text is never written over; the user is
// told so instead of being told the words were already there.
void DictionaryActions::refuseUnreadableDictionary()
{
    flash(QStringLiteral("dictionary.txt を読めないため追加できませんでした（UTF-8で保存し直してください）"), 4);
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
    s_.overlay->show(QStringLiteral("辞書を反映中…"));
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
    s_.overlay->flash(text, seconds);
}
