#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QListView>

namespace hotfix {

// Items of a list, in one text and where each ends: tens of thousands of them cost a few allocations, not
// one or two each.
class ListBoxItems {
public:
    void add(std::string_view item) {
        m_text += item;
        m_ends.push_back(m_text.size());
    }
    // Appends other's items after these.
    void add(const ListBoxItems& other);
    void reserve(std::size_t items) { m_ends.reserve(items); }
    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::string_view operator[](std::size_t index) const {
        const std::size_t start = index == 0 ? 0 : m_ends[index - 1];
        return std::string_view(m_text).substr(start, m_ends[index] - start);
    }

private:
    std::string m_text;
    std::vector<std::size_t> m_ends;
};

// The items of a list box, kept as the engine reads them. A list may hold tens of thousands of entries,
// so the text is made only for the rows on screen.
class ListBoxModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void addItem(std::string_view item);
    // Appends many items at once, with one notice to the views.
    void addItems(ListBoxItems&& items);
    int count() const { return static_cast<int>(m_items.size()); }
    // The item's text; empty for an index outside the list.
    std::string item(int index) const;

private:
    ListBoxItems m_items;
};

// A single-selection, unsorted list box.
class ListBox final : public QListView {
public:
    explicit ListBox(QWidget* parent = nullptr);

    void addItem(std::string_view item) { m_model.addItem(item); }
    void addItems(ListBoxItems&& items) { m_model.addItems(std::move(items)); }
    int count() const { return m_model.count(); }
    std::string item(int index) const { return m_model.item(index); }

private:
    ListBoxModel m_model;
};

} // namespace hotfix
