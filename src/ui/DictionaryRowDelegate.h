#pragma once

#include <QStyledItemDelegate>

// Paints one dictionary word in a 44-high row: the drag handle "⠿", an
// orange dot for a word inside the prompt budget, the written form, "よみ: "
// and the reading, the status word ("聞き取り", "置換で対応" or "枠外"), a
// small "削除" push button and a separator under every row but the last.
// The button is hit-tested here: a press and release on it ask to delete
// that row.
class DictionaryRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowHeight = 44;

    explicit DictionaryRowDelegate(QObject* parent = nullptr);

    // The delete button of a row drawn in `row` (view coordinates).
    static QRect buttonRect(const QRect& row);
    // The row whose button the pointer is over (-1: none), drawn raised.
    void setHoveredButton(int row) { hovered_ = row; }
    int hoveredButton() const { return hovered_; }
    // A press on a button ended away from every row: nothing is pressed.
    void releaseButton() { pressed_ = -1; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

Q_SIGNALS:
    void deleteRequested(int row);

private:
    void paintButton(QPainter* painter, const QStyleOptionViewItem& option, int row) const;

    int hovered_ = -1;
    int pressed_ = -1;
};
