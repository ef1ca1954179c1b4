#include "ui/DictionaryTable.h"

#include "store/Log.h"
#include "ui/Brand.h"
#include "ui/DictionaryModel.h"
#include "ui/DictionaryRowDelegate.h"
#include "ui/DictionaryRules.h"
#include "ui/WordDialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr qreal cornerRadius = 12;

QList<Config::DictionaryEntry> wordsOf(const QList<Config::DisplayEntry>& entries)
{
    QList<Config::DictionaryEntry> words;
    words.reserve(entries.size());
    for (const Config::DisplayEntry& e : entries)
        words.append({e.reading, e.surface});
    return words;
}

}  // namespace

DictionaryTable::DictionaryTable(QWidget* parent)
    : QWidget(parent),
      model_(new DictionaryModel(this)),
      delegate_(new DictionaryRowDelegate(this)),
      view_(new QListView(this)),
      notice_(new QLabel(this))
{
    model_->onMove = [this](int source, int destination) { return moveRow(source, destination); };

    view_->setModel(model_);
    view_->setItemDelegate(delegate_);
    view_->setUniformItemSizes(true);
    view_->setFrameShape(QFrame::NoFrame);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setDragDropMode(QAbstractItemView::InternalMove);
    view_->setDefaultDropAction(Qt::MoveAction);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab reaches the list; a click does not take the focus (nor mark the current row).
    view_->setFocusPolicy(Qt::TabFocus);
    setFocusProxy(view_);
    view_->setAccessibleName(QStringLiteral("辞書の言葉"));
    view_->setAccessibleDescription(
        QStringLiteral("上下で選び、Enter で編集、Delete で削除、Alt+上下で並べ替えます"));
    QPalette white = view_->palette();
    white.setColor(QPalette::Base, Qt::white);
    view_->setPalette(white);
    view_->viewport()->setMouseTracking(true);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
    connect(view_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) { editRow(index.row()); });
    connect(delegate_, &DictionaryRowDelegate::deleteRequested, this, &DictionaryTable::deleteRow);

    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setTextFormat(Qt::PlainText);
    notice_->setWordWrap(true);
    notice_->setFont(Brand::font(11));
    notice_->setContentsMargins(14, 10, 14, 0);
    notice_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(notice_);
    layout->addWidget(view_);
}

void DictionaryTable::setEntries(const QList<Config::DisplayEntry>& entries)
{
    // A file that is there but not readable as text is shown, never written.
    const bool readOnly = !Config::dictionaryAcceptsWords();
    // The current row stays on its word (or its place, once the word is gone).
    const QModelIndex current = view_->currentIndex();
    const QString word = current.data().toString();
    model_->setEntries(entries, readOnly);
    takeModelEntries();
    if (current.isValid() && !entries_.isEmpty()) {
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [&word](const Config::DisplayEntry& e) { return e.surface == word; });
        const int row = found != entries_.end() ? int(found - entries_.begin())
                                                : std::min(current.row(), int(entries_.size()) - 1);
        view_->setCurrentIndex(model_->index(row));
    }
    QPalette palette = notice_->palette();
    palette.setColor(QPalette::WindowText, readOnly ? Brand::ink : Brand::alert);
    notice_->setPalette(palette);
    notice_->setText(
        readOnly ? QStringLiteral("dictionary.txt を読めないため、ここでは編集できません（UTF-8で保存し直してください）")
                 : failure_);
    notice_->setVisible(!notice_->text().isEmpty());
}

QString DictionaryTable::notice() const
{
    return notice_->isVisibleTo(this) ? notice_->text() : QString();
}

void DictionaryTable::showFailure(const QString& text)
{
    failure_ = text;
    if (!model_->isReadOnly()) {
        notice_->setText(text);
        notice_->setVisible(!text.isEmpty());
    }
}

int DictionaryTable::activeCount() const
{
    return int(std::count_if(entries_.begin(), entries_.end(), [](const Config::DisplayEntry& e) { return e.active; }));
}

int DictionaryTable::replaceableCount() const
{
    return int(std::count_if(entries_.begin(), entries_.end(),
                             [](const Config::DisplayEntry& e) { return !e.active && e.reading.has_value(); }));
}

void DictionaryTable::takeModelEntries()
{
    entries_ = model_->entries();
}

bool DictionaryTable::showsFile() const
{
    return model_->isReadOnly() != Config::dictionaryAcceptsWords() && Config::dictionaryEntries() == wordsOf(entries_);
}

bool DictionaryTable::fileStillMatches()
{
    if (showsFile() && !model_->isReadOnly())
        return true;
    Log::write(QStringLiteral("辞書の変更を保存しませんでした: dictionary.txt "
                              "がほかのプログラムで書き換えられていたため、ファイルの内容を残します"));
    // After the view has finished the drop that may be under way.
    QMetaObject::invokeMethod(
        this,
        [this] {
            setEntries(Config::dictionaryDisplayEntries());
            Q_EMIT reread();
        },
        Qt::QueuedConnection);
    return false;
}

