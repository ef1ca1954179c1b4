#include "ui/DictionaryModel.h"

#include "ui/DictionaryRules.h"

#include <QMimeData>

const QString DictionaryModel::mimeType = QStringLiteral("application/x-sayri-dictionary-row");

DictionaryModel::DictionaryModel(QObject* parent) : QAbstractListModel(parent) {}

void DictionaryModel::setEntries(const QList<Config::DisplayEntry>& entries, bool readOnly)
{
    beginResetModel();
    entries_ = entries;
    readOnly_ = readOnly;
    endResetModel();
}

void DictionaryModel::moveEntry(int from, int to)
{
    if (from < 0 || from >= entries_.size() || to < 0 || to >= entries_.size() || from == to)
        return;
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    entries_.insert(to, entries_.takeAt(from));
    endMoveRows();
}

void DictionaryModel::replaceEntry(int row, const Config::DictionaryEntry& word)
{
    if (row < 0 || row >= entries_.size())
        return;
    entries_[row].reading = word.reading;
    entries_[row].surface = word.surface;
    Q_EMIT dataChanged(index(row), index(row));
}

void DictionaryModel::removeSurface(const QString& surface)
{
    for (int row = int(entries_.size()) - 1; row >= 0; --row) {
        if (entries_.at(row).surface != surface)
            continue;
        beginRemoveRows({}, row, row);
        entries_.removeAt(row);
        endRemoveRows();
    }
}

int DictionaryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(entries_.size());
}

QString DictionaryModel::statusWord(bool active, bool hasReading)
{
    if (active)
        return QStringLiteral("聞き取り");
    return hasReading ? QStringLiteral("置換で対応") : QStringLiteral("枠外");
}

QVariant DictionaryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= entries_.size())
        return {};
    const Config::DisplayEntry& e = entries_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return e.surface;
    case Qt::AccessibleTextRole:  // what a screen reader says of the row
        return QStringList{e.surface, e.reading ? QStringLiteral("よみ ") + *e.reading : QString(),
                           statusWord(e.active, e.reading.has_value())}
            .join(QLatin1Char(' '))
            .simplified();
    case ReadingRole:
        return e.reading ? QVariant(*e.reading) : QVariant();
    case ActiveRole:
        return e.active;
    case ReadOnlyRole:
        return readOnly_;
    default:
        return {};
    }
}

Qt::ItemFlags DictionaryModel::flags(const QModelIndex& index) const
{
    // Only the list itself takes drops, so a drop never lands "on" a row.
    if (!index.isValid())
        return readOnly_ ? Qt::NoItemFlags : Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (!readOnly_)
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList DictionaryModel::mimeTypes() const
{
    return {mimeType};
}

QMimeData* DictionaryModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || !indexes.first().isValid())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(mimeType, QByteArray::number(indexes.first().row()));
    return data;
}

Qt::DropActions DictionaryModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions DictionaryModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

std::optional<int> DictionaryModel::destinationOf(const QMimeData* data, Qt::DropAction action, int row,
                                                  const QModelIndex& parent) const
{
    if (readOnly_ || !data || action != Qt::MoveAction || parent.isValid() || row > entries_.size())
        return std::nullopt;
    if (!DictionaryRules::sourceRow(data->data(mimeType), int(entries_.size())))
        return std::nullopt;
    return row < 0 ? int(entries_.size()) : row;
}

bool DictionaryModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                      const QModelIndex& parent) const
{
    return destinationOf(data, action, row, parent).has_value();
}

bool DictionaryModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                   const QModelIndex& parent)
{
    const std::optional<int> destination = destinationOf(data, action, row, parent);
    if (!destination || !onMove)
        return false;
    return onMove(*DictionaryRules::sourceRow(data->data(mimeType), int(entries_.size())), *destination);
}
