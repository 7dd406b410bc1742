#pragma once

#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QListView>

namespace hotfix {

// The items of a list box, kept as the engine reads them. A list may hold tens of thousands of entries,
// so the text is made only for the rows on screen.
class ListBoxModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void addItem(std::string item);
    // Appends many items at once, with one notice to the views.
    void addItems(std::vector<std::string>&& items);
    int count() const { return static_cast<int>(m_items.size()); }
    // The item's text; empty for an index outside the list.
    std::string item(int index) const;

private:
    std::vector<std::string> m_items;
};

// A single-selection, unsorted list box.
class ListBox final : public QListView {
public:
    explicit ListBox(QWidget* parent = nullptr);

    void addItem(std::string item) { m_model.addItem(std::move(item)); }
    void addItems(std::vector<std::string>&& items) { m_model.addItems(std::move(items)); }
    int count() const { return m_model.count(); }
    std::string item(int index) const { return m_model.item(index); }

private:
    ListBoxModel m_model;
};

} // namespace hotfix