void DictionaryTable::editRow(int row)
{
    if (model_->isReadOnly() || row < 0 || row >= entries_.size())
        return;
    const Config::DisplayEntry shown = entries_.at(row);
    auto* dialog = new WordDialog(
        QStringLiteral("言葉を編集"),
        QStringLiteral("「よみ」に入れた言葉が聞き取り結果に出てきたら「書き方」に直します。ひらがなの読みでも、"
                       "間違って出てくる書き方（渡辺→渡邊 など）でも構いません。空でもOK。"),
        QStringLiteral("保存"), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->surfaceField()->setText(shown.surface);
    dialog->readingField()->setText(shown.reading.value_or(QString()));
    // The dialog stays open, with what was typed, until the edit is written.
    dialog->setCheck([this, dialog, row, shown] { return saveEdit(row, shown, dialog->surface(), dialog->reading()); });
    dialog->open();
    dialog->surfaceField()->setFocus(Qt::OtherFocusReason);
}

QString DictionaryTable::saveEdit(int row, const Config::DisplayEntry& shown, const QString& surface,
                                  const QString& reading)
{
    const auto edit = DictionaryRules::editedWord(surface, reading);
    if (!edit.word)
        return edit.refusal;  // or an empty written form: nothing changes
    if (!fileStillMatches())
        return QStringLiteral("dictionary.txt がほかで書き換えられていたため、保存しませんでした。"
                              "読み直したので、もう一度「保存」を押してください。");
    // The rows may have been read again while the dialog was open.
    auto same = [&shown](const Config::DisplayEntry& e) { return e.surface == shown.surface && e.reading == shown.reading; };
    if (row >= entries_.size() || !same(entries_.at(row)))
        row = int(std::find_if(entries_.begin(), entries_.end(), same) - entries_.begin());
    if (row >= entries_.size())
        return QStringLiteral("この語は dictionary.txt にもうありません。");
    QList<Config::DictionaryEntry> order = wordsOf(entries_);
    order[row] = *edit.word;
    if (!Config::rewriteDictionary(order))
        return DictionaryRules::cannotWrite();
    model_->replaceEntry(row, *edit.word);
    takeModelEntries();
    showFailure({});
    Q_EMIT reordered();
    return {};
}

void DictionaryTable::deleteRow(int row)
{
    if (model_->isReadOnly() || row < 0 || row >= entries_.size())
        return;
    const QString surface = entries_.at(row).surface;
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("サイリ"));
    box->setTextFormat(Qt::PlainText);  // the word as written, never markup
    box->setText(QStringLiteral("「%1」を辞書から消しますか？").arg(surface));
    box->setInformativeText(
        QStringLiteral("消した語が勝手に戻ることはありません。また使いたくなったら「＋ 追加」で戻せます。"));
    QPushButton* remove = box->addButton(QStringLiteral("消す"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("やめる"), QMessageBox::RejectRole);
    box->setDefaultButton(remove);
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, surface](QAbstractButton* clicked) {
        if (clicked != remove)
            return;
        if (!Config::removeWord(surface)) {
            showFailure(DictionaryRules::cannotWrite());
            return;
        }
        showFailure({});
        model_->removeSurface(surface);
        takeModelEntries();
        Q_EMIT changed();
    });
    box->open();
}

bool DictionaryTable::moveRow(int source, int destination)
{
    const int count = int(entries_.size());
    if (model_->isReadOnly() || source < 0 || source >= count)
        return false;
    if (!fileStillMatches()) {
        showFailure(QStringLiteral("dictionary.txt がほかで書き換えられていたため、並べ替えませんでした"
                                   "（いまの内容を表示しています）"));
        return false;
    }
    const int target = DictionaryRules::moveTarget(source, destination, count);
    if (target == source)
        return true;  // put back where it was: the file stays as it is
    QList<Config::DictionaryEntry> order = wordsOf(entries_);
    order.insert(target, order.takeAt(source));
    if (!Config::rewriteDictionary(order)) {
        showFailure(DictionaryRules::cannotWrite());
        return false;
    }
    showFailure({});
    model_->moveEntry(source, target);
    takeModelEntries();
    // After the view has finished the drop that is still under way.
    QMetaObject::invokeMethod(this, &DictionaryTable::reordered, Qt::QueuedConnection);
    return true;
}

void DictionaryTable::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Brand::hairline, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

bool DictionaryTable::keyPressed(const QKeyEvent& key)
{
    const int row = view_->currentIndex().row();
    if (row < 0)
        return false;
    const bool alt = key.modifiers() == Qt::AltModifier;
    if (key.modifiers() == Qt::NoModifier || key.modifiers() == Qt::KeypadModifier) {
        if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter || key.key() == Qt::Key_F2)
            editRow(row);
        else if (key.key() == Qt::Key_Delete)
            deleteRow(row);
        else
            return false;
    } else if (alt && (key.key() == Qt::Key_Up || key.key() == Qt::Key_Down)) {
        // The same write as a drop above the row before, or above the one after next.
        const bool down = key.key() == Qt::Key_Down;
        if ((down ? row + 1 < entries_.size() : row > 0) && moveRow(row, down ? row + 2 : row - 1))
            view_->setCurrentIndex(model_->index(down ? row + 1 : row - 1));
    } else {
        return false;
    }
    return true;
}

bool DictionaryTable::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_ && event->type() == QEvent::KeyPress && keyPressed(*static_cast<QKeyEvent*>(event)))
        return true;
    if (watched == view_ && event->type() == QEvent::Resize) {
        // The list (and its scroll bar) stays inside the rounded frame.
        QPainterPath inside;
        inside.addRoundedRect(QRectF(view_->rect()), cornerRadius - 1, cornerRadius - 1);
        view_->setMask(QRegion(inside.toFillPolygon().toPolygon()));
    }
    if (watched != view_->viewport())
        return QWidget::eventFilter(watched, event);
    int hovered = -1;
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease) {
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex index = view_->indexAt(pos);
        if (index.isValid() && DictionaryRowDelegate::buttonRect(view_->visualRect(index)).contains(pos))
            hovered = index.row();
        if (event->type() == QEvent::MouseButtonRelease && !index.isValid())
            delegate_->releaseButton();
    } else if (event->type() != QEvent::Leave) {
        return false;
    }
    if (hovered != delegate_->hoveredButton() || event->type() == QEvent::MouseButtonRelease) {
        delegate_->setHoveredButton(hovered);
        view_->viewport()->update();
    }
    return false;
}
