#include "platform/AccessibleTree.h"

#include <algorithm>

QList<int> AccessibleTree::childrenGiven(const QList<Ask>& asks, const QList<qint64>& available)
{
    QList<int> given(asks.size(), 0);
    qint64 drawn = 0;
    for (qsizetype i = 0; i < asks.size(); ++i) {
        const Ask& ask = asks[i];
        const qint64 room = ask.drawsOnBudget ? ask.maxChildren - drawn : ask.maxChildren;
        given[i] = int(std::clamp<qint64>(available.value(i), 0, std::max<qint64>(room, 0)));
        if (ask.drawsOnBudget)
            drawn += given[i];
    }
    return given;
}
