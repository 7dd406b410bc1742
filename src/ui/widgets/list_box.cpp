#include "ui/widgets/list_box.hpp"

namespace hotfix {

int ListBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count()) {
        return {};
    }
    const std::string_view item = m_items[static_cast<std::size_t>(index.row())];
    return QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size()));
}

void ListBoxItems::add(const ListBoxItems& other) {
    const std::size_t offset = m_text.size();
    m_text += other.m_text;
    m_ends.reserve(m_ends.size() + other.m_ends.size());
    for (const std::size_t end : other.m_ends) {
        m_ends.push_back(offset + end);
    }
}

void ListBoxModel::addItem(std::string_view item) {
    beginInsertRows(QModelIndex(), count(), count());
    m_items.add(item);
    endInsertRows();
}

void ListBoxModel::addItems(ListBoxItems&& items) {
    if (items.empty()) {
        return;
    }
    beginInsertRows(QModelIndex(), count(), count() + static_cast<int>(items.size()) - 1);
    if (m_items.empty()) {
        m_items = std::move(items);
    } else {
        m_items.add(items);
    }
    endInsertRows();
}

std::string ListBoxModel::item(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    return std::string(m_items[static_cast<std::size_t>(index)]);
}

ListBox::ListBox(QWidget* parent)
    : QListView(parent)
    , m_model(this) {
    setModel(&m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row has the same height; without this the view measures each of the rows.
    setUniformItemSizes(true);
    // A long list is laid out a batch at a time from the event loop, so the window shows at once.
    setLayoutMode(QListView::Batched);
    setBatchSize(256);
}

} // namespace hotfix
