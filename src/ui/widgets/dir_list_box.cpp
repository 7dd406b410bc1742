#include "ui/widgets/dir_list_box.hpp"

#include "platform/ascii.hpp"
#include "platform/folder_browser.hpp"

#include <vector>

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace hotfix {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndent = 12;

// Indents each row by its depth in the tree, as the classic folder list drew it.
class IndentDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + kIndent * index.data(kDepthRole).toInt());
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) +
               QSize(kIndent * index.data(kDepthRole).toInt(), 0);
    }
};

std::vector<std::string> splitFolders(const std::string& path, std::size_t from) {
    std::vector<std::string> names;
    std::string name;
    for (std::size_t i = from; i < path.size(); ++i) {
        if (path[i] == '\\') {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
        } else {
            name += path[i];
        }
    }
    if (!name.empty()) {
        names.push_back(name);
    }
    return names;
}

std::string joinFolder(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '\\' ? folder + name : folder + '\\' + name;
}

} // namespace

std::string driveRootOfPath(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') {
        return {};
    }
    const auto letter = asciiUpper(path[0]);
    return std::string{letter, ':', '\\'};
}

DirListBox::DirListBox(FolderBrowser& browser, QWidget* parent)
    : QListWidget(parent)
    , m_browser(browser) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        setCurrentItem(item);
        openCurrentRow();
    });
}

void DirListBox::setPath(const std::string& folder) {
    // Kept in one spelling: drive letter upper case, one "\" between names, none at the end but a root's.
    const std::string root = driveRootOfPath(folder);
    m_path = root;
    for (const std::string& name : splitFolders(folder, root.size())) {
        m_path = joinFolder(m_path, name);
    }
    fill();
    emit pathChanged();
}

void DirListBox::openCurrentRow() {
    if (currentRow() >= 0) {
        setPath(rowPath(currentRow()));
    }
}

std::string DirListBox::rowPath(int row) const {
    const QListWidgetItem* const found = item(row);
    return found ? found->data(kPathRole).toString().toStdString() : std::string();
}

void DirListBox::keyPressEvent(QKeyEvent* event) {
    // Enter opens the highlighted folder; it must not also reach the picker's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openCurrentRow();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::fill() {
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto addRow = [this](const QIcon& icon, const std::string& text, const std::string& rowPath, int depth) {
        auto* row = new QListWidgetItem(icon, QString::fromStdString(text), this);
        row->setData(kPathRole, QString::fromStdString(rowPath));
        row->setData(kDepthRole, depth);
    };

    const std::string root = driveRootOfPath(m_path);
    if (root.empty()) {
        return;
    }
    addRow(openIcon, root, root, 0);
    std::string folder = root;
    int depth = 0;
    for (const std::string& name : splitFolders(m_path, root.size())) {
        folder = joinFolder(folder, name);
        addRow(openIcon, name, folder, ++depth);
    }
    const int opened = count() - 1;
    for (const std::string& name : m_browser.subfolders(m_path)) {
        addRow(closedIcon, name, joinFolder(m_path, name), depth + 1);
    }
    setCurrentRow(opened);
    scrollToItem(item(opened));
}

} // namespace hotfix
