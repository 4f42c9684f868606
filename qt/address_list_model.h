// Shows the core's typed-address list in a view, each row as the core draws it, and keeps the
// view's selection and the list's selection the same in both directions: the core's changes
// are drawn, the user's choices go to the list row's handler.
#pragma once

#include <QAbstractListModel>

#include "app/mainn.h"
#include "list/address_list.h"

class QListView;

namespace tavelin::qt {

class AddressListModel : public QAbstractListModel, private AddressListObserver {
  Q_OBJECT
 public:
  // `select` is what the list's row runs when the user selects a row.
  AddressListModel(Mainn& core, IndexHandler select, QObject* parent = nullptr);
  ~AddressListModel() override;

  // The view whose selection follows the list; its selection model is watched too.
  void attachView(QListView* view);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  void beforeInsert(std::size_t first, std::size_t last) override;
  void afterInsert() override;
  void beforeRemove(std::size_t first, std::size_t last) override;
  void afterRemove() override;
  void beforeReset() override;
  void afterReset() override;
  void itemsChanged(std::size_t first, std::size_t last) override;
  void selectionChanged(int index) override;

  void showListSelection();
  void takeViewSelection();

  Mainn& core_;
  IndexHandler select_;
  QListView* view_ = nullptr;
  bool changing_ = false;  // the list or the view is being changed from here; echoes are ignored
};

}  // namespace tavelin::qt
