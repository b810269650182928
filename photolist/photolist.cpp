#include "photolist/photolist.h"

#include <algorithm>

int PhotoList::append(PhotoRow row) {
    if (isFull())
        return -1;
    m_rows.push_back(std::move(row));
    const int index = count() - 1;
    emit rowAppended(index);
    return index;
}

void PhotoList::reserve(qsizetype more) {
    m_rows.reserve(std::size_t(std::min<qsizetype>(count() + more, kMaxRows)));
}

void PhotoList::clear() {
    m_rows.clear();
    emit cleared();
}

void PhotoList::setRecord(int i, const GpsLogRecord& record) {
    mutableRow(i).record = record;
    emit rowChanged(i);
}

void PhotoList::setText(int i, int column, const QString& text) {
    mutableRow(i).texts.at(static_cast<size_t>(column)) = text;
    emit rowChanged(i);
}

void PhotoList::setIcon(int i, RowIcon icon) {
    mutableRow(i).icon = icon;
    emit rowChanged(i);
}

void PhotoList::setGhosted(int i, bool ghosted) {
    mutableRow(i).ghosted = ghosted;
    emit rowChanged(i);
}

void PhotoList::setStatus(int i, const QString& text, RowIcon icon) {
    auto& r = mutableRow(i);
    r.texts[ColStatus] = text;
    r.icon = icon;
    emit rowChanged(i);
}
