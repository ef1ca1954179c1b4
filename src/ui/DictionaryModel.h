#pragma once

#include "store/Dictionary.h"

#include <QAbstractListModel>

#include <functional>

// The dictionary table's rows: one per word, in file order, read lazily by
// the view. A row drags as its index in decimal under our own MIME type; a
// drop above a row (or below the last) asks `onMove`, a drop onto a row is
// refused. Read-only rows cannot be dragged.
class DictionaryModel : public QAbstractListModel {
    Q_OBJECT
public:
    static const QString mimeType;
    enum Role { ReadingRole = Qt::UserRole + 1, ActiveRole, ReadOnlyRole };

    explicit DictionaryModel(QObject* parent = nullptr);

    // "聞き取り" inside the prompt budget, else "置換で対応" with a reading, "枠外" without.
    static QString statusWord(bool active, bool hasReading);

    const QList<Config::DisplayEntry>& entries() const { return entries_; }
    void setEntries(const QList<Config::DisplayEntry>& entries, bool readOnly);
    bool isReadOnly() const { return readOnly_; }
    void moveEntry(int from, int to);
    void replaceEntry(int row, const Config::DictionaryEntry& word);
    void removeSurface(const QString& surface);

    // Asked with the dragged row and the row it was dropped above; true when
    // the move was made.
    std::function<bool(int source, int destination)> onMove;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    // The row a drop lands above, or nothing when the drop is refused.
    std::optional<int> destinationOf(const QMimeData* data, Qt::DropAction action, int row,
                                     const QModelIndex& parent) const;

    QList<Config::DisplayEntry> entries_;
    bool readOnly_ = false;
};
