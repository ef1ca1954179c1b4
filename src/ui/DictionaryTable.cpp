#include "ui/DictionaryTable.h"

#include <algorithm>

DictionaryTable::DictionaryTable(QWidget* parent) : QWidget(parent) {}

void DictionaryTable::setEntries(const QList<Config::DisplayEntry>& entries)
{
    entries_ = entries;
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
