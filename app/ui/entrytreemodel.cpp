// SPDX-License-Identifier: GPL-3.0-or-later
// The entry tree on screen; see entrytreemodel.h.
#include "app/ui/entrytreemodel.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "app/ui/cp1252text.h"

namespace qorvex {

TEntryTreeModel::TEntryTreeModel(std::array<QIcon, 6> images, QObject* parent)
    : QAbstractItemModel(parent), images_(std::move(images)) {}

void TEntryTreeModel::SetTree(EntryTree tree) {
  beginResetModel();
  tree_ = std::move(tree);
  endResetModel();
}

void TEntryTreeModel::AddSearchHits(const std::vector<SearchHit>& hits) {
  if (tree_.roots.empty()) return;
  const QModelIndex node = SearchNodeIndex();
  const int first = rowCount(node);
  if (!hits.empty()) beginInsertRows(node, first, first + static_cast<int>(hits.size()) - 1);
  const int image = tree_.SearchNode().image;
  qorvex::AddSearchHits(tree_, hits);
  if (!hits.empty()) endInsertRows();
  if (tree_.SearchNode().image != image) emit dataChanged(node, node, {Qt::DecorationRole});
}

const TreeNode& TEntryTreeModel::Node(const QModelIndex& index) const {
  const auto row = static_cast<size_t>(index.row());
  const quintptr id = index.internalId();
  return id == 0 ? tree_.roots[row] : tree_.roots[id - 1].children[row];
}

TreeNode& TEntryTreeModel::MutableNode(const QModelIndex& index) {
  return const_cast<TreeNode&>(Node(index));
}

void TEntryTreeModel::SetImage(const QModelIndex& index, int image) {
  if (!index.isValid() || Node(index).image == image) return;
  MutableNode(index).image = image;
  emit dataChanged(index, index, {Qt::DecorationRole});
}

QModelIndex TEntryTreeModel::SearchNodeIndex() const {
  if (tree_.roots.empty()) return {};
  return createIndex(static_cast<int>(tree_.searchNode), 0, quintptr{0});
}

QModelIndex TEntryTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  return createIndex(row, 0, parent.isValid() ? quintptr(parent.row()) + 1 : quintptr{0});
}

QModelIndex TEntryTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
}

int TEntryTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(tree_.roots.size());
  if (parent.internalId() != 0) return 0;
  return static_cast<int>(tree_.roots[static_cast<size_t>(parent.row())].children.size());
}

int TEntryTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant TEntryTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const TreeNode& node = Node(index);
  switch (role) {
    case Qt::DisplayRole: {
      // Shown without the blanks that pad it to 50 characters.
      const size_t end = node.caption.find_last_not_of(' ');
      return FromCp1252(std::string_view(node.caption).substr(0, end + 1));
    }
    case Qt::DecorationRole:
      if (node.image >= 0 && node.image < static_cast<int>(images_.size()))
        return images_[static_cast<size_t>(node.image)];
      return {};
    default:
      return {};
  }
}

Qt::ItemFlags TEntryTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.internalId() != 0) f |= Qt::ItemNeverHasChildren;
  return f;
}

TTreeView::TTreeView(QWidget* parent) : QTreeView(parent) {
  setHeaderHidden(true);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
}

void TTreeView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  header()->setMinimumSectionSize(viewport()->width());
}

void TTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit Click();
}

}  // namespace qorvex
