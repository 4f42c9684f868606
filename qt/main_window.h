// The main window: built from Mainn's layout and menus, it shows the core's list and hands
// every button, menu item, key and mouse event of the list to the handler its row names.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string_view>

#include "app/mainn.h"
#include "qt/form_widgets.h"

class QListView;
class QMenu;

namespace tavelin::qt {

class AddressListModel;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(Mainn& core, QWidget* parent = nullptr);
  ~MainWindow() override;

  Mainn& core() { return core_; }
  QListView* list() const { return list_; }
  QMenu* menu(std::string_view name) const;

  // The Options menu over the list: at the pointer, or at the selected row (the list's
  // top-left corner without one), with no item marked.
  void popUpOptionsMenu(PopUpPlace place);
  // Where the table puts it (centred on the screen), its frame counted once the window
  // system has framed it.
  void place();
  // The title as the core has it now.
  void showCaption();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildMenus();
  bool listKeyPress(QKeyEvent* key);
  // A character typed in the list selects the entry it begins (type-ahead). True when the key
  // was such a character, which the list then does not search for itself.
  bool typeAhead(const QKeyEvent& key);
  bool viewportMouse(QMouseEvent* mouse);

  Mainn& core_;
  std::unique_ptr<FormWidgets> widgets_;
  const ControlLayout* listShape_ = nullptr;  // the list's row: its events' handlers
  AddressListModel* model_ = nullptr;
  QListView* list_ = nullptr;
  QMenu* optionsMenu_ = nullptr;
  bool placedWithFrame_ = false;
};

}  // namespace tavelin::qt
