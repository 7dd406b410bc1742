#include "ui/widgets/list_box.hpp"

namespace hotfix {

int ListBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant ListBoxModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count()) {
        return {};
    }
    return QString::fromStdString(m_items[static_cast<std::size_t>(index.row())]);
}

void ListBoxModel::addItem(std::string item) {
    beginInsertRows(QModelIndex(), count(), count());
    m_items.push_back(std::move(item));
    endInsertRows();
}

void ListBoxModel::addItems(std::vector<std::string>&& items) {
    if (items.empty()) {
        return;
    }
    beginInsertRows(QModelIndex(), count(), count() + static_cast<int>(items.size()) - 1);
    if (m_items.empty()) {
        m_items = std::move(items);
    } else {
        m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
    }
    endInsertRows();
}

std::string ListBoxModel::item(int index) const {
    if (index < 0 || index >= count()) {
        return {};
    }
    return m_items[static_cast<std::size_t>(index)];
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
