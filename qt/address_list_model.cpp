#include "qt/address_list_model.h"

#include <QItemSelectionModel>
#include <QListView>

#include "qt/form_widgets.h"

namespace tavelin::qt {

AddressListModel::AddressListModel(Mainn& core, IndexHandler select, QObject* parent)
    : QAbstractListModel(parent), core_(core), select_(select) {
  core_.List1().setObserver(this);
}

AddressListModel::~AddressListModel() {
  core_.List1().setObserver(nullptr);
}

void AddressListModel::attachView(QListView* view) {
  view_ = view;
  view_->setModel(this);
  connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { takeViewSelection(); });
  showListSelection();
}

int AddressListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(core_.List1().count());
}

QVariant AddressListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() ||
      static_cast<std::size_t>(index.row()) >= core_.List1().count()) {
    return {};
  }
  return ToQString(core_.List1_DisplayText(static_cast<std::size_t>(index.row())));
}

void AddressListModel::beforeInsert(std::size_t first, std::size_t last) {
  changing_ = true;
  beginInsertRows({}, static_cast<int>(first), static_cast<int>(last));
}

void AddressListModel::afterInsert() {
  endInsertRows();
  changing_ = false;
  showListSelection();
}

void AddressListModel::beforeRemove(std::size_t first, std::size_t last) {
  changing_ = true;
  beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
}

void AddressListModel::afterRemove() {
  endRemoveRows();
  changing_ = false;
  // The view would otherwise select a neighbour of the removed row.
  showListSelection();
}

void AddressListModel::beforeReset() {
  changing_ = true;
  beginResetModel();
}

void AddressListModel::afterReset() {
  endResetModel();
  changing_ = false;
  showListSelection();
}

void AddressListModel::itemsChanged(std::size_t first, std::size_t last) {
  emit dataChanged(index(static_cast<int>(first)), index(static_cast<int>(last)),
                   {Qt::DisplayRole});
}

void AddressListModel::selectionChanged(int) {
  showListSelection();
}

void AddressListModel::showListSelection() {
  if (!view_ || changing_) return;
  QItemSelectionModel* selection = view_->selectionModel();
  const int wanted = core_.List1().selectionIndex();
  changing_ = true;
  if (wanted < 0) {
    selection->clear();
  } else {
    const QModelIndex at = index(wanted);
    selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect);
    view_->scrollTo(at);
  }
  changing_ = false;
}

void AddressListModel::takeViewSelection() {
  if (changing_) return;
  const QModelIndexList selected = view_->selectionModel()->selectedIndexes();
  const int row = selected.isEmpty() ? -1 : selected.first().row();
  if (row == core_.List1().selectionIndex()) return;
  changing_ = true;
  Dispatch(select_, core_, row);
  changing_ = false;
  // Whatever the core made of the click is what the view shows.
  if (core_.List1().selectionIndex() != row) showListSelection();
}

}  // namespace tavelin::qt
