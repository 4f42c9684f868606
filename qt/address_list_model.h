// Shows the core's typed-address list in a view, and keeps the view's selection and the
// list's selection the same in both directions.
#pragma once

#include <QAbstractListModel>

#include "store/address_list.h"

class QListView;

class AddressListModel : public QAbstractListModel, private tavelin::AddressListObserver {
  Q_OBJECT
 public:
  AddressListModel(tavelin::AddressList& list, QObject* parent = nullptr);
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

  tavelin::AddressList& list_;
  QListView* view_ = nullptr;
  bool changing_ = false;  // a change of the list is under way; the view's reactions are ignored
};
