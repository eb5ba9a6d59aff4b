// SPDX-License-Identifier: GPL-3.0-or-later
// The entry tree on screen (window layer): an item model over the core's
// EntryTree, which builds and sorts the nodes as data, and the tree view
// that reports clicks as the main window's TreeClick wants them.
//
// Shape: two levels. A root's index carries 0 as its internal id, a child's
// its root's row + 1. Nodes are never removed one by one: a new tree
// resets the model, search hits are appended under "- Suchergebnis".
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QTreeView>
#include <array>

#include "app/core/entry_tree.h"
#include "app/core/search.h"

namespace qorvex {

class TEntryTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // images: the image list, by state image index.
  explicit TEntryTreeModel(std::array<QIcon, 6> images, QObject* parent = nullptr);

  void SetTree(EntryTree tree);
  const EntryTree& Tree() const { return tree_; }
  // Appends the hits under the search node (image 4 when there is one).
  void AddSearchHits(const std::vector<SearchHit>& hits);

  // The node behind a valid index.
  const TreeNode& Node(const QModelIndex& index) const;
  void SetImage(const QModelIndex& index, int image);
  QModelIndex SearchNodeIndex() const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  TreeNode& MutableNode(const QModelIndex& index);

  std::array<QIcon, 6> images_;
  EntryTree tree_;
};

// The tree view: Click() after every left click in it, on a node or not.
// Its one column is as wide as its widest caption (scrolled sideways when
// wider than the view) and at least as wide as the view.
class TTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit TTreeView(QWidget* parent = nullptr);

 signals:
  void Click();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};

}  // namespace qorvex
